// Delivery through a 95xx DMA channel: the emulated card writes a chunk into the channel's pinned buffers, and the
// application reads the write position, copies the chunk out of the buffers and moves the write limit on, through
// this process's library and the card library loaded by name, over the emulated driver reaching the card this process
// plays (the daemon core serves the port in this process).
// The floor: the same chunk copied into a memory ring and out again, split at the ring's end in the same way.
// Floor and product alternate in blocks of one run; every chunk taken out is compared with the one written.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <span>
#include <vector>

#include "bench_support.hpp"
#include "in_process_daemon.hpp"
#include "map_pxi95xx.hpp"
#include "qor_api.h"
#include "qor_emulator/card95xx.hpp"
#include "qor_emulator/card95xx_dma_firmware.hpp"
#include "qor_pcie_dma.h"
#include "qor_test/daemon_process.hpp"

namespace {

using namespace qor::bench;

constexpr uint32_t kCardHostType = 82; // a PXIe 9530
constexpr uint8_t kChannel = 2;
constexpr uint32_t kBuffers = 4;
constexpr uint32_t kBufferSize = 256 * 1024;
constexpr uint32_t kRingSize = kBuffers * kBufferSize;
constexpr int kBlocks = 20;
constexpr int kRoundsPerBlock = 200;
constexpr size_t kDistinctChunks = 7;

// Copies count bytes from position of a ring into out, split at the ring's end.
void copyOut(const uint8_t* ring, uint32_t position, std::span<uint8_t> out) {
  const size_t first = std::min<size_t>(out.size(), kRingSize - position);
  std::memcpy(out.data(), ring + position, first);
  std::memcpy(out.data() + first, ring, out.size() - first);
}

class Delivery {
public:
  Delivery(qor::emulator::Card95xx& card, uint32_t port, const uint8_t* buffers)
      : card_(card), port_(port), buffers_(buffers) {}

  // The card writes one chunk; the application takes it out and gives the room back.
  bool round(std::span<const uint8_t> chunk, std::span<uint8_t> out) {
    if (card_.writeDma(kChannel, chunk) != chunk.size()) return false;
    uint32_t position = 0;
    if (Qor_PcieDma_Channel_WritePosition_Get(port_, &position) != 0) return false;
    const uint32_t arrived = (position + kRingSize - read_) % kRingSize;
    if (arrived != chunk.size()) return false;
    copyOut(buffers_, read_, out);
    read_ = position;
    // The card may write up to the byte before the next one to read.
    if (Qor_PcieDma_Channel_WriteLimit_Set(port_, (read_ + kRingSize - 1) % kRingSize) != 0) return false;
    return std::memcmp(out.data(), chunk.data(), chunk.size()) == 0;
  }

private:
  qor::emulator::Card95xx& card_;
  uint32_t port_;
  const uint8_t* buffers_;
  uint32_t read_ = 0;
};

class MemoryRing {
public:
  bool round(std::span<const uint8_t> chunk, std::span<uint8_t> out) {
    const size_t first = std::min<size_t>(chunk.size(), kRingSize - write_);
    std::memcpy(ring_.data() + write_, chunk.data(), first);
    std::memcpy(ring_.data(), chunk.data() + first, chunk.size() - first);
    copyOut(ring_.data(), write_, out);
    write_ = static_cast<uint32_t>((write_ + chunk.size()) % kRingSize);
    return std::memcmp(out.data(), chunk.data(), chunk.size()) == 0;
  }

private:
  std::vector<uint8_t> ring_ = std::vector<uint8_t>(kRingSize);
  uint32_t write_ = 0;
};

uint32_t openPort() {
  Qor_InterfaceInfo_t descriptor{};
  descriptor.hostInterfaceType = kCardHostType;
  descriptor.controllerNumber = 1;
  descriptor.interfaceNumber = 22;
  descriptor.deviceNumber = 1;
  uint32_t port = QOR_NO_PORT;
  if (Qor_OpenInterface(&descriptor, &port) != 0) std::printf("open: %s\n", Qor_GetLastErrorDescription());
  return port;
}

} // namespace

int main() {
  using qor::emulator::Card95xx;
  qor::emulator::Device device{qor::emulator::DeviceConfig{.hostType = kCardHostType}};
  const qor::emulator::Card95xxDmaFirmware dmaFirmware(device);
  std::filesystem::create_directories(Card95xx::kSandboxProcRoot);
  Card95xx card(device, Card95xx::kSandboxProcRoot, 0);
  int result = 1;
  {
    qor::test::InProcessDaemon daemon(qor::daemon::PathKind::Cards95xx, qor::daemon::makePxi95xxPath());
    const uint32_t port = qor::test::connectLibraryToDaemon() ? openPort() : QOR_NO_PORT;
    Qor_PcieDma_ChannelConfig_t config{};
    config.channel = kChannel;
    config.bufferCount = kBuffers;
    config.bufferSize = kBufferSize;
    std::vector<uint64_t> addresses(kBuffers);
    if (port != QOR_NO_PORT && Qor_PcieDma_Channel_Config_Dwth(port, &config, addresses.data()) == 0 &&
        Qor_PcieDma_Channel_Enable(port) == 0 && Qor_PcieDma_Channel_WriteLimit_Set(port, kRingSize - 1) == 0) {
      result = 0;
      Delivery delivery(card, port, reinterpret_cast<const uint8_t*>(addresses[0]));
      MemoryRing memory;
      for (const size_t size : {4096u, 65536u}) {
        // Chunks of their own, taken in turn: stale bytes would not match.
        std::vector<std::vector<uint8_t>> chunks(kDistinctChunks, std::vector<uint8_t>(size));
        for (size_t i = 0; i < chunks.size(); ++i) fillPattern(chunks[i], i + 1);
        std::vector<uint8_t> out(size);
        size_t next = 0;
        const auto chunk = [&]() -> std::span<const uint8_t> { return chunks[next++ % chunks.size()]; };
        const AlternatedRounds rounds = alternateRounds(
            kBlocks, kRoundsPerBlock, [&] { return memory.round(chunk(), out); },
            [&] { return delivery.round(chunk(), out); });
        std::printf("95xx DMA channel, chunks of %zu bytes through a ring of %u bytes (%d blocks of %d)\n", size,
                    kRingSize, kBlocks, kRoundsPerBlock);
        printAlternatedRounds(rounds, "floor (copy in and out)", "DMA channel delivery");
        std::printf("  %-30s %8.0f MB/s (floor %.0f MB/s)\n", "delivery rate at the median", size / rounds.product.median,
                    size / rounds.floor.median);
        if (rounds.floorFailures != 0 || rounds.productFailures != 0) result = 1;
      }
    } else {
      std::printf("set-up failed: %s\n", Qor_GetLastErrorDescription());
    }
    if (port != QOR_NO_PORT) Qor_CloseInterface(port);
  }
  return result;
}
