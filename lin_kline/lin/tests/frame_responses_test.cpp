// Frame responses, their ramps and multiplexed bytes, each request byte-exact.
#include <cstring>
#include <functional>
#include <vector>

#include "lin_road.hpp"
#include "qor_lin_frames.h"

namespace qor::test {
namespace {

using emulator::words;

constexpr uint8_t kDeleteAll = 0x2B;
constexpr uint8_t kDefine = 0x30;
constexpr uint8_t kDelete = 0x31;
constexpr uint8_t kProperties = 0x32;
constexpr uint8_t kChangeData = 0x33;
constexpr uint8_t kStartGroup = 0x34;
constexpr uint8_t kStopGroup = 0x35;
constexpr uint8_t kRamp = 0x36;
constexpr uint8_t kResetRampSum = 0x37;
constexpr uint8_t kSuspend = 0x38;
constexpr uint8_t kDisturb = 0x39;
constexpr uint8_t kMultiplexDefine = 0x62;
constexpr uint8_t kMultiplexStop = 0x63;
constexpr uint8_t kState = 0xF5;
constexpr uint8_t kRampState = 0xF7;
constexpr uint32_t kSignalRefused = 0x02010007;  // the common library's check of a signal

constexpr Qor_Common_Signal_t kIntelSignal{8, QOR_COMMON_SIGNAL_INTEL, 12};        // byte 1, bit 4
constexpr Qor_Common_Signal_t kMotorolaSignal{4, QOR_COMMON_SIGNAL_MOTOROLA, 20};  // byte 2, bit 4
constexpr Qor_Common_Signal_t kOversizedSignal{65, QOR_COMMON_SIGNAL_INTEL, 0};

using LinFrameResponses = LinRoad;

struct Case {
  const char* name;
  std::function<uint32_t(uint32_t)> call;
  uint8_t command;
  Bytes record;
};

TEST_F(LinFrameResponses, RecordsAreLaidOutByteExact) {
  const uint8_t data[] = {1, 2, 3, 4, 5, 6, 7, 8};
  const uint8_t other[] = {0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6, 0xA7, 0xA8};
  const uint8_t mask[] = {0x0F, 0xF0};
  Bytes values(16 * 8);
  for (size_t index = 0; index < values.size(); ++index) values[index] = static_cast<uint8_t>(index);
  const Case cases[] = {
      {"define",
       [&](uint32_t port) { return Qor_Lin_FrameResponses_DefineFrameResponse(port, 0x21, 1, 0, 0x55, 3, data); },
       kDefine,
       {0x21, 1, 0, 0x55, 3, 0, 0, 0, 1, 2, 3}},
      {"define with no data: the head alone",
       [&](uint32_t port) { return Qor_Lin_FrameResponses_DefineFrameResponse(port, 0x22, 0, 1, 0, 0, nullptr); },
       kDefine,
       {0x22, 0, 1, 0, 0, 0, 0, 0}},
      {"define of 8 bytes",
       [&](uint32_t port) { return Qor_Lin_FrameResponses_DefineFrameResponse(port, 0x23, 1, 1, 0, 8, data); }, kDefine,
       Bytes{0x23, 1, 1, 0, 8, 0, 0, 0} + Bytes(data, data + 8)},
      {"delete",
       [](uint32_t port) { return Qor_Lin_FrameResponses_DeleteFrameResponse(port, 0x21); },
       kDelete,
       {0x21, 0, 0, 0}},
      {"delete all",
       [](uint32_t port) { return Qor_Lin_FrameResponses_DeleteAllFrameResponses(port); },
       kDeleteAll,
       {0, 0, 1, 0}},
      {"properties",
       [](uint32_t port) { return Qor_Lin_FrameResponses_ChangeProperties(port, 0x21, 0, 1, 7); },
       kProperties,
       {0x21, 0, 1, 7}},
      {"start group 1", [](uint32_t port) { return Qor_Lin_FrameResponses_StartGroup(port, 1); }, kStartGroup, {}},
      {"stop group 1", [](uint32_t port) { return Qor_Lin_FrameResponses_StopGroup(port, 1); }, kStopGroup, {}},
      {"change data without a mask",
       [&](uint32_t port) { return Qor_Lin_FrameResponses_ChangeData(port, 0x21, 2, 3, nullptr, other); },
       kChangeData,
       {0x21, 0, 2, 3, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0, 0, 0xA1, 0xA2, 0xA3, 0, 0, 0, 0, 0}},
      {"change data under a mask",
       [&](uint32_t port) { return Qor_Lin_FrameResponses_ChangeData(port, 0x21, 0, 2, mask, other); },
       kChangeData,
       {0x21, 0, 0, 2, 0x0F, 0xF0, 0, 0, 0, 0, 0, 0, 0xA1, 0xA2, 0, 0, 0, 0, 0, 0}},
      {"suspend",
       [](uint32_t port) { return Qor_Lin_FrameResponses_Suspend(port, 0x21, 0x1234); },
       kSuspend,
       {0x21, 0, 0, 0, 0x34, 0x12, 0, 0}},
      {"disturb",
       [&](uint32_t port) { return Qor_Lin_FrameResponses_Disturb(port, 0x21, 0xABCD, 2, data, other); },
       kDisturb,
       {0x21, 2, 0xCD, 0xAB, 1, 2, 0, 0, 0, 0, 0, 0, 0xA1, 0xA2, 0, 0, 0, 0, 0, 0}},
      {"multiplex of two values",
       [&](uint32_t port) {
         return Qor_Lin_FrameResponses_MultiplexBytes_Define(port, 0x21, 5, 2, other, values.data());
       },
       kMultiplexDefine, Bytes{0x21, 0, 5, 2} + Bytes(other, other + 8) + Bytes(values.begin(), values.begin() + 16)},
      {"multiplex of 16 values: 140 bytes",
       [&](uint32_t port) {
         return Qor_Lin_FrameResponses_MultiplexBytes_Define(port, 0x21, 0, 16, other, values.data());
       },
       kMultiplexDefine, Bytes{0x21, 0, 0, 16} + Bytes(other, other + 8) + values},
      {"multiplex stop",
       [&](uint32_t port) { return Qor_Lin_FrameResponses_MultiplexBytes_Stop(port, 0x21, other, data); },
       kMultiplexStop, Bytes{0x21, 0, 0, 0} + Bytes(other, other + 8) + Bytes(data, data + 8)},
      {"ramp delete",
       [](uint32_t port) { return Qor_Lin_FrameResponses_Ramp_Delete(port, 0x21, kIntelSignal); },
       kRamp,
       {0x21, 0, 0, 0, 0, 1, 4}},
      {"ramp sum reset",
       [](uint32_t port) { return Qor_Lin_FrameResponses_Ramp_ResetRampSum(port, 0x21, kMotorolaSignal); },
       kResetRampSum,
       {0x21, 2, 4, 0}},
  };
  for (const Case& c : cases) device_->expect(c.command, c.record);
  for (const Case& c : cases) EXPECT_EQ(c.call(port_), 0u) << c.name << ": " << lastText();

  device_->expect(kDelete, {0x30, 0, 0, 0}).fail(kFirmwareBusy, "busy");
  EXPECT_EQ(Qor_Lin_FrameResponses_DeleteFrameResponse(port_, 0x30), kFirmwareBusy);
}

TEST_F(LinFrameResponses, RefusedArgumentsSendNothing) {
  const uint8_t data[16] = {};
  const struct {
    const char* name;
    std::function<uint32_t(uint32_t)> call;
    uint32_t code;
    const char* text;
  } cases[] = {
      {"send state before group",
       [&](uint32_t port) { return Qor_Lin_FrameResponses_DefineFrameResponse(port, 1, 2, 2, 0, 9, data); },
       kInvalidSendState, nullptr},
      {"group", [&](uint32_t port) { return Qor_Lin_FrameResponses_DefineFrameResponse(port, 1, 0, 2, 0, 1, data); },
       kInvalidGroupNumber, nullptr},
      {"define of 9 bytes",
       [&](uint32_t port) { return Qor_Lin_FrameResponses_DefineFrameResponse(port, 1, 0, 0, 0, 9, data); },
       kInvalidFrameDataLength, "length > 8"},
      {"define without data",
       [&](uint32_t port) { return Qor_Lin_FrameResponses_DefineFrameResponse(port, 1, 0, 0, 0, 1, nullptr); },
       kInvalidParameter, nullptr},
      {"properties' send state",
       [](uint32_t port) { return Qor_Lin_FrameResponses_ChangeProperties(port, 1, 2, 0, 0); }, kInvalidSendState,
       nullptr},
      {"properties' group", [](uint32_t port) { return Qor_Lin_FrameResponses_ChangeProperties(port, 1, 1, 3, 0); },
       kInvalidGroupNumber, nullptr},
      {"start group 0", [](uint32_t port) { return Qor_Lin_FrameResponses_StartGroup(port, 0); }, kInvalidGroupNumber,
       nullptr},
      {"stop group 2", [](uint32_t port) { return Qor_Lin_FrameResponses_StopGroup(port, 2); }, kInvalidGroupNumber,
       nullptr},
      // the record has room for 8 mask and 8 data bytes
      {"change data of 9 bytes",
       [&](uint32_t port) { return Qor_Lin_FrameResponses_ChangeData(port, 1, 0, 9, data, data); },
       kInvalidFrameDataLength, "length > 8"},
      {"change data of 255 bytes",
       [&](uint32_t port) { return Qor_Lin_FrameResponses_ChangeData(port, 1, 0, 255, nullptr, data); },
       kInvalidFrameDataLength, "length > 8"},
      {"disturbance of 9 bytes",
       [&](uint32_t port) { return Qor_Lin_FrameResponses_Disturb(port, 1, 0, 9, data, data); }, kInvalidParameter,
       "maximum length = 8"},
      {"multiplex of 17 values",
       [&](uint32_t port) { return Qor_Lin_FrameResponses_MultiplexBytes_Define(port, 1, 0, 17, data, data); },
       kInvalidParameter, "maximum number of indices: 16"},
      {"ramp of an oversized signal",
       [](uint32_t port) { return Qor_Lin_FrameResponses_Ramp_Delete(port, 1, kOversizedSignal); }, kSignalRefused,
       nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.call(port_), c.code);
    if (c.text != nullptr) {
      EXPECT_EQ(lastText(), described(c.code, c.text));
    }
  }
}

Qor_Lin_Ramp_t ramp(uint8_t mode) {
  return {0x21, mode, 1, 0, kMotorolaSignal, 0x0102, 0x0304, 0x0506, 0x0708, 2.5, 0x0A0B0C0D, {}};
}

// The firmware's record: id, 0 0 0, firmware mode, byte, bit, size, value1, value2, ratio as 5 / 2, value3,
// value4, value5, Motorola, direction, 0 0.
Bytes rampRecord(uint8_t firmwareMode) {
  return Bytes{0x21, 0, 0, 0, firmwareMode, 2, 4, 4, 0x02, 0x01, 0x04, 0x03} + words({5, 2}) +
         Bytes{0x06, 0x05, 0x08, 0x07, 0x0D, 0x0C, 0x0B, 0x0A, 1, 1, 0, 0};
}

TEST_F(LinFrameResponses, RampModesAreTranslatedForTheFirmware) {
  const uint8_t firmwareModes[] = {2, 3, 4, 1};
  for (uint8_t mode = 0; mode < 4; ++mode) device_->expect(kRamp, rampRecord(firmwareModes[mode]));
  for (uint8_t mode = 0; mode < 4; ++mode) {
    const Qor_Lin_Ramp_t definition = ramp(mode);
    EXPECT_EQ(Qor_Lin_FrameResponses_Ramp_Define(port_, &definition), 0u) << int{mode} << ": " << lastText();
  }
}

TEST_F(LinFrameResponses, RampDefinitionChecksInOrder) {
  Qor_Lin_Ramp_t definition = ramp(4);
  definition.signal = kOversizedSignal;
  EXPECT_EQ(Qor_Lin_FrameResponses_Ramp_Define(port_, &definition), kUnknownMode) << "before the signal";
  EXPECT_EQ(lastText(), described(kUnknownMode, "unknown ramp mode"));
  definition.reserved3 = 1;
  EXPECT_EQ(Qor_Lin_FrameResponses_Ramp_Define(port_, &definition), kInvalidParameter);
  EXPECT_EQ(lastText(), described(kInvalidParameter, "reserved bytes have to be zero"));
  definition = ramp(0);
  definition.signal = kOversizedSignal;
  EXPECT_EQ(Qor_Lin_FrameResponses_Ramp_Define(port_, &definition), kSignalRefused);
  definition = ramp(0);
  definition.direction = 2;
  EXPECT_EQ(Qor_Lin_FrameResponses_Ramp_Define(port_, &definition), kInvalidParameter);
  EXPECT_EQ(lastText(), described(kInvalidParameter, "invalid ramp direction"));
  EXPECT_EQ(Qor_Lin_FrameResponses_Ramp_Define(port_, nullptr), kInvalidParameter);
}

TEST_F(LinFrameResponses, RampStateMustAnswerForTheRampAsked) {
  const Bytes address = {0x21, 1, 4, 0};
  device_->expect(kRampState, address).answer(Bytes{0x21, 1, 4, 0xFE} + u32le(99));
  device_->expect(kRampState, address).answer(Bytes{0x22, 1, 4, 0xFE} + u32le(99));
  device_->expect(kRampState, address).answer(Bytes{0x21, 1, 5, 0xFE} + u32le(99));
  device_->expect(kRampState, address).answer(Bytes{0x21, 1, 4, 0xFE, 0, 0, 0});
  uint32_t state = 9, value = 9;
  EXPECT_EQ(Qor_Lin_FrameResponses_Ramp_GetState(port_, 0x21, kIntelSignal, &state, &value), 0u) << lastText();
  EXPECT_EQ(state, 2u);
  EXPECT_EQ(value, 99u);
  state = value = 9;
  EXPECT_EQ(Qor_Lin_FrameResponses_Ramp_GetState(port_, 0x21, kIntelSignal, &state, &value), kInvalidResponseParameter);
  EXPECT_EQ(lastText(), described(kInvalidResponseParameter, "ramp not found"));
  EXPECT_EQ(Qor_Lin_FrameResponses_Ramp_GetState(port_, 0x21, kIntelSignal, &state, &value), kInvalidResponseParameter);
  EXPECT_EQ(Qor_Lin_FrameResponses_Ramp_GetState(port_, 0x21, kIntelSignal, &state, &value), kInvalidResponseLength);
  EXPECT_EQ(state + value, 18u) << "untouched";
  EXPECT_EQ(Qor_Lin_FrameResponses_Ramp_GetState(port_, 0x21, kOversizedSignal, &state, &value), kSignalRefused);
}

TEST_F(LinFrameResponses, StateIsDecodedFromAWholeAnswer) {
  // id, send state, group, attribute, flag bytes 4 to 6, length, data, flag byte 16, byte 17, two more
  const Bytes answer = {0x21, 5,    1,    0x77, 1,    2,    1, 3,    0xD0, 0xD1,
                        0xD2, 0xD3, 0xD4, 0xD5, 0xD6, 0xD7, 1, 0x42, 0xEE, 0xEE};
  Bytes longer = answer;
  longer[7] = 9;
  device_->expect(kState, {0x21, 0, 0, 0}).answer(answer);
  device_->expect(kState, {0x21, 0, 0, 0}).answer(longer);
  device_->expect(kState, {0x21, 0, 0, 0}).answer(Bytes(answer.begin(), answer.begin() + 17));
  device_->expect(kState, {0x21, 0, 0, 0}).fail(kFirmwareBusy, "busy");
  Qor_Lin_FrameResponseState_t state;
  ASSERT_EQ(Qor_Lin_FrameResponses_GetState(port_, 0x21, &state), 0u) << lastText();
  const uint8_t expected[20] = {0x21, 1, 1,    0x77, 0x0D, 0,    0,    0,    3,    0x42,
                                0,    0, 0xD0, 0xD1, 0xD2, 0xD3, 0xD4, 0xD5, 0xD6, 0xD7};
  EXPECT_EQ(Bytes(reinterpret_cast<const uint8_t*>(&state), reinterpret_cast<const uint8_t*>(&state) + 20),
            Bytes(expected, expected + 20));

  ASSERT_EQ(Qor_Lin_FrameResponses_GetState(port_, 0x21, &state), 0u) << lastText();
  EXPECT_EQ(state.length, 8u) << "no more than the data field holds";

  Qor_Lin_FrameResponseState_t untouched;
  memset(&untouched, 0xEE, sizeof untouched);
  EXPECT_EQ(Qor_Lin_FrameResponses_GetState(port_, 0x21, &untouched), kInvalidResponseLength) << "byte 17 is missing";
  EXPECT_EQ(Qor_Lin_FrameResponses_GetState(port_, 0x21, &untouched), kFirmwareBusy);
  EXPECT_EQ(untouched.frameId, 0xEE);
  EXPECT_EQ(untouched.data[7], 0xEE);
}

}  // namespace
}  // namespace qor::test
