/* Transport-protocol channels that the CAN firmware runs on its own: a free channel is requested and returned,
 * configured for one protocol or switched off, runs broadcast transmissions whose data can be read back, and has a
 * monitor filter. The meanings of the parameter blocks, values, flags, broadcast modes and the filter belong to the
 * firmware; the library passes them as given. */
#ifndef QOR_CAN_TP_H
#define QOR_CAN_TP_H

#include <stddef.h>

#include "qor_types.h"

QOR_BEGIN_DECLS

#define QOR_CAN_TP_MAX_ADDRESSING_FORMAT 2u
#define QOR_CAN_TP_ISOTP_FLAGS 0x3FFu
#define QOR_CAN_TP_ISO15765_FLAGS 0xFFFu
#define QOR_CAN_TP_MAX_BROADCAST_MODE 2u

typedef struct Qor_Can_TpConfigTp16_t {
  uint8_t byte1;          /* +0 */
  uint8_t byte2;          /* +1 */
  uint8_t byte3;          /* +2 */
  uint8_t reserved;       /* +3 0 */
  uint8_t parameters[16]; /* +4 */
  uint16_t value1;        /* +20 */
  uint16_t value2;        /* +22 */
  uint16_t value3;        /* +24 */
  uint16_t value4;        /* +26 */
} Qor_Can_TpConfigTp16_t;
QOR_STATIC_ASSERT(sizeof(Qor_Can_TpConfigTp16_t) == 28, "TP 1.6 configuration is 28 bytes");

typedef struct Qor_Can_TpConfigTp20_t {
  uint8_t byte1;           /* +0 */
  uint8_t byte2;           /* +1 */
  uint8_t byte3;           /* +2 */
  uint8_t applicationType; /* +3 0x01, 0x10, 0x20 or 0x21 */
  uint8_t parameters[16];  /* +4 */
  uint16_t value1;         /* +20 */
  uint16_t value2;         /* +22 */
} Qor_Can_TpConfigTp20_t;
QOR_STATIC_ASSERT(sizeof(Qor_Can_TpConfigTp20_t) == 24, "TP 2.0 configuration is 24 bytes");

typedef struct Qor_Can_TpConfigIsoTp_t {
  uint8_t bytes[4];          /* +0 bytes 1 to 4 */
  uint8_t parameters[16];    /* +4 */
  uint8_t addressingFormat1; /* +20 0 to 2 */
  uint8_t addressingFormat2; /* +21 0 to 2 */
  uint8_t byte5;             /* +22 */
  uint8_t byte6;             /* +23 */
  uint32_t flags;            /* +24 bits 0 to 9 */
  uint8_t byte7;             /* +28 */
  uint8_t reserved[3];       /* +29 0 */
  uint16_t values[4];        /* +32 values 1 to 4 */
  uint16_t value5;           /* +40 sent with flag bit 4 */
  uint16_t value6;           /* +42 sent with flag bit 5 */
  uint8_t value7;            /* +44 sent with flag bit 6 */
  uint8_t value8;            /* +45 sent with flag bit 8 */
  uint8_t value9;            /* +46 sent with flag bit 9 */
  uint8_t unused;            /* +47 not sent */
} Qor_Can_TpConfigIsoTp_t;
QOR_STATIC_ASSERT(sizeof(Qor_Can_TpConfigIsoTp_t) == 48, "ISO-TP configuration is 48 bytes");
QOR_STATIC_ASSERT(offsetof(Qor_Can_TpConfigIsoTp_t, values) == 32, "ISO-TP values at 32");

typedef struct Qor_Can_TpConfigGmLan_t {
  uint8_t bytes[4];          /* +0 bytes 1 to 4 */
  uint32_t value1;           /* +4 */
  uint32_t value2;           /* +8 */
  uint32_t value3;           /* +12 */
  uint8_t addressingFormat1; /* +16 0 to 2 */
  uint8_t addressingFormat2; /* +17 0 to 2 */
  uint8_t byte5;             /* +18 */
  uint8_t byte6;             /* +19 */
  uint32_t flag;             /* +20 0 or 1 */
  uint8_t byte7;             /* +24 */
  uint8_t reserved[3];       /* +25 0 */
  uint16_t values[4];        /* +28 values 4 to 7 */
  uint32_t value8;           /* +36 */
} Qor_Can_TpConfigGmLan_t;
QOR_STATIC_ASSERT(sizeof(Qor_Can_TpConfigGmLan_t) == 40, "GMLAN configuration is 40 bytes");
QOR_STATIC_ASSERT(offsetof(Qor_Can_TpConfigGmLan_t, value8) == 36, "GMLAN value 8 at 36");

typedef struct Qor_Can_TpConfigJ1939_t {
  uint8_t byte1;          /* +0 */
  uint8_t byte2;          /* +1 */
  uint16_t reserved;      /* +2 0 */
  uint8_t parameters[32]; /* +4 */
  uint32_t value;         /* +36 */
} Qor_Can_TpConfigJ1939_t;
QOR_STATIC_ASSERT(sizeof(Qor_Can_TpConfigJ1939_t) == 40, "J1939 configuration is 40 bytes");

