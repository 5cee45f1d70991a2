// The node's command (0x20): its sub-functions, the record head shared by the address, VLAN and MAC operations, and
// the reading of the lists that the firmware answers with.
#pragma once

#include <cstdint>
#include <cstring>
#include <iterator>
#include <vector>

#include "ethernet_library.hpp"

namespace qor::ethernet {

inline constexpr uint8_t kNodeCommand = 0x20;

enum NodeSubFunction : uint32_t {
  kIp4AddressAdd = 0,
  kIp4AddressRemove = 1,
  kIp4AddressesRead = 2,
  kIp6AddressAdd = 3,
  kIp6AddressRemove = 4,
  kIp6AddressesRead = 5,
  kPropertySet = 6,
  kPropertyGet = 7,
  kVlanConfigure = 8,
  kVlanDelete = 9,
  kMacAddressRead = 10,
  kMacAddressSet = 11,
  kVlansRead = 14,
};

// The qualifier goes out only when the caller's flag bit 0 says it applies.
inline uint32_t qualifierToSend(uint32_t flags, uint32_t qualifier) { return (flags & 1) != 0 ? qualifier : 0; }

// A record of length bytes that begins with the sub-function and the caller's flags.
inline kit::RecordWriter nodeRecord(size_t length, NodeSubFunction subFunction, uint32_t flags) {
  kit::RecordWriter record(length);
  record.u32(subFunction).u32(flags);
  return record;
}

// Sends the record, zero-filled to its full length.
inline uint32_t exchangeNode(const kit::Call& call, kit::RecordWriter& record, std::vector<uint8_t>& answer) {
  record.zeros(record.room());
  return call.exchange(kNodeCommand, 1, record, answer);
}

inline constexpr size_t kListHeadBytes = 12;

// A list answer (+8 u16 count, entries of entryBytes from +12) into the caller's list, which is cleared first. A
// count beyond the list's room is stored as given and reported as "buffer too small" with no entry read; otherwise
// the count is cut to the entries that arrived and readEntry(entry, bytes) reads each.
template <class List, class Entries, class ReadEntry>
uint32_t readList(const kit::Call& call, const std::vector<uint8_t>& answer, List* list, Entries List::*entries,
                  size_t entryBytes, const char* noun, ReadEntry readEntry) {
  const kit::AnswerReader reader(answer);
  if (uint32_t code = checkAnswerLength(call, reader, kListHeadBytes)) return code;
  std::memset(list, 0, sizeof *list);
  const uint16_t announced = reader.u16(8);
  const uint32_t room = static_cast<uint32_t>(std::size(list->*entries));
  list->count = announced;
  if (announced > room) {
    return call.fail(kEthernet.code(kBufferTooSmall), "buffer for %s (%u) < number of returned %s (%u)", noun, room,
                     noun, announced);
  }
  list->count = static_cast<uint16_t>(reader.itemsThatFit(announced, kListHeadBytes, entryBytes));
  for (uint32_t i = 0; i < list->count; ++i) {
    readEntry((list->*entries)[i], reader.bytes(kListHeadBytes + i * entryBytes, entryBytes));
  }
  return 0;
}

}  // namespace qor::ethernet
