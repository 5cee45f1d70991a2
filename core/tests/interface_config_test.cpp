// The interface configuration functions of the library: paths, identifiers, names, lookups by name, the automatic
// configuration and the device settings that an open reads.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "fake_server.hpp"
#include "interface_config_fixture.hpp"
#include "ports/port_context.hpp"
#include "qor_test/child_process.hpp"
#include "qor_test/files.hpp"
#include "qor_xml.h"

namespace {

using namespace qor::test;
using Bytes = FakeServer::Bytes;

std::string lastError() { return Qor_GetLastErrorDescription(); }

TEST(InterfaceConfigPaths, TheWholePathOrAFailure) {
  ConfiguredFile configured;
  using Getter = uint32_t (*)(char*, uint32_t*);
  const struct {
    Getter get;
    std::string text;
    const char* tooSmall;
  } getters[] = {
      {Qor_InterfaceConfig_GetInstallDir, "/tmp/qor", "given install directory length too small"},
      {Qor_InterfaceConfig_GetConfigFilePath, "/tmp/qor/interfaces.xml", "given config file path length to small"},
  };
  for (const auto& getter : getters) {
    SCOPED_TRACE(getter.text);
    char buffer[64];
    for (uint32_t room : {0u, 5u, static_cast<uint32_t>(getter.text.size())}) {
      memset(buffer, '#', sizeof buffer);
      uint32_t size = room;
      EXPECT_EQ(getter.get(buffer, &size), 0x2000102u);
      EXPECT_EQ(size, room);
      EXPECT_EQ(buffer[0], '#'); // nothing cut is handed out
      EXPECT_EQ(lastError(), std::string("0x02000102 - API - initialisation failed - ") + getter.tooSmall);
    }
    for (uint32_t room : {static_cast<uint32_t>(getter.text.size() + 1), 64u}) {
      uint32_t size = room;
      ASSERT_EQ(getter.get(buffer, &size), 0u);
      EXPECT_EQ(size, getter.text.size() + 1);
      EXPECT_EQ(buffer, getter.text);
    }
  }
  EXPECT_EQ(Qor_InterfaceConfig_SetConfigFilePath("/tmp/other.xml"), 0x200020Bu);
}

TEST(InterfaceConfigPaths, AnIncompleteProcessConfigurationNamesNoFile) {
  const struct {
    const char* installDir;
    const char* deviceCfg;
    uint32_t installDirResult;
  } cases[] = {{nullptr, nullptr, 0x2000102}, {nullptr, "interfaces.xml", 0x2000102}, {"/tmp/qor", nullptr, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.installDir ? c.installDir : "-") + " " + (c.deviceCfg ? c.deviceCfg : "-"));
    configure(c.installDir, c.deviceCfg);
    char buffer[64];
    uint32_t size = sizeof buffer;
    EXPECT_EQ(Qor_InterfaceConfig_GetInstallDir(buffer, &size), c.installDirResult);
    size = sizeof buffer;
    EXPECT_EQ(Qor_InterfaceConfig_GetConfigFilePath(buffer, &size), 0x2000102u);
    EXPECT_EQ(lastError(),
              "0x02000102 - API - initialisation failed - getting configuration file information failed\n");
    EXPECT_EQ(Qor_InterfaceConfig_ConfigurationName_Get(sizeof buffer, buffer), 0x2000102u);
  }
  configure(nullptr, nullptr);
}

TEST(InterfaceConfigPaths, ConfigurationName) {
  ConfiguredFile configured;
  char name[16];
  EXPECT_EQ(Qor_InterfaceConfig_ConfigurationName_Get(sizeof name, name), 0x2000108u);
  EXPECT_EQ(lastError(), "0x02000108 - API - file not found - /tmp/qor/interfaces.xml was not found");
  ASSERT_TRUE(writeFile(ConfiguredFile::kPath, "<Interfaces><Configuration><Name>test bench 3</Name>"
                                               "</Configuration></Interfaces>"));
  ASSERT_EQ(Qor_InterfaceConfig_ConfigurationName_Get(sizeof name, name), 0u);
  EXPECT_STREQ(name, "test bench 3");
  EXPECT_EQ(Qor_InterfaceConfig_ConfigurationName_Get(12, name), QOR_XML_ERR_NODE);
}

