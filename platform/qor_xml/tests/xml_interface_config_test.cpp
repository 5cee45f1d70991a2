// The interface configuration file through the XML library: what the building calls write, the lookups read back.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <thread>

#include "qor_test/files.hpp"
#include "xml_test_support.hpp"

namespace {

using namespace qor::xml::test;
using qor::test::readFile;
using qor::test::writeFile;

struct ListedInterface {
  const char* identifier;
  Qor_InterfaceData_t data;
  Qor_InterfaceInfo_t descriptor;
};

Qor_InterfaceInfo_t descriptor(uint32_t hostType, uint8_t controller, uint8_t interfaceNumber, uint16_t flags,
                               uint32_t deviceNumber, std::initializer_list<uint8_t> address = {}) {
  Qor_InterfaceInfo_t info{};
  info.hostInterfaceType = hostType;
  info.controllerNumber = controller;
  info.interfaceNumber = interfaceNumber;
  info.flags = flags;
  info.deviceNumber = deviceNumber;
  std::copy(address.begin(), address.end(), info.ipAddress);
  return info;
}

// One interface of each attachment, with the descriptor that opens it.
std::vector<ListedInterface> listedInterfaces() {
  std::vector<ListedInterface> listed;
  Qor_InterfaceData_t ethernet = record(4, 1, 2, 4, 58, 12345);
  ethernet.ipAddress = address("127.0.0.62");
  ethernet.tcpPort = 5134;
  ethernet.netmask = address("255.0.0.0");
  ethernet.gateway = address("127.0.0.1");
  listed.push_back({"12345_Ethernet_1_2_CAN", ethernet, descriptor(58, 1, 2, 5, 5134, {127, 0, 0, 62})});
  Qor_InterfaceData_t usb = record(5, 3, 1, 3, 11, 700);
  usb.deviceNumber = 2;
  listed.push_back({"700_3_1_LIN", usb, descriptor(11, 3, 1, 0, 2)});
  Qor_InterfaceData_t usbOverEthernet = record(9, 1, 1, 5, 27, 900);
  usbOverEthernet.deviceNumber = 1;
  usbOverEthernet.ipAddress = address("127.0.0.5");
  usbOverEthernet.tcpPort = 0x1410;
  usbOverEthernet.adapterSerialNumber = 4242;
  listed.push_back({"900_UsbOverEthernet_1_1_FLEXRAY", usbOverEthernet,
                    descriptor(27, 1, 1, 2, 1, {0x10, 0x14, 0, 0, 127, 0, 0, 5})});
  Qor_InterfaceData_t pcie = record(8, 1, 1, 7, 78, 4000000000u);
  pcie.deviceNumber = 3;
  pcie.position = 9;
  listed.push_back({"4000000000_1_1_LVDS", pcie, descriptor(78, 1, 1, 0, 3)});
  Qor_InterfaceData_t serialPort = record(6, 1, 1, 6, 53, 5);
  serialPort.serialPortValue = 4;
  listed.push_back({"5_1_1_KLINE", serialPort, descriptor(53, 1, 1, 0, 4)});
  return listed;
}

std::string text(const Qor_InterfaceInfo_t& info) {
  return std::to_string(info.hostInterfaceType) + "/" + std::to_string(info.controllerNumber) + "/" +
         std::to_string(info.interfaceNumber) + "/" + std::to_string(info.flags) + "/" +
         std::to_string(info.deviceNumber) + "/" + std::string(info.ipAddress, info.ipAddress + sizeof info.ipAddress);
}

TEST(XmlInterfaceConfig, WhatTheBuildingCallsWriteTheLookupsReadBack) {
  TempDirectory directory;
  const std::string path = directory.file("interfaces.xml");
  const std::vector<ListedInterface> listed = listedInterfaces();
  std::vector<Qor_InterfaceData_t> records;
  for (const ListedInterface& interface : listed) records.push_back(interface.data);
  writeConfiguration(path, records);

  for (const ListedInterface& interface : listed) {
    SCOPED_TRACE(interface.identifier);
    const char* const names[] = {QOR_XML_INTERFACE_TYPE, QOR_XML_AVAILABLE, QOR_XML_CONTROLLER_NUMBER,
                                 QOR_XML_INTERFACE_NUMBER, QOR_XML_SERIAL, QOR_XML_ENABLE_AUTOMATIC_CONFIGURATION};
    uint32_t values[6] = {};
    ASSERT_EQ(Qor_Xml_InterfaceConfig_InterfaceData_Get(path.c_str(), interface.identifier, 6, names, values), 0u)
        << Qor_Xml_GetLastErrorDescription();
    const Qor_InterfaceData_t& data = interface.data;
    EXPECT_EQ(std::vector<uint32_t>(values, values + 6),
              (std::vector<uint32_t>{data.interfaceType, 1, data.controllerNumber, data.interfaceNumber,
                                     data.serialNumber, 0}));

    const std::string device = std::to_string(data.serialNumber);
    const char* const deviceNames[] = {QOR_XML_USE_DEDICATED_FIRMWARE, "HostInterfaceType"};
    uint32_t deviceValues[2] = {9, 9};
    ASSERT_EQ(Qor_Xml_NodeValues_GetByAttribute_U32(path.c_str(), QOR_XML_DEVICE, QOR_XML_ID, device.c_str(), 2,
                                                    deviceNames, deviceValues), 0u);
    EXPECT_EQ(deviceValues[0], 0u);
    EXPECT_EQ(deviceValues[1], data.hostInterfaceType);

    const std::string name = std::string("bench ") + interface.identifier;
    ASSERT_EQ(Qor_Xml_InterfaceConfig_InterfaceName_Set(path.c_str(), interface.identifier, name.c_str()), 0u)
        << Qor_Xml_GetLastErrorDescription();
    char read[64];
    ASSERT_EQ(Qor_Xml_InterfaceConfig_InterfaceName_Get(path.c_str(), interface.identifier, sizeof read, read), 0u);
    EXPECT_EQ(read, name);
    Qor_InterfaceInfo_t info{};
    uint32_t serial = 0;
    ASSERT_EQ(Qor_Xml_InterfaceConfig_InterfaceInfo_GetByName(path.c_str(), name.c_str(), &info, &serial), 0u)
        << Qor_Xml_GetLastErrorDescription();
    EXPECT_EQ(text(info), text(interface.descriptor));
    EXPECT_EQ(serial, data.serialNumber);
    serial = 0;
    ASSERT_EQ(Qor_Xml_InterfaceConfig_SerialNumber_Get(path.c_str(), name.c_str(), &serial), 0u);
    EXPECT_EQ(serial, data.serialNumber);
  }
  char configuration[4] = "x";
  EXPECT_EQ(Qor_Xml_InterfaceConfig_ConfigurationName_Get(path.c_str(), sizeof configuration, configuration), 0u);
  EXPECT_STREQ(configuration, "");
}

TEST(XmlInterfaceConfig, Names) {
  TempDirectory directory;
  const std::string path = directory.file("interfaces.xml");
  writeConfiguration(path, {record(4, 1, 1, 3, 11, 1), record(4, 1, 2, 3, 11, 1)});
  const char* first = "1_1_1_CAN";
  const char* second = "1_1_2_CAN";
  ASSERT_EQ(Qor_Xml_InterfaceConfig_InterfaceName_Set(path.c_str(), first, "engine"), 0u);

  struct Case {
    const char* identifier;
    const char* name;
    uint32_t result;
    const char* text;
  };
  const Case cases[] = {
      {second, "engine", QOR_XML_ERR_NODE, "name 'engine' is already assigned to '1_1_1_CAN'"},
      {first, "engine", 0, ""}, // its own name again
      {second, "", 0, ""},      // many interfaces have no name
      {second, "tab\there", QOR_XML_ERR_NODE, "control characters"},
      {second, "   ", QOR_XML_ERR_NODE, "only spaces"},
      {"1_1_3_CAN", "chassis", QOR_XML_ERR_NODE_NOT_FOUND, "interface '1_1_3_CAN' was not found"},
      {second, "chassis & <body>", 0, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.identifier) + " as '" + c.name + "'");
    EXPECT_EQ(Qor_Xml_InterfaceConfig_InterfaceName_Set(path.c_str(), c.identifier, c.name), c.result);
    if (c.result != 0) {
      EXPECT_NE(std::string(Qor_Xml_GetLastErrorDescription()).find(c.text), std::string::npos);
    }
  }
  char name[17];
  ASSERT_EQ(Qor_Xml_InterfaceConfig_InterfaceName_Get(path.c_str(), second, sizeof name, name), 0u);
  EXPECT_STREQ(name, "chassis & <body>");
  EXPECT_EQ(Qor_Xml_InterfaceConfig_InterfaceName_Get(path.c_str(), second, 16, name), QOR_XML_ERR_NODE);

