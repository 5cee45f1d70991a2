// Configuration space: BAR classification and the search for MSI or MSI-X.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

extern "C" {
#include "vortaq.h"
}

namespace {

struct Adapter {
  Adapter() {
    adapter->pPciDev = pci.get();
    header()->DeviceId = VORTAQ_CARD_DEVICE_ID_B;
  }
  PCI_CONFIG_HEADER* header() { return reinterpret_cast<PCI_CONFIG_HEADER*>(pci->config); }
  void mapBar(int index, std::uint64_t physical, std::uint32_t length) {
    adapter->busAddr[index] = {&window, physical, length};
  }
  std::unique_ptr<vq_pci_dev> pci = std::make_unique<vq_pci_dev>();
  std::unique_ptr<DEVICE_EXTENSION> adapter = std::make_unique<DEVICE_EXTENSION>();
  std::uint8_t window = 0;
};

TEST(Configuration, BarsAreUsableOnlyWhenTheirAddressIsTheMappedOne) {
  Adapter card;
  card.header()->BarCfg[0] = 0xF0000000u;             // 32-bit memory: the engine's registers
  card.header()->BarCfg[1] = 0xE0000008u;             // 32-bit prefetchable memory
  card.header()->BarCfg[2] = 0xD000000Cu;             // 64-bit memory, upper half in BAR3
  card.header()->BarCfg[3] = 0x00000001u;
  card.header()->BarCfg[4] = 0x0000E001u;             // I/O
  card.header()->BarCfg[5] = 0xC0000000u;             // mapped elsewhere
  card.mapBar(0, 0xF0000000u, 0x20000);
  card.mapBar(1, 0xE0000000u, 0x1000);
  card.mapBar(2, 0x1D0000000ull, 0x4000);
  card.mapBar(5, 0xB0000000u, 0x1000);
  ASSERT_EQ(GetPCIConfig(card.adapter.get()), 0);

  const DEVICE_EXTENSION& a = *card.adapter;
  struct Row {
    int bar;
    std::uint16_t type, transfer;
    std::uint64_t address, size;
  };
  const Row rows[] = {
      {0, BAR_TYPE_DMA_REGISTERS, 4, 0xF0000000u, 0x20000},
      {1, BAR_TYPE_MEMORY, 7, 0xE0000000u, 0x1000},
      {2, BAR_TYPE_MEMORY, 15, 0x1D0000000ull, 0x4000},
      {3, BAR_TYPE_UNUSABLE, 0, 0, 0}, // the upper half of BAR2, not mapped itself
      {4, BAR_TYPE_UNUSABLE, 0, 0, 0},
      {5, BAR_TYPE_UNUSABLE, 0, 0, 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.bar);
    EXPECT_EQ(a.BarType[row.bar], row.type);
    EXPECT_EQ(a.BarTransferTypes[row.bar], row.transfer);
    EXPECT_EQ(a.BaseAddresses[row.bar], row.address);
    EXPECT_EQ(a.BaseSizes[row.bar], row.size);
  }
  EXPECT_EQ(a.pDmaRegisters, &card.window);
  EXPECT_FALSE(a.v1);
  EXPECT_EQ(a.AddressSize, 32u);
  EXPECT_EQ(a.BoardConfig.PciConfig.BarCfg[2], 0xD000000Cu);
}

TEST(Configuration, ReferenceDesignsUseTheFirstEngineGeneration) {
  Adapter card;
  card.header()->DeviceId = VORTAQ_REFERENCE_DEVICE_ID_A;
  ASSERT_EQ(GetPCIConfig(card.adapter.get()), 0);
  EXPECT_TRUE(card.adapter->v1);
}

TEST(Configuration, CapabilityWalkFindsMsiAndEndsOnBrokenLists) {
  struct Row {
    const char* name;
    std::vector<std::pair<std::uint8_t, std::uint8_t>> bytes; // (offset, value)
    bool offered;
  };
  const Row rows[] = {
      {"no list", {}, false},
      {"MSI first", {{0x34, 0x50}, {0x50, 0x05}}, true},
      {"MSI-X after power management", {{0x34, 0x40}, {0x40, 0x01}, {0x41, 0x60}, {0x60, 0x11}}, true},
      {"neither", {{0x34, 0x40}, {0x40, 0x01}, {0x41, 0x48}, {0x48, 0x10}}, false},
      {"cycle", {{0x34, 0x40}, {0x40, 0x01}, {0x41, 0x44}, {0x44, 0x09}, {0x45, 0x40}}, false},
      {"pointer into the standard header", {{0x34, 0x10}, {0x10, 0x11}}, false},
      {"last byte, masked to a dword", {{0x34, 0xFF}, {0xFC, 0x11}}, true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Adapter card;
    for (auto [offset, value] : row.bytes)
      card.pci->config[offset] = value;
    ASSERT_EQ(GetPCIConfig(card.adapter.get()), 0);
    EXPECT_EQ(FindPCIMSIXCapabilites(card.adapter.get()), row.offered);
  }
}

} // namespace
