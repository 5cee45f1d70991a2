// The CAN node functions on the whole road: this process's library, the daemon as a process and an emulated
// Ethernet interface. Every request is stated byte-exact with the device's answer; TearDown fails a case for a
// request the table did not expect and for an expectation no request met.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "hex_bytes.hpp"
#include "qor_api.h"
#include "qor_can_node.h"
#include "qor_emulator/frame.hpp"
#include "qor_test/interface_fixture.hpp"

namespace qor::test {
namespace {

using emulator::Bytes;
using emulator::ReceivedFrame;
using emulator::words;

constexpr uint32_t kWrongInterface = 0x02020001;
constexpr uint32_t kShortAnswer = 0x02020003;
constexpr uint32_t kUnknownFlag = 0x02020004;
constexpr uint32_t kUnknownMode = 0x02020005;
constexpr uint32_t kInvalidParameter = 0x02020007;
constexpr uint32_t kInvalidResponseParameter = 0x02020009;
constexpr uint32_t kNoLock = 0x0202000A;
constexpr uint32_t kUnknownTransceiverType = 0x02020201;
constexpr uint32_t kInvalidRegisterValue = 0x02020202;
constexpr uint32_t kFirmwareBusy = 0x1F;
constexpr uint8_t kInit = 0x12;
constexpr uint8_t kBitTimingRegister = 0x14;
constexpr uint8_t kResetErrorFrames = 0x16;
constexpr uint8_t kTxPath = 0x1C;
constexpr uint8_t kTransceiverMode = 0x1D;
constexpr uint8_t kNodeConfiguration = 0x1E;
constexpr uint8_t kReadErrorFrames = 0xF3;
constexpr uint8_t kReadState = 0xF9;
constexpr uint8_t kRestBusInterface = 3;
constexpr uint8_t kUntouched = 0xEE;

std::string lastText() { return Qor_GetLastErrorDescription(); }

// The recorded text of the last failure ends with this one.
::testing::AssertionResult lastTextEndsWith(const std::string& text) {
  const std::string last = lastText();
  if (last.size() >= text.size() + 3 &&
      last.compare(last.size() - text.size() - 3, std::string::npos, " - " + text) == 0) {
    return ::testing::AssertionSuccess();
  }
  return ::testing::AssertionFailure() << "last text: " << last;
}

template <class Record>
Record untouched() {
  Record record;
  std::memset(&record, kUntouched, sizeof record);
  return record;
}

template <class Record>
Bytes bytesOf(const Record& record) {
  const auto* first = reinterpret_cast<const uint8_t*>(&record);
  return Bytes(first, first + sizeof record);
}

class NodeRoad : public InterfaceFixture {
 protected:
  void SetUp() override {
    InterfaceFixture::SetUp();
    port_ = open();
    device_->recorder().clear();
  }

  // Node commands the device received since SetUp (the daemon's serial-number queries left out).
  size_t nodeRequests() const {
    size_t count = 0;
    for (const ReceivedFrame& frame : device_->recorder().frames()) count += frame.command() != 0x0C ? 1 : 0;
    return count;
  }

  void expectPropertyRead(uint32_t property, uint32_t value) {
    device_->expect(kNodeConfiguration, words({6, property})).answer(words({6, property, value}));
  }
  void expectPropertyWrite(uint32_t property, uint32_t value) {
    device_->expect(kNodeConfiguration, words({5, property, value})).answer(words({5}));
  }