  Qor_InterfaceInfo_t info{};
  uint32_t serial = 0;
  EXPECT_EQ(Qor_Xml_InterfaceConfig_InterfaceInfo_GetByName(path.c_str(), "", &info, &serial),
            QOR_XML_ERR_NODE_NOT_FOUND);
  EXPECT_EQ(Qor_Xml_InterfaceConfig_InterfaceInfo_GetByName(path.c_str(), "gearbox", &info, &serial),
            QOR_XML_ERR_NODE_NOT_FOUND);
  EXPECT_STREQ(Qor_Xml_GetLastErrorDescription(), "no interface is named 'gearbox'");
}

TEST(XmlInterfaceConfig, EveryLookupOfAMissingOrDamagedFileFailsCleanly) {
  TempDirectory directory;
  const std::string path = directory.file("interfaces.xml");
  char name[32];
  uint32_t value = 0;
  Qor_InterfaceInfo_t info{};
  const char* const names[] = {QOR_XML_SERIAL};
  const std::pair<const char*, std::function<uint32_t()>> lookups[] = {
      {"data", [&] { return Qor_Xml_InterfaceConfig_InterfaceData_Get(path.c_str(), "1_1_1_CAN", 1, names, &value); }},
      {"by attribute",
       [&] { return Qor_Xml_NodeValues_GetByAttribute_U32(path.c_str(), "Device", "id", "1", 1, names, &value); }},
      {"by name", [&] { return Qor_Xml_InterfaceConfig_InterfaceInfo_GetByName(path.c_str(), "a", &info, &value); }},
      {"name get", [&] { return Qor_Xml_InterfaceConfig_InterfaceName_Get(path.c_str(), "1_1_1_CAN", 32, name); }},
      {"name set", [&] { return Qor_Xml_InterfaceConfig_InterfaceName_Set(path.c_str(), "1_1_1_CAN", "a"); }},
      {"configuration", [&] { return Qor_Xml_InterfaceConfig_ConfigurationName_Get(path.c_str(), 32, name); }},
      {"serial", [&] { return Qor_Xml_InterfaceConfig_SerialNumber_Get(path.c_str(), "a", &value); }},
  };
  const std::pair<const char*, uint32_t> files[] = {
      {nullptr, QOR_XML_ERR_FILE},
      {"<Interfaces><Configuration><Name>x</Name></Configuration><Interface id=\"1_1_1_CAN\"><Ser", QOR_XML_ERR_PARSER},
  };
  for (const auto& [content, expected] : files) {
    if (content != nullptr) {
      ASSERT_TRUE(writeFile(path, content));
    }
    for (const auto& [what, lookup] : lookups) {
      SCOPED_TRACE(std::string(what) + (content ? " in a damaged file" : " in a missing file"));
      EXPECT_EQ(lookup(), expected);
    }
    if (content != nullptr) {
      EXPECT_EQ(readFile(path), content); // a failed change leaves it
    }
  }
}

