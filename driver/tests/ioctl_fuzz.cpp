// Fuzzes the control request dispatchers of the device file and of the channel files. An input is a sequence of
// requests: {u8 selector, u8 flags, u16 record length, record bytes}. The selector's low bits pick the request, its
// top bit the channel file; flags bit 0 picks channel 1, bit 1 leaves the channel file closed. Each record lies in
// memory of its own exact size, the only memory the driver may copy from or to.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "card_fixture.hpp"

namespace {

// The message-answer wait is left out: its time-out is the caller's.
constexpr unsigned int kRequests[] = {
    VORTAQ_GET_BOARD_CONFIG, VORTAQ_READ_BAR,       VORTAQ_WRITE_BAR,       VORTAQ_GET_CHANNEL_STATS,
    VORTAQ_WRITE_PCI_CONFIG, VORTAQ_READ_PCI_CONFIG, VORTAQ_SETUP_CHANNEL,  VORTAQ_SHUTDOWN_CHANNEL,
    VORTAQ_FIFO_C2S,         VORTAQ_FIFO_S2C,        VORTAQ_GET_BARMEM_INFO, VORTAQ_ALLOC_DMA_MEM,
    VORTAQ_RELEASE_DMA_MEM,  VORTAQ_GET_PAGE_TABLE,  VORTAQ_NO_OPERATION,    2305,
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  vq_faults = {};
  SimulatedCard card(EngineSimulator::Generation::second, 2, {0, 1}, 8, 8);
  // The engine takes no descriptors: the requests may point the rings anywhere.
  card.engine.pause();
  for (std::uint32_t index : {0u, 1u})
    card.adapter->pDMAChExt[index]->FifoWaitMs = 0;

  std::size_t at = 0;
  while (size - at >= 4) {
    const std::uint8_t selector = data[at];
    const std::uint8_t flags = data[at + 1];
    std::size_t length = static_cast<std::size_t>(data[at + 2] | data[at + 3] << 8);
    at += 4;
    length = std::min(length, size - at);
    std::vector<std::uint8_t> record(data + at, data + at + length);
    at += length;

    const unsigned int request = kRequests[selector % std::size(kRequests)];
    const std::uint64_t arg = record.empty() ? 0 : reinterpret_cast<std::uintptr_t>(record.data());
    vq_faults.userBase = arg;
    vq_faults.userLength = record.size();
    vq_faults.notAdmin = flags & 4;
    if (selector & 0x80) {
      DMA_CHANNEL_EXTENSION* channel = card.adapter->pDMAChExt[flags & 1];
      channel->fbOpen = !(flags & 2);
      VortaqDMAIOCtl(channel, request, arg);
    } else {
      VortaqIOCtl(card.adapter.get(), request, arg);
    }
  }
  vq_faults = {};
  return 0;
}
