// The trigger input and output and the command and UART gateways from the library through the daemon to an emulated
// controller: every record byte-exact, the checks in their order (nothing sent), and the answers' decoding.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "can_command_road.hpp"
#include "qor_can_triggers.h"

namespace qor::test {
namespace {

using emulator::Bytes;

constexpr uint8_t kInputMode = 0x5A;
constexpr uint8_t kOutputMode = 0x5B;
constexpr uint8_t kInputState = 0x5C;
constexpr uint8_t kOutputState = 0x5D;
constexpr uint8_t kInputProperty = 0x5E;
constexpr uint8_t kOutputProperty = 0x5F;
constexpr uint8_t kCommandGateway = 0x73;
constexpr uint8_t kUartGateway = 0x74;

using TriggerRoad = CanCommandRoad;

TEST_F(TriggerRoad, InputModes) {
  device_->expect(kInputMode, {2, 0, 0, 0});
  device_->expect(kInputMode, {2, 0, 0, 1});
  device_->expect(kInputMode, {3, 0, 0, 0});
  device_->expect(kInputMode, {3, 0, 2, 0});
  device_->expect(kInputMode, {0, 0, 0, 0});
  EXPECT_EQ(Qor_Can_Trigger_InputMode_Set_SendMsgGroup(port_, 0, 1, 0), 0u) << Qor_GetLastErrorDescription();
  EXPECT_EQ(Qor_Can_Trigger_InputMode_Set_SendMsgGroup(port_, 0, 1, 1), 0u) << Qor_GetLastErrorDescription();
  EXPECT_EQ(Qor_Can_Trigger_InputMode_Set_WriteEvent(port_, 0, 0), 0u) << Qor_GetLastErrorDescription();
  EXPECT_EQ(Qor_Can_Trigger_InputMode_Set_WriteEvent(port_, 0, 2), 0u) << Qor_GetLastErrorDescription();
  EXPECT_EQ(Qor_Can_Trigger_InputMode_Reset(port_), 0u) << Qor_GetLastErrorDescription();

  // Flags first, then the group, then the level.
  EXPECT_TRUE(failedWith(Qor_Can_Trigger_InputMode_Set_SendMsgGroup(port_, 1, 2, 2), kUnknownFlag));
  EXPECT_TRUE(failedWith(Qor_Can_Trigger_InputMode_Set_SendMsgGroup(port_, 0, 2, 2), kInvalidGroupNumber,
                         "currently only group 1 is supported"));
  EXPECT_TRUE(failedWith(Qor_Can_Trigger_InputMode_Set_SendMsgGroup(port_, 0, 1, 2), kInvalidParameter,
                         "input level selection value is unknown"));
  EXPECT_TRUE(failedWith(Qor_Can_Trigger_InputMode_Set_WriteEvent(port_, 0x80000000, 3), kUnknownFlag));
  EXPECT_TRUE(failedWith(Qor_Can_Trigger_InputMode_Set_WriteEvent(port_, 0, 3), kInvalidParameter,
                         "input edge selection value is unknown"));
  EXPECT_EQ(requestsOf(kInputMode), 5u);
}

TEST_F(TriggerRoad, OutputMode) {
  Qor_Can_Trigger_OutputMode_t mode{};
  mode.outputMode = 3;
  mode.triggerAction = 2;
  mode.outputType = 1;
  Bytes settings(48);
  for (size_t index = 0; index < settings.size(); ++index) settings[index] = static_cast<uint8_t>(0xD0 + index);
  std::memcpy(mode.settings, settings.data(), settings.size());
  device_->expect(kOutputMode, RecordBytes().u8(3).u8(0).u8(2).u8(1).bytes(settings));
  EXPECT_EQ(Qor_Can_Trigger_OutputMode_Set(port_, &mode), 0u) << Qor_GetLastErrorDescription();

  struct Refusal {
    const char* what;
    void (*spoil)(Qor_Can_Trigger_OutputMode_t&);
    uint32_t code;
    const char* text;
  };
  // Each row spoils one more field than the row before it: the earliest check decides.
  const Refusal refusals[] = {
      {"type", [](Qor_Can_Trigger_OutputMode_t& m) { m.outputType = 2; }, kInvalidParameter, "output type is unknown"},
      {"action", [](Qor_Can_Trigger_OutputMode_t& m) { m.triggerAction = 3; }, kInvalidParameter,
       "trigger action is unknown"},
      {"mode", [](Qor_Can_Trigger_OutputMode_t& m) { m.outputMode = 4; }, kUnknownMode, ""},
      {"reserved", [](Qor_Can_Trigger_OutputMode_t& m) { m.reserved = 1; }, kInvalidParameter,
       "reserved bytes must be zero"},
      {"flags", [](Qor_Can_Trigger_OutputMode_t& m) { m.flags = 1; }, kUnknownFlag, ""},
  };
  for (const Refusal& r : refusals) {
    SCOPED_TRACE(r.what);
    r.spoil(mode);
    EXPECT_TRUE(failedWith(Qor_Can_Trigger_OutputMode_Set(port_, &mode), r.code, r.text));
  }
  EXPECT_TRUE(failedWith(Qor_Can_Trigger_OutputMode_Set(port_, nullptr), kInvalidParameter, "'mode' is NULL"));
  EXPECT_EQ(requestsOf(kOutputMode), 1u);
}

TEST_F(TriggerRoad, StatesAreDecodedFromTheAnswer) {
  struct Answer {
    uint8_t activeByte;
    uint8_t levelByte;
    uint8_t active;
    uint8_t level;
  };
  const Answer answers[] = {{0, 0, 1, 1}, {1, 1, 0, 2}, {0xFF, 2, 0, 0}, {0, 0xFF, 1, 0}};
  const Qor_Can_Trigger_Selector_t selector{1, {0, 0, 0}};
  for (const Answer& a : answers) {
    SCOPED_TRACE(static_cast<int>(a.activeByte) * 256 + a.levelByte);
    device_->expect(kInputState, {0, 0, 0, 0}).answer(RecordBytes().u8(a.activeByte).u8(a.levelByte).u16(0xEEEE).u32(7));
    device_->expect(kOutputState, {0, 0, 0, 0})
        .answer(RecordBytes().u8(a.activeByte).u8(a.levelByte).u16(0xEEEE).u32(8).u32(0xCAFEF00D));
    Qor_Can_Trigger_InputState_t input{};
    std::memset(&input, 0xAA, sizeof input);
    Qor_Can_Trigger_OutputState_t output{};
    std::memset(&output, 0xAA, sizeof output);
    ASSERT_EQ(Qor_Can_Trigger_InputState_Get(port_, &selector, &input), 0u) << Qor_GetLastErrorDescription();
    ASSERT_EQ(Qor_Can_Trigger_OutputState_Get(port_, &selector, &output), 0u) << Qor_GetLastErrorDescription();
    EXPECT_EQ(input.active, a.active);
    EXPECT_EQ(input.level, a.level);
    EXPECT_EQ(input.reserved, 0u);
    EXPECT_EQ(input.value, 7u);
    EXPECT_EQ(output.active, a.active);
    EXPECT_EQ(output.level, a.level);
    EXPECT_EQ(output.reserved, 0u);
    EXPECT_EQ(output.value, 8u);
    EXPECT_EQ(output.secondValue, 0xCAFEF00Du);
  }
}

TEST_F(TriggerRoad, StateRefusalsAndShortAnswers) {
  Qor_Can_Trigger_InputState_t input{};
  Qor_Can_Trigger_OutputState_t output{};
  const Qor_Can_Trigger_Selector_t reservedSet{2, {0, 1, 0}};
  const Qor_Can_Trigger_Selector_t secondChannel{2, {0, 0, 0}};
  EXPECT_TRUE(failedWith(Qor_Can_Trigger_InputState_Get(port_, &reservedSet, &input), kInvalidParameter,
                         "reserved bytes must be zero"));
  EXPECT_TRUE(failedWith(Qor_Can_Trigger_OutputState_Get(port_, &secondChannel, &output), kUnknownMode));
  EXPECT_TRUE(failedWith(Qor_Can_Trigger_InputState_Get(port_, nullptr, &input), kInvalidParameter,
                         "'selector' is NULL"));
  EXPECT_EQ(requestsOf(kInputState) + requestsOf(kOutputState), 0u);

  // An answer shorter than the fields read leaves the caller's record as it was.
  const Qor_Can_Trigger_Selector_t selector{1, {0, 0, 0}};
  device_->expect(kInputState, {0, 0, 0, 0}).answer(Bytes(7, 0));
  device_->expect(kOutputState, {0, 0, 0, 0}).answer(Bytes(8, 0));
  std::memset(&input, 0xAA, sizeof input);
  std::memset(&output, 0xAA, sizeof output);
  EXPECT_TRUE(failedWith(Qor_Can_Trigger_InputState_Get(port_, &selector, &input), kInvalidResponseLength));
  EXPECT_TRUE(failedWith(Qor_Can_Trigger_OutputState_Get(port_, &selector, &output), kInvalidResponseLength));
  EXPECT_EQ(input.active, 0xAA);
  EXPECT_EQ(output.secondValue, 0xAAAAAAAAu);
}

// The API counts channels from 1, the firmware from 0.
TEST_F(TriggerRoad, ChannelPropertiesCountFromOne) {
  for (uint8_t command : {kInputProperty, kOutputProperty}) {
    SCOPED_TRACE(static_cast<int>(command));
    const bool input = command == kInputProperty;
    auto set = input ? Qor_Can_Trigger_Input_Property_SetById : Qor_Can_Trigger_Output_Property_SetById;
    auto get = input ? Qor_Can_Trigger_Input_Property_GetById : Qor_Can_Trigger_Output_Property_GetById;

    device_->expect(command, RecordBytes().u32(0).u32(0).u32(0)).answer(RecordBytes().u32(0));
    device_->expect(command, RecordBytes().u32(0).u32(0).u32(6)).answer(RecordBytes().u32(0));
    device_->expect(command, RecordBytes().u32(1).u32(0)).answer(RecordBytes().u32(1).u32(0).u32(0));
    device_->expect(command, RecordBytes().u32(1).u32(0)).answer(RecordBytes().u32(1).u32(0).u32(6));
    device_->expect(command, RecordBytes().u32(1).u32(0)).answer(RecordBytes().u32(1).u32(0));
    EXPECT_EQ(set(port_, 1, 1), 0u) << Qor_GetLastErrorDescription();
    EXPECT_EQ(set(port_, 1, 7), 0u) << Qor_GetLastErrorDescription();
    uint32_t channel = 0xAA;
    EXPECT_EQ(get(port_, 1, &channel), 0u) << Qor_GetLastErrorDescription();
    EXPECT_EQ(channel, 1u);
    EXPECT_EQ(get(port_, 1, &channel), 0u) << Qor_GetLastErrorDescription();
    EXPECT_EQ(channel, 7u);
    channel = 0xAA;
    EXPECT_TRUE(failedWith(get(port_, 1, &channel), kInvalidResponseLength));
    EXPECT_EQ(channel, 0xAAu);

    EXPECT_TRUE(failedWith(set(port_, 1, 0), kInvalidParameter,
                           input ? "channel index must not be zero" : "software out channel index starting with '1'"));
    EXPECT_TRUE(failedWith(set(port_, 2, 1), kInvalidParameter, "property id is unknown"));
    EXPECT_TRUE(failedWith(set(port_, 0, 0), kInvalidParameter, "property id is unknown"));
    EXPECT_TRUE(failedWith(get(port_, 0, &channel), kInvalidParameter, "property id is unknown"));
    EXPECT_TRUE(failedWith(get(port_, 1, nullptr), kInvalidParameter, "'channelIndex' is NULL"));
    EXPECT_EQ(requestsOf(command), 5u);
  }
}

TEST_F(TriggerRoad, CommandGateway) {
  device_->expect(kCommandGateway, RecordBytes().u32(0).u32(1).u32(0x12345678).u8(0x9A).zeros(3))
      .answer(RecordBytes().u32(0));
  device_->expect(kCommandGateway, RecordBytes().u32(0).u32(0).u32(5).u8(0).zeros(3)).answer(RecordBytes().u32(0));
  device_->expect(kCommandGateway, RecordBytes().u32(1)).answer(RecordBytes().u32(1));
  device_->expect(kCommandGateway, RecordBytes().u32(2).u32(0).u32(0x11111111).u32(0x22222222).u8(0x33).u8(0x44).u16(0))
      .answer(RecordBytes().u32(2));
  device_->expect(kCommandGateway, RecordBytes().u32(3)).answer(RecordBytes().u32(3));
  device_->expect(kCommandGateway, RecordBytes().u32(3)).fail(kFirmwareError, "gateway off");

  const Qor_Can_CmdGateway_Slave_t slave{1, 0x12345678, 0x9A, {0, 0, 0}};
  const Qor_Can_CmdGateway_Slave_t plainSlave{0, 5, 0, {0, 0, 0}};
  const Qor_Can_CmdGateway_Master_t master{0, 0x11111111, 0x22222222, 0x33, 0x44, 0};
  EXPECT_EQ(Qor_Can_CmdGateway_Slave_Enable(port_, &slave), 0u) << Qor_GetLastErrorDescription();
  EXPECT_EQ(Qor_Can_CmdGateway_Slave_Enable(port_, &plainSlave), 0u) << Qor_GetLastErrorDescription();
  EXPECT_EQ(Qor_Can_CmdGateway_Slave_Disable(port_), 0u) << Qor_GetLastErrorDescription();
  EXPECT_EQ(Qor_Can_CmdGateway_Master_Enable(port_, &master), 0u) << Qor_GetLastErrorDescription();
  EXPECT_EQ(Qor_Can_CmdGateway_Master_Disable(port_), 0u) << Qor_GetLastErrorDescription();
  EXPECT_EQ(Qor_Can_CmdGateway_Master_Disable(port_), kFirmwareError);

  const Qor_Can_CmdGateway_Slave_t slaveFlags{2, 0, 0, {0, 0, 1}};
  const Qor_Can_CmdGateway_Slave_t slaveReserved{1, 0, 0, {0, 0, 1}};
  const Qor_Can_CmdGateway_Master_t masterFlags{1, 0, 0, 0, 0, 1};
  const Qor_Can_CmdGateway_Master_t masterReserved{0, 0, 0, 0, 0, 0x100};
  EXPECT_TRUE(failedWith(Qor_Can_CmdGateway_Slave_Enable(port_, &slaveFlags), kUnknownFlag));
  EXPECT_TRUE(failedWith(Qor_Can_CmdGateway_Slave_Enable(port_, &slaveReserved), kInvalidParameter,
                         "reserved bytes have to be zero"));
  EXPECT_TRUE(failedWith(Qor_Can_CmdGateway_Master_Enable(port_, &masterFlags), kUnknownFlag));
  EXPECT_TRUE(failedWith(Qor_Can_CmdGateway_Master_Enable(port_, &masterReserved), kInvalidParameter,
                         "reserved bytes have to be zero"));
  EXPECT_TRUE(failedWith(Qor_Can_CmdGateway_Master_Enable(port_, nullptr), kInvalidParameter, "'master' is NULL"));
  EXPECT_EQ(requestsOf(kCommandGateway), 6u);
}

TEST_F(TriggerRoad, UartGateway) {
  device_->expect(kUartGateway, RecordBytes().u32(0)).answer(RecordBytes().u32(0));
  device_->expect(kUartGateway, RecordBytes()
                                    .u32(1).u32(15).u32(115200).u32(0xABCDEF01)
                                    .u8(0).u8(0x77).u8(2).u8(0).u32(0x0F0E0D0C))
      .answer(RecordBytes().u32(1).u32(0x55667788).u32(0x99AABBCC));
  EXPECT_EQ(Qor_Can_UartGateway_Reset(port_), 0u) << Qor_GetLastErrorDescription();
  Qor_Can_UartGateway_Init_t init{15, 115200, 0xABCDEF01, 0, 0x77, 2, 0, 0x0F0E0D0C};
  Qor_Can_UartGateway_Result_t result{};
  ASSERT_EQ(Qor_Can_UartGateway_Init(port_, &init, &result), 0u) << Qor_GetLastErrorDescription();
  EXPECT_EQ(result.firstValue, 0x55667788u);
  EXPECT_EQ(result.secondValue, 0x99AABBCCu);

  // Without the two values the answer is refused and the result stays as it was.
  device_->expect(kUartGateway, RecordBytes()
                                    .u32(1).u32(15).u32(115200).u32(0xABCDEF01)
                                    .u8(0).u8(0x77).u8(2).u8(0).u32(0x0F0E0D0C))
      .answer(RecordBytes().u32(1).u32(0x55667788));
  result = {0xAA, 0xAA};
  EXPECT_TRUE(failedWith(Qor_Can_UartGateway_Init(port_, &init, &result), kInvalidResponseLength));
  EXPECT_EQ(result.firstValue, 0xAAu);

  struct Refusal {
    const char* what;
    void (*spoil)(Qor_Can_UartGateway_Init_t&);
    uint32_t code;
    const char* text;
  };
  const Refusal refusals[] = {
      {"parity", [](Qor_Can_UartGateway_Init_t& i) { i.UartParity = 3; }, kInvalidParameter,
       "'UartParity' is unknown"},
      {"instance", [](Qor_Can_UartGateway_Init_t& i) { i.UartInstanceType = 1; }, kInvalidParameter,
       "'UartInstanceType' is unknown"},
      {"reserved", [](Qor_Can_UartGateway_Init_t& i) { i.reserved = 1; }, kInvalidParameter,
       "reserved bytes have to be zero"},
      {"flags", [](Qor_Can_UartGateway_Init_t& i) { i.flags = 16; }, kUnknownFlag, ""},
  };
  for (const Refusal& r : refusals) {
    SCOPED_TRACE(r.what);
    r.spoil(init);
    EXPECT_TRUE(failedWith(Qor_Can_UartGateway_Init(port_, &init, &result), r.code, r.text));
  }
  EXPECT_EQ(requestsOf(kUartGateway), 3u);
}

TEST_F(TriggerRoad, EveryFunctionWantsACanInterface) {
  const uint32_t restBus = open(kRestBusInterface);
  device_->recorder().clear();
  const Qor_Can_Trigger_OutputMode_t mode{};
  const Qor_Can_Trigger_Selector_t selector{1, {0, 0, 0}};
  Qor_Can_Trigger_InputState_t input{};
  Qor_Can_Trigger_OutputState_t output{};
  uint32_t channel = 0;
  const Qor_Can_CmdGateway_Slave_t slave{};
  const Qor_Can_CmdGateway_Master_t master{};
  const Qor_Can_UartGateway_Init_t init{};
  Qor_Can_UartGateway_Result_t result{};
  const uint32_t results[] = {
      Qor_Can_Trigger_InputMode_Set_SendMsgGroup(restBus, 0, 1, 0),
      Qor_Can_Trigger_InputMode_Set_WriteEvent(restBus, 0, 0),
      Qor_Can_Trigger_InputMode_Reset(restBus),
      Qor_Can_Trigger_OutputMode_Set(restBus, &mode),
      Qor_Can_Trigger_InputState_Get(restBus, &selector, &input),
      Qor_Can_Trigger_OutputState_Get(restBus, &selector, &output),
      Qor_Can_Trigger_Input_Property_SetById(restBus, 1, 1),
      Qor_Can_Trigger_Output_Property_SetById(restBus, 1, 1),
      Qor_Can_Trigger_Input_Property_GetById(restBus, 1, &channel),
      Qor_Can_Trigger_Output_Property_GetById(restBus, 1, &channel),
      Qor_Can_CmdGateway_Slave_Enable(restBus, &slave),
      Qor_Can_CmdGateway_Slave_Disable(restBus),
      Qor_Can_CmdGateway_Master_Enable(restBus, &master),
      Qor_Can_CmdGateway_Master_Disable(restBus),
      Qor_Can_UartGateway_Reset(restBus),
      Qor_Can_UartGateway_Init(restBus, &init, &result),
  };
  for (uint32_t code : results) EXPECT_EQ(code, kWrongInterfaceType);
  EXPECT_EQ(device_->recorder().count(), 0u);
}

}  // namespace
}  // namespace qor::test
