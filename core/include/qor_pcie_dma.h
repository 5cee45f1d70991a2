/* Device-to-host DMA channels of the 95xx cards in PCIe and PXIe slots: one channel per port. The library loads
 * libQorPxi95xx_API.so by name at a port's first configuration, which allocates and pins the channel's buffers; the
 * card's firmware then writes into them without passing the daemon. The application reads the firmware's write
 * position and sets its write limit (the first byte the firmware must not write) in the channel's registers. */
#ifndef QOR_PCIE_DMA_H
#define QOR_PCIE_DMA_H

#include <stdbool.h>

#include "qor_types.h"

QOR_BEGIN_DECLS

/* Firmware command of the DMA channels and its two selectors. */
#define QOR_PCIE_DMA_COMMAND 0x0Eu
#define QOR_PCIE_DMA_SELECT_CHANNEL 0u
#define QOR_PCIE_DMA_SELECT_TEST 1u

/* Sub-functions of selector 0 (channel) and selector 1 (firmware DMA test). */
enum {
  QOR_PCIE_DMA_RESET = 2,
  QOR_PCIE_DMA_GEOMETRY = 4,
  QOR_PCIE_DMA_LIST_LENGTH = 5,
  QOR_PCIE_DMA_LIST_CHUNK = 6,
  QOR_PCIE_DMA_LIST_END = 8,
  QOR_PCIE_DMA_SETTINGS = 9,
  QOR_PCIE_DMA_ENABLE = 10,
  QOR_PCIE_DMA_DISABLE = 11,
  QOR_PCIE_DMA_TEST_RESET = 0,
  QOR_PCIE_DMA_TEST_SETUP = 1,
  QOR_PCIE_DMA_TEST_START = 2,
  QOR_PCIE_DMA_TEST_STOP = 3
};

/* Sub-functions of the daemon's 95xx board request (message 0x52). */
#define QOR_PCIE_BOARD_RESULT_TEXT 0u
#define QOR_PCIE_BOARD_LINK_DATA 1u

typedef struct Qor_PcieDma_ChannelConfig_t {
  uint32_t flags;       /* +0 must be 0 */
  uint8_t channel;      /* +4 */
  uint8_t reserved[3];  /* +5 0 */
  uint32_t settings[4]; /* +8 handed to the firmware unchanged */
  uint32_t bufferCount; /* +24 at least 1 */
  uint32_t bufferSize;  /* +28 bytes, at least 1; buffers lie size rounded up to 16 apart */
} Qor_PcieDma_ChannelConfig_t;
QOR_STATIC_ASSERT(sizeof(Qor_PcieDma_ChannelConfig_t) == 32, "Qor_PcieDma_ChannelConfig_t is 32 bytes");
QOR_STATIC_ASSERT(offsetof(Qor_PcieDma_ChannelConfig_t, settings) == 8, "settings at 8");
QOR_STATIC_ASSERT(offsetof(Qor_PcieDma_ChannelConfig_t, bufferCount) == 24, "bufferCount at 24");

typedef struct Qor_PcieDmaTest_Config_t {
  uint32_t flags;       /* +0 must be 0 */
  uint8_t runMode;      /* +4 0 or 1 */
  uint8_t type;         /* +5 0 */
  uint16_t reserved;    /* +6 0 */
  uint32_t firstValue;  /* +8 */
  uint32_t secondValue; /* +12 at most 0xFFFFFFF8 (the firmware gets it rounded up to a multiple of 8, too) */
} Qor_PcieDmaTest_Config_t;
QOR_STATIC_ASSERT(sizeof(Qor_PcieDmaTest_Config_t) == 16, "Qor_PcieDmaTest_Config_t is 16 bytes");

/* True for an open port on a 95xx card connected by PCIe or PXIe. */
QOR_API bool Qor_PcieDma_IsAvailable(uint32_t port);
/* Configures the port's channel (a channel configured before is reset first) and writes the bus-visible buffers'
 * addresses in this process, bufferCount of them, to addresses. 0 or an error code; card library codes come as
 * 0x200000D with the daemon's text of the code. */
QOR_API uint32_t Qor_PcieDma_Channel_Config_Dwth(uint32_t port, const Qor_PcieDma_ChannelConfig_t* config,
                                                 uint64_t* addresses);
QOR_API uint32_t Qor_PcieDma_Channel_Enable(uint32_t port);
/* 0 without a channel. */
QOR_API uint32_t Qor_PcieDma_Channel_Disable(uint32_t port);
/* Disables the channel, releases its buffers and unloads the card library: 0 without a channel. A failing step
 * stops it; the channel then stays (a later reset or the close takes it up again). */
QOR_API uint32_t Qor_PcieDma_Channel_Reset(uint32_t port);
QOR_API uint32_t Qor_PcieDma_Channel_Get(uint32_t port, uint8_t* channel);
QOR_API uint32_t Qor_PcieDma_Channel_WriteLimit_Set(uint32_t port, uint32_t limit);
QOR_API uint32_t Qor_PcieDma_Channel_WritePosition_Get(uint32_t port, uint32_t* position);
/* The card's link from the daemon: maximum link speed code, maximum width, current speed code, current width
 * (speed codes 1 to 4, 5 when unknown). 0, the daemon's code, or a transport error. */
QOR_API uint32_t Qor_PcieDma_GetBusData(uint32_t port, uint8_t data[4]);

/* The firmware's DMA test on the port's configured channel. */
QOR_API uint32_t Qor_PcieDmaTest_Init(uint32_t port, const Qor_PcieDmaTest_Config_t* config);
/* Without a configured channel, reset gives 0. */
QOR_API uint32_t Qor_PcieDmaTest_Reset(uint32_t port);
QOR_API uint32_t Qor_PcieDmaTest_Start(uint32_t port);
QOR_API uint32_t Qor_PcieDmaTest_Stop(uint32_t port);

QOR_END_DECLS

#endif
