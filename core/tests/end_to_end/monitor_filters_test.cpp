// Every bus filter of the monitors, end to end: which frames each bus takes out of the answer stream, into which
// instance, from which byte on, in ring and in callback mode.
#include <gtest/gtest.h>

#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

#include "qor_emulator/frame.hpp"
#include "qor_test/interface_fixture.hpp"

namespace qor::test {
namespace {

using namespace std::chrono_literals;
using emulator::Bytes;
using emulator::ReceivedFrame;
using emulator::Reply;

// The interfaces of the emulated device, one per bus with a monitor, by the firmware's codes.
struct Bus {
  const char* name;
  uint8_t firmwareCode;
  uint8_t interfaceNumber;
};
constexpr Bus kCan{"CAN", 2, 1}, kLin{"LIN", 3, 2}, kKLine{"K-Line", 4, 3}, kMost{"MOST", 15, 4},
    kFlexRay{"FlexRay", 13, 5}, kEthernet{"Ethernet", 24, 6};

struct FilterRow {
  Bus bus;
  uint8_t command;
  uint8_t type;
  Bytes data;       // the frame's data, from frame byte 12
  uint8_t instance; // the instance that takes it
  size_t offset;    // the frame byte where the monitor data begin
};

std::mutex gCallbackMutex;
Bytes gCallbackData;

class MonitorFilters : public InterfaceFixture {
protected:
  void SetUp() override {
    InterfaceFixture::SetUp();
    device_.reset();
    network_.reset();
    emulator::Identity identity;
    identity.deviceCode = 50; // the firmware's code of model 38, whose MOST controller has a monitor
    for (const Bus& bus : {kCan, kLin, kKLine, kMost, kFlexRay, kEthernet}) {
      identity.interfaces.push_back({bus.firmwareCode, bus.interfaceNumber});
    }
    device_ = std::make_unique<emulator::Device>(emulator::DeviceConfig{kDeviceSerial, kModel, identity});
    // The monitors' stop commands are answered with their control bytes, or acknowledged.
    for (uint8_t command : {0x21, 0x50, 0x54}) {
      device_->onCommand(command, [](const ReceivedFrame& frame) -> Reply {
        if (frame.header().requestKind == QOR_REQUEST_ACKNOWLEDGE) return frame.acknowledge();
        return frame.response(Bytes{}, 2);
      });
    }
    network_ = std::make_unique<emulator::TcpFrontEnd>(*device_, kDeviceAddress, kDevicePort);
    network_->start();
  }

  uint32_t openBus(const Bus& bus) {
    const Qor_InterfaceInfo_t info = ethernetDescriptor(kDeviceAddress, kDevicePort, bus.interfaceNumber, kModel);
    uint32_t port = QOR_NO_PORT;
    EXPECT_EQ(Qor_OpenInterface(&info, &port), 0u) << bus.name << ": " << Qor_GetLastErrorDescription();
    return port;
  }

  // Sends the frame and, behind it, a command whose answer shows that the frame went through.
  void deliver(uint32_t port, const FilterRow& row) {
    sendUnsolicited(port, row.type, row.command, row.data);
    device_->onCommand(0x42, [](const ReceivedFrame& frame) -> Reply { return frame.response(Bytes{}); });
    uint32_t size = 0;
    ASSERT_EQ(Qor_CommandWithResponse(port, 0x42, nullptr, 0, nullptr, &size), 0u);
  }

