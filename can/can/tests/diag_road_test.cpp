// The firmware's diagnostic service from the library through the daemon to an emulated CAN controller: every
// configuration record byte-exact, the refusals that send nothing, and the channel's state, synchronous and through
// the asynchronous triple.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "qor_api.h"
#include "qor_can_diag.h"
#include "qor_emulator/frame.hpp"
#include "qor_test/inbox.hpp"
#include "qor_test/interface_fixture.hpp"

namespace qor::test {
namespace {

using emulator::Bytes;
using namespace std::chrono_literals;

constexpr uint8_t kConfig = 0xA0, kState = 0xA5;
constexpr uint32_t kInvalidDataLength = 0x02020002, kInvalidResponseLength = 0x02020003, kUnknownFlag = 0x02020004,
                   kUnknownMode = 0x02020005, kInvalidParameter = 0x02020007, kInvalidResponseParameter = 0x02020009;

using Record = emulator::RecordBytes;

// The head of every configuration: channel, protocol, the firmware's mode, the value and the flags.
Record head(uint8_t channel, uint16_t protocol, uint8_t firmwareMode, uint32_t value, uint8_t flags) {
  return std::move(Record().u8(channel).u16(protocol).u8(firmwareMode).u32(value).u8(flags).zeros(3));
}

std::string lastError() { return Qor_GetLastErrorDescription(); }

Qor_Can_DiagConfigIsoTp_t isoTp() {
  Qor_Can_DiagConfigIsoTp_t config{};
  config.value1 = 0x0102;
  config.value2 = 0x0304;
  config.value3 = 0x0506;
  config.TesterPresentMode = 2;
  config.TesterPresentResponseMode = 1;
  config.testerPresentValue = 0x0708;
  config.testerPresentDataLength = 2;
  config.testerPresentData[0] = 0x3E;
  config.testerPresentData[1] = 0x80;
  config.testerPresentData[2] = 0xFF;  // past the length: not sent
  return config;
}

class DiagRoad : public InterfaceFixture {
 protected:
  void SetUp() override {
    InterfaceFixture::SetUp();
    port_ = open(1);
  }
  uint32_t port_ = 0;
};

TEST_F(DiagRoad, ConfigurationsGoOutAsTheirProtocolsRecords) {
  const Qor_Can_DiagConfigIsoTp_t iso = isoTp();
  Qor_Can_DiagConfigJ1939_t j1939{};
  j1939.value1 = 0x11223344;
  j1939.value2 = 0x55667788;
  j1939.value3 = 0x99AA;
  j1939.TesterPresentMode = 1;
  j1939.testerPresentDataLength = 11;
  j1939.testerPresentValue = 0xCAFEBABE;
  for (uint8_t i = 0; i < 11; ++i) j1939.testerPresentData[i] = static_cast<uint8_t>(0xB0 + i);
  const Qor_Can_DiagConfigTp16_t tp16{0x0102, 0x0304, 5, 6, 7, 0, 0x0809, 0};
  const Bytes isoDetail = Record().u16(0x0102).u16(0x0304).u16(0x0506).u16(0).u8(2).u8(1).u16(0x0708).u16(0).u8(0)
                              .u8(2).u8(0x3E).u8(0x80).zeros(6);
  Bytes j1939Data;
  for (uint8_t i = 0; i < 11; ++i) j1939Data.push_back(static_cast<uint8_t>(0xB0 + i));
  struct Case {
    const char* name;
    std::function<uint32_t(uint32_t)> call;
    Bytes record;
  };
  const Case cases[] = {
      {"GMLAN mode 3: firmware mode 4 with the detail",
       [&](uint32_t p) { return Qor_Can_Diag_Config_GmLan(p, 1, 3, 0xDEADBEEF, 0xF, &iso); },
       Record().bytes(head(1, 4, 4, 0xDEADBEEF, 0xF)).bytes(isoDetail)},
      {"GMLAN mode 0: zeros behind the head, no detail read",
       [&](uint32_t p) { return Qor_Can_Diag_Config_GmLan(p, 2, 0, 7, 0, nullptr); },
       Record().bytes(head(2, 4, 0, 7, 0)).zeros(24)},
      {"KWP2000 over ISO-TP mode 1", [&](uint32_t p) { return Qor_Can_Diag_Config_Kw2000_IsoTp(p, 3, 1, 9, 1, &iso); },
       Record().bytes(head(3, 3, 1, 9, 1)).bytes(isoDetail)},
      {"UDS over ISO-TP mode 2", [&](uint32_t p) { return Qor_Can_Diag_Config_Uds_IsoTp(p, 4, 2, 9, 2, &iso); },
       Record().bytes(head(4, 5, 2, 9, 2)).zeros(24)},
      {"J1939 mode 1: 44 bytes", [&](uint32_t p) { return Qor_Can_Diag_Config_J1939(p, 5, 1, 1, 0, &j1939); },
       Record().bytes(head(5, 6, 1, 1, 0)).u32(0x11223344).u32(0x55667788).u16(0x99AA).u16(0).u8(1).u8(0).u8(11)
           .u8(0).u32(0xCAFEBABE).bytes(j1939Data).zeros(1)},
      {"TP 1.6 mode 3: 24 bytes", [&](uint32_t p) { return Qor_Can_Diag_Config_Kw2000_Tp_1_6(p, 6, 3, 2, 0, &tp16); },
       Record().bytes(head(6, 1, 4, 2, 0)).u16(0x0102).u16(0x0304).u8(5).u8(6).u8(7).u8(0).u16(0x0809).u16(0)},
      {"TP 2.0 mode 1: the two values at 12 and 14",
       [&](uint32_t p) { return Qor_Can_Diag_Config_Kw2000_Tp_2_0(p, 7, 1, 3, 0, 0xAABB, 0xCCDD); },
       Record().bytes(head(7, 2, 1, 3, 0)).u16(0xAABB).u16(0xCCDD)},
      {"TP 2.0 mode 2: the head alone",
       [&](uint32_t p) { return Qor_Can_Diag_Config_Kw2000_Tp_2_0(p, 7, 2, 3, 0, 0xAABB, 0xCCDD); },
       head(7, 2, 2, 3, 0)},
      {"TP 2.0 mode 0: zeros for the values",
       [&](uint32_t p) { return Qor_Can_Diag_Config_Kw2000_Tp_2_0(p, 7, 0, 3, 0, 0xAABB, 0xCCDD); },
       Record().bytes(head(7, 2, 0, 3, 0)).zeros(4)},
      {"off", [&](uint32_t p) { return Qor_Can_Diag_Config_Off(p, 9); }, Record().u8(9).zeros(3)},
  };
  for (const Case& c : cases) device_->expect(kConfig, c.record);
  for (const Case& c : cases) EXPECT_EQ(c.call(port_), 0u) << c.name << ": " << lastError();
}

TEST_F(DiagRoad, RefusedConfigurationsSendNothingAndSayWhy) {
  Qor_Can_DiagConfigIsoTp_t reservedAt7And13 = isoTp();
  reinterpret_cast<uint8_t*>(&reservedAt7And13)[7] = 1;
  reinterpret_cast<uint8_t*>(&reservedAt7And13)[13] = 1;
  Qor_Can_DiagConfigIsoTp_t longData = isoTp();
  longData.testerPresentDataLength = 9;
  Qor_Can_DiagConfigIsoTp_t testerMode = isoTp();
  testerMode.TesterPresentMode = 3;
  Qor_Can_DiagConfigIsoTp_t responseMode = isoTp();
  responseMode.TesterPresentResponseMode = 2;
  Qor_Can_DiagConfigJ1939_t j1939{};
  j1939.testerPresentDataLength = 12;
  Qor_Can_DiagConfigJ1939_t j1939Reserved{};
  j1939Reserved.reserved2 = 1;
  Qor_Can_DiagConfigTp16_t tp16{};
  tp16.reserved2 = 0x0100;  // offset 11
  struct Case {
    const char* name;
    std::function<uint32_t(uint32_t)> call;
    uint32_t code;
    const char* text;
  };
  const Case cases[] = {
      {"flags above 15", [](uint32_t p) { return Qor_Can_Diag_Config_GmLan(p, 1, 0, 0, 0x10, nullptr); }, kUnknownFlag,
       ""},
      {"mode 4", [](uint32_t p) { return Qor_Can_Diag_Config_J1939(p, 1, 4, 0, 0, nullptr); }, kUnknownMode,
       "Unknown Mode: 4"},
      {"TP 2.0 mode 4", [](uint32_t p) { return Qor_Can_Diag_Config_Kw2000_Tp_2_0(p, 1, 4, 0, 0, 0, 0); },
       kUnknownMode, "Unknown Mode: 4"},
      {"the highest reserved offset is named",
       [&](uint32_t p) { return Qor_Can_Diag_Config_Uds_IsoTp(p, 1, 1, 0, 0, &reservedAt7And13); }, kInvalidParameter,
       "Invalid reserved parameter byte: offset 13"},
      {"UDS tester present data of 9", [&](uint32_t p) { return Qor_Can_Diag_Config_Uds_IsoTp(p, 1, 1, 0, 0, &longData); },
       kInvalidDataLength, "9"},
      {"KWP2000 tester present data of 9",
       [&](uint32_t p) { return Qor_Can_Diag_Config_Kw2000_IsoTp(p, 1, 3, 0, 0, &longData); }, kInvalidDataLength, "9"},
      {"tester present mode 3", [&](uint32_t p) { return Qor_Can_Diag_Config_GmLan(p, 1, 1, 0, 0, &testerMode); },
       kUnknownMode, "Unknown TesterPresentMode: 3"},
      {"tester present response mode 2",
       [&](uint32_t p) { return Qor_Can_Diag_Config_GmLan(p, 1, 1, 0, 0, &responseMode); }, kUnknownMode,
       "Unknown TesterPresentResponseMode: 2"},
      {"J1939 data of 12", [&](uint32_t p) { return Qor_Can_Diag_Config_J1939(p, 1, 1, 0, 0, &j1939); },
       kInvalidDataLength, "12"},
      {"J1939 reserved at 15", [&](uint32_t p) { return Qor_Can_Diag_Config_J1939(p, 1, 3, 0, 0, &j1939Reserved); },
       kInvalidParameter, "Invalid reserved parameter byte: offset 15"},
      {"TP 1.6 reserved at 11", [&](uint32_t p) { return Qor_Can_Diag_Config_Kw2000_Tp_1_6(p, 1, 1, 0, 0, &tp16); },
       kInvalidParameter, "Invalid reserved parameter byte: offset 11"},
      {"a mode with detail and no record", [](uint32_t p) { return Qor_Can_Diag_Config_GmLan(p, 1, 3, 0, 0, nullptr); },
       kInvalidParameter, "'config' is NULL"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.call(port_), c.code) << c.name << ": " << lastError();
    if (*c.text != 0) {
      EXPECT_NE(lastError().find(std::string(" - ") + c.text), std::string::npos) << lastError();
    }
  }
}

TEST_F(DiagRoad, TheStateIsReadAndCheckedBeforeItIsWritten) {
  struct Case {
    const char* name;
    Bytes answer;
    uint32_t code;
    const char* text;
    uint8_t type, state;
  };
  const Case cases[] = {
      {"a whole answer", {4, 0x21, 7, 4, 0xFF}, 0, "", 7, 4},
      {"four bytes", {4, 0x21, 7, 4}, kInvalidResponseLength, "4", 0xEE, 0xEE},
      {"type 8", {4, 0x21, 8, 4, 0xFF}, kInvalidResponseParameter, "received unknown diag type '8'", 0xEE, 0xEE},
      {"state 5 after a good type", {4, 0x21, 3, 5, 0xFF}, kInvalidResponseParameter, "received unknown diag state '5'",
       3, 0xEE},
  };
  for (const Case& c : cases) {
    device_->expect(kState, {4, 1, 0, 0}).answer(c.answer);
    uint32_t lastErrorCode = 0xEEEE, rspFlags = 0xEEEE;
    uint8_t type = 0xEE, state = 0xEE;
    EXPECT_EQ(Qor_Can_Diag_GetState(port_, 4, 1, &lastErrorCode, &type, &state, &rspFlags), c.code) << c.name;
    if (*c.text != 0) {
      EXPECT_NE(lastError().find(std::string(" - ") + c.text), std::string::npos) << lastError();
    }
    EXPECT_EQ(type, c.type) << c.name;
    EXPECT_EQ(state, c.state) << c.name;
    EXPECT_EQ(lastErrorCode, c.code == 0 ? 0x21u : 0xEEEEu) << c.name;
    EXPECT_EQ(rspFlags, c.code == 0 ? 0x0Fu : 0xEEEEu) << c.name;
  }

  uint32_t lastErrorCode = 0, rspFlags = 0;
  uint8_t state = 0;
  EXPECT_EQ(Qor_Can_Diag_GetState(port_, 4, 0, &lastErrorCode, nullptr, &state, &rspFlags), kInvalidParameter);
  EXPECT_NE(lastError().find("'type' is NULL"), std::string::npos) << lastError();
  uint8_t type = 0;
  EXPECT_EQ(Qor_Can_Diag_GetState(port_, 4, 2, &lastErrorCode, &type, &state, &rspFlags), kUnknownFlag);
  EXPECT_EQ(Qor_Can_Diag_GetState_Async(port_, 4, 2), kUnknownFlag);
}

Inbox gStates;

void stateArrived(uint32_t, uint8_t channel, uint8_t lastErrorCode, uint32_t type, uint32_t state, uint32_t flags) {
  gStates.put("state " + std::to_string(channel) + " " + std::to_string(lastErrorCode) + " " + std::to_string(type) +
              " " + std::to_string(state) + " " + std::to_string(flags));
}
void errorArrived(uint32_t, uint32_t code, const char* text, uint32_t length) {
  gStates.put("error " + std::to_string(code) + " " + std::string(text, length));
}

TEST_F(DiagRoad, AsynchronousStatesReachTheApplicationOrItsErrorCallback) {
  ASSERT_EQ(Qor_AsyncCommunication_Enable(port_, errorArrived), 0u) << lastError();
  ASSERT_EQ(Qor_Can_Diag_GetState_Async_AddCallback(port_, 6, stateArrived), 0u) << lastError();
  EXPECT_EQ(Qor_Can_Diag_GetState_Async_AddCallback(port_, 6, nullptr), kInvalidParameter);

  const std::string function = "'Qor_Can_Diag_GetState_Async' error" + std::string(1, '\0');
  device_->expect(kState, {6, 0, 0, 0}).answer({6, 0x12, 7, 2, 0xF5});
  device_->expect(kState, {6, 1, 0, 0}).answer({6, 0x12, 8, 2, 0xF5});
  device_->expect(kState, {6, 0, 0, 0}).answer({6, 0x12, 7, 2});
  ASSERT_EQ(Qor_Can_Diag_GetState_Async(port_, 6, 0), 0u) << lastError();
  ASSERT_TRUE(gStates.waitFor(1));
  ASSERT_EQ(Qor_Can_Diag_GetState_Async(port_, 6, 1), 0u) << lastError();
  ASSERT_TRUE(gStates.waitFor(2));
  ASSERT_EQ(Qor_Can_Diag_GetState_Async(port_, 6, 0), 0u) << lastError();
  ASSERT_TRUE(gStates.waitFor(3));
  EXPECT_EQ(gStates.entries, (std::vector<std::string>{"state 6 18 7 2 5",
                                                       "error " + std::to_string(kInvalidResponseParameter) + " " +
                                                           function,
                                                       "error " + std::to_string(kInvalidResponseLength) + " " +
                                                           function}));
  EXPECT_EQ(Qor_Can_Diag_GetState_Async_RemoveCallback(port_, 6), 0u) << lastError();
}

}  // namespace
}  // namespace qor::test