TEST(XmlInterfaceConfig, BuildingCalls) {
  TempDirectory directory;
  const std::string path = directory.file("interfaces.xml");
  Document file;
  ASSERT_EQ(Qor_Xml_InterfaceConfig_CreateConfigFile(path.c_str(), &file.document), 0u);
  Qor_Xml_Node_t interfaces = Qor_Xml_Node_Alloc(), configuration = Qor_Xml_Node_Alloc();
  ASSERT_TRUE(Qor_Xml_Node_GetChildByName(file.document.node, QOR_XML_INTERFACES, &interfaces));
  ASSERT_TRUE(Qor_Xml_Node_GetChildByName(interfaces, QOR_XML_CONFIGURATION, &configuration));
  Qor_Xml_Node_t device = Qor_Xml_Node_Alloc(), again = Qor_Xml_Node_Alloc(), element = Qor_Xml_Node_Alloc();
  EXPECT_EQ(Qor_Xml_InterfaceConfig_CreateDevice(configuration, &device, record(4, 1, 1, 3, 11, 77)), 0u);
  EXPECT_EQ(Qor_Xml_InterfaceConfig_CreateDevice(configuration, &again, record(5, 2, 1, 3, 11, 77)), 0u);
  EXPECT_EQ(device, again); // one entry per device
  EXPECT_EQ(Qor_Xml_Node_GetNumberOfChildNodes(configuration, QOR_XML_DEVICE), 1u);
  ASSERT_EQ(Qor_Xml_Node_AppendChild(interfaces, QOR_XML_INTERFACE, &element), 0u);
  for (uint8_t type : {0, 1, 15, 17}) {
    SCOPED_TRACE(type);
    EXPECT_EQ(Qor_Xml_InterfaceConfig_CreateInterface(element, record(type, 1, 1, 3, 11, 77)), QOR_XML_ERR_NODE);
  }
  EXPECT_EQ(Qor_Xml_InterfaceConfig_CreateInterface(nullptr, record(4, 1, 1, 3, 11, 77)), QOR_XML_ERR_NODE);
  EXPECT_EQ(Qor_Xml_InterfaceConfig_CreateDevice(nullptr, &device, record(4, 1, 1, 3, 11, 77)), QOR_XML_ERR_NODE);
}

