/* Setting up the firmware's diagnostic transport channels over Ethernet (ISO 13400 or diagnostics over the socket
 * adaptor, DoSoAd) and its UDS diagnostic configuration with an optional TesterPresent request. The meaning of the
 * values, blocks and type codes is the firmware's; the library checks flags, modes, types and reserved fields. */
#ifndef QOR_ETHERNET_TP_H
#define QOR_ETHERNET_TP_H

#include <stddef.h>

#include "qor_types.h"

QOR_BEGIN_DECLS

#define QOR_ETHERNET_TP_ISO13400_FLAGS 0xFFFu
/* ISO 13400: value16 is sent only with this flag. */
#define QOR_ETHERNET_TP_ISO13400_VALUE16 0x800u
#define QOR_ETHERNET_TP_MAX_VEH_IDENT_REQ_MODE 2u
#define QOR_ETHERNET_TP_DOSOAD_FLAGS 0x1Fu
/* Diagnostic flags: bit 0 enables the TesterPresent request. */
#define QOR_ETHERNET_DIAG_FLAGS 1u
#define QOR_ETHERNET_DIAG_TESTER_PRESENT 1u

/* ISO 13400. The address types are Qor_Ethernet_IpAddressType_t values. */
typedef struct Qor_Ethernet_TpConfigIso13400_t {
  uint32_t flags;              /* +0: bits 0 to 11 */
  uint8_t value1;              /* +4 */
  uint8_t value2;              /* +5 */
  uint8_t vehIdentReqMode;     /* +6: 0 to 2 */
  uint8_t reserved1;           /* +7: 0 */
  uint16_t value3;             /* +8 */
  uint16_t value4;             /* +10 */
  uint16_t value5;             /* +12 */
  uint16_t value6;             /* +14 */
  uint8_t block1[16];          /* +16 */
  uint32_t value7;             /* +32 */
  uint32_t value8;             /* +36 */
  uint32_t value9;             /* +40 */
  uint8_t value10;             /* +44 */
  uint8_t value11;             /* +45 */
  uint8_t ipAddressType1;      /* +46 */
  uint8_t ipAddressType2;      /* +47 */
  uint8_t block2[16];          /* +48 */
  uint8_t block3[16];          /* +64 */
  uint32_t value12;            /* +80 */
  uint32_t value13;            /* +84 */
  uint16_t value14;            /* +88 */
  uint16_t reserved2;          /* +90: 0 */
  uint8_t block4[16];          /* +92 */
  uint8_t value15;             /* +108 */
  uint8_t reserved3[3];        /* +109: 0 */
  uint32_t value16;            /* +112 */
} Qor_Ethernet_TpConfigIso13400_t;
QOR_STATIC_ASSERT(sizeof(Qor_Ethernet_TpConfigIso13400_t) == 116, "ISO 13400 record is 116 bytes");
QOR_STATIC_ASSERT(offsetof(Qor_Ethernet_TpConfigIso13400_t, value7) == 32, "value7 at 32");
QOR_STATIC_ASSERT(offsetof(Qor_Ethernet_TpConfigIso13400_t, block2) == 48, "block2 at 48");
QOR_STATIC_ASSERT(offsetof(Qor_Ethernet_TpConfigIso13400_t, reserved2) == 90, "reserved2 at 90");
QOR_STATIC_ASSERT(offsetof(Qor_Ethernet_TpConfigIso13400_t, value15) == 108, "value15 at 108");
QOR_STATIC_ASSERT(offsetof(Qor_Ethernet_TpConfigIso13400_t, value16) == 112, "value16 at 112");

/* DoSoAd. The address types are Qor_Ethernet_IpAddressType_t values (the remote one 1 or 2), the socket protocol
 * type a Qor_Ethernet_SocketProtocolType_t. */
typedef struct Qor_Ethernet_TpConfigDoSoAd_t {
  uint32_t flags;                 /* +0: bits 0 to 4 */
  uint16_t value1;                /* +4 */
  uint16_t value2;                /* +6 */
  uint16_t value3;                /* +8 */
  uint16_t value4;                /* +10 */
  uint8_t localIpAddressType;     /* +12 */
  uint8_t remoteIpAddressType;    /* +13 */
  uint8_t socketProtocolType;     /* +14 */
  uint8_t reserved;               /* +15: 0 */
  uint8_t block1[16];             /* +16 */
  uint8_t block2[16];             /* +32 */
  uint16_t value5;                /* +48 */
  uint16_t value6;                /* +50 */
  uint32_t value7;                /* +52 */
  uint32_t value8;                /* +56 */
  uint32_t value9;                /* +60 */
} Qor_Ethernet_TpConfigDoSoAd_t;
QOR_STATIC_ASSERT(sizeof(Qor_Ethernet_TpConfigDoSoAd_t) == 64, "DoSoAd record is 64 bytes");
QOR_STATIC_ASSERT(offsetof(Qor_Ethernet_TpConfigDoSoAd_t, localIpAddressType) == 12, "local type at 12");
QOR_STATIC_ASSERT(offsetof(Qor_Ethernet_TpConfigDoSoAd_t, value5) == 48, "value5 at 48");

/* The UDS diagnostic configuration. The TesterPresent fields count only with QOR_ETHERNET_DIAG_TESTER_PRESENT. */
typedef struct Qor_Ethernet_DiagConfigUds_t {
  uint32_t flags;                       /* +0: bit 0 */
  uint16_t value1;                      /* +4 */
  uint16_t value2;                      /* +6 */
  uint16_t value3;                      /* +8 */
  uint16_t reserved;                    /* +10: 0 */
  uint16_t testerPresentValue;          /* +12 */
  uint8_t testerPresentRequestMode;     /* +14: 0, 1, 0x80 or 0x81 */
  uint8_t testerPresentLength;          /* +15: 0 to 8 */
  uint8_t testerPresentMessage[8];      /* +16: the first testerPresentLength bytes are sent */
} Qor_Ethernet_DiagConfigUds_t;
QOR_STATIC_ASSERT(sizeof(Qor_Ethernet_DiagConfigUds_t) == 24, "UDS record is 24 bytes");
QOR_STATIC_ASSERT(offsetof(Qor_Ethernet_DiagConfigUds_t, testerPresentValue) == 12, "testerPresentValue at 12");

QOR_API uint32_t Qor_Ethernet_Tp_Init_Iso13400(uint32_t port, uint8_t channel,
                                               const Qor_Ethernet_TpConfigIso13400_t* config);
QOR_API uint32_t Qor_Ethernet_Tp_Init_DoSoAd(uint32_t port, uint8_t channel,
                                             const Qor_Ethernet_TpConfigDoSoAd_t* config);
/* value goes out unchanged at +4 of the firmware's record. */
QOR_API uint32_t Qor_Ethernet_Diag_Config_Uds(uint32_t port, uint8_t channel, uint32_t value,
                                              const Qor_Ethernet_DiagConfigUds_t* config);
QOR_API uint32_t Qor_Ethernet_Diag_Config_Off(uint32_t port, uint8_t channel);

QOR_END_DECLS

#endif
