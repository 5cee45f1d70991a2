/* XCP transport on the interface: the firmware runs the XCP link (CAN, FlexRay, Ethernet over UDP or TCP, IPv4 or
 * IPv6) of each XCP channel of a port; the host sets a channel up, sends one XCP command packet and collects the
 * slave's answer, reads the channel's state and properties, and reads and writes its four packet FIFOs (DTO and CTO
 * receive, DTO and CTO transmit). The channel number is passed to the firmware unchanged.
 *
 * Every function checks the port handle first and checks the caller's records (flags, reserved fields, ranges)
 * before anything is sent. Codes: 0x02010004 unknown flag, 0x02010007 invalid parameter, 0x02010006 a buffer of the
 * caller is too small, 0x02010003 / 0x02010009 an answer of the firmware that cannot be right, 0x02010201 no valid
 * answer of the slave, 0x02010202 the slave answered with an XCP error packet, 0x02010203 no answer in time; the
 * core's and the firmware's codes come back unchanged. */
#ifndef QOR_COMMON_XCP_H
#define QOR_COMMON_XCP_H

#include "qor_types.h"

QOR_BEGIN_DECLS

#define QOR_COMMON_XCP_MAX_PACKET 4096u    /* an XCP command or answer packet */
#define QOR_COMMON_XCP_MAX_CTO_DATA 256u   /* data of a received CTO frame */
#define QOR_COMMON_XCP_MAX_CTO_WRITE 255u  /* data of a CTO frame to send */
#define QOR_COMMON_XCP_MAX_DTO_DATA 65536u /* room of a DTO frame record */
#define QOR_COMMON_XCP_MAX_FLEXRAY_PDUS 250u

/* ---- setting a channel up (the six initialisation functions) ---- */
/* flags: bit 0 is passed to the firmware as its option bit. The words are the transport's settings, passed on
 * unchanged. */
typedef struct Qor_Common_Xcp_CanTransport_t {
  uint32_t flags;      /* +0 0 or 1 */
  uint32_t firstWord;  /* +4 */
  uint32_t secondWord; /* +8 */
  uint32_t thirdWord;  /* +12 */
} Qor_Common_Xcp_CanTransport_t;
QOR_STATIC_ASSERT(sizeof(Qor_Common_Xcp_CanTransport_t) == 16, "CAN transport record is 16 bytes");

enum { QOR_COMMON_XCP_FLEXRAY_PACKET_TYPE_VALID = 0x1Fu }; /* bits 5 to 7 of a PDU's packet type must be clear */
typedef struct Qor_Common_Xcp_FlexRayPdu_t {
  uint32_t pduWord;     /* +0 */
  uint8_t packetType;   /* +4 bits 5 to 7 zero; the firmware gets it AND 0x17 */
  uint8_t pduFlag;      /* +5 0 or 1 */
  uint16_t reserved6;   /* +6 0 */
  uint32_t reserved8;   /* +8 0 */
  uint32_t reserved12;  /* +12 0 */
} Qor_Common_Xcp_FlexRayPdu_t;
QOR_STATIC_ASSERT(sizeof(Qor_Common_Xcp_FlexRayPdu_t) == 16, "FlexRay PDU record is 16 bytes");

typedef struct Qor_Common_Xcp_FlexRayTransport_t {
  uint32_t flags;           /* +0 0 or 1 */
  uint32_t firstWord;       /* +4 */
  uint8_t byte;             /* +8 */
  uint8_t headerType;       /* +9 0 to 8 */
  uint8_t packetAlignment;  /* +10 0 to 2 */
  uint8_t pduCount;         /* +11 0 to 250: the PDUs used */
  uint32_t reserved12;      /* +12 0 */
  uint32_t reserved16;      /* +16 0 */
  Qor_Common_Xcp_FlexRayPdu_t pdus[QOR_COMMON_XCP_MAX_FLEXRAY_PDUS]; /* +20 */
} Qor_Common_Xcp_FlexRayTransport_t;
QOR_STATIC_ASSERT(sizeof(Qor_Common_Xcp_FlexRayTransport_t) == 20 + 16 * 250, "FlexRay transport record");
QOR_STATIC_ASSERT(offsetof(Qor_Common_Xcp_FlexRayTransport_t, pdus) == 20, "PDUs at 20");

