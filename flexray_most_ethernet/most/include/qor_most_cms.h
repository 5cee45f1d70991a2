/* The control message service: single MOST control messages of up to 255 data bytes through the firmware's
 * control-message transmitter, and the transmitter's state. */
#ifndef QOR_MOST_CMS_H
#define QOR_MOST_CMS_H

#include <stddef.h>

#include "qor_types.h"

QOR_BEGIN_DECLS

#define QOR_MOST_CMS_DATA_MAX 255u
#define QOR_MOST_OPERATION_TYPE_MAX 15u

/* Bits of Qor_Most_Cms_SendMessage's result. */
#define QOR_MOST_CMS_RESULT_SENT 0x1u      /* the firmware's send flag */
#define QOR_MOST_CMS_RESULT_STILL_BUSY 0x2u /* the transmitter was still busy when the time ran out */

typedef struct Qor_Most_Cms_Message_t {
  uint16_t targetAddress; /* +0 */
  uint8_t fblockId;       /* +2 */
  uint8_t instanceId;     /* +3 */
  uint16_t functionId;    /* +4 */
  uint8_t operationType;  /* +6 0 to 15 */
  uint8_t messageType;    /* +7 */
} Qor_Most_Cms_Message_t;
QOR_STATIC_ASSERT(sizeof(Qor_Most_Cms_Message_t) == 8, "MOST control message header is 8 bytes");
QOR_STATIC_ASSERT(offsetof(Qor_Most_Cms_Message_t, functionId) == 4, "function id at 4");

/* Runs on the port's callback thread. */
typedef void (*Qor_Most_Cms_GetTxStateCallback_t)(uint32_t port, uint32_t status, uint32_t busy);

/* Hands the message to the transmitter; flag receives the firmware's send flag (0 or 1). */
QOR_API uint32_t Qor_Most_Cms_QueueMessage(uint32_t port, const Qor_Most_Cms_Message_t* message, const uint8_t* data,
                                           uint32_t length, uint32_t* flag);
/* Queues the message and waits at most timeout / 1000 + 3 ms (timeout in microseconds) for the transmitter to become
 * idle. Running out of time is no error: result then has QOR_MOST_CMS_RESULT_STILL_BUSY. status is the transmitter's
 * status of the last poll. */
QOR_API uint32_t Qor_Most_Cms_SendMessage(uint32_t port, uint32_t timeout, const Qor_Most_Cms_Message_t* message,
                                          const uint8_t* data, uint32_t length, uint32_t* status, uint32_t* result);
/* busy is written only when the status is known. */
QOR_API uint32_t Qor_Most_Cms_GetTxState(uint32_t port, uint32_t* status, uint32_t* busy);
QOR_API uint32_t Qor_Most_Cms_GetTxState_Async(uint32_t port);
QOR_API uint32_t Qor_Most_Cms_GetTxState_Async_AddCallback(uint32_t port, Qor_Most_Cms_GetTxStateCallback_t callback);
QOR_API uint32_t Qor_Most_Cms_GetTxState_Async_RemoveCallback(uint32_t port);

QOR_END_DECLS

#endif
