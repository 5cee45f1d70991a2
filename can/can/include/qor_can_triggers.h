/* The trigger input and output of a CAN node, and the node's command and UART gateways. The library checks and
 * packs the records; what the output settings, the gateway values and bytes and the UART values mean is the
 * firmware's and passes unchanged. Checks run in the order the functions list them; the first failure ends the call
 * before anything is sent. */
#ifndef QOR_CAN_TRIGGERS_H
#define QOR_CAN_TRIGGERS_H

#include "qor_types.h"

QOR_BEGIN_DECLS

/* ---- trigger input (command 0x5A) ---- */
/* The input sends message group 1 at the level given (0 or 1). flags must be 0 ("unknown flag"); another group gives
 * "invalid group number"; a level above 1 "invalid parameter". */
QOR_API uint32_t Qor_Can_Trigger_InputMode_Set_SendMsgGroup(uint32_t port, uint32_t flags, uint8_t group,
                                                            uint8_t inputLevel);
/* The input writes an event at the edge given (0, 1 or 2). flags must be 0; an edge above 2 gives "invalid
 * parameter". */
QOR_API uint32_t Qor_Can_Trigger_InputMode_Set_WriteEvent(uint32_t port, uint32_t flags, uint8_t inputEdge);
QOR_API uint32_t Qor_Can_Trigger_InputMode_Reset(uint32_t port);

/* ---- trigger output (command 0x5B) ---- */
typedef struct Qor_Can_Trigger_OutputMode_t {
  uint32_t flags;        /* +0 0 */
  uint8_t outputMode;    /* +4 0 to 3 ("unknown mode" above) */
  uint8_t triggerAction; /* +5 0 to 2 */
  uint8_t outputType;    /* +6 0 or 1 */
  uint8_t reserved;      /* +7 0 */
  uint8_t settings[48];  /* +8 passed to the firmware unchanged */
} Qor_Can_Trigger_OutputMode_t;
QOR_STATIC_ASSERT(sizeof(Qor_Can_Trigger_OutputMode_t) == 56, "output mode is 56 bytes");
QOR_STATIC_ASSERT(offsetof(Qor_Can_Trigger_OutputMode_t, settings) == 8, "output settings at 8");

/* Checks flags, the reserved byte, the output mode, the trigger action, the output type. */
QOR_API uint32_t Qor_Can_Trigger_OutputMode_Set(uint32_t port, const Qor_Can_Trigger_OutputMode_t* mode);

/* ---- trigger states (commands 0x5C input, 0x5D output) ---- */
typedef struct Qor_Can_Trigger_Selector_t {
  uint8_t channel;     /* +0 1, the only channel ("unknown mode" for another) */
  uint8_t reserved[3]; /* +1 0 */
} Qor_Can_Trigger_Selector_t;
QOR_STATIC_ASSERT(sizeof(Qor_Can_Trigger_Selector_t) == 4, "trigger selector is 4 bytes");

typedef struct Qor_Can_Trigger_InputState_t {
  uint8_t active;    /* +0 1 when the firmware reports 0, else 0 */
  uint8_t level;     /* +1 1 or 2 for the firmware's levels 0 and 1, 0 for any other */
  uint16_t reserved; /* +2 0 */
  uint32_t value;    /* +4 */
} Qor_Can_Trigger_InputState_t;
QOR_STATIC_ASSERT(sizeof(Qor_Can_Trigger_InputState_t) == 8, "input state is 8 bytes");

typedef struct Qor_Can_Trigger_OutputState_t {
  uint8_t active;       /* +0 as in the input state */
  uint8_t level;        /* +1 */
  uint16_t reserved;    /* +2 0 */
  uint32_t value;       /* +4 */
  uint32_t secondValue; /* +8 */
} Qor_Can_Trigger_OutputState_t;
QOR_STATIC_ASSERT(sizeof(Qor_Can_Trigger_OutputState_t) == 12, "output state is 12 bytes");

/* Reserved bytes of the selector, then its channel. The state is written only when the call succeeds. */
QOR_API uint32_t Qor_Can_Trigger_InputState_Get(uint32_t port, const Qor_Can_Trigger_Selector_t* selector,
                                                Qor_Can_Trigger_InputState_t* state);
