/* The firmware's FlexRay transmit FIFOs, fed with PDU data by the host: one per PDU or per N-PDU pool. Values and
 * flag bits mean what the firmware makes of them. */
#ifndef QOR_FLEXRAY_TX_FIFO_H
#define QOR_FLEXRAY_TX_FIFO_H

#include "qor_types.h"

QOR_BEGIN_DECLS

#define QOR_FLEXRAY_TX_FIFO_FLAGS 0x01u
#define QOR_FLEXRAY_TX_FIFO_ENTRY_DATA_BYTES 254u

typedef struct Qor_FlexRay_TxFifo_t {
  uint32_t flags;        /* +0 bit 0 */
  uint32_t firstValue;   /* +4 */
  uint32_t secondValue;  /* +8 */
  uint8_t value;         /* +12 */
  uint8_t reserved[3];   /* +13 0 */
  uint32_t fourthValue;  /* +16 */
  uint32_t reservedWord; /* +20 0 */
} Qor_FlexRay_TxFifo_t;
QOR_STATIC_ASSERT(sizeof(Qor_FlexRay_TxFifo_t) == 24, "Qor_FlexRay_TxFifo_t is 24 bytes");

typedef struct Qor_FlexRay_TxFifoKey_t {
  uint32_t flags;  /* +0 bit 0 */
  uint32_t fifoId; /* +4 */
} Qor_FlexRay_TxFifoKey_t;
QOR_STATIC_ASSERT(sizeof(Qor_FlexRay_TxFifoKey_t) == 8, "Qor_FlexRay_TxFifoKey_t is 8 bytes");

/* One PDU's data in a slot of 256 bytes, whatever its length. */
typedef struct Qor_FlexRay_TxFifoEntry_t {
  uint8_t length;                                     /* +0 at most 254 */
  uint8_t reserved;                                   /* +1 0 */
  uint8_t data[QOR_FLEXRAY_TX_FIFO_ENTRY_DATA_BYTES]; /* +2 */
} Qor_FlexRay_TxFifoEntry_t;
QOR_STATIC_ASSERT(sizeof(Qor_FlexRay_TxFifoEntry_t) == 256, "Qor_FlexRay_TxFifoEntry_t is 256 bytes");

/* The FIFO's identifier is written on success only. */
QOR_API uint32_t Qor_FlexRay_TxFifo_Config_Pdu(uint32_t port, const Qor_FlexRay_TxFifo_t* fifo, uint32_t* fifoId);
QOR_API uint32_t Qor_FlexRay_TxFifo_Config_NPduPool(uint32_t port, const Qor_FlexRay_TxFifo_t* fifo,
                                                    uint32_t* fifoId);
QOR_API uint32_t Qor_FlexRay_TxFifo_Delete(uint32_t port, const Qor_FlexRay_TxFifoKey_t* key);
/* Writes the entries in order, in records within the port's maximum parameter length. Every entry is checked before
 * the first record leaves, so a refused call has queued nothing. */
QOR_API uint32_t Qor_FlexRay_TxFifo_Write(uint32_t port, uint32_t fifoId, uint32_t count,
                                          const Qor_FlexRay_TxFifoEntry_t* entries);

QOR_END_DECLS

#endif
