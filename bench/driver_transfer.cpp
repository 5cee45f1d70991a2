// Transfers of the Vortaq driver per descriptor element, in its user-space build against the simulated engine,
// each figure against a floor measured in alternating blocks of the same run:
// - programming and completion, the driver's own work: the descriptors of a pinned buffer written and their limits
//   handed to the engine, then the channel's interrupt acknowledged, the status element paired with its transfer
//   and the transfer finished. The engine's thread is stopped and the bench writes the status element and raises
//   the interrupt as the engine does. Floor: the same descriptors written into the same rings in a plain loop, three
//   limit words stored and the status word read back and cleared.
// - a whole write and read-back on a channel: pinning, programming, the engine's thread walking the descriptors and
//   copying, its interrupt, the completion tasklet and the caller's wake-up. Floor: memcpy of the same bytes there
//   and back.
// A card alone can show the cost of its register writes across PCIe, its DMA throughput, the latency from its
// interrupt to the caller's wake-up, and page pinning and mapping with an IOMMU; none of these is simulated here.

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <utility>
#include <vector>

#include "bench_support.hpp"
#include "card_fixture.hpp"

namespace {

using namespace qor::bench;
using Generation = EngineSimulator::Generation;

constexpr std::uint32_t kRingElements = 1024;
constexpr int kBlocks = 7;
constexpr std::uint32_t kPageCounts[] = {1, 16, 256};

double median(std::vector<double> values) { return summarise(std::move(values)).median; }

std::uint32_t* statusElement(DMA_CHANNEL_EXTENSION* channel) {
  return reinterpret_cast<std::uint32_t*>(channel->pStatElementBase +
                                          std::size_t{channel->TailStatElemIndex} * channel->StatElementSize);
}

// The driver programs and completes the transfer `repeats` times; seconds, or a negative value when it fails.
double driverBlock(SimulatedCard& card, DMA_CHANNEL_EXTENSION* channel, DMA_XFER& transfer, int repeats) {
  const auto start = Clock::now();
  for (int i = 0; i < repeats; ++i) {
    const unsigned long flags = vq_spin_lock(&channel->DMAEngSemaphore);
    const int programmed = ProgramDmaChannel(channel, &transfer);
    vq_spin_unlock(&channel->DMAEngSemaphore, flags);
    if (programmed)
      return -1;
    // The engine's part: the packet completed with every byte moved, and its interrupt.
    __atomic_store_n(statusElement(channel),
                     STAT_COMPLETED | static_cast<std::uint32_t>(transfer.length) << STAT_COMP_BYTE_COUNT_SHIFT,
                     __ATOMIC_RELEASE);
    card.engine.raiseStatus(channel->DmaChannel, V2_PCIE_SGL_INT);
    if (!VortaqChannelInterrupt(channel) || transfer.state != XFER_DONE || transfer.status != 0)
      return -1;
  }
  return seconds(Clock::now() - start);
}

// The same descriptors as the driver writes for the transfer, written in a plain loop; seconds.
double plainBlock(DMA_CHANNEL_EXTENSION* channel, const DMA_XFER& transfer, int repeats) {
  std::uint32_t source = 0, destination = 0, status = 0;
  std::uint32_t limits[3];
  volatile std::uint32_t seen = 0;
  const std::uint32_t ring = channel->NumberOfSrcElements;
  const auto start = Clock::now();
  for (int i = 0; i < repeats; ++i) {
    DESTINATION_SG_ELEMENT_STRUCT& card = channel->pDstElementBase[destination];
    card.DEST_ADDRESS = transfer.CardAddress;
    card.BYTE_COUNT_FLAGS = static_cast<std::uint32_t>(transfer.length) | SG_LOCATION_CARD;
    destination = (destination + 1) % ring;
    for (std::uint32_t s = 0; s < transfer.pinned.numSegments; ++s) {
      SOURCE_SG_ELEMENT_STRUCT& host = channel->pSrcElementBase[source];
      host.SRC_ADDRESS = transfer.pinned.segments[s].bus;
      host.BYTE_COUNT_FLAGS =
          transfer.pinned.segments[s].length | (s + 1 == transfer.pinned.numSegments ? SG_EOP | SG_INTERRUPT : 0);
      source = (source + 1) % ring;
    }
    status = (status + 1) % channel->NumberOfStatElements;
    __atomic_store_n(&limits[0], source, __ATOMIC_RELEASE);
    __atomic_store_n(&limits[1], destination, __ATOMIC_RELEASE);
    __atomic_store_n(&limits[2], status, __ATOMIC_RELEASE);
    auto* element =
        reinterpret_cast<std::uint32_t*>(channel->pStatElementBase + std::size_t{status} * channel->StatElementSize);
    seen = seen + __atomic_load_n(element, __ATOMIC_ACQUIRE);
    *element = 0;
  }
  return seconds(Clock::now() - start);
}

struct Figures {
  double product = 0; // ns per element, median of the blocks
  double floor = 0;
};

// Programming and completion with the engine's thread stopped.
Figures programmingAndCompletion(std::uint32_t pages, std::uint32_t& elements) {
  SimulatedCard card(Generation::second, 1, {0}, kRingElements, kRingElements);
  card.engine.stop();
  DMA_CHANNEL_EXTENSION* channel = card.open(0);
  HostBuffer buffer(pages);
  fillPattern({buffer.data, buffer.bytes}, pages);
  DMA_XFER* transfer = UserToDMABuffer(card.adapter.get(), buffer.address(), buffer.bytes, XFER_HOST_TO_CARD);
  if (!transfer)
    return {};
  elements = pages + 1; // one per host page and one for the card side
  const int repeats = static_cast<int>(std::max<std::uint32_t>(50, 40000 / elements));
  std::vector<double> product, floor;
  // A first round warms the caches and the branch predictors and is not counted.
  plainBlock(channel, *transfer, repeats);
  driverBlock(card, channel, *transfer, repeats);
  for (int block = 0; block < kBlocks; ++block) {
    floor.push_back(plainBlock(channel, *transfer, repeats) * 1e9 / (repeats * elements));
    const double spent = driverBlock(card, channel, *transfer, repeats);
    if (spent < 0 || transfer->SrcElementCount + transfer->DstElementCount != elements) {
      std::printf("  the driver failed a transfer of %u pages\n", pages);
      return {};
    }
    product.push_back(spent * 1e9 / (repeats * elements));
  }
  ReleaseUserDMABuffer(card.adapter.get(), transfer);
  vq_free(transfer);
  return {median(product), median(floor)};
}

// Writes and reads back through the running simulated engine; the latencies of single transfers in microseconds.
Figures wholeTransfers(std::uint32_t pages, std::uint32_t elements, std::vector<double>& latencies) {
  SimulatedCard card(Generation::second, 1, {0}, kRingElements, kRingElements);
  DMA_CHANNEL_EXTENSION* channel = card.open(0);
  HostBuffer out(pages), in(pages);
  fillPattern({out.data, out.bytes}, pages);
  std::vector<std::uint8_t> scratch(out.bytes);
  const int repeats = static_cast<int>(std::max<std::uint32_t>(20, 4000 / elements));
  const long bytes = static_cast<long>(out.bytes);
  std::vector<double> product, floor;
  for (int block = 0; block < kBlocks; ++block) {
    auto start = Clock::now();
    for (int i = 0; i < repeats; ++i) {
      std::memcpy(scratch.data(), out.data, out.bytes);
      std::memcpy(in.data, scratch.data(), out.bytes);
    }
    floor.push_back(seconds(Clock::now() - start) * 1e9 / (2.0 * repeats * elements));
    std::memset(in.data, 0, in.bytes);
    start = Clock::now();
    for (int i = 0; i < repeats; ++i) {
      const auto one = Clock::now();
      if (VortaqTransfer(channel, out.address(), out.bytes, 0, XFER_HOST_TO_CARD) != bytes ||
          VortaqTransfer(channel, in.address(), in.bytes, 0, XFER_CARD_TO_HOST) != bytes) {
        std::printf("  a transfer of %u pages failed\n", pages);
        return {};
      }
      latencies.push_back(microseconds(Clock::now() - one) / 2);
    }
    product.push_back(seconds(Clock::now() - start) * 1e9 / (2.0 * repeats * elements));
    if (!hasPattern({in.data, in.bytes}, pages)) {
      std::printf("  the bytes read back differ from those written (%u pages)\n", pages);
      return {};
    }
  }
  return {median(product), median(floor)};
}

} // namespace

