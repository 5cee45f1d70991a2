// What the firmware computes into a signal of a cyclic message: ramps, incrementing ramps, parity bits and checksums.
// Records byte-exact, refusals unsent, answers checked before use.
#include <functional>
#include <vector>

#include "cyclic_road.hpp"

namespace qor::can::test {
namespace {

using SignalRecords = CyclicRoad;

constexpr uint32_t kId = 0x2CD;
const Qor_Common_Signal_t kIntel{12, QOR_COMMON_SIGNAL_INTEL, 19};        // byte 2, bit 3
const Qor_Common_Signal_t kMotorola{8, QOR_COMMON_SIGNAL_MOTOROLA, 300};  // byte 37, bit 4
const Qor_Common_Signal_t kTooLarge{65, QOR_COMMON_SIGNAL_INTEL, 0};

Qor_Can_CyclicMsgs_Ramp_t ramp(uint8_t mode) {
  return {kId, kMotorola, mode, 1, 0x1011, 0x1213, 0x1415, 0.75, 0x20212223, 0x3031, 0};
}

// ---- ramps ----

TEST_F(SignalRecords, RampsGoOutWithTheFirmwaresModeAndTheStepAsAFraction) {
  const uint8_t firmwareModes[] = {2, 3, 4, 1};
  for (uint8_t mode = 0; mode < 4; ++mode) {
    SCOPED_TRACE(int{mode});
    device_->expect(0x36, cat({u32(kId), {firmwareModes[mode], 37, 4, 8}, u16(0x1011), u16(0x1213), u32(3), u32(4),
                               u16(0x1415), u16(0x3031), u32(0x20212223), {1, 1}, u16(0)}));
    const Qor_Can_CyclicMsgs_Ramp_t defined = ramp(mode);
    EXPECT_EQ(Qor_Can_CyclicMsgs_Ramp_Define(port_, &defined), 0u) << lastText();
  }
  device_->expect(0x36, cat({u32(kId), {0, 2, 3}}));
  EXPECT_EQ(Qor_Can_CyclicMsgs_Ramp_Delete(port_, kId, kIntel), 0u) << "7 bytes with mode 0";
  device_->expect(0x37, cat({u32(kId), {37, 4}, u16(0)}));
  EXPECT_EQ(Qor_Can_CyclicMsgs_Ramp_ResetRampSum(port_, kId, kMotorola), 0u) << lastText();
}

TEST_F(SignalRecords, RampRecordsAreCheckedInOrder) {
  struct Case {
    const char* name;
    std::function<void(Qor_Can_CyclicMsgs_Ramp_t&)> spoil;
    uint32_t code;
    const char* text;
  };
  const std::vector<Case> cases = {
      {"reserved before the signal", [](auto& r) { r.reserved = 1, r.signal = kTooLarge; }, kInvalidParameter,
       "reserved bytes have to be zero"},
      {"signal before the mode", [](auto& r) { r.signal = kTooLarge, r.mode = 4; }, kSignalRefused, "signal size > 64"},
      {"mode", [](auto& r) { r.mode = 4; }, kUnknownMode, "unknown ramp mode"},
      {"direction", [](auto& r) { r.direction = 2; }, kInvalidParameter, "invalid ramp direction"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Qor_Can_CyclicMsgs_Ramp_t spoilt = ramp(0);
    c.spoil(spoilt);
    EXPECT_REFUSED(Qor_Can_CyclicMsgs_Ramp_Define(port_, &spoilt), c.code, c.text);
  }
  EXPECT_REFUSED(Qor_Can_CyclicMsgs_Ramp_Delete(port_, kId, kTooLarge), kSignalRefused, "signal size > 64");
  EXPECT_REFUSED(Qor_Can_CyclicMsgs_Ramp_ResetRampSum(port_, kId, kTooLarge), kSignalRefused, "signal size > 64");
}

TEST_F(SignalRecords, RampModesChangeTogetherOrNotAtAll) {
  const Qor_Can_CyclicMsgs_RampMode_t entries[] = {{0x11, kIntel, 3, {}}, {0x40000022, kMotorola, 0, {}}};
  device_->expect(0x3B, cat({u32(0), u32(2), u32(0x11), {2, 3, 1, 0}, u32(0x40000022), {37, 4, 2, 0}}))
      .answer(u32(0));
  EXPECT_EQ(Qor_Can_CyclicMsgs_Ramp_ChangeMode(port_, 2, entries), 0u) << lastText();

  const Qor_Can_CyclicMsgs_RampMode_t badSecond[] = {{0x11, kIntel, 3, {}}, {0x22, kIntel, 4, {}}};
  EXPECT_REFUSED(Qor_Can_CyclicMsgs_Ramp_ChangeMode(port_, 2, badSecond), kUnknownMode,
                 "unknown ramp mode at ramp index 1");
  // A count beyond the port's parameter length is refused before any entry is read: 8 + 8 x count would wrap.
  EXPECT_REFUSED(Qor_Can_CyclicMsgs_Ramp_ChangeMode(port_, 0x20000000, entries), kInvalidDataLength,
                 "536870912 ramps exceed the parameter length of 4084 bytes");
  EXPECT_REFUSED(Qor_Can_CyclicMsgs_Ramp_ChangeMode(port_, 510, entries), kInvalidDataLength, "510 ramps");
}

TEST_F(SignalRecords, ARampsStateMustEchoTheRampAndBeWhole) {
  const Bytes request = cat({u32(kId), {37, 4}, u16(0)});
  const Bytes whole = cat({u32(kId), {37, 4, 0xFE, 0x03}, u32(0xA1A2A3A4), u16(0xB1B2)});
  struct Case {
    const char* name;
    Bytes answer;
    uint32_t code;
  };
  const std::vector<Case> cases = {
      {"whole", whole, 0},
      {"another identifier", cat({u32(kId + 1), Bytes(whole.begin() + 4, whole.end())}), kInvalidResponseParameter},
      {"another bit", cat({u32(kId), {37, 5}, Bytes(whole.begin() + 6, whole.end())}), kInvalidResponseParameter},
      {"13 bytes", Bytes(whole.begin(), whole.begin() + 13), kInvalidResponseLength},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    device_->expect(0xF5, request).answer(c.answer);
    uint32_t first = 9, second = 9, value = 9;
    uint16_t shortValue = 9;
    EXPECT_EQ(Qor_Can_CyclicMsgs_Ramp_GetState(port_, kId, kMotorola, &first, &second, &value, &shortValue), c.code);
    if (c.code == 0) {
      EXPECT_EQ(first, 2u) << "bits 0 and 1 of 0xFE";
      EXPECT_EQ(second, 3u);
      EXPECT_EQ(value, 0xA1A2A3A4u);
      EXPECT_EQ(shortValue, 0xB1B2u);
    } else {
      EXPECT_EQ(first + second + value + shortValue, 36u) << "untouched";
    }
  }
  EXPECT_THAT(lastText(), HasSubstr("too short"));
}

TEST_F(SignalRecords, IncrementingRampsMayDriveALinkedRamp) {
  const Qor_Can_CyclicMsgs_LinkedRamp_t linked{0x40000099, kMotorola, 2, {}, 0x5152, 0x5354};
  Qor_Can_CyclicMsgs_IncRamp_t incRamp{kId, kIntel, {0x4142, 0x4344, 0x4546, 0x4748}, 1, {}, nullptr};
  const Bytes own = cat({u32(kId), {2, 3}, u16(0x4142), u16(0x4344), u16(0x4546), u16(0x4748), {1}});
  device_->expect(0x38, cat({own, {0}}));
  EXPECT_EQ(Qor_Can_CyclicMsgs_Ramp_DefineIncRamp(port_, &incRamp), 0u) << lastText();
  incRamp.linked = &linked;
  device_->expect(0x38, cat({own, {1}, u32(0x40000099), {4, 37, 4, 8}, u16(0x5152), u16(0x5354)}));
  EXPECT_EQ(Qor_Can_CyclicMsgs_Ramp_DefineIncRamp(port_, &incRamp), 0u) << lastText();

  struct Case {
    const char* name;
    std::function<void(Qor_Can_CyclicMsgs_IncRamp_t&, Qor_Can_CyclicMsgs_LinkedRamp_t&)> spoil;
    uint32_t code;
    const char* text;
  };
  const std::vector<Case> cases = {
      {"reserved", [](auto& r, auto&) { r.reserved[1] = 1; }, kInvalidParameter, "reserved bytes have to be zero"},
      {"linked reserved", [](auto&, auto& l) { l.reserved[0] = 1, l.signal = kTooLarge; }, kInvalidParameter,
       "reserved bytes have to be zero"},
      {"linked signal", [](auto& r, auto& l) { l.signal = kTooLarge, r.direction = 2; }, kSignalRefused,
       "signal size > 64"},
      {"direction", [](auto& r, auto&) { r.direction = 2; }, kInvalidParameter, "invalid direction"},
      {"linked mode", [](auto&, auto& l) { l.mode = 3; }, kUnknownMode, "unknown ramp mode"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Qor_Can_CyclicMsgs_LinkedRamp_t spoiltLinked = linked;
    Qor_Can_CyclicMsgs_IncRamp_t spoilt = incRamp;
    spoilt.linked = &spoiltLinked;
    c.spoil(spoilt, spoiltLinked);
    EXPECT_REFUSED(Qor_Can_CyclicMsgs_Ramp_DefineIncRamp(port_, &spoilt), c.code, c.text);
  }
}

// ---- parity bits ----

TEST_F(SignalRecords, ParityBitsAreOneBitSignals) {
  const Qor_Common_Signal_t bit{1, QOR_COMMON_SIGNAL_INTEL, 63};
  device_->expect(0x61, cat({u32(kId), {1, 1, 7, 7}, counting(8, 0xF0)}));
  EXPECT_EQ(Qor_Can_CyclicMsgs_Parity_Define(port_, kId, 1, bit, 0xF7F6F5F4F3F2F1F0ull), 0u) << lastText();
  device_->expect(0x61, cat({u32(kId), {0, 0, 7, 7}, zeros(8)}));
  EXPECT_EQ(Qor_Can_CyclicMsgs_Parity_Delete(port_, kId, bit), 0u) << lastText();

  EXPECT_REFUSED(Qor_Can_CyclicMsgs_Parity_Define(port_, kId, 2, bit, 0), kUnknownMode, "mode '0x02' is unknown");
  EXPECT_REFUSED(Qor_Can_CyclicMsgs_Parity_Define(port_, kId, 0, kIntel, 0), kInvalidParameter, "signal size > 1");
  EXPECT_REFUSED(Qor_Can_CyclicMsgs_Parity_Delete(port_, kId, kIntel), kInvalidParameter, "signal size > 1");
  EXPECT_REFUSED(Qor_Can_CyclicMsgs_Parity_Delete(port_, kId, Qor_Common_Signal_t{1, 2, 0}), kSignalRefused,
                 "invalid byte order");
}

// ---- checksums ----

// The head of a checksum record for kMotorola (start bit 300 = 0x12C).
Bytes checksumHead(uint32_t id, uint8_t type, uint8_t maskBits) {
  return cat({u32(id), {type, maskBits}, u16(1), {8, 0x2C, 1, 0x01}});
}

const Bytes kMask = {0xFF, 0x00, 0xFF, 0x00, 0x00, 0x00, 0x00, 0xFF};  // bits 0, 2 and 7

TEST_F(SignalRecords, ChecksumModesAndMasksMakeTheHead) {
  const uint8_t types[] = {1, 2, 8};
  for (uint8_t mode = 0; mode < 3; ++mode) {
    SCOPED_TRACE(int{mode});
    device_->expect(0x62, checksumHead(kId, types[mode], 0x85));
    EXPECT_EQ(Qor_Can_CyclicMsgs_Checksum_Define(port_, mode, kId, kMotorola, kMask.data()), 0u) << lastText();
  }
  device_->expect(0x62, checksumHead(kId, 1, 0));
  EXPECT_EQ(Qor_Can_CyclicMsgs_Checksum_Define(port_, 0, kId, kMotorola, nullptr), 0u) << "no mask";
  device_->expect(0x62, cat({u32(kId), u32(0)}));
  EXPECT_EQ(Qor_Can_CyclicMsgs_Checksum_Delete(port_, kId, kMotorola), 0u) << lastText();

  Bytes halfMask = kMask;
  halfMask[3] = 0x80;
  EXPECT_REFUSED(Qor_Can_CyclicMsgs_Checksum_Define(port_, 3, kId, kMotorola, kMask.data()), kUnknownMode,
                 "mode '0x03' is unknown");
  EXPECT_REFUSED(Qor_Can_CyclicMsgs_Checksum_Define(port_, 0, kId, kTooLarge, kMask.data()), kSignalRefused,
                 "signal size > 64");
  EXPECT_REFUSED(Qor_Can_CyclicMsgs_Checksum_Define(port_, 0, kId, kMotorola, halfMask.data()), kInvalidParameter,
                 "mask bytes have to be '0x00' or '0xFF'");
  EXPECT_REFUSED(Qor_Can_CyclicMsgs_Checksum_Delete(port_, kId, kTooLarge), kSignalRefused, "signal size > 64");
}

// Bytes 8 to 63 of an FD mask are not checked: only those of 0xFF enter the index list.
TEST_F(SignalRecords, AMaskedFdChecksumIsFollowedByItsByteIndices) {
  const uint32_t fd = kFdMessage | kId;
  Bytes mask(64, 0);
  mask[0] = 0xFF;
  mask[9] = 0xFF;
  mask[10] = 0x80;
  mask[63] = 0xFF;
  device_->expect(0x62, checksumHead(fd, 2, 0x01));
  device_->expect(0x63, cat({u32(1), u32(fd), u16(300), {3, 0}, {0, 9, 63}})).answer(u32(1));
  EXPECT_EQ(Qor_Can_CyclicMsgs_Checksum_Define(port_, 1, fd, kMotorola, mask.data()), 0u) << lastText();

  device_->expect(0x62, checksumHead(fd, 2, 0));
  EXPECT_EQ(Qor_Can_CyclicMsgs_Checksum_Define(port_, 1, fd, kMotorola, nullptr), 0u) << "no list without a mask";

  // The firmware has taken the definition when the list fails: the list's code comes back.
  device_->expect(0x62, checksumHead(fd, 2, 0x01));
  device_->expect(0x63, cat({u32(1), u32(fd), u16(300), {3, 0}, {0, 9, 63}})).fail(kFirmwareError, "list refused");
  EXPECT_EQ(Qor_Can_CyclicMsgs_Checksum_Define(port_, 1, fd, kMotorola, mask.data()), kFirmwareError);
}

TEST_F(SignalRecords, ChecksumVariantsAppendTheirTails) {
  const Bytes user = counting(5, 0x70);
  device_->expect(0x62, cat({checksumHead(kId, 0x10, 0x85), {5, 0, 0, 0}, user}));
  EXPECT_EQ(Qor_Can_CyclicMsgs_Checksum_Define_XorWithUserBytes(port_, kId, kMotorola, kMask.data(), 5, user.data()),
            0u)
      << lastText();

  const Bytes firstUser = counting(2, 0xA0);
  const Bytes secondUser = counting(3, 0xB0);
  const Qor_Can_CyclicMsgs_GeneralCrc_t crc{0x99, 2, 3, 0, {0x11111111, 0x22222222, 0x33333333},
                                            firstUser.data(), secondUser.data()};
  device_->expect(0x62, cat({checksumHead(kId, 0x11, 0), {0x99, 0, 0, 0}, u32(0x11111111), u32(0x22222222),
                             u32(0x33333333), {2, 3}, u16(0), firstUser, secondUser}));
  EXPECT_EQ(Qor_Can_CyclicMsgs_Checksum_Define_GeneralCrcWithUserBytes(port_, kId, kMotorola, nullptr, &crc), 0u)
      << lastText();

  const Bytes array = counting(4, 0xC0);
  const Qor_Can_CyclicMsgs_Custom12_t custom{0x12, 4, 0, {1, 2, 3}, Qor_Common_Signal_t{16, 1, 63}, array.data()};
  device_->expect(0x62, cat({checksumHead(kId, 0x12, 0), {0x12, 4}, u16(0), u32(1), u32(2), u32(3), {16, 63, 1, 0},
                             array}));
  EXPECT_EQ(Qor_Can_CyclicMsgs_Checksum_Define_Custom12(port_, kId, kMotorola, nullptr, &custom), 0u) << lastText();

  const Qor_Can_CyclicMsgs_AddBytes_t addBytes{{4, 0, 260}, {7, 8, 9}, 0};
  device_->expect(0x62, cat({checksumHead(kId, 0x18, 0), {4, 4, 0, 1}, {7, 8, 9, 0}}));
  EXPECT_EQ(Qor_Can_CyclicMsgs_Checksum_Define_AddBytes(port_, kId, kMotorola, nullptr, &addBytes), 0u) << lastText();
  const Qor_Can_CyclicMsgs_AddBytes_t noSecond{{0, 7, 0xFFFF}, {1, 2, 3}, 0};
  device_->expect(0x62, cat({checksumHead(kId, 0x18, 0), {0, 0xFF, 7, 0xFF}, {1, 2, 3, 0}}));
  EXPECT_EQ(Qor_Can_CyclicMsgs_Checksum_Define_AddBytes(port_, kId, kMotorola, nullptr, &noSecond), 0u)
      << "a second signal of size 0 is not checked";
}

TEST_F(SignalRecords, ChecksumVariantsCheckTheirOwnData) {
  Qor_Can_CyclicMsgs_GeneralCrc_t crc{};
  crc.reserved = 1;
  EXPECT_REFUSED(Qor_Can_CyclicMsgs_Checksum_Define_GeneralCrcWithUserBytes(port_, kId, kMotorola, nullptr, &crc),
                 kInvalidParameter, "reserved bytes have to be zero");
  crc.reserved = 0;
  crc.firstCount = 1;
  EXPECT_REFUSED(Qor_Can_CyclicMsgs_Checksum_Define_GeneralCrcWithUserBytes(port_, kId, kMotorola, nullptr, &crc),
                 kInvalidParameter, "firstUserBytes");

  Qor_Can_CyclicMsgs_Custom12_t custom{};
  custom.dataArray = Qor_Common_Signal_t{8, 0, 8};
  custom.reserved = 1;
  EXPECT_REFUSED(Qor_Can_CyclicMsgs_Checksum_Define_Custom12(port_, kId, kMotorola, nullptr, &custom),
                 kInvalidParameter, "reserved bytes have to be zero");
  custom.reserved = 0;
  custom.dataArray = kTooLarge;
  EXPECT_REFUSED(Qor_Can_CyclicMsgs_Checksum_Define_Custom12(port_, kId, kMotorola, nullptr, &custom),
                 kSignalRefused, "signal size > 64");
  custom.dataArray = Qor_Common_Signal_t{8, 0, 64};
  EXPECT_REFUSED(Qor_Can_CyclicMsgs_Checksum_Define_Custom12(port_, kId, kMotorola, nullptr, &custom),
                 kInvalidParameter, "data array index signal offset must not be greater than 63");

  const Qor_Can_CyclicMsgs_AddBytes_t reserved{{0, 0, 0}, {}, 1};
  EXPECT_REFUSED(Qor_Can_CyclicMsgs_Checksum_Define_AddBytes(port_, kId, kTooLarge, nullptr, &reserved),
                 kInvalidParameter, "reserved bytes have to be zero");
  const Qor_Can_CyclicMsgs_AddBytes_t badSecond{kTooLarge, {}, 0};
  EXPECT_REFUSED(Qor_Can_CyclicMsgs_Checksum_Define_AddBytes(port_, kId, kMotorola, nullptr, &badSecond),
                 kSignalRefused, "signal size > 64");
  EXPECT_REFUSED(Qor_Can_CyclicMsgs_Checksum_Define_XorWithUserBytes(port_, kId, kMotorola, nullptr, 3, nullptr),
                 kInvalidParameter, "userBytes");
}

}  // namespace
}  // namespace qor::can::test

namespace qor::can::test {
namespace {

// A port of the smallest maximum parameter length (1012): the longest records meet it.
class SmallPortRecords : public CyclicRoad {
 protected:
  SmallPortRecords() : CyclicRoad(qor::test::modelOfParameterLength1012()) {}
};

TEST_F(SmallPortRecords, RampModesUpToTheParameterLengthAndNoMore) {
  std::vector<Qor_Can_CyclicMsgs_RampMode_t> entries(126, Qor_Can_CyclicMsgs_RampMode_t{kId, kIntel, 1, {}});
  Bytes record = cat({u32(0), u32(125)});
  for (size_t index = 0; index < 125; ++index) record = cat({record, u32(kId), {2, 3, 3, 0}});
  ASSERT_EQ(record.size(), 1008u);
  device_->expect(0x3B, record).answer(u32(0));
  EXPECT_EQ(Qor_Can_CyclicMsgs_Ramp_ChangeMode(port_, 125, entries.data()), 0u) << lastText();
  EXPECT_REFUSED(Qor_Can_CyclicMsgs_Ramp_ChangeMode(port_, 126, entries.data()), kInvalidDataLength,
                 "126 ramps exceed the parameter length of 1012 bytes");
}

// 80 + 64 x 16 bytes: the port, not the library, refuses them.
TEST_F(SmallPortRecords, SixteenFdMultiplexEntriesExceedThePort) {
  const uint8_t entries[16][64] = {};
  const uint8_t mask[64] = {};
  EXPECT_REFUSED(Qor_Can_CyclicMsgs_MultiplexBytes_Define(port_, kFdMessage | kId, 0, 16, mask, entries),
                 kCommandTooLong, "");
}

}  // namespace
}  // namespace qor::can::test
