// The automatic bus configuration on the whole road: a configuration file, the daemon as a process and an emulated
// Ethernet interface, whose recorder shows each bus's set-up record as it arrived.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "hex_bytes.hpp"
#include "interface_config_fixture.hpp"
#include "qor_api.h"
#include "qor_emulator/device.hpp"
#include "qor_emulator/tcp_front_end.hpp"
#include "qor_test/daemon_process.hpp"
#include "qor_test/files.hpp"

namespace qor::test {
namespace {

using namespace std::chrono_literals;
using emulator::Bytes;
using emulator::ReceivedFrame;
using emulator::Reply;

constexpr char kAddress[] = "127.0.0.3";
constexpr uint16_t kTcpPort = 5135;
constexpr uint32_t kSerialNumber = 4712;
constexpr uint32_t kEthernetModel = 58;
constexpr uint32_t kEthernetModelCode = 61;
constexpr uint8_t kSerialNumberQuery = 0x0C;
constexpr uint8_t kIdentityCommand = 0xFF;

struct Sent {
  uint8_t command;
  uint8_t requestKind;
  Bytes parameters;
  bool operator==(const Sent&) const = default;
};

void PrintTo(const Sent& sent, std::ostream* out) {
  *out << "command 0x" << std::hex << int{sent.command} << " kind " << int{sent.requestKind} << " {";
  for (uint8_t byte : sent.parameters) *out << ' ' << int{byte};
  *out << " }";
}

class AutomaticConfigurationRoad : public ::testing::Test {
 protected:
  // An interface of this firmware code as interface 1; set-up exchanges are answered with their control byte.
  void start(uint8_t firmwareInterfaceCode, uint16_t tcpPort = kTcpPort, uint32_t model = kEthernetModel,
             uint32_t modelCode = kEthernetModelCode) {
    tcpPort_ = tcpPort;
    model_ = model;
    emulator::Identity identity;
    identity.deviceCode = modelCode;
    identity.interfaces = {{firmwareInterfaceCode, 1}};
    device_ = std::make_unique<emulator::Device>(emulator::DeviceConfig{kSerialNumber, model, identity});
    for (uint8_t command : {0x1E, 0x20}) {
      device_->onCommand(command, [](const ReceivedFrame& frame) -> Reply { return frame.response(Bytes{}, 1); });
    }
    network_ = std::make_unique<emulator::TcpFrontEnd>(*device_, kAddress, tcpPort_);
    network_->start();
    daemon_ = std::make_unique<DaemonProcess>(QORAPID_PROGRAM);
    ASSERT_TRUE(connectLibraryToDaemon());
  }

  // Closes the port and stops daemon and device, so that a case can start them anew.
  void stop() {
    if (port_ != QOR_NO_PORT) Qor_CloseInterface(port_);
    port_ = QOR_NO_PORT;
    daemon_.reset();
    network_.reset();
  }
  void TearDown() override { stop(); }

  uint32_t open() {
    Qor_InterfaceInfo_t info{};
    info.hostInterfaceType = model_;
    info.controllerNumber = 1;
    info.interfaceNumber = 1;
    info.flags = QOR_INTERFACE_FLAG_ETHERNET;
    info.deviceNumber = tcpPort_;
    memcpy(info.ipAddress, kAddress, sizeof kAddress);
    constexpr uint32_t kWithoutDedicatedFirmware = 4;
    return Qor_OpenInterface2(kWithoutDedicatedFirmware, &info, &port_);
  }

  // What the device received after the daemon's and the library's identification.
  std::vector<Sent> sentAfterIdentity() const {
    std::vector<Sent> sent;
    for (const ReceivedFrame& frame : device_->recorder().frames()) {
      const uint8_t command = frame.header().command;
      if (command == kSerialNumberQuery || command == kIdentityCommand) continue;
      const Bytes parameters(frame.parameters().begin(), frame.parameters().end());
      sent.push_back({command, frame.header().requestKind, parameters});
    }
    return sent;
  }

