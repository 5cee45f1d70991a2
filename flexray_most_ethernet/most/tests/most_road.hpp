// What the MOST road tests share: the library's codes, the last error's text, tables of refusals, the check that every
// function wants a MOST port and the fixture on the MOST model (maximum parameter length 4084; port_ on interface 1).
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <numeric>
#include <span>
#include <string>

#include "qor_api.h"
#include "qor_emulator/frame.hpp"
#include "qor_test/interface_fixture.hpp"

namespace qor::test {

using emulator::Bytes;
using Record = emulator::RecordBytes;

inline constexpr uint32_t kBadHandle = 0x0200000A, kWrongInterface = 0x02040001, kInvalidDataLength = 0x02040002,
                          kInvalidResponseLength = 0x02040003, kUnknownFlag = 0x02040004, kUnknownMode = 0x02040005,
                          kBufferUndersized = 0x02040006, kInvalidParameter = 0x02040007, kUserTimeout = 0x02040008,
                          kInvalidResponseParameter = 0x02040009, kInconsistentResponse = 0x0204000B,
                          kUnknownOperationType = 0x02040101, kAmsUnknownMessageType = 0x02040201,
                          kAmsNoFreeChannel = 0x02040202, kCallbackTaken = 0x02000402;

using PortCall = std::function<uint32_t(uint32_t)>;

// Bytes offset, offset + 1, ... of a message.
inline Bytes slice(uint32_t offset, uint32_t length) {
  Bytes bytes(length);
  std::iota(bytes.begin(), bytes.end(), static_cast<uint8_t>(offset));
  return bytes;
}

// The first length bytes.
inline Bytes cut(Bytes bytes, size_t length) {
  bytes.resize(length);
  return bytes;
}

inline std::string lastError() { return Qor_GetLastErrorDescription(); }

// The last error's text carries the given detail.
inline void expectText(const std::string& text) {
  EXPECT_NE(lastError().find(" - " + text), std::string::npos) << lastError();
}

// A call refused before anything is sent: its code and the detail it says.
struct Refusal {
  const char* name;
  PortCall call;
  uint32_t code;
  const char* text;
};

inline void expectRefusals(uint32_t port, std::span<const Refusal> cases) {
  for (const Refusal& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.call(port), c.code) << lastError();
    expectText(c.text);
  }
}

class MostRoad : public InterfaceFixture {
 protected:
  explicit MostRoad(EmulatedModel model = mostController()) : InterfaceFixture(std::move(model)) {}
  void SetUp() override {
    InterfaceFixture::SetUp();
    port_ = open(1);
  }

  // Each call refuses the port of another bus as "wrong interface" and a handle that no port has.
  static void expectEachWantsAMostPort(uint32_t otherBusPort, std::span<const PortCall> calls) {
    for (size_t i = 0; i < calls.size(); ++i) {
      EXPECT_EQ(calls[i](otherBusPort), kWrongInterface) << "call " << i;
      expectText("MOST Interface expected");
      EXPECT_EQ(calls[i](0xDEAD), kBadHandle) << "call " << i;
    }
  }

  uint32_t port_ = 0;
};

}  // namespace qor::test
