/* Cyclic messages: the firmware keeps a table of CAN messages that it sends on its own, each named by a u32
 * identifier (bit 30 set: a CAN FD message). These functions define, change, start, stop and delete them and attach
 * generated content: groups, break counts and times, disturbances, multiplexed bytes, ramps, parity bits, checksums
 * and properties. The host keeps no copy of the table; the firmware gives meaning to option bytes, cycle and data
 * section values, ramp values, disturbance arrays, multiplex entries, CRC words and properties, which pass unchanged.
 *
 * Signals (Qor_Common_Signal_t) are checked by libqor_api_common: their failures carry its codes (0x0201xxxx).
 * A pointer to data bytes may be NULL only when no byte is read from it. */
#ifndef QOR_CAN_CYCLIC_H
#define QOR_CAN_CYCLIC_H

#include "qor_common_signal.h"
#include "qor_types.h"

QOR_BEGIN_DECLS

/* Identifier bit of a CAN FD message. */
#define QOR_CAN_CYCLIC_FD_MESSAGE 0x40000000u

/* The data bytes behind the first eight of a CAN FD message. */
#define QOR_CAN_CYCLIC_FURTHER_DATA_MAX 56u
/* The most multiplex indices of one message. */
#define QOR_CAN_CYCLIC_MULTIPLEX_MAX_INDICES 16u

/* Change flags: one bit per section of Qor_Can_CyclicMsgs_Change_t that the change applies. */
enum {
  QOR_CAN_CYCLIC_CHANGE_SEND_STATE = 0x01,
  QOR_CAN_CYCLIC_CHANGE_GROUP = 0x02,
  QOR_CAN_CYCLIC_CHANGE_OPTION = 0x04,
  QOR_CAN_CYCLIC_CHANGE_DLC = 0x08,
  QOR_CAN_CYCLIC_CHANGE_DATA = 0x10,
  QOR_CAN_CYCLIC_CHANGE_CYCLE = 0x20,
  QOR_CAN_CYCLIC_CHANGE_FURTHER_DATA = 0x40
};
/* Data flags of the data section: bit 0 with the message count, bit 2 with the second data value. */
#define QOR_CAN_CYCLIC_DATA_FLAGS_DEFINED 0x07u
#define QOR_CAN_CYCLIC_CYCLE_FLAGS_DEFINED 0x7Fu

/* A change of a message: only the sections whose change flag is set are checked and sent. */
typedef struct Qor_Can_CyclicMsgs_Change_t {
  uint32_t identifier;           /* +0 */
  uint32_t changeFlags;          /* +4 QOR_CAN_CYCLIC_CHANGE_* */
  uint8_t sendState;             /* +8 0 or 1 */
  uint8_t group;                 /* +9 0 or 1 */
  uint8_t optionByte;            /* +10 */
  uint8_t dlc;                   /* +11 0 to 15 */
  uint32_t dataFlags;            /* +12 bits 0 to 2 */
  uint8_t data[8];               /* +16 data bytes 0 to 7 */
  uint8_t dataMask[8];           /* +24 */
  uint16_t messageCount;         /* +32 with data flag bit 0 */
  uint16_t secondDataValue;      /* +34 with data flag bit 2 */
  uint32_t cycleFlags;           /* +36 bits 0 to 6 */
  uint16_t cycleValues[3];       /* +40 */
  uint16_t cycleReserved;        /* +46 0 */
  uint8_t furtherDataCount;      /* +48 0 to 56 */
  uint8_t furtherReserved[3];    /* +49 0 */
  uint8_t furtherData[56];       /* +52 data bytes 8 and up of a CAN FD message */
  uint8_t furtherDataMask[56];   /* +108 */
} Qor_Can_CyclicMsgs_Change_t;
QOR_STATIC_ASSERT(sizeof(Qor_Can_CyclicMsgs_Change_t) == 164, "Qor_Can_CyclicMsgs_Change_t is 164 bytes");
QOR_STATIC_ASSERT(offsetof(Qor_Can_CyclicMsgs_Change_t, cycleFlags) == 36, "cycle flags at 36");
QOR_STATIC_ASSERT(offsetof(Qor_Can_CyclicMsgs_Change_t, furtherDataCount) == 48, "further data count at 48");
QOR_STATIC_ASSERT(offsetof(Qor_Can_CyclicMsgs_Change_t, furtherDataMask) == 108, "further data mask at 108");

