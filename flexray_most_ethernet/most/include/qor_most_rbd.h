/* The MOST ring break diagnosis: starting one, the system state and the port output, the responses the node gives
 * during a diagnosis, and reading the port's diagnosis state and the responses collected. The option byte, the
 * initiate values and the port state's three values belong to the firmware and pass unchanged. */
#ifndef QOR_MOST_RBD_H
#define QOR_MOST_RBD_H

#include "qor_types.h"

QOR_BEGIN_DECLS

#define QOR_MOST_RBD_MAX_LEVEL 1u
#define QOR_MOST_RBD_MAX_SYSTEM_STATUS 1u
#define QOR_MOST_RBD_FLAGS 0x01u
#define QOR_MOST_RBD_MAX_RESPONSES 60u
#define QOR_MOST_RBD_MAX_RESPONSE_TYPE 3u
#define QOR_MOST_RBD_MAX_STATE 6u
#define QOR_MOST_RBD_MAX_LOCK_STATE 2u
/* The port state's flag bits reported as state. */
#define QOR_MOST_RBD_PORT_STATE_BITS 0x1Fu

/* Run on the port's callback thread; responses are valid during the call only. */
typedef void (*Qor_Most_Rbd_GetPortStateCallback_t)(uint32_t port, uint8_t rbdState, uint32_t state, uint64_t value1,
                                                    uint64_t value2, uint64_t value3);
typedef void (*Qor_Most_Rbd_GetResponsesCallback_t)(uint32_t port, uint32_t valid, uint8_t state, uint8_t lockState,
                                                    uint8_t count, const uint8_t* responses);

QOR_API uint32_t Qor_Most_Rbd_Reset(uint32_t port);
QOR_API uint32_t Qor_Most_Rbd_SetPortOutput(uint32_t port, uint8_t level);
QOR_API uint32_t Qor_Most_Rbd_SetSystemState(uint32_t port, uint8_t status);
QOR_API uint32_t Qor_Most_Rbd_Initiate(uint32_t port, uint32_t flags, uint32_t value1, uint32_t value2, uint8_t value3);
/* types: count response types of 0 to 3. */
QOR_API uint32_t Qor_Most_Rbd_SetResponses(uint32_t port, uint32_t flags, uint8_t option, uint8_t count,
                                           const uint8_t* types);
/* state and the three values are written even when the RBD state is unknown. */
QOR_API uint32_t Qor_Most_Rbd_GetPortState(uint32_t port, uint8_t* rbdState, uint32_t* state, uint64_t* value1,
                                           uint64_t* value2, uint64_t* value3);
QOR_API uint32_t Qor_Most_Rbd_GetPortState_Async(uint32_t port);
QOR_API uint32_t Qor_Most_Rbd_GetPortState_Async_AddCallback(uint32_t port,
                                                             Qor_Most_Rbd_GetPortStateCallback_t callback);
QOR_API uint32_t Qor_Most_Rbd_GetPortState_Async_RemoveCallback(uint32_t port);
/* count: in, the room of responses; out, the number of responses received. The responses are copied only when
 * valid. */
QOR_API uint32_t Qor_Most_Rbd_GetResponses(uint32_t port, uint32_t* valid, uint8_t* state, uint8_t* lockState,
                                           uint8_t* count, uint8_t* responses);
QOR_API uint32_t Qor_Most_Rbd_GetResponses_Async(uint32_t port);
QOR_API uint32_t Qor_Most_Rbd_GetResponses_Async_AddCallback(uint32_t port,
                                                             Qor_Most_Rbd_GetResponsesCallback_t callback);
QOR_API uint32_t Qor_Most_Rbd_GetResponses_Async_RemoveCallback(uint32_t port);

QOR_END_DECLS

#endif
