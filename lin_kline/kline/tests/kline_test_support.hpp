// What the K-Line library's end-to-end tests share: the codes and the controller with two K-Line interfaces.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "qor_api.h"
#include "qor_emulator/request_table.hpp"
#include "qor_kline.h"
#include "qor_test/interface_fixture.hpp"

namespace qor::test {

inline constexpr uint32_t kUnknownFlag = 0x20F0001;
inline constexpr uint32_t kInvalidParameter = 0x20F0002;
inline constexpr uint32_t kMoreData = 0x20F0003;
inline constexpr uint32_t kWrongInterface = 0x20F0006;
inline constexpr uint32_t kUnknownId = 0x20F0007;
inline constexpr uint32_t kMonitorNotConfigured = 0x20F0010;
inline constexpr uint32_t kMonitorAlreadyConfigured = 0x20F0011;
inline constexpr uint32_t kFirmwareError = 0x1F;

inline constexpr uint8_t kKLineInterface = 1;
inline constexpr uint8_t kOtherKLineInterface = 2;
inline constexpr uint8_t kCanInterface = 3;

// The calling thread's last error text ends with the function's own text.
inline ::testing::AssertionResult lastTextEndsWith(const std::string& text) {
  const std::string description = Qor_GetLastErrorDescription();
  if (description.ends_with(text)) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "last error: \"" << description << "\", expected it to end with \"" << text
                                       << "\"";
}

inline void appendU32(emulator::Bytes& bytes, uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<uint8_t>(value >> 8 * i));
}

inline emulator::Bytes u32Bytes(std::initializer_list<uint32_t> values) {
  emulator::Bytes bytes;
  for (uint32_t value : values) appendU32(bytes, value);
  return bytes;
}

class KLineFixture : public InterfaceFixture {
 protected:
  KLineFixture() : InterfaceFixture(klineController()) {}
};

}  // namespace qor::test
