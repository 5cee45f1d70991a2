// Defining and handling cyclic messages, their properties and state: records byte-exact, refusals unsent, answers
// checked before use.
#include <cstring>
#include <functional>
#include <vector>

#include "cyclic_road.hpp"

namespace qor::can::test {
namespace {

using MessageRecords = CyclicRoad;

const Qor_Common_Signal_t kSignal{4, QOR_COMMON_SIGNAL_INTEL, 19};  // byte 2, bit 3

TEST_F(MessageRecords, DefinitionsCarryTheDataBytesOfTheirDlc) {
  struct Case {
    uint32_t identifier;
    uint8_t dlc;
    size_t dataBytes;
  };
  const Case cases[] = {{0x123, 0, 0}, {0x123, 8, 8}, {kFdMessage | 0x456, 9, 12}, {kFdMessage | 0x456, 15, 64}};
  const Bytes data = counting(64, 0x40);
  for (const Case& c : cases) {
    SCOPED_TRACE(int{c.dlc});
    device_->expect(0x22, cat({u32(c.identifier), u16(100), {1, 1, 0xA5, c.dlc},
                               Bytes(data.begin(), data.begin() + static_cast<long>(c.dataBytes)),
                               zeros(66 - c.dataBytes)}));
    EXPECT_EQ(Qor_Can_CyclicMsgs_DefineMsg(port_, c.identifier, 100, 1, 1, 0xA5, data.data(), c.dlc), 0u)
        << lastText();
  }
  device_->expect(0x22, cat({u32(0x7FF), u16(0), {0, 0, 0, 0}, zeros(66)}));
  EXPECT_EQ(Qor_Can_CyclicMsgs_DefineMsg(port_, 0x7FF, 0, 0, 0, 0, nullptr, 0), 0u) << "no data for DLC 0";
}

TEST_F(MessageRecords, EachCommandOfAMessageIsSentByteExact) {
  struct Case {
    const char* name;
    uint8_t command;
    Bytes record;
    std::function<uint32_t(uint32_t)> call;
  };
  const uint32_t id = 0x80000321;
  const std::vector<Case> cases = {
      {"delete", 0x2A, u32(id), [&](uint32_t port) { return Qor_Can_CyclicMsgs_DeleteMsg(port, id); }},
      {"cycle time", 0x27, cat({u32(id), u16(0x1234), u16(0)}),
       [&](uint32_t port) { return Qor_Can_CyclicMsgs_ChangeCycleTime(port, id, 0x1234); }},
      {"group", 0x23, cat({u32(id), {1, 0, 0, 0}}),
       [&](uint32_t port) { return Qor_Can_CyclicMsgs_ChangeGroupNumber(port, id, 1); }},
      {"start group", 0x28, {}, [](uint32_t port) { return Qor_Can_CyclicMsgs_StartGroup(port, 1); }},
      {"stop group", 0x29, {}, [](uint32_t port) { return Qor_Can_CyclicMsgs_StopGroup(port, 1); }},
      {"break count", 0x2B, cat({u32(id), u16(7), u16(0)}),
       [&](uint32_t port) { return Qor_Can_CyclicMsgs_SetMsgBreakCount(port, id, 7); }},
      {"break time", 0x2C, cat({u32(id), u16(0xABCD), u16(0)}),
       [&](uint32_t port) { return Qor_Can_CyclicMsgs_SetMsgBreakTime(port, id, 0xABCD); }},
      {"calculation break count", 0x3A, cat({u32(id), {1, 0}, u16(0x1234), {2, 3}, u16(0)}),
       [&](uint32_t port) { return Qor_Can_CyclicMsgs_SetCalculationBreakCount(port, id, kSignal, 1, 0x1234); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    device_->expect(c.command, c.record);
    EXPECT_EQ(c.call(port_), 0u) << lastText();
  }
  device_->expect(0x2A, u32(id)).fail(kFirmwareError, "no such message");
  EXPECT_EQ(Qor_Can_CyclicMsgs_DeleteMsg(port_, id), kFirmwareError) << "the firmware's code unchanged";
}

TEST_F(MessageRecords, RefusalsSendNothing) {
  const uint8_t data[8] = {};
  EXPECT_REFUSED(Qor_Can_CyclicMsgs_DefineMsg(port_, 1, 10, 0, 0, 0, data, 16), kInvalidDlc,
                 "only values from 0 to 16 are valid");
  EXPECT_REFUSED(Qor_Can_CyclicMsgs_DefineMsg(port_, 1, 10, 2, 0, 0, data, 8), kInvalidSendState, " - 2");
  EXPECT_REFUSED(Qor_Can_CyclicMsgs_DefineMsg(port_, 1, 10, 0, 2, 0, data, 8), kInvalidGroupNumber, " - 2");
  EXPECT_REFUSED(Qor_Can_CyclicMsgs_DefineMsg(port_, 1, 10, 0, 0, 0, nullptr, 1), kInvalidParameter, "data");
  EXPECT_REFUSED(Qor_Can_CyclicMsgs_ChangeGroupNumber(port_, 1, 2), kInvalidGroupNumber, " - 2");
  for (uint8_t group : {0, 2}) {
    EXPECT_REFUSED(Qor_Can_CyclicMsgs_StartGroup(port_, group), kInvalidGroupNumber, "invalid group number");
    EXPECT_REFUSED(Qor_Can_CyclicMsgs_StopGroup(port_, group), kInvalidGroupNumber, "invalid group number");
  }
  EXPECT_REFUSED(Qor_Can_CyclicMsgs_SetCalculationBreakCount(port_, 1, kSignal, 2, 0), kUnknownMode, "unknown mode");
  EXPECT_REFUSED(Qor_Can_CyclicMsgs_SetCalculationBreakCount(port_, 1, Qor_Common_Signal_t{0, 0, 0}, 0, 0),
                 kSignalRefused, "signal size < 1");
}

// ---- properties ----

TEST_F(MessageRecords, PropertiesAreSetAndReadByIdentifierAndNumber) {
  const uint32_t id = 0x40000077;
  device_->expect(0x2F, cat({u32(7), u32(id), u16(1), u16(0), u32(0xCAFE0001)})).answer(u32(7));
  const Qor_Can_CyclicMsgs_Property_t set{id, 1, 0, 0xCAFE0001};
  EXPECT_EQ(Qor_Can_CyclicMsgs_Property_SetById(port_, &set), 0u) << lastText();

  device_->expect(0x2F, cat({u32(8), u32(id), u16(0), u16(0)})).answer(cat({u32(8), u32(0x01020304)}));
  const Qor_Can_CyclicMsgs_Property_t read{id, 0, 0, 0xFFFFFFFF};
  Qor_Can_CyclicMsgs_Property_t result{};
  ASSERT_EQ(Qor_Can_CyclicMsgs_Property_GetById(port_, &read, &result), 0u) << lastText();
  EXPECT_EQ(result.identifier, id);
  EXPECT_EQ(result.property, 0u);
  EXPECT_EQ(result.reserved, 0u);
  EXPECT_EQ(result.value, 0x01020304u);

  device_->expect(0x2F, cat({u32(8), u32(id), u16(0), u16(0)})).answer(cat({u32(8), u16(0x0304)}));
  result.value = 0xEEEEEEEE;
  EXPECT_EQ(Qor_Can_CyclicMsgs_Property_GetById(port_, &read, &result), kInvalidResponseLength);
  EXPECT_EQ(result.value, 0xEEEEEEEEu) << "untouched";
}

TEST_F(MessageRecords, PropertyRecordsWithReservedBitsOrUnknownNumbersAreRefused) {
  Qor_Can_CyclicMsgs_Property_t result{};
  const Qor_Can_CyclicMsgs_Property_t reserved{1, 0, 1, 0};
  const Qor_Can_CyclicMsgs_Property_t unknown{1, 2, 0, 0};
  EXPECT_REFUSED(Qor_Can_CyclicMsgs_Property_SetById(port_, &reserved), kInvalidParameter,
                 "reserved bytes have to be zero");
  EXPECT_REFUSED(Qor_Can_CyclicMsgs_Property_GetById(port_, &reserved, &result), kInvalidParameter,
                 "reserved bytes have to be zero");
  EXPECT_REFUSED(Qor_Can_CyclicMsgs_Property_SetById(port_, &unknown), kInvalidParameter, "property ID is unknown");
  EXPECT_REFUSED(Qor_Can_CyclicMsgs_Property_GetById(port_, &unknown, &result), kInvalidParameter,
                 "property ID is unknown");
  EXPECT_REFUSED(Qor_Can_CyclicMsgs_Property_GetById(port_, &unknown, nullptr), kInvalidParameter, "");
}

// ---- state ----

Bytes stateAnswer(uint32_t id, uint8_t sendState, uint8_t dlc, size_t dataBytes) {
  return cat({u32(id), u16(250), {sendState, 1, 0x5A, dlc}, u16(0xFFFF), counting(dataBytes, 0x80)});
}

TEST_F(MessageRecords, TheStateTakesTheDataOfItsDlc) {
  const uint32_t id = 0x40000123;
  device_->expect(0xF8, cat({u32(id), u32(0)})).answer(stateAnswer(id, 7, 9, 64));
  Qor_Can_CyclicMsgs_MsgState_t state;
  memset(&state, 0xEE, sizeof state);
  ASSERT_EQ(Qor_Can_CyclicMsgs_GetMsgState(port_, id, &state), 0u) << lastText();
  EXPECT_EQ(state.identifier, id);
  EXPECT_EQ(state.cycleTime, 250u);
  EXPECT_EQ(state.sendState, 1u) << "any non-zero byte is sending";
  EXPECT_EQ(state.group, 1u);
  EXPECT_EQ(state.optionByte, 0x5Au);
  EXPECT_EQ(state.dlc, 9u);
  EXPECT_EQ(state.reserved, 0u);
  EXPECT_EQ(Bytes(state.data, state.data + 12), counting(12, 0x80));
  EXPECT_EQ(Bytes(state.data + 12, state.data + 64), zeros(52)) << "beyond the DLC's 12 bytes";
}

// An answer too short for its DLC's data, or with a DLC beyond the table, is refused and leaves the state as it was.
TEST_F(MessageRecords, AStateAnswerIsCheckedBeforeUse) {
  struct Case {
    const char* name;
    Bytes answer;
    uint32_t code;
  };
  const uint32_t id = 0x55;
  const Bytes headOnly = stateAnswer(id, 1, 0, 0);
  const Case cases[] = {
      {"no data for DLC 8", stateAnswer(id, 1, 8, 0), kInvalidResponseLength},
      {"7 of 8 data bytes", stateAnswer(id, 1, 8, 7), kInvalidResponseLength},
      {"shorter than the head", Bytes(headOnly.begin(), headOnly.end() - 1), kInvalidResponseLength},
      {"DLC 16", stateAnswer(id, 1, 16, 64), kInvalidResponseParameter},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    device_->expect(0xF8, cat({u32(id), u32(0)})).answer(c.answer);
    Qor_Can_CyclicMsgs_MsgState_t state;
    memset(&state, 0xEE, sizeof state);
    EXPECT_EQ(Qor_Can_CyclicMsgs_GetMsgState(port_, id, &state), c.code);
    EXPECT_EQ(state.identifier, 0xEEEEEEEEu) << "untouched";
  }
}

// ---- every function on a port of another interface type ----

TEST_F(MessageRecords, EveryFunctionChecksTheInterfaceFirst) {
  const uint32_t restBus = open(kRestBusInterface);
  const uint8_t bytes[64] = {};
  const uint8_t entries[1][64] = {};
  Qor_Can_CyclicMsgs_Change_t change{};
  change.identifier = 1;
  change.changeFlags = QOR_CAN_CYCLIC_CHANGE_SEND_STATE;
  Qor_Can_CyclicMsgs_Ramp_t ramp{};
  ramp.signal = kSignal;
  Qor_Can_CyclicMsgs_RampMode_t mode{};
  mode.signal = kSignal;
  Qor_Can_CyclicMsgs_IncRamp_t incRamp{};
  incRamp.signal = kSignal;
  const Qor_Can_CyclicMsgs_GeneralCrc_t crc{};
  Qor_Can_CyclicMsgs_Custom12_t custom{};
  custom.dataArray = kSignal;
  const Qor_Can_CyclicMsgs_AddBytes_t addBytes{};
  const Qor_Can_CyclicMsgs_Property_t property{1, 0, 0, 0};
  Qor_Can_CyclicMsgs_Property_t result{};
  Qor_Can_CyclicMsgs_MsgState_t state{};
  uint32_t first = 0, second = 0, value = 0;
  uint16_t shortValue = 0;
  const std::vector<std::function<uint32_t()>> calls = {
      [&] { return Qor_Can_CyclicMsgs_DefineMsg(restBus, 1, 10, 1, 0, 0, bytes, 8); },
      [&] { return Qor_Can_CyclicMsgs_DeleteMsg(restBus, 1); },
      [&] { return Qor_Can_CyclicMsgs_StartMsg(restBus, 1); },
      [&] { return Qor_Can_CyclicMsgs_StopMsg(restBus, 1); },
      [&] { return Qor_Can_CyclicMsgs_ChangeMsg(restBus, &change); },
      [&] { return Qor_Can_CyclicMsgs_ChangeMsgData(restBus, 1, bytes, 8, bytes, 0, 0); },
      [&] { return Qor_Can_CyclicMsgs_ChangeMsgDataAndMsgCount(restBus, 1, 0, bytes, 8, bytes, 0, 0); },
      [&] { return Qor_Can_CyclicMsgs_ChangeCycleTime(restBus, 1, 10); },
      [&] { return Qor_Can_CyclicMsgs_ChangeGroupNumber(restBus, 1, 1); },
      [&] { return Qor_Can_CyclicMsgs_StartGroup(restBus, 1); },
      [&] { return Qor_Can_CyclicMsgs_StopGroup(restBus, 1); },
      [&] { return Qor_Can_CyclicMsgs_SetMsgBreakCount(restBus, 1, 1); },
      [&] { return Qor_Can_CyclicMsgs_SetMsgBreakTime(restBus, 1, 1); },
      [&] { return Qor_Can_CyclicMsgs_SetCalculationBreakCount(restBus, 1, kSignal, 0, 1); },
      [&] { return Qor_Can_CyclicMsgs_DefineDisturbance(restBus, 1, 8, 1, bytes, bytes); },
      [&] { return Qor_Can_CyclicMsgs_MultiplexBytes_Define(restBus, 1, 0, 1, bytes, entries); },
      [&] { return Qor_Can_CyclicMsgs_MultiplexBytes_Stop(restBus, 1, bytes, bytes); },
      [&] { return Qor_Can_CyclicMsgs_Ramp_Define(restBus, &ramp); },
      [&] { return Qor_Can_CyclicMsgs_Ramp_Delete(restBus, 1, kSignal); },
      [&] { return Qor_Can_CyclicMsgs_Ramp_ChangeMode(restBus, 1, &mode); },
      [&] { return Qor_Can_CyclicMsgs_Ramp_GetState(restBus, 1, kSignal, &first, &second, &value, &shortValue); },
      [&] { return Qor_Can_CyclicMsgs_Ramp_DefineIncRamp(restBus, &incRamp); },
      [&] { return Qor_Can_CyclicMsgs_Ramp_ResetRampSum(restBus, 1, kSignal); },
      [&] { return Qor_Can_CyclicMsgs_Parity_Define(restBus, 1, 0, Qor_Common_Signal_t{1, 0, 0}, 0); },
      [&] { return Qor_Can_CyclicMsgs_Parity_Delete(restBus, 1, Qor_Common_Signal_t{1, 0, 0}); },
      [&] { return Qor_Can_CyclicMsgs_Checksum_Define(restBus, 0, 1, kSignal, nullptr); },
      [&] { return Qor_Can_CyclicMsgs_Checksum_Define_XorWithUserBytes(restBus, 1, kSignal, nullptr, 1, bytes); },
      [&] { return Qor_Can_CyclicMsgs_Checksum_Define_GeneralCrcWithUserBytes(restBus, 1, kSignal, nullptr, &crc); },
      [&] { return Qor_Can_CyclicMsgs_Checksum_Define_Custom12(restBus, 1, kSignal, nullptr, &custom); },
      [&] { return Qor_Can_CyclicMsgs_Checksum_Define_AddBytes(restBus, 1, kSignal, nullptr, &addBytes); },
      [&] { return Qor_Can_CyclicMsgs_Checksum_Delete(restBus, 1, kSignal); },
      [&] { return Qor_Can_CyclicMsgs_Property_SetById(restBus, &property); },
      [&] { return Qor_Can_CyclicMsgs_Property_GetById(restBus, &property, &result); },
      [&] { return Qor_Can_CyclicMsgs_GetMsgState(restBus, 1, &state); },
  };
  ASSERT_EQ(calls.size(), 34u);
  for (size_t index = 0; index < calls.size(); ++index) {
    SCOPED_TRACE(index);
    EXPECT_REFUSED(calls[index](), kWrongInterfaceType, "CAN Interface expected");
  }
}

}  // namespace
}  // namespace qor::can::test
