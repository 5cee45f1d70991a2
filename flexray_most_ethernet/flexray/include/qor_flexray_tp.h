/* Setting up the firmware's transport-protocol channels over FlexRay (ISO 10681-2 or the AUTOSAR FlexRay transport
 * protocol) and its UDS diagnostic configuration with an optional cyclic TesterPresent request. The meaning of the
 * values and blocks is the firmware's; the library checks the flags, the modes and the reserved fields. */
#ifndef QOR_FLEXRAY_TP_H
#define QOR_FLEXRAY_TP_H

#include <stddef.h>

#include "qor_types.h"

QOR_BEGIN_DECLS

#define QOR_FLEXRAY_TP_ISO10681_FLAGS 0x1FFu
#define QOR_FLEXRAY_TP_AUTOSAR_FLAGS 0x7Fu
#define QOR_FLEXRAY_TP_MAX_ACK_TYPE 2u
#define QOR_FLEXRAY_TP_MAX_ADDRESSING_TYPE 1u
#define QOR_FLEXRAY_TP_MAX_LENGTH_MODE 2u
/* Diagnostic flags: bit 0 enables the TesterPresent request. */
#define QOR_FLEXRAY_DIAG_FLAGS 1u
#define QOR_FLEXRAY_DIAG_TESTER_PRESENT 1u

/* ISO 10681-2. value13 to value16 are sent only with flag bits 5, 6, 7 and 8. */
typedef struct Qor_FlexRay_TpConfigIso10681_t {
  uint32_t flags;        /* +0: bits 0 to 8 */
  uint16_t value1;       /* +4 */
  uint16_t value2;       /* +6 */
  uint16_t value3;       /* +8 */
  uint16_t value4;       /* +10 */
  uint8_t block1[16];    /* +12 */
  uint32_t value5;       /* +28 */
  uint32_t value6;       /* +32 */
  uint16_t value7;       /* +36 */
  uint8_t value8;        /* +38 */
  uint8_t value9;        /* +39 */
  uint8_t value10;       /* +40 */
  uint8_t value11;       /* +41 */
  uint8_t value12;       /* +42 */
  uint8_t reserved;      /* +43: 0 */
  uint8_t block2[16];    /* +44 */
  uint16_t value13;      /* +60 */
  uint16_t value14;      /* +62 */
  uint16_t value15;      /* +64 */
  uint16_t value16;      /* +66 */
} Qor_FlexRay_TpConfigIso10681_t;
QOR_STATIC_ASSERT(sizeof(Qor_FlexRay_TpConfigIso10681_t) == 68, "ISO 10681 record is 68 bytes");
QOR_STATIC_ASSERT(offsetof(Qor_FlexRay_TpConfigIso10681_t, value5) == 28, "value5 at 28");
QOR_STATIC_ASSERT(offsetof(Qor_FlexRay_TpConfigIso10681_t, reserved) == 43, "reserved at 43");
QOR_STATIC_ASSERT(offsetof(Qor_FlexRay_TpConfigIso10681_t, value13) == 60, "value13 at 60");

/* The AUTOSAR FlexRay transport protocol. */
typedef struct Qor_FlexRay_TpConfigAutosar_t {
  uint32_t flags;           /* +0: bits 0 to 6 */
  uint8_t ackType;          /* +4: 0 to 2 */
  uint8_t addressingType;   /* +5: 0 or 1 */
  uint8_t lengthMode;       /* +6: 0 to 2 */
  uint8_t reserved;         /* +7: 0 */
  uint16_t value1;          /* +8 */
  uint16_t value2;          /* +10 */
  uint16_t value3;          /* +12 */
  uint16_t value4;          /* +14 */
  uint8_t block1[16];       /* +16 */
  uint32_t value5;          /* +32 */
  uint32_t value6;          /* +36 */
  uint32_t value7;          /* +40 */
  uint8_t values8to15[8];   /* +44 */
  uint8_t block2[16];       /* +52 */
} Qor_FlexRay_TpConfigAutosar_t;
QOR_STATIC_ASSERT(sizeof(Qor_FlexRay_TpConfigAutosar_t) == 68, "AUTOSAR record is 68 bytes");
QOR_STATIC_ASSERT(offsetof(Qor_FlexRay_TpConfigAutosar_t, value1) == 8, "value1 at 8");
QOR_STATIC_ASSERT(offsetof(Qor_FlexRay_TpConfigAutosar_t, value5) == 32, "value5 at 32");
QOR_STATIC_ASSERT(offsetof(Qor_FlexRay_TpConfigAutosar_t, block2) == 52, "block2 at 52");

/* The UDS diagnostic configuration. The TesterPresent fields count only with QOR_FLEXRAY_DIAG_TESTER_PRESENT. */
typedef struct Qor_FlexRay_DiagConfigUds_t {
  uint32_t flags;                       /* +0: bit 0 */
  uint16_t value1;                      /* +4 */
  uint16_t value2;                      /* +6 */
  uint16_t value3;                      /* +8 */
  uint16_t reserved;                    /* +10: 0 */
  uint16_t testerPresentValue;          /* +12 */
  uint8_t testerPresentRequestMode;     /* +14: 0, 1, 0x80 or 0x81 */
  uint8_t testerPresentLength;          /* +15: 0 to 8 */
  uint8_t testerPresentMessage[8];      /* +16: the first testerPresentLength bytes are sent */
} Qor_FlexRay_DiagConfigUds_t;
QOR_STATIC_ASSERT(sizeof(Qor_FlexRay_DiagConfigUds_t) == 24, "UDS record is 24 bytes");
QOR_STATIC_ASSERT(offsetof(Qor_FlexRay_DiagConfigUds_t, testerPresentValue) == 12, "testerPresentValue at 12");

QOR_API uint32_t Qor_FlexRay_Tp_Init_Iso10681(uint32_t port, uint8_t channel,
                                              const Qor_FlexRay_TpConfigIso10681_t* config);
QOR_API uint32_t Qor_FlexRay_Tp_Init_Autosar(uint32_t port, uint8_t channel,
                                             const Qor_FlexRay_TpConfigAutosar_t* config);
/* value goes out unchanged at +4 of the firmware's record. */
QOR_API uint32_t Qor_FlexRay_Diag_Config_Uds(uint32_t port, uint8_t channel, uint32_t value,
                                             const Qor_FlexRay_DiagConfigUds_t* config);
QOR_API uint32_t Qor_FlexRay_Diag_Config_Off(uint32_t port, uint8_t channel);

QOR_END_DECLS

#endif