int main() {
  std::printf("Vortaq driver transfers per descriptor element (user-space build, simulated engine, %d blocks)\n",
              kBlocks);
  std::printf("  Programming and completion (engine thread stopped) against writing the same descriptors\n");
  std::printf("  %6s %9s %14s %14s %8s %14s\n", "pages", "elements", "driver ns/el", "floor ns/el", "ratio",
              "driver ns/tr");
  std::vector<std::uint32_t> elementCounts;
  bool failed = false;
  for (std::uint32_t pages : kPageCounts) {
    std::uint32_t elements = 0;
    const Figures figures = programmingAndCompletion(pages, elements);
    failed |= figures.product == 0;
    elementCounts.push_back(elements);
    std::printf("  %6u %9u %14.1f %14.1f %7.1fx %14.0f\n", pages, elements, figures.product, figures.floor,
                figures.product / figures.floor, figures.product * elements);
  }
  std::printf("  Whole write and read-back through the simulated engine against memcpy of the same bytes\n");
  std::printf("  %6s %9s %14s %14s %8s %13s %10s\n", "pages", "elements", "chain ns/el", "memcpy ns/el", "ratio",
              "median us/tr", "p99 us/tr");
  for (std::size_t i = 0; i < std::size(kPageCounts); ++i) {
    std::vector<double> latencies;
    const Figures figures = wholeTransfers(kPageCounts[i], elementCounts[i], latencies);
    failed |= figures.product == 0;
    const Latencies summary = summarise(latencies);
    std::printf("  %6u %9u %14.1f %14.1f %7.1fx %13.1f %10.1f\n", kPageCounts[i], elementCounts[i], figures.product,
                figures.floor, figures.product / figures.floor, summary.median, summary.p99);
  }
  std::printf("  Only a card shows register writes across PCIe, DMA throughput, interrupt-to-wake-up latency and\n"
              "  pinning and mapping with an IOMMU.\n");
  return failed ? 1 : 0;
}