  uint32_t port_ = QOR_NO_PORT;
};

// ---- commands without results ----

TEST_F(NodeRoad, CommandsAreSentByteExact) {
  const struct Case {
    const char* name;
    uint8_t command;
    Bytes parameters;
    Bytes answer;  // empty: acknowledged
    std::function<uint32_t(uint32_t)> call;
  } cases[] = {
      {"init: mode 1, blinking, FD mode 1",
       kInit,
       hex("00 01 00 01 01 01 00 00"),
       {},
       [](uint32_t port) { return Qor_Can_InitInterface(port, 1, 0x0A); }},
      {"register and transceiver type",
       kBitTimingRegister,
       hex("C3 3E 03 00"),
       {},
       [](uint32_t port) { return Qor_Can_Node_SetBaudrateRegisterAndTransceiverType(port, 0x3EC3, 3); }},
      {"highest register",
       kBitTimingRegister,
       hex("FF FF 00 00"),
       {},
       [](uint32_t port) { return Qor_Can_Node_SetBaudrateRegisterAndTransceiverType(port, 0xFFFF, 0); }},
      {"error frames reset",
       kResetErrorFrames,
       {},
       {},
       [](uint32_t port) { return Qor_Can_Node_ErrorFrameCounter_Reset(port); }},
      {"transmit path mode 4",
       kTxPath,
       hex("04 00 00 00"),
       {},
       [](uint32_t port) { return Qor_Can_Node_TxPath_Control(port, 4); }},
      {"transceiver mode 5",
       kTransceiverMode,
       hex("05 00 00 00"),
       {},
       [](uint32_t port) { return Qor_Can_Node_Transceiver_SetMode(port, 5); }},
      {"transceiver mode 0",
       kTransceiverMode,
       hex("00 00 00 00"),
       {},
       [](uint32_t port) { return Qor_Can_Node_Transceiver_SetMode(port, 0); }},
      {"termination on", kNodeConfiguration, hex("09 0*3"), hex("09 0*3"),
       [](uint32_t port) { return Qor_Can_Node_BusTermination_Enable(port); }},
      {"termination off", kNodeConfiguration, hex("0A 0*3"), hex("0A 0*3"),
       [](uint32_t port) { return Qor_Can_Node_BusTermination_Disable(port); }},
      {"battery voltage on", kNodeConfiguration, hex("0B 0*3"), hex("0B 0*3"),
       [](uint32_t port) { return Qor_Can_Node_InternalVBat_Enable(port); }},
      {"battery voltage off", kNodeConfiguration, hex("0C 0*3"), hex("0C 0*3"),
       [](uint32_t port) { return Qor_Can_Node_InternalVBat_Disable(port); }},
  };
  for (const Case& c : cases) {
    if (c.answer.empty()) {
      device_->expect(c.command, c.parameters);
    } else {
      device_->expect(c.command, c.parameters).answer(c.answer);
    }
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.call(port_), 0u) << lastText();
  }
}

TEST_F(NodeRoad, FirmwareErrorsComeBackUnchanged) {
  device_->expect(kTransceiverMode, hex("01 0*3")).fail(kFirmwareBusy, "busy");
  device_->expect(kNodeConfiguration, hex("09 0*3")).fail(kFirmwareBusy, "busy");
  EXPECT_EQ(Qor_Can_Node_Transceiver_SetMode(port_, 1), kFirmwareBusy);
  EXPECT_EQ(Qor_Can_Node_BusTermination_Enable(port_), kFirmwareBusy);
}

TEST_F(NodeRoad, InitNeedsTheInterfaceLockAndTheCoresChecks) {
  ASSERT_EQ(Qor_ReleaseLock(port_), 0u);
  EXPECT_EQ(Qor_Can_InitInterface(port_, 0, 0), kNoLock);
  ASSERT_EQ(Qor_GetLock(port_), 0u) << lastText();
  EXPECT_EQ(Qor_Can_InitInterface(port_, 3, 0), kUnknownMode);
  EXPECT_EQ(Qor_Can_InitInterface(port_, 0, 0x18), kInvalidParameter) << "two CAN FD modes";
  EXPECT_EQ(nodeRequests(), 0u);
}

TEST_F(NodeRoad, TheBitTimingCalculationSendsNothing) {
  uint32_t registerValue = 0;
  ASSERT_EQ(Qor_Can_Node_CalculateBaudrateRegisterValue(port_, &registerValue, 0, 0, 0, 0, 500000, 0), 0u)
      << lastText();
  EXPECT_EQ(registerValue, 0x3EC3u);
  EXPECT_EQ(Qor_Can_Node_CalculateBaudrateRegisterValue(port_, &registerValue, 7, 0, 0, 0, 500000, 0), 0x02020204u);
  EXPECT_TRUE(lastTextEndsWith("7"));
  EXPECT_EQ(registerValue, 0u);
  EXPECT_EQ(nodeRequests(), 0u);
}

// ---- results ----

TEST_F(NodeRoad, BaudRatesAndTheirInformation) {
  uint8_t options[QOR_CAN_BAUDRATE_OPTION_BYTES] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 0, 0};
  const Bytes answer = words({3, 500000, 80}, hex("11 12 13 14 15 0*11"));
  device_->expect(kNodeConfiguration, words({3, 500000}, hex("01 02 03 04 05 06 07 08 09 0A 00 00"))).answer(answer);
  device_->expect(kNodeConfiguration, words({3, 125000}, hex("0*12"))).answer(words({3, 1, 2}, hex("0*5")));
  device_->expect(kNodeConfiguration, words({4})).answer(words({4, 0xCAFE, 0xBEEF}, hex("A1 A2 A3 A4 A5")));

