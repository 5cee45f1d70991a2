// The bridge driver access layer against the emulated driver: finding across drivers, connect checks, BAR mappings
// with their counts, requests whose call fails, and devices without driver requests.
#include <dirent.h>

#include "card_fixture.hpp"
#include "qor_test/syslog_capture.hpp"

namespace qor::pxi94xx::test {
namespace {

using namespace std::chrono_literals;

size_t openDescriptors() {
  size_t count = 0;
  DIR* directory = opendir("/proc/self/fd");
  while (readdir(directory) != nullptr) ++count;
  closedir(directory);
  return count;
}

PlxDeviceKey_t anyDevice() {
  PlxDeviceKey_t key;
  std::memset(&key, 0xFF, sizeof key);
  return key;
}

class PlxApiTest : public CardFixture {
 protected:
  // Opens card 0 of the card driver into device_object_.
  void openFirstCard() {
    PlxDeviceKey_t key = anyDevice();
    ASSERT_EQ(PlxPci_DeviceOpen(&key, &object_), PLX_STATUS_OK);
  }
  void TearDown() override {
    if (object_.tag == PLX_TAG_VALID) PlxPci_DeviceClose(&object_);
    CardFixture::TearDown();
  }
  PlxDeviceObject_t object_{};
};

TEST_F(PlxApiTest, WithoutNodesFindSaysNoDriverAndLogsTheCardNodeOnly) {
  qor::test::SyslogCapture log;
  PlxDeviceKey_t key = anyDevice();
  EXPECT_EQ(PlxPci_DeviceFind(&key, 0), PLX_STATUS_NO_DRIVER);
  EXPECT_TRUE(log.waitFor("Driver_Connect : Error can not open Driver '/dev/plx/Pxi94xx-0'", 2s));
  EXPECT_FALSE(log.contains("PlxSvc"));
}

TEST_F(PlxApiTest, FindCountsMatchesAcrossDrivers) {
  addCard({.deviceNumber = 0, .pciDeviceId = 0x9440});
  driver_.addServiceDevice(3, 0x1111);
  driver_.addServiceDevice(4, 0x2222);
  PlxDeviceKey_t key = anyDevice();
  ASSERT_EQ(PlxPci_DeviceFind(&key, 2), PLX_STATUS_OK);  // the service driver's second device
  EXPECT_EQ(key.tag, PLX_TAG_VALID);
  EXPECT_EQ(key.driverIndex, 1);
  EXPECT_EQ(key.deviceId, 0x2222);
  key = anyDevice();
  ASSERT_EQ(PlxPci_DeviceFind(&key, 0), PLX_STATUS_OK);
  EXPECT_EQ(key.driverIndex, 0);
  EXPECT_EQ(key.deviceId, 0x9440);
  key = anyDevice();
  EXPECT_EQ(PlxPci_DeviceFind(&key, 3), PLX_STATUS_INVALID_OBJECT);
  EXPECT_EQ(PlxPci_DeviceFind(nullptr, 0), PLX_STATUS_NULL_ARGUMENT);
  EXPECT_EQ(PlxPci_DeviceFindEx(&key, 0, 2, nullptr), PLX_STATUS_REQUEST_FAILED);
  EXPECT_EQ(PlxPci_DeviceFindEx(&key, 0, 1, nullptr), PLX_STATUS_UNSUPPORTED);
}

TEST_F(PlxApiTest, ConnectRefusesAnotherDriverVersionAndClosesTheNode) {
  addCard();
  driver_.setVersion(7, 23, 0);
  const size_t before = openDescriptors();
  int64_t descriptor = 5;
  EXPECT_EQ(Driver_Connect(&descriptor, 0, 0), PLX_STATUS_WRONG_DRIVER_VERSION);
  EXPECT_EQ(descriptor, -1);
  EXPECT_EQ(openDescriptors(), before);
  driver_.setVersion(7, 24, 0);
  driver_.failCalls(true);
  EXPECT_EQ(Driver_Connect(&descriptor, 0, 0), PLX_STATUS_REQUEST_FAILED);
  EXPECT_EQ(openDescriptors(), before);
  driver_.failCalls(false);
  ASSERT_EQ(Driver_Connect(&descriptor, 0, 0), PLX_STATUS_OK);
  EXPECT_EQ(openDescriptors(), before + 1);
  close(static_cast<int>(descriptor));
  EXPECT_EQ(Driver_Connect(&descriptor, 2, 0), PLX_STATUS_NO_DRIVER);  // past the driver table
}

TEST_F(PlxApiTest, OpenAndCloseMarkTheObject) {
  addCard();
  openFirstCard();
  EXPECT_EQ(object_.tag, PLX_TAG_VALID);
  EXPECT_GE(object_.descriptor, 0);
  PlxDeviceKey_t key = anyDevice();
  EXPECT_EQ(PlxPci_DeviceOpen(&key, &object_), PLX_STATUS_INVALID_OBJECT);  // already open
  ASSERT_EQ(PlxPci_DeviceClose(&object_), PLX_STATUS_OK);
  EXPECT_EQ(std::memcmp(&object_, "DIOVDIOV", 8), 0);
  EXPECT_EQ(PlxPci_DeviceClose(&object_), PLX_STATUS_INVALID_OBJECT);
}

TEST_F(PlxApiTest, BarMappedTwiceIsReleasedByTheSecondUnmap) {
  emulator::Card94xx& card = addCard();
  openFirstCard();
  uint64_t first = 0, second = 0;
  ASSERT_EQ(PlxPci_PciBarMap(&object_, 0, &first), PLX_STATUS_OK);
  ASSERT_EQ(PlxPci_PciBarMap(&object_, 0, &second), PLX_STATUS_OK);
  EXPECT_EQ(first, second);
  EXPECT_EQ(object_.mapCount[0], 2);

  // The mapping is the card's memory.
  card.setRegister(PXI94XX_RESPONSE_WRITE_INDEX, 0x5A5A);
  EXPECT_EQ(*reinterpret_cast<volatile uint32_t*>(first + PXI94XX_RESPONSE_WRITE_INDEX), 0x5A5Au);

  ASSERT_EQ(PlxPci_PciBarUnmap(&object_, &first), PLX_STATUS_OK);
  EXPECT_EQ(first, 0u);
  EXPECT_EQ(object_.barAddress[0], second);  // still mapped
  ASSERT_EQ(PlxPci_PciBarUnmap(&object_, &second), PLX_STATUS_OK);
  EXPECT_EQ(object_.barAddress[0], 0u);
  uint64_t stale = 0x1000;
  EXPECT_EQ(PlxPci_PciBarUnmap(&object_, &stale), PLX_STATUS_NOT_MAPPED);
}

TEST_F(PlxApiTest, BarArgumentsAndUnmappableBars) {
  addCard();
  openFirstCard();
  uint64_t address = 7;
  EXPECT_EQ(PlxPci_PciBarMap(&object_, 6, &address), PLX_STATUS_INVALID_ADDRESS);
  EXPECT_EQ(address, 0u);
  EXPECT_EQ(PlxPci_PciBarMap(&object_, 1, &address), PLX_STATUS_NOT_MAPPED);  // size 0
  PlxBarProperties_t properties;
  EXPECT_EQ(PlxPci_PciBarProperties(&object_, 6, &properties), PLX_STATUS_UNSUPPORTED);
  ASSERT_EQ(PlxPci_PciBarProperties(&object_, 0, &properties), PLX_STATUS_OK);
  EXPECT_EQ(properties.size, PXI94XX_BAR0_SIZE);
  PlxDeviceObject_t closed{};
  EXPECT_EQ(PlxPci_PciBarMap(&closed, 0, &address), PLX_STATUS_INVALID_OBJECT);
}

TEST_F(PlxApiTest, RequestWhoseCallFailsIsAFailure) {
  addCard();
  openFirstCard();
  driver_.failCalls(true);
  PlxBarProperties_t properties;
  EXPECT_EQ(PlxPci_PciBarProperties(&object_, 0, &properties), PLX_STATUS_REQUEST_FAILED);
  uint8_t major = 1, minor = 1, revision = 1;
  EXPECT_EQ(Pxi94xx_DriverVersion(&object_, &major, &minor, &revision), PLX_STATUS_REQUEST_FAILED);
  EXPECT_EQ(major, 0);
  uint8_t common[32];
  EXPECT_EQ(PlxPci_CommonBufferProperties(&object_, common), PLX_STATUS_REQUEST_FAILED);
}

TEST_F(PlxApiTest, DeviceWithoutDriverRequestsAnswersZeros) {
  addCard();
  openFirstCard();
  driver_.failCalls(true);
  object_.key.accessMode = 1;
  uint8_t major = 1, minor = 1, revision = 1;
  EXPECT_EQ(Pxi94xx_DriverVersion(&object_, &major, &minor, &revision), PLX_STATUS_OK);
  EXPECT_EQ(major + minor + revision, 0);
  object_.key.accessMode = 2;
  EXPECT_EQ(PlxIoMessage(&object_, PLX_REQUEST(PLX_REQUEST_DRIVER_VERSION), nullptr), -1);
  object_.key.accessMode = 0;
}

TEST_F(PlxApiTest, CommonBufferPropertiesAreAskedOnce) {
  addCard();
  openFirstCard();
  uint8_t first[32], second[32];
  ASSERT_EQ(PlxPci_CommonBufferProperties(&object_, first), PLX_STATUS_OK);
  uint64_t cleared = 1, physical = 0;
  std::memcpy(&cleared, first, 8);
  std::memcpy(&physical, first + 8, 8);
  EXPECT_EQ(cleared, 0u);
  EXPECT_NE(physical, 0u);
  driver_.failCalls(true);
  ASSERT_EQ(PlxPci_CommonBufferProperties(&object_, second), PLX_STATUS_OK);
  EXPECT_EQ(std::memcmp(first, second, sizeof first), 0);
}

TEST_F(PlxApiTest, ConfigurationSpaceBypassingTheSystem) {
  addCard({.deviceNumber = 0, .pciDeviceId = 0x9440});
  int status = -1;
  EXPECT_EQ(PlxPci_PciRegisterRead_BypassOS(1, 0, 0, 0, &status), 0x94401234u);
  EXPECT_EQ(status, 0);
  ASSERT_EQ(PlxPci_PciRegisterWrite_BypassOS(1, 2, 3, 0x40, 0xCAFE), 0);
  const auto write = driver_.lastConfigWrite();
  ASSERT_TRUE(write.has_value());
  EXPECT_EQ(write->slot, 2);
  EXPECT_EQ(write->function, 3);
  EXPECT_EQ(write->offset, 0x40);
  EXPECT_EQ(write->value, 0xCAFEu);
}

TEST(PlxApiWithoutDriverTest, ConfigurationReadWithoutDeviceGivesAllOnes) {
  int status = 0;
  EXPECT_EQ(PlxPci_PciRegisterRead_BypassOS(1, 0, 0, 0, &status), 0xFFFFFFFFu);
  EXPECT_EQ(status, PLX_STATUS_NO_DRIVER);
}

}  // namespace
}  // namespace qor::pxi94xx::test