typedef struct Qor_Common_Xcp_Udp4Transport_t {
  uint32_t flags;            /* +0 0 or 1 */
  uint32_t firstWord;        /* +4 */
  uint8_t firstAddress[4];   /* +8 */
  uint8_t secondAddress[4];  /* +12 */
  uint16_t firstPort;        /* +16 */
  uint16_t secondPort;       /* +18 */
  uint32_t secondWord;       /* +20 */
} Qor_Common_Xcp_Udp4Transport_t;
QOR_STATIC_ASSERT(sizeof(Qor_Common_Xcp_Udp4Transport_t) == 24, "UDP IPv4 transport record is 24 bytes");

typedef struct Qor_Common_Xcp_Tcp4Transport_t {
  uint32_t flags;            /* +0 0 or 1 */
  uint32_t firstWord;        /* +4 */
  uint8_t firstAddress[4];   /* +8 */
  uint8_t secondAddress[4];  /* +12 */
  uint16_t firstPort;        /* +16 */
  uint16_t secondPort;       /* +18 */
  uint32_t secondWord;       /* +20 */
  uint32_t tcpWord;          /* +24 */
} Qor_Common_Xcp_Tcp4Transport_t;
QOR_STATIC_ASSERT(sizeof(Qor_Common_Xcp_Tcp4Transport_t) == 28, "TCP IPv4 transport record is 28 bytes");

typedef struct Qor_Common_Xcp_Udp6Transport_t {
  uint32_t flags;             /* +0 0 or 1 */
  uint32_t firstWord;         /* +4 */
  uint8_t firstAddress[16];   /* +8 */
  uint8_t secondAddress[16];  /* +24 */
  uint16_t firstPort;         /* +40 */
  uint16_t secondPort;        /* +42 */
  uint32_t secondWord;        /* +44 */
} Qor_Common_Xcp_Udp6Transport_t;
QOR_STATIC_ASSERT(sizeof(Qor_Common_Xcp_Udp6Transport_t) == 48, "UDP IPv6 transport record is 48 bytes");

typedef struct Qor_Common_Xcp_Tcp6Transport_t {
  uint32_t flags;             /* +0 0 or 1 */
  uint32_t firstWord;         /* +4 */
  uint8_t firstAddress[16];   /* +8 */
  uint8_t secondAddress[16];  /* +24 */
  uint16_t firstPort;         /* +40 */
  uint16_t secondPort;        /* +42 */
  uint32_t secondWord;        /* +44 */
  uint32_t tcpWord;           /* +48 */
} Qor_Common_Xcp_Tcp6Transport_t;
QOR_STATIC_ASSERT(sizeof(Qor_Common_Xcp_Tcp6Transport_t) == 52, "TCP IPv6 transport record is 52 bytes");

/* ---- one command and its answer ---- */
typedef struct Qor_Common_Xcp_Request_t {
  uint32_t timeoutUs; /* +0 the firmware's wait for the slave's answer, in microseconds */
  uint8_t flags;      /* +4 0 */
  uint8_t kind;       /* +5 passed to the firmware unchanged; 2 for a command with an answer */
  uint16_t length;    /* +6 bytes of packet, up to 4096 */
  uint8_t packet[QOR_COMMON_XCP_MAX_PACKET]; /* +8 the command packet, command code first */
} Qor_Common_Xcp_Request_t;
QOR_STATIC_ASSERT(sizeof(Qor_Common_Xcp_Request_t) == 8 + 4096, "XCP request record");
QOR_STATIC_ASSERT(offsetof(Qor_Common_Xcp_Request_t, packet) == 8, "request packet at 8");

