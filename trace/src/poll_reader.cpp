#include "poll_reader.hpp"

#include <optional>

#include "qor_kit/monitor_items.hpp"

namespace qor::trace {
namespace {

using kit::ItemExtent;

// Firmware item layouts, as far as the walk and the list keys read them.
constexpr size_t kCanItemHead = 16;
constexpr size_t kCanDataLength = 15;
constexpr size_t kCanIdentifier = 8;
constexpr size_t kLinItemHead = 12 + 8;  // item header, then the small item's fixed part
constexpr size_t kLinIdentifier = 12 + 2;
constexpr size_t kLengthFieldHead = 12;  // FlexRay entries and Ethernet items: length, type, time stamp
constexpr size_t kFlexRayType = 2;
constexpr size_t kFlexRaySlot = 14;
constexpr size_t kFlexRayEventCode = 12;

// Where the items lie in an answer and how many there are.
struct Framing {
  size_t head;
  bool counted;  // a u16 item count at offset 4; otherwise the items run to the answer's end
};

constexpr Framing framingOf(uint8_t busType) {
  switch (busType) {
    case QOR_TRACE_BUS_CAN: return {4, false};
    case QOR_TRACE_BUS_FLEXRAY: return {8, false};
    default: return {8, true};  // LIN and Ethernet
  }
}

std::optional<ItemExtent> canExtent(std::span<const uint8_t> item) {
  const size_t dataLength = item[kCanDataLength];
  return ItemExtent{kCanItemHead + dataLength, (dataLength + 19) & ~size_t{3}};
}

// LIN and Ethernet: the u16 at the item's start is the step, the item's whole size.
std::optional<ItemExtent> lengthExtent(std::span<const uint8_t> item) {
  const uint16_t length = fieldAt<uint16_t>(item, 0);
  return ItemExtent{length, length};
}

std::optional<ItemExtent> flexRayExtent(std::span<const uint8_t> item) {
  const uint16_t length = fieldAt<uint16_t>(item, 0);
  return ItemExtent{length, (size_t{length} + 3) & ~size_t{3}};
}

struct BusItems {
  size_t itemHead;
  std::optional<ItemExtent> (*extent)(std::span<const uint8_t>);
  SharedEntry (*build)(uint32_t, std::span<const uint8_t>);
  // The list key of an item, none for items that are not listed.
  std::optional<uint32_t> (*key)(std::span<const uint8_t>);
};

std::optional<uint32_t> canKey(std::span<const uint8_t> item) { return fieldAt<uint32_t>(item, kCanIdentifier); }
std::optional<uint32_t> linKey(std::span<const uint8_t> item) { return item[kLinIdentifier]; }
std::optional<uint32_t> noKey(std::span<const uint8_t>) { return std::nullopt; }

std::optional<uint32_t> flexRayKey(std::span<const uint8_t> item) {
  const uint16_t type = fieldAt<uint16_t>(item, kFlexRayType);
  if (type == 1 || type == 2) return fieldAt<uint16_t>(item, kFlexRaySlot);
  if (type >= 7 && type <= 10) return fieldAt<uint16_t>(item, kFlexRayEventCode);
  return std::nullopt;
}

BusItems busItemsOf(uint8_t busType) {
  switch (busType) {
    case QOR_TRACE_BUS_CAN: return {kCanItemHead, canExtent, TraceEntry::fromCanItem, canKey};
    case QOR_TRACE_BUS_LIN: return {kLinItemHead, lengthExtent, TraceEntry::fromLinItem, linKey};
    case QOR_TRACE_BUS_FLEXRAY: return {kLengthFieldHead, flexRayExtent, TraceEntry::fromFlexRayEntry, flexRayKey};
    default: return {kLengthFieldHead, lengthExtent, TraceEntry::fromEthernetItem, noKey};
  }
}

}  // namespace

PollRound readPollAnswer(uint8_t busType, uint32_t channelId, std::span<const uint8_t> answer) {
  PollRound round;
  const Framing framing = framingOf(busType);
  if (answer.size() <= framing.head) return round;
  size_t remaining = framing.counted ? fieldAt<uint16_t>(answer, 4) : SIZE_MAX;
  if (remaining == 0) return round;

  const BusItems bus = busItemsOf(busType);
  SharedEntry last;
  bool broken = false;
  std::map<PollRound::Key, size_t> occurrences;
  const kit::WalkEnd end = kit::walkItems(answer.subspan(framing.head), bus.itemHead, bus.extent,
                                          [&](std::span<const uint8_t> item) {
                                            SharedEntry entry = bus.build(channelId, item);
                                            if (!entry) {
                                              broken = true;
                                              return false;
                                            }
                                            round.batch.emplace(entry->timestamp(), entry);
                                            if (const auto key = bus.key(item)) {
                                              const PollRound::Key listKey{channelId, *key};
                                              const size_t occurrence = occurrences[listKey]++;
                                              if (occurrence == round.list.size()) round.list.emplace_back();
                                              round.list[occurrence][listKey] = entry;
                                            }
                                            last = std::move(entry);
                                            return --remaining > 0;
                                          });
  // A count above the items present also means lost items.
  const bool countShort = framing.counted && end == kit::WalkEnd::Complete && remaining > 0;
  if ((broken || end == kit::WalkEnd::Broken || countShort) && last) last->setBufferOverrunFlag();
  return round;
}

}  // namespace qor::trace