// Looking at whether the file is there must not wait for a writer of a FIFO.
TEST(InterfaceConfigPaths, AConfiguredFileThatIsNoRegularFileIsRefusedAtOnce) {
  ConfiguredFile configured;
  const struct {
    const char* name;
    std::function<bool()> make;
  } cases[] = {
      {"a FIFO", [] { return mkfifo(ConfiguredFile::kPath, 0644) == 0; }},
      {"a link to /dev/zero", [] { return symlink("/dev/zero", ConfiguredFile::kPath) == 0; }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    removeFile(ConfiguredFile::kPath);
    ASSERT_TRUE(c.make());
    ChildProcess child([] {
      char name[16];
      return Qor_InterfaceConfig_ConfigurationName_Get(sizeof name, name) == QOR_XML_ERR_FILE ? 0 : 1;
    });
    EXPECT_EQ(child.wait(std::chrono::seconds(5)), 0); // a FIFO would keep it waiting for ever
  }
}

struct IdentifierCase {
  uint32_t serial;
  uint32_t communication;
  uint8_t type;
  uint8_t controller;
  uint8_t interface;
  const char* identifier; // nullptr: the type has no word
};

TEST(InterfaceIdentifiers, TypeWordsAndAttachments) {
  const IdentifierCase cases[] = {
      {12345, QOR_COMMUNICATION_ETHERNET, 4, 1, 2, "12345_Ethernet_1_2_CAN"},
      {7, QOR_COMMUNICATION_USB_OVER_ETHERNET, 5, 3, 1, "7_UsbOverEthernet_3_1_LIN"},
      {4294967295u, QOR_COMMUNICATION_PXIE, 16, 255, 255, "4294967295_255_255_CAN_STM"},
      {1, QOR_COMMUNICATION_USB, 2, 1, 1, "1_1_1_SEQUENCE"},
      {1, QOR_COMMUNICATION_USB, 3, 1, 1, "1_1_1_IO"},
      {1, QOR_COMMUNICATION_PCI, 6, 1, 1, "1_1_1_KLINE"},
      {1, QOR_COMMUNICATION_PXI, 7, 1, 1, "1_1_1_MOST"},
      {1, QOR_COMMUNICATION_PCIE, 8, 1, 1, "1_1_1_LVDS"},
      {1, QOR_COMMUNICATION_USB, 9, 1, 1, "1_1_1_FLEXRAY"},
      {1, QOR_COMMUNICATION_USB, 10, 1, 1, "1_1_1_CYCLOR"},
      {1, QOR_COMMUNICATION_USB, 11, 1, 1, "1_1_1_USERCODE"},
      {1, QOR_COMMUNICATION_USB, 12, 1, 1, "1_1_1_FS"},
      {1, QOR_COMMUNICATION_USB, 13, 1, 1, "1_1_1_RESISTORS"},
      {1, QOR_COMMUNICATION_USB, 14, 1, 1, "1_1_1_ETHERNET"},
      {1, QOR_COMMUNICATION_USB, 0, 1, 1, nullptr},
      {1, QOR_COMMUNICATION_USB, 1, 1, 1, nullptr},
      {1, QOR_COMMUNICATION_USB, 15, 1, 1, nullptr},
      {1, QOR_COMMUNICATION_USB, 17, 1, 1, nullptr},
  };
  for (const IdentifierCase& c : cases) {
    SCOPED_TRACE(c.identifier ? c.identifier : std::to_string(c.type));
    char text[QOR_INTERFACE_ID_SIZE];
    uint32_t length = sizeof text;
    const uint32_t result = Qor_Interface_BuildInterfaceId(c.serial, c.communication, c.type, c.controller,
                                                           c.interface, &length, text);
    if (c.identifier == nullptr) {
      EXPECT_EQ(result, 0x2000009u);
      char expected[128];
      snprintf(expected, sizeof expected,
               "0x02000009 - API - invalid interface - unknown interface type (0x%02x) - could not build interface id",
               c.type);
      EXPECT_EQ(lastError(), expected);
      continue;
    }
    ASSERT_EQ(result, 0u);
    EXPECT_STREQ(text, c.identifier);
    EXPECT_EQ(length, strlen(c.identifier));
    length = static_cast<uint32_t>(strlen(c.identifier)); // no room for the NUL
    EXPECT_EQ(Qor_Interface_BuildInterfaceId(c.serial, c.communication, c.type, c.controller, c.interface, &length,
                                             text),
              0x2000201u);
  }
}

class InterfaceNames : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(rebuild({first, second, record(5, 1, 1, QOR_COMMUNICATION_USB, 11, 700)}), 0u);
  }
  ConfiguredFile configured;
  const Qor_InterfaceData_t first = record(4, 1, 1, QOR_COMMUNICATION_ETHERNET, 58, 12345);
  const Qor_InterfaceData_t second = record(4, 1, 2, QOR_COMMUNICATION_ETHERNET, 58, 12345);
};

