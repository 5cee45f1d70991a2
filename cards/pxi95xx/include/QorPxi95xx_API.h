/* libQorPxi95xx_API: the access path to the 95xx cards through the Vortaq driver's /proc entries. A card's firmware
 * and the host exchange firmware frames through two 1-MiB rings in card memory (commands to the card on DMA channel
 * 0, responses on channel 1), whose positions live in the channels' scratchpad registers. The library also sets up
 * device-to-host DMA buffers on channels 0 to 3 for the core library. Cards are numbered from 0; at most 32 are
 * served. The library has no threads and no locks; the caller keeps one card's ring traffic on one thread. Card
 * memory is untrusted: ring indices and frame lengths are checked before use. */
#ifndef QORPXI95XX_API_H
#define QORPXI95XX_API_H

#include "qor_types.h"

QOR_BEGIN_DECLS

#define QORPXI95XX_API __attribute__((visibility("default")))

#define QORPXI95XX_CARD_COUNT_MAX 32u
#define QORPXI95XX_CHANNEL_COUNT 4u
#define QORPXI95XX_LIBRARY_VERSION 201917u
#define QORPXI95XX_RING_SIZE 0x100000u
#define QORPXI95XX_RING_DWORDS (QORPXI95XX_RING_SIZE / 4u)
#define QORPXI95XX_DMA_LENGTH_MAX 0xFFFFF000ull
#define QORPXI95XX_PAGE_SIZE 4096u

/* Return codes: 0, these, or a positive errno. */
enum {
  QORPXI95XX_ERROR_LENGTH = -3,         /* "transfer data mismatch": frame length outside 12 to the buffer size */
  QORPXI95XX_ERROR_RING_FULL = -8,      /* the command ring has no room for the frame */
  QORPXI95XX_ERROR_PARAMETER = -10,     /* "bad parameter": card number, argument or channel state */
  QORPXI95XX_ERROR_NO_BOARD = -20,      /* "no board found" */
  QORPXI95XX_ERROR_MEMORY = -30,        /* "memory allocation failed" */
  QORPXI95XX_ERROR_NOT_CONNECTED = 1359 /* the card's device file is not connected */
};

/* Channel states. */
enum { QORPXI95XX_CHANNEL_FREE = 0, QORPXI95XX_CHANNEL_CONFIGURED = 1, QORPXI95XX_CHANNEL_ENABLED = 2 };

/* Output of QorPxi95xx_GetInfo (at least 12 bytes; the rest of the output is zeroed). */
typedef struct QorPxi95xxInfo_t {
  uint32_t libraryVersion; /* +0 QORPXI95XX_LIBRARY_VERSION */
  uint32_t driverVersion;  /* +4 major x 100 + minor x 10 + sub-minor */
  uint32_t cardCount;      /* +8 */
} QorPxi95xxInfo_t;
QOR_STATIC_ASSERT(sizeof(QorPxi95xxInfo_t) == 12, "QorPxi95xxInfo_t is 12 bytes");

/* Output of QorPxi95xx_GetBoardInfo: at least 288 bytes; the BAR information only with all 414 (the record's
 * alignment pads it to 416, which callers need not give). */
typedef struct QorPxi95xxBoardInfo_t {
  uint32_t libraryVersion;    /* +0 */
  uint32_t driverVersion;     /* +4 */
  uint32_t cardCount;         /* +8 */
  uint32_t dmaChannelCount;   /* +12 */
  uint32_t sortKey;           /* +16 the card's index: tables sorted by it keep the cards' order */
  uint32_t serialNumberLow;   /* +20 lower half of the PCIe device serial number, 0 without one */
  uint8_t reserved[8];        /* +24 */
  uint8_t configHeader[256];  /* +32 PCI configuration header: vendor at +32, device at +34 */
  uint8_t barInformation[126]; /* +288 the driver's BAR table */
} QorPxi95xxBoardInfo_t;
#define QORPXI95XX_BOARD_INFO_MIN 288u
#define QORPXI95XX_BOARD_INFO_SIZE 414u
QOR_STATIC_ASSERT(offsetof(QorPxi95xxBoardInfo_t, barInformation) + 126 == QORPXI95XX_BOARD_INFO_SIZE,
                  "the board record's bytes end at 414");
