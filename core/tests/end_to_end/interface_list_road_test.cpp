// The interface lists on the whole road: emulated Ethernet devices that answer the daemon's discovery on loopback,
// the daemon as a process, and the lists, the helpers around them and the rebuild of the configuration file in
// this process's library.
#include <gtest/gtest.h>

#include <arpa/inet.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "interface_config_fixture.hpp"
#include "qor_emulator/discovery_responder.hpp"
#include "qor_emulator/frame.hpp"
#include "qor_test/files.hpp"
#include "qor_test/interface_fixture.hpp"

namespace qor::test {
namespace {

using namespace std::chrono_literals;
using emulator::Bytes;
using emulator::ReceivedFrame;
using emulator::Reply;

constexpr uint8_t kLinFirmwareCode = 3;
constexpr uint8_t kNoApiNumber = 0; // a firmware interface code that stands for no interface type
constexpr uint32_t kSecondModel = 75;
constexpr uint32_t kSecondModelCode = 68;
constexpr uint32_t kGateway = 0x7F0000FE;
constexpr uint8_t kNetworkCommand = 0x0C;

const Qor_NetworkAdapter_t kLoopback{htonl(0x7F000001), htonl(0xFF000000)};

struct EmulatedDevice {
  EmulatedDevice(emulator::DeviceConfig config, const char* address, uint16_t tcpPort)
      : device(std::move(config)), network(device, address, tcpPort) {
    network.start();
  }
  emulator::Device device;
  emulator::TcpFrontEnd network;
};

Bytes words(std::initializer_list<uint32_t> values) {
  Bytes bytes(values.size() * 4);
  size_t offset = 0;
  for (uint32_t value : values) {
    memcpy(&bytes[offset], &value, sizeof value);
    offset += sizeof value;
  }
  return bytes;
}

// "type/controller/interface serial" of each record, in order of serial and interface number.
std::vector<std::string> describe(std::vector<Qor_InterfaceData_t> list) {
  std::sort(list.begin(), list.end(), [](const auto& a, const auto& b) {
    return std::tie(a.serialNumber, a.interfaceNumber) < std::tie(b.serialNumber, b.interfaceNumber);
  });
  std::vector<std::string> texts;
  for (const Qor_InterfaceData_t& record : list) {
    texts.push_back(std::to_string(record.interfaceType) + "/" + std::to_string(record.controllerNumber) + "/" +
                    std::to_string(record.interfaceNumber) + " " + std::to_string(record.serialNumber));
  }
  return texts;
}

const std::vector<std::string> kListed = {"4/1/1 111", "4/1/2 111", "5/1/1 222"};

// Two devices on loopback: 111 (the Ethernet model: two CAN interfaces and an entry without interface type) and
// 222 (another model: one LIN interface).
class InterfaceListRoad : public ::testing::Test {
 protected:
  void SetUp() override {
    emulator::Identity first;
    first.deviceCode = 61;
    first.interfaces = {{kCanFirmwareCode, 1}, {kCanFirmwareCode, 2}, {kNoApiNumber, 3}};
    first_ = std::make_unique<EmulatedDevice>(
        emulator::DeviceConfig{.serialNumber = 111, .hostType = kEthernetModel, .identity = first, .gateway = kGateway},
        "127.0.0.2", 5134);
    emulator::Identity second;
    second.deviceCode = kSecondModelCode;
    second.interfaces = {{kLinFirmwareCode, 1}};
    second_ = std::make_unique<EmulatedDevice>(
        emulator::DeviceConfig{.serialNumber = 222, .hostType = kSecondModel, .identity = second}, "127.0.0.3", 5135);
    answerDiscovery({first_.get(), second_.get()});
    daemon_ = std::make_unique<DaemonProcess>(QORAPID_PROGRAM);
    ASSERT_TRUE(connectLibraryToDaemon());
  }

  void TearDown() override {
    for (uint32_t port = 0; port < QOR_MAX_PORTS; ++port) Qor_CloseInterface(port);
    daemon_.reset();
  }

