// The access path of USB devices: the platform library libhxusb, loaded by name, lists them and carries their
// firmware frames and FPGA register accesses. Active only when the daemon runs with "usb" and the udev rule of the
// library is present.
#pragma once

#include <memory>
#include <string>

#include "access_path.hpp"
#include "usb_library.hpp"

namespace qor::daemon {

inline constexpr char kUsbRuleFile[] = "/etc/udev/rules.d/90-hxusb.rules";

// fpgaDirectory: where the directory "FpgaFiles" lies (the daemon's own directory); libraryName: the platform
// library's, loaded by name.
std::unique_ptr<AccessPath> makeUsbPath(std::string fpgaDirectory, std::string libraryName = kUsbLibraryName);

} // namespace qor::daemon
