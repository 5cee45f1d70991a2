/* Transmit traces: a sequence of CAN and CAN FD messages downloaded into a trace buffer of the interface firmware,
 * then played. A trace is allocated (its handle), filled by one or more downloads, played, queried and freed. The
 * meaning of an item's first value and option bytes, of download flag bit 1, of the state values and of the
 * properties 0 and 1 belongs to the firmware; they pass unchanged. */
#ifndef QOR_CAN_TX_TRACE_H
#define QOR_CAN_TX_TRACE_H

#include "qor_types.h"

QOR_BEGIN_DECLS

/* Download flags: bit 0 adds to what the trace holds; bit 1 is the firmware's. */
#define QOR_CAN_TX_TRACE_DOWNLOAD_FLAGS_DEFINED 0x03u
/* The trace properties that exist: 0 and 1. */
#define QOR_CAN_TX_TRACE_LAST_PROPERTY 1u

/* A message of a trace: the data bytes of the DLC (0 to 15) are sent. */
typedef struct Qor_Can_TxTrace_Item_t {
  uint32_t firstValue; /* +0 */
  uint32_t identifier; /* +4 */
  uint8_t dlc;         /* +8 0 to 15 */
  uint8_t option1;     /* +9 */
  uint8_t option2;     /* +10 */
  uint8_t option3;     /* +11 */
  uint8_t data[64];    /* +12 */
} Qor_Can_TxTrace_Item_t;
QOR_STATIC_ASSERT(sizeof(Qor_Can_TxTrace_Item_t) == 76, "Qor_Can_TxTrace_Item_t is 76 bytes");
QOR_STATIC_ASSERT(offsetof(Qor_Can_TxTrace_Item_t, dlc) == 8, "dlc at 8");
QOR_STATIC_ASSERT(offsetof(Qor_Can_TxTrace_Item_t, data) == 12, "data at 12");

/* Bits 0 and 1 of the firmware's state as 0 to 3, plus 4 for its bit 2; the other two values unchanged. */
typedef struct Qor_Can_TxTrace_State_t {
  uint32_t state;      /* +0 */
  uint32_t secondValue; /* +4 */
  uint32_t thirdValue;  /* +8 */
} Qor_Can_TxTrace_State_t;
QOR_STATIC_ASSERT(sizeof(Qor_Can_TxTrace_State_t) == 12, "Qor_Can_TxTrace_State_t is 12 bytes");

QOR_API uint32_t Qor_Can_TxTrace_Allocate(uint32_t port, uint32_t* handle);
QOR_API uint32_t Qor_Can_TxTrace_Free(uint32_t port, uint32_t handle);
/* Every item is checked before anything is sent; the first chunk carries flags, every later one also bit 0. */
QOR_API uint32_t Qor_Can_TxTrace_Download(uint32_t port, uint32_t handle, uint32_t count, uint32_t flags,
                                          const Qor_Can_TxTrace_Item_t* items);
/* flags must be 0. */
QOR_API uint32_t Qor_Can_TxTrace_Play(uint32_t port, uint32_t handle, uint32_t flags);
QOR_API uint32_t Qor_Can_TxTrace_GetState(uint32_t port, uint32_t handle, Qor_Can_TxTrace_State_t* state);
QOR_API uint32_t Qor_Can_TxTrace_Property_SetById(uint32_t port, uint32_t handle, uint16_t property, uint32_t value);
QOR_API uint32_t Qor_Can_TxTrace_Property_GetById(uint32_t port, uint32_t handle, uint16_t property,
                                                  uint32_t* value);

QOR_END_DECLS

#endif
