// The swap file: records that left memory, back to back exactly as in memory (no header, no padding), only ever
// appended; the i-th record in the file is the trace's i-th record. The file is made on the first append under a
// name no one else holds (the stem + ".bin", else the stem + "_<n>.bin"), in the directory that was current when
// the store was made, and removed with the store. Not locked: the store's owner serialises every call.
#pragma once

#include <cstdint>
#include <deque>
#include <string>

#include "file_descriptor.hpp"
#include "trace_entry.hpp"

namespace qor::trace {

// Reads the first records of a swap file through a descriptor of its own, one checked record at a time: a length
// outside the record bounds, a record whose bus part does not hold together or a file that ends early is a file
// error (0x2140007), never a read past what was stored.
class SwapReader {
 public:
  SwapReader() = default;
  SwapReader(FileDescriptor file, uint64_t records) : file_(std::move(file)), remaining_(records) {}

  uint64_t remaining() const { return remaining_; }
  void skip(uint64_t count);
  SharedEntry next();

 private:
  uint32_t readLength();
  void readExactly(uint8_t* into, size_t count);

  FileDescriptor file_;
  uint64_t remaining_ = 0;
};

class SwapFile {
 public:
  // stem: a path without the ".bin", relative to the current directory or absolute.
  explicit SwapFile(const std::string& stem);
  ~SwapFile();
  SwapFile(const SwapFile&) = delete;
  SwapFile& operator=(const SwapFile&) = delete;

  // Appends every record whole, or nothing: on a failure the file is cut back to what it held and a file error
  // (0x2140007) is thrown.
  void append(const std::deque<SharedEntry>& entries);
  uint64_t records() const { return records_; }
  // Starts over with no records. Readers made before keep reading what they were given.
  void clear();
  // A reader of the records there are now.
  SwapReader reader() const;
  // The file's name; empty before the first append.
  const std::string& path() const { return path_; }

 private:
  void create();

  std::string stem_;
  std::string path_;
  FileDescriptor file_;
  uint64_t records_ = 0;
  uint64_t bytes_ = 0;
};

}  // namespace qor::trace
