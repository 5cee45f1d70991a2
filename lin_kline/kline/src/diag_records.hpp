// The interface's diagnostic configuration record (command 0xA0, always 84 bytes) for each protocol, built from the
// caller's record with the interface's defaults where a command flag bit is clear. Builders only: the caller's
// record has been checked before.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "qor_kline_node.h"

namespace qor::kline {

inline constexpr uint8_t kDiagConfigCommand = 0xA0;
inline constexpr size_t kDiagRecordSize = 84;
inline constexpr uint8_t kDiagOptionByte = 0x20;

enum DiagProtocol : uint8_t { kKw2000 = 1, kKw1281 = 2, kIso9141 = 3, kWBus = 4 };

struct DiagHead {
  uint8_t channel;     // +0
  uint8_t protocol;    // +1
  uint16_t reserved2;  // +2
  uint8_t options;     // +4: kDiagOptionByte or 0
  uint8_t reserved5[3];
};
static_assert(sizeof(DiagHead) == 8);

struct Kw2000SlowInit {
  uint16_t reserved0;  // +40
  uint16_t address;    // +42
  uint16_t timing[8];  // +44
  uint16_t value1;     // +60
  uint16_t value2;     // +62
  uint8_t reserved24[8];
  uint16_t parity;  // +72
  uint16_t reserved34;
};
static_assert(sizeof(Kw2000SlowInit) == 36 && offsetof(Kw2000SlowInit, parity) == 32);

struct Kw2000FastInit {
  uint16_t source;          // +40
  uint16_t target;          // +42
  uint16_t parameters[14];  // +44
  uint32_t baudRate;        // +72
};
static_assert(sizeof(Kw2000FastInit) == 36 && offsetof(Kw2000FastInit, baudRate) == 32);

struct Kw2000Record {
  DiagHead head;
  uint16_t source;             // +8
  uint16_t target;             // +10
  uint16_t timing[8];          // +12
  uint16_t testerSource;       // +28
  uint16_t testerTarget;       // +30
  uint8_t testerPresent;       // +32
  uint8_t testerValue;         // +33
  uint16_t reserved34;
  uint16_t fastInit;           // +36
  uint16_t reserved38;
  union {
    Kw2000SlowInit slow;
    Kw2000FastInit fast;
  } init;                      // +40
  uint16_t values[3];          // +76
  uint8_t mode;                // +82
  uint8_t reserved83;
};
static_assert(sizeof(Kw2000Record) == kDiagRecordSize);
static_assert(offsetof(Kw2000Record, testerSource) == 28 && offsetof(Kw2000Record, fastInit) == 36);
static_assert(offsetof(Kw2000Record, init) == 40 && offsetof(Kw2000Record, values) == 76);
static_assert(offsetof(Kw2000Record, mode) == 82);

struct Kw1281Record {
  DiagHead head;
  uint8_t reserved8[4];
  uint8_t timing[12];    // +12
  uint8_t reserved24[18];
  uint16_t address;      // +42
  uint8_t initBlock[28]; // +44
  uint16_t parity;       // +72
  uint16_t reserved74;
  uint16_t value1;       // +76
  uint16_t value2;       // +78
  uint8_t reserved80[4];
};
static_assert(sizeof(Kw1281Record) == kDiagRecordSize);
static_assert(offsetof(Kw1281Record, address) == 42 && offsetof(Kw1281Record, parity) == 72);

struct Iso9141Record {
  DiagHead head;
  uint16_t source;     // +8
  uint16_t target;     // +10
  uint16_t timing[8];  // +12
  uint8_t reserved28[8];
  uint16_t mode;       // +36: always 2
  uint8_t reserved38[38];
  uint16_t value;      // +76
  uint8_t reserved78[6];
};
static_assert(sizeof(Iso9141Record) == kDiagRecordSize);
static_assert(offsetof(Iso9141Record, mode) == 36 && offsetof(Iso9141Record, value) == 76);

struct WBusRecord {
  DiagHead head;
  uint8_t value1;             // +8
  uint8_t address;            // +9
  uint8_t value2;             // +10
  uint8_t reserved11;
  uint32_t timing[4];         // +12
  uint32_t value3;            // +28
  uint8_t optionBits;         // +32
  uint8_t reserved33[3];
  uint32_t optionValues[3];   // +36
  uint8_t reserved48[36];
};
static_assert(sizeof(WBusRecord) == kDiagRecordSize);
static_assert(offsetof(WBusRecord, value3) == 28 && offsetof(WBusRecord, optionValues) == 36);

using DiagRecord = std::array<uint8_t, kDiagRecordSize>;

DiagRecord kw2000Record(uint8_t channel, uint32_t flags, const Qor_KLine_DiagConfigKw2000_t& config);
DiagRecord kw1281Record(uint8_t channel, uint32_t flags, const Qor_KLine_DiagConfigKw1281_t& config);
DiagRecord iso9141Record(uint8_t channel, uint32_t flags, const Qor_KLine_DiagConfigIso9141Ford_t& config);
DiagRecord wBusRecord(uint8_t channel, uint32_t flags, const Qor_KLine_DiagConfigWBus_t& config);

}  // namespace qor::kline
