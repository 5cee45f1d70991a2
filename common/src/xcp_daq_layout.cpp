#include "xcp_daq_layout.hpp"

#include <algorithm>

#include "common_library.hpp"

namespace qor::common::xcp {

uint8_t elementSize(uint8_t type) {
  constexpr uint8_t kSizes[] = {1, 1, 2, 2, 4, 4, 4};
  return type < std::size(kSizes) ? kSizes[type] : 0;
}

uint32_t layOut(const kit::Call& call, std::span<const Qor_Common_Xcp_Daq_Signal_t> signals, const DaqLimits& limits,
                std::vector<DaqList>& lists) {
  const uint32_t notPossible = kCommon.code(kDaqNotInitialized);
  lists.clear();
  for (size_t index = 0; index < signals.size(); ++index) {
    const Qor_Common_Xcp_Daq_Signal_t& signal = signals[index];
    const uint8_t element = elementSize(signal.type);
    if (element > limits.maxEntrySize) {
      return call.fail(notPossible,
                       "signal size of signal with index %zu > maximum signal size allowed by slave (%u bytes)", index,
                       limits.maxEntrySize);
    }
    // An entry takes whole granules, a bit one granule.
    const uint32_t granularity = limits.granularity;
    const uint32_t size = signal.bitOffset == QOR_COMMON_XCP_DAQ_WHOLE_ELEMENT
                              ? (element + granularity - 1) / granularity * granularity
                              : granularity;
    if (size > limits.odtCapacity()) {
      return call.fail(notPossible, "signal with index %zu needs %u bytes, a DTO of the slave holds %zu", index, size,
                       limits.odtCapacity());
    }
    auto list = std::find_if(lists.begin(), lists.end(),
                             [&](const DaqList& each) { return each.eventChannel == signal.eventChannel; });
    if (list == lists.end()) {
      if (lists.size() >= limits.configurableLists) {
        return call.fail(notPossible, "the slave has %u configurable daq lists, signal with index %zu needs another",
                         limits.configurableLists, index);
      }
      lists.push_back(DaqList{static_cast<uint16_t>(limits.minDaq + lists.size()), signal.eventChannel, 0, {}});
      list = std::prev(lists.end());
    }
    if (list->odts.empty() || list->odts.back().bytesUsed + size > limits.odtCapacity() ||
        list->odts.back().entries.size() >= kMaxEntriesPerOdt) {
      if (list->odts.size() >= kMaxOdtsPerList) {
        return call.fail(notPossible, "signal with index %zu needs more than %zu odts on event channel %u", index,
                         kMaxOdtsPerList, signal.eventChannel);
      }
      list->odts.emplace_back();
    }
    DaqOdt& odt = list->odts.back();
    odt.entries.push_back(DaqEntry{signal.bitOffset, signal.type, static_cast<uint8_t>(size), signal.addressExtension,
                                   signal.address, signal.userValue});
    odt.bytesUsed = static_cast<uint16_t>(odt.bytesUsed + size);
  }
  return 0;
}

uint32_t identifierKey(std::span<const uint8_t> identifier) {
  uint32_t key = 0;
  for (size_t index = 0; index < identifier.size() && index < 4; ++index) {
    key |= uint32_t{identifier[index]} << 8 * index;
  }
  return key;
}

// Type 0: the absolute ODT number (first PID + ODT); 1: relative ODT, list in a byte; 2: relative ODT, list in two
// bytes; 3: relative ODT, a fill byte, list in two bytes.
std::vector<uint8_t> identifierOf(const DaqLimits& limits, const CommandInfo& info, const DaqList& list, uint8_t odt) {
  switch (limits.identificationType) {
    case 0:
      return {static_cast<uint8_t>(list.firstPid + odt)};
    case 1:
      return {odt, static_cast<uint8_t>(list.number)};
    default: {
      std::vector<uint8_t> identifier = {odt};
      if (limits.identificationType == 3) identifier.push_back(0);
      info.append16(identifier, list.number);
      return identifier;
    }
  }
}

}  // namespace qor::common::xcp
