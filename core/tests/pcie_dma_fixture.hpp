// The DMA channels of a 95xx card end to end in one process: the daemon core serving its card path, this library
// opening a port on the card, and the card library over the emulated driver, which both load by name and which
// reaches the card this process plays below Card95xx::kSandboxProcRoot. Test code only.
#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <memory>
#include <vector>

#include "in_process_daemon.hpp"
#include "map_pxi95xx.hpp"
#include "qor_api.h"
#include "qor_emulator/card95xx.hpp"
#include "qor_emulator/card95xx_dma_firmware.hpp"
#include "qor_pcie_dma.h"
#include "qor_test/daemon_process.hpp"

namespace qor::test {

using Bytes = std::vector<uint8_t>;

inline constexpr uint32_t kCardHostType = 82; // a PXIe 9530
inline constexpr uint32_t kCardSerial = 95300007;
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
    std::filesystem::create_directories(emulator::Card95xx::kSandboxProcRoot);
    card_ = std::make_unique<emulator::Card95xx>(device_, emulator::Card95xx::kSandboxProcRoot, 0);
    daemon_ = std::make_unique<InProcessDaemon>(qor::daemon::PathKind::Cards95xx,
                                                           qor::daemon::makePxi95xxPath());
    ASSERT_TRUE(connectLibraryToDaemon());
    Qor_InterfaceInfo_t descriptor{};
    descriptor.hostInterfaceType = kCardHostType;
    descriptor.controllerNumber = 1;
    descriptor.interfaceNumber = 22;
    descriptor.deviceNumber = 1;
    ASSERT_EQ(Qor_OpenInterface(&descriptor, &port_), 0u) << Qor_GetLastErrorDescription();
  }

  void TearDown() override {
    for (uint32_t port = 0; port < QOR_MAX_PORTS; ++port) Qor_CloseInterface(port);
    daemon_.reset();
    card_.reset();
  }

  // Configures the channel with count buffers of size bytes; their addresses out.
  std::vector<uint64_t> configure(uint8_t channel, uint32_t count = 3, uint32_t size = 1000) {
    const Qor_PcieDma_ChannelConfig_t config = channelConfig(channel, count, size);
    std::vector<uint64_t> addresses(count);
    EXPECT_EQ(Qor_PcieDma_Channel_Config_Dwth(port_, &config, addresses.data()), 0u) << Qor_GetLastErrorDescription();
    return addresses;
  }

  size_t dmaCommandCount() const { return dmaFirmware_.commandCount(); }
  std::vector<Bytes> dmaCommandsFrom(size_t first) const { return dmaFirmware_.commandsFrom(first); }

  emulator::Device device_{emulator::DeviceConfig{.serialNumber = kCardSerial, .hostType = kCardHostType}};
  emulator::Card95xxDmaFirmware dmaFirmware_{device_};
  std::unique_ptr<emulator::Card95xx> card_;
  std::unique_ptr<InProcessDaemon> daemon_;
  uint32_t port_ = QOR_NO_PORT;
};

} // namespace qor::test