  auto info = untouched<Qor_Can_Node_BaudrateInfo_t>();
  ASSERT_EQ(Qor_Can_Node_Baudrate_Set(port_, 500000, options, &info), 0u) << lastText();
  EXPECT_EQ(bytesOf(info), words({500000, 80}, hex("11 12 13 14 15 00 00 00")));
  ASSERT_EQ(Qor_Can_Node_Baudrate_Set(port_, 125000, nullptr, &info), 0u) << lastText();
  EXPECT_EQ(bytesOf(info), words({1, 2}, hex("0*8")));
  ASSERT_EQ(Qor_Can_Node_Baudrate_Get(port_, &info), 0u) << lastText();
  EXPECT_EQ(bytesOf(info), words({0xCAFE, 0xBEEF}, hex("A1 A2 A3 A4 A5 00 00 00")));
}

TEST_F(NodeRoad, CanFdBaudRatesAndTheirInformation) {
  Qor_Can_Node_BaudrateFd_t rates{};
  rates.flags = 3;
  rates.firstValue = 500000;
  for (uint8_t index = 0; index < sizeof rates.options; ++index) rates.options[index] = index + 1;
  rates.secondValue = 2000000;
  // The flags byte of the answer: only bits 0 and 1 count.
  device_->expect(kNodeConfiguration, words({7, 3, 500000}, hex("01 02 03 04 05 06 07 08 09 0A 00 00 80 84 1E 00")))
      .answer(words({7, 0xFD, 11, 12}, hex("B1 B2 B3 B4 B5 FF FF FF 0D 00 00 00")));
  device_->expect(kNodeConfiguration, words({8, 0})).answer(words({8, 0x04, 21, 22}, hex("C1 C2 C3 C4 C5 0*3 17 0*3")));

  auto info = untouched<Qor_Can_Node_BaudrateFdInfo_t>();
  ASSERT_EQ(Qor_Can_Node_BaudrateFd_Set(port_, &rates, &info), 0u) << lastText();
  EXPECT_EQ(bytesOf(info), words({1, 11, 12}, hex("B1 B2 B3 B4 B5 00 00 00 0D 00 00 00")));
  ASSERT_EQ(Qor_Can_Node_BaudrateFd_Get(port_, 0, &info), 0u) << lastText();
  EXPECT_EQ(bytesOf(info), words({0, 21, 22}, hex("C1 C2 C3 C4 C5 00 00 00 17 00 00 00")));
}

TEST_F(NodeRoad, ErrorFramesStateAndBusIdleTime) {
  device_->expect(kReadErrorFrames, {}).answer(words({123456}));
  device_->expect(kReadState, hex("0*4")).answer(hex("A1 A2 A3 04 53 00 00 00"));
  device_->expect(kReadState, hex("0*4")).answer(hex("00 00 00 00 A0"));
  device_->expect(kNodeConfiguration, words({6, 1})).answer(words({6, 1, 2500}));

  uint32_t counter = 0;
  ASSERT_EQ(Qor_Can_Node_ErrorFrameCounter_Get(port_, &counter), 0u) << lastText();
  EXPECT_EQ(counter, 123456u);
  auto state = untouched<Qor_Can_Node_State_t>();
  ASSERT_EQ(Qor_Can_Node_GetState(port_, 0, &state), 0u) << lastText();
  EXPECT_EQ(bytesOf(state), hex("A1 A2 A3 04 03 00 00 00 01 00 01 00"));
  ASSERT_EQ(Qor_Can_Node_GetState(port_, 0, &state), 0u) << lastText();
  EXPECT_EQ(bytesOf(state), hex("00 00 00 00 00 00 00 00 00 01 00 01"));
  uint32_t idleTime = 0;
  ASSERT_EQ(Qor_Can_Node_BusIdleTime_Get(port_, &idleTime), 0u) << lastText();
  EXPECT_EQ(idleTime, 2500u);
}

