// Control requests on the device file and on a channel file, with hostile records.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "card_fixture.hpp"

namespace {

using Generation = EngineSimulator::Generation;

template <typename Record> std::uint64_t address(Record& record) { return reinterpret_cast<std::uintptr_t>(&record); }

struct ControlRequests : ::testing::Test {
  FaultScope faults;
  SimulatedCard card{Generation::second, 2, {0, 1}};
  DEVICE_EXTENSION* adapter = card.adapter.get();
};

TEST_F(ControlRequests, BarReadsAndWritesStayInsideTheBar) {
  for (std::size_t i = 0; i < card.bar1.size(); ++i)
    card.bar1[i] = static_cast<std::uint8_t>(i);
  std::uint8_t buffer[16] = {};
  std::uint32_t status = 0;
  const std::uint64_t huge = ~0ull - 0xFF;
  struct Row {
    const char* name;
    MEM_COPY_STRUCT record;
    long result;
  };
  const Row rows[] = {
      {"six bytes at an even offset", {1, 0, 2, 6, address(buffer)}, 0},
      {"registers of BAR0", {0, 0, V2_DMA_STATUS, 4, address(status)}, 0},
      {"BAR past the table", {6, 0, 0, 4, address(buffer)}, -EINVAL},
      {"BAR not mapped", {2, 0, 0, 4, address(buffer)}, -EINVAL},
      {"no bytes", {1, 0, 0, 0, address(buffer)}, -EINVAL},
      {"past the end", {1, 0, SimulatedCard::kBar1Length - 4, 8, address(buffer)}, -EINVAL},
      {"offset that wraps", {1, 0, huge, 0x200, address(buffer)}, -EINVAL},
      {"length that wraps", {1, 0, 8, ~0ull - 3, address(buffer)}, -EINVAL},
      {"buffer the caller does not own", {1, 0, 0, 4, 0}, -EFAULT},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    MEM_COPY_STRUCT record = row.record;
    EXPECT_EQ(VortaqIOCtl(adapter, VORTAQ_READ_BAR, address(record)), row.result);
  }
  EXPECT_EQ(buffer[0], 2);
  EXPECT_EQ(buffer[5], 7);
  EXPECT_EQ(status, V2_DMA_PRESENT);

  const std::uint8_t odd[5] = {0xA1, 0xA2, 0xA3, 0xA4, 0xA5};
  MEM_COPY_STRUCT write{1, 0, 7, sizeof(odd), reinterpret_cast<std::uintptr_t>(odd)};
  vq_faults.notAdmin = true;
  EXPECT_EQ(VortaqIOCtl(adapter, VORTAQ_WRITE_BAR, address(write)), -EPERM);
  vq_faults.notAdmin = false;
  EXPECT_EQ(VortaqIOCtl(adapter, VORTAQ_WRITE_BAR, address(write)), 0);
  EXPECT_EQ(std::memcmp(card.bar1.data() + 7, odd, sizeof(odd)), 0);
  EXPECT_EQ(card.bar1[6], 6);
  EXPECT_EQ(card.bar1[12], 12);

  // A 64-bit BAR0 makes every BAR take two slots: BAR 1 is slot 2, BAR 3 would be slot 6.
  adapter->BoardConfig.PciConfig.BarCfg[0] |= 4;
  MEM_COPY_STRUCT beyond{3, 0, 0, 4, address(buffer)};
  EXPECT_EQ(VortaqIOCtl(adapter, VORTAQ_READ_BAR, address(beyond)), -EINVAL);
}

TEST_F(ControlRequests, ConfigurationSpaceWithinItsSize) {
  std::uint8_t buffer[8] = {};
  struct Row {
    const char* name;
    RW_PCI_CONFIG_STRUCT record;
    long result;
  };
  const Row rows[] = {
      {"identity", {0, 4, address(buffer)}, 0},
      {"no bytes", {0, 0, address(buffer)}, -EINVAL},
      {"over the end", {4095, 2, address(buffer)}, -EINVAL},
      {"offset that wraps with the length", {0xFFFFFFFFu, 2, address(buffer)}, -EINVAL},
      {"more than the space", {0, 0x10000, address(buffer)}, -EINVAL},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    RW_PCI_CONFIG_STRUCT record = row.record;
    EXPECT_EQ(VortaqIOCtl(adapter, VORTAQ_READ_PCI_CONFIG, address(record)), row.result);
  }
  EXPECT_EQ(buffer[0] | buffer[1] << 8, VORTAQ_CARD_VENDOR_ID);
  EXPECT_EQ(buffer[2] | buffer[3] << 8, VORTAQ_CARD_DEVICE_ID_A);

  std::uint8_t value = 0x5A;
  RW_PCI_CONFIG_STRUCT write{0x40, 1, address(value)};
  vq_faults.notAdmin = true;
  EXPECT_EQ(VortaqIOCtl(adapter, VORTAQ_WRITE_PCI_CONFIG, address(write)), -EPERM);
  vq_faults.notAdmin = false;
  EXPECT_EQ(VortaqIOCtl(adapter, VORTAQ_WRITE_PCI_CONFIG, address(write)), 0);
  EXPECT_EQ(card.pci->config[0x40], 0x5A);
}

TEST_F(ControlRequests, BoardConfigurationAndBarTable) {
  BOARD_CONFIG_STRUCT config{};
  ASSERT_EQ(VortaqIOCtl(adapter, VORTAQ_GET_BOARD_CONFIG, address(config)), 0);
  EXPECT_EQ(config.PciConfig.DeviceId, VORTAQ_CARD_DEVICE_ID_A);
  EXPECT_EQ(config.NumDmaChannels, 2u);
  EXPECT_EQ(config.DriverVersionMajor, 2019);
  EXPECT_EQ(config.DriverVersionMinor, 1);
  EXPECT_EQ(config.DriverVersionSubMinor, 9);
  EXPECT_EQ(config.DriverVersionBuildNumber, 1);

  QORPXI95XX_BARMEM_INFO info;
  std::memset(&info, 0xEE, sizeof(info));
  ASSERT_EQ(VortaqIOCtl(adapter, VORTAQ_GET_BARMEM_INFO, address(info)), 0);
  EXPECT_EQ(info.BarType[0], BAR_TYPE_DMA_REGISTERS);
  EXPECT_EQ(info.BarType[1], BAR_TYPE_MEMORY);
  EXPECT_EQ(info.BarType[2], BAR_TYPE_UNUSABLE);
  std::uint64_t physical = info.BarPhysicalAddress[1];
  std::uint32_t length = info.BarLength[1];
  EXPECT_EQ(physical, SimulatedCard::kBar1Address);
  EXPECT_EQ(length, SimulatedCard::kBar1Length);
  for (int i = 0; i < 6; ++i) {
    std::uint64_t kernelAddress = info.BarVirtualAddress[i];
    EXPECT_EQ(kernelAddress, 0u) << i;
  }
}

TEST_F(ControlRequests, PinnedBufferAndItsPageTable) {
  std::vector<std::uint8_t> memory(5 * PAGE_SIZE);
  const std::uint64_t start = (reinterpret_cast<std::uintptr_t>(memory.data()) + PAGE_SIZE - 1) / PAGE_SIZE * PAGE_SIZE;
  GET_DMA_MEM pin{};
  pin.ChannelNum = 4;
  pin.Length = 3 * PAGE_SIZE;
  pin.BufferUser_VA = start + 100;
  EXPECT_EQ(VortaqIOCtl(adapter, VORTAQ_ALLOC_DMA_MEM, address(pin)), -EBADR);
  pin.ChannelNum = 1;
  pin.Length = 0;
  EXPECT_EQ(VortaqIOCtl(adapter, VORTAQ_ALLOC_DMA_MEM, address(pin)), -EINVAL);
  pin.Length = 3 * PAGE_SIZE;
  ASSERT_EQ(VortaqIOCtl(adapter, VORTAQ_ALLOC_DMA_MEM, address(pin)), 0);
  EXPECT_EQ(pin.NumPages, 4u);
  EXPECT_EQ(pin.BufferSize, 4 * PAGE_SIZE);

  std::vector<std::uint8_t> table(sizeof(GET_SGL) + 4 * sizeof(SG_ENTRY), 0x77);
  auto* header = reinterpret_cast<GET_SGL*>(table.data());
  header->ChannelNum = 1;
  header->NumPages = 3;
  const std::vector<std::uint8_t> before = table;
  EXPECT_EQ(VortaqIOCtl(adapter, VORTAQ_GET_PAGE_TABLE, address(*header)), -EFAULT);
  EXPECT_TRUE(table == before);
  header->NumPages = 4;
  ASSERT_EQ(VortaqIOCtl(adapter, VORTAQ_GET_PAGE_TABLE, address(*header)), 0);
  const auto* entries = reinterpret_cast<const SG_ENTRY*>(table.data());
  EXPECT_EQ(entries[0].LogicalAddress, start + 100);
  EXPECT_EQ(entries[0].Size, PAGE_SIZE - 100);
  EXPECT_EQ(entries[3].LogicalAddress, start + 3 * PAGE_SIZE);
  EXPECT_EQ(entries[3].Size, 100u);

  std::uint32_t channel = 4;
  EXPECT_EQ(VortaqIOCtl(adapter, VORTAQ_RELEASE_DMA_MEM, address(channel)), -EBADR);
  channel = 1;
  EXPECT_EQ(VortaqIOCtl(adapter, VORTAQ_RELEASE_DMA_MEM, address(channel)), 0);
  EXPECT_EQ(VortaqIOCtl(adapter, VORTAQ_RELEASE_DMA_MEM, address(channel)), 0);
  header->ChannelNum = 1;
  header->NumPages = 4;
  EXPECT_EQ(VortaqIOCtl(adapter, VORTAQ_GET_PAGE_TABLE, address(*header)), -EFAULT);
}

TEST_F(ControlRequests, RequestNumbersAndArguments) {
  std::uint32_t word = 0;
  EXPECT_EQ(VortaqIOCtl(adapter, VORTAQ_NO_OPERATION, address(word)), 0);
  EXPECT_EQ(VortaqIOCtl(adapter, 2305, address(word)), -ENOTTY);
  EXPECT_EQ(VortaqIOCtl(adapter, VORTAQ_GET_CHANNEL_STATS, address(word)), -ENOTTY);
  EXPECT_EQ(VortaqIOCtl(adapter, VORTAQ_GET_BOARD_CONFIG, 0), -EINVAL);

  DMA_CHANNEL_EXTENSION* channel = adapter->pDMAChExt[1];
  EXPECT_EQ(VortaqDMAIOCtl(channel, VORTAQ_GET_CHANNEL_STATS, address(word)), -ENOSYS); // not open
  card.open(1);
  EXPECT_EQ(VortaqDMAIOCtl(channel, VORTAQ_GET_CHANNEL_STATS, 0), -EINVAL);
  EXPECT_EQ(VortaqDMAIOCtl(channel, VORTAQ_ALLOC_DMA_MEM, address(word)), -ENOTTY);
  EXPECT_EQ(VortaqDMAIOCtl(channel, 9999, address(word)), -ENOTTY);
}

TEST_F(ControlRequests, StatisticsAreCountsSinceTheLastRequest) {
  DMA_CHANNEL_EXTENSION* channel = card.open(0);
  std::vector<std::uint8_t> buffer(64, 1);
  ASSERT_EQ(VortaqTransfer(channel, reinterpret_cast<std::uintptr_t>(buffer.data()), 64, 0, XFER_HOST_TO_CARD), 64);
  CHANNEL_STAT_STRUCT stats{};
  ASSERT_EQ(VortaqDMAIOCtl(channel, VORTAQ_GET_CHANNEL_STATS, address(stats)), 0);
  EXPECT_EQ(stats.RequestCount, 1u);
  EXPECT_GE(stats.DPCsPerSecond, 1u);
  ASSERT_EQ(VortaqDMAIOCtl(channel, VORTAQ_GET_CHANNEL_STATS, address(stats)), 0);
  EXPECT_EQ(stats.RequestCount, 0u);
  EXPECT_EQ(stats.DPCsPerSecond, 0u);
}

// The entry count sizes the copy; a count that changes between its two reads must not size the handler's loop.
struct CountChanger {
  std::uint16_t* count;
  int copies = 0;
  static void afterCopy(void* context) {
    auto* self = static_cast<CountChanger*>(context);
    if (++self->copies == 1)
      *self->count = VORTAQ_FIFO_MAX_ENTRIES;
  }
};

TEST_F(ControlRequests, FifoRecordsAreCheckedAsCopied) {
  DMA_CHANNEL_EXTENSION* channel = card.open(1);
  std::vector<std::uint8_t> storage(sizeof(FIFO_C2S_STRUCT) + 2 * sizeof(FIFOC2S_ENTRY_STRUCT));
  auto* collect = reinterpret_cast<FIFO_C2S_STRUCT*>(storage.data());
  collect->ChannelNum = 1;
  for (std::uint16_t count : {0, 257}) {
    collect->AvailNumEntries = count;
    EXPECT_EQ(VortaqDMAIOCtl(channel, VORTAQ_FIFO_C2S, address(*collect)), -EINVAL) << count;
  }
  collect->AvailNumEntries = 2;
  collect->ChannelNum = 0;
  EXPECT_EQ(VortaqDMAIOCtl(channel, VORTAQ_FIFO_C2S, address(*collect)), -EINVAL);
  collect->ChannelNum = 1;
  EXPECT_EQ(VortaqDMAIOCtl(channel, VORTAQ_FIFO_C2S, address(*collect)), -ENOSYS); // not in FIFO mode

  CountChanger changer{&collect->AvailNumEntries};
  vq_faults.afterCopyFromUser = &CountChanger::afterCopy;
  vq_faults.afterCopyFromUserContext = &changer;
  EXPECT_EQ(VortaqDMAIOCtl(channel, VORTAQ_FIFO_C2S, address(*collect)), -EINVAL);
  vq_faults.afterCopyFromUser = nullptr;

  // Only the record's own bytes may be read: a count beyond them is a bad address, not a heap read.
  vq_faults.userBase = address(*collect);
  vq_faults.userLength = storage.size();
  collect->AvailNumEntries = 3;
  EXPECT_EQ(VortaqDMAIOCtl(channel, VORTAQ_FIFO_C2S, address(*collect)), -EFAULT);
}

TEST_F(ControlRequests, SetupThroughTheChannelFile) {
  DMA_CHANNEL_EXTENSION* channel = card.open(1);
  void* buffer = std::aligned_alloc(PAGE_SIZE, 2 * PAGE_SIZE);
  SETUP_CHANNEL_STRUCT setup{};
  setup.ChannelNum = 0;
  setup.AllocationMode = VORTAQ_ALLOCATION_MODE_FIFO;
  setup.Direction = 1;
  setup.Length = 2 * PAGE_SIZE;
  setup.BufferAddress = reinterpret_cast<std::uintptr_t>(buffer);
  EXPECT_EQ(VortaqDMAIOCtl(channel, VORTAQ_SETUP_CHANNEL, address(setup)), -EINVAL);
  setup.ChannelNum = 1;
  EXPECT_EQ(VortaqDMAIOCtl(channel, VORTAQ_SETUP_CHANNEL, address(setup)), 0);
  SHUTDOWN_CHANNEL_STRUCT shutdown{1, VORTAQ_ALLOCATION_MODE_FIFO};
  EXPECT_EQ(VortaqDMAIOCtl(channel, VORTAQ_SHUTDOWN_CHANNEL, address(shutdown)), 0);
  EXPECT_EQ(VortaqDMAIOCtl(channel, VORTAQ_SHUTDOWN_CHANNEL, address(shutdown)), -ENOBUFS);
  std::free(buffer);
}

// The message answer: noted by channel 0's interrupt, handed to the waiter by the tasklet.
void answer(DMA_CHANNEL_EXTENSION* channel) {
  unsigned long flags = vq_spin_lock(&channel->DMAEngSemaphore);
  channel->DMAMode = DMA_MODE_GE_FW_CMD;
  vq_spin_unlock(&channel->DMAEngSemaphore, flags);
  vq_tasklet_schedule(&channel->CompletionTasklet);
}

TEST_F(ControlRequests, MessageAnswerWait) {
  DMA_CHANNEL_EXTENSION* channel = card.open(0);
  std::uint32_t timeout = 0;
  EXPECT_EQ(VortaqDMAIOCtl(channel, VORTAQ_WAIT_MSG_ANSWER, address(timeout)), -ETIME);
  answer(channel);
  EXPECT_EQ(channel->DMAMode, static_cast<std::uint32_t>(DMA_MODE_NOT_SET));
  EXPECT_EQ(VortaqDMAIOCtl(channel, VORTAQ_WAIT_MSG_ANSWER, address(timeout)), 0);
  EXPECT_EQ(VortaqDMAIOCtl(channel, VORTAQ_WAIT_MSG_ANSWER, address(timeout)), -ETIME);

  // A waiter wakes as the answer arrives, long before its time-out.
  timeout = 5000;
  std::thread late([channel] {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    answer(channel);
  });
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(VortaqDMAIOCtl(channel, VORTAQ_WAIT_MSG_ANSWER, address(timeout)), 0);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1000));
  late.join();
}

} // namespace
