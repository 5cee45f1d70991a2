// Initialising and configuring the FlexRay controller and its properties, from the library through the daemon to an
// emulated controller: every record byte-exact, the refusals that send nothing and the answers read only as far as
// the firmware sent them.
#include <gtest/gtest.h>

#include <string>

#include "flexray_road.hpp"

namespace qor::test {
namespace {

using FlexRayConfigRoad = FlexRayRoad;

TEST_F(FlexRayConfigRoad, EveryFunctionRefusesAPortOfAnotherBusAndAClosedHandle) {
  const Qor_FlexRay_ConfigData_t data{};
  uint32_t value = 0;
  const PortCall calls[] = {
      [](uint32_t p) { return Qor_FlexRay_Init(p, 0, 0, 0); },
      [&](uint32_t p) { return Qor_FlexRay_Config(p, &data); },
      [](uint32_t p) { return Qor_FlexRay_Property_SetById(p, 0, 0); },
      [&](uint32_t p) { return Qor_FlexRay_Property_GetById(p, 0, &value); },
  };
  expectEachRefusesAnotherBusAndAClosedHandle(calls);
}

TEST_F(FlexRayConfigRoad, InitSendsTheControllerCodeOfItsType) {
  device_->expect(kController, Record().u32(0).u32(0).u16(0x3535).u16(1)).answer(subFunction(0));
  device_->expect(kController, Record().u32(0).u32(1).u16(0x8566).u16(1)).answer(subFunction(0));
  device_->expect(kController, Record().u32(0).u32(1).u16(0x3535).u16(1)).fail(kFirmwareBusy, "busy");
  EXPECT_EQ(Qor_FlexRay_Init(port_, 0, 0, 0), 0u) << lastText();
  EXPECT_EQ(Qor_FlexRay_Init(port_, 1, 1, 0), 0u) << lastText();
  EXPECT_EQ(Qor_FlexRay_Init(port_, 1, 0, 0), kFirmwareBusy);
}

// Bad flags are "invalid parameter" too; the checks run flags, controller, transceiver.
TEST_F(FlexRayConfigRoad, InitRefusesUnknownFlagsAndTypesInOrderSendingNothing) {
  struct Case {
    uint32_t flags;
    uint8_t controllerType, transceiverType;
    const char* text;
  } const cases[] = {
      {2, 0, 0, "unknown flag"},
      {3, 2, 1, "unknown flag"},
      {0x80000000, 0, 0, "unknown flag"},
      {0, 2, 0, "controller type '0x02' is unknown"},
      {1, 2, 1, "controller type '0x02' is unknown"},
      {0, 0xFF, 0, "controller type '0xff' is unknown"},
      {0, 1, 1, "transceiver type '0x01' is unknown"},
      {1, 0, 0x20, "transceiver type '0x20' is unknown"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(Qor_FlexRay_Init(port_, c.flags, c.controllerType, c.transceiverType), kInvalidParameter);
    EXPECT_EQ(lastText(), described(kInvalidParameter, c.text));
  }
}

// Every field a value of its own, so a field at a wrong offset or width shows in the record.
Qor_FlexRay_ConfigData_t distinctParameters() {
  Qor_FlexRay_ConfigData_t data{};
  auto* bytes = reinterpret_cast<uint8_t*>(&data);
  for (size_t i = 0; i < sizeof data; ++i) bytes[i] = static_cast<uint8_t>(0x10 + i);
  return data;
}

TEST_F(FlexRayConfigRoad, ConfigSendsTheParametersAfterItsSubFunction) {
  Qor_FlexRay_ConfigData_t data{};
  data.gColdStartAttempts = 8;
  data.gMacroPerCycle = 3636;
  data.gdBit = 0x0102;
  data.gdWakeUpSymbolRxWindow = 301;
  data.pKeySlotId = 0x03FF;
  data.pMicroPerCycle = 200000;
  data.pWakeUpPattern = 33;
  data.pdMaxDrift = 0xBEEF;
  data.pdListenTimeout = 0x12345678;
  const Bytes named = Record().u32(1).u8(8).u8(0).u16(3636).zeros(12).u16(0x0102).zeros(12).u16(301).zeros(8)
                          .u16(0x03FF).zeros(6).u32(200000).zeros(11).u8(33).u16(0).u16(0xBEEF).u32(0x12345678);
  Record distinct = Record().u32(1);
  for (uint8_t i = 0; i < 72; ++i) distinct.u8(0x10 + i);
  const Qor_FlexRay_ConfigData_t zeros{};

  device_->expect(kController, named).answer(subFunction(1));
  device_->expect(kController, distinct).answer(subFunction(1));
  device_->expect(kController, Record().u32(1).zeros(72)).fail(kFirmwareBusy, "busy");
  EXPECT_EQ(Qor_FlexRay_Config(port_, &data), 0u) << lastText();
  const Qor_FlexRay_ConfigData_t distinctData = distinctParameters();
  EXPECT_EQ(Qor_FlexRay_Config(port_, &distinctData), 0u) << lastText();
  EXPECT_EQ(Qor_FlexRay_Config(port_, &zeros), kFirmwareBusy) << "all zeros go out unchanged; the firmware judges";

  EXPECT_EQ(Qor_FlexRay_Config(port_, nullptr), kInvalidParameter);
}

TEST_F(FlexRayConfigRoad, PropertiesGoOutByIdentifierUpTo20) {
  device_->expect(kController, Record().u32(39).u16(0).u16(0).u32(0xCAFEBABE)).answer(subFunction(39));
  device_->expect(kController, Record().u32(39).u16(20).u16(0).u32(7)).answer(subFunction(39));
  device_->expect(kController, Record().u32(40).u16(20).u16(0)).answer(Record().u32(40).u32(0).u32(0x11223344));
  device_->expect(kController, Record().u32(40).u16(3).u16(0)).fail(kFirmwareBusy, "busy");
  EXPECT_EQ(Qor_FlexRay_Property_SetById(port_, 0, 0xCAFEBABE), 0u) << lastText();
  EXPECT_EQ(Qor_FlexRay_Property_SetById(port_, 20, 7), 0u) << lastText();
  uint32_t value = 0;
  EXPECT_EQ(Qor_FlexRay_Property_GetById(port_, 20, &value), 0u) << lastText();
  EXPECT_EQ(value, 0x11223344u);
  value = 5;
  EXPECT_EQ(Qor_FlexRay_Property_GetById(port_, 3, &value), kFirmwareBusy);
  EXPECT_EQ(value, 5u) << "a failed exchange leaves the value";

  EXPECT_EQ(Qor_FlexRay_Property_SetById(port_, 21, 0), kInvalidParameter);
  EXPECT_EQ(lastText(), described(kInvalidParameter, "id '21' is unknown"));
  EXPECT_EQ(Qor_FlexRay_Property_GetById(port_, 0xFFFFFFFF, &value), kInvalidParameter);
  EXPECT_EQ(lastText(), described(kInvalidParameter, "id '4294967295' is unknown"));
  EXPECT_EQ(Qor_FlexRay_Property_GetById(port_, 0, nullptr), kInvalidParameter);
}

// The value is read only from bytes the firmware sent.
TEST_F(FlexRayConfigRoad, PropertyGetRefusesAnAnswerWithoutTheValue) {
  device_->expect(kController, Record().u32(40).u16(1).u16(0)).answer(Record().u32(40).u32(0).u16(0xAAAA).u8(0xBB));
  device_->expect(kController, Record().u32(40).u16(2).u16(0)).answer(subFunction(40));
  uint32_t value = 5;
  EXPECT_EQ(Qor_FlexRay_Property_GetById(port_, 1, &value), kInvalidResponseLength);
  EXPECT_EQ(Qor_FlexRay_Property_GetById(port_, 2, &value), kInvalidResponseLength);
  EXPECT_EQ(value, 5u);
}

}  // namespace
}  // namespace qor::test