// Answers shorter than what the call reads, and a state the library does not know: refused, the result untouched.
TEST_F(NodeRoad, ShortAnswersAndUnknownStatesAreRefused) {
  const struct Case {
    const char* name;
    uint8_t command;
    Bytes parameters;
    Bytes answer;
    uint32_t code;
    std::function<uint32_t(uint32_t, void*)> call;
    size_t resultSize;
  } cases[] = {
      {"baud rate without its last byte", kNodeConfiguration, words({4}), words({4, 1, 2}, hex("0*4")), kShortAnswer,
       [](uint32_t port, void* out) {
         return Qor_Can_Node_Baudrate_Get(port, static_cast<Qor_Can_Node_BaudrateInfo_t*>(out));
       },
       sizeof(Qor_Can_Node_BaudrateInfo_t)},
      {"FD baud rates without the last byte", kNodeConfiguration, words({8, 0}), words({8, 1, 2, 3}, hex("0*11")),
       kShortAnswer,
       [](uint32_t port, void* out) {
         return Qor_Can_Node_BaudrateFd_Get(port, 0, static_cast<Qor_Can_Node_BaudrateFdInfo_t*>(out));
       },
       sizeof(Qor_Can_Node_BaudrateFdInfo_t)},
      {"error frames in 3 bytes",
       kReadErrorFrames,
       {},
       hex("01 02 03"),
       kShortAnswer,
       [](uint32_t port, void* out) { return Qor_Can_Node_ErrorFrameCounter_Get(port, static_cast<uint32_t*>(out)); },
       sizeof(uint32_t)},
      {"state without its flags", kReadState, hex("0*4"), hex("01 02 03 04"), kShortAnswer,
       [](uint32_t port, void* out) { return Qor_Can_Node_GetState(port, 0, static_cast<Qor_Can_Node_State_t*>(out)); },
       sizeof(Qor_Can_Node_State_t)},
      {"state with InitState 5", kReadState, hex("0*4"), hex("01 02 03 05 00"), kInvalidResponseParameter,
       [](uint32_t port, void* out) { return Qor_Can_Node_GetState(port, 0, static_cast<Qor_Can_Node_State_t*>(out)); },
       sizeof(Qor_Can_Node_State_t)},
      {"idle time without its value", kNodeConfiguration, words({6, 1}), words({6, 1}, hex("01 02 03")), kShortAnswer,
       [](uint32_t port, void* out) { return Qor_Can_Node_BusIdleTime_Get(port, static_cast<uint32_t*>(out)); },
       sizeof(uint32_t)},
      {"a firmware error",
       kNodeConfiguration,
       words({4}),
       {},
       kFirmwareBusy,
       [](uint32_t port, void* out) {
         return Qor_Can_Node_Baudrate_Get(port, static_cast<Qor_Can_Node_BaudrateInfo_t*>(out));
       },
       sizeof(Qor_Can_Node_BaudrateInfo_t)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.code == kFirmwareBusy) {
      device_->expect(c.command, c.parameters).fail(kFirmwareBusy, "busy");
    } else {
      device_->expect(c.command, c.parameters).answer(c.answer);
    }
    Bytes result(c.resultSize, kUntouched);
    EXPECT_EQ(c.call(port_, result.data()), c.code) << lastText();
    EXPECT_EQ(result, Bytes(c.resultSize, kUntouched));
  }
}

TEST_F(NodeRoad, AnUnknownInitStateIsNamed) {
  device_->expect(kReadState, hex("0*4")).answer(hex("01 02 03 09 00"));
  Qor_Can_Node_State_t state{};
  EXPECT_EQ(Qor_Can_Node_GetState(port_, 0, &state), kInvalidResponseParameter);
  EXPECT_TRUE(lastTextEndsWith("'InitState' '0x09' is unknown"));
}

// ---- CAN FD frame settings ----