TEST(XmlInterfaceConfig, LastErrorTextsBelongToTheirThread) {
  TempDirectory directory;
  uint32_t serial = 0;
  EXPECT_EQ(Qor_Xml_InterfaceConfig_SerialNumber_Get(directory.file("a.xml").c_str(), "x", &serial), QOR_XML_ERR_FILE);
  std::string other;
  std::thread([&] {
    Qor_Xml_InterfaceConfig_SerialNumber_Get(directory.file("b.xml").c_str(), "x", &serial);
    other = Qor_Xml_GetLastErrorDescription();
  }).join();
  EXPECT_NE(other.find("b.xml"), std::string::npos);
  EXPECT_NE(std::string(Qor_Xml_GetLastErrorDescription()).find("a.xml"), std::string::npos);
}

struct AdapterCase {
  const char* name;
  const char* content;
  uint32_t room;
  uint32_t result;
  std::vector<std::pair<const char*, const char*>> adapters;
};

TEST(XmlSettings, ScanableAdapters) {
  const char* two = "<Settings><Ethernet><Adapter address=\"127.0.0.1\" netmask=\"255.0.0.0\"/>"
                    "<Adapter address=\"127.1.2.3\" netmask=\"255.255.0.0\"/></Ethernet></Settings>";
  const AdapterCase cases[] = {
      {"two adapters", two, 32, 0, {{"127.0.0.1", "255.0.0.0"}, {"127.1.2.3", "255.255.0.0"}}},
      {"exactly the room", two, 2, 0, {{"127.0.0.1", "255.0.0.0"}, {"127.1.2.3", "255.255.0.0"}}},
      {"more than the room", two, 1, QOR_XML_ERR_NODE, {}},
      {"no Ethernet part", "<Settings/>", 32, 0, {}},
      {"no settings", "<Interfaces/>", 32, QOR_XML_ERR_NODE_NOT_FOUND, {}},
      {"no address", "<Settings><Ethernet><Adapter netmask=\"255.0.0.0\"/></Ethernet></Settings>", 32,
       QOR_XML_ERR_PARSER, {}},
      {"a bad netmask",
       "<Settings><Ethernet><Adapter address=\"127.0.0.1\" netmask=\"255.0.0\"/></Ethernet></Settings>", 32,
       QOR_XML_ERR_PARSER, {}},
      {"missing file", nullptr, 32, QOR_XML_ERR_FILE, {}},
  };
  for (const AdapterCase& c : cases) {
    SCOPED_TRACE(c.name);
    TempDirectory directory;
    const std::string path = directory.file("qor_settings.xml");
    if (c.content != nullptr) {
      ASSERT_TRUE(writeFile(path, c.content));
    }
    Qor_NetworkAdapter_t adapters[32]{};
    uint32_t count = c.room;
    EXPECT_EQ(Qor_Xml_Settings_GetScanableAdapters(path.c_str(), &count, adapters), c.result);
    ASSERT_EQ(count, c.adapters.size());
    for (size_t i = 0; i < c.adapters.size(); ++i) {
      EXPECT_EQ(adapters[i].address, address(c.adapters[i].first));
      EXPECT_EQ(adapters[i].netmask, address(c.adapters[i].second));
    }
  }
}

} // namespace