  static constexpr uint32_t kModel = 38;
};

// Bytes 12 and on of a frame whose first data bytes are these, followed by a recognisable tail.
Bytes frameData(Bytes head, size_t length) {
  head.resize(length, 0);
  for (size_t i = 0; i < 3; ++i) head.push_back(static_cast<uint8_t>(0xA0 + i));
  return head;
}

TEST_F(MonitorFilters, EachBusTakesItsFramesIntoItsInstance) {
  const FilterRow rows[] = {
      {kCan, 0xF1, QOR_FRAME_RESPONSE, frameData({}, 4), 0, 16},
      {kCan, 0x50, QOR_FRAME_RESPONSE, frameData({14, 2}, 8), 2, 20},
      {kCan, 0x50, QOR_FRAME_RESPONSE, frameData({15, 3}, 4), 3, 16},
      {kLin, 0xF1, QOR_FRAME_RESPONSE, frameData({}, 4), 0, 16},
      {kKLine, 0x54, QOR_FRAME_RESPONSE, frameData({5}, 1), 0, 12},
      {kKLine, 0x54, QOR_FRAME_RESPONSE, frameData({6}, 1), 0, 12},
      {kMost, 0x55, QOR_FRAME_RESPONSE, frameData({}, 0), 0, 12},
      {kFlexRay, 0xF1, QOR_FRAME_RESPONSE, frameData({}, 0), 0, 12},
      {kFlexRay, 0x21, QOR_FRAME_RESPONSE, frameData({3, 1}, 8), 1, 20},
      {kEthernet, 0x50, QOR_FRAME_RESPONSE, frameData({3, 2}, 2), 2, 12},
  };
  for (const FilterRow& row : rows) {
    for (const bool callbackMode : {false, true}) {
      SCOPED_TRACE(std::string(row.bus.name) + " command " + std::to_string(row.command) +
                   (callbackMode ? " callback" : " ring"));
      const uint32_t port = openBus(row.bus);
      ASSERT_EQ(Qor_Monitor_InstanceId_Set(port, row.instance), 0u);
      {
        std::lock_guard lock(gCallbackMutex);
        gCallbackData.clear();
      }
      const uint32_t init = callbackMode
                                ? Qor_Monitor_Init(port, QOR_MONITOR_CALLBACK_MODE,
                                                   [](uint32_t, void*, const uint8_t* data, uint32_t length) {
                                                     std::lock_guard lock(gCallbackMutex);
                                                     gCallbackData.assign(data, data + length);
                                                   },
                                                   nullptr, 0, nullptr)
                                : Qor_Monitor_Init(port, 0, nullptr, nullptr, 0, nullptr);
      ASSERT_EQ(init, 0u) << Qor_GetLastErrorDescription();
      deliver(port, row);
      const Bytes expected(row.data.begin() + static_cast<long>(row.offset - QOR_FRAME_HEADER_SIZE), row.data.end());
      if (callbackMode) {
        std::lock_guard lock(gCallbackMutex);
        EXPECT_EQ(gCallbackData, expected);
      } else {
        uint8_t buffer[256];
        uint32_t size = sizeof buffer;
        uint8_t lost = 0;
        ASSERT_EQ(Qor_Monitor_Read(port, row.instance, buffer, &size, &lost), 0u);
        EXPECT_EQ(Bytes(buffer, buffer + size), expected);
      }
      EXPECT_EQ(Qor_Monitor_Close(port, row.instance), 0u) << Qor_GetLastErrorDescription();
      EXPECT_EQ(Qor_CloseInterface(port), 0u);
    }
  }
}

TEST_F(MonitorFilters, FramesOfOtherInstancesAndOtherKindsGoOnToTheAnswers) {
  const uint32_t port = openBus(kEthernet);
  ASSERT_EQ(Qor_Monitor_Init(port, 0, nullptr, nullptr, 0, nullptr), 0u);
  ASSERT_EQ(Qor_Fw_Buffer_Enable(port, 0), 0u);
  deliver(port, {kEthernet, 0x50, QOR_FRAME_RESPONSE, frameData({3, 1}, 2), 1, 12}); // instance 1 is not started
  deliver(port, {kEthernet, 0x50, QOR_FRAME_RESPONSE, frameData({4, 0}, 2), 0, 12}); // not a monitor frame
  uint8_t buffer[64];
  uint32_t size = sizeof buffer;
  uint8_t lost = 0;
  ASSERT_EQ(Qor_Monitor_Read(port, 0, buffer, &size, &lost), 0u);
  EXPECT_EQ(size, 0u);
  for (int kept = 0; kept < 2; ++kept) {
    uint8_t command = 0, type = 0;
    size = sizeof buffer;
    ASSERT_EQ(Qor_Fw_Read(port, &command, &lost, &type, &size, buffer), 0u);
    EXPECT_EQ(command, 0x50);
  }
  // K-Line monitor frames are answers as well: they reach the buffer too.
  const uint32_t kline = openBus(kKLine);
  ASSERT_EQ(Qor_Monitor_Init(kline, 0, nullptr, nullptr, 0, nullptr), 0u);
  ASSERT_EQ(Qor_Fw_Buffer_Enable(kline, 0), 0u);
  deliver(kline, {kKLine, 0x54, QOR_FRAME_RESPONSE, frameData({5}, 1), 0, 12});
  uint8_t command = 0, type = 0;
  size = sizeof buffer;
  ASSERT_EQ(Qor_Fw_Read(kline, &command, &lost, &type, &size, buffer), 0u);
  EXPECT_EQ(command, 0x54);
  size = sizeof buffer;
  ASSERT_EQ(Qor_Monitor_Read(kline, 0, buffer, &size, &lost), 0u);
  EXPECT_EQ(size, 4u);
}

} // namespace
} // namespace qor::test
