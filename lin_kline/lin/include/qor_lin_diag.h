/* LIN diagnostics: the interface's own diagnostic service (master request and slave response frames) on a diagnostic
 * instance, configured raw or after LIN 2.0, its state, schedule delays and transmit time-out. */
#ifndef QOR_LIN_DIAG_H
#define QOR_LIN_DIAG_H

#include "qor_types.h"

QOR_BEGIN_DECLS

#define QOR_LIN_DIAG_MAX_SPECIAL_RESPONSES 8u
#define QOR_LIN_DIAG_MAX_TESTER_PRESENT_DATA 8u

/* A special response of the raw configuration (20 bytes). */
typedef struct Qor_Lin_DiagSpecialResponse_t {
  uint8_t data[16];  /* +0 */
  uint32_t flags;    /* +16: bits 0 to 4 */
} Qor_Lin_DiagSpecialResponse_t;
QOR_STATIC_ASSERT(sizeof(Qor_Lin_DiagSpecialResponse_t) == 20, "Qor_Lin_DiagSpecialResponse_t is 20 bytes");

/* The raw configuration (48 bytes); its specialResponseCount special responses (at most 8) follow it in memory. */
typedef struct Qor_Lin_DiagConfigRaw_t {
  uint16_t value1;                    /* +0 */
  uint16_t value2;                    /* +2 */
  uint16_t value3;                    /* +4 */
  uint16_t reserved6;                 /* +6: 0 */
  uint8_t defaultMasterDataMode;      /* +8: 0 or 1 */
  uint8_t reserved9[3];               /* +9: 0 */
  uint8_t defaultMasterData[8];       /* +12 */
  uint8_t defaultSlaveDataMode;       /* +20: 0 or 1 */
  uint8_t reserved21[3];              /* +21: 0 */
  uint8_t defaultSlaveData[8];        /* +24 */
  uint8_t testerPresentMode;          /* +32: 0 or 1 */
  uint8_t testerPresentResponseMode;  /* +33: 0 or 1 */
  uint16_t testerPresentValue;        /* +34 */
  uint8_t testerPresentData[8];       /* +36 */
  uint8_t rxEndCondition;             /* +44: 0 to 3 */
  uint8_t reserved45[2];              /* +45: 0 */
  uint8_t specialResponseCount;       /* +47 */
} Qor_Lin_DiagConfigRaw_t;
QOR_STATIC_ASSERT(sizeof(Qor_Lin_DiagConfigRaw_t) == 48, "Qor_Lin_DiagConfigRaw_t is 48 bytes");
QOR_STATIC_ASSERT(offsetof(Qor_Lin_DiagConfigRaw_t, testerPresentData) == 36, "tester present data at 36");
QOR_STATIC_ASSERT(offsetof(Qor_Lin_DiagConfigRaw_t, specialResponseCount) == 47, "count at 47");

/* The LIN 2.0 configuration (24 bytes). */
typedef struct Qor_Lin_DiagConfigLin20_t {
  uint8_t value0;                     /* +0 */
  uint8_t reserved1;                  /* +1: 0 */
  uint16_t value1;                    /* +2 */
  uint16_t value2;                    /* +4 */
  uint16_t value3;                    /* +6 */
  uint8_t testerPresentMode;          /* +8: 0 or 1 */
  uint8_t testerPresentResponseMode;  /* +9: 0 or 1 */
  uint16_t testerPresentValue;        /* +10 */
  uint16_t reserved12;                /* +12: 0 */
  uint8_t reserved14;                 /* +14: 0 */
  uint8_t testerPresentDataLength;    /* +15: at most 8 */
  uint8_t testerPresentData[8];       /* +16 */
} Qor_Lin_DiagConfigLin20_t;
QOR_STATIC_ASSERT(sizeof(Qor_Lin_DiagConfigLin20_t) == 24, "Qor_Lin_DiagConfigLin20_t is 24 bytes");
QOR_STATIC_ASSERT(offsetof(Qor_Lin_DiagConfigLin20_t, testerPresentDataLength) == 15, "data length at 15");

/* The state of a diagnostic instance as the asynchronous query delivers it: the answer's first two bytes, the type
 * (0 to 2), the state (0 to 4) and the response flags (bits 0 and 1). */
typedef void (*Qor_Lin_Diag_StateCallback_t)(uint32_t port, uint8_t answerByte0, uint8_t answerByte1, uint32_t type,
                                             uint32_t state, uint32_t responseFlags);

/* txMethod 0 to 4. */
QOR_API uint32_t Qor_Lin_Diag_Config_Raw(uint32_t port, uint8_t instance, uint8_t txMethod,
                                         const Qor_Lin_DiagConfigRaw_t* config);
QOR_API uint32_t Qor_Lin_Diag_Config_Lin_2_0(uint32_t port, uint8_t instance, uint8_t txMethod,
                                             const Qor_Lin_DiagConfigLin20_t* config);
QOR_API uint32_t Qor_Lin_Diag_Config_Off(uint32_t port, uint8_t instance);
/* Command flag 0 or 1. The outputs are written in the order given; those before a failing check keep their values. */
QOR_API uint32_t Qor_Lin_Diag_GetState(uint32_t port, uint8_t instance, uint32_t commandFlag, uint32_t* value,
                                       uint8_t* type, uint8_t* state, uint32_t* responseFlags);
QOR_API uint32_t Qor_Lin_Diag_GetState_Async(uint32_t port, uint8_t instance, uint32_t commandFlag);
QOR_API uint32_t Qor_Lin_Diag_GetState_Async_AddCallback(uint32_t port, uint8_t instance,
                                                         Qor_Lin_Diag_StateCallback_t callback);
QOR_API uint32_t Qor_Lin_Diag_GetState_Async_RemoveCallback(uint32_t port, uint8_t instance);
/* Delays in ns. */
QOR_API uint32_t Qor_Lin_Diag_ChangeScheduleDelay(uint32_t port, uint8_t instance, uint32_t delay1, uint32_t delay2);
/* In the firmware's unit, passed unchanged. */
QOR_API uint32_t Qor_Lin_Diag_ChangeTxTimeout(uint32_t port, uint8_t instance, uint16_t timeout);

QOR_END_DECLS

#endif
