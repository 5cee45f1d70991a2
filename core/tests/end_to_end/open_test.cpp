// Opening an interface end to end: identification through the firmware, the boot loader, a device that reports
// another model, interfaces the firmware does not name, and the checks of the descriptor.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>

#include "qor_emulator/frame.hpp"
#include "qor_test/interface_fixture.hpp"

namespace qor::test {
namespace {

using namespace std::chrono_literals;
using emulator::Bytes;
using emulator::ReceivedFrame;
using emulator::Reply;

constexpr uint8_t kIdentity = 0xFF;

// The identity answer: boot-loader bit at 4, device code at 28, interface pairs from 40.
Bytes identityAnswer(uint32_t deviceCode, bool bootLoader, std::vector<std::pair<uint8_t, uint8_t>> interfaces) {
  Bytes data(40 + 2 * interfaces.size(), 0);
  const uint32_t flags = bootLoader ? 1 : 0;
  const uint32_t count = static_cast<uint32_t>(interfaces.size());
  memcpy(data.data() + 4, &flags, 4);
  memcpy(data.data() + 28, &deviceCode, 4);
  memcpy(data.data() + 36, &count, 4);
  for (size_t i = 0; i < interfaces.size(); ++i) {
    data[40 + 2 * i] = interfaces[i].first;
    data[41 + 2 * i] = interfaces[i].second;
  }
  return data;
}

using Open = InterfaceFixture;

TEST_F(Open, AControllerInItsBootLoaderIsStartedAndIdentifiedAgain) {
  static std::atomic<bool> started; // static: the device's handler may run after this body
  started = false;
  device_->onCommand(0x03, [&](const ReceivedFrame& frame) -> Reply {
    started = true;
    return frame.acknowledge();
  });
  device_->onCommand(kIdentity, [&](const ReceivedFrame& frame) -> Reply {
    return frame.response(identityAnswer(61, !started, {{kCanFirmwareCode, 1}}));
  });
  const uint32_t port = open();
  EXPECT_EQ(Qor_GetInterfaceType(port), static_cast<uint32_t>(QOR_INTERFACE_CAN));
  std::vector<uint8_t> commands;
  for (const ReceivedFrame& frame : device_->recorder().frames()) commands.push_back(frame.command());
  EXPECT_EQ(commands, (std::vector<uint8_t>{0x0C, kIdentity, 0x10, 0x03, kIdentity}));
}

TEST_F(Open, ADeviceThatReportsAnotherModelIsReopenedUnderIt) {
  // The codes of models 59 and 60, by turns: every answer names another model than the port was opened as.
  static std::atomic<int> asked; // static: the device's handler may run after this body
  asked = 0;
  device_->onCommand(kIdentity, [&](const ReceivedFrame& frame) -> Reply {
    return frame.response(identityAnswer(asked++ % 2 == 0 ? 64 : 67, false, {{kCanFirmwareCode, 1}}));
  });
  const uint32_t port = open();
  EXPECT_EQ(Qor_GetHostInterfaceType(port), 60u);
  Qor_InterfaceInfo_t info{};
  ASSERT_EQ(Qor_GetInterfaceInfo(port, &info), 0u);
  EXPECT_EQ(info.hostInterfaceType, kEthernetModel); // the caller's type stays in the descriptor
  // A device that keeps reporting yet another model is not reopened again and again.
  size_t identities = 0;
  for (const ReceivedFrame& frame : device_->recorder().frames()) identities += frame.command() == kIdentity;
  EXPECT_EQ(identities, 2u);
}

TEST_F(Open, ADeviceCodeThatNamesNoModelKeepsThePortUnderTheCallersType) {
  device_->onCommand(kIdentity, [](const ReceivedFrame& frame) -> Reply {
    return frame.response(identityAnswer(99, false, {{kCanFirmwareCode, 1}}));
  });
  const uint32_t port = open();
  EXPECT_EQ(Qor_GetHostInterfaceType(port), kEthernetModel);
  EXPECT_EQ(Qor_GetInterfaceType(port), static_cast<uint32_t>(QOR_INTERFACE_CAN));
}

TEST_F(Open, InterfacesTheFirmwareDoesNotNameAreOfNoKnownType) {
  device_->onCommand(kIdentity, [](const ReceivedFrame& frame) -> Reply {
    return frame.response(identityAnswer(61, false, {{99, 1}, {kCanFirmwareCode, 2}}));
  });
  EXPECT_EQ(Qor_GetInterfaceType(open(1)), static_cast<uint32_t>(QOR_INTERFACE_UNKNOWN));
  EXPECT_EQ(Qor_GetInterfaceType(open(3)), static_cast<uint32_t>(QOR_INTERFACE_UNKNOWN));
  EXPECT_EQ(Qor_GetInterfaceType(open(2)), static_cast<uint32_t>(QOR_INTERFACE_CAN));
}

TEST_F(Open, ABusyFirmwareIsAskedOnceMore) {
  static std::atomic<int> asked; // static: the device's handler may run after this body
  asked = 0;
  device_->onCommand(kIdentity, [&](const ReceivedFrame& frame) -> Reply {
    if (asked++ == 0) return frame.negativeAcknowledge(20, "busy");
    return frame.response(identityAnswer(61, false, {{kCanFirmwareCode, 1}}));
  });
  const uint32_t port = open();
  EXPECT_EQ(Qor_GetInterfaceType(port), static_cast<uint32_t>(QOR_INTERFACE_CAN));
  EXPECT_EQ(Qor_GetLastErrorCode(), 0u);
  auto second = device_->recorder().frames().back();
  EXPECT_EQ(second.parameterWord(4), 1u);
}

TEST_F(Open, DescriptorsAndFlagsAreCheckedFirst) {
  Qor_InterfaceInfo_t info = ethernetDescriptor(kDeviceAddress, kDevicePort);
  uint32_t port = 7;
  info.flags = 0x8 | QOR_INTERFACE_FLAG_ETHERNET;
  EXPECT_EQ(Qor_OpenInterface(&info, &port), QOR_ERR_API_UNKNOWN_FLAG);
  EXPECT_EQ(port, 7u); // left as it was
  EXPECT_STREQ(Qor_GetLastErrorDescription(), "0x02000209 - API - unknown flag - interface info flag value '0x000c' is unknown");
  info = ethernetDescriptor(kDeviceAddress, kDevicePort);
  info.deviceNumber |= 1u << 16; // the reserved half of an Ethernet device number
  EXPECT_EQ(Qor_OpenInterface(&info, &port), QOR_ERR_API_INVALID_PARAMETER);
  EXPECT_EQ(port, QOR_NO_PORT);
  EXPECT_STREQ(Qor_GetLastErrorDescription(), "0x02000206 - API - invalid parameter - invalid reserved byte value");
  info = ethernetDescriptor(kDeviceAddress, kDevicePort);
  port = 7;
  EXPECT_EQ(Qor_OpenInterface2(8, &info, &port), QOR_ERR_API_UNKNOWN_FLAG);
  EXPECT_EQ(port, QOR_NO_PORT);
  info = ethernetDescriptor("127.0.0.256", kDevicePort);
  EXPECT_EQ(Qor_OpenInterface(&info, &port), QOR_ERR_API_INVALID_PARAMETER);
  EXPECT_TRUE(device_->recorder().frames().empty()); // nothing reached the device
}

} // namespace
} // namespace qor::test
