// The interfaces of one device as the lists collect them, against controllers made up here, and the identity
// answers they are read from.
#include <gtest/gtest.h>

#include <arpa/inet.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "enumeration/device_interfaces.hpp"
#include "open/firmware_identity.hpp"
#include "interface_config_fixture.hpp"
#include "qor_api.h"
#include "qor_test/files.hpp"

namespace {

using qor::client::addDeviceInterfaces;
using qor::client::FirmwareIdentity;
using Pairs = std::vector<std::pair<uint8_t, uint8_t>>;
using namespace qor::test;

constexpr uint32_t kCouldNotConnect = 0x2000100;
constexpr uint32_t kNoSuchInterface = 0x2000009;
constexpr uint32_t kNoResponse = 0x2000205;

// One made-up controller: how its open, identity and close end, and what it tells.
struct Controller {
  uint32_t openResult = 0;
  uint32_t interfaceHost = QOR_INTERFACE_HOST_FIRMWARE;
  uint32_t interfaceType = 0; // of a controller without firmware
  uint32_t hostInterfaceType = 58;
  uint32_t identityResult = 0;
  Pairs interfaces = {};
  uint32_t closeResult = 0;
};

class MadeUpControllers final : public qor::client::ControllerAccess {
 public:
  explicit MadeUpControllers(std::vector<Controller> controllers) : controllers_(std::move(controllers)) {}

  uint32_t open(Qor_InterfaceInfo_t& descriptor, uint32_t& port) override {
    opened.push_back(descriptor);
    const Controller& controller = controllers_.at(descriptor.controllerNumber - 1);
    if (controller.openResult != 0) return controller.openResult;
    port = descriptor.controllerNumber + 100u;
    open_[port] = true;
    return 0;
  }
  uint32_t interfaceHost(uint32_t port) override { return of(port).interfaceHost; }
  uint32_t interfaceType(uint32_t port) override { return of(port).interfaceType; }
  uint32_t hostInterfaceType(uint32_t port) override { return of(port).hostInterfaceType; }
  uint32_t identity(uint32_t port, FirmwareIdentity& identity) override {
    identity.interfaces = of(port).interfaces;
    return of(port).identityResult;
  }
  uint32_t close(uint32_t port) override {
    open_[port] = false;
    return of(port).closeResult;
  }

  size_t openPorts() const {
    size_t count = 0;
    for (const auto& [port, isOpen] : open_) count += isOpen ? 1 : 0;
    return count;
  }

  std::vector<Qor_InterfaceInfo_t> opened;

