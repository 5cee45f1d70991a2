// libqor_api_common's frame: its module and the codes of its own beyond the general ones (texts in the core's table).
#pragma once

#include <cstdint>

#include "qor_kit/library.hpp"

namespace qor::common {

enum CommonError : uint16_t {
  kInvalidFirmwareVersion = 0x0B,
  kInitializationFailed = 0x101,
  kDeviceNotConnected = 0x102,
  kUnknownDeviceType = 0x103,
  kWrongHostInterfaceType = 0x104,
  kHostInterfaceTypeNotSupported = 0x105,
  kNotEnoughMemory = 0x106,
  kInvalidConfiguration = 0x107,
  kFunctionNotAvailable = 0x108,
  kDataAcquisitionRunning = 0x200,
  kDaqNotInitialized = 0x201,
  kXcpError = 0x202,
  kXcpResponseTimeout = 0x203,
};

inline constexpr kit::Library kCommon{0x01, kNotEnoughMemory};

}  // namespace qor::common
