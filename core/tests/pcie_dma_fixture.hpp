// The DMA channels of a 95xx card end to end in one process: the daemon core serving its card path, this library
// opening a port on the card, and the card library over an emulated card, which both load by name. Test code only.
#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <vector>

#include "in_process_daemon.hpp"
#include "map_pxi95xx.hpp"
#include "qor_api.h"
#include "qor_emulator/card95xx_stand_in.h"
#include "qor_pcie_dma.h"
#include "qor_test/daemon_process.hpp"

namespace qor::test {

using Bytes = std::vector<uint8_t>;

inline constexpr uint32_t kFirmwareRefusal = 0x1F;
inline constexpr uint64_t kBusAddressBase = 0x100000000ull; // where the emulated card sees the pinned pages
inline constexpr uint32_t kChannelBusStride = 0x10000000;
inline constexpr uint32_t kPage = 4096;

// The channels the rings of an open card leave free.
inline constexpr uint8_t kFirstFreeChannel = 2;
inline constexpr uint8_t kLastChannel = 3;

inline Bytes words(std::initializer_list<uint32_t> values) {
  Bytes bytes;
  for (uint32_t value : values) {
    const auto* raw = reinterpret_cast<const uint8_t*>(&value);
    bytes.insert(bytes.end(), raw, raw + sizeof value);
  }
  return bytes;
}

// A channel command as the firmware receives it: selector, sub-function, channel, then the data.
inline Bytes dmaCommand(uint32_t selector, uint8_t subFunction, uint8_t channel, const Bytes& data = {}) {
  Bytes command = words({selector});
  command.insert(command.end(), {subFunction, channel, 0, 0});
  command.insert(command.end(), data.begin(), data.end());
  return command;
}

inline std::vector<Bytes> dmaCommandsFrom(uint32_t first) {
  std::vector<Bytes> commands;
  for (uint32_t index = first; index < QorStandIn95xx_DmaCommandCount(); ++index) {
    Bytes command(40000);
    command.resize(QorStandIn95xx_DmaCommand(index, command.data(), static_cast<uint32_t>(command.size())));
    commands.push_back(std::move(command));
  }
  return commands;
}

inline std::vector<uint8_t> subFunctionsOf(const std::vector<Bytes>& commands) {
  std::vector<uint8_t> subFunctions;
  for (const Bytes& command : commands) subFunctions.push_back(command.size() > 4 ? command[4] : 0xFF);
  return subFunctions;
}

inline Qor_PcieDma_ChannelConfig_t channelConfig(uint8_t channel, uint32_t count, uint32_t size) {
  Qor_PcieDma_ChannelConfig_t config{};
  config.channel = channel;
  config.settings[0] = 0x11;
  config.settings[1] = 0x22;
  config.settings[2] = 0x33;
  config.settings[3] = 0x44;
  config.bufferCount = count;
  config.bufferSize = size;
  return config;
}

class PcieDmaFixture : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(QorStandIn95xx_Start());
    daemon_ = std::make_unique<InProcessDaemon>(qor::daemon::PathKind::Cards95xx,
                                                           qor::daemon::makePxi95xxPath());
    ASSERT_TRUE(connectLibraryToDaemon());
    Qor_InterfaceInfo_t descriptor{};
    descriptor.hostInterfaceType = QOR_STAND_IN_95XX_HOST_TYPE;
    descriptor.controllerNumber = 1;
    descriptor.interfaceNumber = 22;
    descriptor.deviceNumber = 1;
    ASSERT_EQ(Qor_OpenInterface(&descriptor, &port_), 0u) << Qor_GetLastErrorDescription();
  }

  void TearDown() override {
    for (uint32_t port = 0; port < QOR_MAX_PORTS; ++port) Qor_CloseInterface(port);
    daemon_.reset();
    QorStandIn95xx_Stop();
  }

  // Configures the channel with count buffers of size bytes; their addresses out.
  std::vector<uint64_t> configure(uint8_t channel, uint32_t count = 3, uint32_t size = 1000) {
    const Qor_PcieDma_ChannelConfig_t config = channelConfig(channel, count, size);
    std::vector<uint64_t> addresses(count);
    EXPECT_EQ(Qor_PcieDma_Channel_Config_Dwth(port_, &config, addresses.data()), 0u) << Qor_GetLastErrorDescription();
    return addresses;
  }

  std::unique_ptr<InProcessDaemon> daemon_;
  uint32_t port_ = QOR_NO_PORT;
};

} // namespace qor::test
