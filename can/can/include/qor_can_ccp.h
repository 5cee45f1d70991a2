/* The CAN Calibration Protocol master that runs in the interface's firmware on a CAN channel: the firmware sends each
 * command message (CRO) to the ECU, repeats it on time-out and collects the command return message (CRM) and the DAQ
 * and event messages. These calls configure it, hand it one CRO at a time and decode the CRM of each CCP command.
 *
 * The byte order of addresses and of the other multi-byte CCP values, and the least message capacity that the
 * message readers accept, are those of the last Qor_Can_Ccp_Init of the process, whatever its port or channel.
 * Every command function waits up to 80 s for an ECU that does not answer. */
#ifndef QOR_CAN_CCP_H
#define QOR_CAN_CCP_H

#include "qor_types.h"

QOR_BEGIN_DECLS

/* Qor_Can_Ccp_Config_t.flags: multi-byte values in Motorola order (most significant byte first); clear: Intel. */
#define QOR_CAN_CCP_FLAG_MOTOROLA 0x01u

/* Qor_Can_Ccp_Response_t.state and Qor_Can_Ccp_CommandState_t.state */
#define QOR_CAN_CCP_STATE_RUNNING 0x01u
#define QOR_CAN_CCP_STATE_VALID_CRM 0x02u
#define QOR_CAN_CCP_STATE_RUNNING_2 0x08u
#define QOR_CAN_CCP_STATE_COUNTER_MISMATCH 0x10u

/* errorClass */
#define QOR_CAN_CCP_NO_ERROR 0u
#define QOR_CAN_CCP_ERROR_UNKNOWN 1u
#define QOR_CAN_CCP_ERROR_NEGATIVE_ACKNOWLEDGE 2u
#define QOR_CAN_CCP_ERROR_INVALID_DAQ_LIST 3u
#define QOR_CAN_CCP_ERROR_RESPONSE_TIMEOUT 4u
#define QOR_CAN_CCP_ERROR_TRANSMIT_TIMEOUT 5u
#define QOR_CAN_CCP_ERROR_UNKNOWN_STATE 6u
#define QOR_CAN_CCP_ERROR_INTERNAL 7u

/* Message reader flags */
#define QOR_CAN_CCP_MESSAGES_LOST 0x01u

typedef struct Qor_Can_Ccp_Config_t {
  uint32_t flags;            /* +0 0 or QOR_CAN_CCP_FLAG_MOTOROLA */
  uint32_t value1;           /* +4 the firmware's, sent unchanged */
  uint32_t value2;           /* +8 */
  uint32_t value3;           /* +12 */
  uint16_t value4;           /* +16 */
  uint16_t maxDaqMessages;   /* +18 */
  uint16_t maxEventMessages; /* +20 */
  uint16_t value5;           /* +22 */
} Qor_Can_Ccp_Config_t;
QOR_STATIC_ASSERT(sizeof(Qor_Can_Ccp_Config_t) == 24, "CCP configuration is 24 bytes");

typedef struct Qor_Can_Ccp_Command_t {
  uint32_t flags;      /* +0 0 or 1 */
  uint32_t timeout;    /* +4 milliseconds per try */
  uint8_t retries;     /* +8 */
  uint8_t reserved[3]; /* +9 0 */
  uint8_t cro[8];      /* +12 command code, command counter, six parameter bytes */
} Qor_Can_Ccp_Command_t;
QOR_STATIC_ASSERT(sizeof(Qor_Can_Ccp_Command_t) == 20, "CCP command is 20 bytes");

typedef struct Qor_Can_Ccp_Response_t {
  uint32_t state;      /* +0 QOR_CAN_CCP_STATE_* */
  uint32_t errorClass; /* +4 */
  uint8_t valueByte;   /* +8 the firmware's */
  uint8_t reserved[3]; /* +9 0 */
  uint8_t crm[8];      /* +12 packet id, return code, command counter, five data bytes */
} Qor_Can_Ccp_Response_t;
QOR_STATIC_ASSERT(sizeof(Qor_Can_Ccp_Response_t) == 20, "CCP response is 20 bytes");

