// An ASC text log of trace records: a header, a trigger block of one line per record, a closing line. With
// splitting the log goes on in numbered files (trace.asc, trace_1.asc, trace_2.asc, ...) once a file has grown past
// the maximum size; the record that crossed it stays in the earlier file. One thread at a time.
#pragma once

#include <cstdint>
#include <string>

#include "file_descriptor.hpp"
#include "trace_entry.hpp"

namespace qor::trace {

// Writer flags.
inline constexpr uint32_t kAscDecimal = 0x1;          // numbers of the file's base in decimal (CAN lines stay hex)
inline constexpr uint32_t kAscRelativeTimes = 0x2;    // lines show relativeTimestamp
inline constexpr uint32_t kAscFromStartTime = 0x4;    // start time subtracted; earlier records left out
inline constexpr uint32_t kAscSplit = 0x8;            // split into files of about the maximum size
inline constexpr uint32_t kAscFlagsDefined = 0xF;

class AscWriter {
 public:
  // Opens the first file (0x2140007 when it cannot be opened).
  AscWriter(uint32_t flags, std::string fileName, uint64_t startTime, uint32_t maxFileSize);
  // Completes the last file if finish() did not; failures are no longer reported here.
  ~AscWriter();
  AscWriter(const AscWriter&) = delete;
  AscWriter& operator=(const AscWriter&) = delete;

  // Writes the record's line; a failed write or a next file that cannot be opened is a file error (0x2140007),
  // after which the writer writes nothing more.
  void writeEntry(const TraceEntry& entry);
  // Completes the last file; a failed write or close is a file error.
  void finish();

 private:
  void startNewFile();
  void endFile();
  void writeHeader();
  void writePending();
  std::string nextFileName() const;

  uint32_t flags_;
  std::string baseName_;
  std::string currentName_;
  std::string previousName_;
  uint64_t startTime_;
  uint32_t maxFileSize_;
  uint32_t fileCount_ = 0;
  uint64_t lastTime_ = 0;  // ns of the last record written
  FileDescriptor file_;
  uint64_t fileBytes_ = 0;  // text of the current file so far, header included
  std::string pending_;     // text not yet in the file
};

}  // namespace qor::trace
