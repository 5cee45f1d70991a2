// The USB path on its own, beside the udev rule of a sandbox: what it does when the platform library is missing.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <vector>

#include "map_usb.hpp"
#include "qor_error_codes.h"

namespace qor::daemon {
namespace {

Qor_InterfaceInfo_t firstCrx() {
  Qor_InterfaceInfo_t info{};
  info.hostInterfaceType = 17;
  info.controllerNumber = 1;
  info.interfaceNumber = 1;
  info.deviceNumber = 1;
  return info;
}

void placeRule() {
  std::filesystem::create_directories(std::filesystem::path(kUsbRuleFile).parent_path());
  std::ofstream(kUsbRuleFile) << "# the platform library's devices\n";
}

TEST(UsbPathAlone, APlatformLibraryThatCannotBeLoadedFailsTheOpenWithItsCode) {
  placeRule();
  const auto path = makeUsbPath("/nonexistent", "libhxusb_absent.so");
  const PathSettings settings;
  path->start(settings);
  std::unique_ptr<Device> device;
  const PathStatus status = path->open(firstCrx(), device);
  EXPECT_EQ(status.code, QOR_ERR_USB_LOAD_LIBRARY);
  EXPECT_EQ(status.text.rfind("unable to load 'libhxusb_absent.so', 'LoadLibrary' failed with ErrorCode", 0), 0u)
      << status.text;
  EXPECT_EQ(device, nullptr);
}

TEST(UsbPathAlone, WithoutTheRuleNothingIsListedOrOpened) {
  const auto path = makeUsbPath("/nonexistent", "libhxusb_absent.so");
  const PathSettings settings;
  path->start(settings);
  std::unique_ptr<Device> device;
  EXPECT_EQ(path->open(firstCrx(), device).code, QOR_ERR_SERVER_DEVICE_NOT_CONNECTED);
  std::vector<uint8_t> out(4108);
  uint32_t written = 99;
  EXPECT_TRUE(path->driverInfo(17, out, written, {}).ok());
  EXPECT_EQ(written, 0u);
  EXPECT_TRUE(path->refresh(false).ok());
}

} // namespace
} // namespace qor::daemon