  static void writeConfiguration(const std::string& identifier, const std::string& values) {
    const std::string element = "<Interface id=\"" + identifier +
                                "\"><EnableAutomaticConfiguration>1</EnableAutomaticConfiguration>" + values +
                                "</Interface>";
    ASSERT_TRUE(writeFile(ConfiguredFile::kPath, "<Interfaces><Configuration/>" + element + "</Interfaces>"));
  }

  ConfiguredFile configured_;
  std::unique_ptr<emulator::Device> device_;
  std::unique_ptr<emulator::TcpFrontEnd> network_;
  std::unique_ptr<DaemonProcess> daemon_;
  uint32_t port_ = QOR_NO_PORT;
  uint16_t tcpPort_ = kTcpPort;
  uint32_t model_ = kEthernetModel;
};

TEST_F(AutomaticConfigurationRoad, EachBusRecordArrivesByteExact) {
  const struct {
    const char* name;
    uint8_t firmwareInterfaceCode;
    const char* identifier;
    const char* values;
    std::vector<Sent> sent;
  } cases[] = {
      {"CAN", 2, "4712_Ethernet_1_1_CAN",
       "<EnableBlinking>1</EnableBlinking><BaudRate>500000</BaudRate><IdMode>1</IdMode><Acknowledge>0</Acknowledge>",
       {{0x12, QOR_REQUEST_ACKNOWLEDGE, hex("00 01 01 01 00 00 00 00")},
        {0x1E, QOR_REQUEST_NO_ACKNOWLEDGE, hex("03 00 00 00 20 A1 07 00 0*12")}}},
      {"LIN", 3, "4712_Ethernet_1_1_LIN",
       "<EnableBlinking>1</EnableBlinking><BaudRate>19200</BaudRate><EnableMasterTask>1</EnableMasterTask>"
       "<BreakTime>13</BreakTime><BreakDelimiterTime>1</BreakDelimiterTime><EnableSlaveTask>0</EnableSlaveTask>"
       "<EnableBaudRateDetection>0</EnableBaudRateDetection>",
       {{0x12, QOR_REQUEST_ACKNOWLEDGE, hex("00 00 00 01")},
        {0x14, QOR_REQUEST_ACKNOWLEDGE, hex("01 00 00 00 00 4B 00 00 CB 69 00 00 23 08 00 00 0*4 0*4 0*4 0*8")}}},
      {"FlexRay", 13, "4712_Ethernet_1_1_FLEXRAY",
       "<SingleChannel>1</SingleChannel><ControllerType>1</ControllerType><TransceiverType>0</TransceiverType>",
       {{0x20, QOR_REQUEST_NO_ACKNOWLEDGE, hex("0*4 01 00 00 00 66 85 01 00")}}},
  };
  uint16_t tcpPort = kTcpPort;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    start(c.firmwareInterfaceCode, tcpPort++); // a port of its own: the last one may linger
    writeConfiguration(c.identifier, c.values);
    ASSERT_EQ(open(), 0u) << Qor_GetLastErrorDescription();
    EXPECT_EQ(sentAfterIdentity(), c.sent);
    stop();
  }
}

TEST_F(AutomaticConfigurationRoad, WithoutAnEntryNothingIsSent) {
  start(2);
  writeConfiguration("4712_Ethernet_1_2_CAN", "<BaudRate>500000</BaudRate>"); // another interface's entry
  ASSERT_EQ(open(), 0u) << Qor_GetLastErrorDescription();
  EXPECT_EQ(Qor_GetInterfaceType(port_), uint32_t{QOR_INTERFACE_CAN});
  EXPECT_TRUE(sentAfterIdentity().empty());
}

TEST_F(AutomaticConfigurationRoad, ARefusedConfigurationFailsTheOpen) {
  const char* can = "<EnableBlinking>1</EnableBlinking><BaudRate>500000</BaudRate><Acknowledge>0</Acknowledge>";
  const struct {
    const char* name;
    uint8_t firmwareInterfaceCode;
    const char* identifier;
    std::string values;
    bool firmwareRefuses;
    uint32_t result;
    const char* error; // nullptr: the firmware's own
    std::vector<Sent> sent;
  } cases[] = {
      {"CAN: identifier mode 256 is not mode 0", 2, "4712_Ethernet_1_1_CAN", std::string(can) + "<IdMode>256</IdMode>",
       false, 0x2020005, "0x02020005 - CAN - unknown mode - 256", {}},
      {"CAN: a value missing", 2, "4712_Ethernet_1_1_CAN", "<EnableBlinking>1</EnableBlinking><IdMode>1</IdMode>",
       false, 0x20B0003, "0x020B0003 - XML - node not found - 'BaudRate' was not found", {}},
      {"CAN: the firmware refuses the initialisation", 2, "4712_Ethernet_1_1_CAN",
       std::string(can) + "<IdMode>1</IdMode>", true, 0x42, nullptr,
       {{0x12, QOR_REQUEST_ACKNOWLEDGE, hex("00 01 01 01 00 00 00 00")}}},
      {"LIN: a master at 0 baud", 3, "4712_Ethernet_1_1_LIN",
       "<EnableBlinking>1</EnableBlinking><BaudRate>0</BaudRate><EnableMasterTask>1</EnableMasterTask>"
       "<BreakTime>13</BreakTime><BreakDelimiterTime>1</BreakDelimiterTime><EnableSlaveTask>0</EnableSlaveTask>"
       "<EnableBaudRateDetection>0</EnableBaudRateDetection>",
       false, 0x2050007, "0x02050007 - LIN - invalid parameter - baudRate is zero", {}},
      {"FlexRay: controller type 257 is not type 1", 13, "4712_Ethernet_1_1_FLEXRAY",
       "<SingleChannel>1</SingleChannel><ControllerType>257</ControllerType><TransceiverType>0</TransceiverType>",
       false, 0x2070007, "0x02070007 - FLEXRAY - invalid parameter - controller type '0x101' is unknown", {}},
  };
  uint16_t tcpPort = kTcpPort;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    start(c.firmwareInterfaceCode, tcpPort++);
    if (c.firmwareRefuses) {
      device_->onCommand(0x12, [](const ReceivedFrame& f) { return Reply(f.negativeAcknowledge(0x42, "not now")); });
    }
    writeConfiguration(c.identifier, c.values);
    EXPECT_EQ(open(), c.result);
    EXPECT_EQ(port_, QOR_NO_PORT); // closed again
    if (c.error != nullptr) {
      EXPECT_STREQ(Qor_GetLastErrorDescription(), c.error);
    }
    EXPECT_EQ(sentAfterIdentity(), c.sent);
    stop();
  }
}

