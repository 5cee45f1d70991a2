/* The Ethernet controller's receive FIFOs: frames that the controller received, collected in the firmware and read
 * by the host as whole frames. The firmware hands frames out in fragments; the library joins them and keeps what
 * does not fit into a read for the next one, so a read delivers only whole frames and never loses one. */
#ifndef QOR_ETHERNET_RX_FIFO_H
#define QOR_ETHERNET_RX_FIFO_H

#include "qor_types.h"

QOR_BEGIN_DECLS

#define QOR_ETHERNET_RX_FIFO_FLAGS 0x01u
/* Qor_Ethernet_RxFifo_Delete: every receive FIFO of the port. */
#define QOR_ETHERNET_RX_FIFO_DELETE_ALL 0x01u
/* The largest frame a read delivers: its data length is a 16-bit field. */
#define QOR_ETHERNET_RX_FIFO_MAX_FRAME_BYTES 65535u

/* The four values' meanings are the firmware's. */
typedef struct Qor_Ethernet_RxFifo_Configuration_t {
  uint32_t flags;    /* +0 bit 0 */
  uint32_t value1;   /* +4 */
  uint32_t value2;   /* +8 */
  uint32_t value3;   /* +12 */
  uint16_t value4;   /* +16 */
  uint16_t reserved; /* +18 0 */
} Qor_Ethernet_RxFifo_Configuration_t;
QOR_STATIC_ASSERT(sizeof(Qor_Ethernet_RxFifo_Configuration_t) == 20, "RX FIFO configuration is 20 bytes");

typedef struct Qor_Ethernet_RxFifo_Key_t {
  uint32_t flags;  /* +0 QOR_ETHERNET_RX_FIFO_DELETE_ALL */
  uint32_t fifoId; /* +4 */
} Qor_Ethernet_RxFifo_Key_t;
QOR_STATIC_ASSERT(sizeof(Qor_Ethernet_RxFifo_Key_t) == 8, "RX FIFO key is 8 bytes");

/* A read writes one entry per frame, back to back: this head, the frame's bytes, zeros up to entrySize. */
typedef struct Qor_Ethernet_RxFifo_FrameHead_t {
  uint32_t entrySize;  /* +0 8 + dataLength, rounded up to a multiple of 4 */
  uint16_t dataLength; /* +4 */
  uint16_t reserved;   /* +6 0 */
} Qor_Ethernet_RxFifo_FrameHead_t;
QOR_STATIC_ASSERT(sizeof(Qor_Ethernet_RxFifo_FrameHead_t) == 8, "RX FIFO frame head is 8 bytes");

QOR_API uint32_t Qor_Ethernet_RxFifo_Config(uint32_t port, const Qor_Ethernet_RxFifo_Configuration_t* configuration,
                                            uint32_t* fifoId);
/* The host forgets the FIFO (or all of the port's) once the firmware has deleted it. */
QOR_API uint32_t Qor_Ethernet_RxFifo_Delete(uint32_t port, const Qor_Ethernet_RxFifo_Key_t* key);
/* flags: 0. *frameCount: the most frames to deliver (0: no limit), then the frames delivered. *size: the buffer's
 * bytes, then the bytes used. *remaining: the fragments still waiting, in the host and in the firmware. A frame that
 * alone exceeds the buffer reports 0x2130003 and stays for a larger buffer; a failed read delivers nothing and keeps
 * every frame for the next read. */
QOR_API uint32_t Qor_Ethernet_RxFifo_Read(uint32_t port, uint32_t flags, uint32_t fifoId, uint32_t* frameCount,
                                          uint32_t* size, uint32_t* remaining, uint8_t* buffer);
/* Forgets every receive FIFO of the process on the host (the firmware keeps them). */
QOR_API void Qor_Ethernet_RxFifo_DeleteAll(void);

QOR_END_DECLS

#endif
