// The DMA channels of a 95xx card end to end in one process: the daemon core serving its card path, this library
// opening a port on the card, and the card library over an emulated card, which both load by name. The channel's
// commands reach the card's firmware, the card writes into the pinned buffers, and the card library's and the
// firmware's failures come back with their codes and texts.
#include <cerrno>
#include <cstring>
#include <functional>
#include <string>

#include "pcie_dma_fixture.hpp"
#include "qor_error_codes.h"
#include "vortaq_abi.h"

namespace qor::test {
namespace {

using ::testing::EndsWith;

class PcieDmaChannels : public PcieDmaFixture {};

struct CheckCase {
  const char* name;
  std::function<uint32_t(uint32_t port)> call;
  uint32_t code;
  const char* text; // nullptr: not checked
};

TEST_F(PcieDmaChannels, ArgumentsAndCallsWithoutAChannelAreChecked) {
  const uint32_t closed = QOR_MAX_PORTS - 1;
  const auto configureWith = [](std::function<void(Qor_PcieDma_ChannelConfig_t&)> change) {
    return [change](uint32_t port) {
      Qor_PcieDma_ChannelConfig_t config = channelConfig(0, 2, 64);
      change(config);
      uint64_t addresses[2];
      return Qor_PcieDma_Channel_Config_Dwth(port, &config, addresses);
    };
  };
  const auto testWith = [](std::function<void(Qor_PcieDmaTest_Config_t&)> change) {
    return [change](uint32_t port) {
      Qor_PcieDmaTest_Config_t config{};
      change(config);
      return Qor_PcieDmaTest_Init(port, &config);
    };
  };
  uint8_t byte = 0;
  uint32_t word = 0;
  const CheckCase cases[] = {
      {"flags", configureWith([](auto& c) { c.flags = 1; }), QOR_ERR_API_UNKNOWN_FLAG, nullptr},
      {"reserved bytes", configureWith([](auto& c) { c.reserved[2] = 1; }), QOR_ERR_API_INVALID_PARAMETER,
       "reserved bytes have to be zero"},
      {"no buffers", configureWith([](auto& c) { c.bufferCount = 0; }), QOR_ERR_API_INVALID_PARAMETER, nullptr},
      {"empty buffers", configureWith([](auto& c) { c.bufferSize = 0; }), QOR_ERR_API_INVALID_PARAMETER, nullptr},
      {"no record", [](uint32_t port) { return Qor_PcieDma_Channel_Config_Dwth(port, nullptr, nullptr); },
       QOR_ERR_API_INVALID_PARAMETER, nullptr},
      {"closed port", [&](uint32_t) { return configureWith([](auto&) {})(closed); }, QOR_ERR_API_INVALID_PORT_HANDLE,
       "port not initialized"},
      {"enable", Qor_PcieDma_Channel_Enable, QOR_ERR_API_NOT_INITIALIZED, "PCIe DMA not initialized"},
      {"channel", [&](uint32_t port) { return Qor_PcieDma_Channel_Get(port, &byte); }, QOR_ERR_API_NOT_INITIALIZED,
       "PCIe DMA not initialized"},
      {"write limit", [](uint32_t port) { return Qor_PcieDma_Channel_WriteLimit_Set(port, 8); },
       QOR_ERR_API_NOT_INITIALIZED, nullptr},
      {"write position", [&](uint32_t port) { return Qor_PcieDma_Channel_WritePosition_Get(port, &word); },
       QOR_ERR_API_NOT_INITIALIZED, nullptr},
      {"disable", Qor_PcieDma_Channel_Disable, 0, nullptr},
      {"reset", Qor_PcieDma_Channel_Reset, 0, nullptr},
      {"test reset", Qor_PcieDmaTest_Reset, 0, nullptr},
      {"test start", Qor_PcieDmaTest_Start, QOR_ERR_API_NOT_INITIALIZED, "PCIe DMA not initialized"},
      {"test flags", testWith([](auto& c) { c.flags = 2; }), QOR_ERR_API_UNKNOWN_FLAG, nullptr},
      {"test reserved", testWith([](auto& c) { c.reserved = 1; }), QOR_ERR_API_INVALID_PARAMETER,
       "reserved bytes have to be zero"},
      {"test without channel", testWith([](auto&) {}), QOR_ERR_API_NOT_INITIALIZED, nullptr},
      {"reset of a closed port", [&](uint32_t) { return Qor_PcieDma_Channel_Reset(closed); },
       QOR_ERR_API_INVALID_PORT_HANDLE, nullptr},
  };
  for (const CheckCase& check : cases) {
    EXPECT_EQ(check.call(port_), check.code) << check.name << ": " << Qor_GetLastErrorDescription();
    if (check.text != nullptr) {
      EXPECT_THAT(Qor_GetLastErrorDescription(), EndsWith(check.text)) << check.name;
    }
  }
  EXPECT_TRUE(Qor_PcieDma_IsAvailable(port_));
  EXPECT_FALSE(Qor_PcieDma_IsAvailable(closed));
  EXPECT_EQ(dmaCommandCount(), 0u); // nothing reached the firmware
}

TEST_F(PcieDmaChannels, AChannelIsConfiguredEnabledFilledByTheCardDisabledAndReset) {
  constexpr uint8_t kChannel = kFirstFreeChannel;
  const std::vector<uint64_t> addresses = configure(kChannel);
  ASSERT_EQ(addresses.size(), 3u);
  EXPECT_EQ(addresses[1] - addresses[0], 1008u); // 1000 rounded up to 16
  EXPECT_EQ(addresses[2] - addresses[1], 1008u);
  EXPECT_TRUE(card_->pinned(kChannel));
  // One page holds the three buffers.
  const uint64_t bus = kBusAddressBase + kChannel * uint64_t{kChannelBusStride};
  EXPECT_EQ(dmaCommandsFrom(0),
            (std::vector<Bytes>{dmaCommand(0, QOR_PCIE_DMA_GEOMETRY, kChannel, words({0, 3, 1000, 1008})),
                                dmaCommand(0, QOR_PCIE_DMA_LIST_LENGTH, kChannel, words({0, 1})),
                                dmaCommand(0, QOR_PCIE_DMA_LIST_CHUNK, kChannel,
                                           words({0, 0, 1, static_cast<uint32_t>(bus), static_cast<uint32_t>(bus >> 32),
                                                  3 * 1008})),
                                dmaCommand(0, QOR_PCIE_DMA_LIST_END, kChannel, words({0})),
                                dmaCommand(0, QOR_PCIE_DMA_SETTINGS, kChannel, words({0, 0x11, 0x22, 0x33, 0x44}))}));
  uint8_t channel = 0;
  ASSERT_EQ(Qor_PcieDma_Channel_Get(port_, &channel), 0u);
  EXPECT_EQ(channel, kChannel);

  ASSERT_EQ(Qor_PcieDma_Channel_Enable(port_), 0u) << Qor_GetLastErrorDescription();
  // The card writes up to the limit and no further.
  ASSERT_EQ(Qor_PcieDma_Channel_WriteLimit_Set(port_, 1500), 0u);
  Bytes data(2000);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 7 + 1);
  EXPECT_EQ(card_->writeDma(kChannel, data), 1500u);
  uint32_t position = 0;
  ASSERT_EQ(Qor_PcieDma_Channel_WritePosition_Get(port_, &position), 0u);
  EXPECT_EQ(position, 1500u);
  const auto* buffers = reinterpret_cast<const uint8_t*>(addresses[0]);
  EXPECT_EQ(Bytes(buffers, buffers + 1500), Bytes(data.begin(), data.begin() + 1500));

