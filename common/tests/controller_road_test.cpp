// The controller services on the whole road: this process's library, the daemon as a process and an emulated
// Ethernet interface, whose recorder shows what each call sent.
#include <dirent.h>
#include <gtest/gtest.h>

#include <condition_variable>
#include <cstring>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "hex_bytes.hpp"
#include "interface_config_fixture.hpp"
#include "qor_api.h"
#include "qor_client_state.h"
#include "qor_common_controller.h"
#include "qor_emulator/frame.hpp"
#include "qor_test/files.hpp"
#include "qor_test/interface_fixture.hpp"

namespace qor::test {
namespace {

using namespace std::chrono_literals;
using emulator::Bytes;
using emulator::ReceivedFrame;
using emulator::Reply;

constexpr uint32_t kUnknownFlag = 0x02010004;
constexpr uint32_t kInvalidParameter = 0x02010007;
constexpr uint32_t kShortAnswer = 0x02010003;
constexpr uint32_t kBufferUndersized = 0x02010006;
constexpr uint32_t kNoLock = 0x0201000A;
constexpr uint32_t kInvalidFirmwareVersion = 0x0201000B;
constexpr uint32_t kInitializationFailed = 0x02010101;
constexpr uint32_t kDeviceNotConnected = 0x02010102;
constexpr uint32_t kFunctionNotAvailable = 0x02010108;
constexpr uint32_t kFirmwareBusy = 0x1F;

// What the device received: command and parameters.
struct Sent {
  uint8_t command;
  Bytes parameters;
  bool operator==(const Sent&) const = default;
};

void PrintTo(const Sent& sent, std::ostream* out) {
  *out << "command 0x" << std::hex << int{sent.command} << " {";
  for (uint8_t byte : sent.parameters) *out << ' ' << int{byte};
  *out << " }";
}

Bytes textBytes(std::string_view text) { return Bytes(text.begin(), text.end()); }

class ControllerRoad : public InterfaceFixture {
 protected:
  void SetUp() override {
    InterfaceFixture::SetUp();
    port_ = open();
    device_->recorder().clear();
  }

  std::vector<Sent> sent() const {
    std::vector<Sent> all;
    for (const ReceivedFrame& frame : device_->recorder().frames()) {
      all.push_back({frame.command(), Bytes(frame.parameters().begin(), frame.parameters().end())});
    }
    return all;
  }

  void answer(uint8_t command, Bytes data, size_t echoedControlBytes = 0) {
    device_->onCommand(command, [data, echoedControlBytes](const ReceivedFrame& frame) -> Reply {
      return frame.response(data, echoedControlBytes);
    });
  }
  void refuse(uint8_t command) {
    device_->onCommand(command, [](const ReceivedFrame& frame) -> Reply {
      return frame.negativeAcknowledge(kFirmwareBusy, "busy");
    });
  }

  static std::string lastText() { return Qor_GetLastErrorDescription(); }