Reply lvdsPart(const ReceivedFrame& probe, bool present) {
  Bytes data(probe.parameters().begin() + 1, probe.parameters().end());
  data.resize(11, 0);
  const uint32_t word = present ? 1 : 0;
  memcpy(data.data() + 7, &word, sizeof word);
  return probe.response(data, 1);
}

TEST_F(AutomaticConfigurationRoad, LvdsProbesFindGrabberAndGenerator) {
  constexpr uint32_t kLvdsModel = 78;
  constexpr uint32_t kLvdsModelCode = 74;
  constexpr uint8_t kLvdsFirmwareCode = 18;
  const Bytes askGrabber = hex("04 00 00 00 01 00 00 00");
  const Bytes askGenerator = hex("04 0*7");
  const Sent modeOne{0x63, QOR_REQUEST_NO_ACKNOWLEDGE, hex("00 00 00 00 10 00 01 00 01")};
  using Probe = std::function<Reply(const ReceivedFrame&)>;
  const struct {
    const char* name;
    Probe probe;
    std::vector<Sent> sent;
    bool grabber;
    bool generator;
  } cases[] = {
      {"a grabber", [](const ReceivedFrame& f) { return lvdsPart(f, f.parameterWord(4) == 1); },
       {{0x21, QOR_REQUEST_NO_ACKNOWLEDGE, askGrabber}, modeOne, {0x21, QOR_REQUEST_NO_ACKNOWLEDGE, askGenerator}},
       true, false},
      {"a controller that cannot tell counts as a grabber",
       [](const ReceivedFrame& f) { return Reply(f.negativeAcknowledge(0x42, "unknown sub-function")); },
       {{0x21, QOR_REQUEST_NO_ACKNOWLEDGE, askGrabber}, modeOne, {0x21, QOR_REQUEST_NO_ACKNOWLEDGE, askGenerator}},
       true, false},
      {"a generator", [](const ReceivedFrame& f) { return lvdsPart(f, f.parameterWord(4) == 0); },
       {{0x21, QOR_REQUEST_NO_ACKNOWLEDGE, askGrabber}, {0x21, QOR_REQUEST_NO_ACKNOWLEDGE, askGenerator}}, false,
       true},
  };
  uint16_t tcpPort = kTcpPort;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    start(kLvdsFirmwareCode, tcpPort++, kLvdsModel, kLvdsModelCode);
    device_->onCommand(0x21, c.probe);
    device_->onCommand(0x63, [](const ReceivedFrame& frame) -> Reply { return frame.response(Bytes{}, 1); });
    ASSERT_EQ(open(), 0u) << Qor_GetLastErrorDescription();
    EXPECT_EQ(Qor_GetInterfaceType(port_), uint32_t{QOR_INTERFACE_LVDS});
    EXPECT_EQ(sentAfterIdentity(), c.sent);
    EXPECT_EQ(Qor_Lvds_IsGrabber(port_), c.grabber);
    EXPECT_EQ(Qor_Lvds_IsGenerator(port_), c.generator);
    EXPECT_EQ(Qor_Lvds_IsAutoEmptyEnabled(port_), c.grabber); // its frames are collected from the start
    stop();
  }
}

