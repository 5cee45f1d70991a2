// The diagnostic service of an emulated LIN controller: configuration records byte-exact, the state synchronously
// and through the asynchronous callback, delays and time-out.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "qor_async.h"
#include "qor_emulator/frame.hpp"
#include "qor_lin_diag.h"

#include "lin_road.hpp"
namespace qor::test {
namespace {

using emulator::Bytes;
using emulator::words;

constexpr uint8_t kConfigure = 0xA0;
constexpr uint8_t kState = 0xA5;
constexpr uint8_t kTiming = 0xA8;

// A raw configuration with its special responses behind it, as the application lays it out.
struct RawWithResponses {
  Qor_Lin_DiagConfigRaw_t config{};
  Qor_Lin_DiagSpecialResponse_t responses[QOR_LIN_DIAG_MAX_SPECIAL_RESPONSES + 1]{};
};
static_assert(offsetof(RawWithResponses, responses) == sizeof(Qor_Lin_DiagConfigRaw_t));

RawWithResponses sampleRaw() {
  RawWithResponses raw;
  Qor_Lin_DiagConfigRaw_t& c = raw.config;
  c.value1 = 0x0201;
  c.value2 = 0x0403;
  c.value3 = 0x0605;
  c.defaultMasterDataMode = 1;
  for (uint8_t i = 0; i < 8; ++i) {
    c.defaultMasterData[i] = static_cast<uint8_t>(0x10 + i);
    c.defaultSlaveData[i] = static_cast<uint8_t>(0x20 + i);
    c.testerPresentData[i] = static_cast<uint8_t>(0x30 + i);
  }
  c.defaultSlaveDataMode = 0;
  c.testerPresentMode = 0;
  c.testerPresentResponseMode = 1;  // ignored with mode 0
  c.testerPresentValue = 0xBEEF;
  c.rxEndCondition = 3;
  return raw;
}

Bytes rawHead(uint8_t instance, uint8_t txMethod) {
  return {instance, 1, 0, txMethod, 0, 0, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06,     // values
          1, 0, 0, 0, 0x10, 0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0x17,           // master data
          0, 0, 0, 0, 0x20, 0x21, 0x22, 0x23, 0x24, 0x25, 0x26, 0x27};          // slave data
}

Bytes concat(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

using LinDiag = LinRoad;

TEST_F(LinDiag, RawConfigurationRecord) {
  RawWithResponses raw = sampleRaw();
  const Bytes testerPresentOff(12, 0);
  const Bytes tail{3, 0, 0};
  device_->expect(kConfigure, concat(concat(concat(rawHead(2, 4), testerPresentOff), tail), {0}));

  Bytes withTesterPresent = concat(rawHead(2, 0), {1, 1, 0xEF, 0xBE, 0x30, 0x31, 0x32, 0x33, 0x34, 0x35, 0x36, 0x37});
  withTesterPresent = concat(concat(withTesterPresent, tail), {2});
  for (uint8_t r = 0; r < 2; ++r) {
    Bytes response(16, static_cast<uint8_t>(0xA0 + r));
    response.push_back(static_cast<uint8_t>(31 - r));
    response.insert(response.end(), 3, 0);
    withTesterPresent = concat(withTesterPresent, response);
  }
  device_->expect(kConfigure, withTesterPresent);

  EXPECT_EQ(Qor_Lin_Diag_Config_Raw(port_, 2, 4, &raw.config), 0u) << Qor_GetLastErrorDescription();
  raw.config.testerPresentMode = 1;
  raw.config.specialResponseCount = 2;
  for (uint8_t r = 0; r < 2; ++r) {
    memset(raw.responses[r].data, 0xA0 + r, sizeof raw.responses[r].data);
    raw.responses[r].flags = 31u - r;
  }
  EXPECT_EQ(Qor_Lin_Diag_Config_Raw(port_, 2, 0, &raw.config), 0u) << Qor_GetLastErrorDescription();
  EXPECT_EQ(device_->recorder().waitForCommand(kConfigure, std::chrono::seconds(1), 1)->parameters().size(), 92u);
}

TEST_F(LinDiag, RawConfigurationRefusalsSendNothing) {
  using Edit = void (*)(RawWithResponses&);
  struct Row {
    const char* what;
    Edit edit;
    uint8_t txMethod;
    uint32_t code;
    const char* text;
  };
  const Row rows[] = {
      {"reserved at 6", [](RawWithResponses& r) { r.config.reserved6 = 1; }, 5, kInvalidParameter,
       "reserved bytes have to be zero"},
      {"reserved at 23", [](RawWithResponses& r) { r.config.reserved21[2] = 1; }, 0, kInvalidParameter,
       "reserved bytes have to be zero"},
      {"reserved at 46", [](RawWithResponses& r) { r.config.reserved45[1] = 1; }, 0, kInvalidParameter,
       "reserved bytes have to be zero"},
      {"txMethod", [](RawWithResponses&) {}, 5, kInvalidParameter, "txMethod '0x5' is unknown"},
      {"master mode", [](RawWithResponses& r) { r.config.defaultMasterDataMode = 2; }, 0, kUnknownMode,
       "default master data mode '0x2' is unknown"},
      {"slave mode", [](RawWithResponses& r) { r.config.defaultSlaveDataMode = 2; }, 0, kUnknownMode,
       "default slave data mode '0x2' is unknown"},
      {"tester present mode", [](RawWithResponses& r) { r.config.testerPresentMode = 2; }, 0, kUnknownMode,
       "tester present mode '0x2' is unknown"},
      {"tester present response mode",
       [](RawWithResponses& r) {
         r.config.testerPresentMode = 1;
         r.config.testerPresentResponseMode = 3;
       },
       0, kUnknownMode, "tester present response mode '0x3' is unknown"},
      {"RxEndCondition", [](RawWithResponses& r) { r.config.rxEndCondition = 4; }, 0, kInvalidParameter,
       "RxEndCondition '0x4' is unknown"},
      {"nine special responses", [](RawWithResponses& r) { r.config.specialResponseCount = 9; }, 0,
       kInvalidParameter, "at most 8 special responses"},
      {"special response flags",
       [](RawWithResponses& r) {
         r.config.specialResponseCount = 3;
         r.responses[1].flags = 32;
       },
       0, kUnknownFlag, "unknown flag in special response #1"},
  };
  for (const Row& row : rows) {
    RawWithResponses raw = sampleRaw();
    row.edit(raw);
    EXPECT_EQ(Qor_Lin_Diag_Config_Raw(port_, 0, row.txMethod, &raw.config), row.code) << row.what;
    EXPECT_TRUE(lastTextHas(row.text)) << row.what << ": " << Qor_GetLastErrorDescription();
  }
  EXPECT_EQ(Qor_Lin_Diag_Config_Raw(port_, 0, 0, nullptr), kInvalidParameter);
}

TEST_F(LinDiag, Lin20ConfigurationRecord) {
  Qor_Lin_DiagConfigLin20_t c{};
  c.value0 = 0x7F;
  c.value1 = 0x0201;
  c.value2 = 0x0403;
  c.value3 = 0x0605;
  c.testerPresentResponseMode = 1;
  c.testerPresentValue = 0x1234;
  c.testerPresentDataLength = 5;
  for (uint8_t i = 0; i < 8; ++i) c.testerPresentData[i] = static_cast<uint8_t>(0x40 + i);
  const Bytes head{3, 2, 0, 1, 0x7F, 0, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06};
  device_->expect(kConfigure, concat(head, {0}));
  device_->expect(kConfigure, concat(head, {1, 1, 0x34, 0x12, 0, 0, 0, 5, 0x40, 0x41, 0x42, 0x43, 0x44}));
  device_->expect(kConfigure, {3, 0});
  EXPECT_EQ(Qor_Lin_Diag_Config_Lin_2_0(port_, 3, 1, &c), 0u) << Qor_GetLastErrorDescription();
  c.testerPresentMode = 1;
  EXPECT_EQ(Qor_Lin_Diag_Config_Lin_2_0(port_, 3, 1, &c), 0u) << Qor_GetLastErrorDescription();
  EXPECT_EQ(Qor_Lin_Diag_Config_Off(port_, 3), 0u) << Qor_GetLastErrorDescription();

  c.testerPresentDataLength = 9;
  EXPECT_EQ(Qor_Lin_Diag_Config_Lin_2_0(port_, 3, 1, &c), kInvalidParameter) << "the data hold 8 bytes";
  c.testerPresentDataLength = 8;
  c.reserved14 = 1;
  EXPECT_EQ(Qor_Lin_Diag_Config_Lin_2_0(port_, 3, 1, &c), kInvalidParameter);
  EXPECT_TRUE(lastTextHas("reserved bytes have to be zero")) << Qor_GetLastErrorDescription();
  c.reserved14 = 0;
  EXPECT_EQ(Qor_Lin_Diag_Config_Lin_2_0(port_, 3, 5, &c), kInvalidParameter);
  c.testerPresentResponseMode = 2;
  EXPECT_EQ(Qor_Lin_Diag_Config_Lin_2_0(port_, 3, 1, &c), kUnknownMode);
}

TEST_F(LinDiag, StateIsCheckedFieldByField) {
  const Bytes query{4, 1, 0, 0};
  device_->expect(kState, query).answer({4, 0x42, 2, 4, 3});
  device_->expect(kState, query).answer({4, 0x42, 2, 4});
  device_->expect(kState, query).answer({4, 0x43, 3, 0, 0});
  device_->expect(kState, query).answer({4, 0x44, 1, 5, 0});
  device_->expect(kState, query).answer({4, 0x45, 1, 2, 4});
  uint32_t value = 0, flags = 9;
  uint8_t type = 9, state = 9;
  EXPECT_EQ(Qor_Lin_Diag_GetState(port_, 4, 1, &value, &type, &state, &flags), 0u) << Qor_GetLastErrorDescription();
  EXPECT_EQ(value, 0x42u);
  EXPECT_EQ(type, 2);
  EXPECT_EQ(state, 4);
  EXPECT_EQ(flags, 3u);
  EXPECT_EQ(Qor_Lin_Diag_GetState(port_, 4, 1, &value, &type, &state, &flags), kInvalidResponseLength);
  EXPECT_TRUE(lastTextHas("- 4")) << Qor_GetLastErrorDescription();
  EXPECT_EQ(Qor_Lin_Diag_GetState(port_, 4, 1, &value, &type, &state, &flags), kInvalidResponseParameter);
  EXPECT_TRUE(lastTextHas("received unknown diag type '0x3'")) << Qor_GetLastErrorDescription();
  EXPECT_EQ(value, 0x43u) << "written before the type was checked";
  EXPECT_EQ(Qor_Lin_Diag_GetState(port_, 4, 1, &value, &type, &state, &flags), kInvalidResponseParameter);
  EXPECT_TRUE(lastTextHas("received unknown diag state '0x5'")) << Qor_GetLastErrorDescription();
  EXPECT_EQ(type, 1);
  EXPECT_EQ(Qor_Lin_Diag_GetState(port_, 4, 1, &value, &type, &state, &flags), kInvalidResponseParameter);
  EXPECT_TRUE(lastTextHas("flag value '0x4' is unknown")) << Qor_GetLastErrorDescription();
  EXPECT_EQ(state, 2);

  EXPECT_EQ(Qor_Lin_Diag_GetState(port_, 4, 2, &value, &type, &state, &flags), kUnknownFlag);
  EXPECT_TRUE(lastTextHas("unknown cmdFlag in '0x2'")) << Qor_GetLastErrorDescription();
}

struct StateCall {
  uint32_t port;
  uint8_t byte0, byte1;
  uint32_t type, state, flags;
};
struct ErrorCall {
  uint32_t code;
  std::string text;
};
std::mutex gMutex;
std::vector<StateCall> gStates;
std::vector<ErrorCall> gErrors;

TEST_F(LinDiag, AsynchronousStateReachesTheInstancesCallback) {
  ASSERT_EQ(Qor_AsyncCommunication_Enable(port_,
                                          [](uint32_t, uint32_t code, const char* text, uint32_t) {
                                            std::lock_guard lock(gMutex);
                                            gErrors.push_back({code, text});
                                          }),
            0u)
      << Qor_GetLastErrorDescription();
  ASSERT_EQ(Qor_Lin_Diag_GetState_Async_AddCallback(port_, 6,
                                                    [](uint32_t port, uint8_t b0, uint8_t b1, uint32_t type,
                                                       uint32_t state, uint32_t flags) {
                                                      std::lock_guard lock(gMutex);
                                                      gStates.push_back({port, b0, b1, type, state, flags});
                                                    }),
            0u)
      << Qor_GetLastErrorDescription();
  device_->expect(kState, {6, 0, 0, 0}).answer({6, 0x11, 2, 3, 5});
  device_->expect(kState, {6, 1, 0, 0}).answer({6, 0x12, 3, 3, 0});
  device_->expect(kState, {6, 0, 0, 0}).answer({6, 0x13, 1, 1, 2});
  EXPECT_EQ(Qor_Lin_Diag_GetState_Async(port_, 6, 0), 0u) << Qor_GetLastErrorDescription();
  EXPECT_EQ(Qor_Lin_Diag_GetState_Async(port_, 6, 1), 0u) << Qor_GetLastErrorDescription();
  EXPECT_EQ(Qor_Lin_Diag_GetState_Async(port_, 6, 0), 0u) << Qor_GetLastErrorDescription();
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
  while (std::chrono::steady_clock::now() < deadline) {
    {
      std::lock_guard lock(gMutex);
      if (gStates.size() >= 2 && gErrors.size() >= 2) break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  std::lock_guard lock(gMutex);
  ASSERT_EQ(gStates.size(), 2u);
  EXPECT_EQ(gStates[0].byte0, 6);
  EXPECT_EQ(gStates[0].byte1, 0x11);
  EXPECT_EQ(gStates[0].type, 2u);
  EXPECT_EQ(gStates[0].state, 3u);
  EXPECT_EQ(gStates[0].flags, 1u) << "bits 0 and 1 of 5";
  EXPECT_EQ(gStates[1].byte1, 0x13);
  EXPECT_EQ(gStates[1].flags, 2u);
  ASSERT_EQ(gErrors.size(), 2u) << "flags 5, then type 3";
  for (const ErrorCall& error : gErrors) {
    EXPECT_EQ(error.code, kInvalidResponseParameter);
    EXPECT_NE(error.text.find("Qor_Lin_Diag_GetState_Async"), std::string::npos) << error.text;
  }
  EXPECT_EQ(Qor_Lin_Diag_GetState_Async_RemoveCallback(port_, 6), 0u);
  EXPECT_NE(Qor_Lin_Diag_GetState_Async_RemoveCallback(port_, 6), 0u) << "removed already";
  EXPECT_EQ(Qor_Lin_Diag_GetState_Async(port_, 6, 3), kUnknownFlag);
}

TEST_F(LinDiag, DelaysInTicksAndTimeoutUnchanged) {
  device_->expect(kTiming, concat({5, 0, 0, 0}, words({40, 1})));
  device_->expect(kTiming, {5, 1, 0, 0, 0x34, 0x12});
  EXPECT_EQ(Qor_Lin_Diag_ChangeScheduleDelay(port_, 5, 1024, 49), 0u) << Qor_GetLastErrorDescription();
  EXPECT_EQ(Qor_Lin_Diag_ChangeTxTimeout(port_, 5, 0x1234), 0u) << Qor_GetLastErrorDescription();
}

}  // namespace
}  // namespace qor::test
