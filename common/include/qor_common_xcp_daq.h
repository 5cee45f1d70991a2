/* XCP data acquisition on an XCP channel of a port (see qor_common_xcp.h and qor_common_xcp_commands.h): the caller
 * lists the signals it wants; a start connects to the slave, unlocks DAQ with the caller's key where the slave
 * protects it, lays the signals out into DAQ lists and ODTs within the slave's limits, configures and starts them;
 * reads decode the DTO packets of the channel's DTO receive FIFO into values. The library computes no key.
 *
 * Per (port, channel) the library keeps a record (signals, time-outs, the lists laid out); it is dropped when the
 * port closes. Channel 255 is refused (0x02010007). Codes: 0x02010004 unknown flag, 0x02010007 invalid parameter,
 * 0x02010106 out of memory, 0x02010200 a DAQ is running, 0x02010201 DAQ not possible (no signals, not supported,
 * protected, slave limits exceeded), 0x02010003 / 0x02010009 answers of the slave that are too short or cannot be
 * worked with, and the codes of the exchange. A failed start disconnects the slave and leaves the record unconfigured.
 *
 * Reads: a DTO shorter than its ODT is skipped, never decoded, and reported with status bit 2. A caller's buffer
 * needs room for the values of up to 255 DTOs (0x02010006 otherwise; values of DTOs already drained are lost). */
#ifndef QOR_COMMON_XCP_DAQ_H
#define QOR_COMMON_XCP_DAQ_H

#include "qor_types.h"

QOR_BEGIN_DECLS

enum {
  QOR_COMMON_XCP_DAQ_WHOLE_ELEMENT = 0xFF, /* bit offset of a signal that is the whole element */
  QOR_COMMON_XCP_DAQ_MAX_SIGNAL_TYPE = 6,  /* types 0, 1: one byte; 2, 3: two bytes; 4 to 6: four bytes */
  QOR_COMMON_XCP_DAQ_TIME_STAMPS = 0x1,    /* start request: DTO frames carry time stamps */
  QOR_COMMON_XCP_DAQ_KEY_GIVEN = 0x2,      /* start request: key holds the key for the seed */
  QOR_COMMON_XCP_DAQ_SEED_RETURNED = 0x1,  /* start result: DAQ is protected, seed holds the seed */
  QOR_COMMON_XCP_DAQ_STATUS_FRAME_FLAG = 0x1,   /* read status: a frame carried flag bit 0 */
  QOR_COMMON_XCP_DAQ_STATUS_STATE_FLAG = 0x2,   /* read status: the channel's state flag bit 2 is set */
  QOR_COMMON_XCP_DAQ_STATUS_SHORT_DTO = 0x4     /* read status: a DTO too short for its ODT was skipped */
};

typedef struct Qor_Common_Xcp_Daq_Signal_t {
  uint32_t flags;           /* +0 0 */
  uint8_t bitOffset;        /* +4 0 to 7, or QOR_COMMON_XCP_DAQ_WHOLE_ELEMENT */
  uint8_t type;             /* +5 0 to 6 */
  uint8_t addressExtension; /* +6 */
  uint8_t reserved7;        /* +7 0 */
  uint16_t eventChannel;    /* +8 */
  uint16_t reserved10;      /* +10 0 */
  uint32_t address;         /* +12 */
  uint64_t userValue;       /* +16 returned with each value, not sent */
} Qor_Common_Xcp_Daq_Signal_t;
QOR_STATIC_ASSERT(sizeof(Qor_Common_Xcp_Daq_Signal_t) == 24, "DAQ signal is 24 bytes");

typedef struct Qor_Common_Xcp_Daq_Timeouts_t {
  uint32_t flags;     /* +0 0 */
  uint32_t t[7];      /* +4 T1 to T7 in milliseconds; T1 x 1000 us is the firmware's wait per command */
} Qor_Common_Xcp_Daq_Timeouts_t;
QOR_STATIC_ASSERT(sizeof(Qor_Common_Xcp_Daq_Timeouts_t) == 32, "DAQ time-outs are 32 bytes");

typedef struct Qor_Common_Xcp_Daq_StartRequest_t {
  uint32_t flags;       /* +0 QOR_COMMON_XCP_DAQ_TIME_STAMPS, QOR_COMMON_XCP_DAQ_KEY_GIVEN */
  uint8_t keyLength;    /* +4 */
  uint8_t reserved5[3]; /* +5 0 */
  uint8_t key[255];     /* +8 */
} Qor_Common_Xcp_Daq_StartRequest_t;
QOR_STATIC_ASSERT(sizeof(Qor_Common_Xcp_Daq_StartRequest_t) == 264, "DAQ start request is 264 bytes");