/* Ramp modes 0 to 3 of a ramp; an incrementing ramp's linked ramp takes modes 0 to 2. */
#define QOR_CAN_CYCLIC_RAMP_MODE_MAX 3u
#define QOR_CAN_CYCLIC_LINKED_RAMP_MODE_MAX 2u

typedef struct Qor_Can_CyclicMsgs_Ramp_t {
  uint32_t identifier;         /* +0 */
  Qor_Common_Signal_t signal;  /* +4 */
  uint8_t mode;                /* +8 0 to 3 */
  uint8_t direction;           /* +9 0 or 1 */
  uint16_t firstValue;         /* +10 */
  uint16_t secondValue;        /* +12 */
  uint16_t thirdValue;         /* +14 */
  double step;                 /* +16 sent as a fraction */
  uint32_t fourthValue;        /* +24 */
  uint16_t fifthValue;         /* +28 */
  uint16_t reserved;           /* +30 0 */
} Qor_Can_CyclicMsgs_Ramp_t;
QOR_STATIC_ASSERT(sizeof(Qor_Can_CyclicMsgs_Ramp_t) == 32, "Qor_Can_CyclicMsgs_Ramp_t is 32 bytes");
QOR_STATIC_ASSERT(offsetof(Qor_Can_CyclicMsgs_Ramp_t, step) == 16, "step at 16");

/* The ramp that an incrementing ramp drives. */
typedef struct Qor_Can_CyclicMsgs_LinkedRamp_t {
  uint32_t identifier;         /* +0 */
  Qor_Common_Signal_t signal;  /* +4 */
  uint8_t mode;                /* +8 0 to 2 */
  uint8_t reserved[3];         /* +9 0 */
  uint16_t firstValue;         /* +12 */
  uint16_t secondValue;        /* +14 */
} Qor_Can_CyclicMsgs_LinkedRamp_t;
QOR_STATIC_ASSERT(sizeof(Qor_Can_CyclicMsgs_LinkedRamp_t) == 16, "Qor_Can_CyclicMsgs_LinkedRamp_t is 16 bytes");

typedef struct Qor_Can_CyclicMsgs_IncRamp_t {
  uint32_t identifier;                           /* +0 */
  Qor_Common_Signal_t signal;                    /* +4 */
  uint16_t values[4];                            /* +8 */
  uint8_t direction;                             /* +16 0 or 1 */
  uint8_t reserved[3];                           /* +17 0 */
  const Qor_Can_CyclicMsgs_LinkedRamp_t* linked; /* +24 NULL: none */
} Qor_Can_CyclicMsgs_IncRamp_t;
QOR_STATIC_ASSERT(offsetof(Qor_Can_CyclicMsgs_IncRamp_t, linked) == 24, "linked ramp at 24");

typedef struct Qor_Can_CyclicMsgs_RampMode_t {
  uint32_t identifier;         /* +0 */
  Qor_Common_Signal_t signal;  /* +4 */
  uint8_t mode;                /* +8 0 to 3 */
  uint8_t reserved[3];         /* +9 */
} Qor_Can_CyclicMsgs_RampMode_t;
QOR_STATIC_ASSERT(sizeof(Qor_Can_CyclicMsgs_RampMode_t) == 12, "Qor_Can_CyclicMsgs_RampMode_t is 12 bytes");

