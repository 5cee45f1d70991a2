// The USB platform library's own numbering of device types, its model names and its error texts.
#pragma once

#include <cstdint>
#include <string>
#include <variant>

#include "access_path.hpp"

namespace qor::daemon {

// The host interface type a listed device is reported as; 87 for a type the table does not know.
uint32_t usbHostTypeOf(uint32_t driverType);
// The driver device type of a host interface type, or 0x1100011 (a known type without USB) / 0x1100010 (unknown).
std::variant<uint32_t, PathStatus> usbDriverTypeOf(uint32_t hostType);
// The model name, "unknown" for a type the table does not know.
const char* usbModelName(uint32_t driverType);
// The text of a library code.
std::string usbLibraryErrorText(uint32_t code);

// "'%s' failed with 'rc=0x%08X' -> %s": a library function that failed, with its code's text.
PathStatus usbLibraryFailure(uint32_t code, const char* function, uint32_t libraryCode);

// Library codes the path acts on.
inline constexpr uint32_t kUsbNoDevicePresent = 0xE0000105;
inline constexpr uint32_t kUsbDeviceRemoved = 0xE0000007;
inline constexpr uint32_t kUsbDownloadInProgress = 0xE000012A;

} // namespace qor::daemon