enum {
  QOR_COMMON_XCP_NO_VALID_ANSWER = 0,
  QOR_COMMON_XCP_ANSWER_RECEIVED = 1,
  QOR_COMMON_XCP_NO_ANSWER_FROM_SLAVE = 2,    /* no valid answer, the slave did not answer */
  QOR_COMMON_XCP_VALID_WITHOUT_ANSWER = 3     /* flagged valid, but the slave did not answer */
};
typedef struct Qor_Common_Xcp_Response_t {
  uint32_t state;         /* +0 QOR_COMMON_XCP_NO_VALID_ANSWER ... */
  uint32_t firmwareError; /* +4 the firmware's code for the exchange, 0 when none */
  uint32_t length;        /* +8 bytes of packet */
  uint8_t packet[QOR_COMMON_XCP_MAX_PACKET]; /* +12 the answer packet, PID first */
} Qor_Common_Xcp_Response_t;
QOR_STATIC_ASSERT(sizeof(Qor_Common_Xcp_Response_t) == 12 + 4096, "XCP response record");
QOR_STATIC_ASSERT(offsetof(Qor_Common_Xcp_Response_t, packet) == 12, "response packet at 12");

/* ---- channel state and properties ---- */
typedef struct Qor_Common_Xcp_State_t {
  uint32_t flags;        /* +0 bits 0 to 4 of the firmware's state: bit 1 frames wait in the CTO receive FIFO,
                            bit 2 passed on by the DAQ reader, bit 3 the CTO transmit FIFO is still sending */
  uint8_t commandState;  /* +4 0 to 2 */
  uint8_t reserved5[3];  /* +5 0 */
} Qor_Common_Xcp_State_t;
QOR_STATIC_ASSERT(sizeof(Qor_Common_Xcp_State_t) == 8, "XCP channel state is 8 bytes");

/* Ids 0 to 4; id 4 switches time stamps on received DTO frames (1 on, 0 off). */
#define QOR_COMMON_XCP_PROPERTY_MAX_ID 4u
#define QOR_COMMON_XCP_PROPERTY_DTO_TIME_STAMPS 4u
typedef struct Qor_Common_Xcp_PropertyRequest_t {
  uint16_t id;         /* +0 0 to 4 */
  uint16_t reserved2;  /* +2 0 */
} Qor_Common_Xcp_PropertyRequest_t;
QOR_STATIC_ASSERT(sizeof(Qor_Common_Xcp_PropertyRequest_t) == 4, "XCP property request is 4 bytes");

typedef struct Qor_Common_Xcp_Property_t {
  uint16_t id;         /* +0 0 to 4 */
  uint16_t reserved2;  /* +2 0 */
  uint32_t value;      /* +4 */
} Qor_Common_Xcp_Property_t;
QOR_STATIC_ASSERT(sizeof(Qor_Common_Xcp_Property_t) == 8, "XCP property is 8 bytes");

/* ---- FIFO frames ---- */
/* flag: bit 0 of the firmware's frame flags. */
typedef struct Qor_Common_Xcp_DtoFrame_t {
  uint8_t flag;       /* +0 */
  uint8_t reserved1;  /* +1 0 */
  uint16_t length;    /* +2 bytes of data */
  uint8_t data[QOR_COMMON_XCP_MAX_DTO_DATA]; /* +4 */
} Qor_Common_Xcp_DtoFrame_t;
QOR_STATIC_ASSERT(sizeof(Qor_Common_Xcp_DtoFrame_t) == 4 + 65536, "DTO frame record");

typedef struct Qor_Common_Xcp_DtoFrameTs_t {
  uint8_t flag;        /* +0 */
  uint8_t reserved1;   /* +1 0 */
  uint16_t length;     /* +2 bytes of data */
  uint8_t reserved4[4]; /* +4 0, aligns the time stamp */
  uint64_t timeStamp;  /* +8 */
  uint8_t data[QOR_COMMON_XCP_MAX_DTO_DATA]; /* +16 */
} Qor_Common_Xcp_DtoFrameTs_t;
QOR_STATIC_ASSERT(sizeof(Qor_Common_Xcp_DtoFrameTs_t) == 16 + 65536, "time-stamped DTO frame record");
QOR_STATIC_ASSERT(offsetof(Qor_Common_Xcp_DtoFrameTs_t, timeStamp) == 8, "time stamp at 8");

