/* Driving the node: configuration mode, communication start and stop, start-up, wake-up, media access test symbols
 * (MTS), the node's state, the controller module's information, the transceiver mode and the bus termination. The
 * states are the firmware's numbers, passed through; the meaning of the start-up values and flags, the MTS values,
 * the transceiver value and flags, the module bytes and the status words is the firmware's. */
#ifndef QOR_FLEXRAY_NODE_H
#define QOR_FLEXRAY_NODE_H

#include <stddef.h>

#include "qor_types.h"

QOR_BEGIN_DECLS

#define QOR_FLEXRAY_MAX_CHANNEL 3u
#define QOR_FLEXRAY_MAX_STOP_MODE 2u
#define QOR_FLEXRAY_STARTUP_FLAGS 3u
#define QOR_FLEXRAY_MAX_POC_STATE 8u
#define QOR_FLEXRAY_MAX_SYNC_STATE 1u
#define QOR_FLEXRAY_MAX_WAKEUP_STATE 6u
#define QOR_FLEXRAY_MAX_MTS_STATE 8u
#define QOR_FLEXRAY_STATUS_WORD_MASK 0x1FFFu
#define QOR_FLEXRAY_TRANSCEIVER_FLAGS 7u
#define QOR_FLEXRAY_MAX_TRANSCEIVER_MODE 4u

typedef struct Qor_FlexRay_TransceiverModeSetting_t {
  uint32_t flags;    /* +0 QOR_FLEXRAY_TRANSCEIVER_FLAGS */
  uint8_t value;     /* +4 */
  uint8_t mode;      /* +5 0 to QOR_FLEXRAY_MAX_TRANSCEIVER_MODE */
  uint16_t reserved; /* +6 0 */
} Qor_FlexRay_TransceiverModeSetting_t;
QOR_STATIC_ASSERT(sizeof(Qor_FlexRay_TransceiverModeSetting_t) == 8, "transceiver mode setting is 8 bytes");
QOR_STATIC_ASSERT(offsetof(Qor_FlexRay_TransceiverModeSetting_t, value) == 4, "value at 4");
QOR_STATIC_ASSERT(offsetof(Qor_FlexRay_TransceiverModeSetting_t, reserved) == 6, "reserved at 6");

typedef struct Qor_FlexRay_TransceiverMode_t {
  uint8_t value;     /* +0 */
  uint8_t mode;      /* +1 */
  uint16_t reserved; /* +2 set to 0 */
} Qor_FlexRay_TransceiverMode_t;
QOR_STATIC_ASSERT(sizeof(Qor_FlexRay_TransceiverMode_t) == 4, "transceiver mode is 4 bytes");
QOR_STATIC_ASSERT(offsetof(Qor_FlexRay_TransceiverMode_t, reserved) == 2, "reserved at 2");

QOR_API uint32_t Qor_FlexRay_ConfigMode_Enter(uint32_t port);
QOR_API uint32_t Qor_FlexRay_ConfigMode_Leave(uint32_t port);
QOR_API uint32_t Qor_FlexRay_Communication_Start(uint32_t port);
/* mode 0 to QOR_FLEXRAY_MAX_STOP_MODE. */
QOR_API uint32_t Qor_FlexRay_Communication_Stop(uint32_t port, uint8_t mode);
QOR_API uint32_t Qor_FlexRay_Node_SendWakeUp(uint32_t port);

/* flags: QOR_FLEXRAY_STARTUP_FLAGS. */
QOR_API uint32_t Qor_FlexRay_Startup_Config(uint32_t port, uint32_t flags, uint16_t firstValue, uint16_t secondValue,
                                            uint8_t thirdValue);
/* flags receive 0 to 3; after a failed exchange only flags is written, with 0. */
QOR_API uint32_t Qor_FlexRay_Startup_GetInfo(uint32_t port, uint16_t* firstValue, uint8_t* secondValue,
                                             uint32_t* flags);

/* Any output may be null. The outputs are written in this order; a state out of its range ends the call with
 * "invalid response parameter" before its output. The status words are masked with QOR_FLEXRAY_STATUS_WORD_MASK. */
QOR_API uint32_t Qor_FlexRay_Node_GetState(uint32_t port, uint8_t* pocState, uint8_t* syncState, uint8_t* wakeupState,
                                           uint32_t* firstStatus, uint32_t* secondStatus);

/* channel 0 to QOR_FLEXRAY_MAX_CHANNEL. */
QOR_API uint32_t Qor_FlexRay_MTS_Send(uint32_t port, uint8_t channel, uint8_t firstValue, uint8_t secondValue);
/* mtsState receives QOR_FLEXRAY_MAX_MTS_STATE when the exchange fails or the answer's state is out of range. */
QOR_API uint32_t Qor_FlexRay_MTS_GetState(uint32_t port, uint8_t channel, uint8_t* mtsState);

/* Both outputs are set to 0 first, whatever follows. */
QOR_API uint32_t Qor_FlexRay_Module_GetInfo(uint32_t port, uint8_t* first, uint8_t* second);

QOR_API uint32_t Qor_FlexRay_Node_BusTermination_Enable(uint32_t port);
QOR_API uint32_t Qor_FlexRay_Node_BusTermination_Disable(uint32_t port);
QOR_API uint32_t Qor_FlexRay_Node_SetTransceiverMode(uint32_t port,
                                                     const Qor_FlexRay_TransceiverModeSetting_t* setting);
/* Untouched when the call fails. */
QOR_API uint32_t Qor_FlexRay_Node_GetTransceiverMode(uint32_t port, Qor_FlexRay_TransceiverMode_t* mode);

QOR_END_DECLS

#endif
