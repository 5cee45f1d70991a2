// Exports of a whole trace: its snapshot (swapped records, then those in memory) written to a file.
#pragma once

#include <cstdint>
#include <string>

#include "entry_store.hpp"

namespace qor::trace {

// The smallest maximum size of a split ASC file.
inline constexpr uint32_t kAscMinimumSplitSize = 512;

// ASC: flags 0 to 15 (0x2140002 otherwise); with splitting the maximum size must be at least 512 (0x2140005).
void exportToAsc(TraceSnapshot& snapshot, uint32_t flags, const std::string& fileName, uint64_t startTime,
                 uint32_t maxFileSize);

// pcapng: flags 0 or 1 (0x2140002 otherwise).
void exportToPcapng(TraceSnapshot& snapshot, uint32_t flags, const std::string& fileName, uint64_t startTime);

}  // namespace qor::trace