typedef struct Qor_Common_Xcp_CtoFrame_t {
  uint8_t flag;       /* +0 */
  uint8_t reserved1;  /* +1 0 */
  uint16_t length;    /* +2 bytes of data, up to 256 */
  uint8_t data[QOR_COMMON_XCP_MAX_CTO_DATA]; /* +4 */
} Qor_Common_Xcp_CtoFrame_t;
QOR_STATIC_ASSERT(sizeof(Qor_Common_Xcp_CtoFrame_t) == 260, "CTO frame record is 260 bytes");

/* A frame of a packed read: its data lie in the caller's buffer at offset. */
typedef struct Qor_Common_Xcp_FrameInfo_t {
  uint16_t flag;    /* +0 */
  uint16_t length;  /* +2 bytes of data */
  uint32_t offset;  /* +4 */
} Qor_Common_Xcp_FrameInfo_t;
QOR_STATIC_ASSERT(sizeof(Qor_Common_Xcp_FrameInfo_t) == 8, "frame info is 8 bytes");

typedef struct Qor_Common_Xcp_FrameInfoTs_t {
  uint16_t flag;       /* +0 */
  uint16_t length;     /* +2 bytes of data */
  uint32_t offset;     /* +4 */
  uint64_t timeStamp;  /* +8 */
} Qor_Common_Xcp_FrameInfoTs_t;
QOR_STATIC_ASSERT(sizeof(Qor_Common_Xcp_FrameInfoTs_t) == 16, "time-stamped frame info is 16 bytes");

typedef struct Qor_Common_Xcp_TxDtoFrame_t {
  uint16_t length;     /* +0 bytes of data, up to the port's parameter length - 8 */
  uint16_t reserved2;  /* +2 0 */
  uint8_t data[QOR_COMMON_XCP_MAX_DTO_DATA]; /* +4 */
} Qor_Common_Xcp_TxDtoFrame_t;
QOR_STATIC_ASSERT(sizeof(Qor_Common_Xcp_TxDtoFrame_t) == 4 + 65536, "DTO frame to send");

typedef struct Qor_Common_Xcp_TxCtoFrame_t {
  uint16_t length;     /* +0 bytes of data, up to 255 */
  uint16_t reserved2;  /* +2 0 */
  uint8_t data[QOR_COMMON_XCP_MAX_CTO_DATA]; /* +4 */
} Qor_Common_Xcp_TxCtoFrame_t;
QOR_STATIC_ASSERT(sizeof(Qor_Common_Xcp_TxCtoFrame_t) == 260, "CTO frame to send is 260 bytes");

/* ---- functions ---- */
QOR_API uint32_t Qor_Common_Xcp_Reset(uint32_t port, uint8_t channel);
QOR_API uint32_t Qor_Common_Xcp_Init_Can(uint32_t port, uint8_t channel,
                                         const Qor_Common_Xcp_CanTransport_t* transport);
QOR_API uint32_t Qor_Common_Xcp_Init_FlexRay(uint32_t port, uint8_t channel,
                                             const Qor_Common_Xcp_FlexRayTransport_t* transport);
QOR_API uint32_t Qor_Common_Xcp_Init_Ethernet_Udp4(uint32_t port, uint8_t channel,
                                                   const Qor_Common_Xcp_Udp4Transport_t* transport);
QOR_API uint32_t Qor_Common_Xcp_Init_Ethernet_Udp6(uint32_t port, uint8_t channel,
                                                   const Qor_Common_Xcp_Udp6Transport_t* transport);
