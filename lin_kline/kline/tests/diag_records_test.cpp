// The diagnostic configuration records byte for byte: every protocol with its defaults (no command flag) and with
// every field the caller's (all flags). A row names a field by offset and width; every other byte must be 0.
#include <gtest/gtest.h>

#include <initializer_list>
#include <vector>

#include "diag_records.hpp"

namespace qor::kline {
namespace {

struct Field {
  size_t offset;
  size_t width;
  uint32_t value;
};
using Fields = std::vector<Field>;

Fields u16s(size_t offset, std::initializer_list<uint32_t> values) {
  Fields fields;
  for (uint32_t value : values) fields.push_back({offset, 2, value}), offset += 2;
  return fields;
}

Fields u32s(size_t offset, std::initializer_list<uint32_t> values) {
  Fields fields;
  for (uint32_t value : values) fields.push_back({offset, 4, value}), offset += 4;
  return fields;
}

Fields bytes(size_t offset, std::initializer_list<uint32_t> values) {
  Fields fields;
  for (uint32_t value : values) fields.push_back({offset++, 1, value});
  return fields;
}

DiagRecord expected(std::initializer_list<Fields> groups) {
  DiagRecord record{};
  for (const Fields& fields : groups) {
    for (const Field& field : fields) {
      for (size_t i = 0; i < field.width; ++i) record.at(field.offset + i) = static_cast<uint8_t>(field.value >> 8 * i);
    }
  }
  return record;
}

Qor_KLine_DiagConfigKw2000_t kw2000(uint8_t initMode) {
  Qor_KLine_DiagConfigKw2000_t config{};
  config.targetAddress = 0x10;
  config.InitMode = initMode;
  config.sourceAddress = 0x20;
  for (uint16_t i = 0; i < 8; ++i) config.timing[i] = static_cast<uint16_t>(1 + i);
  config.testerPresentFlag = 1;
  config.testerPresentSource = 0x21;
  config.testerPresentTarget = 0x11;
  config.testerPresentValue = 0x3E;
  config.slowInitAddress = 0x33;
  config.slowInitParity = 0;
  for (uint16_t i = 0; i < 8; ++i) config.slowInitTiming[i] = static_cast<uint16_t>(11 + i);
  config.slowInitValue1 = 100;
  config.slowInitValue2 = 200;
  config.fastInitSource = 0x44;
  config.fastInitTarget = 0x55;
  for (uint16_t i = 0; i < 14; ++i) config.fastInitParameters[i] = static_cast<uint16_t>(101 + i);
  config.fastInitBaudRate = 9600;
  config.values[0] = 7, config.values[1] = 8, config.values[2] = 9;
  return config;
}

const Fields kKw2000DefaultTiming = u16s(12, {0, 20, 0, 1000, 0, 5000, 0, 20});

TEST(Kw2000Record, FastInitWithoutFlagsSendsTheDefaults) {
  EXPECT_EQ(kw2000Record(2, 0, kw2000(1)),
            expected({bytes(0, {2, 1}), u16s(8, {0xF1, 0x10}), kKw2000DefaultTiming, u16s(28, {0xF1, 0x10}),
                      u16s(36, {1}), u16s(40, {0xF1, 0x10, 300, 300, 50, 50, 25, 25}),
                      u16s(56, {0, 20, 0, 1000, 0, 5000, 0, 20}), u32s(72, {10400}),
                      u16s(76, {0xFFFF, 0xFFFF, 0xFFFF})}));
}

TEST(Kw2000Record, SlowInitWithoutFlagsSendsTheDefaults) {
  EXPECT_EQ(kw2000Record(2, 0, kw2000(0)),
            expected({bytes(0, {2, 1}), u16s(8, {0xF1, 0x10}), kKw2000DefaultTiming, u16s(28, {0xF1, 0x10}),
                      u16s(42, {0x10, 0, 300, 0, 20, 0, 20, 0, 50, 300, 300}), u16s(72, {1}),
                      u16s(76, {0xFFFF, 0xFFFF, 0xFFFF})}));
}

TEST(Kw2000Record, EveryFlagSendsTheCallersSlowInit) {
  EXPECT_EQ(kw2000Record(1, 0xFF, kw2000(0)),
            expected({bytes(0, {1, 1, 0, 0, 0x20}), u16s(8, {0x20, 0x10, 1, 2, 3, 4, 5, 6, 7, 8, 0x21, 0x11}),
                      bytes(32, {1, 0x3E}), u16s(42, {0x33, 11, 12, 13, 14, 15, 16, 17, 18, 100, 200}),
                      u16s(76, {7, 8, 9}), bytes(82, {3})}));
}

TEST(Kw2000Record, EveryFlagSendsTheCallersFastInit) {
  Fields parameters = u16s(44, {101, 102, 103, 104, 105, 106, 107, 108, 109, 110, 111, 112, 113, 114});
  EXPECT_EQ(kw2000Record(1, 0xFF, kw2000(1)),
            expected({bytes(0, {1, 1, 0, 0, 0x20}), u16s(8, {0x20, 0x10, 1, 2, 3, 4, 5, 6, 7, 8, 0x21, 0x11}),
                      bytes(32, {1, 0x3E}), u16s(36, {1}), u16s(40, {0x44, 0x55}), parameters, u32s(72, {9600}),
                      u16s(76, {7, 8, 9}), bytes(82, {3})}));
}

TEST(Kw2000Record, TheModeBitsAndATesterPresentFlagOfZero) {
  Qor_KLine_DiagConfigKw2000_t config = kw2000(1);
  config.testerPresentFlag = 0;
  const DiagRecord record = kw2000Record(0, 0x26, config);
  EXPECT_EQ(record[82], 3);  // bits 1 and 2
  EXPECT_EQ(record[32], 0);
  EXPECT_EQ(record[33], 0);  // the value goes only with the flag
  EXPECT_EQ(record[28], 0x21);
  EXPECT_EQ(kw2000Record(0, 0x04, config)[82], 2);
}

Qor_KLine_DiagConfigKw1281_t kw1281() {
  Qor_KLine_DiagConfigKw1281_t config{};
  config.address = 0x01;
  for (uint8_t i = 0; i < 12; ++i) config.timing[i] = static_cast<uint8_t>(0xA0 + i);
  config.parity = 0;
  for (uint8_t i = 0; i < 28; ++i) config.initBlock[i] = static_cast<uint8_t>(0xC0 + i);
  config.value1 = 0x1234;
  config.value2 = 0x5678;
  return config;
}

TEST(Kw1281Record, WithoutFlagsSendsTheDefaults) {
  EXPECT_EQ(kw1281Record(3, 0, kw1281()),
            expected({bytes(0, {3, 2}), u16s(12, {1, 50, 55, 55, 1, 1100}), u16s(42, {0x01}),
                      u16s(44, {0, 0, 80, 231, 5, 20, 1, 20, 25, 50, 25, 50, 1, 50}), u16s(72, {1}),
                      u16s(76, {5, 5})}));
}

TEST(Kw1281Record, EveryFlagSendsTheCallersBlocks) {
  Fields timing, init;
  for (uint32_t i = 0; i < 12; ++i) timing.push_back({12 + i, 1, 0xA0 + i});
  for (uint32_t i = 0; i < 28; ++i) init.push_back({44 + i, 1, 0xC0 + i});
  EXPECT_EQ(kw1281Record(3, 7, kw1281()),
            expected({bytes(0, {3, 2}), timing, u16s(42, {0x01}), init, u16s(76, {0x1234, 0x5678})}));
}

TEST(Iso9141Record, DefaultsAndTheCallersFields) {
  Qor_KLine_DiagConfigIso9141Ford_t config{};
  config.targetAddress = 0x6A;
  config.sourceAddress = 0xF5;
  for (uint16_t i = 0; i < 8; ++i) config.timing[i] = static_cast<uint16_t>(31 + i);
  config.value = 0x4242;
  EXPECT_EQ(iso9141Record(4, 0, config),
            expected({bytes(0, {4, 3}), u16s(8, {0xF0, 0x6A, 0, 22, 0, 50, 55, 4000, 5, 20}), u16s(36, {2}),
                      u16s(76, {0xFFFF})}));
  EXPECT_EQ(iso9141Record(4, 0x0F, config),
            expected({bytes(0, {4, 3, 0, 0, 0x20}), u16s(8, {0xF5, 0x6A, 31, 32, 33, 34, 35, 36, 37, 38}),
                      u16s(36, {2}), u16s(76, {0x4242})}));
}

TEST(WBusRecord, DefaultsAndTheCallersFields) {
  Qor_KLine_DiagConfigWBus_t config{};
  config.address = 0x34;
  config.value1 = 0x0A;
  config.value2 = 0x0B;
  config.value3 = 0x01020304;
  for (uint32_t i = 0; i < 4; ++i) config.timing[i] = 1000 + i;
  config.optionBits = 1;
  for (uint32_t i = 0; i < 3; ++i) config.optionValues[i] = 2000 + i;
  EXPECT_EQ(wBusRecord(5, 0, config),
            expected({bytes(0, {5, 4}), bytes(8, {0x0F, 0x34, 2}), u32s(12, {100000, 4500, 100000, 41000}),
                      bytes(32, {3}), u32s(36, {50000, 25000, 60000000})}));
  EXPECT_EQ(wBusRecord(5, 0x3F, config),
            expected({bytes(0, {5, 4, 0, 0, 0x20}), bytes(8, {0x0A, 0x34, 0x0B}),
                      u32s(12, {1000, 1001, 1002, 1003, 0x01020304}), bytes(32, {1}), u32s(36, {2000, 2001, 2002})}));
}

}  // namespace
}  // namespace qor::kline
