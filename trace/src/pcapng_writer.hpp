// The Ethernet records of a trace as a pcapng capture file: a section header, an interface description for every
// trace channel with Ethernet records (named by its channel number, just before its first block), an enhanced
// packet block per frame and a custom block per item of type 2. Records of the other buses are not written.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "file_descriptor.hpp"
#include "trace_entry.hpp"

namespace qor::trace {

// Writer flags: bit 0, times from the start time and earlier records left out.
inline constexpr uint32_t kPcapngFromStartTime = 0x1;

class PcapngWriter {
 public:
  PcapngWriter(uint32_t flags, const std::string& fileName, uint64_t startTime);

  void writeEntry(const TraceEntry& entry);
  // Writes what is pending and closes the file; a failure is a file error.
  void finish();

 private:
  uint32_t interfaceOf(uint32_t channelId);
  void writePending();

  uint32_t flags_;
  std::string fileName_;
  uint64_t startTime_;
  FileDescriptor file_;
  std::map<uint32_t, uint32_t> interfaces_;  // channel id to interface id, in order of first appearance
  std::vector<uint8_t> pending_;
};

}  // namespace qor::trace