QOR_API uint32_t Qor_Can_Trigger_OutputState_Get(uint32_t port, const Qor_Can_Trigger_Selector_t* selector,
                                                 Qor_Can_Trigger_OutputState_t* state);

/* ---- trigger channel properties (commands 0x5E input, 0x5F output) ---- */
/* The one property: the channel index, counted from 1. */
#define QOR_CAN_TRIGGER_PROPERTY_CHANNEL_INDEX 1u

/* Another property gives "invalid parameter", as does a channel index of 0. */
QOR_API uint32_t Qor_Can_Trigger_Input_Property_SetById(uint32_t port, uint16_t property, uint32_t channelIndex);
QOR_API uint32_t Qor_Can_Trigger_Output_Property_SetById(uint32_t port, uint16_t property, uint32_t channelIndex);
QOR_API uint32_t Qor_Can_Trigger_Input_Property_GetById(uint32_t port, uint16_t property, uint32_t* channelIndex);
QOR_API uint32_t Qor_Can_Trigger_Output_Property_GetById(uint32_t port, uint16_t property, uint32_t* channelIndex);

/* ---- command gateway (command 0x73): firmware commands carried over CAN ---- */
typedef struct Qor_Can_CmdGateway_Slave_t {
  uint32_t flags;      /* +0 bit 0 */
  uint32_t value;      /* +4 */
  uint8_t option;      /* +8 */
  uint8_t reserved[3]; /* +9 0 */
} Qor_Can_CmdGateway_Slave_t;
QOR_STATIC_ASSERT(sizeof(Qor_Can_CmdGateway_Slave_t) == 12, "gateway slave record is 12 bytes");

typedef struct Qor_Can_CmdGateway_Master_t {
  uint32_t flags;       /* +0 0 */
  uint32_t firstValue;  /* +4 */
  uint32_t secondValue; /* +8 */
  uint8_t firstByte;    /* +12 */
  uint8_t secondByte;   /* +13 */
  uint16_t reserved;    /* +14 0 */
} Qor_Can_CmdGateway_Master_t;
QOR_STATIC_ASSERT(sizeof(Qor_Can_CmdGateway_Master_t) == 16, "gateway master record is 16 bytes");

QOR_API uint32_t Qor_Can_CmdGateway_Slave_Enable(uint32_t port, const Qor_Can_CmdGateway_Slave_t* slave);
QOR_API uint32_t Qor_Can_CmdGateway_Slave_Disable(uint32_t port);
QOR_API uint32_t Qor_Can_CmdGateway_Master_Enable(uint32_t port, const Qor_Can_CmdGateway_Master_t* master);
QOR_API uint32_t Qor_Can_CmdGateway_Master_Disable(uint32_t port);

/* ---- UART gateway (command 0x74) ---- */
typedef struct Qor_Can_UartGateway_Init_t {
  uint32_t flags;           /* +0 bits 0 to 3 */
  uint32_t firstValue;      /* +4 */
  uint32_t secondValue;     /* +8 */
  uint8_t UartInstanceType; /* +12 0 */
  uint8_t option;           /* +13 */
  uint8_t UartParity;       /* +14 0 to 2 */
  uint8_t reserved;         /* +15 0 */
  uint32_t thirdValue;      /* +16 */
} Qor_Can_UartGateway_Init_t;
QOR_STATIC_ASSERT(sizeof(Qor_Can_UartGateway_Init_t) == 20, "UART gateway record is 20 bytes");
QOR_STATIC_ASSERT(offsetof(Qor_Can_UartGateway_Init_t, thirdValue) == 16, "third value at 16");

typedef struct Qor_Can_UartGateway_Result_t {
  uint32_t firstValue;  /* +0 */
  uint32_t secondValue; /* +4 */
} Qor_Can_UartGateway_Result_t;
QOR_STATIC_ASSERT(sizeof(Qor_Can_UartGateway_Result_t) == 8, "UART gateway result is 8 bytes");

QOR_API uint32_t Qor_Can_UartGateway_Reset(uint32_t port);
/* Checks flags, the reserved byte, UartInstanceType, UartParity. The result is written only when the call succeeds. */
QOR_API uint32_t Qor_Can_UartGateway_Init(uint32_t port, const Qor_Can_UartGateway_Init_t* init,
                                          Qor_Can_UartGateway_Result_t* result);

QOR_END_DECLS

#endif