TEST_F(NodeRoad, FdStateIsReadPropertyByPropertyEachValueHeldToItsRange) {
  const struct {
    uint32_t values[8];  // properties 20, 14, 15, 16, 17, 18, 19, 21
    Bytes state;
  } cases[] = {
      {{7, 4, 2, 1, 2, 1, 1, 0xDEADBEEF}, hex("01 0*3 04 02 01 02 01 01 00 00 EF BE AD DE")},
      {{0, 0, 0, 0, 0, 0, 0, 0}, hex("0*16")},
      {{0, 5, 3, 2, 3, 2, 2, 1}, hex("00 0*3 05 03 02 03 02 02 00 00 01 0*3")},
      {{0x80000000, 0xFFFFFFFF, 0x100, 0x102, 0xFFFFFFFF, 0x100, 0x101, 2},
       hex("01 0*3 05 03 02 03 02 02 00 00 02 0*3")},
  };
  const uint32_t properties[] = {20, 14, 15, 16, 17, 18, 19, 21};
  for (const auto& c : cases) {
    for (size_t index = 0; index < 8; ++index) expectPropertyRead(properties[index], c.values[index]);
    auto state = untouched<Qor_Can_Node_FdState_t>();
    ASSERT_EQ(Qor_Can_Node_FdState_Get(port_, 0, &state), 0u) << lastText();
    EXPECT_EQ(bytesOf(state), c.state);
  }
}

TEST_F(NodeRoad, AFailingFdReadKeepsWhatWasReadBefore) {
  expectPropertyRead(20, 1);
  expectPropertyRead(14, 3);
  expectPropertyRead(15, 2);
  device_->expect(kNodeConfiguration, words({6, 16})).fail(kFirmwareBusy, "busy");
  auto state = untouched<Qor_Can_Node_FdState_t>();
  EXPECT_EQ(Qor_Can_Node_FdState_Get(port_, 0, &state), kFirmwareBusy);
  EXPECT_EQ(bytesOf(state), hex("01 00 00 00 03 02 EE EE EE EE 00 00 EE EE EE EE"));

  expectPropertyRead(20, 0);
  device_->expect(kNodeConfiguration, words({6, 14})).answer(words({6, 14}, hex("01 02 03")));
  EXPECT_EQ(Qor_Can_Node_FdState_Get(port_, 0, &state), kShortAnswer);
  EXPECT_EQ(bytesOf(state), hex("00 00 00 00 03 02 EE EE EE EE 00 00 EE EE EE EE"));
}

TEST_F(NodeRoad, FdStateWritesTheChosenPropertiesInOrder) {
  Qor_Can_Node_FdStateSet_t state{};
  state.flags = QOR_CAN_FD_STATE_FLAGS_VALID;
  state.TxBrs_Global = 2;
  state.TxBrs_InitValue = 1;
  state.TxEsi_Global = 0;
  state.TxEsi_InitValue = 1;
  state.FdFrameFormatSpec = 1;
  state.fdWord = 0x12345678;
  expectPropertyWrite(15, 2);
  expectPropertyWrite(16, 1);
  expectPropertyWrite(17, 0);
  expectPropertyWrite(18, 1);
  expectPropertyWrite(19, 1);
  expectPropertyWrite(21, 0x12345678);
  ASSERT_EQ(Qor_Can_Node_FdState_Set(port_, &state), 0u) << lastText();

  state.flags = QOR_CAN_FD_STATE_TX_ESI_GLOBAL | QOR_CAN_FD_STATE_FD_WORD;
  expectPropertyWrite(17, 0);
  expectPropertyWrite(21, 0x12345678);
  ASSERT_EQ(Qor_Can_Node_FdState_Set(port_, &state), 0u) << lastText();

  state.flags = 0;
  ASSERT_EQ(Qor_Can_Node_FdState_Set(port_, &state), 0u) << "nothing to write";

  state.flags = QOR_CAN_FD_STATE_TX_BRS_GLOBAL | QOR_CAN_FD_STATE_TX_BRS_INIT_VALUE;
  expectPropertyWrite(15, 2);
  device_->expect(kNodeConfiguration, words({5, 16, 1})).fail(kFirmwareBusy, "busy");
  EXPECT_EQ(Qor_Can_Node_FdState_Set(port_, &state), kFirmwareBusy);
}

// ---- refusals: nothing is sent ----