/* Checksum modes of Qor_Can_CyclicMsgs_Checksum_Define. */
#define QOR_CAN_CYCLIC_CHECKSUM_MODE_MAX 2u

typedef struct Qor_Can_CyclicMsgs_GeneralCrc_t {
  uint8_t value;                /* +0 */
  uint8_t firstCount;           /* +1 bytes of firstUserBytes */
  uint8_t secondCount;          /* +2 bytes of secondUserBytes */
  uint8_t reserved;             /* +3 0 */
  uint32_t words[3];            /* +4 */
  const uint8_t* firstUserBytes;  /* +16 */
  const uint8_t* secondUserBytes; /* +24 */
} Qor_Can_CyclicMsgs_GeneralCrc_t;
QOR_STATIC_ASSERT(offsetof(Qor_Can_CyclicMsgs_GeneralCrc_t, firstUserBytes) == 16, "first user bytes at 16");

typedef struct Qor_Can_CyclicMsgs_Custom12_t {
  uint8_t value;                   /* +0 */
  uint8_t dataArrayLength;         /* +1 */
  uint16_t reserved;               /* +2 0 */
  uint32_t words[3];               /* +4 */
  Qor_Common_Signal_t dataArray;   /* +16 its start bit 0 to 63 */
  const uint8_t* dataArrayBytes;   /* +24 */
} Qor_Can_CyclicMsgs_Custom12_t;
QOR_STATIC_ASSERT(offsetof(Qor_Can_CyclicMsgs_Custom12_t, dataArrayBytes) == 24, "data array bytes at 24");

typedef struct Qor_Can_CyclicMsgs_AddBytes_t {
  Qor_Common_Signal_t secondSignal; /* +0 size 0: none */
  uint8_t options[3];               /* +4 */
  uint8_t reserved;                 /* +7 0 */
} Qor_Can_CyclicMsgs_AddBytes_t;
QOR_STATIC_ASSERT(sizeof(Qor_Can_CyclicMsgs_AddBytes_t) == 8, "Qor_Can_CyclicMsgs_AddBytes_t is 8 bytes");

/* Properties 0 and 1 of a message. */
#define QOR_CAN_CYCLIC_PROPERTY_MAX 1u

typedef struct Qor_Can_CyclicMsgs_Property_t {
  uint32_t identifier; /* +0 */
  uint16_t property;   /* +4 0 or 1 */
  uint16_t reserved;   /* +6 0 */
  uint32_t value;      /* +8 */
} Qor_Can_CyclicMsgs_Property_t;
QOR_STATIC_ASSERT(sizeof(Qor_Can_CyclicMsgs_Property_t) == 12, "Qor_Can_CyclicMsgs_Property_t is 12 bytes");

typedef struct Qor_Can_CyclicMsgs_MsgState_t {
  uint32_t identifier; /* +0 */
  uint16_t cycleTime;  /* +4 */
  uint8_t group;       /* +6 */
  uint8_t sendState;   /* +7 0 or 1 */
  uint8_t optionByte;  /* +8 */
  uint8_t dlc;         /* +9 */
  uint16_t reserved;   /* +10 0 */
  uint8_t data[64];    /* +12 the DLC's bytes; the rest 0 */
} Qor_Can_CyclicMsgs_MsgState_t;
QOR_STATIC_ASSERT(sizeof(Qor_Can_CyclicMsgs_MsgState_t) == 76, "Qor_Can_CyclicMsgs_MsgState_t is 76 bytes");

/* ---- messages ---- */
/* data: the DLC's bytes. */
QOR_API uint32_t Qor_Can_CyclicMsgs_DefineMsg(uint32_t port, uint32_t identifier, uint16_t cycleTime, uint8_t sendState,
                                              uint8_t group, uint8_t optionByte, const uint8_t* data, uint8_t dlc);
