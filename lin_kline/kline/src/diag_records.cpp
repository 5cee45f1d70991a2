#include "diag_records.hpp"

#include <algorithm>
#include <bit>
#include <iterator>

namespace qor::kline {
namespace {

constexpr bool has(uint32_t flags, int bit) { return (flags >> bit & 1) != 0; }

template <class Record>
Record headed(uint8_t channel, DiagProtocol protocol, bool optionByte) {
  Record record{};
  record.head.channel = channel;
  record.head.protocol = protocol;
  record.head.options = optionByte ? kDiagOptionByte : 0;
  return record;
}

template <class Source, size_t N, class Target>
void copyInto(const Source (&from)[N], Target* to) {
  std::copy(std::begin(from), std::end(from), to);
}

// ---- KWP2000 ----
constexpr uint16_t kKw2000Source = 0xF1;
constexpr uint16_t kKw2000Timing[8] = {0, 20, 0, 1000, 0, 5000, 0, 20};
constexpr uint16_t kKw2000SlowTiming[8] = {0, 300, 0, 20, 0, 20, 0, 50};
constexpr uint16_t kKw2000SlowValue = 300;
constexpr uint16_t kKw2000FastParameters[6] = {300, 300, 50, 50, 25, 25};
constexpr uint32_t kKw2000FastBaudRate = 10400;
constexpr uint16_t kUnsetValue = 0xFFFF;

void kw2000SlowInit(uint32_t flags, const Qor_KLine_DiagConfigKw2000_t& config, Kw2000Record& record) {
  Kw2000SlowInit& slow = record.init.slow;
  if (has(flags, 6)) {
    slow.address = config.slowInitAddress;
    copyInto(config.slowInitTiming, slow.timing);
    slow.value1 = config.slowInitValue1;
    slow.value2 = config.slowInitValue2;
    slow.parity = config.slowInitParity == 1 ? 1 : 0;
  } else {
    slow.address = record.target;
    copyInto(kKw2000SlowTiming, slow.timing);
    slow.value1 = kKw2000SlowValue;
    slow.value2 = kKw2000SlowValue;
    slow.parity = 1;
  }
}

void kw2000FastInit(uint32_t flags, const Qor_KLine_DiagConfigKw2000_t& config, Kw2000Record& record) {
  Kw2000FastInit& fast = record.init.fast;
  if (has(flags, 6)) {
    fast.source = config.fastInitSource;
    fast.target = config.fastInitTarget;
    copyInto(config.fastInitParameters, fast.parameters);
    fast.baudRate = config.fastInitBaudRate;
  } else {
    fast.source = record.source;
    fast.target = record.target;
    copyInto(kKw2000FastParameters, fast.parameters);
    std::copy(std::begin(record.timing), std::end(record.timing), fast.parameters + std::size(kKw2000FastParameters));
    fast.baudRate = kKw2000FastBaudRate;
  }
}

// ---- KW1281 ----
constexpr uint16_t kKw1281Timing[6] = {1, 50, 55, 55, 1, 1100};
constexpr uint16_t kKw1281InitBlock[14] = {0, 0, 80, 231, 5, 20, 1, 20, 25, 50, 25, 50, 1, 50};
constexpr uint16_t kKw1281Value = 5;

// ---- ISO 9141 ----
constexpr uint16_t kIso9141Source = 0xF0;
constexpr uint16_t kIso9141Timing[8] = {0, 22, 0, 50, 55, 4000, 5, 20};
constexpr uint16_t kIso9141Mode = 2;

// ---- W-Bus ----
constexpr uint8_t kWBusValue1 = 0x0F;
constexpr uint8_t kWBusValue2 = 2;
constexpr uint32_t kWBusTiming[4] = {100000, 4500, 100000, 41000};
constexpr uint8_t kWBusOptionBits = 3;
constexpr uint32_t kWBusOptionValues[3] = {50000, 25000, 60000000};

// u16 defaults written over a byte block, as the interface reads them.
template <size_t N, size_t Bytes>
void u16Block(const uint16_t (&values)[N], uint8_t (&block)[Bytes]) {
  static_assert(N * 2 == Bytes);
  for (size_t i = 0; i < N; ++i) {
    block[2 * i] = static_cast<uint8_t>(values[i]);
    block[2 * i + 1] = static_cast<uint8_t>(values[i] >> 8);
  }
}

}  // namespace

DiagRecord kw2000Record(uint8_t channel, uint32_t flags, const Qor_KLine_DiagConfigKw2000_t& config) {
  auto record = headed<Kw2000Record>(channel, kKw2000, has(flags, 0));
  record.source = has(flags, 3) ? config.sourceAddress : kKw2000Source;
  record.target = config.targetAddress;
  if (has(flags, 4)) {
    copyInto(config.timing, record.timing);
  } else {
    copyInto(kKw2000Timing, record.timing);
  }
  if (has(flags, 5)) {
    record.testerSource = config.testerPresentSource;
    record.testerTarget = config.testerPresentTarget;
    record.testerPresent = config.testerPresentFlag == 1 ? 1 : 0;
    record.testerValue = config.testerPresentFlag == 1 ? config.testerPresentValue : 0;
  } else {
    record.testerSource = record.source;
    record.testerTarget = record.target;
  }
  const bool fast = config.InitMode == 1;
  record.fastInit = fast ? 1 : 0;
  if (fast) {
    kw2000FastInit(flags, config, record);
  } else {
    kw2000SlowInit(flags, config, record);
  }
  if (has(flags, 7)) {
    copyInto(config.values, record.values);
  } else {
    std::fill(std::begin(record.values), std::end(record.values), kUnsetValue);
  }
  record.mode = static_cast<uint8_t>(flags >> 1 & 3);
  return std::bit_cast<DiagRecord>(record);
}

DiagRecord kw1281Record(uint8_t channel, uint32_t flags, const Qor_KLine_DiagConfigKw1281_t& config) {
  auto record = headed<Kw1281Record>(channel, kKw1281, false);
  if (has(flags, 0)) {
    copyInto(config.timing, record.timing);
  } else {
    u16Block(kKw1281Timing, record.timing);
  }
  record.address = config.address;
  if (has(flags, 1)) {
    copyInto(config.initBlock, record.initBlock);
    record.parity = config.parity == 1 ? 1 : 0;
  } else {
    u16Block(kKw1281InitBlock, record.initBlock);
    record.parity = 1;
  }
  record.value1 = has(flags, 2) ? config.value1 : kKw1281Value;
  record.value2 = has(flags, 2) ? config.value2 : kKw1281Value;
  return std::bit_cast<DiagRecord>(record);
}

DiagRecord iso9141Record(uint8_t channel, uint32_t flags, const Qor_KLine_DiagConfigIso9141Ford_t& config) {
  auto record = headed<Iso9141Record>(channel, kIso9141, has(flags, 0));
  record.source = has(flags, 1) ? config.sourceAddress : kIso9141Source;
  record.target = config.targetAddress;
  if (has(flags, 2)) {
    copyInto(config.timing, record.timing);
  } else {
    copyInto(kIso9141Timing, record.timing);
  }
  record.mode = kIso9141Mode;
  record.value = has(flags, 3) ? config.value : kUnsetValue;
  return std::bit_cast<DiagRecord>(record);
}

DiagRecord wBusRecord(uint8_t channel, uint32_t flags, const Qor_KLine_DiagConfigWBus_t& config) {
  auto record = headed<WBusRecord>(channel, kWBus, has(flags, 0));
  record.value1 = has(flags, 1) ? config.value1 : kWBusValue1;
  record.address = config.address;
  record.value2 = has(flags, 2) ? config.value2 : kWBusValue2;
  if (has(flags, 4)) {
    copyInto(config.timing, record.timing);
  } else {
    copyInto(kWBusTiming, record.timing);
  }
  record.value3 = has(flags, 3) ? config.value3 : 0;
  if (has(flags, 5)) {
    record.optionBits = static_cast<uint8_t>(config.optionBits);
    copyInto(config.optionValues, record.optionValues);
  } else {
    record.optionBits = kWBusOptionBits;
    copyInto(kWBusOptionValues, record.optionValues);
  }
  return std::bit_cast<DiagRecord>(record);
}

}  // namespace qor::kline
