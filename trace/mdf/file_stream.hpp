// The output file of the MDF writer: a binary stream that also remembers whether any block wrote to it since the
// flag was last cleared. Writes after a failure do nothing; callers check good() before they report success.
#pragma once

#include <cstdint>
#include <fstream>
#include <span>
#include <string>

namespace MDF {

// The identification block at the start of every file; no other block goes there.
inline constexpr int64_t kIdentificationBlockLength = 64;

class FileStream : public std::ofstream {
 public:
  bool Open(const std::string& fileName);

  bool written = false;

  int64_t Position() { return static_cast<int64_t>(tellp()); }
  int64_t EndOfFile();
  // Where a block appended now goes: the next 8-byte boundary after the end, never inside the identification block.
  int64_t NextBlockPosition();
  void Seek(int64_t position) { seekp(position); }
  void Bytes_Write(std::span<const uint8_t> bytes);
  // Appends zero bytes until the file is `position` long; a file already as long is left alone.
  bool ExtendFile(int64_t position);
};

// The next multiple of 8 at or after `position`: every block starts there.
inline int64_t CalcStartPos(int64_t position) { return (position + 7) & ~int64_t{7}; }

}  // namespace MDF