typedef struct Qor_Can_Ccp_CommandState_t {
  uint32_t state;      /* +0 bits 0 to 2 */
  uint32_t errorClass; /* +4 */
  uint8_t stateByte1;  /* +8 the firmware's */
  uint8_t stateByte2;  /* +9 */
  uint16_t reserved;   /* +10 0 */
} Qor_Can_Ccp_CommandState_t;
QOR_STATIC_ASSERT(sizeof(Qor_Can_Ccp_CommandState_t) == 12, "CCP command state is 12 bytes");

/* A DAQ or event message. */
typedef struct Qor_Can_Ccp_Message_t {
  uint8_t valueByte;   /* +0 the firmware's */
  uint8_t reserved[3]; /* +1 0 */
  uint8_t data[8];     /* +4 */
} Qor_Can_Ccp_Message_t;
QOR_STATIC_ASSERT(sizeof(Qor_Can_Ccp_Message_t) == 12, "CCP message is 12 bytes");

typedef struct Qor_Can_Ccp_Mta_t {
  uint8_t addressExtension; /* +0 */
  uint8_t reserved[3];      /* +1 0 */
  uint32_t address;         /* +4 */
} Qor_Can_Ccp_Mta_t;
QOR_STATIC_ASSERT(sizeof(Qor_Can_Ccp_Mta_t) == 8, "CCP memory transfer address is 8 bytes");

typedef struct Qor_Can_Ccp_ShortResult_t {
  uint8_t first;     /* +0 */
  uint8_t second;    /* +1 */
  uint16_t reserved; /* +2 0 */
} Qor_Can_Ccp_ShortResult_t;
QOR_STATIC_ASSERT(sizeof(Qor_Can_Ccp_ShortResult_t) == 4, "CCP short result is 4 bytes");

typedef struct Qor_Can_Ccp_SessionStatus_t {
  uint8_t status;     /* +0 bits 0, 1, 2, 6, 7 */
  uint8_t qualifier;  /* +1 */
  uint16_t reserved1; /* +2 0 */
  uint8_t info[3];    /* +4 */
  uint8_t reserved2;  /* +7 0 */
} Qor_Can_Ccp_SessionStatus_t;
QOR_STATIC_ASSERT(sizeof(Qor_Can_Ccp_SessionStatus_t) == 8, "CCP session status is 8 bytes");

typedef struct Qor_Can_Ccp_Checksum_t {
  uint8_t size;        /* +0 bytes of the checksum */
  uint8_t reserved[3]; /* +1 0 */
  uint8_t checksum[4]; /* +4 */
} Qor_Can_Ccp_Checksum_t;
QOR_STATIC_ASSERT(sizeof(Qor_Can_Ccp_Checksum_t) == 8, "CCP checksum is 8 bytes");

typedef struct Qor_Can_Ccp_ExchangeId_t {
  uint8_t idLength;         /* +0 */
  uint8_t dataType;         /* +1 */
  uint8_t availabilityMask; /* +2 bits 0, 1, 6 */
  uint8_t protectionMask;   /* +3 bits 0, 1, 6 */
} Qor_Can_Ccp_ExchangeId_t;
QOR_STATIC_ASSERT(sizeof(Qor_Can_Ccp_ExchangeId_t) == 4, "CCP exchange id result is 4 bytes");

