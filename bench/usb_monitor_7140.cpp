// The 7140 model's monitor assembly in MB/s: the device's bytes in reads as the port makes them (as much as fits
// behind the bytes it holds, 4108 at most), turned into whole items, against the floor of copying the same bytes in
// reads of the same size, in alternating blocks of one run. Every round's items are checked against the stream's.
#include <cstdio>
#include <cstring>
#include <vector>

#include "bench_support.hpp"
#include "map_usb_7140.hpp"
#include "qor_emulator/monitor_7140_stream.hpp"

namespace {

using namespace qor::bench;
using qor::daemon::k7140MonitorDataSize;
using qor::emulator::monitor7140::Bytes;

constexpr int kBlocks = 7;
constexpr int kRoundsPerBlock = 5;
constexpr size_t kStreamBytes = 8u << 20;

// Walks the stream through one assembly; true when the items come out whole and in order.
bool assemble(const qor::emulator::monitor7140::Stream& stream, Bytes& out) {
  qor::daemon::Monitor7140Assembly assembly;
  size_t at = 0;
  size_t written = 0;
  while (at < stream.bytes.size() || assembly.held() != 0) {
    const size_t room = k7140MonitorDataSize - std::min(assembly.held(), k7140MonitorDataSize - 1);
    const size_t length = std::min(room, stream.bytes.size() - at);
    const size_t got = assembly.take({stream.bytes.data() + at, length}, {out.data(), k7140MonitorDataSize});
    if (written + got > stream.items.size() || memcmp(out.data(), stream.items.data() + written, got) != 0) return false;
    written += got;
    at += length;
    if (length == 0 && got == 0) break;
  }
  return written == stream.items.size();
}

// The floor: the same bytes copied in reads of the monitor size, and compared as the product's output is.
bool copy(const qor::emulator::monitor7140::Stream& stream, Bytes& out) {
  for (size_t at = 0; at < stream.bytes.size(); at += k7140MonitorDataSize) {
    const size_t length = std::min(k7140MonitorDataSize, stream.bytes.size() - at);
    memcpy(out.data(), stream.bytes.data() + at, length);
    if (memcmp(out.data(), stream.bytes.data() + at, length) != 0) return false;
  }
  return true;
}

} // namespace

int main() {
  const struct {
    const char* name;
    uint8_t words;
    size_t piecePayload;
  } cases[] = {
      {"large items of 6 words, pieces of 8 bytes", 6, 8},
      {"large items of 100 words, pieces of 64 bytes", 100, 64},
      {"large items of 255 words, pieces of 1012 bytes", 255, 1012},
  };
  bool right = true;
  for (const auto& c : cases) {
    const auto one = qor::emulator::monitor7140::mixedStream(1, c.words, c.piecePayload);
    const auto stream = qor::emulator::monitor7140::mixedStream(kStreamBytes / one.bytes.size(), c.words, c.piecePayload);
    Bytes out(k7140MonitorDataSize);
    const AlternatedRounds rounds =
        alternateRounds(kBlocks, kRoundsPerBlock, [&] { return copy(stream, out); }, [&] { return assemble(stream, out); });
    const double megabytes = static_cast<double>(stream.bytes.size()) / 1e6;
    std::printf("7140 monitor assembly, %s: %.1f MB of stream, %.1f MB of items (%d blocks of %d rounds)\n", c.name,
                megabytes, static_cast<double>(stream.items.size()) / 1e6, kBlocks, kRoundsPerBlock);
    printAlternatedRounds(rounds, "floor (copying the same reads)", "assembly");
    std::printf("  %-30s %8.0f MB/s against %8.0f MB/s: %.2f x\n", "stream rate at the median",
                megabytes / (rounds.product.median / 1e6), megabytes / (rounds.floor.median / 1e6),
                rounds.floor.median / rounds.product.median);
    right = right && rounds.floorFailures + rounds.productFailures == 0;
  }
  return right ? 0 : 1;
}
