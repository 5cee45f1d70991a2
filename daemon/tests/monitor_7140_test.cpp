// The 7140 model's monitor items assembled across reads.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "map_usb_7140.hpp"

namespace qor::daemon {
namespace {

using Bytes = std::vector<uint8_t>;

// An item of this kind whose length field says declared; its bytes (rounded up to 4) are filled with fill.
Bytes item(uint16_t kind, uint16_t declared, uint8_t fill) {
  Bytes bytes((declared + 3u) & ~3u, fill);
  memcpy(bytes.data(), &declared, 2);
  memcpy(bytes.data() + 2, &kind, 2);
  return bytes;
}

Bytes largeHeader(uint8_t words) {
  Bytes header = item(13, 16, 0xA0);
  header[15] = words;
  return header;
}

Bytes joined(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

Bytes take(Monitor7140Assembly& assembly, const Bytes& read, size_t room = k7140MonitorDataSize) {
  Bytes out(room);
  out.resize(assembly.take(read, out));
  return out;
}

TEST(Monitor7140Assembly, AnItemCutByARead) {
  Monitor7140Assembly assembly;
  const Bytes first = item(3, 20, 0x11);
  const Bytes second = item(3, 24, 0x22);
  const Bytes stream = joined({first, second});
  // The read ends inside the second item: the first goes out, the second waits.
  EXPECT_EQ(take(assembly, Bytes(stream.begin(), stream.begin() + 30)), first);
  EXPECT_EQ(assembly.held(), 10u);
  // Fewer bytes than the item still lacks: nothing goes out yet.
  EXPECT_EQ(take(assembly, Bytes(stream.begin() + 30, stream.begin() + 40)), Bytes{});
  EXPECT_EQ(take(assembly, Bytes(stream.begin() + 40, stream.end())), second);
  EXPECT_EQ(assembly.held(), 0u);
}

TEST(Monitor7140Assembly, WalksTheItemsOfOneRead) {
  struct Case {
    const char* name;
    Bytes read;
    Bytes out;
  };
  const Bytes six = item(5, 6, 0x33); // 8 bytes
  const Bytes piece16 = item(14, 28, 0xB1);
  const Bytes piece12 = item(14, 24, 0xB2);
  Bytes large = joined({largeHeader(6), Bytes(piece16.begin() + 12, piece16.end()), Bytes(piece12.begin() + 12, piece12.end())});
  large[0] = 44;
  const Case cases[] = {
      {"lengths are rounded up to four bytes", joined({six, six}), joined({six, six})},
      {"a length of 0 ends the walk", joined({six, Bytes{0, 0, 3, 0}, six}), six},
      {"a length above 1024 ends the walk", joined({six, item(9, 1028, 0x44)}), six},
      {"a large item from its header and pieces", joined({largeHeader(6), piece16, six, piece12}), joined({six, large})},
      {"a piece without header is skipped", joined({piece16, six}), six},
      {"a header of fewer than six words is an ordinary item", joined({largeHeader(5)}), largeHeader(5)},
  };
  for (const Case& c : cases) {
    Monitor7140Assembly assembly;
    EXPECT_EQ(take(assembly, c.read), c.out) << c.name;
  }
}

TEST(Monitor7140Assembly, WhatDoesNotFitGoesOutWithTheNextRead) {
  Monitor7140Assembly assembly;
  const Bytes ordinary = item(3, 40, 0x55);
  const Bytes stream = joined({ordinary, ordinary, ordinary});
  EXPECT_EQ(take(assembly, stream, 100), joined({ordinary, ordinary}));
  EXPECT_EQ(take(assembly, item(3, 8, 0x66), 100), joined({ordinary, item(3, 8, 0x66)}));
}

} // namespace
} // namespace qor::daemon