TEST_F(NodeRoad, CallerFaultsAreRefusedBeforeAnythingIsSent) {
  uint8_t reservedSet[QOR_CAN_BAUDRATE_OPTION_BYTES] = {};
  reservedSet[11] = 1;
  Qor_Can_Node_BaudrateInfo_t info{};
  Qor_Can_Node_BaudrateFd_t rates{};
  Qor_Can_Node_BaudrateFdInfo_t fdInfo{};
  Qor_Can_Node_State_t state{};
  Qor_Can_Node_FdState_t fdState{};
  const auto fdStateWith = [](uint32_t flags, uint8_t txBrsInitValue, uint8_t reserved) {
    Qor_Can_Node_FdStateSet_t set{};
    set.flags = flags;
    set.TxBrs_Global = 1;
    set.TxBrs_InitValue = txBrsInitValue;
    set.reserved[2] = reserved;
    return set;
  };
  const struct Case {
    const char* name;
    std::function<uint32_t()> call;
    uint32_t code;
    const char* text;  // nullptr: the library records none
  } cases[] = {
      {"register above 16 bits", [&] { return Qor_Can_Node_SetBaudrateRegisterAndTransceiverType(port_, 0x10000, 0); },
       kInvalidRegisterValue, "0x00010000"},
      {"transceiver type 4", [&] { return Qor_Can_Node_SetBaudrateRegisterAndTransceiverType(port_, 0, 4); },
       kUnknownTransceiverType, "4"},
      {"transceiver mode 6", [&] { return Qor_Can_Node_Transceiver_SetMode(port_, 6); }, kUnknownMode,
       "mode '0x06' is unknown"},
      {"transmit path mode 5", [&] { return Qor_Can_Node_TxPath_Control(port_, 5); }, kUnknownMode,
       "mode '0x05' is unknown"},
      {"state mode 1", [&] { return Qor_Can_Node_GetState(port_, 1, &state); }, kUnknownMode, "mode '0x01' is unknown"},
      {"reserved option byte", [&] { return Qor_Can_Node_Baudrate_Set(port_, 500000, reservedSet, &info); },
       kInvalidParameter, "reserved bytes have to be zero"},
      {"FD flags 4",
       [&] {
         rates.flags = 4;
         return Qor_Can_Node_BaudrateFd_Set(port_, &rates, &fdInfo);
       },
       kUnknownFlag, nullptr},
      {"FD reserved field",
       [&] {
         rates.flags = 0;
         rates.reserved = 1;
         return Qor_Can_Node_BaudrateFd_Set(port_, &rates, &fdInfo);
       },
       kInvalidParameter, "reserved bytes have to be 0"},
      {"FD read flags", [&] { return Qor_Can_Node_BaudrateFd_Get(port_, 1, &fdInfo); }, kUnknownFlag, nullptr},
      {"FD state read flags", [&] { return Qor_Can_Node_FdState_Get(port_, 1, &fdState); }, kUnknownFlag, nullptr},
      {"FD state bit 0",
       [&] {
         auto set = fdStateWith(1, 0, 0);
         return Qor_Can_Node_FdState_Set(port_, &set);
       },
       kUnknownFlag, nullptr},
      {"FD state bit 7",
       [&] {
         auto set = fdStateWith(0x80, 0, 0);
         return Qor_Can_Node_FdState_Set(port_, &set);
       },
       kUnknownFlag, nullptr},
      {"FD state reserved",
       [&] {
         auto set = fdStateWith(2, 0, 1);
         return Qor_Can_Node_FdState_Set(port_, &set);
       },
       kInvalidParameter, "reserved bytes have to be zero"},
      {"FD state value out of range after a valid one: nothing written",
       [&] {
         auto set = fdStateWith(QOR_CAN_FD_STATE_TX_BRS_GLOBAL | QOR_CAN_FD_STATE_TX_BRS_INIT_VALUE, 2, 0);
         return Qor_Can_Node_FdState_Set(port_, &set);
       },
       kInvalidParameter, "'TxBrs_InitValue' '0x02' is out of range"},
      {"no register", [&] { return Qor_Can_Node_CalculateBaudrateRegisterValue(port_, nullptr, 0, 0, 0, 0, 5e5, 0); },
       kInvalidParameter, "'registerValue' is NULL"},
      {"no baud-rate result", [&] { return Qor_Can_Node_Baudrate_Get(port_, nullptr); }, kInvalidParameter,
       "'info' is NULL"},
      {"no FD rates", [&] { return Qor_Can_Node_BaudrateFd_Set(port_, nullptr, &fdInfo); }, kInvalidParameter,
       "'rates' is NULL"},
      {"no counter", [&] { return Qor_Can_Node_ErrorFrameCounter_Get(port_, nullptr); }, kInvalidParameter,
       "'counter' is NULL"},
      {"no state", [&] { return Qor_Can_Node_GetState(port_, 0, nullptr); }, kInvalidParameter, "'state' is NULL"},
      {"no idle time", [&] { return Qor_Can_Node_BusIdleTime_Get(port_, nullptr); }, kInvalidParameter,
       "'idleTime' is NULL"},
      {"no FD state", [&] { return Qor_Can_Node_FdState_Set(port_, nullptr); }, kInvalidParameter, "'state' is NULL"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.call(), c.code) << lastText();
    if (c.text != nullptr) {
      EXPECT_TRUE(lastTextEndsWith(c.text));
    }
  }
  EXPECT_EQ(nodeRequests(), 0u);
}