QOR_API uint32_t Qor_Common_Xcp_Init_Ethernet_Tcp4(uint32_t port, uint8_t channel,
                                                   const Qor_Common_Xcp_Tcp4Transport_t* transport);
QOR_API uint32_t Qor_Common_Xcp_Init_Ethernet_Tcp6(uint32_t port, uint8_t channel,
                                                   const Qor_Common_Xcp_Tcp6Transport_t* transport);

/* Sends the command and collects the answer. The answer's state and the firmware's code are stored whenever the
 * exchange completes; an XCP error packet (0xFE) gives 0x02010202 with its text. The wait is bounded: a firmware that
 * keeps the command pending past the request's time-out and the port's response time-out gives 0x02010203. */
QOR_API uint32_t Qor_Common_Xcp_CommandWithResponse(uint32_t port, uint8_t channel,
                                                    const Qor_Common_Xcp_Request_t* request,
                                                    Qor_Common_Xcp_Response_t* response);

QOR_API uint32_t Qor_Common_Xcp_GetState(uint32_t port, uint8_t channel, Qor_Common_Xcp_State_t* state);
QOR_API uint32_t Qor_Common_Xcp_Property_GetById(uint32_t port, uint8_t channel,
                                                 const Qor_Common_Xcp_PropertyRequest_t* request,
                                                 Qor_Common_Xcp_Property_t* property);
QOR_API uint32_t Qor_Common_Xcp_Property_SetById(uint32_t port, uint8_t channel,
                                                 const Qor_Common_Xcp_Property_t* property);

/* Reads of the receive FIFOs: *count is the capacity in records on entry and the records filled on return, also on
 * failure. Frames that did not fit are lost (0x02010006). A frame whose length does not fit its header or the
 * firmware's answer gives 0x02010003. */
QOR_API uint32_t Qor_Common_Xcp_ReadDtoRxFifo(uint32_t port, uint8_t channel, uint32_t* count,
                                              Qor_Common_Xcp_DtoFrame_t* frames);
QOR_API uint32_t Qor_Common_Xcp_ReadDtoRxFifoTs(uint32_t port, uint8_t channel, uint32_t* count,
                                                Qor_Common_Xcp_DtoFrameTs_t* frames);
/* The data of all frames packed into buffer; flags must be 0. */
QOR_API uint32_t Qor_Common_Xcp_ReadDtoRxFifo2(uint32_t port, uint8_t channel, uint32_t flags, uint32_t bufferSize,
                                               uint8_t* buffer, uint32_t* count, Qor_Common_Xcp_FrameInfo_t* frames);
QOR_API uint32_t Qor_Common_Xcp_ReadDtoRxFifo2Ts(uint32_t port, uint8_t channel, uint32_t flags,
                                                 uint32_t bufferSize, uint8_t* buffer, uint32_t* count,
                                                 Qor_Common_Xcp_FrameInfoTs_t* frames);
QOR_API uint32_t Qor_Common_Xcp_ReadCtoRxFifo(uint32_t port, uint8_t channel, uint32_t* count,
                                              Qor_Common_Xcp_CtoFrame_t* frames);

/* Writes of the transmit FIFOs, packed into as few firmware requests as the port's parameter length allows. Every
 * frame is checked before the first request is sent; a failing request ends the call, earlier requests stay sent. */
QOR_API uint32_t Qor_Common_Xcp_WriteDtoTxFifo(uint32_t port, uint8_t channel, uint32_t count,
                                               const Qor_Common_Xcp_TxDtoFrame_t* frames);
QOR_API uint32_t Qor_Common_Xcp_WriteCtoTxFifo(uint32_t port, uint8_t channel, uint32_t count,
                                               const Qor_Common_Xcp_TxCtoFrame_t* frames);

/* The text of an XCP error code (by its low byte); the empty text for a code the XCP standard does not name. */
QOR_API const char* Qor_Common_Xcp_GetErrorDescription(uint32_t code);

QOR_END_DECLS

#endif