/* ---- the master ---- */
QOR_API uint32_t Qor_Can_Ccp_Reset(uint32_t port, uint8_t channel);
QOR_API uint32_t Qor_Can_Ccp_Init(uint32_t port, uint8_t channel, const Qor_Can_Ccp_Config_t* config);
/* Hands the firmware one CRO; Qor_Can_Ccp_GetResponse tells when its CRM came. */
QOR_API uint32_t Qor_Can_Ccp_Command(uint32_t port, uint8_t channel, const Qor_Can_Ccp_Command_t* command);
QOR_API uint32_t Qor_Can_Ccp_GetResponse(uint32_t port, uint8_t channel, Qor_Can_Ccp_Response_t* response);
QOR_API uint32_t Qor_Can_Ccp_GetCommandState(uint32_t port, uint8_t channel, Qor_Can_Ccp_CommandState_t* state);
/* Sends the CRO and waits until the firmware is done with it, at most timeout x (retries + 1) + 5000 ms; the CRM is
 * not evaluated. */
QOR_API uint32_t Qor_Can_Ccp_CommandWithResponse(uint32_t port, uint8_t channel, const Qor_Can_Ccp_Command_t* command,
                                                 Qor_Can_Ccp_Response_t* response);
/* count: in the room of messages (at least the maximum of the last initialisation), out the messages collected.
 * flags: QOR_CAN_CCP_MESSAGES_LOST when the firmware lost messages or more came than the room holds. */
QOR_API uint32_t Qor_Can_Ccp_GetDaqMessages(uint32_t port, uint8_t channel, uint32_t* flags, uint32_t* count,
                                            Qor_Can_Ccp_Message_t* messages);
QOR_API uint32_t Qor_Can_Ccp_GetEventMessages(uint32_t port, uint8_t channel, uint32_t* flags, uint32_t* count,
                                              Qor_Can_Ccp_Message_t* messages);
/* The error class in words and, for a negative acknowledge, the CRM's return code. */
QOR_API const char* Qor_Can_Ccp_GetCcpErrorDescription(const Qor_Can_Ccp_Response_t* response);

/* ---- CCP commands: each sends one CRO, waits for its CRM and writes the results only when the CRM is valid ---- */
QOR_API uint32_t Qor_Can_Ccp_Command_Connect(uint32_t port, uint8_t channel, uint16_t stationAddress);
QOR_API uint32_t Qor_Can_Ccp_Command_SetMta(uint32_t port, uint8_t channel, uint8_t mtaNumber,
                                            uint8_t addressExtension, uint32_t address);
/* size 0 to 5; mta: the memory transfer address after the download. */
QOR_API uint32_t Qor_Can_Ccp_Command_Download(uint32_t port, uint8_t channel, uint8_t size, const uint8_t* data,
                                              Qor_Can_Ccp_Mta_t* mta);
/* size 0 to 5 bytes into data. */
QOR_API uint32_t Qor_Can_Ccp_Command_Upload(uint32_t port, uint8_t channel, uint8_t size, uint8_t* data);
QOR_API uint32_t Qor_Can_Ccp_Command_Test(uint32_t port, uint8_t channel, uint16_t stationAddress);
/* mode 0 stop, 1 start, 2 prepare to start. */
QOR_API uint32_t Qor_Can_Ccp_Command_StartStop(uint32_t port, uint8_t channel, uint8_t mode, uint8_t daqList,
                                               uint8_t lastOdt, uint8_t eventChannel,
                                               uint16_t transmissionRatePrescaler);
/* mode 0 temporary, 1 end of session. */
QOR_API uint32_t Qor_Can_Ccp_Command_Disconnect(uint32_t port, uint8_t channel, uint8_t mode,
                                                uint16_t stationAddress);
QOR_API uint32_t Qor_Can_Ccp_Command_StartStopAll(uint32_t port, uint8_t channel, uint8_t mode);
QOR_API uint32_t Qor_Can_Ccp_Command_GetActiveCalPage(uint32_t port, uint8_t channel, Qor_Can_Ccp_Mta_t* page);
QOR_API uint32_t Qor_Can_Ccp_Command_SetSessionStatus(uint32_t port, uint8_t channel, uint8_t statusFlag);
QOR_API uint32_t Qor_Can_Ccp_Command_GetSessionStatus(uint32_t port, uint8_t channel,
                                                      Qor_Can_Ccp_SessionStatus_t* status);
