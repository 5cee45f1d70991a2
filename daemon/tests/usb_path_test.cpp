// The USB path's tables: grouping of the library's controller list into devices, the driver information, the type
// translations and texts, and the choice of the FPGA file.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "fpga_files.hpp"
#include "qor_error_codes.h"
#include "usb_device_table.hpp"
#include "usb_models.hpp"

namespace qor::daemon {
namespace {

struct RawController {
  uint32_t serial;
  uint32_t driverType;
};

// The raw list as the library writes it: header {version, 0, count, 0}, 16 bytes per controller.
std::vector<uint8_t> rawList(const std::vector<RawController>& controllers, uint32_t count = UINT32_MAX) {
  std::vector<uint8_t> raw(kUsbRawListSize, 0);
  const uint32_t header[4] = {225, 0, count == UINT32_MAX ? static_cast<uint32_t>(controllers.size()) : count, 0};
  memcpy(raw.data(), header, sizeof header);
  for (size_t i = 0; i < controllers.size() && 16 + (i + 1) * 16 <= raw.size(); ++i) {
    const uint32_t entry[4] = {controllers[i].serial, 0, controllers[i].driverType, 0};
    memcpy(raw.data() + 16 + i * 16, entry, sizeof entry);
  }
  return raw;
}

struct SlotView {
  uint32_t controller; // 1 to 4
  uint32_t serial;
  uint32_t index;
};

struct DeviceView {
  uint32_t driverType;
  uint32_t deviceNumber;
  uint32_t baseSerial;
  std::vector<SlotView> present;
};

std::vector<DeviceView> viewOf(const UsbDeviceTable& table) {
  std::vector<DeviceView> views;
  for (const UsbDeviceRecord& device : table.devices) {
    DeviceView view{device.driverType, device.deviceNumber, device.baseSerial, {}};
    for (uint32_t slot = 0; slot < kUsbMaxControllers; ++slot) {
      if (device.slots[slot].present) view.present.push_back({slot + 1, device.slots[slot].serialNumber, device.slots[slot].index});
    }
    views.push_back(view);
  }
  return views;
}

bool operator==(const SlotView& a, const SlotView& b) {
  return a.controller == b.controller && a.serial == b.serial && a.index == b.index;
}
bool operator==(const DeviceView& a, const DeviceView& b) {
  return a.driverType == b.driverType && a.deviceNumber == b.deviceNumber && a.baseSerial == b.baseSerial &&
         a.present == b.present;
}
void PrintTo(const DeviceView& d, std::ostream* out) {
  *out << "{type " << d.driverType << " #" << d.deviceNumber << " base " << d.baseSerial << ":";
  for (const auto& s : d.present) *out << " c" << s.controller << "=" << s.serial << "@" << s.index;
  *out << "}";
}

struct GroupingCase {
  const char* name;
  std::vector<RawController> controllers;
  std::vector<DeviceView> devices;
};

TEST(UsbDeviceTable, GroupsControllersIntoDevicesAndNumbersThem) {
  const GroupingCase cases[] = {
      {"7130 with serials 400 to 403 is one device of four controllers",
       {{400, 4}, {401, 4}, {402, 4}, {403, 4}},
       {{4, 1, 400, {{1, 400, 1}, {2, 401, 2}, {3, 402, 3}, {4, 403, 4}}}}},
      {"a group met out of order keeps its slots by serial",
       {{402, 4}, {400, 4}},
       {{4, 1, 400, {{1, 400, 2}, {3, 402, 1}}}}},
      {"two devices of one type are numbered in order of their first controllers",
       {{200, 13}, {100, 13}},
       {{13, 1, 200, {{1, 200, 1}}}, {13, 2, 100, {{1, 100, 2}}}}},
      {"device numbers count per type",
       {{10, 13}, {20, 14}, {30, 13}},
       {{13, 1, 10, {{1, 10, 1}}}, {14, 1, 20, {{1, 20, 1}}}, {13, 2, 30, {{1, 30, 2}}}}},
      {"a 7150 has three controllers: slot 4 of its group is no controller",
       {{800, 5}, {803, 5}, {802, 5}},
       {{5, 1, 800, {{1, 800, 1}, {3, 802, 2}}}}},
      {"a controller listed twice counts once",
       {{50, 13}, {50, 13}},
       {{13, 1, 50, {{1, 50, 1}}}}},
      {"an empty list has no device", {}, {}},
  };
  for (const GroupingCase& c : cases) {
    EXPECT_EQ(viewOf(buildUsbDeviceTable(rawList(c.controllers))), c.devices) << c.name;
  }
}

TEST(UsbDeviceTable, TheControllerCountIsHeldToWhatTheListHolds) {
  std::vector<RawController> many;
  for (uint32_t serial = 1; serial <= 200; ++serial) many.push_back({serial, 13});
  const UsbDeviceTable table = buildUsbDeviceTable(rawList(many, 100000));
  EXPECT_EQ(table.rawControllers, 127u);
  EXPECT_EQ(table.devices.size(), 127u);
  EXPECT_TRUE(buildUsbDeviceTable(std::vector<uint8_t>(8, 0xFF)).devices.empty());
}

TEST(UsbDeviceTable, DriverInformationListsDevicesByTypeWithNothingUnwritten) {
  const UsbDeviceTable table = buildUsbDeviceTable(rawList({{10, 13}, {400, 4}, {30, 13}, {401, 4}, {99, 200}}));
  const std::vector<uint8_t> info = usbDriverInformation(table);
  ASSERT_EQ(info.size(), 12u + 4 * 32);
  uint32_t count = 0;
  memcpy(&count, info.data() + 8, 4);
  EXPECT_EQ(count, 4u);
  struct Expected {
    uint32_t hostType, deviceNumber, serial;
    uint8_t position;
  };
  const Expected expected[] = {{17, 1, 10, 1}, {17, 2, 30, 3}, {11, 1, 400, 2}, {87, 1, 99, 4}};
  for (size_t i = 0; i < 4; ++i) {
    UsbDriverInfoEntry entry;
    memcpy(&entry, info.data() + 12 + i * 32, sizeof entry);
    EXPECT_EQ(entry.hostInterfaceType, expected[i].hostType) << i;
    EXPECT_EQ(entry.communicationType, 3u) << i;
    EXPECT_EQ(entry.deviceNumber, expected[i].deviceNumber) << i;
    EXPECT_EQ(entry.serialNumber, expected[i].serial) << i;
    EXPECT_EQ(entry.position, expected[i].position) << i;
    EXPECT_EQ(entry.reserved16 | entry.reserved20, 0u) << i;
    for (uint8_t byte : entry.reserved25) EXPECT_EQ(byte, 0) << i;
  }
}

TEST(UsbModels, TranslatesHostTypesBothWays) {
  struct Case {
    uint32_t hostType, driverType, reportedAs;
  };
  const Case cases[] = {{10, 4, 11}, {11, 4, 11}, {13, 5, 14}, {15, 6, 16}, {70, 7, 70}, {33, 12, 33}, {17, 13, 17},
                        {39, 14, 39}, {36, 15, 36}, {12, 18, 12}, {19, 19, 19}, {37, 20, 37}, {69, 26, 69}, {28, 28, 28},
                        {31, 32, 23}, {44, 32, 23}, {45, 33, 25}, {46, 34, 30}, {47, 35, 27}, {52, 36, 52}, {41, 42, 40},
                        {42, 43, 42}, {43, 44, 43}, {55, 47, 55}, {71, 48, 71}};
  for (const Case& c : cases) {
    const auto driver = usbDriverTypeOf(c.hostType);
    ASSERT_TRUE(std::holds_alternative<uint32_t>(driver)) << c.hostType;
    EXPECT_EQ(std::get<uint32_t>(driver), c.driverType) << c.hostType;
    EXPECT_EQ(usbHostTypeOf(c.driverType), c.reportedAs) << c.hostType;
  }
  EXPECT_EQ(usbHostTypeOf(3), 87u);
  EXPECT_EQ(usbHostTypeOf(49), 87u);
  EXPECT_STREQ(usbModelName(13), "kaloCRX");
  EXPECT_STREQ(usbModelName(7), "USB73400");
  EXPECT_STREQ(usbModelName(8), "unknown");
}

TEST(UsbModels, RefusesTypesWithoutUsb) {
  struct Case {
    uint32_t hostType, code;
    const char* text;
  };
  const Case cases[] = {
      {18, QOR_ERR_USB_NOT_USB_DEVICE_TYPE, "device type '18' is no vaild QorUSB_PLATFORM device type"},
      {0, QOR_ERR_USB_NOT_USB_DEVICE_TYPE, "device type '0' is no vaild QorUSB_PLATFORM device type"},
      {86, QOR_ERR_USB_NOT_USB_DEVICE_TYPE, "device type '86' is no vaild QorUSB_PLATFORM device type"},
      {500, QOR_ERR_USB_UNKNOWN_DEVICE_TYPE, "device type '500' is unknown"},
  };
  for (const Case& c : cases) {
    const auto driver = usbDriverTypeOf(c.hostType);
    ASSERT_TRUE(std::holds_alternative<PathStatus>(driver)) << c.hostType;
    EXPECT_EQ(std::get<PathStatus>(driver).code, c.code) << c.hostType;
    EXPECT_EQ(std::get<PathStatus>(driver).text, c.text) << c.hostType;
  }
}

TEST(UsbModels, LibraryErrorTexts) {
  const std::pair<uint32_t, std::string> cases[] = {
      {0, "no error"},
      {0xE0000007, "device removed"},
      {0xE0000105, "no device present"},
      {0xE0000114, "user memory undersized"},
      {0xE0000308, "ethernet - response too long"},
      {0xE0000250, "USB controller firmware error"},
      {0xE000012A, "unknown error"},
      {0xE1234567, "unknown error"},
      {ENOENT, strerror(ENOENT)},
  };
  for (const auto& [code, text] : cases) EXPECT_EQ(usbLibraryErrorText(code), text) << std::hex << code;
  EXPECT_EQ(usbLibraryFailure(QOR_ERR_USB_READ, "QorUSB_Platform_Read_FIFO", 0xE0000007).text,
            "'QorUSB_Platform_Read_FIFO' failed with 'rc=0xE0000007' -> device removed");
}

class FpgaFiles : public ::testing::Test {
protected:
  void SetUp() override {
    char pattern[] = "/tmp/fpga_files_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    directory_ = pattern;
  }
  void TearDown() override { std::filesystem::remove_all(directory_); }
  void place(std::initializer_list<const char*> names) {
    std::filesystem::create_directory(directory_ + "/FpgaFiles");
    for (const char* name : names) std::ofstream(directory_ + "/FpgaFiles/" + name) << "design";
  }
  std::string directory_;
};

TEST_F(FpgaFiles, TheHighestVersionOfTheFirstStemWins) {
  place({"USB7130_design_3.CFD", "USB7130_design_12.CFD", "USB7130_design_7.cfd", "USB7150_design_40.CFD"});
  const auto found = findFpgaFile(directory_, "USB7130");
  ASSERT_TRUE(std::holds_alternative<FpgaFile>(found)) << std::get<PathStatus>(found).text;
  EXPECT_EQ(std::get<FpgaFile>(found).version, 12u);
  EXPECT_EQ(std::get<FpgaFile>(found).path, directory_ + "/FpgaFiles/USB7130_design_12.CFD");
}

TEST_F(FpgaFiles, FailuresNameWhatIsMissing) {
  const auto missing = findFpgaFile(directory_, "USB8200");
  ASSERT_TRUE(std::holds_alternative<PathStatus>(missing));
  EXPECT_EQ(std::get<PathStatus>(missing).code, QOR_ERR_SERVER_FILE_NOT_FOUND);
  EXPECT_EQ(std::get<PathStatus>(missing).text, "could not find fpga file '" + directory_ + "/FpgaFiles/USB8200*'");

  place({"USB8200.CFD", "USB8200_x.bin"});
  const auto unsuitable = findFpgaFile(directory_, "USB8200");
  ASSERT_TRUE(std::holds_alternative<PathStatus>(unsuitable));
  EXPECT_EQ(std::get<PathStatus>(unsuitable).code, QOR_ERR_SERVER_FILE_NOT_FOUND);
  EXPECT_EQ(std::get<PathStatus>(unsuitable).text, "could not find a suitable fpga file");
}

} // namespace
} // namespace qor::daemon
