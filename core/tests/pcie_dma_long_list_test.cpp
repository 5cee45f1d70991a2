// A channel whose buffers span more pages than one firmware command carries: its list goes in chunks. The buffers
// take more locked memory than an unprivileged user may lock, so this runs as root.
#include "pcie_dma_fixture.hpp"

namespace qor::test {
namespace {

class PcieDmaLongList : public PcieDmaFixture {};

TEST_F(PcieDmaLongList, GoesToTheFirmwareInChunksOfWhatOneCommandHolds) {
  // 3000 pages; a command of the firmware's room takes (32756 - 20) / 12 = 2728 entries.
  configure(kLastChannel, 1, 3000 * kPage);
  const std::vector<Bytes> commands = dmaCommandsFrom(0);
  ASSERT_EQ(subFunctionsOf(commands),
            (std::vector<uint8_t>{QOR_PCIE_DMA_GEOMETRY, QOR_PCIE_DMA_LIST_LENGTH, QOR_PCIE_DMA_LIST_CHUNK,
                                  QOR_PCIE_DMA_LIST_CHUNK, QOR_PCIE_DMA_LIST_END, QOR_PCIE_DMA_SETTINGS}));
  EXPECT_EQ(Bytes(commands[1].begin() + 8, commands[1].end()), words({0, 3000}));
  EXPECT_EQ(Bytes(commands[2].begin() + 8, commands[2].begin() + 20), words({0, 0, 2728}));
  EXPECT_EQ(commands[2].size(), 20u + 2728 * 12);
  EXPECT_EQ(Bytes(commands[3].begin() + 8, commands[3].begin() + 20), words({0, 2728, 272}));
  EXPECT_EQ(commands[3].size(), 20u + 272 * 12);
  const uint64_t last = kBusAddressBase + kLastChannel * uint64_t{kChannelBusStride} + 2999 * kPage;
  EXPECT_EQ(Bytes(commands[3].end() - 12, commands[3].end()),
            words({static_cast<uint32_t>(last), static_cast<uint32_t>(last >> 32), kPage}));
}

} // namespace
} // namespace qor::test
