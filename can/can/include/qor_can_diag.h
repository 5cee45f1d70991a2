/* The firmware's own diagnostic service on a diagnostic channel: it sends requests, keeps the connection to the ECU
 * alive with tester present messages and collects responses over one of six transport protocols. These calls
 * configure it, switch it off and read its state. The meanings of the modes, flags, values, types, states and
 * response flags belong to the firmware; the library passes them as given. */
#ifndef QOR_CAN_DIAG_H
#define QOR_CAN_DIAG_H

#include <stddef.h>

#include "qor_types.h"

QOR_BEGIN_DECLS

/* Modes 1 and 3 carry the protocol's detail record; modes 0 and 2 do not. */
#define QOR_CAN_DIAG_MAX_MODE 3u
#define QOR_CAN_DIAG_FLAGS 0x0Fu

/* The detail of GMLAN, KWP2000 over ISO-TP and UDS over ISO-TP. */
typedef struct Qor_Can_DiagConfigIsoTp_t {
  uint16_t value1;                    /* +0 */
  uint16_t value2;                    /* +2 */
  uint16_t value3;                    /* +4 */
  uint16_t reserved1;                 /* +6 0 */
  uint8_t TesterPresentMode;          /* +8 0 to 2 */
  uint8_t TesterPresentResponseMode;  /* +9 0 or 1 */
  uint16_t testerPresentValue;        /* +10 */
  uint16_t reserved2;                 /* +12 0 */
  uint8_t reserved3;                  /* +14 0 */
  uint8_t testerPresentDataLength;    /* +15 0 to 8 */
  uint8_t testerPresentData[8];       /* +16 */
} Qor_Can_DiagConfigIsoTp_t;
QOR_STATIC_ASSERT(sizeof(Qor_Can_DiagConfigIsoTp_t) == 24, "ISO-TP detail is 24 bytes");

typedef struct Qor_Can_DiagConfigJ1939_t {
  uint32_t value1;                    /* +0 */
  uint32_t value2;                    /* +4 */
  uint16_t value3;                    /* +8 */
  uint16_t reserved1;                 /* +10 0 */
  uint8_t TesterPresentMode;          /* +12 0 to 2 */
  uint8_t TesterPresentResponseMode;  /* +13 0 or 1 */
  uint8_t testerPresentDataLength;    /* +14 0 to 11 */
  uint8_t reserved2;                  /* +15 0 */
  uint32_t testerPresentValue;        /* +16 */
  uint8_t testerPresentData[11];      /* +20 */
  uint8_t reserved3;                  /* +31 not sent */
} Qor_Can_DiagConfigJ1939_t;
QOR_STATIC_ASSERT(sizeof(Qor_Can_DiagConfigJ1939_t) == 32, "J1939 detail is 32 bytes");

typedef struct Qor_Can_DiagConfigTp16_t {
  uint16_t value1;   /* +0 */
  uint16_t value2;   /* +2 */
  uint8_t value3;    /* +4 */
  uint8_t value4;    /* +5 */
  uint8_t value5;    /* +6 */
  uint8_t reserved1; /* +7 0 */
  uint16_t value6;   /* +8 */
  uint16_t reserved2; /* +10 0 */
} Qor_Can_DiagConfigTp16_t;
QOR_STATIC_ASSERT(sizeof(Qor_Can_DiagConfigTp16_t) == 12, "TP 1.6 detail is 12 bytes");

/* The state of a channel, on the port's callback thread. */
typedef void (*Qor_Can_Diag_StateCallback_t)(uint32_t port, uint8_t channel, uint8_t lastErrorCode, uint32_t type,
                                             uint32_t state, uint32_t rspFlags);

QOR_API uint32_t Qor_Can_Diag_Config_GmLan(uint32_t port, uint8_t channel, uint8_t mode, uint32_t value, uint32_t flags,
                                           const Qor_Can_DiagConfigIsoTp_t* config);
QOR_API uint32_t Qor_Can_Diag_Config_Kw2000_IsoTp(uint32_t port, uint8_t channel, uint8_t mode, uint32_t value,
                                                  uint32_t flags, const Qor_Can_DiagConfigIsoTp_t* config);
QOR_API uint32_t Qor_Can_Diag_Config_Uds_IsoTp(uint32_t port, uint8_t channel, uint8_t mode, uint32_t value,
                                               uint32_t flags, const Qor_Can_DiagConfigIsoTp_t* config);
QOR_API uint32_t Qor_Can_Diag_Config_J1939(uint32_t port, uint8_t channel, uint8_t mode, uint32_t value, uint32_t flags,
                                           const Qor_Can_DiagConfigJ1939_t* config);
QOR_API uint32_t Qor_Can_Diag_Config_Kw2000_Tp_1_6(uint32_t port, uint8_t channel, uint8_t mode, uint32_t value,
                                                   uint32_t flags, const Qor_Can_DiagConfigTp16_t* config);
QOR_API uint32_t Qor_Can_Diag_Config_Kw2000_Tp_2_0(uint32_t port, uint8_t channel, uint8_t mode, uint32_t value,
                                                   uint32_t flags, uint16_t value1, uint16_t value2);
QOR_API uint32_t Qor_Can_Diag_Config_Off(uint32_t port, uint8_t channel);

/* type 0 to 7, state 0 to 4, rspFlags bits 0 to 3. */
QOR_API uint32_t Qor_Can_Diag_GetState(uint32_t port, uint8_t channel, uint32_t commandFlag, uint32_t* lastErrorCode,
                                       uint8_t* type, uint8_t* state, uint32_t* rspFlags);
QOR_API uint32_t Qor_Can_Diag_GetState_Async(uint32_t port, uint8_t channel, uint32_t commandFlag);
QOR_API uint32_t Qor_Can_Diag_GetState_Async_AddCallback(uint32_t port, uint8_t channel,
                                                         Qor_Can_Diag_StateCallback_t callback);
QOR_API uint32_t Qor_Can_Diag_GetState_Async_RemoveCallback(uint32_t port, uint8_t channel);

QOR_END_DECLS

#endif
