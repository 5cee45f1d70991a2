// The firmware commands of the cyclic-message table, and the shapes they share.
#pragma once

#include <cstdint>

namespace qor::can {

enum CyclicCommand : uint8_t {
  kDefineMessage = 0x22,
  kChangeGroupNumber = 0x23,
  kChangeDataAndCount = 0x25,
  kChangeCycleTime = 0x27,
  kStartGroup = 0x28,
  kStopGroup = 0x29,
  kDeleteMessage = 0x2A,
  kSetBreakCount = 0x2B,
  kSetBreakTime = 0x2C,
  kChangeMessage = 0x2E,
  kFdExtension = 0x2F,  // sub-function in the first u32
  kDefineMultiplexBytes = 0x32,
  kStopMultiplexBytes = 0x33,
  kDefineRamp = 0x36,
  kResetRampSum = 0x37,
  kDefineIncrementingRamp = 0x38,
  kDefineDisturbance = 0x39,
  kSetCalculationBreakCount = 0x3A,
  kChangeRampModes = 0x3B,
  kDefineParity = 0x61,
  kDefineChecksum = 0x62,
  kChecksumByteIndices = 0x63,
  kReadRampState = 0xF5,
  kReadMessageState = 0xF8,
};

enum FdExtensionFunction : uint32_t {
  kSetProperty = 7,
  kReadProperty = 8,
  kFdMultiplexBytes = 9,
};

// The commands answered with data and keyed by their first byte.
inline constexpr uint8_t kFirstByteKeys = 1;

}  // namespace qor::can
