// The LIN library on the whole road: this process's library, the daemon as a process and an emulated LIN controller
// on loopback. Each case states its requests byte-exact with the device's answers (device_->expect); TearDown fails
// it for every request not stated (so a refused call that sent anything fails) and every stated one not sent.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "qor_api.h"
#include "qor_emulator/frame.hpp"
#include "qor_helpers.h"
#include "qor_test/interface_fixture.hpp"

namespace qor::test {

using emulator::Bytes;

inline constexpr uint32_t kWrongInterface = 0x02050001;
inline constexpr uint32_t kInvalidResponseLength = 0x02050003;
inline constexpr uint32_t kUnknownFlag = 0x02050004;
inline constexpr uint32_t kUnknownMode = 0x02050005;
inline constexpr uint32_t kInvalidParameter = 0x02050007;
inline constexpr uint32_t kInvalidResponseParameter = 0x02050009;
inline constexpr uint32_t kNoLock = 0x0205000A;
inline constexpr uint32_t kOperationNotAllowed = 0x0205000E;
inline constexpr uint32_t kInvalidFrameDataLength = 0x02050101;
inline constexpr uint32_t kInvalidSendState = 0x02050102;
inline constexpr uint32_t kInvalidGroupNumber = 0x02050103;
inline constexpr uint32_t kFirmwareBusy = 0x1F;

inline std::string lastText() { return Qor_GetLastErrorDescription(); }
inline bool lastTextHas(const std::string& text) { return lastText().find(text) != std::string::npos; }

// The last error's description: the code, the library's text for it and the detail text.
inline std::string described(uint32_t code, const char* detail) {
  char text[512];
  snprintf(text, sizeof text, "0x%08X - %s - %s", code, Qor_Error_GetErrorDescription(code), detail);
  return text;
}

inline Bytes operator+(Bytes head, const Bytes& tail) {
  head.insert(head.end(), tail.begin(), tail.end());
  return head;
}

inline Bytes u16le(uint16_t value) { return {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8)}; }
inline Bytes u32le(uint32_t value) { return emulator::words({value}); }

class LinRoad : public InterfaceFixture {
 protected:
  explicit LinRoad(EmulatedModel model = linAndKLineController()) : InterfaceFixture(std::move(model)) {}

  void SetUp() override {
    InterfaceFixture::SetUp();
    port_ = open(1);
  }

  uint32_t port_ = QOR_NO_PORT;
};

}  // namespace qor::test
