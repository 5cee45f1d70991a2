// Message buffers and their generators, from the library through the daemon to an emulated controller: every record
// byte-exact, the refusals that send nothing, and receive answers read only as far as the firmware sent them.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>

#include "flexray_road.hpp"

namespace qor::test {
namespace {

constexpr uint32_t kStale = 0xDEADBEEF;

Record handleAnswer(uint32_t number, uint32_t handle) { return std::move(Record().u32(number).u32(handle)); }

// Words whose bytes count up from first, so a word out of place shows in the record.
template <size_t N>
std::array<uint16_t, N> countingWords(uint8_t first) {
  std::array<uint16_t, N> words{};
  auto* bytes = reinterpret_cast<uint8_t*>(words.data());
  for (size_t i = 0; i < 2 * N; ++i) bytes[i] = static_cast<uint8_t>(first + i);
  return words;
}

Bytes bytesOf(const uint16_t* words, size_t count) {
  const auto* first = reinterpret_cast<const uint8_t*>(words);
  return Bytes(first, first + 2 * count);
}

using FlexRayMessagesRoad = FlexRayRoad;

TEST_F(FlexRayMessagesRoad, EveryFunctionRefusesAPortOfAnotherBus) {
  const uint16_t data[1] = {};
  const Qor_FlexRay_TxMessage_t message{1, 0, 0, 1, 1, 0, 0, data};
  const Qor_FlexRay_Ramp_t ramp{8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1.0, 0, 0};
  uint32_t handle = 0;
  const PortCall calls[] = {
      [](uint32_t p) { return Qor_FlexRay_Buffers_Config(p); },
      [&](uint32_t p) { return Qor_FlexRay_Message_Tx_Define(p, &message, &handle); },
      [&](uint32_t p) { return Qor_FlexRay_Message_Tx_Update(p, 1, 1, 0, 0, data); },
      [&](uint32_t p) { return Qor_FlexRay_Message_Tx_ChangeData(p, 1, 0, 1, data, data); },
      [&](uint32_t p) { return Qor_FlexRay_Message_Transmit(p, 1, 1, 0, data); },
      [&](uint32_t p) { return Qor_FlexRay_Message_Rx_Define(p, 1, 0, 0, 1, &handle); },
      [&](uint32_t p) { return Qor_FlexRay_Message_GetHandle(p, 1, 0, 0, 1, &handle); },
      [&](uint32_t p) {
        return Qor_FlexRay_Message_Rx_Read(p, 1, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
      },
      [](uint32_t p) { return Qor_FlexRay_Message_Delete(p, 1); },
      [&](uint32_t p) { return Qor_FlexRay_Message_Checksum_Crc_Define(p, 1, 0, 0, 0, 0, &handle); },
      [&](uint32_t p) { return Qor_FlexRay_Message_Checksum_Crc_Assign(p, 0, 0, 0, 0, 0, &handle); },
      [&](uint32_t p) { return Qor_FlexRay_Message_Ramp_Define(p, 1, &ramp, &handle); },
      [](uint32_t p) { return Qor_FlexRay_Message_Ramp_Control(p, 1, 0); },
  };
  expectEachRefusesAnotherBus(calls);
}

TEST_F(FlexRayMessagesRoad, ChannelCodesZeroToThreePassBothWays) {
  for (uint8_t code = 0; code <= 3; ++code) {
    uint8_t out = 0xAA;
    EXPECT_EQ(Qor_FlexRay_Translate_Channel_Api2Fw(port_, code, &out), 0u);
    EXPECT_EQ(out, code);
    out = 0xAA;
    EXPECT_EQ(Qor_FlexRay_Translate_Channel_Fw2Api(port_, code, &out), 0u);
    EXPECT_EQ(out, code);
  }
  uint8_t out = 0xAA;
  EXPECT_EQ(Qor_FlexRay_Translate_Channel_Api2Fw(port_, 4, &out), kInvalidParameter);
  EXPECT_EQ(lastText(), described(kInvalidParameter, "channel value '04' is unknown"));
  EXPECT_EQ(Qor_FlexRay_Translate_Channel_Fw2Api(port_, 0xFF, &out), kInvalidResponseParameter);
  EXPECT_EQ(lastText(), described(kInvalidResponseParameter, "channel value 'ff' is unknown"));
  EXPECT_EQ(out, 0xAA);
}

TEST_F(FlexRayMessagesRoad, TxDefineSendsKeyFlagsAndEveryPayloadWordAndGivesTheHandle) {
  const auto data = countingWords<127>(0);
  const Qor_FlexRay_TxMessage_t longest{0x07FF, 0x3F, 0x40, 3, 127, 0xA1B2, 0x7F, data.data()};
  const Qor_FlexRay_TxMessage_t empty{1, 2, 3, 0, 0, 0, 0, nullptr};
  const Bytes longestRecord =
      Record().u32(9).u16(0x07FF).u8(0x3F).u8(0x40).u8(3).u8(127).u16(0xA1B2).u8(0x7F).zeros(3).bytes(
          bytesOf(data.data(), 127));
  ASSERT_EQ(longestRecord.size(), 270u);
  device_->expect(kController, longestRecord).answer(handleAnswer(9, 0x11223344));
  device_->expect(kController, Record().u32(9).u16(1).u8(2).u8(3).u8(0).u8(0).u16(0).u32(0)).answer(subFunction(9));
  device_->expect(kController, Record().u32(9).u16(2).u8(2).u8(3).u8(0).u8(0).u16(0).u32(0))
      .fail(kFirmwareBusy, "busy");

  uint32_t handle = kStale;
  EXPECT_EQ(Qor_FlexRay_Message_Tx_Define(port_, &longest, &handle), 0u) << lastText();
  EXPECT_EQ(handle, 0x11223344u);
  handle = kStale;
  EXPECT_EQ(Qor_FlexRay_Message_Tx_Define(port_, &empty, &handle), kInvalidResponseLength) << "no handle answered";
  EXPECT_EQ(handle, 0u);
  Qor_FlexRay_TxMessage_t refused = empty;
  refused.identifier = 2;
  handle = kStale;
  EXPECT_EQ(Qor_FlexRay_Message_Tx_Define(port_, &refused, &handle), kFirmwareBusy);
  EXPECT_EQ(handle, 0u);
}

// Checks in order: channel (the handle untouched), payload length, flags; none sends anything.
TEST_F(FlexRayMessagesRoad, TxDefineRefusesBadDefinitionsSendingNothing) {
  const auto data = countingWords<128>(0);
  struct Case {
    Qor_FlexRay_TxMessage_t message;
    uint32_t code;
    const char* text;
    uint32_t handleAfter;
  } const cases[] = {
      {{1, 0, 0, 4, 128, 0, 0x80, data.data()}, kInvalidParameter, "channel value '04' is unknown", kStale},
      {{1, 0, 0, 1, 128, 0, 0x80, data.data()},
       kInvalidParameter,
       "PayloadLength (128 two-byte-words) > max payload length (127 two-byte-words)",
       0},
      {{1, 0, 0, 1, 127, 0, 0x80, data.data()}, kUnknownFlag, "", 0},
      {{1, 0, 0, 1, 1, 0, 0, nullptr}, kInvalidParameter, "'data' is NULL", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    uint32_t handle = kStale;
    EXPECT_EQ(Qor_FlexRay_Message_Tx_Define(port_, &c.message, &handle), c.code);
    EXPECT_EQ(lastText(), described(c.code, c.text));
    EXPECT_EQ(handle, c.handleAfter);
  }
  uint32_t handle = 0;
  EXPECT_EQ(Qor_FlexRay_Message_Tx_Define(port_, nullptr, &handle), kInvalidParameter);
  EXPECT_EQ(Qor_FlexRay_Message_Tx_Define(port_, &cases[0].message, nullptr), kInvalidParameter);
}

TEST_F(FlexRayMessagesRoad, UpdateTransmitAndChangeDataSendTheirRecords) {
  const auto data = countingWords<3>(0x20);
  const auto second = countingWords<3>(0x40);
  device_
      ->expect(
          kController,
          Record().u32(12).u32(0x0A0B0C0D).u8(3).u8(0).u16(0x1234).u8(0x7F).zeros(3).bytes(bytesOf(data.data(), 3)))
      .answer(subFunction(12));
  device_->expect(kController, Record().u32(13).u32(7).u8(3).zeros(3).u8(3).zeros(3).bytes(bytesOf(data.data(), 3)))
      .answer(subFunction(13));
  device_->expect(kController, Record().u32(13).u32(8).u8(0).zeros(3).u8(0).zeros(3)).answer(subFunction(13));
  device_
      ->expect(kController, Record()
                                .u32(26)
                                .u32(9)
                                .u8(3)
                                .u8(0)
                                .u16(0xBEEF)
                                .bytes(bytesOf(data.data(), 3))
                                .bytes(bytesOf(second.data(), 3)))
      .answer(subFunction(26));
  device_->expect(kController, Record().u32(11).u32(0x55)).answer(subFunction(11));
  device_->expect(kController, Record().u32(3)).fail(kFirmwareBusy, "busy");

  EXPECT_EQ(Qor_FlexRay_Message_Tx_Update(port_, 0x0A0B0C0D, 3, 0x1234, 0x7F, data.data()), 0u) << lastText();
  EXPECT_EQ(Qor_FlexRay_Message_Transmit(port_, 7, 3, 3, data.data()), 0u) << lastText();
  EXPECT_EQ(Qor_FlexRay_Message_Transmit(port_, 8, 0, 0, nullptr), 0u) << "no payload, no data needed";
  EXPECT_EQ(Qor_FlexRay_Message_Tx_ChangeData(port_, 9, 0xBEEF, 3, data.data(), second.data()), 0u) << lastText();
  EXPECT_EQ(Qor_FlexRay_Message_Delete(port_, 0x55), 0u) << lastText();
  EXPECT_EQ(Qor_FlexRay_Buffers_Config(port_), kFirmwareBusy);

  EXPECT_EQ(Qor_FlexRay_Message_Transmit(port_, 7, 3, 4, data.data()), kUnknownFlag);
  EXPECT_EQ(Qor_FlexRay_Message_Tx_Update(port_, 7, 3, 0, 0x80, data.data()), kUnknownFlag);
  EXPECT_EQ(Qor_FlexRay_Message_Tx_Update(port_, 7, 128, 0, 0, data.data()), kInvalidParameter);
  EXPECT_EQ(Qor_FlexRay_Message_Tx_ChangeData(port_, 7, 0, 128, data.data(), second.data()), kInvalidParameter);
  EXPECT_EQ(lastText(), described(kInvalidParameter,
                                  "PayloadLength (128 two-byte-words) > max payload length (127 two-byte-words)"));
  EXPECT_EQ(Qor_FlexRay_Message_Tx_ChangeData(port_, 7, 0, 3, data.data(), nullptr), kInvalidParameter);
  EXPECT_EQ(Qor_FlexRay_Message_Transmit(port_, 7, 1, 0, nullptr), kInvalidParameter);
}

TEST_F(FlexRayMessagesRoad, ReceiveDefinitionAndLookupSendTheKeyAndGiveTheHandle) {
  device_->expect(kController, Record().u32(10).u16(0x123).u8(4).u8(5).u8(2).zeros(3)).answer(handleAnswer(10, 77));
  device_->expect(kController, Record().u32(15).u16(0x123).u8(4).u8(5).u8(2).zeros(3)).answer(handleAnswer(15, 77));
  device_->expect(kController, Record().u32(15).u16(0x124).u8(4).u8(5).u8(2).zeros(3)).fail(kFirmwareBusy, "none");
  uint32_t handle = 0;
  EXPECT_EQ(Qor_FlexRay_Message_Rx_Define(port_, 0x123, 4, 5, 2, &handle), 0u) << lastText();
  EXPECT_EQ(handle, 77u);
  handle = 0;
  EXPECT_EQ(Qor_FlexRay_Message_GetHandle(port_, 0x123, 4, 5, 2, &handle), 0u) << lastText();
  EXPECT_EQ(handle, 77u);
  EXPECT_EQ(Qor_FlexRay_Message_GetHandle(port_, 0x124, 4, 5, 2, &handle), kFirmwareBusy);
  EXPECT_EQ(handle, 0u);
  handle = kStale;
  EXPECT_EQ(Qor_FlexRay_Message_Rx_Define(port_, 0x123, 4, 5, 9, &handle), kInvalidParameter);
  EXPECT_EQ(lastText(), described(kInvalidParameter, "channel value '09' is unknown"));
  EXPECT_EQ(handle, kStale) << "a channel refusal leaves the handle";
}

// The outputs of a read and their values before it.
struct ReadOutputs {
  uint16_t identifier = 0xEEEE;
  uint8_t selector = 0xEE;
  uint8_t channel = 0xEE;
  uint32_t status = kStale;
  uint8_t payloadLength = 0;
  std::array<uint16_t, 127> data;
  ReadOutputs(uint8_t capacity) : payloadLength(capacity) { data.fill(0xEEEE); }
  uint32_t read(uint32_t port, uint32_t handle) {
    return Qor_FlexRay_Message_Rx_Read(port, handle, &identifier, &selector, &channel, &status, &payloadLength,
                                       data.data());
  }
  void expectCleared() const {
    EXPECT_EQ(identifier, 0);
    EXPECT_EQ(selector, 0);
    EXPECT_EQ(status, 0u);
    EXPECT_EQ(payloadLength, 0);
    EXPECT_EQ(data[0], 0xEEEE) << "no data copied";
  }
};

Record rxAnswer(uint16_t identifier, uint8_t selector, uint8_t channel, uint8_t words, uint8_t status) {
  return std::move(Record().u32(14).u16(identifier).u8(selector).u8(channel).u8(words).zeros(3).u8(status).zeros(3));
}

Record rxRead(uint32_t handle) { return std::move(Record().u32(14).u32(handle).u32(0)); }

TEST_F(FlexRayMessagesRoad, RxReadGivesTheFrameWithItsStatusBitsMapped) {
  const auto words = countingWords<4>(0x30);
  device_->expect(kController, rxRead(1)).answer(rxAnswer(0x7FF, 9, 3, 4, 0xFF).bytes(bytesOf(words.data(), 4)));
  device_->expect(kController, rxRead(2)).answer(rxAnswer(0x12, 1, 1, 0, 0x60));
  device_->expect(kController, rxRead(3)).answer(rxAnswer(0x13, 1, 1, 4, 0x81).bytes(bytesOf(words.data(), 4)));
  ReadOutputs full(4);
  EXPECT_EQ(full.read(port_, 1), 0u) << lastText();
  EXPECT_EQ(full.identifier, 0x7FF);
  EXPECT_EQ(full.selector, 9);
  EXPECT_EQ(full.channel, 3);
  EXPECT_EQ(full.status, 0x3Fu);
  EXPECT_EQ(full.payloadLength, 4);
  EXPECT_EQ(bytesOf(full.data.data(), 4), bytesOf(words.data(), 4));
  EXPECT_EQ(full.data[4], 0xEEEE);
  ReadOutputs empty(4);
  EXPECT_EQ(empty.read(port_, 2), 0u) << lastText();
  EXPECT_EQ(empty.status, 0u);
  EXPECT_EQ(empty.payloadLength, 0);
  uint16_t identifier = 0;
  EXPECT_EQ(Qor_FlexRay_Message_Rx_Read(port_, 3, &identifier, nullptr, nullptr, nullptr, nullptr, nullptr), 0u);
  EXPECT_EQ(identifier, 0x13) << "only the identifier asked for";
}

TEST_F(FlexRayMessagesRoad, RxReadRefusesAPayloadLargerThanTheCallersBuffer) {
  const auto words = countingWords<5>(0x30);
  device_->expect(kController, rxRead(1)).answer(rxAnswer(0x20, 1, 1, 5, 1).bytes(bytesOf(words.data(), 5)));
  ReadOutputs small(4);
  EXPECT_EQ(small.read(port_, 1), kBufferUndersized);
  EXPECT_EQ(lastText(), described(kBufferUndersized,
                                  "returned payload length (5 two-byte-words) > user buffer (4 two-byte-words)"));
  small.expectCleared();
}

// A payload length the answer does not carry, or an answer without its fields, is refused: nothing past the received
// bytes is copied.
TEST_F(FlexRayMessagesRoad, RxReadRefusesAnAnswerShorterThanItsPayloadLength) {
  const auto words = countingWords<4>(0x30);
  device_->expect(kController, rxRead(1)).answer(rxAnswer(0x20, 1, 1, 127, 1).bytes(bytesOf(words.data(), 4)));
  device_->expect(kController, rxRead(2)).answer(Record().u32(14).u16(0x20).u8(1).u8(1).u8(0));
  device_->expect(kController, rxRead(3)).fail(kFirmwareBusy, "busy");
  for (uint32_t handle = 1; handle <= 3; ++handle) {
    SCOPED_TRACE(handle);
    ReadOutputs outputs(127);
    EXPECT_EQ(outputs.read(port_, handle), handle < 3 ? kInvalidResponseLength : kFirmwareBusy);
    outputs.expectCleared();
  }
}

TEST_F(FlexRayMessagesRoad, RxReadRefusesAnUnknownChannelAndALengthWithoutData) {
  device_->expect(kController, rxRead(1)).answer(rxAnswer(0x20, 6, 4, 0, 1));
  ReadOutputs outputs(4);
  EXPECT_EQ(outputs.read(port_, 1), kInvalidResponseParameter);
  EXPECT_EQ(lastText(), described(kInvalidResponseParameter, "channel value '04' is unknown"));
  EXPECT_EQ(outputs.identifier, 0x20) << "stored before the channel";
  EXPECT_EQ(outputs.selector, 6);
  EXPECT_EQ(outputs.status, kStale) << "not reached";

  uint8_t length = 4;
  uint16_t data[4] = {};
  EXPECT_EQ(Qor_FlexRay_Message_Rx_Read(port_, 1, nullptr, nullptr, nullptr, nullptr, &length, nullptr),
            kInvalidParameter);
  EXPECT_EQ(Qor_FlexRay_Message_Rx_Read(port_, 1, nullptr, nullptr, nullptr, nullptr, nullptr, data),
            kInvalidParameter);
}

TEST_F(FlexRayMessagesRoad, ChecksumsSendTheirValuesAndGiveTheHandle) {
  device_->expect(kController, Record().u32(22).u32(5).u32(0x11111111).u32(0x22222222).u8(0x33).zeros(3).u8(7).zeros(3))
      .answer(handleAnswer(22, 901));
  device_->expect(kController, Record().u32(23).u32(0x44444444).u32(0x55555555).u8(6).u8(7).u8(8).zeros(9))
      .answer(handleAnswer(23, 902));
  uint32_t handle = 0;
  EXPECT_EQ(Qor_FlexRay_Message_Checksum_Crc_Define(port_, 5, 0x11111111, 0x22222222, 0x33, 7, &handle), 0u)
      << lastText();
  EXPECT_EQ(handle, 901u);
  EXPECT_EQ(Qor_FlexRay_Message_Checksum_Crc_Assign(port_, 0x44444444, 0x55555555, 6, 7, 8, &handle), 0u) << lastText();
  EXPECT_EQ(handle, 902u);
  handle = kStale;
  EXPECT_EQ(Qor_FlexRay_Message_Checksum_Crc_Define(port_, 5, 0, 0, 0, 8, &handle), kUnknownFlag);
  EXPECT_EQ(handle, 0u);
}

Qor_FlexRay_Ramp_t ramp(uint8_t size, uint8_t byteOrder, uint16_t offset) {
  Qor_FlexRay_Ramp_t r{};
  r.signalSize = size;
  r.byteOrder = byteOrder;
  r.bitOffset = offset;
  r.step = 1.0;
  return r;
}

TEST_F(FlexRayMessagesRoad, RampDefineSplitsTheSignalAndMapsItsFlags) {
  Qor_FlexRay_Ramp_t big = ramp(12, 1, 0x5B);  // byte 11, bit 3
  big.mode = 1;
  big.valueA = 0xA0A0;
  big.valueB = 0xB0B0;
  big.valueC = 0xC0C0;
  big.value1 = 0x01010101;
  big.value2 = 0x02020202;
  big.value3 = 0x03030303;
  big.step = 0.75;
  big.flags = 7;
  device_
      ->expect(kController, Record()
                                .u32(24)
                                .u32(33)
                                .u8(1)
                                .u8(11)
                                .u8(3)
                                .u8(12)
                                .u32(0x01010101)
                                .u32(0x02020202)
                                .u32(0x03030303)
                                .u32(3)
                                .u16(4)
                                .u16(0xB0B0)
                                .u16(0xC0C0)
                                .u16(0xA0A0)
                                .u8(0x0F)
                                .zeros(3))
      .answer(handleAnswer(24, 5));
  device_
      ->expect(kController,
               Record().u32(24).u32(34).u8(0).u8(0).u8(0).u8(8).zeros(12).u32(1).u16(1).zeros(6).u8(0x01).zeros(3))
      .answer(handleAnswer(24, 6));
  device_->expect(kController, Record().u32(25).u32(5).u8(3).zeros(3)).answer(subFunction(25));
  uint32_t handle = 0;
  EXPECT_EQ(Qor_FlexRay_Message_Ramp_Define(port_, 33, &big, &handle), 0u) << lastText();
  EXPECT_EQ(handle, 5u);
  Qor_FlexRay_Ramp_t little = ramp(8, 0, 0);
  little.flags = 1;
  EXPECT_EQ(Qor_FlexRay_Message_Ramp_Define(port_, 34, &little, &handle), 0u) << lastText();
  EXPECT_EQ(handle, 6u);
  EXPECT_EQ(Qor_FlexRay_Message_Ramp_Control(port_, 5, 3), 0u) << lastText();
  EXPECT_EQ(Qor_FlexRay_Message_Ramp_Control(port_, 5, 4), kUnknownMode);
  EXPECT_EQ(lastText(), described(kUnknownMode, "mode '0x04' is unknown"));
}

// In order: reserved, mode, size, offset, the signal's fit, flags, the step's fraction. Offsets whose byte does not
// fit the record's u8 and steps whose denominator does not fit its u16 are refused rather than sent as other values.
TEST_F(FlexRayMessagesRoad, RampDefineRefusesBadDefinitionsSendingNothing) {
  struct Case {
    Qor_FlexRay_Ramp_t ramp;
    uint32_t code;
    const char* text;
  };
  Qor_FlexRay_Ramp_t reserved = ramp(0, 9, 0);
  reserved.reserved = 1;
  reserved.mode = 2;
  Qor_FlexRay_Ramp_t mode = ramp(0, 9, 0);
  mode.mode = 2;
  Qor_FlexRay_Ramp_t flags = ramp(8, 1, 15);
  flags.flags = 8;
  Qor_FlexRay_Ramp_t step = ramp(8, 0, 0);
  step.step = 1.0 / 70000;
  const Case cases[] = {
      {reserved, kInvalidParameter, "reserved bytes have to be zero"},
      {mode, kUnknownMode, "mode '0x02' is unknown"},
      {ramp(0, 0, 0), kInvalidParameter, "signal size < 1"},
      {ramp(65, 0, 0), kInvalidParameter, "signal size > 64"},
      {ramp(1, 0, 2048), kInvalidParameter, "signal offset > 2047"},
      {ramp(2, 0, 2048), kInvalidParameter, "signal offset > 2047"},
      {ramp(9, 1, 0), kInvalidParameter, "signal size value too high"},
      {ramp(64, 0, 1986), kInvalidParameter, "signal size value too high"},
      {ramp(8, 2, 0), kInvalidParameter, "invalid byte order"},
      {flags, kUnknownFlag, ""},
      {step, kInvalidParameter, "step needs a denominator of 70000 > 65535"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    uint32_t handle = kStale;
    EXPECT_EQ(Qor_FlexRay_Message_Ramp_Define(port_, 1, &c.ramp, &handle), c.code);
    EXPECT_EQ(lastText(), described(c.code, c.text));
    EXPECT_EQ(handle, 0u);
  }
}

}  // namespace
}  // namespace qor::test
