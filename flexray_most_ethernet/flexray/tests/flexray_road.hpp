// What the FlexRay road tests share: the library's codes, the check that every function wants a FlexRay port and
// the fixture on the FlexRay model (port_ on interface 1; interface 2 is a CAN one).
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <span>
#include <string>

#include "road_basics.hpp"
#include "qor_api.h"
#include "qor_emulator/frame.hpp"
#include "qor_flexray.h"
#include "qor_test/interface_fixture.hpp"

namespace qor::test {

using emulator::Bytes;
using Record = emulator::RecordBytes;

inline constexpr uint8_t kController = 0x20;
inline constexpr uint32_t kWrongInterface = 0x02070001, kInvalidResponseLength = 0x02070003,
                          kUnknownFlag = 0x02070004, kUnknownMode = 0x02070005, kBufferUndersized = 0x02070006,
                          kInvalidParameter = 0x02070007, kInvalidResponseParameter = 0x02070009,
                          kUnknownType = 0x0207000B, kInvalidPortHandle = 0x0200000A, kFirmwareBusy = 0x1F;

// A command 0x20 answer's head: the sub-function that it is matched on.
inline Record subFunction(uint32_t number) { return std::move(Record().u32(number)); }

class FlexRayRoad : public InterfaceFixture {
 protected:
  explicit FlexRayRoad(EmulatedModel model = flexRayController()) : InterfaceFixture(std::move(model)) {}
  void SetUp() override {
    InterfaceFixture::SetUp();
    port_ = open(1);
  }

  // Each call refuses the CAN port as "wrong interface" with the library's text.
  void expectEachRefusesAnotherBus(std::span<const PortCall> calls) {
    const uint32_t canPort = open(2);
    for (const PortCall& call : calls) {
      EXPECT_EQ(call(canPort), kWrongInterface);
      EXPECT_EQ(lastText(), described(kWrongInterface, "FlexRay Interface expected!!!"));
    }
  }

  // And a handle that no port has.
  void expectEachRefusesAnotherBusAndAClosedHandle(std::span<const PortCall> calls) {
    expectEachRefusesAnotherBus(calls);
    for (const PortCall& call : calls) EXPECT_EQ(call(0x7777), kInvalidPortHandle);
  }

  uint32_t port_ = 0;
};

}  // namespace qor::test
