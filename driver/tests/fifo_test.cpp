// FIFO mode: pieces of one pinned buffer sent to the card's stream or collected from it.
#include <gtest/gtest.h>


#include "card_fixture.hpp"

namespace {

using Generation = EngineSimulator::Generation;

// A request record with its entries behind it.
template <typename Record, typename Entry> struct Request {
  explicit Request(std::size_t entries) : storage(sizeof(Record) + entries * sizeof(Entry)) {}
  Record* operator->() { return reinterpret_cast<Record*>(storage.data()); }
  Record* get() { return reinterpret_cast<Record*>(storage.data()); }
  std::vector<std::uint8_t> storage;
};
using SendRequest = Request<FIFO_S2C_STRUCT, FIFOS2C_ENTRY_STRUCT>;
using CollectRequest = Request<FIFO_C2S_STRUCT, FIFOC2S_ENTRY_STRUCT>;

SETUP_CHANNEL_STRUCT setupRecord(std::uint32_t channel, std::uint32_t direction, const HostBuffer& buffer,
                                 std::uint32_t length) {
  SETUP_CHANNEL_STRUCT setup{};
  setup.ChannelNum = channel;
  setup.AllocationMode = VORTAQ_ALLOCATION_MODE_FIFO;
  setup.Direction = direction;
  setup.Length = length;
  setup.BufferAddress = buffer.address();
  return setup;
}

constexpr std::uint32_t kToCard = 1;
constexpr std::uint32_t kToHost = VORTAQ_FIFO_CARD_TO_HOST;

std::uint32_t status31(int code) { return static_cast<std::uint32_t>(code) & VORTAQ_FIFO_STATUS_MASK; }

TEST(Fifo, SetupAndShutdownRefusals) {
  FaultScope faults;
  HostBuffer buffer(4);
  SimulatedCard card(Generation::second, 2, {0, 1});
  DMA_CHANNEL_EXTENSION* channel = card.open(1);

  SETUP_CHANNEL_STRUCT setup = setupRecord(0, kToCard, buffer, 4 * PAGE_SIZE);
  EXPECT_EQ(SetupChannelIOCtlHandler(channel, &setup), -ENODEV);
  setup = setupRecord(1, kToCard, buffer, 4 * PAGE_SIZE);
  setup.AllocationMode = 1;
  EXPECT_EQ(SetupChannelIOCtlHandler(channel, &setup), -EINVAL);
  EXPECT_EQ(setup.Length, 0u);
  setup = setupRecord(1, kToCard, buffer, 100);
  setup.BufferAddress += 8;
  EXPECT_EQ(SetupChannelIOCtlHandler(channel, &setup), -EINVAL);
  setup = setupRecord(1, kToHost, buffer, PAGE_SIZE); // one page from the card cannot circulate
  EXPECT_EQ(SetupChannelIOCtlHandler(channel, &setup), -EMSGSIZE);
  EXPECT_EQ(channel->DMAMode, static_cast<std::uint32_t>(DMA_MODE_NOT_SET));
  vq_faults.failPin = 1;
  setup = setupRecord(1, kToCard, buffer, 2 * PAGE_SIZE);
  EXPECT_EQ(SetupChannelIOCtlHandler(channel, &setup), -ENOMEM);

  SHUTDOWN_CHANNEL_STRUCT shutdown{1, VORTAQ_ALLOCATION_MODE_FIFO};
  EXPECT_EQ(ShutdownChannelIOCtlHandler(channel, &shutdown), -ENOBUFS);
  setup = setupRecord(1, kToCard, buffer, 2 * PAGE_SIZE);
  ASSERT_EQ(SetupChannelIOCtlHandler(channel, &setup), 0);
  EXPECT_EQ(SetupChannelIOCtlHandler(channel, &setup), -EBUSY); // the first buffer stays pinned, not leaked
  EXPECT_EQ(VortaqTransfer(channel, buffer.address(), 16, 0, XFER_HOST_TO_CARD), -EBUSY);
  shutdown.AllocationMode = 1;
  EXPECT_EQ(ShutdownChannelIOCtlHandler(channel, &shutdown), -EINVAL);
  shutdown = {0, VORTAQ_ALLOCATION_MODE_FIFO};
  EXPECT_EQ(ShutdownChannelIOCtlHandler(channel, &shutdown), -ENOSYS);
  shutdown.ChannelNum = 1;
  EXPECT_EQ(ShutdownChannelIOCtlHandler(channel, &shutdown), 0);
}

TEST(Fifo, FirstGenerationHasNoFifoMode) {
  HostBuffer buffer(2);
  SimulatedCard card(Generation::first, 1, {0});
  DMA_CHANNEL_EXTENSION* channel = card.open(0);
  SETUP_CHANNEL_STRUCT setup = setupRecord(0, kToCard, buffer, 2 * PAGE_SIZE);
  EXPECT_EQ(SetupChannelIOCtlHandler(channel, &setup), -ENOSYS);
  SendRequest send(1);
  send->NumEntries = 1;
  EXPECT_EQ(FIFOs2cIOCtlHandler(channel, send.get()), -ENOSYS);
}

TEST(Fifo, PiecesGoToTheCardInOrder) {
  FaultScope faults;
  HostBuffer buffer(3);
  SimulatedCard card(Generation::second, 1, {0});
  DMA_CHANNEL_EXTENSION* channel = card.open(0);
  for (std::size_t i = 0; i < buffer.bytes; ++i)
    buffer.data[i] = static_cast<std::uint8_t>(i * 13 + 5);
  SETUP_CHANNEL_STRUCT setup = setupRecord(0, kToCard, buffer, 3 * PAGE_SIZE - 100);
  ASSERT_EQ(SetupChannelIOCtlHandler(channel, &setup), 0);
  EXPECT_EQ(channel->NumberOfSrcElements, 3u);

  // A piece inside page 0, one across the end of page 0, one in the short last page.
  SendRequest send(3);
  send->ChannelNum = 0;
  send->NumEntries = 3;
  send->TransactionStatus = VORTAQ_FIFO_WAIT_FOR_INTERRUPT;
  send->Entries[0] = {0, 100};
  send->Entries[1] = {4000, 300};
  send->Entries[2] = {2 * PAGE_SIZE + 10, PAGE_SIZE - 110};
  ASSERT_EQ(FIFOs2cIOCtlHandler(channel, send.get()), 0);
  // The ring of three holds two elements: the first piece and half the second fit, then the ring is full.
  EXPECT_EQ(send->NumEntriesSent, 1u);
  EXPECT_EQ(send->TransactionStatus, VORTAQ_FIFO_WAIT_FOR_INTERRUPT | status31(-ENOBUFS));

  std::vector<std::uint8_t> expected(buffer.data, buffer.data + 100);
  for (const FIFOS2C_ENTRY_STRUCT& piece : {send->Entries[1], send->Entries[2]}) {
    SendRequest next(1);
    next->NumEntries = 1;
    next->TransactionStatus = VORTAQ_FIFO_WAIT_FOR_INTERRUPT;
    next->Entries[0] = piece;
    ASSERT_EQ(FIFOs2cIOCtlHandler(channel, next.get()), 0);
    EXPECT_EQ(next->NumEntriesSent, 1u);
    EXPECT_EQ(next->LastTransactionStatus, 0u);
    EXPECT_EQ(next->TransactionStatus, VORTAQ_FIFO_WAIT_FOR_INTERRUPT);
    expected.insert(expected.end(), buffer.data + piece.Offset, buffer.data + piece.Offset + piece.Length);
  }
  std::vector<std::uint8_t> sent;
  for (int round = 0; round < 100 && sent.size() < expected.size(); ++round) {
    auto more = card.engine.streamFromHost();
    sent.insert(sent.end(), more.begin(), more.end());
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  EXPECT_EQ(sent.size(), expected.size());
  EXPECT_TRUE(sent == expected);
}

TEST(Fifo, PiecesOutsideTheBufferAreRefused) {
  FaultScope faults;
  constexpr std::uint32_t kLength = 12 * PAGE_SIZE;
  HostBuffer buffer(12);
  SimulatedCard card(Generation::second, 1, {0});
  DMA_CHANNEL_EXTENSION* channel = card.open(0);
  SETUP_CHANNEL_STRUCT setup = setupRecord(0, kToCard, buffer, kLength);
  ASSERT_EQ(SetupChannelIOCtlHandler(channel, &setup), 0);
  struct Row {
    const char* name;
    FIFOS2C_ENTRY_STRUCT piece;
  };
  for (const Row& row : {Row{"empty", {16, 0}}, Row{"beyond the end", {kLength, 1}},
                         Row{"over the end", {kLength - 8, 16}}, Row{"wrapping length", {8, 0xFFFFFFFFu}}}) {
    SCOPED_TRACE(row.name);
    SendRequest send(2);
    send->NumEntries = 2;
    send->Entries[0] = {0, 8};
    send->Entries[1] = row.piece;
    ASSERT_EQ(FIFOs2cIOCtlHandler(channel, send.get()), 0);
    EXPECT_EQ(send->NumEntriesSent, 1u);
    EXPECT_EQ(send->TransactionStatus, status31(-EINVAL));
  }
}

// Collects until `wanted` pieces arrived or the attempts run out.
std::vector<FIFOC2S_ENTRY_STRUCT> collect(DMA_CHANNEL_EXTENSION* channel, std::size_t wanted, int attempts = 50) {
  std::vector<FIFOC2S_ENTRY_STRUCT> pieces;
  for (int attempt = 0; attempt < attempts && pieces.size() < wanted; ++attempt) {
    CollectRequest request(4);
    request->AvailNumEntries = 4;
    request->ReleaseCount = VORTAQ_FIFO_WAIT_FOR_INTERRUPT;
    EXPECT_EQ(FIFOc2sIOCtlHandler(channel, request.get()), 0);
    pieces.insert(pieces.end(), request->Entries, request->Entries + request->RetNumEntries);
  }
  return pieces;
}

TEST(Fifo, PiecesFromTheCardAreCollectedAndReleased) {
  FaultScope faults;
  HostBuffer buffer(4);
  SimulatedCard card(Generation::second, 1, {0});
  DMA_CHANNEL_EXTENSION* channel = card.open(0);
  channel->FifoWaitMs = 20;
  SETUP_CHANNEL_STRUCT setup = setupRecord(0, kToHost, buffer, 4 * PAGE_SIZE);
  ASSERT_EQ(SetupChannelIOCtlHandler(channel, &setup), 0);

  std::vector<std::uint8_t> small(100, 0x11), large(5000);
  for (std::size_t i = 0; i < large.size(); ++i)
    large[i] = static_cast<std::uint8_t>(i * 3);
  card.engine.streamToHost(small);
  card.engine.streamToHost(large);
  auto pieces = collect(channel, 2);
  ASSERT_EQ(pieces.size(), 2u);
  EXPECT_EQ(pieces[0].Offset, 0u);
  EXPECT_EQ(pieces[0].Length, 100u);
  EXPECT_EQ(pieces[0].NumberElements, 1u);
  EXPECT_EQ(pieces[0].UserHandle, 1u);
  EXPECT_EQ(pieces[1].Offset, PAGE_SIZE);
  EXPECT_EQ(pieces[1].Length, 5000u);
  EXPECT_EQ(pieces[1].NumberElements, 2u);
  EXPECT_EQ(pieces[1].UserHandle, 3u);
  EXPECT_EQ(std::memcmp(buffer.data, small.data(), small.size()), 0);
  EXPECT_EQ(std::memcmp(buffer.data + PAGE_SIZE, large.data(), large.size()), 0);

  // The ring of four is spent (three elements lent to the engine, all three read): nothing more arrives until
  // the caller gives the elements back.
  card.engine.streamToHost(std::vector<std::uint8_t>(50, 0x22));
  EXPECT_TRUE(collect(channel, 1, 3).empty());
  CollectRequest release(1);
  release->AvailNumEntries = 1;
  release->ReleaseCount = 4;
  EXPECT_EQ(FIFOc2sIOCtlHandler(channel, release.get()), -ENOSYS);
  release->ReleaseCount = 3;
  EXPECT_EQ(FIFOc2sIOCtlHandler(channel, release.get()), 0); // may already collect the new piece
  std::vector<FIFOC2S_ENTRY_STRUCT> after(release->Entries, release->Entries + release->RetNumEntries);
  if (after.empty())
    after = collect(channel, 1);
  ASSERT_EQ(after.size(), 1u);
  EXPECT_EQ(after[0].Length, 50u);
  EXPECT_EQ(after[0].Offset, 3 * PAGE_SIZE);
}

TEST(Fifo, StatusWithoutHandlesEndsTheRequest) {
  FaultScope faults;
  HostBuffer buffer(4);
  SimulatedCard card(Generation::second, 1, {0});
  DMA_CHANNEL_EXTENSION* channel = card.open(0);
  SETUP_CHANNEL_STRUCT setup = setupRecord(0, kToHost, buffer, 4 * PAGE_SIZE);
  ASSERT_EQ(SetupChannelIOCtlHandler(channel, &setup), 0);
  struct Row {
    const char* name;
    STATUS_ELEMENT64_STRUCT element;
  };
  for (const Row& row : {Row{"no handles", {STAT_COMPLETED, 1, 0}},
                         Row{"handle beyond the ring", {STAT_COMPLETED | STAT_UPPER_STAT_NZ, 9, 0}}}) {
    SCOPED_TRACE(row.name);
    std::memcpy(channel->pStatElementBase, &row.element, sizeof(row.element));
    CollectRequest request(2);
    request->AvailNumEntries = 2;
    EXPECT_EQ(FIFOc2sIOCtlHandler(channel, request.get()), -ENOSYS);
    EXPECT_EQ(channel->NumberOfUsedDstElements, 0u);
  }
}

TEST(Fifo, WaitWithoutCompletionEndsAfterTheFifoWait) {
  FaultScope faults;
  HostBuffer buffer(2);
  SimulatedCard card(Generation::second, 1, {0});
  DMA_CHANNEL_EXTENSION* channel = card.open(0);
  channel->FifoWaitMs = 30;
  SETUP_CHANNEL_STRUCT setup = setupRecord(0, kToHost, buffer, 2 * PAGE_SIZE);
  ASSERT_EQ(SetupChannelIOCtlHandler(channel, &setup), 0);
  CollectRequest request(1);
  request->AvailNumEntries = 1;
  request->ReleaseCount = VORTAQ_FIFO_WAIT_FOR_INTERRUPT;
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(FIFOc2sIOCtlHandler(channel, request.get()), 0);
  auto waited = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(request->RetNumEntries, 0u);
  EXPECT_GE(waited, std::chrono::milliseconds(25));
  EXPECT_LT(waited, std::chrono::milliseconds(1000));
}

// Leaving FIFO mode gives the channel its addressed-mode rings back at their full size.
TEST(Fifo, ShutdownRestoresAddressedMode) {
  FaultScope faults;
  HostBuffer buffer(7);
  SimulatedCard card(Generation::second, 1, {0}, 8, 8);
  DMA_CHANNEL_EXTENSION* channel = card.open(0);
  for (std::uint32_t direction : {kToCard, kToHost}) {
    SCOPED_TRACE(direction);
    SETUP_CHANNEL_STRUCT setup = setupRecord(0, direction, buffer, 3 * PAGE_SIZE);
    ASSERT_EQ(SetupChannelIOCtlHandler(channel, &setup), 0);
    SHUTDOWN_CHANNEL_STRUCT shutdown{0, VORTAQ_ALLOCATION_MODE_FIFO};
    ASSERT_EQ(ShutdownChannelIOCtlHandler(channel, &shutdown), 0);
    EXPECT_EQ(channel->NumberOfSrcElements, 8u);
    EXPECT_EQ(channel->NumberOfDstElements, 8u);
    EXPECT_EQ(VortaqTransfer(channel, buffer.address(), 7 * PAGE_SIZE, 0, XFER_HOST_TO_CARD),
              static_cast<long>(7 * PAGE_SIZE));
  }
}

} // namespace
