#include "channel_kinds.hpp"

#include "qor_trace_entry.h"

namespace qor::trace {
namespace {

constexpr ChannelKind kKinds[] = {
    {4, QOR_TRACE_BUS_CAN, 9'000'000, 0x50, {0x09, 0, 0, 0, 0x0F, 0x0E}, 12, 0x0C, 0x0D, 0x0F, 2, true, false, false},
    {5, QOR_TRACE_BUS_LIN, 9'000'000, 0x50, {0x09, 0, 0, 0, 0x07, 0x06, 0, 0, 0, 0, 0, 0, 0x01}, 16, 0x0C, 0x0D, 0x0E,
     0, false, false, false},
    {9, QOR_TRACE_BUS_FLEXRAY, 3'000'000, 0x21, {0x00, 0, 0, 0, 0x3E, 0x1F}, 8, 0x01, 0x02, 0x03, 2, true, true, false},
    {14, QOR_TRACE_BUS_ETHERNET, 500'000, 0x50, {0x00, 0, 0, 0, 0x07}, 8, 0x01, 0x02, 0x03, 2, true, false, true},
};

}  // namespace

const ChannelKind* channelKindFor(uint32_t interfaceType) {
  for (const ChannelKind& kind : kKinds) {
    if (kind.interfaceType == interfaceType) return &kind;
  }
  return nullptr;
}

}  // namespace qor::trace
