// The 7140 model's monitor bytes as its FPGA delivers them: items {u16 length, u16 kind, ...}, each rounded up to 4
// bytes; a large item comes as a header (kind 13, byte 15 its count of 4-byte words, whole item count × 4 + 20
// bytes) followed by pieces (kind 14) whose bytes from offset 12 continue it. The host hands on ordinary items as
// they come and a large item, its header's length made the whole item's, when its last piece has come.
#pragma once

#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <vector>

namespace qor::emulator::monitor7140 {

using Bytes = std::vector<uint8_t>;

inline constexpr uint16_t kLargeHeaderKind = 13;
inline constexpr uint16_t kPieceKind = 14;
inline constexpr size_t kPieceHead = 12;

// An item of this kind whose length field says declared; its bytes (rounded up to 4) are filled with fill.
inline Bytes item(uint16_t kind, uint16_t declared, uint8_t fill) {
  Bytes bytes((declared + 3u) & ~3u, fill);
  memcpy(bytes.data(), &declared, 2);
  memcpy(bytes.data() + 2, &kind, 2);
  return bytes;
}

inline Bytes largeHeader(uint8_t words, uint8_t fill = 0xA0) {
  Bytes header = item(kLargeHeaderKind, 16, fill);
  header[15] = words;
  return header;
}

inline Bytes joined(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

struct Stream {
  Bytes bytes; // what the device delivers
  Bytes items; // what the host hands on
};

// rounds × {an ordinary item, a large item of `words` (at least 6) words in pieces of at most piecePayload bytes (a
// multiple of 4), an ordinary item after its first piece}; lengths and fills vary by round.
inline Stream mixedStream(size_t rounds, uint8_t words, size_t piecePayload) {
  Stream stream;
  const auto add = [](Bytes& to, const Bytes& bytes) { to.insert(to.end(), bytes.begin(), bytes.end()); };
  for (size_t round = 0; round < rounds; ++round) {
    const auto fill = static_cast<uint8_t>(round);
    const Bytes before = item(3, static_cast<uint16_t>(5 + round % 200), fill);
    const Bytes between = item(4, static_cast<uint16_t>(4 + (round * 7) % 300), static_cast<uint8_t>(fill ^ 0x5A));
    const Bytes header = largeHeader(words, fill);
    add(stream.bytes, before);
    add(stream.items, before);
    add(stream.bytes, header);

    const uint16_t total = static_cast<uint16_t>(words * 4u + 20u);
    Bytes large = header;
    memcpy(large.data(), &total, 2);
    for (size_t piece = 0; large.size() < total; ++piece) {
      const size_t payload = std::min(piecePayload, total - large.size());
      Bytes bytes = item(kPieceKind, static_cast<uint16_t>(kPieceHead + payload), 0);
      for (size_t i = 0; i < payload; ++i) bytes[kPieceHead + i] = static_cast<uint8_t>(large.size() + i + round);
      large.insert(large.end(), bytes.begin() + kPieceHead, bytes.begin() + static_cast<ptrdiff_t>(kPieceHead + payload));
      add(stream.bytes, bytes);
      if (piece == 0) add(stream.bytes, between);
      if (piece == 0 && large.size() < total) add(stream.items, between);
    }
    add(stream.items, large);
    if (large.size() - header.size() <= piecePayload) add(stream.items, between);
  }
  return stream;
}

} // namespace qor::emulator::monitor7140