typedef struct Qor_Can_TpConfigIso15765_t {
  uint32_t flags;            /* +0 bits 0 to 11; bit 11 is not sent */
  uint8_t bytes[4];          /* +4 bytes 1 to 4 */
  uint8_t parameters1[16];   /* +8 */
  uint8_t addressingFormat1; /* +24 0 to 2 */
  uint8_t addressingFormat2; /* +25 0 to 2 */
  uint8_t byte5;             /* +26 */
  uint8_t byte6;             /* +27 */
  uint8_t parameters2[16];   /* +28 */
  uint32_t value1;           /* +44 */
  uint32_t value2;           /* +48 */
  uint32_t value3;           /* +52 */
  uint8_t byte7;             /* +56 */
  uint8_t byte8;             /* +57 */
  uint8_t byte9;             /* +58 */
  uint8_t unused;            /* +59 not sent */
} Qor_Can_TpConfigIso15765_t;
QOR_STATIC_ASSERT(sizeof(Qor_Can_TpConfigIso15765_t) == 60, "ISO 15765 configuration is 60 bytes");
QOR_STATIC_ASSERT(offsetof(Qor_Can_TpConfigIso15765_t, value1) == 44, "ISO 15765 values at 44");

/* On the port's callback thread: the channel the firmware handed out. */
typedef void (*Qor_Can_Tp_ChannelCallback_t)(uint32_t port, uint8_t channel);
/* On the port's callback thread: a channel's broadcast data; data is valid during the call only. */
typedef void (*Qor_Can_Tp_BroadcastDataCallback_t)(uint32_t port, uint8_t channel, const uint8_t* data, uint16_t n);

/* "no free channel available" when the firmware has none (channel is still set to its answer). */
QOR_API uint32_t Qor_Can_Tp_GetChannel(uint32_t port, uint8_t* channel);
QOR_API uint32_t Qor_Can_Tp_GetChannel_Async(uint32_t port);
QOR_API uint32_t Qor_Can_Tp_GetChannel_Async_AddCallback(uint32_t port, Qor_Can_Tp_ChannelCallback_t callback);
QOR_API uint32_t Qor_Can_Tp_GetChannel_Async_RemoveCallback(uint32_t port);
QOR_API uint32_t Qor_Can_Tp_FreeChannel(uint32_t port, uint8_t channel);

QOR_API uint32_t Qor_Can_Tp_Config_Off(uint32_t port, uint8_t channel);
QOR_API uint32_t Qor_Can_Tp_Config_Tp_1_6(uint32_t port, uint8_t channel, const Qor_Can_TpConfigTp16_t* config);
QOR_API uint32_t Qor_Can_Tp_Config_Tp_2_0(uint32_t port, uint8_t channel, const Qor_Can_TpConfigTp20_t* config);
QOR_API uint32_t Qor_Can_Tp_Config_IsoTp(uint32_t port, uint8_t channel, const Qor_Can_TpConfigIsoTp_t* config);
QOR_API uint32_t Qor_Can_Tp_Config_GmLan(uint32_t port, uint8_t channel, const Qor_Can_TpConfigGmLan_t* config);
QOR_API uint32_t Qor_Can_Tp_Config_J1939(uint32_t port, uint8_t channel, const Qor_Can_TpConfigJ1939_t* config);
QOR_API uint32_t Qor_Can_Tp_Config_Iso15765(uint32_t port, uint8_t channel, const Qor_Can_TpConfigIso15765_t* config);

/* mode 0 to 2; n at most the port's parameter length less 4. */
QOR_API uint32_t Qor_Can_Tp_Broadcast_StartTransmission(uint32_t port, uint8_t channel, uint8_t mode,
                                                        const uint8_t* data, uint32_t n);
QOR_API uint32_t Qor_Can_Tp_Broadcast_StopTransmission(uint32_t port, uint8_t channel);
/* *length: the buffer's capacity in, the data bytes out; a capacity too small gives "response buffer undersized"
 * with the bytes needed and copies nothing. */
QOR_API uint32_t Qor_Can_Tp_Broadcast_GetData(uint32_t port, uint8_t channel, uint8_t* buffer, uint32_t* length);
QOR_API uint32_t Qor_Can_Tp_Broadcast_GetData_Async(uint32_t port, uint8_t channel);
QOR_API uint32_t Qor_Can_Tp_Broadcast_GetData_Async_AddCallback(uint32_t port, uint8_t channel,
                                                                Qor_Can_Tp_BroadcastDataCallback_t callback);
QOR_API uint32_t Qor_Can_Tp_Broadcast_GetData_Async_RemoveCallback(uint32_t port, uint8_t channel);

/* enable 0 or 1. */
QOR_API uint32_t Qor_Can_Tp_SetMonitorFilter(uint32_t port, uint8_t channel, uint8_t enable);

QOR_END_DECLS

#endif