TEST_F(NodeRoad, EveryFunctionNeedsACanPort) {
  const uint32_t restBus = open(kRestBusInterface);
  uint32_t value = 0;
  Qor_Can_Node_BaudrateInfo_t info{};
  Qor_Can_Node_BaudrateFd_t rates{};
  Qor_Can_Node_BaudrateFdInfo_t fdInfo{};
  Qor_Can_Node_State_t state{};
  Qor_Can_Node_FdState_t fdState{};
  Qor_Can_Node_FdStateSet_t fdSet{};
  const std::function<uint32_t(uint32_t)> calls[] = {
      [&](uint32_t port) { return Qor_Can_InitInterface(port, 0, 0); },
      [&](uint32_t port) { return Qor_Can_Node_SetBaudrateRegisterAndTransceiverType(port, 0, 0); },
      [&](uint32_t port) { return Qor_Can_Node_CalculateBaudrateRegisterValue(port, &value, 0, 0, 0, 0, 5e5, 0); },
      [&](uint32_t port) { return Qor_Can_Node_Baudrate_Set(port, 500000, nullptr, &info); },
      [&](uint32_t port) { return Qor_Can_Node_Baudrate_Get(port, &info); },
      [&](uint32_t port) { return Qor_Can_Node_BaudrateFd_Set(port, &rates, &fdInfo); },
      [&](uint32_t port) { return Qor_Can_Node_BaudrateFd_Get(port, 0, &fdInfo); },
      [&](uint32_t port) { return Qor_Can_Node_ErrorFrameCounter_Get(port, &value); },
      [&](uint32_t port) { return Qor_Can_Node_ErrorFrameCounter_Reset(port); },
      [&](uint32_t port) { return Qor_Can_Node_GetState(port, 0, &state); },
      [&](uint32_t port) { return Qor_Can_Node_Transceiver_SetMode(port, 0); },
      [&](uint32_t port) { return Qor_Can_Node_TxPath_Control(port, 0); },
      [&](uint32_t port) { return Qor_Can_Node_BusTermination_Enable(port); },
      [&](uint32_t port) { return Qor_Can_Node_BusTermination_Disable(port); },
      [&](uint32_t port) { return Qor_Can_Node_InternalVBat_Enable(port); },
      [&](uint32_t port) { return Qor_Can_Node_InternalVBat_Disable(port); },
      [&](uint32_t port) { return Qor_Can_Node_BusIdleTime_Get(port, &value); },
      [&](uint32_t port) { return Qor_Can_Node_FdState_Get(port, 0, &fdState); },
      [&](uint32_t port) { return Qor_Can_Node_FdState_Set(port, &fdSet); },
  };
  device_->recorder().clear();
  for (size_t index = 0; index < std::size(calls); ++index) {
    SCOPED_TRACE(index);
    EXPECT_EQ(calls[index](restBus), kWrongInterface);
    EXPECT_TRUE(lastTextEndsWith("CAN Interface expected"));
    EXPECT_EQ(calls[index](QOR_NO_PORT), QOR_ERR_API_INVALID_PORT_HANDLE);
  }
  EXPECT_EQ(nodeRequests(), 0u);
}

}  // namespace
}  // namespace qor::test
