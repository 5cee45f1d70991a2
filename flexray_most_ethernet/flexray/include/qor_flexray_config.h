/* Initialising the FlexRay controller, its cluster and node protocol parameters and its properties. The library
 * checks none of the parameters: their meaning and ranges are the firmware's. */
#ifndef QOR_FLEXRAY_CONFIG_H
#define QOR_FLEXRAY_CONFIG_H

#include <stddef.h>

#include "qor_types.h"

QOR_BEGIN_DECLS

/* Qor_FlexRay_Init's flags: bit 0 makes a single-channel node. */
#define QOR_FLEXRAY_INIT_FLAGS 1u
#define QOR_FLEXRAY_MAX_CONTROLLER_TYPE 1u
#define QOR_FLEXRAY_TRANSCEIVER_TYPE 0u
#define QOR_FLEXRAY_MAX_PROPERTY_ID 20u

/* The protocol parameters, named as the parameter files name them; little endian, no gaps. */
typedef struct Qor_FlexRay_ConfigData_t {
  uint8_t gColdStartAttempts;                 /* +0 */
  uint8_t gListenNoise;                       /* +1 */
  uint16_t gMacroPerCycle;                    /* +2 */
  uint16_t gNumberOfMinislots;                /* +4 */
  uint16_t gNumberOfStaticSlots;              /* +6 */
  uint16_t gOffsetCorrectionStart;            /* +8 */
  uint8_t gMaxWithoutClockCorrectionFatal;    /* +10 */
  uint8_t gMaxWithoutClockCorrectionPassive;  /* +11 */
  uint8_t gNetworkManagementVectorLength;     /* +12 */
  uint8_t gPayloadLengthStatic;               /* +13 */
  uint8_t gSyncNodeMax;                       /* +14 */
  uint8_t gdActionPointOffset;                /* +15 */
  uint16_t gdBit;                             /* +16 */
  uint8_t gdCasRxLowMax;                      /* +18 */
  uint8_t gdDynamicSlotIdlePhase;             /* +19 */
  uint8_t gdMinislotActionPointOffset;        /* +20 */
  uint8_t gdMinislot;                         /* +21 */
  uint16_t gdStaticSlot;                      /* +22 */
  uint8_t gdSymbolWindow;                     /* +24 */
  uint8_t gdTSSTransmitter;                   /* +25 */
  uint8_t gdWakeUpSymbolRxIdle;               /* +26 */
  uint8_t gdWakeUpSymbolRxLow;                /* +27 */
  uint8_t gdWakeUpSymbolTxIdle;               /* +28 */
  uint8_t gdWakeUpSymbolTxLow;                /* +29 */
  uint16_t gdWakeUpSymbolRxWindow;            /* +30 */
  uint8_t pAllowHaltDueToClock;               /* +32 */
  uint8_t pAllowPassiveToActive;              /* +33 */
  uint8_t pClusterDriftDamping;               /* +34 */
  uint8_t pDecodingCorrection;                /* +35 */
  uint8_t pDelayCompensationA;                /* +36 */
  uint8_t pDelayCompensationB;                /* +37 */
  uint8_t pExternOffsetCorrection;            /* +38 */
  uint8_t pExternRateCorrection;              /* +39 */
  uint16_t pKeySlotId;                        /* +40 */
  uint8_t pKeySlotUsedForStartup;             /* +42 */
  uint8_t pKeySlotUsedForSync;                /* +43 */
  uint16_t pLatestTx;                         /* +44 */
  uint8_t pChannels;                          /* +46 */
  uint8_t pSingleSlotEnabled;                 /* +47 */
  uint32_t pMicroPerCycle;                    /* +48 */
  uint8_t pMicroPerMacroNom;                  /* +52 */
  uint8_t pPayloadLengthDynMax;               /* +53 */
  uint8_t pMacroInitialOffsetA;               /* +54 */
  uint8_t pMacroInitialOffsetB;               /* +55 */
  uint8_t pMicroInitialOffsetA;               /* +56 */
  uint8_t pMicroInitialOffsetB;               /* +57 */
  uint16_t pOffsetCorrectionOut;              /* +58 */
  uint16_t pRateCorrectionOut;                /* +60 */
  uint8_t pWakeUpChannel;                     /* +62 */
  uint8_t pWakeUpPattern;                     /* +63 */
  uint16_t pdAcceptedStartupRange;            /* +64 */
  uint16_t pdMaxDrift;                        /* +66 */
  uint32_t pdListenTimeout;                   /* +68 */
} Qor_FlexRay_ConfigData_t;
QOR_STATIC_ASSERT(sizeof(Qor_FlexRay_ConfigData_t) == 72, "FlexRay protocol parameters are 72 bytes");
QOR_STATIC_ASSERT(offsetof(Qor_FlexRay_ConfigData_t, gMacroPerCycle) == 2, "gMacroPerCycle at 2");
QOR_STATIC_ASSERT(offsetof(Qor_FlexRay_ConfigData_t, gNumberOfMinislots) == 4, "gNumberOfMinislots at 4");
QOR_STATIC_ASSERT(offsetof(Qor_FlexRay_ConfigData_t, gNumberOfStaticSlots) == 6, "gNumberOfStaticSlots at 6");
QOR_STATIC_ASSERT(offsetof(Qor_FlexRay_ConfigData_t, gOffsetCorrectionStart) == 8, "gOffsetCorrectionStart at 8");
QOR_STATIC_ASSERT(offsetof(Qor_FlexRay_ConfigData_t, gdBit) == 16, "gdBit at 16");
QOR_STATIC_ASSERT(offsetof(Qor_FlexRay_ConfigData_t, gdStaticSlot) == 22, "gdStaticSlot at 22");
QOR_STATIC_ASSERT(offsetof(Qor_FlexRay_ConfigData_t, gdWakeUpSymbolRxWindow) == 30, "gdWakeUpSymbolRxWindow at 30");
QOR_STATIC_ASSERT(offsetof(Qor_FlexRay_ConfigData_t, pKeySlotId) == 40, "pKeySlotId at 40");
QOR_STATIC_ASSERT(offsetof(Qor_FlexRay_ConfigData_t, pLatestTx) == 44, "pLatestTx at 44");
QOR_STATIC_ASSERT(offsetof(Qor_FlexRay_ConfigData_t, pMicroPerCycle) == 48, "pMicroPerCycle at 48");
QOR_STATIC_ASSERT(offsetof(Qor_FlexRay_ConfigData_t, pOffsetCorrectionOut) == 58, "pOffsetCorrectionOut at 58");
QOR_STATIC_ASSERT(offsetof(Qor_FlexRay_ConfigData_t, pRateCorrectionOut) == 60, "pRateCorrectionOut at 60");
QOR_STATIC_ASSERT(offsetof(Qor_FlexRay_ConfigData_t, pdAcceptedStartupRange) == 64, "pdAcceptedStartupRange at 64");
QOR_STATIC_ASSERT(offsetof(Qor_FlexRay_ConfigData_t, pdMaxDrift) == 66, "pdMaxDrift at 66");
QOR_STATIC_ASSERT(offsetof(Qor_FlexRay_ConfigData_t, pdListenTimeout) == 68, "pdListenTimeout at 68");

/* flags: QOR_FLEXRAY_INIT_FLAGS; controller type 0 or 1; transceiver type QOR_FLEXRAY_TRANSCEIVER_TYPE. */
QOR_API uint32_t Qor_FlexRay_Init(uint32_t port, uint32_t flags, uint8_t controllerType, uint8_t transceiverType);
QOR_API uint32_t Qor_FlexRay_Config(uint32_t port, const Qor_FlexRay_ConfigData_t* data);

/* Identifiers 0 to QOR_FLEXRAY_MAX_PROPERTY_ID; their meaning is the firmware's. */
QOR_API uint32_t Qor_FlexRay_Property_SetById(uint32_t port, uint32_t id, uint32_t value);
QOR_API uint32_t Qor_FlexRay_Property_GetById(uint32_t port, uint32_t id, uint32_t* value);

QOR_END_DECLS

#endif
