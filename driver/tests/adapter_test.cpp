// The module's adapters: board numbers and names, and removing an adapter while its files are still in use.
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <thread>
#include <vector>

#include "card_fixture.hpp"

namespace {

using Generation = EngineSimulator::Generation;
using namespace std::chrono_literals;

// Adapters on a list, in the order of their probes.
struct AdapterList {
  explicit AdapterList(const std::vector<int>& numbers) : adapters(numbers.size()) {
    INIT_LIST_HEAD(&list);
    for (std::size_t i = 0; i < numbers.size(); ++i) {
      adapters[i].BoardNumber = static_cast<u8>(numbers[i]);
      list_add_tail(&adapters[i].AdapterLink, &list);
    }
  }
  void remove(int number) {
    for (DEVICE_EXTENSION& adapter : adapters)
      if (adapter.BoardNumber == number)
        list_del_init(&adapter.AdapterLink);
  }
  struct list_head list;
  std::vector<DEVICE_EXTENSION> adapters;
};

TEST(Adapter, BoardNumberFollowsTheLastAdapter) {
  struct Row {
    const char* name;
    std::vector<int> probed;
    int removed;
    int next;
  };
  for (const Row& row : {Row{"first card", {}, -1, 0}, Row{"second card", {0}, -1, 1},
                         Row{"last one removed: its number again", {0, 1}, 1, 1},
                         Row{"another one removed: on from the last", {0, 1, 2}, 1, 3},
                         Row{"after 255 comes 0", {7, 255}, -1, 0},
                         Row{"a number still in use is refused", {0, 255}, -1, -EBUSY}}) {
    SCOPED_TRACE(row.name);
    AdapterList adapters(row.probed);
    adapters.remove(row.removed);
    EXPECT_EQ(VortaqNextBoardNumber(&adapters.list), row.next);
  }
}

TEST(Adapter, NameAndLookUpByDevice) {
  AdapterList adapters({0, 1});
  VortaqNameAdapter(&adapters.adapters[1], 255);
  EXPECT_STREQ(adapters.adapters[1].Name, "Pxi95xx255");
  EXPECT_EQ(adapters.adapters[1].BoardNumber, 255);
  VortaqNameAdapter(&adapters.adapters[0], 0);
  EXPECT_STREQ(adapters.adapters[0].Name, "Pxi95xx0");

  vq_pci_dev first{}, second{}, other{};
  adapters.adapters[0].pPciDev = &first;
  adapters.adapters[1].pPciDev = &second;
  EXPECT_EQ(VortaqFindAdapter(&adapters.list, &second), &adapters.adapters[1]);
  EXPECT_EQ(VortaqFindAdapter(&adapters.list, &other), nullptr); // a card whose probe failed
}

bool returnsSoon(std::future<long>& result) { return result.wait_for(2s) == std::future_status::ready; }

// Removal with a read waiting for the engine and a message-answer wait of a minute: both return at once, the
// engines are stopped, nothing new starts, and the closes that the removal of the files runs touch no hardware.
TEST(AdapterRemoval, WaitersReturnAtOnceAndClosesLeaveTheHardwareAlone) {
  FaultScope faults;
  SimulatedCard card(Generation::second, 2, {0, 1});
  DMA_CHANNEL_EXTENSION* answers = card.adapter->pDMAChExt[0];
  DMA_CHANNEL_EXTENSION* data = card.adapter->pDMAChExt[1];
  ASSERT_EQ(VortaqDMAOpen(answers), 0);
  ASSERT_EQ(VortaqDMAOpen(data), 0);
  card.engine.pause();
  HostBuffer buffer(1);
  std::future<long> read = std::async(std::launch::async, [&] {
    return VortaqTransfer(data, buffer.address(), 64, 0, XFER_CARD_TO_HOST);
  });
  std::uint32_t minute = 60000;
  std::future<long> answer = std::async(std::launch::async, [&] {
    return VortaqDMAIOCtl(answers, VORTAQ_WAIT_MSG_ANSWER, reinterpret_cast<std::uintptr_t>(&minute));
  });
  for (;;) {
    unsigned long flags = vq_spin_lock(&data->DMAEngSemaphore);
    bool programmed = !list_empty(&data->DMATransactionList);
    vq_spin_unlock(&data->DMAEngSemaphore, flags);
    if (programmed)
      break;
    std::this_thread::sleep_for(1ms);
  }

  VortaqQuiesceAdapter(card.adapter.get());
  ASSERT_TRUE(returnsSoon(read));
  ASSERT_TRUE(returnsSoon(answer));
  EXPECT_EQ(read.get(), -EIO);
  EXPECT_EQ(answer.get(), -ENODEV);
  for (std::uint32_t index : {0u, 1u}) {
    EXPECT_EQ(card.engine.read32(index, V2_DMA_CONTROL) & V2_DMA_ENABLE, 0u);
    EXPECT_EQ(card.engine.read32(index, V2_PCIE_INT_CONTROL) & 7u, 0u);
  }

  EXPECT_EQ(VortaqTransfer(data, buffer.address(), 64, 0, XFER_CARD_TO_HOST), -ENODEV);
  EXPECT_EQ(VortaqDMAIOCtl(answers, VORTAQ_WAIT_MSG_ANSWER, reinterpret_cast<std::uintptr_t>(&minute)), -ENODEV);
  SETUP_CHANNEL_STRUCT setup{1, VORTAQ_ALLOCATION_MODE_FIFO, 1, 0, 0, 0, 2 * PAGE_SIZE, 0, buffer.address()};
  EXPECT_EQ(SetupChannelIOCtlHandler(data, &setup), -EBUSY);

  VortaqDMAClose(answers);
  VortaqDMAClose(data);
  EXPECT_EQ(VortaqDMAOpen(data), -EBUSY);
  for (std::uint32_t index : {0u, 1u})
    EXPECT_EQ(card.engine.read32(index, V2_DMA_CONTROL) & V2_DMA_ENABLE, 0u);
}

// A FIFO buffer and a buffer pinned for the card stay pinned until the adapter's channels are freed, after the
// engines stopped; a channel being removed is not started again on the way.
TEST(AdapterRemoval, PinnedBuffersAreReleasedWithTheChannels) {
  FaultScope faults;
  SimulatedCard card(Generation::second, 1, {0});
  DMA_CHANNEL_EXTENSION* channel = card.adapter->pDMAChExt[0];
  ASSERT_EQ(VortaqDMAOpen(channel), 0);
  HostBuffer fifo(2), pinned(2);
  SETUP_CHANNEL_STRUCT setup{0, VORTAQ_ALLOCATION_MODE_FIFO, 1, 0, 0, 0, 2 * PAGE_SIZE, 0, fifo.address()};
  ASSERT_EQ(SetupChannelIOCtlHandler(channel, &setup), 0);
  GET_DMA_MEM pin{};
  pin.ChannelNum = 2;
  pin.Length = 2 * PAGE_SIZE;
  pin.BufferUser_VA = pinned.address();
  ASSERT_EQ(VortaqIOCtl(card.adapter.get(), VORTAQ_ALLOC_DMA_MEM, reinterpret_cast<std::uintptr_t>(&pin)), 0);

  VortaqQuiesceAdapter(card.adapter.get());
  std::vector<std::uint8_t> storage(sizeof(FIFO_S2C_STRUCT) + sizeof(FIFOS2C_ENTRY_STRUCT));
  auto* send = reinterpret_cast<FIFO_S2C_STRUCT*>(storage.data());
  send->NumEntries = 1;
  send->Entries[0] = {0, 16};
  EXPECT_EQ(FIFOs2cIOCtlHandler(channel, send), -ENODEV);
  VortaqDMAClose(channel);
  EXPECT_EQ(channel->DMAMode, static_cast<std::uint32_t>(DMA_MODE_FIFO)); // its buffer goes with the channel
  card.engine.stop();
  VortaqDmaRelease(card.adapter.get());
  EXPECT_EQ(card.adapter->pDMAChExt[0], nullptr);
  EXPECT_EQ(card.adapter->pDmaXfer[2], nullptr);
  EXPECT_EQ(card.engine.read32(0, V2_DMA_CONTROL) & V2_DMA_ENABLE, 0u);
}

} // namespace