// MOST has no automatic configuration; its node properties are set by the bus library through the core.
TEST_F(AutomaticConfigurationRoad, MostNodeProperties) {
  constexpr uint8_t kMostFirmwareCode = 15;
  start(kMostFirmwareCode);
  // Static: the device's handler may still run after this body has returned.
  static std::atomic<bool> longAnswer;
  longAnswer = false;
  device_->onCommand(0x20, [&](const ReceivedFrame& f) { return f.response(Bytes(longAnswer ? 16 : 3, 0), 1); });
  ASSERT_EQ(open(), 0u) << Qor_GetLastErrorDescription();
  EXPECT_EQ(Qor_InterfaceConfig_Most_Node_SetProperties(port_, 2, 0, 0, 0, 0, 0), 0x2040005u);
  EXPECT_STREQ(Qor_GetLastErrorDescription(), "0x02040005 - MOST - unknown mode - Unknown clockMode: 2");
  EXPECT_TRUE(sentAfterIdentity().empty());
  EXPECT_EQ(Qor_InterfaceConfig_Most_Node_SetProperties(port_, 1, 2, 1, 0, 0x1234, 0xABCD), 0u)
      << Qor_GetLastErrorDescription();
  const Sent properties{0x20, QOR_REQUEST_NO_ACKNOWLEDGE, hex("0*4 01 02 01 00 34 12 CD AB")};
  EXPECT_EQ(sentAfterIdentity(), std::vector<Sent>{properties});
  longAnswer = true; // 17 bytes: more than the 16 a node answer may have
  EXPECT_EQ(Qor_InterfaceConfig_Most_Node_SetProperties(port_, 1, 2, 1, 0, 0x1234, 0xABCD), 0x2000201u);
}

TEST_F(AutomaticConfigurationRoad, OnlyTheFirstLvdsGenerationHasOne) {
  start(18, kTcpPort, 78, 74);
  device_->onCommand(0x21, [](const ReceivedFrame& f) { return lvdsPart(f, false); });
  writeConfiguration("4712_Ethernet_1_1_LVDS", "<Width>640</Width>");
  EXPECT_EQ(open(), 0x2060009u);
  EXPECT_STREQ(Qor_GetLastErrorDescription(),
               "0x02060009 - LVDS - wrong host device type - automatic interface configuration not available");
  EXPECT_EQ(port_, QOR_NO_PORT);
}

} // namespace
} // namespace qor::test
