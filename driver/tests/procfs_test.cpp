// The /proc files of a card: the information files' texts, the channel files' open and close, the register mapping.
#include <gtest/gtest.h>

#include <string>

#include "card_fixture.hpp"

namespace {

using Generation = EngineSimulator::Generation;

std::string render(const char* name, DEVICE_EXTENSION* adapter) {
  for (const VORTAQ_PROCFS_ENTRY& entry : Vortaqprocfs_table) {
    if (std::string(entry.name) != name)
      continue;
    vq_seq seq{};
    entry.show(&seq, adapter);
    std::string text = seq.text ? seq.text : "";
    vq_seq_release(&seq);
    return text;
  }
  ADD_FAILURE() << "no information file " << name;
  return {};
}

std::string byteRow(const std::string& offset, const std::string& bytes) { return "\noffset " + offset + ": " + bytes; }

std::string zeroBytes(int count) {
  std::string bytes;
  for (int i = 0; i < count; ++i)
    bytes += " 00";
  return bytes;
}

TEST(ProcInformation, CardFile) {
  FaultScope faults;
  SimulatedCard card(Generation::second, 4, {0, 3});
  EXPECT_EQ(render("card", card.adapter.get()), "Card Configuration Info:\n"
                                                "  DriverVersion:                 2019.1.9.1\n"
                                                "  VendorID:                     0x1C3A\n"
                                                "  DeviceID:                     0x9501\n"
                                                "  NumDmaChannels:                2\n");
}

// Every channel the engine has is listed, also one beyond a gap in the engine indices.
TEST(ProcInformation, InfoFileListsEveryChannel) {
  FaultScope faults;
  SimulatedCard card(Generation::second, 4, {0, 3});
  DMA_CHANNEL_EXTENSION* last = card.adapter->pDMAChExt[3];
  last->DMATransferCount = 7;
  last->InterruptCount = 5;
  last->DPCsCount = 4;
  last->NumberOfUsedSrcElements = 2;
  last->NumberOfUsedDstElements = 1;
  EXPECT_EQ(render("info", card.adapter.get()), "Channel Statistics:\n"
                                                "  DmaChannel[ 0]: Requests: 0 ISRS:0, Tasklets:0\n"
                                                "Number of Used Source Elements[ 0]: 0\n"
                                                "Number of Used Destination Elements[ 0]: 0\n"
                                                "  DmaChannel[ 3]: Requests: 7 ISRS:5, Tasklets:4\n"
                                                "Number of Used Source Elements[ 3]: 2\n"
                                                "Number of Used Destination Elements[ 3]: 1\n");
}

// The header is read again for each reading: a value changed since the probe shows.
TEST(ProcInformation, PciFile) {
  FaultScope faults;
  SimulatedCard card(Generation::second, 4, {0});
  card.pci->config[8] = 0x03;     // revision
  card.pci->config[61] = 0x01;    // interrupt pin
  card.pci->config[64] = 0x11;    // first device-specific byte
  card.pci->config[64 + 31] = 0xAB;
  card.pci->config[255] = 0xFE;

  std::string expected = "PCI Configuration Info:\n"
                         "  VendorID:                     0x1C3A\n"
                         "  DeviceID:                     0x9501\n"
                         "  Command:                      0x0000\n"
                         "  Status:                       0x0000\n"
                         "  RevisionID:                   0x03\n"
                         "  ProgIf:                       0x00\n"
                         "  SubClass:                     0x00\n"
                         "  BaseClass:                    0x00\n"
                         "  CacheLineSize:                0x00\n"
                         "  LatencyTimer:                 0x00\n"
                         "  HeaderType:                   0x00\n"
                         "  BuiltInSelfTest:              0x00\n"
                         "  BAR[ 0]:                      0xF0000000\n"
                         "  BAR[ 1]:                      0xE0000000\n"
                         "  BAR[ 2]:                      0x00000000\n"
                         "  BAR[ 3]:                      0x00000000\n"
                         "  BAR[ 4]:                      0x00000000\n"
                         "  BAR[ 5]:                      0x00000000\n"
                         "  CardBusCISPtr:                0x00000000\n"
                         "  SubsystemVendorID:            0x0000\n"
                         "  SubsystemID:                  0x0000\n"
                         "  ROMBaseAddress:               0x00000000\n"
                         "  CapabilitiesPtr:              0x00\n"
                         "  InterruptLine:                0x00\n"
                         "  InterruptPin:                 0x01\n"
                         "  MinimumGrant:                 0x00\n"
                         "  MaximumLatency:               0x00\n"
                         "  DeviceSpecific: (Offset 0x40)\n";
  expected += byteRow("0x0", " 11" + zeroBytes(15));
  expected += byteRow("0x10", zeroBytes(15) + " AB");
  for (const char* offset : {"0x20", "0x30", "0x40", "0x50", "0x60", "0x70", "0x80", "0x90", "0xa0"})
    expected += byteRow(offset, zeroBytes(16));
  expected += byteRow("0xb0", zeroBytes(15) + " FE");
  expected += "\n"
              "  -----------------\n"
              "  BaseAddresses[0]:0xF0000000 [0x00000200] Type:0 XferType:0x0004\n"
              "  BaseAddresses[1]:0xE0000000 [0x00001000] Type:1 XferType:0x0007\n"
              "  BaseAddresses[2]:0x0 [0x00000000] Type:3 XferType:0x0000\n"
              "  BaseAddresses[3]:0x0 [0x00000000] Type:3 XferType:0x0000\n"
              "  BaseAddresses[4]:0x0 [0x00000000] Type:3 XferType:0x0000\n"
              "  BaseAddresses[5]:0x0 [0x00000000] Type:3 XferType:0x0000\n"
              "  AddressSize:             0x00000020\n";
  EXPECT_EQ(render("pci", card.adapter.get()), expected);
}

TEST(ProcInformation, TableNamesTheThreeFilesInOrder) {
  ASSERT_EQ(VORTAQ_TEXT_FILES, 3);
  EXPECT_STREQ(Vortaqprocfs_table[0].name, "pci");
  EXPECT_STREQ(Vortaqprocfs_table[1].name, "card");
  EXPECT_STREQ(Vortaqprocfs_table[2].name, "info");
}

// One opener per channel file; the next opener finds the channel as fresh as after the probe.
TEST(ProcChannelFile, OneOpenerAtATimeAndAFreshChannelForTheNext) {
  FaultScope faults;
  SimulatedCard card(Generation::second, 1, {0});
  DMA_CHANNEL_EXTENSION* channel = card.adapter->pDMAChExt[0];
  ASSERT_EQ(VortaqDMAOpen(channel), 0);
  EXPECT_EQ(VortaqDMAOpen(channel), -EBUSY);
  EXPECT_EQ(card.engine.read32(0, V2_DMA_CONTROL) & V2_DMA_ENABLE, V2_DMA_ENABLE);

  HostBuffer buffer(1);
  ASSERT_EQ(VortaqTransfer(channel, buffer.address(), 64, 0x400, XFER_HOST_TO_CARD), 64);
  EXPECT_EQ(channel->NextSrcElemIndex, 1u);
  VortaqDMAClose(channel);
  EXPECT_FALSE(channel->fbOpen);
  EXPECT_EQ(VortaqTransfer(channel, buffer.address(), 64, 0x400, XFER_HOST_TO_CARD), -EBUSY);

  ASSERT_EQ(VortaqDMAOpen(channel), 0);
  EXPECT_EQ(channel->NextSrcElemIndex, 0u);
  EXPECT_EQ(card.engine.read32(0, V2_SRC_Q_LIMIT), 0u);
  EXPECT_EQ(VortaqTransfer(channel, buffer.address(), 64, 0x800, XFER_HOST_TO_CARD), 64);
  VortaqDMAClose(channel);
}

// A transfer whose caller left while the engine held it is ended by the close, its pages released, and the next
// opener's transfers pair with their own status elements.
TEST(ProcChannelFile, CloseEndsATransferItsCallerLeft) {
  FaultScope faults;
  SimulatedCard card(Generation::second, 1, {0});
  DMA_CHANNEL_EXTENSION* channel = card.adapter->pDMAChExt[0];
  ASSERT_EQ(VortaqDMAOpen(channel), 0);
  channel->TransferTimeoutMs = 20;
  HostBuffer left(1);
  card.engine.pause();
  EXPECT_EQ(VortaqTransfer(channel, left.address(), 32, 0x100, XFER_CARD_TO_HOST), -ETIMEDOUT);
  VortaqDMAClose(channel);
  EXPECT_TRUE(list_empty(&channel->DMATransactionList));
  EXPECT_TRUE(list_empty(&channel->AbandonedList));
  card.engine.resume();

  ASSERT_EQ(VortaqDMAOpen(channel), 0);
  HostBuffer data(1);
  std::memset(data.data, 0x5A, 48);
  EXPECT_EQ(VortaqTransfer(channel, data.address(), 48, 0x300, XFER_HOST_TO_CARD), 48);
  EXPECT_EQ(card.engine.cardMemory()[0x300 + 47], 0x5A);
  VortaqDMAClose(channel);
}

TEST(ProcChannelFile, CloseInFifoModeReleasesTheBuffer) {
  FaultScope faults;
  SimulatedCard card(Generation::second, 1, {0});
  DMA_CHANNEL_EXTENSION* channel = card.adapter->pDMAChExt[0];
  ASSERT_EQ(VortaqDMAOpen(channel), 0);
  HostBuffer buffer(2);
  SETUP_CHANNEL_STRUCT setup{};
  setup.AllocationMode = VORTAQ_ALLOCATION_MODE_FIFO;
  setup.Direction = 1;
  setup.Length = 2 * PAGE_SIZE;
  setup.BufferAddress = buffer.address();
  ASSERT_EQ(SetupChannelIOCtlHandler(channel, &setup), 0);
  VortaqDMAClose(channel);
  EXPECT_EQ(channel->DMAMode, static_cast<std::uint32_t>(DMA_MODE_NOT_SET));
  EXPECT_EQ(channel->UserVa, 0u);
  EXPECT_EQ(channel->NumberOfSrcElements, channel->AllocatedSrcElements);
  EXPECT_EQ(channel->pFIFOTable[0].transfer, nullptr);
  EXPECT_EQ(channel->pFIFOTable[1].transfer, nullptr);
}

// A mapping is whole pages: BAR0's registers (4 windows, 512 bytes) fit into one.
TEST(ProcDeviceFile, RegisterMappingNeedsTheCapabilityAndFitsBar0) {
  struct Row {
    const char* name;
    bool admin;
    std::uint64_t length;
    int result;
  };
  FaultScope faults;
  SimulatedCard card(Generation::second, 4, {0});
  for (const Row& row : {Row{"the page holding BAR0", true, PAGE_SIZE, 0},
                         Row{"without the capability", false, PAGE_SIZE, -EPERM}, Row{"nothing", true, 0, -EINVAL},
                         Row{"a page beyond BAR0", true, 2 * PAGE_SIZE, -EINVAL}}) {
    SCOPED_TRACE(row.name);
    vq_faults.notAdmin = !row.admin;
    EXPECT_EQ(VortaqMapCheck(card.adapter.get(), row.length), row.result);
  }
  vq_faults.notAdmin = false;
  card.adapter->busAddr[0].physicalAddress = 0;
  EXPECT_EQ(VortaqMapCheck(card.adapter.get(), PAGE_SIZE), -EIO);
}

} // namespace
