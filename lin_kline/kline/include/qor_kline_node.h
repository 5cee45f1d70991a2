/* K-Line node properties and the diagnostic protocols that the interface runs on its own. Every function checks
 * first that the port is a K-Line interface; records are little endian and their reserved fields must be zero. */
#ifndef QOR_KLINE_NODE_H
#define QOR_KLINE_NODE_H

#include "qor_types.h"

QOR_BEGIN_DECLS

/* Node properties 1 to 3; any other id is "unknown id". */
QOR_API uint32_t Qor_KLine_Node_Property_SetById(uint32_t port, uint16_t id, uint32_t value);
/* *value is written only on success. */
QOR_API uint32_t Qor_KLine_Node_Property_GetById(uint32_t port, uint16_t id, uint32_t* value);

/* ---- diagnostic protocols: each configures one diagnostic channel. Where a bit of the command flags is clear,
 * the interface's default is sent instead of the record's fields that the bit governs. ---- */

/* KWP2000. Command flags: bit 0 the interface's option byte, bits 1 and 2 a two-bit mode, bit 3 sourceAddress,
 * bit 4 timing, bit 5 the tester present fields, bit 6 the initialisation fields of InitMode, bit 7 values. */
typedef struct Qor_KLine_DiagConfigKw2000_t {
  uint8_t targetAddress;           /* +0 */
  uint8_t InitMode;                /* +1: 0 slow, 1 fast initialisation */
  uint8_t sourceAddress;           /* +2 */
  uint8_t reserved3;               /* +3 */
  uint16_t timing[8];              /* +4 */
  uint32_t testerPresentFlag;      /* +20: 0 or 1 */
  uint8_t testerPresentSource;     /* +24 */
  uint8_t testerPresentTarget;     /* +25 */
  uint8_t testerPresentValue;      /* +26 */
  uint8_t reserved27;              /* +27 */
  uint8_t slowInitAddress;         /* +28 */
  uint8_t slowInitParity;          /* +29: 0 or 1 */
  uint16_t reserved30;             /* +30 */
  uint16_t slowInitTiming[8];      /* +32 */
  uint16_t slowInitValue1;         /* +48 */
  uint16_t slowInitValue2;         /* +50 */
  uint8_t fastInitSource;          /* +52 */
  uint8_t fastInitTarget;          /* +53 */
  uint16_t reserved54;             /* +54 */
  uint16_t fastInitParameters[14]; /* +56 */
  uint32_t fastInitBaudRate;       /* +84 */
  uint16_t values[3];              /* +88 */
  uint16_t reserved94;             /* +94 */
} Qor_KLine_DiagConfigKw2000_t;
QOR_STATIC_ASSERT(sizeof(Qor_KLine_DiagConfigKw2000_t) == 96, "Qor_KLine_DiagConfigKw2000_t is 96 bytes");
QOR_STATIC_ASSERT(offsetof(Qor_KLine_DiagConfigKw2000_t, testerPresentFlag) == 20, "tester present at 20");
QOR_STATIC_ASSERT(offsetof(Qor_KLine_DiagConfigKw2000_t, slowInitAddress) == 28, "slow init at 28");
QOR_STATIC_ASSERT(offsetof(Qor_KLine_DiagConfigKw2000_t, fastInitSource) == 52, "fast init at 52");
QOR_STATIC_ASSERT(offsetof(Qor_KLine_DiagConfigKw2000_t, fastInitBaudRate) == 84, "baud rate at 84");
QOR_STATIC_ASSERT(offsetof(Qor_KLine_DiagConfigKw2000_t, values) == 88, "values at 88");