typedef struct Qor_Common_Xcp_Daq_StartResult_t {
  uint32_t flags;       /* +0 QOR_COMMON_XCP_DAQ_SEED_RETURNED */
  uint8_t seedLength;   /* +4 */
  uint8_t reserved5[3]; /* +5 0 */
  uint8_t seed[255];    /* +8 */
} Qor_Common_Xcp_Daq_StartResult_t;
QOR_STATIC_ASSERT(sizeof(Qor_Common_Xcp_Daq_StartResult_t) == 264, "DAQ start result is 264 bytes");

typedef struct Qor_Common_Xcp_Daq_State_t {
  uint32_t reserved0;   /* +0 0 */
  uint8_t state;        /* +4 0 stopped, 1 running */
  uint8_t reserved5[3]; /* +5 0 */
} Qor_Common_Xcp_Daq_State_t;
QOR_STATIC_ASSERT(sizeof(Qor_Common_Xcp_Daq_State_t) == 8, "DAQ state is 8 bytes");

typedef struct Qor_Common_Xcp_Daq_SignalValue_t {
  uint64_t userValue;    /* +0 */
  uint32_t address;      /* +8 */
  uint8_t type;          /* +12 */
  uint8_t reserved13[3]; /* +13 0 */
  uint32_t value;        /* +16 */
  uint32_t reserved20;   /* +20 0: the record's alignment */
} Qor_Common_Xcp_Daq_SignalValue_t;
QOR_STATIC_ASSERT(sizeof(Qor_Common_Xcp_Daq_SignalValue_t) == 24, "DAQ value is 24 bytes");

typedef struct Qor_Common_Xcp_Daq_SignalValueTs_t {
  uint64_t userValue;    /* +0 */
  uint32_t address;      /* +8 */
  uint8_t type;          /* +12 */
  uint8_t reserved13[3]; /* +13 0 */
  uint64_t timeStamp;    /* +16 the DTO frame's */
  uint32_t value;        /* +24 */
  uint32_t reserved28;   /* +28 0: the record's alignment */
} Qor_Common_Xcp_Daq_SignalValueTs_t;
QOR_STATIC_ASSERT(sizeof(Qor_Common_Xcp_Daq_SignalValueTs_t) == 32, "time-stamped DAQ value is 32 bytes");

QOR_API uint32_t Qor_Common_Xcp_Daq_Reset(uint32_t port, uint8_t channel, uint32_t flags);
QOR_API uint32_t Qor_Common_Xcp_Daq_SetTimeouts(uint32_t port, uint8_t channel,
                                                const Qor_Common_Xcp_Daq_Timeouts_t* timeouts);
/* Refused while the DAQ runs; signals set on a configured record take effect after a reset. */
QOR_API uint32_t Qor_Common_Xcp_Daq_SetSignals(uint32_t port, uint8_t channel, uint32_t flags, uint32_t count,
                                               const Qor_Common_Xcp_Daq_Signal_t* signals);
QOR_API uint32_t Qor_Common_Xcp_Daq_Start(uint32_t port, uint8_t channel, uint32_t flags);
/* A protected slave: without a key the seed comes back (result flag bit 0, 0x02010201); call again with the key.
 * A start after a stop selects the lists on the slave again and starts them; they are configured only once. */
QOR_API uint32_t Qor_Common_Xcp_Daq_Start2(uint32_t port, uint8_t channel,
                                           const Qor_Common_Xcp_Daq_StartRequest_t* request,
                                           Qor_Common_Xcp_Daq_StartResult_t* result);
QOR_API uint32_t Qor_Common_Xcp_Daq_Stop(uint32_t port, uint8_t channel, uint32_t flags);
QOR_API uint32_t Qor_Common_Xcp_Daq_GetState(uint32_t port, uint8_t channel, Qor_Common_Xcp_Daq_State_t* state);
/* *count: the capacity in values on entry, the values written on return. */
QOR_API uint32_t Qor_Common_Xcp_Daq_ReadRxSignals(uint32_t port, uint8_t channel, uint32_t flags, uint32_t* status,
                                                  uint32_t* count, Qor_Common_Xcp_Daq_SignalValue_t* values);
QOR_API uint32_t Qor_Common_Xcp_Daq_ReadRxSignalsTs(uint32_t port, uint8_t channel, uint32_t flags,
                                                    uint32_t* status, uint32_t* count,
                                                    Qor_Common_Xcp_Daq_SignalValueTs_t* values);

QOR_END_DECLS

#endif
