// The 7140 model's monitor items assembled across reads.
#include <gtest/gtest.h>

#include <vector>

#include "map_usb_7140.hpp"
#include "qor_emulator/monitor_7140_stream.hpp"

namespace qor::daemon {
namespace {

using emulator::monitor7140::Bytes;
using emulator::monitor7140::item;
using emulator::monitor7140::joined;
using emulator::monitor7140::largeHeader;

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
  Bytes longHeader = item(13, 48, 0xA1); // six words make a whole item of 44 bytes
  longHeader[15] = 6;
  const Case cases[] = {
      {"lengths are rounded up to four bytes", joined({six, six}), joined({six, six})},
      {"a length of 0 ends the walk", joined({six, Bytes{0, 0, 3, 0}, six}), six},
      {"a length above 1024 ends the walk", joined({six, item(9, 1028, 0x44)}), six},
      {"a large item from its header and pieces", joined({largeHeader(6), piece16, six, piece12}), joined({six, large})},
      {"a piece without header is skipped", joined({piece16, six}), six},
      {"a header of fewer than six words is an ordinary item", joined({largeHeader(5)}), largeHeader(5)},
      {"a header longer than its item starts nothing", joined({longHeader, piece16, six, piece12}), six},
      {"a header longer than its item ends the one collected", joined({largeHeader(6), piece16, longHeader, piece12}),
       Bytes{}},
      {"a piece shorter than its head adds nothing", joined({largeHeader(6), item(14, 8, 0xEE), piece16, piece12}),
       large},
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
  // Also when the next read brings nothing: the device may have fallen silent.
  EXPECT_EQ(take(assembly, stream, 100), joined({ordinary, ordinary}));
  EXPECT_EQ(take(assembly, Bytes{}, 100), ordinary);
  EXPECT_EQ(assembly.held(), 0u);
  EXPECT_EQ(take(assembly, Bytes{}, 100), Bytes{});
}

// Reads cut the stream anywhere: inside a length field, a header, a piece or an ordinary item, one byte at a time;
// what comes out over all reads is the same.
TEST(Monitor7140Assembly, ReadsCutAnywhereGiveTheSameItems) {
  const Bytes ordinary = item(3, 21, 0x11);
  const Bytes piece = item(14, 12 + 16, 0xB1);
  const Bytes lastPiece = item(14, 12 + 12, 0xB2); // 16 + 16 + 12 bytes: the 44 of six words
  const Bytes stream = joined({ordinary, largeHeader(6), piece, item(5, 6, 0x22), lastPiece, ordinary});
  Bytes large = joined({largeHeader(6), Bytes(piece.begin() + 12, piece.end()), Bytes(lastPiece.begin() + 12, lastPiece.end())});
  large[0] = 44;
  const Bytes expected = joined({ordinary, item(5, 6, 0x22), large, ordinary});

  const auto assembled = [&](const std::vector<size_t>& cuts) {
    Monitor7140Assembly assembly;
    Bytes out;
    size_t from = 0;
    for (size_t to : cuts) {
      const Bytes got = take(assembly, Bytes(stream.begin() + from, stream.begin() + to));
      out.insert(out.end(), got.begin(), got.end());
      from = to;
    }
    EXPECT_EQ(assembly.held(), 0u);
    return out;
  };
  for (size_t first = 0; first <= stream.size(); ++first) {
    for (size_t second = first; second <= stream.size(); ++second) {
      ASSERT_EQ(assembled({first, second, stream.size()}), expected) << "cut at " << first << " and " << second;
    }
  }
  std::vector<size_t> everyByte(stream.size());
  for (size_t i = 0; i < everyByte.size(); ++i) everyByte[i] = i + 1;
  EXPECT_EQ(assembled(everyByte), expected);
}

// Reads as the port makes them: as much as fits behind the bytes held, the output full now and then.
TEST(Monitor7140Assembly, ALongStreamInReadsOfTheMonitorSize) {
  for (const uint8_t words : {6, 100, 255}) {
    const auto stream = emulator::monitor7140::mixedStream(200, words, 500);
    Monitor7140Assembly assembly;
    Bytes out;
    for (size_t at = 0; at < stream.bytes.size() || assembly.held() != 0;) {
      const size_t room = k7140MonitorDataSize - std::min(assembly.held(), k7140MonitorDataSize - 1);
      const size_t length = std::min(room, stream.bytes.size() - at);
      const Bytes got = take(assembly, Bytes(stream.bytes.begin() + at, stream.bytes.begin() + at + length));
      out.insert(out.end(), got.begin(), got.end());
      at += length;
      ASSERT_LE(out.size(), stream.items.size()) << "words " << int{words};
      if (length == 0 && got.empty()) break;
    }
    EXPECT_EQ(out, stream.items) << "words " << int{words};
  }
}

} // namespace
} // namespace qor::daemon
