// Rebuilding the interface list of the configuration file from lists of connected interfaces made up here.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "interface_config_fixture.hpp"
#include "qor_test/files.hpp"
#include "qor_xml.h"

namespace {

using namespace qor::test;

// USB devices 100, 200 and 300 of host type 11.
Qor_InterfaceData_t interface(uint32_t serial, uint8_t controller, uint8_t number, uint8_t type = 4) {
  return record(type, controller, number, QOR_COMMUNICATION_USB, 11, serial);
}

class InterfaceRebuild : public ::testing::Test {
 protected:
  ConfiguredFile configured;
};

TEST_F(InterfaceRebuild, ANewFileListsTheConnectedInterfacesAndASecondRunChangesNothing) {
  Qor_InterfaceData_t ethernet = record(4, 1, 1, QOR_COMMUNICATION_ETHERNET, 58, 12345);
  Qor_InterfaceData_t ethernet2 = ethernet;
  ethernet2.interfaceNumber = 2;
  const std::vector<Qor_InterfaceData_t> connected = {ethernet, ethernet2, interface(700, 1, 1, 5)};
  ASSERT_EQ(rebuild(connected), 0u) << Qor_GetLastErrorDescription();
  EXPECT_EQ(madeUpInterfaces().roomAsked, 128u);
  const FileContent content = readConfiguration(ConfiguredFile::kPath);
  EXPECT_EQ(content.interfaces,
            (std::vector<std::string>{"12345_Ethernet_1_1_CAN 1 ", "12345_Ethernet_1_2_CAN 1 ", "700_1_1_LIN 1 "}));
  EXPECT_EQ(content.devices, (std::vector<std::string>{"12345", "700"}));

  const std::optional<std::string> first = readFile(ConfiguredFile::kPath);
  ASSERT_EQ(rebuild(connected), 0u);
  EXPECT_EQ(readFile(ConfiguredFile::kPath), first);
}

struct PlacementCase {
  const char* name;
  std::vector<Qor_InterfaceData_t> before;
  const char* named; // the identifier that is named "engine" between the runs
  std::vector<Qor_InterfaceData_t> after;
  std::vector<std::string> interfaces;
  std::vector<std::string> devices;
};

TEST_F(InterfaceRebuild, WhereInterfacesGo) {
  const PlacementCase cases[] = {
      {"a disconnected device stays, unavailable and named",
       {interface(100, 1, 1), interface(200, 1, 1)}, "100_1_1_CAN",
       {interface(200, 1, 1)},
       {"100_1_1_CAN 0 engine", "200_1_1_CAN 1 "}, {"100", "200"}},
      {"a higher controller follows the device's last element",
       {interface(100, 1, 1), interface(100, 1, 2), interface(200, 1, 1)}, nullptr,
       {interface(100, 1, 1), interface(100, 1, 2), interface(100, 2, 1), interface(200, 1, 1)},
       {"100_1_1_CAN 1 ", "100_1_2_CAN 1 ", "100_2_1_CAN 1 ", "200_1_1_CAN 1 "}, {"100", "200"}},
      {"a lower interface goes before",
       {interface(100, 1, 2), interface(200, 1, 1)}, nullptr,
       {interface(100, 1, 1), interface(100, 1, 2), interface(200, 1, 1)},
       {"100_1_1_CAN 1 ", "100_1_2_CAN 1 ", "200_1_1_CAN 1 "}, {"100", "200"}},
      {"controller first, then interface",
       {interface(100, 1, 1), interface(100, 1, 2), interface(100, 2, 1)}, nullptr,
       {interface(100, 1, 3), interface(100, 1, 1), interface(100, 1, 2), interface(100, 2, 1)},
       {"100_1_1_CAN 1 ", "100_1_2_CAN 1 ", "100_1_3_CAN 1 ", "100_2_1_CAN 1 "}, {"100"}},
      {"another type at the same numbers replaces the element",
       {interface(100, 1, 1)}, "100_1_1_CAN",
       {interface(100, 1, 1, 5)},
       {"100_1_1_LIN 1 "}, {"100"}},
      {"a new device comes last, with its entry",
       {interface(100, 1, 1)}, nullptr,
       {interface(300, 1, 1), interface(100, 1, 1)},
       {"100_1_1_CAN 1 ", "300_1_1_CAN 1 "}, {"100", "300"}},
      {"new devices in list order",
       {}, nullptr,
       {interface(300, 1, 1), interface(100, 1, 2), interface(100, 1, 1)},
       {"300_1_1_CAN 1 ", "100_1_1_CAN 1 ", "100_1_2_CAN 1 "}, {"300", "100"}},
      {"an interface without identifier is left out",
       {}, nullptr,
       {interface(100, 1, 1), interface(100, 1, 2, QOR_INTERFACE_UNKNOWN)},
       {"100_1_1_CAN 1 "}, {"100"}},
  };
  int number = 0;
  for (const PlacementCase& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = "/tmp/qor/case" + std::to_string(++number) + ".xml";
    ASSERT_EQ(rebuild(c.before, path.c_str()), 0u) << Qor_GetLastErrorDescription();
    if (c.named != nullptr) {
      ASSERT_EQ(Qor_Xml_InterfaceConfig_InterfaceName_Set(path.c_str(), c.named, "engine"), 0u);
    }
    ASSERT_EQ(rebuild(c.after, path.c_str()), 0u) << Qor_GetLastErrorDescription();
    const FileContent content = readConfiguration(path.c_str());
    EXPECT_EQ(content.interfaces, c.interfaces);
    EXPECT_EQ(content.devices, c.devices);
  }
}

struct OptionCase {
  const char* name;
  const char* path;
  std::vector<uint32_t> options;
  uint32_t result;
  const char* description;
};

TEST_F(InterfaceRebuild, OptionsAndPaths) {
  const std::string tooLong = "/tmp/" + std::string(507, 'a');         // 512 bytes
  const std::string longest = "/tmp/qor/" + std::string(502, 'a');     // 511 bytes
  const OptionCase cases[] = {
      {"unknown option", nullptr, {2, 0}, 0x2000209, "0x02000209 - API - unknown flag"},
      {"reserved option", nullptr, {0, 1}, 0x2000206,
       "0x02000206 - API - invalid parameter - reserved bytes have to be zero"},
      {"no options", nullptr, {}, 0x2000206, "0x02000206 - API - invalid parameter - invalid pointer"},
      {"no path", nullptr, {1, 0}, 0x2000206, "0x02000206 - API - invalid parameter - invalid pointer"},
      {"a path too long", tooLong.c_str(), {1, 0}, 0x2000206,
       "0x02000206 - API - invalid parameter - path of the configuration file is longer than 511 bytes"},
      // Taken, and then refused by the file system: the name is longer than a file name can be.
      {"the longest path", longest.c_str(), {1, 0}, QOR_XML_ERR_FILE, "0x020B0005 - XML - file error - "},
  };
  for (const OptionCase& c : cases) {
    SCOPED_TRACE(c.name);
    madeUpInterfaces().list = {interface(100, 1, 1)};
    EXPECT_EQ(Qor_Interface_UpdateAllInterfaces(c.path, c.options.empty() ? nullptr : c.options.data()), c.result);
    EXPECT_EQ(std::string(Qor_GetLastErrorDescription()).rfind(c.description, 0), 0u) << Qor_GetLastErrorDescription();
  }

  madeUpInterfaces().result = 0x2000100; // the daemon is out of reach
  EXPECT_EQ(rebuild({interface(100, 1, 1)}), 0x2000100u);
  madeUpInterfaces().result = 0;
  EXPECT_FALSE(readFile(ConfiguredFile::kPath).has_value());

  configure(nullptr, "interfaces.xml");
  EXPECT_EQ(rebuild({interface(100, 1, 1)}), 0x2000102u);
}

struct DamageCase {
  const char* name;
  const char* content;
  uint32_t result;
  const char* description;
};

TEST_F(InterfaceRebuild, ADamagedFileGivesACleanErrorAndStaysAsItWas) {
  const char* const five = "<InterfaceType>4</InterfaceType><ControllerNumber>1</ControllerNumber>"
                           "<InterfaceNumber>1</InterfaceNumber><Serial>100</Serial>";
  const std::string withoutAvailable =
      std::string("<Interfaces><Configuration/><Interface id=\"100_1_1_CAN\">") + five + "</Interface></Interfaces>";
  const DamageCase cases[] = {
      {"cut short", "<Interfaces><Configuration/><Interface id=\"100_1_1_CAN\"><InterfaceType>4</Inter",
       QOR_XML_ERR_PARSER, "0x020B0002 - XML - parser error - '/tmp/qor/interfaces.xml' is damaged: "},
      {"another document", "<Devices/>", QOR_XML_ERR_NODE_NOT_FOUND,
       "0x020B0003 - XML - node not found - 'Interfaces' was not found"},
      {"no configuration", "<Interfaces/>", QOR_XML_ERR_NODE_NOT_FOUND,
       "0x020B0003 - XML - node not found - 'Configuration' was not found"},
      {"an interface before the configuration",
       "<Interfaces><Interface id=\"x\"/><Configuration/></Interfaces>", QOR_XML_ERR_NODE_NOT_FOUND,
       "0x020B0003 - XML - node not found - 'Interface' was not found"},
      {"no availability", withoutAvailable.c_str(), QOR_XML_ERR_NODE_NOT_FOUND,
       "0x020B0003 - XML - node not found - 'Available' was not found"},
      {"a serial number that is none",
       "<Interfaces><Configuration/><Interface><InterfaceType>4</InterfaceType><Available>1</Available>"
       "<ControllerNumber>1</ControllerNumber><InterfaceNumber>1</InterfaceNumber><Serial>1OO</Serial>"
       "</Interface></Interfaces>",
       QOR_XML_ERR_PARSER, "0x020B0002 - XML - parser error - 'Serial' holds no u32 value: '1OO'"},
  };
  for (const DamageCase& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(writeFile(ConfiguredFile::kPath, c.content));
    EXPECT_EQ(rebuild({interface(100, 1, 1), interface(200, 1, 1)}), c.result);
    EXPECT_EQ(std::string(Qor_GetLastErrorDescription()).rfind(c.description, 0), 0u) << Qor_GetLastErrorDescription();
    EXPECT_EQ(readFile(ConfiguredFile::kPath), c.content);
  }
}

} // namespace