  uint32_t port_ = QOR_NO_PORT;
};

// ---- versions and texts ----

TEST_F(ControllerRoad, FirmwareVersionNeedsRoomForTheWholeText) {
  const std::string version = "QorFW 4.2 date: Mar 14 2019";
  answer(0xF0, textBytes(version));
  char buffer[64];
  std::memset(buffer, '#', sizeof buffer);
  uint32_t length = static_cast<uint32_t>(version.size()) - 1;
  EXPECT_EQ(Qor_Common_GetFirmwareVersion(port_, buffer, &length), kBufferUndersized);
  EXPECT_EQ(lastText(), "0x02010006 - COMMON - response buffer undersized - Bytes needed: 27");
  EXPECT_EQ(buffer[0], '#');
  length = static_cast<uint32_t>(version.size());
  ASSERT_EQ(Qor_Common_GetFirmwareVersion(port_, buffer, &length), 0u) << lastText();
  EXPECT_EQ(length, version.size());
  EXPECT_EQ(std::string(buffer, length), version);
  EXPECT_EQ(buffer[length], '#');  // no terminator
  EXPECT_EQ(sent(), (std::vector<Sent>(2, Sent{0xF0, {}})));
}

TEST_F(ControllerRoad, FirmwareErrorTextNeedsRoomForTheWholeAnswer) {
  device_->setErrorText(0x1234, "value too large");  // answered with its NUL: 4 + 16 bytes
  char buffer[64] = {};
  uint32_t length = 19;
  EXPECT_EQ(Qor_Common_GetFirmwareErrorDescription(port_, 0x1234, buffer, &length), kBufferUndersized);
  EXPECT_EQ(lastText(), "0x02010006 - COMMON - response buffer undersized - Bytes needed: 20");
  length = 20;
  ASSERT_EQ(Qor_Common_GetFirmwareErrorDescription(port_, 0x1234, buffer, &length), 0u) << lastText();
  EXPECT_EQ(length, 16u);
  EXPECT_STREQ(buffer, "value too large");
  EXPECT_EQ(sent().back(), (Sent{0xFD, hex("34 12 00 00")}));
}

TEST_F(ControllerRoad, AnAnswerTooShortForTheErrorCodeIsRefused) {
  answer(0xFD, {1, 2});
  char buffer[64];
  std::memset(buffer, '#', sizeof buffer);
  uint32_t length = sizeof buffer;
  EXPECT_EQ(Qor_Common_GetFirmwareErrorDescription(port_, 7, buffer, &length), kShortAnswer);
  EXPECT_EQ(length, sizeof buffer);
  EXPECT_EQ(buffer[0], '#');
}

// ---- refusals before anything is sent, and the firmware's refusals passed through ----

TEST_F(ControllerRoad, CallerFaultsAreRefusedBeforeAnythingIsSent) {
  Qor_Common_CurrentTransceiver_t current;
  Qor_Common_InterfaceNumberResult_t number;
  uint32_t length = 4;
  const struct {
    const char* name;
    std::function<uint32_t()> call;
    uint32_t code;
    const char* text;
  } cases[] = {
      {"version without buffer", [&] { return Qor_Common_GetFirmwareVersion(port_, nullptr, &length); },
       kInvalidParameter, "'buffer' is NULL"},
      {"controller info without record", [&] { return Qor_Common_GetControllerInfo(port_, nullptr); },
       kInvalidParameter, "'info' is NULL"},
      {"current transceiver with a flag",
       [&] { return Qor_Common_GetTransceiverInfoForCurrentInterface(port_, 1, &current); }, kUnknownFlag, ""},
      {"interface number with a flag",
       [&] {
         const Qor_Common_InterfaceNumberRequest_t request{1, QOR_INTERFACE_CAN, 0, 0};
         return Qor_Common_GetInterfaceNumber(port_, &request, &number);
       },
       kUnknownFlag, ""},
      {"interface number with reserved bytes",
       [&] {
         const Qor_Common_InterfaceNumberRequest_t request{0, QOR_INTERFACE_CAN, 0, 0x100};
         return Qor_Common_GetInterfaceNumber(port_, &request, &number);
       },
       kInvalidParameter, "reserved bytes have to be zero"},
      {"transceivers of a bad handle", [&] { return Qor_Common_GetTransceiverInfo(77, nullptr); },
       QOR_ERR_API_INVALID_PORT_HANDLE, nullptr},
      {"async callback missing", [&] { return Qor_Common_GetInterfaceInfo_Async_AddCallback(port_, nullptr); },
       kInvalidParameter, "'callback' is NULL"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.call(), c.code) << c.name;
    if (c.text != nullptr) {
      const std::string text = lastText();
      EXPECT_EQ(text.substr(text.size() - std::strlen(c.text)), c.text) << c.name << ": " << text;
    }
  }
  EXPECT_TRUE(sent().empty());
}

TEST_F(ControllerRoad, FirmwareRefusalsComeBackUnchanged) {
  for (uint8_t command : {0xF0, 0xFD, 0xFE, 0xFF}) refuse(command);
  Qor_Common_ControllerInfo_t controller;
  Qor_Common_InterfaceInfo_t interface;
  Qor_Common_TransceiverInfo_t transceivers;
  char text[64];
  uint32_t length = sizeof text;
  EXPECT_EQ(Qor_Common_GetFirmwareVersion(port_, text, &length), kFirmwareBusy);
  length = sizeof text;
  EXPECT_EQ(Qor_Common_GetFirmwareErrorDescription(port_, 1, text, &length), kFirmwareBusy);
  EXPECT_EQ(Qor_Common_GetControllerInfo(port_, &controller), kFirmwareBusy);
  EXPECT_EQ(Qor_Common_GetInterfaceInfo(port_, &interface), kFirmwareBusy);
  EXPECT_EQ(Qor_Common_GetTransceiverInfo(port_, &transceivers), kFirmwareBusy);  // at its version step
  EXPECT_EQ(lastText(), "0x0000001F - FW - busy");
}

// ---- information ----

TEST_F(ControllerRoad, ControllerInfo) {
  // Words 0, 28 and 32; boot loader bit; type 2, subtype 3; four pairs, firmware type 5 without interface type.
  answer(0xFF, hex("01 00 00 00 01 0*3 02 03 0*18 1C 00 00 00 20 00 00 00 04 00 00 00 02 01 05 02 03 03 02 04"));
  Qor_Common_ControllerInfo_t info;
  ASSERT_EQ(Qor_Common_GetControllerInfo(port_, &info), 0u) << lastText();
  EXPECT_EQ(sent(), (std::vector<Sent>{{0xFF, hex("0*4")}}));
  EXPECT_EQ(info.hostInterfaceType, kEthernetModel);
  EXPECT_EQ(info.controllerType, 2);
  EXPECT_EQ(info.controllerSubtype, 3);
  EXPECT_EQ(info.bootLoaderRunning, 1);
  EXPECT_EQ(info.firstWord, 1u);
  EXPECT_EQ(info.secondWord, 0x1Cu);
  EXPECT_EQ(info.thirdWord, 0x20u);
  ASSERT_EQ(info.interfaceCount, 3u);
  EXPECT_EQ(info.interfaces[1].interfaceType, QOR_INTERFACE_LIN);
  EXPECT_EQ(info.interfaces[1].interfaceNumber, 3);
  EXPECT_EQ(info.interfaces[2].interfaceNumber, 4);

  answer(0xFF, hex("0*39"));
  EXPECT_EQ(Qor_Common_GetControllerInfo(port_, &info), kShortAnswer);
  EXPECT_EQ(info.interfaceCount, 3u);  // untouched
}

// The interface answer: LIN with a valid K-Line transceiver on channel 2, features CAN-only and common.
const Bytes kLinInterfaceAnswer =
    hex("03 05 00 00 0D F0 FE CA 03 0*3 02 09 03 01 01 0*3 03 00 00 00 02 01 01 01 03 02");

TEST_F(ControllerRoad, InterfaceInfoAndItsTransceiver) {
  answer(0xFE, kLinInterfaceAnswer);
  Qor_Common_InterfaceInfo_t info;
  ASSERT_EQ(Qor_Common_GetInterfaceInfo(port_, &info), 0u) << lastText();
  EXPECT_EQ(info.interfaceType, QOR_INTERFACE_KLINE);
  EXPECT_EQ(info.indexValid, 1);
  EXPECT_EQ(info.index, 5);
  EXPECT_EQ(info.interfaceWord, 0xCAFEF00Du);
  ASSERT_EQ(info.featureCount, 3u);
  EXPECT_EQ(info.features[0], 0x200200u);  // kind 2 on K-Line
  EXPECT_EQ(info.features[1], 0u);         // kind 1 is CAN's only
  EXPECT_EQ(info.features[2], 0x300001u);

  Qor_Common_CurrentTransceiver_t current;
  ASSERT_EQ(Qor_Common_GetTransceiverInfoForCurrentInterface(port_, 0, &current), 0u) << lastText();
  EXPECT_EQ(current.channel, 2);
  EXPECT_EQ(current.secondByte, 9);
  EXPECT_EQ(current.code, 0x300);
  EXPECT_EQ(current.flag, 1);
  EXPECT_EQ(sent(), (std::vector<Sent>(2, Sent{0xFE, {}})));

  Bytes withoutTransceiver = kLinInterfaceAnswer;
  withoutTransceiver[8] = 2;
  answer(0xFE, withoutTransceiver);
  EXPECT_EQ(Qor_Common_GetTransceiverInfoForCurrentInterface(port_, 0, &current), kFunctionNotAvailable);
  EXPECT_EQ(lastText(), "0x02010108 - COMMON - function not available - this funtion is not supported by the device");
  answer(0xFE, hex("0*16"));
  EXPECT_EQ(Qor_Common_GetTransceiverInfoForCurrentInterface(port_, 0, &current), kShortAnswer);
}

TEST_F(ControllerRoad, TransceiversOnlyFromFirmwareAfter2007) {
  // Two records announced, one sent: the count follows the answer.
  answer(0xFF, hex("02 00 00 01 01 02 01"), 1);
  const struct {
    const char* version;
    uint32_t code;
  } cases[] = {
      {"QorFW 1.0 date: Dec 31 2007", kInvalidFirmwareVersion},
      {"QorFW 1.1 date: Jan 01 2008", 0},
      {"QorFW 1.1 without a date", 0},
  };
  for (const auto& c : cases) {
    answer(0xF0, textBytes(c.version));
    device_->recorder().clear();
    Qor_Common_TransceiverInfo_t info{};
    ASSERT_EQ(Qor_Common_GetTransceiverInfo(port_, &info), c.code) << c.version << ": " << lastText();
    if (c.code != 0) {
      EXPECT_EQ(lastText(), "0x0201000B - COMMON - invalid firmware version - firmware is too old");
      EXPECT_EQ(sent(), (std::vector<Sent>{{0xF0, {}}})) << c.version;
      continue;
    }
    EXPECT_EQ(sent(), (std::vector<Sent>{{0xF0, {}}, {0xFF, hex("02 00 00 00")}})) << c.version;
    ASSERT_EQ(info.count, 1);
    EXPECT_EQ(info.transceivers[0].channel, 1);
    EXPECT_EQ(info.transceivers[0].flag, 1);
    EXPECT_EQ(info.transceivers[0].code, 0x101);
  }
  answer(0xF0, textBytes(std::string(1025, 'v')));
  Qor_Common_TransceiverInfo_t info{};
  EXPECT_EQ(Qor_Common_GetTransceiverInfo(port_, &info), kBufferUndersized);
  EXPECT_EQ(lastText(), "0x02010006 - COMMON - response buffer undersized - Bytes needed: 1025");
}

TEST_F(ControllerRoad, InterfaceNumber) {
  // The second LIN interface: firmware type 3, index 2; the answer repeats the query's first byte.
  device_->expect(0xFF, hex("05 00 00 00 03 02 00 00")).answer(hex("05 07"));
  device_->expect(0xFF, hex("05 00 00 00 03 02 00 00")).answer(hex("05"));
  const Qor_Common_InterfaceNumberRequest_t request{0, QOR_INTERFACE_LIN, 2, 0};
  Qor_Common_InterfaceNumberResult_t result;
  std::memset(&result, 0xEE, sizeof result);
  ASSERT_EQ(Qor_Common_GetInterfaceNumber(port_, &request, &result), 0u) << lastText();
  EXPECT_EQ(result.interfaceNumber, 7);
  EXPECT_EQ(result.reserved[0] | result.reserved[1] | result.reserved[2], 0);
  EXPECT_EQ(Qor_Common_GetInterfaceNumber(port_, &request, &result), kShortAnswer);
  EXPECT_EQ(result.interfaceNumber, 7);
}

// ---- controller control ----

TEST_F(ControllerRoad, InitInterfaceNeedsTheInterfaceLockAndClosesTheMonitor) {
  device_->onCommand(0x50, [](const ReceivedFrame& frame) -> Reply { return frame.response(Bytes{}, 1); });
  ASSERT_EQ(Qor_ReleaseLock(port_), 0u);
  device_->recorder().clear();
  EXPECT_EQ(Qor_Common_InitInterface(port_), kNoLock);
  EXPECT_EQ(Qor_Common_SoftwareReset(port_), kNoLock);
  EXPECT_TRUE(sent().empty());

  ASSERT_EQ(Qor_GetLock(port_), 0u) << lastText();
  ASSERT_EQ(Qor_Monitor_Init(port_, 0, nullptr, nullptr, 0, nullptr), 0u) << lastText();
  ASSERT_EQ(Qor_IsMonitorEnabled(port_), 1u);
  device_->recorder().clear();
  ASSERT_EQ(Qor_Common_InitInterface(port_), 0u) << lastText();
  EXPECT_EQ(Qor_IsMonitorEnabled(port_), 0u);
  const std::vector<Sent> commands = sent();
  ASSERT_FALSE(commands.empty());
  EXPECT_EQ(commands.front(), (Sent{0x12, {}}));
  EXPECT_EQ(commands.back().command, 0x50);  // the monitor's stop

  refuse(0x12);
  EXPECT_EQ(Qor_Common_InitInterface(port_), kFirmwareBusy);
}

TEST_F(ControllerRoad, SoftwareResetRestartsTheFirmware) {
  ASSERT_EQ(Qor_GetLockStatus(port_) & QOR_LOCK_CONTROLLER, uint32_t{QOR_LOCK_CONTROLLER});
  ASSERT_EQ(Qor_Common_SoftwareReset(port_), 0u) << lastText();
  // In this order: the state query between reset and start.
  EXPECT_EQ(sent(), (std::vector<Sent>{{0x10, {}}, {0xFF, {0}}, {0x03, {}}}));
}

TEST_F(ControllerRoad, SoftwareResetStopsAtEachFailingStep) {
  const Bytes bootLoader = hex("0*4 01 0*35");
  const struct {
    const char* name;
    std::function<void()> script;
    uint32_t code;
    std::vector<uint8_t> commands;
    const char* text;
  } cases[] = {
      {"reset refused", [&] { refuse(0x10); }, kFirmwareBusy, {0x10}, nullptr},
      {"boot loader runs", [&] { answer(0xFF, bootLoader); }, kInitializationFailed, {0x10, 0xFF},
       "0x02010101 - COMMON - initialization failed - controller is in bootloader"},
      {"state cut short", [&] { answer(0xFF, hex("0*4")); }, kShortAnswer, {0x10, 0xFF}, nullptr},
      {"start refused", [&] { refuse(0x03); }, kFirmwareBusy, {0x10, 0xFF, 0x03}, nullptr},
  };
  for (const auto& c : cases) {
    c.script();
    device_->recorder().clear();
    EXPECT_EQ(Qor_Common_SoftwareReset(port_), c.code) << c.name;
    std::vector<uint8_t> commands;
    for (const Sent& s : sent()) commands.push_back(s.command);
    EXPECT_EQ(commands, c.commands) << c.name;
    if (c.text != nullptr) {
      EXPECT_EQ(lastText(), c.text) << c.name;
    }
    for (uint8_t command : {0x10, 0x03}) device_->onCommand(command, [](const ReceivedFrame& f) -> Reply {
      return f.acknowledge();
    });
    answer(0xFF, hex("0*40"));
  }
}

// ---- the asynchronous triples ----

// What the application's callbacks received, waited for with a bound.
struct Inbox {
  std::mutex mutex;
  std::condition_variable arrived;
  std::vector<std::string> versions;
  std::vector<Qor_Common_ControllerInfo_t> controllers;
  std::vector<Qor_Common_InterfaceInfo_t> interfaces;
  std::vector<Qor_Common_TransceiverInfo_t> transceivers;
  std::vector<std::string> errors;

