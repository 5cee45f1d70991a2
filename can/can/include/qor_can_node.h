/* The CAN node: initialisation, baud rates (by register value, by the interface's own calculation, CAN FD), the
 * host-side bit-timing calculation, transceiver, transmit path, bus termination, internal battery voltage, error
 * frames, node state, bus idle time and the CAN FD frame settings. Results are written only on success (the FD
 * state read keeps what it read before a failure). Option bytes, the values of the baud-rate records, transceiver
 * types and modes, transmit-path modes and the node-state bytes pass unchanged: the interface firmware gives them
 * their meaning. */
#ifndef QOR_CAN_NODE_H
#define QOR_CAN_NODE_H

#include "qor_types.h"

QOR_BEGIN_DECLS

/* ---- bit timing ---- */
/* The node's 16-bit bit-timing register (40 MHz module clock): bits 0-5 prescaler - 1 (1 to 64), 6-7 the SJW field,
 * 8-11 TSEG1 - 1 (3 to 16), 12-14 TSEG2 - 1 (2 to 8), 15 DIV8 (the prescaler counts in steps of 8 clock cycles).
 * A bit lasts 1 + TSEG1 + TSEG2 time quanta (8 to 25). */
#define QOR_CAN_BIT_TIMING_CLOCK_HZ 40000000u
#define QOR_CAN_BIT_TIMING_REGISTER_MAX 0xFFFFu
#define QOR_CAN_TRANSCEIVER_TYPE_MAX 3u

/* The register value for a baud rate in bit/s and a sample point in percent (0 means 80). timeQuanta, tseg1, tseg2
 * and sjw are 0 for the calculation to choose them. The setting with the smallest bit-rate error wins, then the
 * one nearest the sample point (its own sample point taken as a whole percent), then the one with more time quanta,
 * then the one without DIV8. *registerValue is 0 on failure: "invalid sample point" (100 or more, not a number,
 * infinite), "number of timequants too low/high" (given below 8, above 25), "TSEG1 is too low/high" (given below 3,
 * above 16), "TSEG2 is too low/high" (given below 2, above 8), "SJW is too high" (above 4), "no baudrate found" (no
 * setting honours the given values; any rate that is not a number, infinite, 0 or negative, or above 10,000,000).
 * A negative sample point is taken as it is: TSEG1 and TSEG2 are then held at their limits. No bound applies to
 * the bit-rate error (9,999,999 bit/s gives 5,000,000), and a given SJW is not checked against TSEG2. Sends
 * nothing; checks the port's interface first. */
QOR_API uint32_t Qor_Can_Node_CalculateBaudrateRegisterValue(uint32_t port, uint32_t* registerValue,
                                                             uint8_t timeQuanta, uint8_t tseg1, uint8_t tseg2,
                                                             uint8_t sjw, double baudRate, double samplePoint);
/* The same calculation without the interface check; failures are recorded for the port given. */
QOR_API uint32_t BaudRate_CalculateRegisterValue_TriCore(uint32_t port, uint32_t* registerValue, uint8_t timeQuanta,
                                                         uint8_t tseg1, uint8_t tseg2, uint8_t sjw, double baudRate,
                                                         double samplePoint);

/* ---- initialisation and the bit-timing register ---- */
/* Needs the interface lock ("no lock"); mode and flags as Qor_InterfaceConfig_Can_InitInterface takes them. */
QOR_API uint32_t Qor_Can_InitInterface(uint32_t port, uint8_t mode, uint32_t flags);
/* Writes the register (at most 0xFFFF: "invalid baudrate register value") and the transceiver type (0 to 3:
 * "unknown transceiver type"). */
QOR_API uint32_t Qor_Can_Node_SetBaudrateRegisterAndTransceiverType(uint32_t port, uint32_t registerValue,
                                                                   uint8_t transceiverType);

/* ---- baud rates by the interface's own calculation ---- */
#define QOR_CAN_BAUDRATE_OPTION_BYTES 12u /* of which the last two are reserved (0) */

/* What the interface made of a baud rate (Qor_Can_Node_Baudrate_Set and _Get). */
typedef struct Qor_Can_Node_BaudrateInfo_t {
  uint32_t firstValue;  /* +0 */
  uint32_t secondValue; /* +4 */
  uint8_t bytes[5];     /* +8 */
  uint8_t reserved[3];  /* +13 0 */
} Qor_Can_Node_BaudrateInfo_t;
QOR_STATIC_ASSERT(sizeof(Qor_Can_Node_BaudrateInfo_t) == 16, "Qor_Can_Node_BaudrateInfo_t is 16 bytes");
QOR_STATIC_ASSERT(offsetof(Qor_Can_Node_BaudrateInfo_t, bytes) == 8, "baud-rate bytes at 8");

