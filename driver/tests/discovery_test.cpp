// Engine discovery and channel initialisation on both engine generations.
#include <gtest/gtest.h>

#include "card_fixture.hpp"

namespace {

using Generation = EngineSimulator::Generation;

TEST(Discovery, FourPresentChannelsWithTheDefaultRings) {
  SimulatedCard card(Generation::second, 8, {0, 1, 2, 3}, VORTAQ_DEFAULT_ELEMENTS, VORTAQ_DEFAULT_ELEMENTS);
  ASSERT_EQ(card.discovery, 0);
  EXPECT_EQ(card.adapter->NumberDMAChannels, 4u);
  EXPECT_EQ(card.adapter->BoardConfig.NumDmaChannels, 4u);
  const DMA_CHANNEL_EXTENSION& channel = *card.adapter->pDMAChExt[3];
  EXPECT_EQ(channel.NumberOfSrcElements, 16384u);
  EXPECT_EQ(channel.NumberOfDstElements, 16384u);
  EXPECT_EQ(channel.NumberOfStatElements, 16384u);
  EXPECT_EQ(channel.MaximumTransferLength, 64u << 20);
  EXPECT_EQ(channel.DMAChannelMSIVector, 3u);
  EXPECT_EQ(channel.ChannelStatus, CHANNEL_READY);
}

TEST(Discovery, AbsentChannelsHaveNoRecord) {
  SimulatedCard card(Generation::second, 4, {0, 2});
  ASSERT_EQ(card.discovery, 0);
  EXPECT_EQ(card.adapter->NumberDMAChannels, 2u);
  DMA_CHANNEL_EXTENSION* channel = nullptr;
  EXPECT_EQ(GetDMAChannelContext(card.adapter.get(), 2, &channel), 0);
  EXPECT_EQ(channel, card.adapter->pDMAChExt[2]);
  EXPECT_EQ(GetDMAChannelContext(card.adapter.get(), 1, &channel), -ENODEV);
  EXPECT_EQ(GetDMAChannelContext(card.adapter.get(), 1024, &channel), -ENODEV);
}

// BAR0 here holds two windows: the windows beyond it are not read (the sanitizer build would report it).
TEST(Discovery, ProbesOnlyTheWindowsInsideBar0) {
  SimulatedCard card(Generation::second, 2, {0, 1});
  EXPECT_EQ(card.discovery, 0);
  EXPECT_EQ(card.adapter->NumberDMAChannels, 2u);
}

TEST(Discovery, NoPresentChannelOrUnusableRingSizesFail) {
  EXPECT_EQ(SimulatedCard(Generation::second, 4, {}).discovery, -ENODEV);
  EXPECT_EQ(SimulatedCard(Generation::second, 4, {0}, 1, 16).discovery, -EINVAL);
  EXPECT_EQ(SimulatedCard(Generation::second, 4, {0}, 16, VORTAQ_MAX_ELEMENTS + 1).discovery, -EINVAL);
}

// A channel whose memory cannot be had is left out and leaves nothing allocated behind.
TEST(Discovery, ChannelWithoutMemoryIsLeftOut) {
  for (int allowed = 0; allowed < 5; ++allowed) {
    SCOPED_TRACE(allowed);
    FaultScope faults;
    vq_faults.failAllocationsAfter = allowed == 0 ? -1 : allowed;
    SimulatedCard card(Generation::second, 2, {0});
    vq_faults.failAllocationsAfter = 0;
    EXPECT_EQ(card.discovery, -ENODEV);
    EXPECT_EQ(card.adapter->pDMAChExt[0], nullptr);
  }
}

TEST(Discovery, SecondGenerationChannelRegistersAfterInitialisation) {
  SimulatedCard card(Generation::second, 4, {0, 1, 2});
  ASSERT_EQ(card.discovery, 0);
  for (std::uint32_t index = 0; index < 3; ++index) {
    SCOPED_TRACE(index);
    const DMA_CHANNEL_EXTENSION& channel = *card.adapter->pDMAChExt[index];
    EXPECT_EQ(card.engine.read32(index, V2_SRC_Q_PTR), static_cast<std::uint32_t>(channel.pSrcElementBasePhysical) | QUEUE_ENABLE);
    EXPECT_EQ(card.engine.read32(index, V2_DST_Q_PTR), static_cast<std::uint32_t>(channel.pDstElementBasePhysical) | QUEUE_ENABLE);
    EXPECT_EQ(card.engine.read32(index, V2_STA_Q_PTR), static_cast<std::uint32_t>(channel.pStatElementBasePhysical) | QUEUE_ENABLE);
    EXPECT_EQ(card.engine.read32(index, V2_STAD_Q_PTR) & QUEUE_ENABLE, 0u);
    EXPECT_EQ(card.engine.read32(index, V2_SRC_Q_SIZE), 16u);
    EXPECT_EQ(card.engine.read32(index, V2_SRC_Q_LIMIT), 0u);
    EXPECT_EQ(card.engine.read32(index, V2_PCIE_INT_CONTROL) & 7u,
              V2_PCIE_INT_ENABLE | V2_DMA_ERROR_ENABLE | V2_DMA_SGL_ENABLE);
    // Channels above 1 write 8-byte status elements.
    EXPECT_EQ(card.engine.read32(index, V2_DMA_CONTROL), V2_DMA_ENABLE | (index >= 2 ? V2_DMA_STAT_SIZE : 0u));
    EXPECT_EQ(channel.StatElementSize, index >= 2 ? 8u : 4u);
    EXPECT_EQ(channel.pSrcElementBase[5].USER_HANDLE, 6u);
    EXPECT_EQ(channel.pDstElementBase[5].BYTE_COUNT_FLAGS, SG_PACK_NEXT);
  }
}

TEST(Discovery, FirstGenerationChannelRegistersAfterInitialisation) {
  SimulatedCard card(Generation::first, 2, {0, 1});
  ASSERT_EQ(card.discovery, 0);
  ASSERT_TRUE(card.adapter->v1);
  const DMA_CHANNEL_EXTENSION& channel = *card.adapter->pDMAChExt[1];
  EXPECT_EQ(card.engine.read32(1, V1_SRC_Q_PTR), static_cast<std::uint32_t>(channel.pSrcElementBasePhysical));
  EXPECT_EQ(card.engine.read32(1, V1_STA_Q_SIZE), 16u);
  const std::uint32_t controlAndStatus = card.engine.read32(1, V1_DMA_CONTROL);
  EXPECT_EQ(controlAndStatus & 0xFFFFu, V1_DMA_PRESENT | (1u << 4) | V1_DMA_ENABLE);
  EXPECT_EQ((controlAndStatus >> 16) & 0xFFu, V1_PCIE_INT_ENABLE);
  EXPECT_EQ(channel.StatElementSize, 4u);
}

} // namespace
