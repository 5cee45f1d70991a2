// Reads and writes at card addresses through the descriptor rings of the simulated engine.
#include <gtest/gtest.h>

#include <cstdlib>
#include <numeric>
#include <thread>

#include "card_fixture.hpp"

namespace {

using Generation = EngineSimulator::Generation;

void fillPattern(std::uint8_t* data, std::size_t bytes, std::uint8_t seed) {
  for (std::size_t i = 0; i < bytes; ++i)
    data[i] = static_cast<std::uint8_t>(seed + i * 7);
}

long writeCard(DMA_CHANNEL_EXTENSION* channel, const HostBuffer& buffer, std::size_t offset, std::uint64_t count,
               std::uint64_t cardAddress) {
  return VortaqTransfer(channel, buffer.address(offset), count, cardAddress, XFER_HOST_TO_CARD);
}

long readCard(DMA_CHANNEL_EXTENSION* channel, const HostBuffer& buffer, std::size_t offset, std::uint64_t count,
              std::uint64_t cardAddress) {
  return VortaqTransfer(channel, buffer.address(offset), count, cardAddress, XFER_CARD_TO_HOST);
}

TEST(Transfer, WriteProgramsOneHostAndOneCardElement) {
  FaultScope faults;
  SimulatedCard card(Generation::second, 1, {0});
  DMA_CHANNEL_EXTENSION* channel = card.open(0);
  HostBuffer buffer(1);
  fillPattern(buffer.data, 12, 1);

  ASSERT_EQ(writeCard(channel, buffer, 0, 12, 0x1000), 12);
  EXPECT_EQ(std::memcmp(card.engine.cardMemory() + 0x1000, buffer.data, 12), 0);
  const SOURCE_SG_ELEMENT_STRUCT& host = channel->pSrcElementBase[0];
  EXPECT_EQ(host.SRC_ADDRESS, buffer.address());
  EXPECT_EQ(host.BYTE_COUNT_FLAGS, 12u | SG_EOP | SG_INTERRUPT);
  const DESTINATION_SG_ELEMENT_STRUCT& target = channel->pDstElementBase[0];
  EXPECT_EQ(target.DEST_ADDRESS, 0x1000u);
  EXPECT_EQ(target.BYTE_COUNT_FLAGS, 12u | SG_LOCATION_CARD | SG_PACK_NEXT);
  EXPECT_EQ(card.engine.read32(0, V2_SRC_Q_LIMIT), 1u);
  EXPECT_EQ(card.engine.read32(0, V2_DST_Q_LIMIT), 1u);
  EXPECT_EQ(card.engine.read32(0, V2_STA_Q_LIMIT), 1u);
  EXPECT_EQ(channel->NumberOfUsedSrcElements, 0u);
  EXPECT_EQ(channel->DMATransferCount, 1);
}

TEST(Transfer, BufferAcrossAPageEndTakesTwoHostElements) {
  FaultScope faults;
  SimulatedCard card(Generation::second, 1, {0});
  DMA_CHANNEL_EXTENSION* channel = card.open(0);
  HostBuffer buffer(2);
  fillPattern(buffer.data + PAGE_SIZE - 8, 16, 3);

  ASSERT_EQ(writeCard(channel, buffer, PAGE_SIZE - 8, 16, 0x200), 16);
  EXPECT_EQ(channel->pSrcElementBase[0].BYTE_COUNT_FLAGS, 8u);
  EXPECT_EQ(channel->pSrcElementBase[1].BYTE_COUNT_FLAGS, 8u | SG_EOP | SG_INTERRUPT);
  EXPECT_EQ(std::memcmp(card.engine.cardMemory() + 0x200, buffer.data + PAGE_SIZE - 8, 16), 0);

  HostBuffer back(2);
  ASSERT_EQ(readCard(channel, back, PAGE_SIZE - 8, 16, 0x200), 16);
  EXPECT_EQ(std::memcmp(back.data + PAGE_SIZE - 8, buffer.data + PAGE_SIZE - 8, 16), 0);
}

// Round trips on both generations, with 4-byte status elements (channels 0 and 1) and 8-byte ones (channel 2),
// many times over so that every ring wraps.
TEST(Transfer, RoundTripsWrapEveryRing) {
  struct Row {
    Generation generation;
    std::uint32_t channel;
  };
  for (const Row& row : {Row{Generation::first, 1}, Row{Generation::second, 0}, Row{Generation::second, 2}}) {
    SCOPED_TRACE(row.channel);
    FaultScope faults;
    SimulatedCard card(row.generation, 4, {0, 1, 2}, 8, 8);
    DMA_CHANNEL_EXTENSION* channel = card.open(row.channel);
    HostBuffer out(3), in(3);
    for (int round = 0; round < 20; ++round) {
      const std::size_t offset = static_cast<std::size_t>(round * 37) % PAGE_SIZE;
      const std::size_t count = PAGE_SIZE + static_cast<std::size_t>(round) * 13 + 1;
      fillPattern(out.data + offset, count, static_cast<std::uint8_t>(round));
      ASSERT_EQ(writeCard(channel, out, offset, count, 0x4000), static_cast<long>(count));
      std::memset(in.data, 0, in.bytes);
      ASSERT_EQ(readCard(channel, in, offset, count, 0x4000), static_cast<long>(count));
      ASSERT_EQ(std::memcmp(in.data + offset, out.data + offset, count), 0) << "round " << round;
    }
    EXPECT_EQ(channel->NumberOfUsedSrcElements, 0u);
    EXPECT_EQ(channel->NumberOfUsedDstElements, 0u);
  }
}

// A ring of n descriptors holds n - 1: a full ring's limit would equal the engine's position and read as empty.
TEST(Transfer, BuffersBeyondTheRingAreRefusedBeforePinning) {
  FaultScope faults;
  SimulatedCard card(Generation::second, 1, {0}, 8, 8);
  DMA_CHANNEL_EXTENSION* channel = card.open(0);
  HostBuffer buffer(8);
  vq_faults.failPin = 1; // a pin would fail with -ENOMEM instead
  EXPECT_EQ(readCard(channel, buffer, 0, 8 * PAGE_SIZE, 0), -EMSGSIZE);
  EXPECT_EQ(writeCard(channel, buffer, 0, 8 * PAGE_SIZE, 0), -EMSGSIZE);
  vq_faults.failPin = 0;
  EXPECT_EQ(writeCard(channel, buffer, 0, 7 * PAGE_SIZE, 0), static_cast<long>(7 * PAGE_SIZE));
  EXPECT_EQ(readCard(channel, buffer, 0, 7 * PAGE_SIZE, 0), static_cast<long>(7 * PAGE_SIZE));
}

TEST(Transfer, RefusalsLeaveTheRingsUntouched) {
  FaultScope faults;
  SimulatedCard card(Generation::second, 1, {0}, 8, 8);
  DMA_CHANNEL_EXTENSION* channel = card.open(0);
  HostBuffer buffer(2);

  EXPECT_EQ(writeCard(channel, buffer, 0, 0, 0x10), 0);
  vq_faults.failPin = 1;
  EXPECT_EQ(writeCard(channel, buffer, 0, 16, 0x10), -ENOMEM);
  vq_faults.zeroBusAddress = 1;
  EXPECT_EQ(writeCard(channel, buffer, 100, PAGE_SIZE, 0x10), -EFAULT);
  EXPECT_EQ(VortaqTransfer(channel, ~0ull - 4, 16, 0, XFER_HOST_TO_CARD), -EFAULT);
  EXPECT_EQ(channel->NumberOfUsedSrcElements, 0u);
  EXPECT_EQ(channel->NextStatElemIndex, 0u);
  EXPECT_EQ(card.engine.read32(0, V2_STA_Q_LIMIT), 0u);

  channel->fbOpen = false;
  EXPECT_EQ(writeCard(channel, buffer, 0, 16, 0x10), -EBUSY);
  channel->fbOpen = true;
  fillPattern(buffer.data, 16, 9);
  EXPECT_EQ(writeCard(channel, buffer, 0, 16, 0x10), 16);
  EXPECT_EQ(std::memcmp(card.engine.cardMemory() + 0x10, buffer.data, 16), 0);
}

// The engine reports a failed packet, one it cut short, and one at a card address it does not have.
TEST(Transfer, EngineFailuresAreErrorsNotByteCounts) {
  FaultScope faults;
  SimulatedCard card(Generation::second, 1, {0});
  DMA_CHANNEL_EXTENSION* channel = card.open(0);
  HostBuffer buffer(1);

  card.engine.failNextPackets(1);
  EXPECT_EQ(readCard(channel, buffer, 0, 64, 0x100), -EIO);
  card.engine.shortenNextPackets(1);
  EXPECT_EQ(writeCard(channel, buffer, 0, 64, 0x100), -EIO);
  EXPECT_EQ(writeCard(channel, buffer, 0, 64, 1u << 20), -EIO);
  EXPECT_EQ(writeCard(channel, buffer, 0, 64, 0x100), 64);
}

// Several writers share a ring too small for all of them: each waits its turn, none is lost.
TEST(Transfer, ConcurrentWritersWaitForDescriptors) {
  FaultScope faults;
  SimulatedCard card(Generation::second, 1, {0}, 8, 8);
  DMA_CHANNEL_EXTENSION* channel = card.open(0);
  constexpr int kWriters = 4;
  constexpr int kRounds = 25;
  std::vector<std::thread> writers;
  std::vector<long> failures(kWriters, 0);
  for (int writer = 0; writer < kWriters; ++writer)
    writers.emplace_back([&, writer] {
      HostBuffer buffer(3);
      const std::size_t count = 2 * PAGE_SIZE + 100;
      for (int round = 0; round < kRounds; ++round) {
        fillPattern(buffer.data, count, static_cast<std::uint8_t>(writer * 50 + round));
        const std::uint64_t cardAddress = static_cast<std::uint64_t>(writer) * 0x10000;
        if (writeCard(channel, buffer, 0, count, cardAddress) != static_cast<long>(count))
          ++failures[static_cast<std::size_t>(writer)];
      }
    });
  for (auto& writer : writers)
    writer.join();
  EXPECT_EQ(failures, std::vector<long>(kWriters, 0));
  EXPECT_EQ(channel->DMATransferCount, kWriters * kRounds);
  EXPECT_TRUE(list_empty(&channel->DMAWaitList));
}

// A caller that leaves while the engine holds its descriptors gets an error at once; its pages stay pinned until
// the engine is done with them, and the transfers after it pair with their own status elements.
TEST(Transfer, CallerLeavingBeforeCompletion) {
  for (bool bySignal : {true, false}) {
    SCOPED_TRACE(bySignal ? "signal" : "time-out");
    FaultScope faults;
    SimulatedCard card(Generation::second, 1, {0});
    DMA_CHANNEL_EXTENSION* channel = card.open(0);
    channel->TransferTimeoutMs = 50;
    HostBuffer left(1), next(1);
    fillPattern(left.data, 32, 1);
    fillPattern(next.data, 32, 2);

    card.engine.pause();
    vq_faults.signalPending = bySignal ? 1 : 0;
    EXPECT_EQ(writeCard(channel, left, 0, 32, 0x100), bySignal ? VQ_EINTERRUPTED : -ETIMEDOUT);
    EXPECT_EQ(channel->NumberOfUsedSrcElements, 1u);
    card.engine.resume();
    channel->TransferTimeoutMs = 5000;
    EXPECT_EQ(writeCard(channel, next, 0, 32, 0x200), 32);
    EXPECT_EQ(std::memcmp(card.engine.cardMemory() + 0x100, left.data, 32), 0);
    EXPECT_EQ(std::memcmp(card.engine.cardMemory() + 0x200, next.data, 32), 0);
    ReapAbandonedTransfers(channel);
    EXPECT_TRUE(list_empty(&channel->AbandonedList));
  }
}

// Stopping the channel ends the transfers in flight and those waiting for room as failed.
TEST(Transfer, CancelEndsProgrammedAndWaitingTransfers) {
  FaultScope faults;
  SimulatedCard card(Generation::second, 1, {0}, 4, 4);
  DMA_CHANNEL_EXTENSION* channel = card.open(0);
  card.engine.pause();
  HostBuffer first(3), second(3);
  long firstResult = 0, secondResult = 0;
  std::thread a([&] { firstResult = writeCard(channel, first, 0, 3 * PAGE_SIZE, 0); });
  auto programmed = [channel] {
    unsigned long flags = vq_spin_lock(&channel->DMAEngSemaphore);
    bool any = !list_empty(&channel->DMATransactionList);
    vq_spin_unlock(&channel->DMAEngSemaphore, flags);
    return any;
  };
  while (!programmed())
    std::this_thread::yield();
  std::thread b([&] { secondResult = writeCard(channel, second, 0, 3 * PAGE_SIZE, 0x8000); });
  for (;;) {
    unsigned long flags = vq_spin_lock(&channel->DMAEngSemaphore);
    bool waiting = !list_empty(&channel->DMAWaitList);
    vq_spin_unlock(&channel->DMAEngSemaphore, flags);
    if (waiting)
      break;
    std::this_thread::yield();
  }
  StopDMAChannel(channel);
  CancelDmaTransactions(channel);
  a.join();
  b.join();
  EXPECT_EQ(firstResult, -EIO);
  EXPECT_EQ(secondResult, -EIO);
}

} // namespace