/* options: QOR_CAN_BAUDRATE_OPTION_BYTES bytes or NULL for none; its last two must be 0 ("invalid parameter"). */
QOR_API uint32_t Qor_Can_Node_Baudrate_Set(uint32_t port, uint32_t baudRate, const uint8_t* options,
                                           Qor_Can_Node_BaudrateInfo_t* info);
QOR_API uint32_t Qor_Can_Node_Baudrate_Get(uint32_t port, Qor_Can_Node_BaudrateInfo_t* info);

/* ---- CAN FD baud rates ---- */
#define QOR_CAN_BAUDRATE_FD_FLAGS_VALID 0x03u

/* The arbitration and data rates that Qor_Can_Node_BaudrateFd_Set sends. */
typedef struct Qor_Can_Node_BaudrateFd_t {
  uint32_t flags;       /* +0 0 to 3 */
  uint32_t firstValue;  /* +4 */
  uint8_t options[10];  /* +8 */
  uint16_t reserved;    /* +18 0 */
  uint32_t secondValue; /* +20 */
} Qor_Can_Node_BaudrateFd_t;
QOR_STATIC_ASSERT(sizeof(Qor_Can_Node_BaudrateFd_t) == 24, "Qor_Can_Node_BaudrateFd_t is 24 bytes");
QOR_STATIC_ASSERT(offsetof(Qor_Can_Node_BaudrateFd_t, reserved) == 18, "FD reserved at 18");
QOR_STATIC_ASSERT(offsetof(Qor_Can_Node_BaudrateFd_t, secondValue) == 20, "FD second value at 20");

/* What the interface made of the CAN FD rates (Qor_Can_Node_BaudrateFd_Set and _Get). */
typedef struct Qor_Can_Node_BaudrateFdInfo_t {
  uint32_t flags;       /* +0 0 to 3 */
  uint32_t firstValue;  /* +4 */
  uint32_t secondValue; /* +8 */
  uint8_t bytes[5];     /* +12 */
  uint8_t reserved[3];  /* +17 0 */
  uint32_t thirdValue;  /* +20 */
} Qor_Can_Node_BaudrateFdInfo_t;
QOR_STATIC_ASSERT(sizeof(Qor_Can_Node_BaudrateFdInfo_t) == 24, "Qor_Can_Node_BaudrateFdInfo_t is 24 bytes");
QOR_STATIC_ASSERT(offsetof(Qor_Can_Node_BaudrateFdInfo_t, bytes) == 12, "FD info bytes at 12");
QOR_STATIC_ASSERT(offsetof(Qor_Can_Node_BaudrateFdInfo_t, thirdValue) == 20, "FD info third value at 20");

/* Flags above 3: "unknown flag"; a reserved field not 0: "invalid parameter". */
QOR_API uint32_t Qor_Can_Node_BaudrateFd_Set(uint32_t port, const Qor_Can_Node_BaudrateFd_t* rates,
                                             Qor_Can_Node_BaudrateFdInfo_t* info);
/* flags must be 0 ("unknown flag"). */
QOR_API uint32_t Qor_Can_Node_BaudrateFd_Get(uint32_t port, uint32_t flags, Qor_Can_Node_BaudrateFdInfo_t* info);

/* ---- transceiver, transmit path, termination, battery voltage ---- */
#define QOR_CAN_TRANSCEIVER_MODE_MAX 5u
#define QOR_CAN_TX_PATH_MODE_MAX 4u
/* Other modes: "unknown mode". */
QOR_API uint32_t Qor_Can_Node_Transceiver_SetMode(uint32_t port, uint8_t mode);
QOR_API uint32_t Qor_Can_Node_TxPath_Control(uint32_t port, uint8_t mode);
QOR_API uint32_t Qor_Can_Node_BusTermination_Enable(uint32_t port);
QOR_API uint32_t Qor_Can_Node_BusTermination_Disable(uint32_t port);
QOR_API uint32_t Qor_Can_Node_InternalVBat_Enable(uint32_t port);
QOR_API uint32_t Qor_Can_Node_InternalVBat_Disable(uint32_t port);

/* ---- error frames, node state, bus idle time ---- */
QOR_API uint32_t Qor_Can_Node_ErrorFrameCounter_Get(uint32_t port, uint32_t* counter);
QOR_API uint32_t Qor_Can_Node_ErrorFrameCounter_Reset(uint32_t port);