QOR_API uint32_t Qor_Can_Ccp_Command_BuildChksum(uint32_t port, uint8_t channel, uint32_t blockSize,
                                                 Qor_Can_Ccp_Checksum_t* checksum);
/* size 0 to 5 bytes into data. */
QOR_API uint32_t Qor_Can_Ccp_Command_ShortUp(uint32_t port, uint8_t channel, uint8_t size, uint8_t addressExtension,
                                             uint32_t address, uint8_t* data);
QOR_API uint32_t Qor_Can_Ccp_Command_ClearMemory(uint32_t port, uint8_t channel, uint32_t size);
QOR_API uint32_t Qor_Can_Ccp_Command_SelectCalPage(uint32_t port, uint8_t channel);
/* resource 0x01 calibration, 0x02 DAQ or 0x40 programming; seed: five bytes (protection status, four seed bytes). */
QOR_API uint32_t Qor_Can_Ccp_Command_GetSeed(uint32_t port, uint8_t channel, uint8_t resource, uint8_t* seed);
QOR_API uint32_t Qor_Can_Ccp_Command_Unlock(uint32_t port, uint8_t channel, const uint8_t* key, uint8_t* privileges);
/* result: the list's size and its first PID. */
QOR_API uint32_t Qor_Can_Ccp_Command_GetDaqSize(uint32_t port, uint8_t channel, uint8_t daqList,
                                                uint32_t dtoIdentifier, Qor_Can_Ccp_ShortResult_t* result);
QOR_API uint32_t Qor_Can_Ccp_Command_SetDaqPtr(uint32_t port, uint8_t channel, uint8_t daqList, uint8_t odt,
                                               uint8_t element);
/* sizeOfDaqElement 0, 1, 2 for elements of 1, 2, 4 bytes. */
QOR_API uint32_t Qor_Can_Ccp_Command_WriteDaq(uint32_t port, uint8_t channel, uint8_t sizeOfDaqElement,
                                              uint8_t addressExtension, uint32_t address);
/* masterId: six bytes or NULL. */
QOR_API uint32_t Qor_Can_Ccp_Command_ExchangeId(uint32_t port, uint8_t channel, const uint8_t* masterId,
                                                Qor_Can_Ccp_ExchangeId_t* result);
QOR_API uint32_t Qor_Can_Ccp_Command_Program(uint32_t port, uint8_t channel, uint8_t size, const uint8_t* data,
                                             Qor_Can_Ccp_Mta_t* mta);
QOR_API uint32_t Qor_Can_Ccp_Command_Move(uint32_t port, uint8_t channel, uint32_t size);
/* result: the ECU's main version and release. */
QOR_API uint32_t Qor_Can_Ccp_Command_GetCcpVersion(uint32_t port, uint8_t channel, uint8_t mainVersion,
                                                   uint8_t release, Qor_Can_Ccp_ShortResult_t* result);
/* parameters: four bytes or NULL; result: the return length and data type. */
QOR_API uint32_t Qor_Can_Ccp_Command_DiagService(uint32_t port, uint8_t channel, uint16_t serviceNumber,
                                                 const uint8_t* parameters, Qor_Can_Ccp_ShortResult_t* result);
QOR_API uint32_t Qor_Can_Ccp_Command_ActionService(uint32_t port, uint8_t channel, uint16_t serviceNumber,
                                                   const uint8_t* parameters, Qor_Can_Ccp_ShortResult_t* result);
/* data: six bytes. */
QOR_API uint32_t Qor_Can_Ccp_Command_Program6(uint32_t port, uint8_t channel, const uint8_t* data,
                                              Qor_Can_Ccp_Mta_t* mta);
QOR_API uint32_t Qor_Can_Ccp_Command_Download6(uint32_t port, uint8_t channel, const uint8_t* data,
                                               Qor_Can_Ccp_Mta_t* mta);

QOR_END_DECLS

#endif
