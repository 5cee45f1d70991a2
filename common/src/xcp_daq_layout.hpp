// How the caller's signals become DAQ lists, ODTs and entries within the slave's limits, how a DTO names its ODT, and
// how a DTO is decoded back into values: pure functions, the slave's answers and packets read only as far as they
// reach.
#pragma once

#include <algorithm>
#include <cstdint>
#include <map>
#include <span>
#include <vector>

#include "qor_common_xcp_daq.h"
#include "qor_kit/call.hpp"
#include "xcp_command_info.hpp"

namespace qor::common::xcp {

inline constexpr size_t kMaxOdtsPerList = 252;
inline constexpr size_t kMaxEntriesPerOdt = 255;
inline constexpr uint8_t kLastDaqPid = 0xFB;  // 0xFC and above are no DAQ packets

struct DaqEntry {
  uint8_t bitOffset;
  uint8_t type;
  uint8_t size;  // bytes the entry takes in the DTO
  uint8_t addressExtension;
  uint32_t address;
  uint64_t userValue;
};

struct DaqOdt {
  std::vector<DaqEntry> entries;
  uint16_t bytesUsed = 0;
};

struct DaqList {
  uint16_t number;
  uint16_t eventChannel;
  uint8_t firstPid = 0;  // from START_STOP_DAQ_LIST
  std::vector<DaqOdt> odts;
};

// What the slave reported at CONNECT, GET_DAQ_PROCESSOR_INFO and GET_DAQ_RESOLUTION_INFO.
struct DaqLimits {
  uint16_t maxDto = 8;
  uint8_t minDaq = 0;
  uint16_t configurableLists = 0;
  uint8_t identificationType = 0;  // 0 to 3
  uint8_t granularity = 1;
  uint8_t maxEntrySize = 1;

  size_t identifierBytes() const { return identificationType + 1u; }
  size_t odtCapacity() const { return maxDto - identifierBytes(); }  // MAX_DTO is checked to exceed the identifier
};

// Bytes of one element of a signal type (0 for an unknown type).
uint8_t elementSize(uint8_t type);

// The lists for the signals, in order: a list per event channel in order of first appearance, ODTs filled up to the
// capacity with entries of their real size. 0x02010201 when the slave's limits are exceeded.
uint32_t layOut(const kit::Call& call, std::span<const Qor_Common_Xcp_Daq_Signal_t> signals, const DaqLimits& limits,
                std::vector<DaqList>& lists);

// The identifier bytes of the DTOs of an ODT, packed into a key, the same for filling the look-up and for reading.
uint32_t identifierKey(std::span<const uint8_t> identifier);
std::vector<uint8_t> identifierOf(const DaqLimits& limits, const CommandInfo& info, const DaqList& list, uint8_t odt);

struct OdtRef {
  uint16_t list;
  uint8_t odt;
};
using DaqLookup = std::map<uint32_t, OdtRef>;

// One value per entry of the ODT; data are the bytes after the identifier, at least bytesUsed of them.
template <class Emit>
void decodeOdt(const DaqOdt& odt, const CommandInfo& info, std::span<const uint8_t> data, Emit&& emit) {
  size_t position = 0;
  for (const DaqEntry& entry : odt.entries) {
    const size_t width = std::min<size_t>(elementSize(entry.type), entry.size);
    const uint32_t value = width >= 4 ? info.read32(data, position)
                           : width >= 2 ? info.read16(data, position)
                                        : data[position];
    if (!emit(entry, value)) return;
    position += entry.size;
  }
}

}  // namespace qor::common::xcp
