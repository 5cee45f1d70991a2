/* TAR units of the interface firmware: a unit, addressed by its index, is configured with a condition and a list of
 * transmit items, then started and stopped; its state can be read. The library checks and packs the records; what
 * the values, the option byte, the item flags, the start mode and the state mean is the firmware's and passes
 * unchanged. Nothing is sent when a check fails. */
#ifndef QOR_CAN_TAR_H
#define QOR_CAN_TAR_H

#include "qor_types.h"

QOR_BEGIN_DECLS

/* The item flags that an item may carry (0 to 7). */
#define QOR_CAN_TAR_ITEM_FLAGS_DEFINED 0x07u

/* A transmit item of a unit of the simple form; up to 8 data bytes. */
typedef struct Qor_Can_Tar_SimpleItem_t {
  uint16_t value;  /* +0 */
  uint8_t flags;   /* +2 item flags, 0 to 7 */
  uint8_t dlc;     /* +3 0 to 8 */
  uint8_t data[8]; /* +4 the first data bytes of the DLC are sent */
} Qor_Can_Tar_SimpleItem_t;

/* A transmit item of a unit of the standard form; up to 8 data bytes. */
typedef struct Qor_Can_Tar_StandardItem_t {
  uint32_t value;       /* +0 */
  uint16_t secondValue; /* +4 */
  uint8_t flags;        /* +6 item flags, 0 to 7 */
  uint8_t dlc;          /* +7 0 to 8 */
  uint8_t data[8];      /* +8 */
} Qor_Can_Tar_StandardItem_t;

/* The simple item with room for the 64 data bytes of a CAN FD frame. */
typedef struct Qor_Can_Tar_SimpleItem2_t {
  uint16_t value;    /* +0 */
  uint8_t flags;     /* +2 item flags, 0 to 7 */
  uint8_t dlc;       /* +3 0 to 15 */
  uint32_t reserved; /* +4 0 */
  uint8_t data[64];  /* +8 the data bytes of the DLC are sent */
} Qor_Can_Tar_SimpleItem2_t;

/* The standard item with room for the 64 data bytes of a CAN FD frame. */
typedef struct Qor_Can_Tar_StandardItem2_t {
  uint32_t value;       /* +0 */
  uint16_t secondValue; /* +4 */
  uint8_t flags;        /* +6 item flags, 0 to 7 */
  uint8_t dlc;          /* +7 0 to 15 */
  uint8_t data[64];     /* +8 */
} Qor_Can_Tar_StandardItem2_t;

QOR_STATIC_ASSERT(sizeof(Qor_Can_Tar_SimpleItem_t) == 12, "simple item is 12 bytes");
QOR_STATIC_ASSERT(offsetof(Qor_Can_Tar_SimpleItem_t, data) == 4, "simple item data at 4");
QOR_STATIC_ASSERT(sizeof(Qor_Can_Tar_StandardItem_t) == 16, "standard item is 16 bytes");
QOR_STATIC_ASSERT(offsetof(Qor_Can_Tar_StandardItem_t, flags) == 6, "standard item flags at 6");
QOR_STATIC_ASSERT(offsetof(Qor_Can_Tar_StandardItem_t, data) == 8, "standard item data at 8");
QOR_STATIC_ASSERT(sizeof(Qor_Can_Tar_SimpleItem2_t) == 72, "long simple item is 72 bytes");
QOR_STATIC_ASSERT(offsetof(Qor_Can_Tar_SimpleItem2_t, reserved) == 4, "long simple item reserved word at 4");
QOR_STATIC_ASSERT(offsetof(Qor_Can_Tar_SimpleItem2_t, data) == 8, "long simple item data at 8");
QOR_STATIC_ASSERT(sizeof(Qor_Can_Tar_StandardItem2_t) == 72, "long standard item is 72 bytes");
QOR_STATIC_ASSERT(offsetof(Qor_Can_Tar_StandardItem2_t, data) == 8, "long standard item data at 8");

/* ---- configuration (command 0xC0) ---- */
QOR_API uint32_t Qor_Can_Tar_Config_Off(uint32_t port, uint8_t index);
QOR_API uint32_t Qor_Can_Tar_Config_Simple(uint32_t port, uint8_t index, uint32_t firstValue, uint32_t secondValue);
/* data and mask hold the data bytes of the DLC (0 to 15; "invalid dlc" above); they may be NULL for DLC 0. */
QOR_API uint32_t Qor_Can_Tar_Config_Standard(uint32_t port, uint8_t index, uint32_t firstValue, uint32_t secondValue,
                                             uint8_t dlc, uint8_t option, const uint8_t* data, const uint8_t* mask);

/* ---- transmit items (command 0xC2) ----
 * Every item is checked before anything is sent: flags above 7 give "unknown flag" naming the item's index, a DLC
 * above 15 "invalid dlc". The items travel in one record, which must fit the port's maximum parameter length ("invalid
 * data length"). count 0 sends the head alone; a short item of a DLC above 8 sends zeros past its eight data bytes. */
QOR_API uint32_t Qor_Can_Tar_AddTxItems_Simple(uint32_t port, uint8_t index, uint16_t count,
                                               const Qor_Can_Tar_SimpleItem_t* items);
QOR_API uint32_t Qor_Can_Tar_AddTxItems_Standard(uint32_t port, uint8_t index, uint16_t count,
                                                 const Qor_Can_Tar_StandardItem_t* items);
/* A non-zero reserved word gives "invalid parameter" naming the item. */
QOR_API uint32_t Qor_Can_Tar_AddTxItems_Simple2(uint32_t port, uint8_t index, uint16_t count,
                                                const Qor_Can_Tar_SimpleItem2_t* items);
QOR_API uint32_t Qor_Can_Tar_AddTxItems_Standard2(uint32_t port, uint8_t index, uint16_t count,
                                                  const Qor_Can_Tar_StandardItem2_t* items);

/* ---- running ---- */
/* mode 0 or 1; others give "unknown mode". */
QOR_API uint32_t Qor_Can_Tar_Start(uint32_t port, uint8_t index, uint8_t mode);
QOR_API uint32_t Qor_Can_Tar_Stop(uint32_t port, uint8_t index);
/* runState: 1, 2 or 3 for the firmware's run states 0, 1 and 2, 0 for any other; stateFlags 0 to 3; the two values
 * as the firmware gives them. Nothing is written unless the call succeeds. */
QOR_API uint32_t Qor_Can_Tar_GetState(uint32_t port, uint8_t index, uint8_t* runState, uint32_t* stateFlags,
                                      uint32_t* firstValue, uint32_t* secondValue);

QOR_END_DECLS

#endif
