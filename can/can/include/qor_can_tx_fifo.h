/* The transmit FIFO of a CAN interface: messages queued for sending at once, one at a time or in batches. A batch
 * goes to the firmware in chunks that fit the FIFO's free slots and the port's maximum parameter length; while the
 * FIFO is full the call asks again every millisecond until the time-out, counted from the call's start, has passed
 * (0x02020301). What went to the firmware before a failure stays queued. */
#ifndef QOR_CAN_TX_FIFO_H
#define QOR_CAN_TX_FIFO_H

#include "qor_types.h"

QOR_BEGIN_DECLS

/* A classic message of Qor_Can_TxFifo_QueueMsgs: the first min(dlc, 8) data bytes are sent. */
typedef struct Qor_Can_TxFifo_Msg_t {
  uint32_t identifier; /* +0 */
  uint8_t dlc;         /* +4 */
  uint8_t reserved[3]; /* +5 0 */
  uint8_t data[8];     /* +8 */
} Qor_Can_TxFifo_Msg_t;
QOR_STATIC_ASSERT(sizeof(Qor_Can_TxFifo_Msg_t) == 16, "Qor_Can_TxFifo_Msg_t is 16 bytes");
QOR_STATIC_ASSERT(offsetof(Qor_Can_TxFifo_Msg_t, dlc) == 4, "dlc at 4");
QOR_STATIC_ASSERT(offsetof(Qor_Can_TxFifo_Msg_t, data) == 8, "data at 8");

/* A CAN or CAN FD message of Qor_Can_TxFifo_QueueMsgs2: the data bytes of the DLC (0 to 15) are sent. It takes two
 * of the FIFO's free slots. */
typedef struct Qor_Can_TxFifo_Msg2_t {
  uint32_t identifier; /* +0 */
  uint8_t dlc;         /* +4 0 to 15 */
  uint8_t itemFlag;    /* +5 0 or 1, passed to the firmware */
  uint8_t msgFlags;    /* +6 QOR_CAN_MSG_FLAGS_DEFINED bits */
  uint8_t reserved;    /* +7 0 */
  uint8_t data[64];    /* +8 */
} Qor_Can_TxFifo_Msg2_t;
QOR_STATIC_ASSERT(sizeof(Qor_Can_TxFifo_Msg2_t) == 72, "Qor_Can_TxFifo_Msg2_t is 72 bytes");
QOR_STATIC_ASSERT(offsetof(Qor_Can_TxFifo_Msg2_t, itemFlag) == 5, "item flag at 5");
QOR_STATIC_ASSERT(offsetof(Qor_Can_TxFifo_Msg2_t, msgFlags) == 6, "message flags at 6");
QOR_STATIC_ASSERT(offsetof(Qor_Can_TxFifo_Msg2_t, data) == 8, "data at 8");

/* The FIFO's state, on the port's callback thread (Qor_AsyncCommunication_Enable first). */
typedef void (*Qor_Can_TxFifo_GetState_Callback_t)(uint32_t port, uint32_t secondState, uint32_t freeSlots);

/* Drops what waits in the FIFO. */
QOR_API uint32_t Qor_Can_TxFifo_Reset(uint32_t port);
/* One message with the data bytes of its DLC (0 to 15); data may be NULL for DLC 0. */
QOR_API uint32_t Qor_Can_TxFifo_QueueMsg(uint32_t port, uint32_t identifier, const uint8_t* data, uint8_t dlc);
/* count classic messages; a count of 0 sends nothing. */
QOR_API uint32_t Qor_Can_TxFifo_QueueMsgs(uint32_t port, uint32_t timeoutMs, uint32_t count,
                                          const Qor_Can_TxFifo_Msg_t* msgs);
/* count CAN or CAN FD messages; flags must be 0. */
QOR_API uint32_t Qor_Can_TxFifo_QueueMsgs2(uint32_t port, uint32_t flags, uint32_t timeoutMs, uint32_t count,
                                           const Qor_Can_TxFifo_Msg2_t* msgs);
/* The FIFO's free slots and the firmware's second state value, unchanged. */
QOR_API uint32_t Qor_Can_TxFifo_GetState(uint32_t port, uint32_t* secondState, uint32_t* freeSlots);
QOR_API uint32_t Qor_Can_TxFifo_GetState_Async(uint32_t port);
QOR_API uint32_t Qor_Can_TxFifo_GetState_Async_AddCallback(uint32_t port, Qor_Can_TxFifo_GetState_Callback_t callback);
QOR_API uint32_t Qor_Can_TxFifo_GetState_Async_RemoveCallback(uint32_t port);

QOR_END_DECLS

#endif
