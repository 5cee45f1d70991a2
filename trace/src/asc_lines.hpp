// The text of one record in an ASC file, by bus: CAN, LIN, FlexRay and Ethernet lines. Every count read from the
// record is held to the bytes the record has.
#pragma once

#include <cstdint>
#include <string>

#include "asc_text.hpp"
#include "trace_entry.hpp"

namespace qor::trace {

struct AscLineTimes {
  std::string time;    // the line's time text
  int64_t sinceStart;  // the record's time stamp minus the start time, for the LIN start-of-frame field
};

// Appends the record's line (ending in a line feed) to line; records of no line format append nothing.
void appendAscLine(AscLine& line, const TraceEntry& entry, const AscLineTimes& times);

}  // namespace qor::trace
