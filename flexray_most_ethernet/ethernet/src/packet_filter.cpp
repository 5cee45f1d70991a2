// The packet filters (command 0x28, whose records begin with a u8 sub-function): setting one and resetting one. A
// field whose flag bit is clear goes out as zeros.
#include <vector>

#include "ethernet_library.hpp"
#include "qor_ethernet_packet_filter.h"

namespace qor::ethernet {
namespace {

constexpr uint8_t kFilterCommand = 0x28;
constexpr uint32_t kFilterAnswerCapacity = 4;

enum FilterSubFunction : uint8_t { kSet = 0, kReset = 1 };
enum FilterField : uint32_t {
  kValue1 = 1u << 1,
  kValue2 = 1u << 2,
  kValue3 = 1u << 3,
  kBlock1 = 1u << 4,
  kBlock2 = 1u << 5,
  kValue4 = 1u << 6,
  kValue5 = 1u << 7,
};

uint32_t checkInstance(const kit::Call& call, uint8_t instance) {
  if (instance < QOR_ETHERNET_PKT_FILTER_COUNT) return 0;
  return call.fail(kEthernet.code(kInvalidParameter), "FilterInstanceId have to be lower then 10");
}

// The head both records share: sub-function, whether the extra value is given, and the value.
void writeHead(kit::RecordWriter& record, FilterSubFunction subFunction, bool hasExtra, uint8_t extra) {
  record.u8(subFunction).u8(hasExtra ? 1 : 0).u8(hasExtra ? extra : 0).u8(0);
}

uint32_t send(const kit::Call& call, const kit::RecordWriter& record) {
  std::vector<uint8_t> answer;
  return call.exchange(kFilterCommand, 1, record, answer, kFilterAnswerCapacity);
}

template <class Value>
Value given(uint32_t flags, FilterField field, Value value) {
  return (flags & field) != 0 ? value : Value{};
}

void writeBlock(kit::RecordWriter& record, uint32_t flags, FilterField field, const uint8_t (&block)[16]) {
  if ((flags & field) != 0) {
    record.bytes(block, sizeof block);
  } else {
    record.zeros(sizeof block);
  }
}

uint32_t setFilter(const kit::Call& call, const Qor_Ethernet_PktFilter_t* filter) {
  if (uint32_t code = checkEthernetInterface(call)) return code;
  if (uint32_t code = checkPointer(call, filter, "filter")) return code;
  const uint32_t flags = filter->flags;
  if (uint32_t code = checkFlags(call, flags, QOR_ETHERNET_PKT_FILTER_SET_FLAGS)) return code;
  if (uint32_t code = checkReserved(call, filter->reserved)) return code;
  if (uint32_t code = checkInstance(call, filter->instance)) return code;
  kit::RecordWriter record(52);
  writeHead(record, kSet, (flags & QOR_ETHERNET_PKT_FILTER_EXTRA) != 0, filter->extra);
  record.u8(static_cast<uint8_t>(flags)).u8(static_cast<uint8_t>(flags >> 8 & 0x03)).u16(0);
  record.u8(filter->instance).u8(0);
  record.u16(given(flags, kValue1, filter->value1)).u16(given(flags, kValue2, filter->value2));
  record.u8(given(flags, kValue3, filter->value3)).u8(0);
  writeBlock(record, flags, kBlock1, filter->block1);
  writeBlock(record, flags, kBlock2, filter->block2);
  record.u16(given(flags, kValue4, filter->value4)).u16(given(flags, kValue5, filter->value5));
  return send(call, record);
}

uint32_t resetFilter(const kit::Call& call, const Qor_Ethernet_PktFilterReset_t* reset) {
  if (uint32_t code = checkEthernetInterface(call)) return code;
  if (uint32_t code = checkPointer(call, reset, "reset")) return code;
  if (uint32_t code = checkFlags(call, reset->flags, QOR_ETHERNET_PKT_FILTER_RESET_FLAGS)) return code;
  if (uint32_t code = checkReserved(call, reset->reserved)) return code;
  if (uint32_t code = checkInstance(call, reset->instance)) return code;
  kit::RecordWriter record(12);
  writeHead(record, kReset, (reset->flags & QOR_ETHERNET_PKT_FILTER_RESET_EXTRA) != 0, reset->extra);
  record.u32(reset->flags & ~QOR_ETHERNET_PKT_FILTER_RESET_EXTRA).u8(reset->instance).zeros(3);
  return send(call, record);
}

}  // namespace
}  // namespace qor::ethernet

using namespace qor::ethernet;
using qor::kit::Call;

uint32_t Qor_Ethernet_PktFilter_Set(uint32_t port, const Qor_Ethernet_PktFilter_t* filter) try {
  return setFilter(Call(kEthernet, port), filter);
} catch (...) {
  return kEthernet.failedCall(port);
}

uint32_t Qor_Ethernet_PktFilter_Reset(uint32_t port, const Qor_Ethernet_PktFilterReset_t* reset) try {
  return resetFilter(Call(kEthernet, port), reset);
} catch (...) {
  return kEthernet.failedCall(port);
}
