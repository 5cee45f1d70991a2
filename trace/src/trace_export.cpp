#include "trace_export.hpp"

#include "asc_writer.hpp"
#include "pcapng_writer.hpp"
#include "trace_library.hpp"

namespace qor::trace {

void exportToAsc(TraceSnapshot& snapshot, uint32_t flags, const std::string& fileName, uint64_t startTime,
                 uint32_t maxFileSize) {
  if ((flags & ~kAscFlagsDefined) != 0) throw TraceException(kNoPort, kUnknownFlag, "");
  if ((flags & kAscSplit) && maxFileSize < kAscMinimumSplitSize) {
    throw TraceException(kNoPort, kInvalidParameter,
                         "file size needs to be >= " + std::to_string(kAscMinimumSplitSize) + " bytes");
  }
  AscWriter writer(flags, fileName, startTime, maxFileSize);
  snapshot.forEach([&](const TraceEntry& entry) { writer.writeEntry(entry); });
  writer.finish();
}

void exportToPcapng(TraceSnapshot& snapshot, uint32_t flags, const std::string& fileName, uint64_t startTime) {
  if ((flags & ~kPcapngFromStartTime) != 0) throw TraceException(kNoPort, kUnknownFlag, "");
  PcapngWriter writer(flags, fileName, startTime);
  snapshot.forEach([&](const TraceEntry& entry) { writer.writeEntry(entry); });
  writer.finish();
}

}  // namespace qor::trace
