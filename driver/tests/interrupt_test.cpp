// Interrupts: acknowledging, counting, the message answer of channel 0, and the channels' enables.
#include <gtest/gtest.h>

#include "card_fixture.hpp"

namespace {

using Generation = EngineSimulator::Generation;

TEST(Interrupt, StatusBitsAreAcknowledgedAndCounted) {
  FaultScope faults;
  SimulatedCard card(Generation::second, 2, {0, 1});
  DMA_CHANNEL_EXTENSION* channel = card.open(1);

  EXPECT_FALSE(VortaqChannelInterrupt(channel)); // nothing raised: another device's interrupt
  card.engine.raiseStatus(1, V2_PCIE_DMA_ERROR);
  EXPECT_TRUE(VortaqChannelInterrupt(channel));
  EXPECT_EQ(card.engine.read32(1, V2_PCIE_INT_STATUS), 0u);
  EXPECT_EQ(channel->DMAErrors, 1);
  EXPECT_EQ(channel->InterruptCount, 1);
  EXPECT_EQ(channel->DPCsCount, 1);

  CHANNEL_STAT_STRUCT stats{};
  ASSERT_EQ(VortaqDMAIOCtl(channel, VORTAQ_GET_CHANNEL_STATS, reinterpret_cast<std::uintptr_t>(&stats)), 0);
  EXPECT_EQ(stats.DMAErrors, 1u);
  ASSERT_EQ(VortaqDMAIOCtl(channel, VORTAQ_GET_CHANNEL_STATS, reinterpret_cast<std::uintptr_t>(&stats)), 0);
  EXPECT_EQ(stats.DMAErrors, 0u);
}

TEST(Interrupt, SoftwareInterruptOfChannelZeroIsAMessageAnswer) {
  struct Row {
    const char* name;
    std::uint32_t channel;
    std::uint32_t mode;
    bool answered;
  };
  for (const Row& row : {Row{"channel 0", 0, DMA_MODE_NOT_SET, true}, Row{"channel 1", 1, DMA_MODE_NOT_SET, false},
                         Row{"channel 0 in FIFO mode", 0, DMA_MODE_FIFO, false}}) {
    SCOPED_TRACE(row.name);
    FaultScope faults;
    SimulatedCard card(Generation::second, 2, {0, 1});
    DMA_CHANNEL_EXTENSION* channel = card.open(row.channel);
    channel->DMAMode = row.mode;
    card.engine.raiseStatus(row.channel, V2_PCIE_SW_INT_STATUS);
    EXPECT_TRUE(VortaqChannelInterrupt(channel));
    EXPECT_EQ(channel->DMAMode, row.mode); // the tasklet consumed the note
    std::uint32_t timeout = 0;
    EXPECT_EQ(VortaqDMAIOCtl(channel, VORTAQ_WAIT_MSG_ANSWER, reinterpret_cast<std::uintptr_t>(&timeout)),
              row.answered ? 0 : -ETIME);
  }
}

// With one interrupt for all channels (MSI or a shared line) every channel is checked, and the message answer
// is noted as well: its waiter does not sit out its time-out.
TEST(Interrupt, SharedInterruptChecksEveryChannel) {
  FaultScope faults;
  SimulatedCard card(Generation::second, 4, {0, 1, 3});
  DMA_CHANNEL_EXTENSION* first = card.open(0);
  EXPECT_FALSE(VortaqAdapterInterrupt(card.adapter.get()));
  card.engine.raiseStatus(0, V2_PCIE_SW_INT_STATUS);
  card.engine.raiseStatus(3, V2_PCIE_SGL_INT);
  EXPECT_TRUE(VortaqAdapterInterrupt(card.adapter.get()));
  EXPECT_EQ(first->InterruptCount, 1);
  EXPECT_EQ(card.adapter->pDMAChExt[1]->InterruptCount, 0);
  EXPECT_EQ(card.adapter->pDMAChExt[3]->InterruptCount, 1);
  std::uint32_t timeout = 0;
  EXPECT_EQ(VortaqDMAIOCtl(first, VORTAQ_WAIT_MSG_ANSWER, reinterpret_cast<std::uintptr_t>(&timeout)), 0);
}

TEST(Interrupt, AbsentDeviceIsNotClaimed) {
  FaultScope faults;
  SimulatedCard card(Generation::second, 1, {0});
  DMA_CHANNEL_EXTENSION* channel = card.adapter->pDMAChExt[0];
  card.engine.stop();
  vq_write32(channel->Registers, V2_PCIE_INT_STATUS, 0xFFFFFFFFu);
  EXPECT_FALSE(VortaqChannelInterrupt(channel));
  EXPECT_EQ(channel->InterruptCount, 0);
}

TEST(Interrupt, FirstGenerationAcknowledgesItsStatusBit) {
  FaultScope faults;
  SimulatedCard card(Generation::first, 1, {0});
  DMA_CHANNEL_EXTENSION* channel = card.open(0);
  card.engine.raiseStatus(0, V1_PCIE_INT_STATUS);
  EXPECT_TRUE(VortaqChannelInterrupt(channel));
  EXPECT_FALSE(VortaqChannelInterrupt(channel));
  EXPECT_EQ(channel->InterruptCount, 1);
  EXPECT_EQ((card.engine.read32(0, V1_DMA_CONTROL) >> 16) & 0xFFu, V1_PCIE_INT_ENABLE);
}

// Disabling stops a second-generation engine; enabling gives back the interrupts but not the engine, which the
// channel's next initialisation starts.
TEST(Interrupt, EnablesOfEveryChannel) {
  FaultScope faults;
  SimulatedCard card(Generation::second, 2, {0, 1});
  VortaqDisableInterrupts(card.adapter.get());
  for (std::uint32_t index : {0u, 1u}) {
    EXPECT_EQ(card.engine.read32(index, V2_PCIE_INT_CONTROL) & 7u, 0u);
    EXPECT_EQ(card.engine.read32(index, V2_DMA_CONTROL) & V2_DMA_ENABLE, 0u);
  }
  VortaqEnableInterrupts(card.adapter.get());
  for (std::uint32_t index : {0u, 1u}) {
    EXPECT_EQ(card.engine.read32(index, V2_PCIE_INT_CONTROL) & 7u, 7u);
    EXPECT_EQ(card.engine.read32(index, V2_DMA_CONTROL) & V2_DMA_ENABLE, 0u);
  }
}

} // namespace
