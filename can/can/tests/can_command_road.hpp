// A CAN port on the whole road (library, daemon, emulated controller) for tests that state each request byte-exact
// in the device's request table, and the checks they share.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>

#include "qor_api.h"
#include "qor_emulator/frame.hpp"
#include "qor_test/interface_fixture.hpp"

namespace qor::test {

inline constexpr uint8_t kCanInterface = 1;
inline constexpr uint8_t kRestBusInterface = 3;  // of another interface type

inline constexpr uint32_t kWrongInterfaceType = 0x02020001;
inline constexpr uint32_t kInvalidDataLength = 0x02020002;
inline constexpr uint32_t kInvalidResponseLength = 0x02020003;
inline constexpr uint32_t kUnknownFlag = 0x02020004;
inline constexpr uint32_t kUnknownMode = 0x02020005;
inline constexpr uint32_t kInvalidParameter = 0x02020007;
inline constexpr uint32_t kInvalidDlc = 0x02020101;
inline constexpr uint32_t kInvalidGroupNumber = 0x02020103;
inline constexpr uint32_t kFirmwareError = 0x1F;

class CanCommandRoad : public InterfaceFixture {
 protected:
  void SetUp() override {
    InterfaceFixture::SetUp();
    port_ = open(kCanInterface);
    device_->recorder().clear();
  }

  // Requests of this command the device got since SetUp, expected or not.
  size_t requestsOf(uint8_t command) const {
    const auto frames = device_->recorder().frames();
    return static_cast<size_t>(std::count_if(frames.begin(), frames.end(), [command](const auto& frame) {
      return frame.command() == command;
    }));
  }

  uint32_t port_ = QOR_NO_PORT;
};

// The call returned the code and recorded a text that holds `text` (any text when empty).
inline testing::AssertionResult failedWith(uint32_t result, uint32_t code, const std::string& text = "") {
  if (result != code) {
    return testing::AssertionFailure() << "returned 0x" << std::hex << result << " instead of 0x" << code << ": "
                                       << Qor_GetLastErrorDescription();
  }
  const std::string description = Qor_GetLastErrorDescription();
  if (description.find(text) == std::string::npos) {
    return testing::AssertionFailure() << "text \"" << description << "\" lacks \"" << text << "\"";
  }
  return testing::AssertionSuccess();
}

using emulator::RecordBytes;

}  // namespace qor::test