  // The Ethernet list behind the loopback adapter, whole records.
  static uint32_t ethernetList(uint32_t& count, std::vector<Qor_InterfaceData_t>& list) {
    list.assign(count, Qor_InterfaceData_t{});
    const uint32_t result = Qor_Interface_GetInterfaceList_Ethernet(0, &count, list.data(), sizeof list[0], &kLoopback);
    list.resize(count);
    return result;
  }

  // "qor_settings.xml" of the configured installation names the loopback adapter.
  static void writeSettings() {
    ASSERT_TRUE(writeFile(std::string(ConfiguredFile::kDirectory) + "/qor_settings.xml",
                          "<Settings><Ethernet><Adapter address=\"127.0.0.1\" netmask=\"255.0.0.0\"/></Ethernet>"
                          "</Settings>"));
  }

  // Only these devices answer discovery from now on.
  void answerDiscovery(std::initializer_list<const EmulatedDevice*> devices) {
    responder_.reset();
    responder_ = std::make_unique<emulator::DiscoveryResponder>();
    for (const EmulatedDevice* device : devices) responder_->add(device->network);
    responder_->start();
  }

  std::unique_ptr<EmulatedDevice> first_;
  std::unique_ptr<EmulatedDevice> second_;
  std::unique_ptr<emulator::DiscoveryResponder> responder_;
  std::unique_ptr<DaemonProcess> daemon_;
};

TEST_F(InterfaceListRoad, TheEthernetListHoldsEveryInterfaceOfBothDevices) {
  uint32_t count = 16;
  std::vector<Qor_InterfaceData_t> list;
  ASSERT_EQ(ethernetList(count, list), 0u) << Qor_GetLastErrorDescription();
  EXPECT_EQ(describe(list), kListed);
  for (const Qor_InterfaceData_t& record : list) {
    SCOPED_TRACE(record.serialNumber);
    const bool first = record.serialNumber == 111;
    EXPECT_EQ(record.communicationType, QOR_COMMUNICATION_ETHERNET);
    EXPECT_EQ(record.hostInterfaceType, first ? kEthernetModel : kSecondModel);
    EXPECT_EQ(record.ipAddress, htonl(first ? 0x7F000002 : 0x7F000003));
    EXPECT_EQ(record.tcpPort, first ? 5134 : 5135);
    EXPECT_EQ(record.netmask, htonl(0xFF000000));
    EXPECT_EQ(record.gateway, first ? htonl(kGateway) : 0u);
    EXPECT_GE(record.deviceNumber, 1u);
    EXPECT_EQ(record.adapterSerialNumber, 0u);
  }
  // Every port that the list opened is closed again.
  for (uint32_t port = 0; port < QOR_MAX_PORTS; ++port) EXPECT_EQ(Qor_CheckPortHandle(port), 0x200000Au);
}

TEST_F(InterfaceListRoad, ElementSizesAndRoom) {
  constexpr uint8_t kUntouched = 0xAB;
  const struct {
    const char* what;
    uint32_t room;
    uint32_t elementSize;
    uint32_t result;
    uint32_t written;
    const char* text;
  } cases[] = {
      {"twelve bytes of each record", 8, 12, 0, 3, nullptr},
      {"no room with interfaces present", 0, 40, 0x2000201, 0, "more interfaces are available"},
      {"room for two of three", 2, 40, 0x2000201, 2, "more interfaces are available"},
      {"records larger than the record", 8, 41, 0x2000206, 0, "maximum sizeo of Qor_InterfaceData_t: 40 bytes"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<uint8_t> array(8 * 41, kUntouched);
    uint32_t count = c.room;
    EXPECT_EQ(Qor_Interface_GetInterfaceList_Ethernet(0, &count, array.data(), c.elementSize, &kLoopback), c.result);
    EXPECT_EQ(count, c.written);
    if (c.text != nullptr) {
      EXPECT_NE(std::string(Qor_GetLastErrorDescription()).find(c.text), std::string::npos);
    }
    const size_t used = c.written * c.elementSize;
    EXPECT_TRUE(std::all_of(array.begin() + static_cast<long>(used), array.end(),
                            [](uint8_t byte) { return byte == kUntouched; }));
  }
  // Twelve bytes: type, numbers, attachment, host type and serial number.
  std::vector<uint8_t> array(3 * 12);
  uint32_t count = 3;
  ASSERT_EQ(Qor_Interface_GetInterfaceList_Ethernet(0, &count, array.data(), 12, &kLoopback), 0u);
  std::vector<Qor_InterfaceData_t> list(count);
  for (uint32_t i = 0; i < count; ++i) memcpy(&list[i], &array[i * 12], 12);
  EXPECT_EQ(describe(list), kListed);
  for (const Qor_InterfaceData_t& record : list) EXPECT_EQ(record.communicationType, QOR_COMMUNICATION_ETHERNET);
}

TEST_F(InterfaceListRoad, TheWholeListScansTheAdaptersOfTheSettingsFile) {
  ConfiguredFile configured;
  std::vector<Qor_InterfaceData_t> list(16);
  uint32_t count = 16;
  // Without the settings file there is nothing to scan behind.
  EXPECT_EQ(Qor_Interface_GetInterfaceList(0, &count, list.data(), sizeof list[0]), 0x200000Du);
  EXPECT_EQ(count, 0u);
  writeSettings();
  Qor_NetworkAdapter_t adapters[4];
  uint32_t adapterCount = 4;
  ASSERT_EQ(Qor_Ethernet_GetScanableAdaptersFromSettingsFile(&adapterCount, adapters), 0u);
  ASSERT_EQ(adapterCount, 1u);
  EXPECT_EQ(adapters[0].address, kLoopback.address);
  EXPECT_EQ(adapters[0].netmask, kLoopback.netmask);
  count = 16;
  ASSERT_EQ(Qor_Interface_GetInterfaceList(0, &count, list.data(), sizeof list[0]), 0u)
      << Qor_GetLastErrorDescription();
  list.resize(count);
  EXPECT_EQ(describe(list), kListed);
  // Without Ethernet nothing is connected here: this daemon has no card or USB path.
  count = 16;
  EXPECT_EQ(Qor_Interface_GetInterfaceList(1, &count, list.data(), sizeof list[0]), 0u);
  EXPECT_EQ(count, 0u);
  count = 16;
  EXPECT_EQ(Qor_Interface_GetInterfaceList(2, &count, list.data(), sizeof list[0]), 0x2000209u);
  EXPECT_EQ(count, 0u);
}

TEST_F(InterfaceListRoad, TheRebuiltConfigurationFileListsTheConnectedInterfaces) {
  ConfiguredFile configured;
  writeSettings();
  const uint32_t options[2] = {0, 0};
  ASSERT_EQ(Qor_Interface_UpdateAllInterfaces(nullptr, options), 0u) << Qor_GetLastErrorDescription();
  const FileContent content = readConfiguration(ConfiguredFile::kPath);
  EXPECT_EQ(content.interfaces, (std::vector<std::string>{"111_Ethernet_1_1_CAN 1 ", "111_Ethernet_1_2_CAN 1 ",
                                                          "222_Ethernet_1_1_LIN 1 "}));
  EXPECT_EQ(content.devices, (std::vector<std::string>{"111", "222"}));
  // A device that is gone stays in the file, unavailable.
  answerDiscovery({first_.get()});
  second_.reset();
  ASSERT_EQ(Qor_Interface_UpdateAllInterfaces(nullptr, options), 0u) << Qor_GetLastErrorDescription();
  EXPECT_EQ(readConfiguration(ConfiguredFile::kPath).interfaces,
            (std::vector<std::string>{"111_Ethernet_1_1_CAN 1 ", "111_Ethernet_1_2_CAN 1 ",
                                      "222_Ethernet_1_1_LIN 0 "}));
}

TEST_F(InterfaceListRoad, PortsByInterfaceType) {
  const Qor_InterfaceInfo_t info = ethernetDescriptor("127.0.0.2", 5134);
  uint32_t port = QOR_NO_PORT;
  ASSERT_EQ(Qor_OpenInterface(&info, &port), 0u);
  const struct {
    const char* what;
    uint8_t interfaceType;
    uint8_t instance;
    uint32_t result;
    uint8_t interfaceNumber;
  } cases[] = {
      {"the first CAN interface", QOR_INTERFACE_CAN, 0, 0, 1},
      {"the second CAN interface", QOR_INTERFACE_CAN, 1, 0, 2},
      {"no third CAN interface", QOR_INTERFACE_CAN, 2, 0x2000009, 0},
      {"no LIN interface", QOR_INTERFACE_LIN, 0, 0x2000009, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    uint32_t other = 7;
    EXPECT_EQ(Qor_Interface_GetPortHandleByInterfaceTypeAndInstance(port, c.interfaceType, c.instance, &other),
              c.result);
    if (c.result != 0) {
      EXPECT_EQ(other, QOR_NO_PORT);
      EXPECT_STREQ(Qor_GetLastErrorDescription(),
                   "0x02000009 - API - invalid interface - the interface does not exist on the device");
      continue;
    }
    Qor_InterfaceInfo_t opened{};
    ASSERT_EQ(Qor_GetInterfaceInfo(other, &opened), 0u);
    EXPECT_EQ(opened.interfaceNumber, c.interfaceNumber);
    EXPECT_EQ(Qor_GetInterfaceType(other), static_cast<uint32_t>(QOR_INTERFACE_CAN));
    EXPECT_EQ(Qor_CloseInterface(other), 0u);
  }
  uint32_t other = QOR_NO_PORT;
  ASSERT_EQ(Qor_Interface_GetPortHandleByInterfaceType(port, QOR_INTERFACE_CAN, &other), 0u);
  EXPECT_NE(other, port);
  EXPECT_EQ(Qor_CheckPortHandle(port), 0u);
}

// Models number their interfaces from 1, 20, 21 or 22; each is reached over Ethernet here, emulated with the
// firmware's code of its model.
TEST(FirstAvailableInterface, TheModelsFirstInterfaceNumber) {
  const struct {
    uint32_t model;
    uint32_t firmwareCode;
    uint8_t interfaceNumber;
  } cases[] = {{58, 61, 21}, {76, 76, 21}, {72, 63, 20}, {80, 80, 22}, {11, 27, 1}};
  std::vector<std::unique_ptr<EmulatedDevice>> devices;
  uint32_t serial = 500;
  for (const auto& c : cases) {
    emulator::Identity identity;
    identity.deviceCode = c.firmwareCode;
    identity.interfaces = {{kCanFirmwareCode, c.interfaceNumber}};
    const std::string address = "127.0.1." + std::to_string(devices.size() + 1);
    devices.push_back(std::make_unique<EmulatedDevice>(
        emulator::DeviceConfig{.serialNumber = serial++, .hostType = c.model, .identity = identity}, address.c_str(),
        5134));
  }
  DaemonProcess daemon(QORAPID_PROGRAM);
  ASSERT_TRUE(connectLibraryToDaemon());
  for (size_t i = 0; i < devices.size(); ++i) {
    SCOPED_TRACE(cases[i].model);
    Qor_InterfaceInfo_t info = ethernetDescriptor(devices[i]->network.address().c_str(), 5134, 9, cases[i].model);
    uint32_t port = 7;
    ASSERT_EQ(Qor_Interface_OpenFirstAvailableInterface(&info, &port), 0u) << Qor_GetLastErrorDescription();
    EXPECT_EQ(info.interfaceNumber, cases[i].interfaceNumber);
    Qor_InterfaceInfo_t opened{};
    ASSERT_EQ(Qor_GetInterfaceInfo(port, &opened), 0u);
    EXPECT_EQ(opened.interfaceNumber, cases[i].interfaceNumber);
    EXPECT_EQ(Qor_GetHostInterfaceType(port), cases[i].model);
    EXPECT_EQ(Qor_GetInterfaceType(port), static_cast<uint32_t>(QOR_INTERFACE_CAN));
    EXPECT_EQ(Qor_CloseInterface(port), 0u);
  }
  Qor_InterfaceInfo_t unknown = ethernetDescriptor("127.0.1.1", 5134, 1, 87);
  uint32_t port = 7;
  EXPECT_EQ(Qor_Interface_OpenFirstAvailableInterface(&unknown, &port), 0x2000001u);
  EXPECT_EQ(port, QOR_NO_PORT);
}

// The network settings of the fixture's device, answered by a handler of command 0x0C.
class NetworkParameters : public InterfaceFixture {
 protected:
  // Settings answers {7, address, netmask, ..., u16 port at 20} of `settingsLength` bytes; gateway answers
  // {10, 8, gateway}, or an error when gateway is empty.
  void answer(uint32_t address, uint32_t netmask, uint16_t tcpPort, size_t settingsLength,
              std::optional<uint32_t> gateway) {
    device_->onCommand(kNetworkCommand, [=](const ReceivedFrame& frame) -> Reply {
      switch (frame.parameterWord(0)) {
        case 5: return frame.response(words({kDeviceSerial}), 4);
        case 7: {
          Bytes data = words({address, netmask, 0, 0, tcpPort});
          data.resize(settingsLength - 4);
          return frame.response(data, 4);
        }
        default:
          if (!gateway) return frame.negativeAcknowledge(0x1F, "no gateway");
          return frame.response(words({*gateway}), 8);
      }
    });
  }
};

TEST_F(NetworkParameters, TheDeviceSettingsOrTheirDefaults) {
  const uint32_t given = htonl(0x0A000005);
  const uint32_t givenMask = htonl(0xFFFF0000);
  const struct {
    const char* what;
    uint32_t address, netmask;
    uint16_t tcpPort;
    std::optional<uint32_t> gateway;
    uint32_t expectedAddress, expectedNetmask;
    uint16_t expectedPort;
    uint32_t expectedGateway;
  } cases[] = {
      {"a device without settings", 0, 0, 0, 0, htonl(0xC0A8013E), htonl(0xFFFFFF00), 5134, 0},
      {"a device with settings", given, givenMask, 6000, htonl(0x0A000001), given, givenMask, 6000, htonl(0x0A000001)},
      {"a device that does not tell its gateway", given, givenMask, 6000, std::nullopt, given, givenMask, 6000, 0},
  };
  const uint32_t port = open();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    answer(c.address, c.netmask, c.tcpPort, 24, c.gateway);
    EthernetDeviceRecord settings{};
    memset(&settings, 0xAB, sizeof settings);
    ASSERT_EQ(Qor_Interface_GetEthernetParameters(port, &settings), 0u) << Qor_GetLastErrorDescription();
    EXPECT_EQ(settings.hostInterfaceType, kEthernetModel);
    EXPECT_EQ(settings.address, c.expectedAddress);
    EXPECT_EQ(settings.netmask, c.expectedNetmask);
    EXPECT_EQ(settings.tcpPort, c.expectedPort);
    EXPECT_EQ(settings.gateway, c.expectedGateway);
    EXPECT_EQ(settings.serialNumber, kDeviceSerial);
    EXPECT_EQ(settings.mac, 0u);
  }
  // An answer too short to hold the port is refused, and the caller's port stays open.
  answer(given, givenMask, 6000, 21, 0);
  EthernetDeviceRecord settings{};
  EXPECT_EQ(Qor_Interface_GetEthernetParameters(port, &settings), 0x2000202u);
  EXPECT_EQ(settings.address, 0u);
  EXPECT_EQ(Qor_CheckPortHandle(port), 0u);
  uint32_t serial = 0;
  EXPECT_EQ(Qor_Interface_GetSerialNumber(port, &serial), 0u);
  EXPECT_EQ(serial, kDeviceSerial);
}

} // namespace
} // namespace qor::test