  const size_t beforeDisable = dmaCommandCount();
  ASSERT_EQ(Qor_PcieDma_Channel_Disable(port_), 0u) << Qor_GetLastErrorDescription();
  ASSERT_EQ(Qor_PcieDma_Channel_Reset(port_), 0u) << Qor_GetLastErrorDescription();
  EXPECT_EQ(subFunctionsOf(dmaCommandsFrom(beforeDisable)),
            (std::vector<uint8_t>{QOR_PCIE_DMA_DISABLE, QOR_PCIE_DMA_DISABLE, QOR_PCIE_DMA_RESET}));
  EXPECT_FALSE(card_->pinned(kChannel));
  EXPECT_EQ(Qor_PcieDma_Channel_Get(port_, &channel), QOR_ERR_API_NOT_INITIALIZED);
  EXPECT_EQ(Qor_CloseInterface(port_), 0u);
}

TEST_F(PcieDmaChannels, ANewConfigurationResetsTheOldChannelFirst) {
  configure(kLastChannel);
  const size_t before = dmaCommandCount();
  configure(kFirstFreeChannel);
  EXPECT_EQ(subFunctionsOf(dmaCommandsFrom(before)),
            (std::vector<uint8_t>{QOR_PCIE_DMA_DISABLE, QOR_PCIE_DMA_RESET, QOR_PCIE_DMA_GEOMETRY,
                                  QOR_PCIE_DMA_LIST_LENGTH, QOR_PCIE_DMA_LIST_CHUNK, QOR_PCIE_DMA_LIST_END,
                                  QOR_PCIE_DMA_SETTINGS}));
  EXPECT_FALSE(card_->pinned(kLastChannel));
  EXPECT_TRUE(card_->pinned(kFirstFreeChannel));
}

TEST_F(PcieDmaChannels, CardLibraryFailuresComeWithTheDaemonsTextAndLeaveNothingPinned) {
  card_->failNextRequest(VORTAQ_ALLOC_DMA_MEM, ENOMEM);
  const Qor_PcieDma_ChannelConfig_t config = channelConfig(kFirstFreeChannel, 2, 64);
  uint64_t addresses[2];
  EXPECT_EQ(Qor_PcieDma_Channel_Config_Dwth(port_, &config, addresses), QOR_ERR_API_CONFIGURATION);
  EXPECT_THAT(Qor_GetLastErrorDescription(),
              EndsWith("could not configure PCIe DMA channel - driver call returned 12 - " +
                       std::string(std::strerror(ENOMEM))));
  EXPECT_EQ(dmaCommandCount(), 0u);

  // The scatter-gather list fails after the buffers were pinned: they are given back.
  card_->failNextRequest(VORTAQ_GET_PAGE_TABLE, EIO);
  EXPECT_EQ(Qor_PcieDma_Channel_Config_Dwth(port_, &config, addresses), QOR_ERR_API_CONFIGURATION);
  EXPECT_NE(std::string(Qor_GetLastErrorDescription()).find(std::strerror(EIO)), std::string::npos);
  EXPECT_FALSE(card_->pinned(kFirstFreeChannel));
  EXPECT_EQ(Qor_PcieDma_Channel_Enable(port_), QOR_ERR_API_NOT_INITIALIZED);
}

TEST_F(PcieDmaChannels, FirmwareFailuresAreReturnedAndBuffersTheFirmwareMayStillUseStayPinned) {
  // The settings are refused: the firmware is told to reset and the buffers are given back.
  dmaFirmware_.fail(0, QOR_PCIE_DMA_SETTINGS, kFirmwareRefusal);
  const Qor_PcieDma_ChannelConfig_t config = channelConfig(kLastChannel, 2, 64);
  uint64_t addresses[2];
  const uint32_t refused = Qor_PcieDma_Channel_Config_Dwth(port_, &config, addresses);
  EXPECT_NE(refused, 0u);
  EXPECT_EQ(subFunctionsOf(dmaCommandsFrom(0)).back(), QOR_PCIE_DMA_RESET);
  EXPECT_FALSE(card_->pinned(kLastChannel));

  // The firmware's reset fails too: it may still write, so the buffers stay pinned.
  dmaFirmware_.fail(0, QOR_PCIE_DMA_RESET, kFirmwareRefusal);
  EXPECT_EQ(Qor_PcieDma_Channel_Config_Dwth(port_, &config, addresses), refused);
  EXPECT_TRUE(card_->pinned(kLastChannel));
  EXPECT_EQ(Qor_PcieDma_Channel_Enable(port_), QOR_ERR_API_NOT_INITIALIZED);
  EXPECT_THAT(Qor_GetLastErrorDescription(), EndsWith("could not enable pcie dma channel - channel is not configured"));
  // They stay so while the firmware does not stop the channel; nor does the close drop them: it fails with the
  // reset's code and the port stays open.
  dmaFirmware_.fail(0, QOR_PCIE_DMA_DISABLE, kFirmwareRefusal);
  EXPECT_EQ(Qor_PcieDma_Channel_Reset(port_), refused);
  EXPECT_TRUE(card_->pinned(kLastChannel));
  EXPECT_EQ(Qor_CloseInterface(port_), refused);
  EXPECT_EQ(Qor_CheckPortHandle(port_), 0u);
  // Once the firmware stopped the channel the buffers go; the channel stays until the firmware's reset passes.
  dmaFirmware_.fail(0, QOR_PCIE_DMA_DISABLE, 0);
  EXPECT_EQ(Qor_PcieDma_Channel_Reset(port_), refused);
  EXPECT_FALSE(card_->pinned(kLastChannel));
  dmaFirmware_.fail(0, QOR_PCIE_DMA_RESET, 0);
  EXPECT_EQ(Qor_CloseInterface(port_), 0u);
  EXPECT_NE(Qor_CheckPortHandle(port_), 0u);
}

TEST_F(PcieDmaChannels, TheFirmwaresDmaTestRunsOnTheConfiguredChannel) {
  configure(kFirstFreeChannel);
  const size_t before = dmaCommandCount();
  Qor_PcieDmaTest_Config_t test{};
  test.runMode = 1;
  test.firstValue = 5;
  test.secondValue = 13;
  ASSERT_EQ(Qor_PcieDmaTest_Init(port_, &test), 0u) << Qor_GetLastErrorDescription();
  ASSERT_EQ(Qor_PcieDmaTest_Start(port_), 0u);
  ASSERT_EQ(Qor_PcieDmaTest_Stop(port_), 0u);
  ASSERT_EQ(Qor_PcieDmaTest_Reset(port_), 0u);
  Bytes setup = words({0});
  setup.insert(setup.end(), {1, 2, 0, 0});
  const Bytes values = words({0, 5, 13, 16});
  setup.insert(setup.end(), values.begin(), values.end());
  EXPECT_EQ(dmaCommandsFrom(before),
            (std::vector<Bytes>{dmaCommand(1, QOR_PCIE_DMA_TEST_SETUP, kFirstFreeChannel, setup),
                                dmaCommand(1, QOR_PCIE_DMA_TEST_START, kFirstFreeChannel, words({0})),
                                dmaCommand(1, QOR_PCIE_DMA_TEST_STOP, kFirstFreeChannel, words({0})),
                                dmaCommand(1, QOR_PCIE_DMA_TEST_RESET, kFirstFreeChannel, words({0}))}));

  test.runMode = 2;
  EXPECT_EQ(Qor_PcieDmaTest_Init(port_, &test), QOR_ERR_API_UNKNOWN_MODE);
  EXPECT_THAT(Qor_GetLastErrorDescription(), EndsWith("run mode value '2' us unknown"));
  test.runMode = 0;
  test.type = 1;
  EXPECT_EQ(Qor_PcieDmaTest_Init(port_, &test), QOR_ERR_API_INVALID_PARAMETER);
  test.type = 0;
  test.secondValue = 0xFFFFFFF9;
  EXPECT_EQ(Qor_PcieDmaTest_Init(port_, &test), QOR_ERR_API_INVALID_PARAMETER);
  // A refused set-up is followed by a test reset.
  test.secondValue = 8;
  dmaFirmware_.fail(1, QOR_PCIE_DMA_TEST_SETUP, kFirmwareRefusal);
  const size_t beforeRefusal = dmaCommandCount();
  EXPECT_NE(Qor_PcieDmaTest_Init(port_, &test), 0u);
  EXPECT_EQ(subFunctionsOf(dmaCommandsFrom(beforeRefusal)),
            (std::vector<uint8_t>{QOR_PCIE_DMA_TEST_SETUP, QOR_PCIE_DMA_TEST_RESET}));
}

TEST_F(PcieDmaChannels, TheDaemonGivesTheCardsLink) {
  uint8_t link[4] = {0xEE, 0xEE, 0xEE, 0xEE};
  ASSERT_EQ(Qor_PcieDma_GetBusData(port_, link), 0u) << Qor_GetLastErrorDescription();
  // The emulated card has no PCI Express capability: speeds unknown, widths 0.
  EXPECT_EQ(Bytes(link, link + 4), (Bytes{5, 0, 5, 0}));
}

} // namespace
} // namespace qor::test