QOR_API uint32_t Qor_Can_CyclicMsgs_DeleteMsg(uint32_t port, uint32_t identifier);
QOR_API uint32_t Qor_Can_CyclicMsgs_StartMsg(uint32_t port, uint32_t identifier);
QOR_API uint32_t Qor_Can_CyclicMsgs_StopMsg(uint32_t port, uint32_t identifier);
/* Change flags 0: nothing to do, nothing sent. */
QOR_API uint32_t Qor_Can_CyclicMsgs_ChangeMsg(uint32_t port, const Qor_Can_CyclicMsgs_Change_t* change);
/* Mode 0: the data from now on; 1: with a message count of 0; 2: with messageCount. data and mask: the DLC's bytes. */
QOR_API uint32_t Qor_Can_CyclicMsgs_ChangeMsgData(uint32_t port, uint32_t identifier, const uint8_t* data, uint8_t dlc,
                                                  const uint8_t* mask, uint8_t mode, uint16_t messageCount);
/* Modes 0 to 2; messageCount is sent with mode 2. Both arrays: the DLC's bytes. */
QOR_API uint32_t Qor_Can_CyclicMsgs_ChangeMsgDataAndMsgCount(uint32_t port, uint32_t identifier, uint8_t option,
                                                             const uint8_t* firstArray, uint8_t dlc,
                                                             const uint8_t* secondArray, uint8_t mode,
                                                             uint16_t messageCount);
QOR_API uint32_t Qor_Can_CyclicMsgs_ChangeCycleTime(uint32_t port, uint32_t identifier, uint16_t cycleTime);
QOR_API uint32_t Qor_Can_CyclicMsgs_ChangeGroupNumber(uint32_t port, uint32_t identifier, uint8_t group);
/* Group 1 only. */
QOR_API uint32_t Qor_Can_CyclicMsgs_StartGroup(uint32_t port, uint8_t group);
QOR_API uint32_t Qor_Can_CyclicMsgs_StopGroup(uint32_t port, uint8_t group);
QOR_API uint32_t Qor_Can_CyclicMsgs_SetMsgBreakCount(uint32_t port, uint32_t identifier, uint16_t count);
QOR_API uint32_t Qor_Can_CyclicMsgs_SetMsgBreakTime(uint32_t port, uint32_t identifier, uint16_t time);
/* Mode 0 or 1. */
QOR_API uint32_t Qor_Can_CyclicMsgs_SetCalculationBreakCount(uint32_t port, uint32_t identifier,
                                                             Qor_Common_Signal_t signal, uint8_t mode,
                                                             uint16_t value);
QOR_API uint32_t Qor_Can_CyclicMsgs_DefineDisturbance(uint32_t port, uint32_t identifier, uint8_t dlc, uint16_t value,
                                                      const uint8_t firstArray[64], const uint8_t secondArray[64]);
/* mask: 8 bytes, 64 for a CAN FD message; entries: count rows of 64 bytes (the first 8 of each for a classic
 * message). */
QOR_API uint32_t Qor_Can_CyclicMsgs_MultiplexBytes_Define(uint32_t port, uint32_t identifier, uint8_t position,
                                                          uint8_t count, const uint8_t* mask,
                                                          const uint8_t (*entries)[64]);
QOR_API uint32_t Qor_Can_CyclicMsgs_MultiplexBytes_Stop(uint32_t port, uint32_t identifier, const uint8_t first[8],
                                                        const uint8_t second[8]);

/* ---- ramps ---- */
QOR_API uint32_t Qor_Can_CyclicMsgs_Ramp_Define(uint32_t port, const Qor_Can_CyclicMsgs_Ramp_t* ramp);
QOR_API uint32_t Qor_Can_CyclicMsgs_Ramp_Delete(uint32_t port, uint32_t identifier, Qor_Common_Signal_t signal);
/* All entries are checked before anything is sent; as many as fit the port's maximum parameter length. */
QOR_API uint32_t Qor_Can_CyclicMsgs_Ramp_ChangeMode(uint32_t port, uint32_t count,
                                                    const Qor_Can_CyclicMsgs_RampMode_t* entries);