 private:
  const Controller& of(uint32_t port) const { return controllers_.at(port - 101); }
  std::vector<Controller> controllers_;
  std::map<uint32_t, bool> open_;
};

// An Ethernet device as discovery finds it.
Qor_InterfaceData_t ethernetDevice() {
  Qor_InterfaceData_t device{};
  device.communicationType = QOR_COMMUNICATION_ETHERNET;
  device.hostInterfaceType = 18;
  device.serialNumber = 4711;
  device.deviceNumber = 2;
  device.ipAddress = htonl(0x7F000002);
  device.tcpPort = 5134;
  device.netmask = htonl(0xFF000000);
  device.gateway = htonl(0x7F0000FE);
  return device;
}

// "type/controller/interface" of each record.
std::vector<std::string> describe(const std::vector<Qor_InterfaceData_t>& list) {
  std::vector<std::string> texts;
  for (const Qor_InterfaceData_t& record : list) {
    texts.push_back(std::to_string(record.interfaceType) + "/" + std::to_string(record.controllerNumber) + "/" +
                    std::to_string(record.interfaceNumber));
  }
  return texts;
}

TEST(DeviceInterfaces, EveryControllerTellsItsInterfaces) {
  // Four controllers, as a four-channel USB device has, each with one CAN interface.
  const Controller can{.hostInterfaceType = 11, .interfaces = {{2, 1}}};
  MadeUpControllers controllers({can, can, can, can});
  Qor_InterfaceData_t device{};
  device.communicationType = QOR_COMMUNICATION_USB;
  device.hostInterfaceType = 10;
  device.serialNumber = 99;
  device.deviceNumber = 3;
  std::vector<Qor_InterfaceData_t> list;
  ASSERT_EQ(addDeviceInterfaces(controllers, device, 4, 1024, list), 0u);
  EXPECT_EQ(describe(list), (std::vector<std::string>{"4/1/1", "4/2/1", "4/3/1", "4/4/1"}));
  for (const Qor_InterfaceData_t& record : list) {
    EXPECT_EQ(record.communicationType, QOR_COMMUNICATION_USB);
    EXPECT_EQ(record.hostInterfaceType, 11u); // as the controller reports it
    EXPECT_EQ(record.serialNumber, 99u);
    EXPECT_EQ(record.deviceNumber, 3u);
  }
  ASSERT_EQ(controllers.opened.size(), 4u);
  for (uint8_t i = 0; i < 4; ++i) {
    EXPECT_EQ(controllers.opened[i].controllerNumber, i + 1);
    EXPECT_EQ(controllers.opened[i].deviceNumber, 3u);
  }
  EXPECT_EQ(controllers.openPorts(), 0u);
}

TEST(DeviceInterfaces, OnlyFirmwareCodesWithAnInterfaceTypeAreListed) {
  const struct {
    const char* what;
    uint32_t hostInterfaceType;
    Pairs interfaces;
    std::vector<std::string> listed;
  } cases[] = {
      {"codes 0, 5 and beyond the table give nothing", 58, {{0, 1}, {2, 2}, {5, 3}, {13, 4}, {26, 5}, {255, 6}},
       {"4/1/2", "9/1/4"}},
      {"a controller that lists nothing", 58, {}, {}},
      {"the resistor model lists every entry as resistors", 76, {{12, 1}, {0, 2}}, {"13/1/1", "13/1/2"}},
      {"interface numbers as the firmware gives them", 58, {{3, 7}, {24, 9}, {18, 2}}, {"5/1/7", "14/1/9", "8/1/2"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    MadeUpControllers controllers({Controller{.hostInterfaceType = c.hostInterfaceType, .interfaces = c.interfaces}});
    std::vector<Qor_InterfaceData_t> list;
    EXPECT_EQ(addDeviceInterfaces(controllers, ethernetDevice(), 1, 1024, list), 0u);
    EXPECT_EQ(describe(list), c.listed);
  }
}

TEST(DeviceInterfaces, AnEthernetDeviceIsOpenedByAddressAndPortAndKeepsItsNetworkData) {
  MadeUpControllers controllers({Controller{.interfaces = {{2, 1}}}});
  std::vector<Qor_InterfaceData_t> list;
  ASSERT_EQ(addDeviceInterfaces(controllers, ethernetDevice(), 1, 1024, list), 0u);
  ASSERT_EQ(controllers.opened.size(), 1u);
  const Qor_InterfaceInfo_t& descriptor = controllers.opened[0];
  EXPECT_EQ(descriptor.flags, QOR_INTERFACE_FLAG_BINARY_IPV4 | QOR_INTERFACE_FLAG_ETHERNET);
  EXPECT_EQ(descriptor.deviceNumber, 5134u);
  uint32_t address = 0;
  memcpy(&address, descriptor.ipAddress, sizeof address);
  EXPECT_EQ(address, htonl(0x7F000002));
  ASSERT_EQ(list.size(), 1u);
  Qor_InterfaceData_t expected = ethernetDevice();
  expected.interfaceType = QOR_INTERFACE_CAN;
  expected.controllerNumber = 1;
  expected.interfaceNumber = 1;
  expected.hostInterfaceType = 58;
  EXPECT_EQ(memcmp(&list[0], &expected, sizeof expected), 0);
}

TEST(DeviceInterfaces, AControllerWithoutFirmwareIsOneInterface) {
  // Whatever such a controller would answer to 0xFF is not asked.
  MadeUpControllers controllers({Controller{
      .interfaceHost = QOR_INTERFACE_HOST_FPGA, .interfaceType = QOR_INTERFACE_LVDS, .interfaces = {{2, 5}}}});
  Qor_InterfaceData_t device = ethernetDevice();
  device.hostInterfaceType = 42;
  std::vector<Qor_InterfaceData_t> list;
  ASSERT_EQ(addDeviceInterfaces(controllers, device, 1, 1024, list), 0u);
  EXPECT_EQ(describe(list), std::vector<std::string>{"8/1/1"});
  EXPECT_EQ(list[0].hostInterfaceType, 42u);
}

TEST(DeviceInterfaces, FailuresOfOneController) {
  const Controller can{.interfaces = {{2, 1}}};
  const struct {
    const char* what;
    Controller second;
    uint32_t result;
    std::vector<std::string> listed;
  } cases[] = {
      {"an open that fails is left out", Controller{.openResult = kNoSuchInterface}, 0, {"4/1/1", "4/3/1"}},
      {"an unreachable daemon is reported", Controller{.openResult = kCouldNotConnect}, kCouldNotConnect,
       {"4/1/1", "4/3/1"}},
      {"an unanswered identity is reported", Controller{.identityResult = kNoResponse, .interfaces = {{2, 1}}},
       kNoResponse, {"4/1/1", "4/3/1"}},
      {"a failed close ends the device", Controller{.interfaces = {{2, 1}}, .closeResult = kNoResponse}, kNoResponse,
       {"4/1/1", "4/2/1"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    MadeUpControllers controllers({can, c.second, can});
    std::vector<Qor_InterfaceData_t> list;
    EXPECT_EQ(addDeviceInterfaces(controllers, ethernetDevice(), 3, 1024, list), c.result);
    EXPECT_EQ(describe(list), c.listed);
    EXPECT_EQ(controllers.openPorts(), 0u);
  }
}

TEST(DeviceInterfaces, RecordsFillTheRoomAndNeverPassIt) {
  const Controller two{.interfaces = {{2, 1}, {2, 2}}};
  for (size_t room : {4u, 3u}) {
    SCOPED_TRACE(room);
    MadeUpControllers controllers({two, two});
    std::vector<Qor_InterfaceData_t> list;
    const uint32_t result = addDeviceInterfaces(controllers, ethernetDevice(), 2, room, list);
    EXPECT_LE(list.size(), room);
    EXPECT_EQ(controllers.openPorts(), 0u);
    if (room == 4) {
      EXPECT_EQ(result, 0u);
      EXPECT_EQ(list.size(), 4u);
    } else {
      EXPECT_EQ(result, 0x2000201u);
      EXPECT_EQ(list.size(), 2u);
      EXPECT_STREQ(Qor_GetLastErrorDescription(),
                   "0x02000201 - API - response buffer too small - max number of interfaces (internal) = 3");
    }
  }
}

// An identity answer: the word at 36 counts the pairs from 40, of which `pairs` bytes follow.
std::vector<uint8_t> identityAnswer(uint32_t count, std::vector<uint8_t> pairs, uint32_t deviceCode = 61) {
  std::vector<uint8_t> answer(40 + pairs.size());
  memcpy(&answer[28], &deviceCode, sizeof deviceCode);
  memcpy(&answer[36], &count, sizeof count);
  std::copy(pairs.begin(), pairs.end(), answer.begin() + 40);
  return answer;
}

TEST(FirmwareIdentity, EntriesOnlyAsFarAsTheAnswerReaches) {
  const struct {
    const char* what;
    std::vector<uint8_t> answer;
    Pairs interfaces;
  } cases[] = {
      {"as counted", identityAnswer(2, {2, 1, 3, 2}), {{2, 1}, {3, 2}}},
      {"a count beyond the answer", identityAnswer(16359, {2, 1, 3, 2, 4}), {{2, 1}, {3, 2}}},
      {"a count below the pairs sent", identityAnswer(1, {2, 1, 3, 2}), {{2, 1}}},
      {"an answer that ends before the count", std::vector<uint8_t>(30, 0xFF), {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(qor::client::parseIdentity(c.answer).interfaces, c.interfaces);
  }
  EXPECT_EQ(qor::client::parseIdentity(identityAnswer(0, {})).deviceCode, 61u);
}

TEST(InterfaceFacts, ModelsWithoutFirmwareAndTheirControllers) {
  const struct {
    uint32_t hostInterfaceType;
    uint32_t noFirmware;
    uint8_t controllers;
  } cases[] = {{19, 8, 1}, {57, 8, 1}, {36, 3, 1}, {71, 3, 1}, {33, 13, 1}, {73, 13, 1},
               {3, 0, 4},  {14, 0, 3}, {58, 0, 1}, {87, 0, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.hostInterfaceType);
    Qor_InterfaceInfo_t info{};
    info.hostInterfaceType = c.hostInterfaceType;
    EXPECT_EQ(Qor_Interface_InterfaceType_NoFirmware(&info), c.noFirmware);
    uint8_t controllers = 0xFF;
    EXPECT_EQ(Qor_Interface_GetMaxNumberOfControllers(c.hostInterfaceType, &controllers), 0u);
    EXPECT_EQ(controllers, c.controllers);
  }
}

TEST(ScanableAdapters, TheSettingsFileOfTheInstallation) {
  const std::string adapter = "<Adapter address=\"127.0.0.1\" netmask=\"255.0.0.0\"/>";
  const std::string twoAdapters = "<Settings><Ethernet>" + adapter +
                                  "<Adapter address=\"10.1.2.3\" netmask=\"255.255.0.0\"/></Ethernet></Settings>";
  const struct {
    const char* what;
    std::string installDir;
    const char* content;
    uint32_t room;
    uint32_t result;
    uint32_t found;
  } cases[] = {
      {"two adapters", "/tmp/qor", twoAdapters.c_str(), 4, 0, 2},
      {"no adapter", "/tmp/qor", "<Settings/>", 4, 0, 0},
      {"more adapters than room", "/tmp/qor", twoAdapters.c_str(), 1, 0x200000D, 0},
      {"no settings file", "/tmp/qor", nullptr, 4, 0x200000D, 0},
      {"a path of 1024 bytes", "/tmp/qor/" + std::string(1024 - 9 - 17, 'd'), nullptr, 4, 0x200000D, 0},
      {"no installation directory", "", nullptr, 4, 0x2000102, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    configure(c.installDir.empty() ? nullptr : c.installDir.c_str(), "interfaces.xml");
    mkdir("/tmp/qor", 0755);
    removeFile("/tmp/qor/qor_settings.xml");
    if (c.content != nullptr) {
      ASSERT_TRUE(writeFile("/tmp/qor/qor_settings.xml", c.content));
    }
    Qor_NetworkAdapter_t adapters[4] = {};
    uint32_t count = c.room;
    EXPECT_EQ(Qor_Ethernet_GetScanableAdaptersFromSettingsFile(&count, adapters), c.result);
    EXPECT_EQ(count, c.found);
    if (c.result == 0x200000D && c.installDir.size() > 1000) {
      EXPECT_STREQ(Qor_GetLastErrorDescription(),
                   "0x0200000D - API - configuration error - path to installation directory of Qor-API is too long");
    }
  }
  configure(nullptr, nullptr);
  Qor_NetworkAdapter_t adapters[2] = {};
  uint32_t count = 2;
  configure("/tmp/qor", "interfaces.xml");
  ASSERT_TRUE(writeFile("/tmp/qor/qor_settings.xml", twoAdapters));
  ASSERT_EQ(Qor_Ethernet_GetScanableAdaptersFromSettingsFile(&count, adapters), 0u);
  EXPECT_EQ(adapters[1].address, htonl(0x0A010203));
  EXPECT_EQ(adapters[1].netmask, htonl(0xFFFF0000));
  configure(nullptr, nullptr);
}

TEST(InterfaceFacts, AClosedPortHasNoSerialNumber) {
  uint32_t serial = 7;
  EXPECT_EQ(Qor_Interface_GetSerialNumber(3, &serial), 0x200000Au);
  EXPECT_EQ(serial, 7u);
  EXPECT_EQ(Qor_Serial_GetComPorts(nullptr, nullptr), 0x200020Bu);
}

} // namespace