/* KW1281. Command flags: bit 0 timing, bit 1 the initialisation block and parity, bit 2 the values. */
typedef struct Qor_KLine_DiagConfigKw1281_t {
  uint8_t address;        /* +0 */
  uint8_t reserved1;      /* +1 */
  uint16_t reserved2;     /* +2 */
  uint8_t timing[12];     /* +4 */
  uint8_t parity;         /* +16: 0 or 1 */
  uint8_t reserved17;     /* +17 */
  uint16_t reserved18;    /* +18 */
  uint8_t initBlock[28];  /* +20 */
  uint16_t value1;        /* +48 */
  uint16_t value2;        /* +50 */
} Qor_KLine_DiagConfigKw1281_t;
QOR_STATIC_ASSERT(sizeof(Qor_KLine_DiagConfigKw1281_t) == 52, "Qor_KLine_DiagConfigKw1281_t is 52 bytes");
QOR_STATIC_ASSERT(offsetof(Qor_KLine_DiagConfigKw1281_t, parity) == 16, "parity at 16");
QOR_STATIC_ASSERT(offsetof(Qor_KLine_DiagConfigKw1281_t, initBlock) == 20, "init block at 20");
QOR_STATIC_ASSERT(offsetof(Qor_KLine_DiagConfigKw1281_t, value1) == 48, "value 1 at 48");

/* ISO 9141. Command flags: bit 0 the option byte, bit 1 sourceAddress, bit 2 timing, bit 3 value. */
typedef struct Qor_KLine_DiagConfigIso9141Ford_t {
  uint8_t targetAddress; /* +0 */
  uint8_t sourceAddress; /* +1 */
  uint16_t reserved2;    /* +2 */
  uint16_t timing[8];    /* +4 */
  uint16_t value;        /* +20 */
  uint16_t reserved22;   /* +22 */
} Qor_KLine_DiagConfigIso9141Ford_t;
QOR_STATIC_ASSERT(sizeof(Qor_KLine_DiagConfigIso9141Ford_t) == 24, "Qor_KLine_DiagConfigIso9141Ford_t is 24 bytes");
QOR_STATIC_ASSERT(offsetof(Qor_KLine_DiagConfigIso9141Ford_t, value) == 20, "value at 20");

/* W-Bus. Command flags: bit 0 the option byte, bit 1 value1, bit 2 value2, bit 3 value3, bit 4 timing, bit 5 the
 * options (optionBits uses bits 0 and 1). */
typedef struct Qor_KLine_DiagConfigWBus_t {
  uint8_t address;          /* +0 */
  uint8_t value1;           /* +1 */
  uint8_t value2;           /* +2 */
  uint8_t reserved3;        /* +3 */
  uint32_t value3;          /* +4 */
  uint32_t timing[4];       /* +8 */
  uint32_t optionBits;      /* +24 */
  uint32_t optionValues[3]; /* +28 */
} Qor_KLine_DiagConfigWBus_t;
QOR_STATIC_ASSERT(sizeof(Qor_KLine_DiagConfigWBus_t) == 40, "Qor_KLine_DiagConfigWBus_t is 40 bytes");
QOR_STATIC_ASSERT(offsetof(Qor_KLine_DiagConfigWBus_t, optionBits) == 24, "option bits at 24");

QOR_API uint32_t Qor_KLine_Diag_Config_Kw2000(uint32_t port, uint8_t channel, uint32_t flags,
                                              const Qor_KLine_DiagConfigKw2000_t* config);
QOR_API uint32_t Qor_KLine_Diag_Config_Kw1281(uint32_t port, uint8_t channel, uint32_t flags,
                                              const Qor_KLine_DiagConfigKw1281_t* config);
QOR_API uint32_t Qor_KLine_Diag_Config_Iso9141Ford(uint32_t port, uint8_t channel, uint32_t flags,
                                                   const Qor_KLine_DiagConfigIso9141Ford_t* config);
QOR_API uint32_t Qor_KLine_Diag_Config_WBus(uint32_t port, uint8_t channel, uint32_t flags,
                                            const Qor_KLine_DiagConfigWBus_t* config);

QOR_END_DECLS

#endif