  template <class List, class Item>
  void put(List& list, const Item& item) {
    std::lock_guard lock(mutex);
    list.push_back(item);
    arrived.notify_all();
  }
  template <class List>
  bool waitFor(const List& list, size_t count, std::chrono::milliseconds timeout = 3s) {
    std::unique_lock lock(mutex);
    return arrived.wait_for(lock, timeout, [&] { return list.size() >= count; });
  }
};
Inbox gInbox;

void versionArrived(uint32_t, const uint8_t* text, uint32_t length) {
  gInbox.put(gInbox.versions, std::string(reinterpret_cast<const char*>(text), length));
}
void controllerArrived(uint32_t, const Qor_Common_ControllerInfo_t* info) { gInbox.put(gInbox.controllers, *info); }
void interfaceArrived(uint32_t, const Qor_Common_InterfaceInfo_t* info) { gInbox.put(gInbox.interfaces, *info); }
void transceiversArrived(uint32_t, const Qor_Common_TransceiverInfo_t* info) {
  gInbox.put(gInbox.transceivers, *info);
}
void errorArrived(uint32_t, uint32_t code, const char* text, uint32_t length) {
  gInbox.put(gInbox.errors, std::to_string(code) + " " + std::string(text, length));
}

TEST_F(ControllerRoad, AsynchronousAnswersReachTheApplicationDecoded) {
  answer(0xF0, textBytes("QorFW 5.0"));
  answer(0xFE, kLinInterfaceAnswer);
  device_->onCommand(0xFF, [](const ReceivedFrame& frame) -> Reply {
    if (frame.parameterWord(0) == 2) return frame.response(hex("01 00 00 04 08 02 01"), 1);
    return frame.response(hex("0*8 01 02 0*26 02 00 00 00 02 01 03 02"));
  });
  ASSERT_EQ(Qor_AsyncCommunication_Enable(port_, errorArrived), 0u) << lastText();
  ASSERT_EQ(Qor_Common_GetFirmwareVersion_Async_AddCallback(port_, versionArrived), 0u) << lastText();
  ASSERT_EQ(Qor_Common_GetInterfaceInfo_Async_AddCallback(port_, interfaceArrived), 0u) << lastText();

  ASSERT_EQ(Qor_Common_GetFirmwareVersion_Async(port_), 0u) << lastText();
  ASSERT_TRUE(gInbox.waitFor(gInbox.versions, 1));
  EXPECT_EQ(gInbox.versions[0], "QorFW 5.0");

  ASSERT_EQ(Qor_Common_GetInterfaceInfo_Async(port_), 0u) << lastText();
  ASSERT_TRUE(gInbox.waitFor(gInbox.interfaces, 1));
  EXPECT_EQ(gInbox.interfaces[0].interfaceType, QOR_INTERFACE_KLINE);
  EXPECT_EQ(gInbox.interfaces[0].featureCount, 3u);

  // The controller family has no key, so it covers the transceiver family's: the core keeps one of them at a time.
  ASSERT_EQ(Qor_Common_GetControllerInfo_Async_AddCallback(port_, controllerArrived), 0u) << lastText();
  EXPECT_EQ(Qor_Common_GetTransceiverInfo_Async_AddCallback(port_, transceiversArrived), 0x2000402u);
  ASSERT_EQ(Qor_Common_GetControllerInfo_Async(port_), 0u) << lastText();
  ASSERT_TRUE(gInbox.waitFor(gInbox.controllers, 1));
  EXPECT_EQ(gInbox.controllers[0].hostInterfaceType, kEthernetModel);
  EXPECT_EQ(gInbox.controllers[0].controllerType, 1);
  ASSERT_EQ(gInbox.controllers[0].interfaceCount, 2u);
  EXPECT_EQ(gInbox.controllers[0].interfaces[1].interfaceType, QOR_INTERFACE_LIN);
  ASSERT_EQ(Qor_Common_GetControllerInfo_Async_RemoveCallback(port_), 0u);

  ASSERT_EQ(Qor_Common_GetTransceiverInfo_Async_AddCallback(port_, transceiversArrived), 0u) << lastText();
  ASSERT_EQ(Qor_Common_GetTransceiverInfo_Async(port_), 0u) << lastText();
  ASSERT_TRUE(gInbox.waitFor(gInbox.transceivers, 1));
  ASSERT_EQ(gInbox.transceivers[0].count, 1);
  EXPECT_EQ(gInbox.transceivers[0].transceivers[0].code, 0x601);
  ASSERT_EQ(Qor_Common_GetTransceiverInfo_Async_RemoveCallback(port_), 0u);

  // Requests went out as the synchronous calls send them.
  EXPECT_EQ(sent(), (std::vector<Sent>{{0xF0, {}}, {0xFE, {}}, {0xFF, hex("0*4")}, {0xFF, hex("02 0*3")}}));

  // An interface answer too short to decode reaches the error callback instead.
  answer(0xFE, hex("0*10"));
  ASSERT_EQ(Qor_Common_GetInterfaceInfo_Async(port_), 0u);
  ASSERT_TRUE(gInbox.waitFor(gInbox.errors, 1));
  EXPECT_EQ(gInbox.errors[0], std::to_string(kShortAnswer) + " 'Qor_Common_GetInterfaceInfo_Async_Callback' error" +
                                  std::string(1, '\0'));

  // Removed: the answer reaches nobody.
  ASSERT_EQ(Qor_Common_GetFirmwareVersion_Async_RemoveCallback(port_), 0u);
  ASSERT_EQ(Qor_Common_GetFirmwareVersion_Async(port_), 0u);
  ASSERT_TRUE(device_->recorder().waitForCommand(0xF0, 3s, 1));
  EXPECT_FALSE(gInbox.waitFor(gInbox.versions, 2, 300ms));
  EXPECT_EQ(Qor_Common_GetInterfaceInfo_Async_RemoveCallback(port_), 0u);
}

// ---- opening by the configured name ----

// The emulated interface, listed in the configuration file under "bench" with this serial number.
void configureBench(uint32_t serial) {
  const std::string file =
      "<Interfaces><Configuration><Device id=\"" + std::to_string(kDeviceSerial) +
      "\"><HostInterfaceType>58</HostInterfaceType><UseDedicatedFirmware>0</UseDedicatedFirmware></Device>"
      "</Configuration><Interface id=\"4711_Ethernet_1_1_CAN\"><Name>bench</Name><InterfaceType>4</InterfaceType>"
      "<ControllerNumber>1</ControllerNumber><InterfaceNumber>1</InterfaceNumber><Serial>" +
      std::to_string(serial) +
      "</Serial><HostInterfaceType>58</HostInterfaceType><CommunicationType>4</CommunicationType>"
      "<DeviceNumber>0</DeviceNumber><IpAddress>127.0.0.2</IpAddress><TcpPort>5134</TcpPort>"
      "<Netmask>255.0.0.0</Netmask><Gateway>0.0.0.0</Gateway><AdapterSerial>0</AdapterSerial>"
      "<SerialPort>0</SerialPort><Position>0</Position></Interface></Interfaces>";
  ASSERT_TRUE(writeFile(ConfiguredFile::kPath, file));
}

size_t openDescriptors() {
  size_t count = 0;
  if (DIR* directory = opendir("/proc/self/fd")) {
    while (readdir(directory) != nullptr) ++count;
    closedir(directory);
  }
  return count;
}

class OpenByName : public InterfaceFixture {
 protected:
  ConfiguredFile configured_;
};

TEST_F(OpenByName, TheConfiguredSerialNumberOpens) {
  configureBench(kDeviceSerial);
  uint32_t port = 0;
  ASSERT_EQ(Qor_Common_OpenInterface("bench", &port), 0u) << Qor_GetLastErrorDescription();
  EXPECT_EQ(Qor_GetInterfaceType(port), uint32_t{QOR_INTERFACE_CAN});
  EXPECT_EQ(Qor_Common_CheckSerialNumber("bench", port), 0u);
  EXPECT_EQ(Qor_Common_CloseInterface(port), 0u);
  EXPECT_NE(Qor_CheckPortHandle(port), 0u);

  // Each open takes the daemon's queue anew, in the place of the one held: no descriptor is left behind.
  const int32_t held = ClientInfo.serverQueue;
  const size_t descriptors = openDescriptors();
  for (int i = 0; i < 3; ++i) {
    ASSERT_EQ(Qor_Common_OpenInterface("bench", &port), 0u) << Qor_GetLastErrorDescription();
    ASSERT_EQ(Qor_Common_CloseInterface(port), 0u);
  }
  EXPECT_EQ(ClientInfo.serverQueue, held);
  EXPECT_EQ(openDescriptors(), descriptors);

  ASSERT_EQ(Qor_Common_OpenInterface2(4, "bench", &port), 0u) << Qor_GetLastErrorDescription();
  EXPECT_EQ(Qor_Common_CloseInterface(port), 0u);
}

TEST_F(OpenByName, AnotherSerialNumberClosesThePortAgain) {
  configureBench(4712);
  uint32_t port = 0;
  EXPECT_EQ(Qor_Common_OpenInterface("bench", &port), kDeviceNotConnected);
  EXPECT_EQ(port, QOR_NO_PORT);
  EXPECT_EQ(Qor_GetLastErrorDescription(), std::string("0x02010102 - COMMON - device not connected"));
  EXPECT_EQ(ClientInfo.openPorts, 0u);
  port = 0;
  EXPECT_EQ(Qor_Common_OpenInterface2(0, "bench", &port), kDeviceNotConnected);
  EXPECT_EQ(port, QOR_NO_PORT);
  EXPECT_EQ(ClientInfo.openPorts, 0u);
}

TEST_F(OpenByName, RefusalsBeforeTheDeviceIsReached) {
  configureBench(kDeviceSerial);
  uint32_t port = 0;
  // The core's text goes in as it is, its '%' included.
  EXPECT_EQ(Qor_Common_OpenInterface("no %s%n here", &port), kInitializationFailed);
  EXPECT_EQ(port, QOR_NO_PORT);
  const std::string text = Qor_GetLastErrorDescription();
  EXPECT_EQ(text.rfind("0x02010101 - COMMON - initialization failed - ", 0), 0u) << text;
  EXPECT_NE(text.find("no %s%n here"), std::string::npos) << text;
  port = 0;
  EXPECT_EQ(Qor_Common_OpenInterface2(8, "bench", &port), kUnknownFlag);
  EXPECT_EQ(port, QOR_NO_PORT);
  EXPECT_EQ(Qor_Common_OpenInterface(nullptr, &port), kInvalidParameter);
  EXPECT_EQ(Qor_Common_OpenInterface("bench", nullptr), kInvalidParameter);
  EXPECT_EQ(device_->recorder().count(), 0u);
}

TEST_F(OpenByName, WithoutADaemonNothingOpens) {
  configureBench(kDeviceSerial);
  daemon_.reset();
  uint32_t port = 0;
  EXPECT_EQ(Qor_Common_OpenInterface("bench", &port), QOR_ERR_API_COULD_NOT_CONNECT);
  EXPECT_EQ(Qor_GetLastErrorCode(), QOR_ERR_API_COULD_NOT_CONNECT);
  EXPECT_EQ(port, QOR_NO_PORT);
  EXPECT_EQ(device_->recorder().count(), 0u);
}

}  // namespace
}  // namespace qor::test