TEST_F(InterfaceNames, SetGetAndNamesInUse) {
  ASSERT_EQ(Qor_Interface_Name_Set(&first, "engine"), 0u);
  char name[16];
  uint32_t size = sizeof name;
  ASSERT_EQ(Qor_Interface_Name_Get(&first, &size, name), 0u);
  EXPECT_STREQ(name, "engine");
  EXPECT_EQ(size, 6u);
  EXPECT_EQ(Qor_Interface_Name_Set(&second, "engine"), 0x2000208u);
  EXPECT_EQ(lastError(), "0x02000208 - API - operation not allowed - name 'engine' is already assigned to ETH7310, "
                         "controller 1, interface 1");
  EXPECT_EQ(Qor_Interface_Name_Set(&first, "engine"), 0u); // its own name again
  ASSERT_EQ(Qor_Interface_Name_Set(&second, "gearbox"), 0u);
  size = sizeof name;
  ASSERT_EQ(Qor_Interface_Name_Get(&second, &size, name), 0u);
  EXPECT_STREQ(name, "gearbox");
  size = 7; // "gearbox" without room for its NUL
  EXPECT_EQ(Qor_Interface_Name_Get(&second, &size, name), QOR_XML_ERR_NODE);
  EXPECT_EQ(lastError(), "0x020B0006 - XML - node error - 'gearbox' needs 8 bytes, room for 7");
}

