/* The K-Line interface as a plain UART with transmit and receive FIFOs in the firmware. A receive answer may carry
 * more bytes than the caller's buffer holds: the surplus waits in a spill buffer of the port (host side) and the
 * next reads of that port deliver it first. */
#ifndef QOR_KLINE_FIFO_H
#define QOR_KLINE_FIFO_H

#include "qor_types.h"

QOR_BEGIN_DECLS

/* The UART's configuration; the values' meanings are the firmware's. */
typedef struct Qor_KLine_FifoConfig_t {
  uint32_t value1;   /* +0 */
  uint32_t value2;   /* +4 */
  uint32_t value3;   /* +8 */
  uint8_t UartMode;  /* +12: 0 to 2 */
  uint8_t Parity;    /* +13: 0 or 1 */
  uint8_t StopBits;  /* +14: 0 or 1 */
  uint8_t reserved;  /* +15: 0 */
} Qor_KLine_FifoConfig_t;
QOR_STATIC_ASSERT(sizeof(Qor_KLine_FifoConfig_t) == 16, "Qor_KLine_FifoConfig_t is 16 bytes");
QOR_STATIC_ASSERT(offsetof(Qor_KLine_FifoConfig_t, UartMode) == 12, "UartMode at 12");

/* Resets the UART; on success the port's spill buffer is emptied. */
QOR_API uint32_t Qor_KLine_Fifo_Reset(uint32_t port);
/* Initialises the UART (flags must be 0) and empties the port's spill buffer; *result is the firmware's result,
 * 0 on failure. */
QOR_API uint32_t Qor_KLine_Fifo_Init(uint32_t port, uint32_t flags, const Qor_KLine_FifoConfig_t* config,
                                     uint32_t* result);
/* Writes n bytes to the transmit FIFO; at most the port's maximum parameter length less 8. */
QOR_API uint32_t Qor_KLine_Fifo_Tx_Write(uint32_t port, uint32_t n, const uint8_t* data);
/* *state bit 0: the transmit FIFO is empty and no received byte waits in the spill buffer; bit 1 as the firmware
 * says. *value2 counts the spilled bytes as well. All three are 0 on failure. */
QOR_API uint32_t Qor_KLine_Fifo_Tx_GetState(uint32_t port, uint32_t* state, uint32_t* value1, uint32_t* value2);
/* Reads received bytes: *length is the buffer's capacity in and the bytes delivered out, spilled bytes first.
 * "response buffer too small" (no text) while more bytes wait in the spill buffer; they are delivered by the next
 * reads. A failing receive command leaves *length at the spilled bytes already delivered. *state bits 0 and 1 are
 * the firmware's. */
QOR_API uint32_t Qor_KLine_Fifo_Rx_Read(uint32_t port, uint32_t* state, uint32_t* length, uint8_t* buffer);
/* *state bits 0 to 2 and the two values as the firmware reports them; all three are 0 on failure. */
QOR_API uint32_t Qor_KLine_Fifo_Rx_GetState(uint32_t port, uint32_t* state, uint32_t* value1, uint32_t* value2);

QOR_END_DECLS

#endif