QOR_STATIC_ASSERT(offsetof(QorPxi95xxBoardInfo_t, configHeader) == 32, "configHeader at 32");
QOR_STATIC_ASSERT(offsetof(QorPxi95xxBoardInfo_t, serialNumberLow) == 20, "serialNumberLow at 20");

/* One entry of a channel's scatter-gather list. */
typedef struct QorPxi95xxSgEntry_t {
  uint64_t busAddress; /* +0 */
  uint64_t length;     /* +8 */
} QorPxi95xxSgEntry_t;
QOR_STATIC_ASSERT(sizeof(QorPxi95xxSgEntry_t) == 16, "QorPxi95xxSgEntry_t is 16 bytes");

/* Opens the card's DMA0 and DMA1 files and takes the ring positions: 0, -10, 1359 or errno. */
QORPXI95XX_API int32_t QorPxi95xx_OpenBoard(uint8_t card);
/* Closes both files: 0, -10 or 1359. */
QORPXI95XX_API int32_t QorPxi95xx_CloseBoard(uint8_t card);
/* Writes one frame (length = its u16 length field, at least 12) into the command ring and rings the doorbell:
 * 0, -20, -10, -8 or errno. A transfer that moves fewer bytes than asked is an error; the ring is then untouched. */
QORPXI95XX_API int32_t QorPxi95xx_WriteCmd(uint8_t card, const void* frame, uint32_t length);
/* Reads one frame: *length in is the buffer size (at least 12), out the frame length or 0 when none waits.
 * 0, -20, -10, -3 or errno. A frame larger than the buffer stays in the ring (-3); a response ring found
 * inconsistent (no frame marker, a length below 12 or beyond the data written) is emptied and reported as -3. */
QORPXI95XX_API int32_t QorPxi95xx_ReadRsp(uint8_t card, void* buffer, uint32_t* length);
/* Waits up to timeoutMs for the card's message interrupt; 0 also when the time ran out. 0, -20, -10 or errno. */
QORPXI95XX_API int32_t QorPxi95xx_WaitForRsp(uint8_t card, uint32_t timeoutMs);
/* Opens the card's device file; the descriptor or -1. */
QORPXI95XX_API int32_t ConnectDriver(int32_t card);

/* Library version, driver version and card count into output (at least 12 bytes): 0, -10, -20 or errno. */
QORPXI95XX_API int32_t QorPxi95xx_GetInfo(void* output, uint32_t length);
/* The board record of a card (QorPxi95xxBoardInfo_t; length at least 288): 0, -20, -10 or errno. */
QORPXI95XX_API int32_t QorPxi95xx_GetBoardInfo(uint8_t card, void* output, uint32_t length);

/* Allocates, locks and pins a buffer of length bytes (1 to 0xFFFFF000) for a free channel: *pages and *buffer out;
 * the channel becomes configured. 0, -20, -10, -30 or errno. */
QORPXI95XX_API int32_t QorPxi95xx_Channel_Config_Dwth(uint8_t card, uint8_t channel, uint64_t length,
                                                      uint32_t* pages, void** buffer);
/* The pinned buffer's scatter-gather list: *count in is the entries the list holds, out the page count. */
QORPXI95XX_API int32_t QorPxi95xx_Dwth_SgList_Get(uint8_t card, uint8_t channel, uint32_t* count,
                                                  QorPxi95xxSgEntry_t* list);
QORPXI95XX_API int32_t QorPxi95xx_Channel_Enable(uint8_t card, uint8_t channel);
QORPXI95XX_API int32_t QorPxi95xx_Channel_Disable(uint8_t card, uint8_t channel);
/* Releases a configured channel's buffer; a free channel is left alone, an enabled one refused (-10). */
QORPXI95XX_API int32_t QorPxi95xx_Channel_Reset(uint8_t card, uint8_t channel);
/* Address of the channel's scratchpad registers: u32 write position at +0, write limit at +4. */
QORPXI95XX_API int32_t QorPxi95xx_MapDmaChScratchpad(uint8_t card, uint8_t channel, uint64_t* address);
QORPXI95XX_API int32_t QorPxi95xx_UnMapDmaChScratchpad(uint8_t card, uint8_t channel);

QOR_END_DECLS

#endif /* QORPXI95XX_API_H */