TEST_F(InterfaceNames, RecordsThatNameNoInterfaceOfTheFile) {
  const struct {
    const char* name;
    Qor_InterfaceData_t record;
    uint32_t result;
    const char* description;
  } cases[] = {
      {"unknown model", record(4, 1, 1, 3, 87, 1), 0x2000206,
       "0x02000206 - API - invalid parameter - host interface type '0x57' is unknown"},
      {"unknown interface type", record(0, 1, 1, 3, 11, 1), 0x2000206,
       "0x02000206 - API - invalid parameter - interface type '0x0' is unknown"},
      {"a type without identifier", record(15, 1, 1, 3, 11, 1), 0x2000009,
       "0x02000009 - API - invalid interface - unknown interface type (0x0f) - could not build interface id"},
      {"not in the file", record(4, 2, 1, 4, 58, 12345), QOR_XML_ERR_NODE_NOT_FOUND,
       "0x020B0003 - XML - node not found - interface '12345_Ethernet_2_1_CAN' was not found"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    char name[16];
    uint32_t size = sizeof name;
    EXPECT_EQ(Qor_Interface_Name_Get(&c.record, &size, name), c.result);
    EXPECT_EQ(lastError(), c.description);
    EXPECT_EQ(Qor_Interface_Name_Set(&c.record, "x"), c.result);
    EXPECT_EQ(lastError(), c.description);
  }
}

// The daemon's USB device table: entries of 32 bytes after three u32, the third of them the count.
Bytes deviceTable(uint32_t count, const std::vector<std::pair<uint32_t, uint32_t>>& devices) {
  Bytes table(12 + 32 * devices.size());
  memcpy(&table[8], &count, 4);
  for (size_t i = 0; i < devices.size(); ++i) {
    memcpy(&table[12 + 32 * i + 8], &devices[i].second, 4); // device number
    memcpy(&table[12 + 32 * i + 12], &devices[i].first, 4); // serial number
  }
  return table;
}

// Answers driver-information requests for USB host type 11 with devices 700 (number 5) and 800 (number 6); the
// count claims more entries than the data hold.
FakeServer usbDaemon() {
  return FakeServer([](const Bytes& request) {
    const Bytes table = deviceTable(100, {{800, 6}, {700, 5}});
    Bytes answer(12 + table.size());
    answer[0] = 0x17;
    const uint32_t length = static_cast<uint32_t>(answer.size());
    memcpy(&answer[4], &length, 4);
    memcpy(&answer[12], table.data(), table.size());
    return request[0] == 0x17 ? answer : Bytes{};
  });
}

TEST(InterfaceByName, DescriptorsWithTheCurrentDeviceNumber) {
  ConfiguredFile configured;
  FakeServer daemon = usbDaemon();
  Qor_InterfaceData_t ethernet = record(4, 1, 2, QOR_COMMUNICATION_ETHERNET, 58, 12345);
  ethernet.tcpPort = 5134;
  ethernet.ipAddress = 0x3E00007F; // 127.0.0.62
  Qor_InterfaceData_t usb = record(5, 1, 1, QOR_COMMUNICATION_USB, 11, 700);
  usb.deviceNumber = 2; // as it was when the file was written
  Qor_InterfaceData_t gone = record(5, 1, 1, QOR_COMMUNICATION_USB, 11, 999);
  ASSERT_EQ(rebuild({ethernet, usb, gone}), 0u);
  ASSERT_EQ(Qor_Interface_Name_Set(&ethernet, "engine"), 0u);
  ASSERT_EQ(Qor_Interface_Name_Set(&usb, "body"), 0u);
  ASSERT_EQ(Qor_Interface_Name_Set(&gone, "gone"), 0u);

  Qor_InterfaceInfo_t info{};
  ASSERT_EQ(Qor_InterfaceConfig_GetInterfaceInfoByName("engine", &info), 0u) << lastError();
  EXPECT_EQ(info.hostInterfaceType, 58u);
  EXPECT_EQ(info.flags, QOR_INTERFACE_FLAG_BINARY_IPV4 | QOR_INTERFACE_FLAG_ETHERNET);
  EXPECT_EQ(info.deviceNumber, 5134u);
  EXPECT_EQ(info.interfaceNumber, 2);
  EXPECT_EQ(memcmp(info.ipAddress, "\x7F\x00\x00\x3E", 4), 0);

  ASSERT_EQ(Qor_InterfaceConfig_GetInterfaceInfoByName("body", &info), 0u) << lastError();
  EXPECT_EQ(info.hostInterfaceType, 11u);
  EXPECT_EQ(info.deviceNumber, 5u);

  EXPECT_EQ(Qor_InterfaceConfig_GetInterfaceInfoByName("gone", &info), 0x200000Cu);
  EXPECT_EQ(lastError(), "0x0200000C - API - device not present - no device with serial number 999 is connected");
  EXPECT_EQ(Qor_InterfaceConfig_GetInterfaceInfoByName("nobody", &info), QOR_XML_ERR_NODE_NOT_FOUND);
  EXPECT_EQ(lastError(), "0x020B0003 - XML - node not found - no interface is named 'nobody'");
}

TEST(DeviceNumbers, OnlyUsbDescriptorsChange) {
  FakeServer daemon = usbDaemon();
  const struct {
    const char* name;
    uint32_t hostType;
    uint16_t flags;
    uint32_t serial;
    uint32_t result;
    uint32_t deviceNumber;
  } cases[] = {
      {"USB, found", 11, 0, 700, 0, 5},
      {"USB, beyond the data that the count claims", 11, 0, 900, 0x200000C, 1},
      {"Ethernet", 11, QOR_INTERFACE_FLAG_ETHERNET, 700, 0, 1},
      {"USB over Ethernet", 11, QOR_INTERFACE_FLAG_USB_OVER_ETHERNET, 700, 0, 1},
      {"PCI", 0, 0, 700, 0, 1},
      {"an Ethernet model", 18, 0, 700, 0, 1},
      {"an unknown model", 87, 0, 700, 0x2000102, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Qor_InterfaceInfo_t info{};
    info.hostInterfaceType = c.hostType;
    info.flags = c.flags;
    info.deviceNumber = 1;
    EXPECT_EQ(Qor_Interface_UpdateDeviceIndex(QOR_NO_PORT, &info, c.serial), c.result);
    EXPECT_EQ(info.deviceNumber, c.deviceNumber);
  }
}

TEST(VersionAndFirmwarePackage, TheVersionAndFunctionsThatAreNotAvailable) {
  using Version = uint32_t (*)(uint32_t*, uint32_t*, uint32_t*);
  for (Version version : {Qor_GetApiVersion, Qor_InterfaceConfig_GetApiVersion}) {
    uint32_t major = 0, minor = 9, build = 0;
    ASSERT_EQ(version(&major, &minor, &build), 0u);
    EXPECT_EQ(std::vector<uint32_t>({major, minor, build}), std::vector<uint32_t>({2, 0, 8457}));
  }
  uint32_t a = 0, b = 0, c = 0, size = 16;
  char text[16];
  const std::pair<const char*, std::function<uint32_t()>> unavailable[] = {
      {"installed", [&] { return Qor_GetFirmwarePackageVersion_Installed(&a, &b, &c); }},
      {"tested", [&] { return Qor_GetFirmwarePackageVersion_Tested(&a, &b, &c); }},
      {"file name", [&] { return Qor_InterfaceConfig_GetFirmwarePackageFilename(text, &size); }},
      {"bin path", [&] { return Qor_InterfaceConfig_GetFirmwarePackageBinPath(text, &size); }},
      {"set path", [&] { return Qor_InterfaceConfig_SetConfigFilePath("/tmp/x.xml"); }},
  };
  for (const auto& [name, call] : unavailable) {
    SCOPED_TRACE(name);
    Qor_ErrorHandler(QOR_NO_PORT, 0, "%s", "");
    EXPECT_EQ(call(), 0x200020Bu);
    EXPECT_EQ(lastError(), "0x0200020B - API - function not available");
  }
}

// A port as the open leaves it, without a daemon behind it: only its identity is read here.
class FakePort {
 public:
  static constexpr uint32_t kHandle = 7;
  FakePort(uint32_t serial, uint32_t interfaceType, uint32_t communication, bool interfaceLock) {
    context_.deviceIdentifier = serial;
    context_.interfaceType = interfaceType;
    context_.hostCommunicationType = communication;
    context_.descriptor.controllerNumber = 1;
    context_.descriptor.interfaceNumber = 2;
    context_.entry = &PortInfo[kHandle];
    PortInfo[kHandle].interfaceLock = interfaceLock ? 1 : 0;
    PortInfo[kHandle].context = &context_;
    PortInfo[kHandle].inUse = 1;
  }
  ~FakePort() {
    PortInfo[kHandle] = Qor_PortInfo_t{};
  }
  FakePort(const FakePort&) = delete;
  FakePort& operator=(const FakePort&) = delete;

 private:
  Qor_PortContext context_;
};

std::string interfaceElement(const char* id, const char* enable) {
  return std::string("<Interface id=\"") + id + "\"><EnableAutomaticConfiguration>" + enable +
         "</EnableAutomaticConfiguration></Interface>";
}

struct ApplyCase {
  const char* name;
  bool configured;
  const char* file; // nullptr: no file
  uint32_t interfaceType;
  bool interfaceLock;
  uint32_t result;
};

TEST(AutomaticConfiguration, WhenThereIsSomethingToApply) {
  const std::string enabled = "<Interfaces><Configuration/>" + interfaceElement("12345_Ethernet_1_2_CAN", "1") +
                              interfaceElement("12345_Ethernet_1_2_LIN", "0") + "</Interfaces>";
  const char* damaged = "<Interfaces><Configuration/><Interface id=\"12345_Ethernet_1_2_CAN\"><Enable";
  const ApplyCase cases[] = {
      {"no configured file", false, enabled.c_str(), QOR_INTERFACE_CAN, true, 0},
      {"no file", true, nullptr, QOR_INTERFACE_CAN, true, 0},
      {"without the interface lock", true, damaged, QOR_INTERFACE_CAN, false, 0},
      {"a type without automatic configuration", true, damaged, QOR_INTERFACE_UNKNOWN, true, 0},
      {"a damaged file", true, damaged, QOR_INTERFACE_CAN, true, QOR_XML_ERR_PARSER},
      {"enabled, without the CAN settings", true, enabled.c_str(), QOR_INTERFACE_CAN, true, QOR_XML_ERR_NODE_NOT_FOUND},
      {"disabled", true, enabled.c_str(), QOR_INTERFACE_LIN, true, 0},
      {"not in the file", true, enabled.c_str(), QOR_INTERFACE_FLEXRAY, true, 0},
  };
  for (const ApplyCase& c : cases) {
    SCOPED_TRACE(c.name);
    ConfiguredFile configured;
    if (!c.configured) {
      configure(nullptr, nullptr);
    }
    if (c.file != nullptr) {
      ASSERT_TRUE(writeFile(ConfiguredFile::kPath, c.file));
    }
    FakePort port(12345, c.interfaceType, QOR_COMMUNICATION_ETHERNET, c.interfaceLock);
    Qor_ErrorHandler(QOR_NO_PORT, 0, "%s", "");
    EXPECT_EQ(Qor_InterfaceConfig_Apply(FakePort::kHandle), c.result);
    if (c.result == 0) {
      EXPECT_EQ(Qor_GetLastErrorCode(), 0u); // nothing recorded on the way
    }
    qor::test::removeFile(ConfiguredFile::kPath);
  }
  EXPECT_EQ(Qor_InterfaceConfig_Apply(FakePort::kHandle), 0x200000Au);
}

TEST(DedicatedFirmware, PropertyNineReadsTheDeviceEntry) {
  ConfiguredFile configured;
  ASSERT_TRUE(writeFile(ConfiguredFile::kPath, "<Interfaces><Configuration><Device id=\"12345\">"
                                               "<UseDedicatedFirmware>1</UseDedicatedFirmware></Device>"
                                               "<Device id=\"777\"><UseDedicatedFirmware>0</UseDedicatedFirmware>"
                                               "</Device></Configuration></Interfaces>"));
  const struct {
    uint32_t serial;
    uint32_t result;
    uint32_t value;
  } cases[] = {{12345, 0, 1}, {777, 0, 0}, {4242, QOR_XML_ERR_NODE_NOT_FOUND, 99}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.serial);
    FakePort port(c.serial, QOR_INTERFACE_CAN, QOR_COMMUNICATION_USB, false);
    uint32_t value = 99;
    EXPECT_EQ(Qor_GetPropertyById(FakePort::kHandle, 9, &value), c.result);
    EXPECT_EQ(value, c.value);
  }
  FakePort port(12345, QOR_INTERFACE_CAN, QOR_COMMUNICATION_USB, false);
  uint32_t value = 99;
  qor::test::removeFile(ConfiguredFile::kPath);
  EXPECT_EQ(Qor_GetPropertyById(FakePort::kHandle, 9, &value), QOR_XML_ERR_FILE);
  configure(nullptr, nullptr);
  EXPECT_EQ(Qor_GetPropertyById(FakePort::kHandle, 9, &value), 0x2000102u);
  EXPECT_EQ(value, 99u);

  // The firmware package is not available, so no update is started.
  EXPECT_EQ(Qor_UpdateToDedicatedFirmware(FakePort::kHandle), 0x200020Bu);
  EXPECT_EQ(Qor_UpdateToDedicatedFirmware(200), 0x200000Au);
}

} // namespace
