#include "file_stream.hpp"

#include <algorithm>
#include <array>

namespace MDF {

bool FileStream::Open(const std::string& fileName) {
  open(fileName, std::ios::binary | std::ios::out | std::ios::trunc);
  written = false;
  return is_open() && good();
}

int64_t FileStream::EndOfFile() {
  seekp(0, std::ios::end);
  return Position();
}

int64_t FileStream::NextBlockPosition() {
  return CalcStartPos(std::max(EndOfFile(), kIdentificationBlockLength));
}

void FileStream::Bytes_Write(std::span<const uint8_t> bytes) {
  write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  written = true;
}

bool FileStream::ExtendFile(int64_t position) {
  static constexpr std::array<uint8_t, 4096> kZeros{};
  for (int64_t length = EndOfFile(); length < position && good();) {
    const auto chunk = static_cast<size_t>(std::min<int64_t>(position - length, kZeros.size()));
    Bytes_Write(std::span(kZeros.data(), chunk));
    length += static_cast<int64_t>(chunk);
  }
  return good();
}

}  // namespace MDF
