// Driving the node, from the library through the daemon to an emulated controller: every record byte-exact, the
// refusals that send nothing, the states checked against their ranges and the answers read only as far as the
// firmware sent them.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "flexray_road.hpp"

namespace qor::test {
namespace {

constexpr uint8_t kTransceiver = 0x22;

using FlexRayNodeRoad = FlexRayRoad;

TEST_F(FlexRayNodeRoad, EveryFunctionRefusesAPortOfAnotherBusAndAClosedHandle) {
  uint8_t u8 = 0, second = 0;
  uint16_t u16 = 0;
  uint32_t u32 = 0;
  const Qor_FlexRay_TransceiverModeSetting_t setting{};
  Qor_FlexRay_TransceiverMode_t mode{};
  const PortCall calls[] = {
      [](uint32_t p) { return Qor_FlexRay_ConfigMode_Enter(p); },
      [](uint32_t p) { return Qor_FlexRay_ConfigMode_Leave(p); },
      [](uint32_t p) { return Qor_FlexRay_Communication_Start(p); },
      [](uint32_t p) { return Qor_FlexRay_Communication_Stop(p, 0); },
      [](uint32_t p) { return Qor_FlexRay_Node_SendWakeUp(p); },
      [](uint32_t p) { return Qor_FlexRay_Startup_Config(p, 0, 0, 0, 0); },
      [&](uint32_t p) { return Qor_FlexRay_Startup_GetInfo(p, &u16, &u8, &u32); },
      [&](uint32_t p) { return Qor_FlexRay_Node_GetState(p, &u8, &u8, &u8, &u32, &u32); },
      [](uint32_t p) { return Qor_FlexRay_MTS_Send(p, 0, 0, 0); },
      [&](uint32_t p) { return Qor_FlexRay_MTS_GetState(p, 0, &u8); },
      [&](uint32_t p) { return Qor_FlexRay_Module_GetInfo(p, &u8, &second); },
      [](uint32_t p) { return Qor_FlexRay_Node_BusTermination_Enable(p); },
      [](uint32_t p) { return Qor_FlexRay_Node_BusTermination_Disable(p); },
      [&](uint32_t p) { return Qor_FlexRay_Node_SetTransceiverMode(p, &setting); },
      [&](uint32_t p) { return Qor_FlexRay_Node_GetTransceiverMode(p, &mode); },
  };
  expectEachRefusesAnotherBusAndAClosedHandle(calls);
}

TEST_F(FlexRayNodeRoad, CommandsSendTheirRecords) {
  struct Case {
    std::function<uint32_t(uint32_t)> call;
    uint8_t command;
    emulator::Bytes record;
  } const cases[] = {
      {Qor_FlexRay_ConfigMode_Enter, kController, Record().u32(5)},
      {Qor_FlexRay_ConfigMode_Leave, kController, Record().u32(6)},
      {Qor_FlexRay_Communication_Start, kController, Record().u32(7)},
      {[](uint32_t p) { return Qor_FlexRay_Communication_Stop(p, 0); }, kController, Record().u32(8).u8(0).zeros(3)},
      {[](uint32_t p) { return Qor_FlexRay_Communication_Stop(p, 2); }, kController, Record().u32(8).u8(2).zeros(3)},
      {Qor_FlexRay_Node_SendWakeUp, kController, Record().u32(28)},
      {[](uint32_t p) { return Qor_FlexRay_Startup_Config(p, 0, 0x1234, 0xABCD, 0x7F); }, kController,
       Record().u32(2).u16(0x1234).u16(0xABCD).u8(0x7F).u8(0).u8(0).u8(0)},
      {[](uint32_t p) { return Qor_FlexRay_Startup_Config(p, 3, 1, 2, 3); }, kController,
       Record().u32(2).u16(1).u16(2).u8(3).u8(1).u8(1).u8(0)},
      {[](uint32_t p) { return Qor_FlexRay_Startup_Config(p, 2, 1, 2, 3); }, kController,
       Record().u32(2).u16(1).u16(2).u8(3).u8(0).u8(1).u8(0)},
      {[](uint32_t p) { return Qor_FlexRay_MTS_Send(p, 3, 0xAA, 0x55); }, kController,
       Record().u32(20).u8(3).u8(0xAA).u8(0x55).u8(0)},
      {Qor_FlexRay_Node_BusTermination_Enable, kTransceiver, Record().u32(0)},
      {Qor_FlexRay_Node_BusTermination_Disable, kTransceiver, Record().u32(1)},
      {[](uint32_t p) {
         const Qor_FlexRay_TransceiverModeSetting_t setting{7, 0x99, 4, 0};
         return Qor_FlexRay_Node_SetTransceiverMode(p, &setting);
       },
       kTransceiver, Record().u32(5).u8(7).zeros(3).u8(0x99).u8(4).u16(0)},
  };
  // Each answer echoes the sub-function, which holds the bytes it is matched on.
  for (const Case& c : cases) device_->expect(c.command, c.record).answer({c.record.begin(), c.record.begin() + 4});
  for (const Case& c : cases) EXPECT_EQ(c.call(port_), 0u) << lastText();
  device_->expect(kController, Record().u32(7)).fail(kFirmwareBusy, "busy");
  EXPECT_EQ(Qor_FlexRay_Communication_Start(port_), kFirmwareBusy) << "the firmware's code comes back unchanged";
}

TEST_F(FlexRayNodeRoad, RefusalsSendNothing) {
  const Qor_FlexRay_TransceiverModeSetting_t badFlags{8, 0, 0, 0}, badReserved{0, 0, 0, 1}, badMode{7, 0, 5, 0};
  uint8_t state = 0;
  struct Case {
    std::function<uint32_t(uint32_t)> call;
    uint32_t code;
    const char* text;
  } const cases[] = {
      {[](uint32_t p) { return Qor_FlexRay_Communication_Stop(p, 3); }, kUnknownMode, "mode '0x03' is unknown"},
      {[](uint32_t p) { return Qor_FlexRay_Communication_Stop(p, 0xFF); }, kUnknownMode, "mode '0xff' is unknown"},
      {[](uint32_t p) { return Qor_FlexRay_Startup_Config(p, 4, 0, 0, 0); }, kInvalidParameter, "unknown flag"},
      {[](uint32_t p) { return Qor_FlexRay_MTS_Send(p, 4, 0, 0); }, kInvalidParameter, "channel value '04' is unknown"},
      {[&](uint32_t p) { return Qor_FlexRay_MTS_GetState(p, 0xFF, &state); }, kInvalidParameter,
       "channel value 'ff' is unknown"},
      {[&](uint32_t p) { return Qor_FlexRay_Node_SetTransceiverMode(p, &badFlags); }, kUnknownFlag, ""},
      {[&](uint32_t p) { return Qor_FlexRay_Node_SetTransceiverMode(p, &badReserved); }, kInvalidParameter,
       "reserved bytes have to be 0"},
      {[&](uint32_t p) { return Qor_FlexRay_Node_SetTransceiverMode(p, &badMode); }, kInvalidParameter,
       "unknown transceiver mode"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(c.call(port_), c.code);
    EXPECT_EQ(lastText(), described(c.code, c.text));
  }
  EXPECT_EQ(state, 0u) << "a refused channel leaves the state";
  uint16_t u16 = 0;
  uint32_t u32 = 0;
  EXPECT_EQ(Qor_FlexRay_Startup_GetInfo(port_, nullptr, &state, &u32), kInvalidParameter);
  EXPECT_EQ(Qor_FlexRay_Startup_GetInfo(port_, &u16, &state, nullptr), kInvalidParameter);
  EXPECT_EQ(Qor_FlexRay_MTS_GetState(port_, 0, nullptr), kInvalidParameter);
  EXPECT_EQ(Qor_FlexRay_Module_GetInfo(port_, &state, nullptr), kInvalidParameter);
  EXPECT_EQ(Qor_FlexRay_Node_SetTransceiverMode(port_, nullptr), kInvalidParameter);
  EXPECT_EQ(Qor_FlexRay_Node_GetTransceiverMode(port_, nullptr), kInvalidParameter);
}

TEST_F(FlexRayNodeRoad, StartupInfoReadsItsFieldsAndClearsTheFlagsOnFailure) {
  device_->expect(kController, Record().u32(17)).answer(Record().u32(17).u16(0xBEEF).u8(0x42).u8(0).u8(0xFF));
  device_->expect(kController, Record().u32(17)).fail(kFirmwareBusy, "busy");
  device_->expect(kController, Record().u32(17)).answer(Record().u32(17).u16(1).u8(2).u8(0));
  uint16_t first = 0;
  uint8_t second = 0;
  uint32_t flags = 0;
  EXPECT_EQ(Qor_FlexRay_Startup_GetInfo(port_, &first, &second, &flags), 0u) << lastText();
  EXPECT_EQ(first, 0xBEEF);
  EXPECT_EQ(second, 0x42);
  EXPECT_EQ(flags, 3u) << "bits 0 and 1 only";
  EXPECT_EQ(Qor_FlexRay_Startup_GetInfo(port_, &first, &second, &flags), kFirmwareBusy);
  EXPECT_EQ(flags, 0u);
  EXPECT_EQ(first, 0xBEEF);
  flags = 3;
  EXPECT_EQ(Qor_FlexRay_Startup_GetInfo(port_, &first, &second, &flags), kInvalidResponseLength) << "8 of 9 bytes";
  EXPECT_EQ(flags, 0u);
  EXPECT_EQ(first, 0xBEEF);
}

// The answer: poc, sync and wake-up states at 4, 6 and 8, the status words at 10 and 12.
Record nodeState(uint8_t poc, uint8_t sync, uint8_t wakeup, uint16_t first, uint16_t second) {
  return std::move(Record().u32(18).u8(poc).u8(0).u8(sync).u8(0).u8(wakeup).u8(0).u16(first).u16(second));
}

TEST_F(FlexRayNodeRoad, NodeStateChecksEachStateInOrder) {
  struct Case {
    Record answer;
    uint32_t code;
    const char* text;
    uint8_t poc, sync, wakeup;
    uint32_t first, second;
  } const cases[] = {
      {nodeState(8, 1, 6, 0xFFFF, 0x1234), 0, "", 8, 1, 6, 0x1FFF, 0x1234},
      {nodeState(0, 0, 0, 0xE000, 0x2001), 0, "", 0, 0, 0, 0, 1},
      {nodeState(9, 1, 1, 1, 1), kInvalidResponseParameter, "pocState '09' is unknown", 0xEE, 0xEE, 0xEE, 0xEE, 0xEE},
      {nodeState(3, 2, 1, 1, 1), kInvalidResponseParameter, "syncState '0002' is unknown", 3, 0xEE, 0xEE, 0xEE, 0xEE},
      {nodeState(3, 1, 7, 1, 1), kInvalidResponseParameter, "wakeupState '0007' is unknown", 3, 1, 0xEE, 0xEE, 0xEE},
      {std::move(Record().u32(18).zeros(9)), kInvalidResponseLength, "response of 13 bytes is too short", 0xEE, 0xEE,
       0xEE, 0xEE, 0xEE},
  };
  for (const Case& c : cases) device_->expect(kController, Record().u32(18)).answer(c.answer);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    uint8_t poc = 0xEE, sync = 0xEE, wakeup = 0xEE;
    uint32_t first = 0xEE, second = 0xEE;
    EXPECT_EQ(Qor_FlexRay_Node_GetState(port_, &poc, &sync, &wakeup, &first, &second), c.code);
    if (c.code) {
      EXPECT_EQ(lastText(), described(c.code, c.text));
    }
    EXPECT_EQ(poc, c.poc);
    EXPECT_EQ(sync, c.sync);
    EXPECT_EQ(wakeup, c.wakeup);
    EXPECT_EQ(first, c.first);
    EXPECT_EQ(second, c.second);
  }
  device_->expect(kController, Record().u32(18)).answer(nodeState(2, 1, 3, 0x1FFF, 0));
  uint8_t wakeup = 0;
  EXPECT_EQ(Qor_FlexRay_Node_GetState(port_, nullptr, nullptr, &wakeup, nullptr, nullptr), 0u) << "null is skipped";
  EXPECT_EQ(wakeup, 3u);
}

TEST_F(FlexRayNodeRoad, MtsStateReadsTheLargestStateWhenAnythingFails) {
  struct Case {
    std::function<void(emulator::RequestTable::Expectation)> answer;
    uint32_t code;
    uint8_t state;
  } const cases[] = {
      {[](auto e) { e.answer(Record().u32(21).u8(0)); }, 0, 0},
      {[](auto e) { e.answer(Record().u32(21).u8(8)); }, 0, 8},
      {[](auto e) { e.answer(Record().u32(21).u8(9)); }, kInvalidResponseParameter, 8},
      {[](auto e) { e.fail(kFirmwareBusy, "busy"); }, kFirmwareBusy, 8},
      {[](auto e) { e.answer(Record().u32(21)); }, kInvalidResponseLength, 8},
  };
  for (const Case& c : cases) c.answer(device_->expect(kController, Record().u32(21).u8(2).zeros(3)));
  for (const Case& c : cases) {
    uint8_t state = 0x55;
    EXPECT_EQ(Qor_FlexRay_MTS_GetState(port_, 2, &state), c.code);
    EXPECT_EQ(state, c.state);
  }
  EXPECT_EQ(lastText(), described(kInvalidResponseLength, "response of 4 bytes is too short"));
}

TEST_F(FlexRayNodeRoad, ModuleInfoClearsItsOutputsFirst) {
  device_->expect(kController, Record().u32(16)).answer(Record().u32(16).u8(0x12).u8(0x34));
  device_->expect(kController, Record().u32(16)).answer(Record().u32(16).u8(0x12));
  device_->expect(kController, Record().u32(16)).fail(kFirmwareBusy, "busy");
  uint8_t first = 0xEE, second = 0xEE;
  EXPECT_EQ(Qor_FlexRay_Module_GetInfo(port_, &first, &second), 0u) << lastText();
  EXPECT_EQ(first, 0x12);
  EXPECT_EQ(second, 0x34);
  EXPECT_EQ(Qor_FlexRay_Module_GetInfo(port_, &first, &second), kInvalidResponseLength);
  EXPECT_EQ(first, 0u);
  EXPECT_EQ(second, 0u);
  first = second = 0xEE;
  EXPECT_EQ(Qor_FlexRay_Module_GetInfo(port_, &first, &second), kFirmwareBusy);
  EXPECT_EQ(first + second, 0);
  first = second = 0xEE;
  EXPECT_EQ(Qor_FlexRay_Module_GetInfo(open(2), &first, &second), kWrongInterface);
  EXPECT_EQ(first + second, 0) << "cleared for a wrong port too";
}

TEST_F(FlexRayNodeRoad, TransceiverModeReadsValueAndModeOnly) {
  device_->expect(kTransceiver, Record().u32(6)).answer(Record().u32(6).u8(0x99).u8(3).u16(0xFFFF));
  device_->expect(kTransceiver, Record().u32(6)).answer(Record().u32(6).u8(0x99));
  device_->expect(kTransceiver, Record().u32(6)).fail(kFirmwareBusy, "busy");
  Qor_FlexRay_TransceiverMode_t mode{1, 1, 0xAAAA};
  EXPECT_EQ(Qor_FlexRay_Node_GetTransceiverMode(port_, &mode), 0u) << lastText();
  EXPECT_EQ(mode.value, 0x99);
  EXPECT_EQ(mode.mode, 3);
  EXPECT_EQ(mode.reserved, 0);
  mode = {1, 1, 0xAAAA};
  EXPECT_EQ(Qor_FlexRay_Node_GetTransceiverMode(port_, &mode), kInvalidResponseLength);
  EXPECT_EQ(Qor_FlexRay_Node_GetTransceiverMode(port_, &mode), kFirmwareBusy);
  EXPECT_EQ(mode.value + mode.mode + mode.reserved, 2 + 0xAAAA) << "untouched on failure";
}

}  // namespace
}  // namespace qor::test