/* The states are 0 to 3. Outputs untouched on failure. */
QOR_API uint32_t Qor_Can_CyclicMsgs_Ramp_GetState(uint32_t port, uint32_t identifier, Qor_Common_Signal_t signal,
                                                  uint32_t* firstState, uint32_t* secondState, uint32_t* value,
                                                  uint16_t* shortValue);
QOR_API uint32_t Qor_Can_CyclicMsgs_Ramp_DefineIncRamp(uint32_t port, const Qor_Can_CyclicMsgs_IncRamp_t* ramp);
QOR_API uint32_t Qor_Can_CyclicMsgs_Ramp_ResetRampSum(uint32_t port, uint32_t identifier, Qor_Common_Signal_t signal);

/* ---- parity bits and checksums ---- */
/* Mode 0 or 1; the parity signal is one bit. */
QOR_API uint32_t Qor_Can_CyclicMsgs_Parity_Define(uint32_t port, uint32_t identifier, uint8_t mode,
                                                  Qor_Common_Signal_t signal, uint64_t value);
QOR_API uint32_t Qor_Can_CyclicMsgs_Parity_Delete(uint32_t port, uint32_t identifier, Qor_Common_Signal_t signal);
/* mask (may be NULL): which data bytes the checksum covers, each 0x00 or 0xFF; 8 bytes, 64 for a CAN FD message,
 * whose covered bytes then follow as an index list. A failing index list leaves the checksum defined. */
QOR_API uint32_t Qor_Can_CyclicMsgs_Checksum_Define(uint32_t port, uint8_t mode, uint32_t identifier,
                                                    Qor_Common_Signal_t signal, const uint8_t* mask);
QOR_API uint32_t Qor_Can_CyclicMsgs_Checksum_Define_XorWithUserBytes(uint32_t port, uint32_t identifier,
                                                                     Qor_Common_Signal_t signal, const uint8_t* mask,
                                                                     uint8_t count, const uint8_t* userBytes);
QOR_API uint32_t Qor_Can_CyclicMsgs_Checksum_Define_GeneralCrcWithUserBytes(
    uint32_t port, uint32_t identifier, Qor_Common_Signal_t signal, const uint8_t* mask,
    const Qor_Can_CyclicMsgs_GeneralCrc_t* crc);
QOR_API uint32_t Qor_Can_CyclicMsgs_Checksum_Define_Custom12(uint32_t port, uint32_t identifier,
                                                             Qor_Common_Signal_t signal, const uint8_t* mask,
                                                             const Qor_Can_CyclicMsgs_Custom12_t* custom);
QOR_API uint32_t Qor_Can_CyclicMsgs_Checksum_Define_AddBytes(uint32_t port, uint32_t identifier,
                                                             Qor_Common_Signal_t signal, const uint8_t* mask,
                                                             const Qor_Can_CyclicMsgs_AddBytes_t* addBytes);
QOR_API uint32_t Qor_Can_CyclicMsgs_Checksum_Delete(uint32_t port, uint32_t identifier, Qor_Common_Signal_t signal);

/* ---- properties and state ---- */
QOR_API uint32_t Qor_Can_CyclicMsgs_Property_SetById(uint32_t port, const Qor_Can_CyclicMsgs_Property_t* property);
/* result: the request's identifier and property with the value read. */
QOR_API uint32_t Qor_Can_CyclicMsgs_Property_GetById(uint32_t port, const Qor_Can_CyclicMsgs_Property_t* property,
                                                     Qor_Can_CyclicMsgs_Property_t* result);
QOR_API uint32_t Qor_Can_CyclicMsgs_GetMsgState(uint32_t port, uint32_t identifier,
                                                Qor_Can_CyclicMsgs_MsgState_t* state);

QOR_END_DECLS

#endif