#define QOR_CAN_INIT_STATE_MAX 4u
typedef struct Qor_Can_Node_State_t {
  uint8_t bytes[3];    /* +0 */
  uint8_t InitState;   /* +3 0 to 4 */
  uint32_t modeFlags;  /* +4 0 to 3 */
  uint8_t flagBit4;    /* +8 1 or 0: the bits 4 to 7 of the firmware's flags */
  uint8_t flagBit5;    /* +9 */
  uint8_t flagBit6;    /* +10 */
  uint8_t flagBit7;    /* +11 */
} Qor_Can_Node_State_t;
QOR_STATIC_ASSERT(sizeof(Qor_Can_Node_State_t) == 12, "Qor_Can_Node_State_t is 12 bytes");
QOR_STATIC_ASSERT(offsetof(Qor_Can_Node_State_t, modeFlags) == 4, "mode flags at 4");

/* mode must be 0 ("unknown mode"); an InitState above 4 from the firmware: "invalid response parameter". */
QOR_API uint32_t Qor_Can_Node_GetState(uint32_t port, uint8_t mode, Qor_Can_Node_State_t* state);
QOR_API uint32_t Qor_Can_Node_BusIdleTime_Get(uint32_t port, uint32_t* idleTime);

/* ---- CAN FD frame settings ---- */
/* Read form. Each field is its property's value, or the one past its range for any other value. */
typedef struct Qor_Can_Node_FdState_t {
  uint32_t flags;            /* +0 bit 0: property 20 is not 0 */
  uint8_t fdValue;           /* +4 property 14: 0 to 4, else 5 */
  uint8_t TxBrs_Global;      /* +5 0 to 2, else 3 */
  uint8_t TxBrs_InitValue;   /* +6 0 or 1, else 2 */
  uint8_t TxEsi_Global;      /* +7 0 to 2, else 3 */
  uint8_t TxEsi_InitValue;   /* +8 0 or 1, else 2 */
  uint8_t FdFrameFormatSpec; /* +9 0 or 1, else 2 */
  uint16_t reserved;         /* +10 0 */
  uint32_t fdWord;           /* +12 property 21 */
} Qor_Can_Node_FdState_t;
QOR_STATIC_ASSERT(sizeof(Qor_Can_Node_FdState_t) == 16, "Qor_Can_Node_FdState_t is 16 bytes");
QOR_STATIC_ASSERT(offsetof(Qor_Can_Node_FdState_t, fdWord) == 12, "property 21 at 12");

/* Write form: flags choose the fields written. */
enum {
  QOR_CAN_FD_STATE_TX_BRS_GLOBAL = 1u << 1,
  QOR_CAN_FD_STATE_TX_BRS_INIT_VALUE = 1u << 2,
  QOR_CAN_FD_STATE_TX_ESI_GLOBAL = 1u << 3,
  QOR_CAN_FD_STATE_TX_ESI_INIT_VALUE = 1u << 4,
  QOR_CAN_FD_STATE_FRAME_FORMAT_SPEC = 1u << 5,
  QOR_CAN_FD_STATE_FD_WORD = 1u << 6,
  QOR_CAN_FD_STATE_FLAGS_VALID = 0x7Eu
};
typedef struct Qor_Can_Node_FdStateSet_t {
  uint32_t flags;            /* +0 QOR_CAN_FD_STATE_* */
  uint8_t TxBrs_Global;      /* +4 0 to 2 */
  uint8_t TxBrs_InitValue;   /* +5 0 or 1 */
  uint8_t TxEsi_Global;      /* +6 0 to 2 */
  uint8_t TxEsi_InitValue;   /* +7 0 or 1 */
  uint8_t FdFrameFormatSpec; /* +8 0 or 1 */
  uint8_t reserved[3];       /* +9 0 */
  uint32_t fdWord;           /* +12 property 21 */
} Qor_Can_Node_FdStateSet_t;
QOR_STATIC_ASSERT(sizeof(Qor_Can_Node_FdStateSet_t) == 16, "Qor_Can_Node_FdStateSet_t is 16 bytes");
QOR_STATIC_ASSERT(offsetof(Qor_Can_Node_FdStateSet_t, fdWord) == 12, "property 21 at 12");

/* flags must be 0 ("unknown flag"). Reads the properties one command each; a failing read ends the call and keeps
 * the fields read before it. */
QOR_API uint32_t Qor_Can_Node_FdState_Get(uint32_t port, uint32_t flags, Qor_Can_Node_FdState_t* state);
/* Flags outside QOR_CAN_FD_STATE_FLAGS_VALID: "unknown flag"; reserved bytes not 0 or a chosen value out of its
 * range: "invalid parameter", before anything is written. Flags 0 send nothing. */
QOR_API uint32_t Qor_Can_Node_FdState_Set(uint32_t port, const Qor_Can_Node_FdStateSet_t* state);

QOR_END_DECLS

#endif
