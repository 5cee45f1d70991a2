// The pcapng writer's packets and bytes per second: Ethernet trace records of 64- and of 1,500-byte frames on two
// channels into one capture file, against the floor of writing the same file's bytes to a plain file, in
// alternating blocks of one run. Every record must become one packet block. Runs inside qor_sandbox (files in its
// private /tmp).
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench_support.hpp"
#include "pcapng_writer.hpp"
#include "trace_entry.hpp"
#include "trace_records.hpp"

namespace {

using namespace qor::bench;
using qor::trace::SharedEntry;
namespace fs = std::filesystem;

constexpr int kBlocks = 3;
constexpr uint64_t kStart = 1'000'000'000;
constexpr uint64_t kSpacingNs = 1'000;
constexpr size_t kFloorPiece = 1 << 16;  // as the writer hands its bytes on
constexpr size_t kPacketBlockHead = 44;  // an enhanced packet block without its data, with its flags option

struct Case {
  size_t frameBytes;
  size_t packets;
};

std::vector<SharedEntry> makeRecords(const Case& c) {
  std::vector<SharedEntry> entries;
  entries.reserve(c.packets);
  std::vector<uint8_t> frame(c.frameBytes);
  for (size_t index = 0; index < c.packets; ++index) {
    for (size_t byte = 0; byte < frame.size(); ++byte) frame[byte] = static_cast<uint8_t>(index + byte * 13);
    SharedEntry entry = qor::trace::TraceEntry::fromRecord(
        ethernetRecord(static_cast<uint32_t>(1 + index % 2), kStart + index * kSpacingNs, frame));
    if (!entry) std::exit(1);
    entries.push_back(std::move(entry));
  }
  return entries;
}

double writePcapng(const std::string& name, const std::vector<SharedEntry>& entries) {
  const auto start = Clock::now();
  qor::trace::PcapngWriter writer(0, name, 0);
  for (const SharedEntry& entry : entries) writer.writeEntry(*entry);
  writer.finish();
  return seconds(Clock::now() - start);
}

}  // namespace

int main() {
  char folderName[] = "/tmp/qor_pcapng_bench_XXXXXX";
  if (mkdtemp(folderName) == nullptr) return 1;
  const std::string folder = folderName;
  std::printf("pcapng writer: %d alternating blocks against writing the same file's bytes to a plain file\n",
              kBlocks);
  std::printf("  %-7s %9s %12s %9s %12s %12s %8s %s\n", "frame", "packets", "packets/s", "MB/s", "floor pkt/s",
              "floor MB/s", "x floor", "whole");
  bool allWhole = true;
  for (const Case& c : {Case{64, 1'000'000}, Case{1500, 100'000}}) {
    const std::vector<SharedEntry> entries = makeRecords(c);
    double writer = 0, floor = 0;
    size_t fileBytes = 0;
    bool whole = true;
    for (int block = 0; block < kBlocks; ++block) {
      const std::string name = folder + "/trace.pcapng";
      writer += writePcapng(name, entries);
      const std::vector<uint8_t> bytes = fileContent(name);
      fileBytes = bytes.size();
      // At least a packet block of each frame, padded to 4 bytes, and no more than the file's few other blocks.
      const size_t packetBytes = c.packets * (kPacketBlockHead + (c.frameBytes + 3) / 4 * 4);
      whole = whole && fileBytes >= packetBytes && fileBytes < packetBytes + 4096;
      const auto start = Clock::now();
      whole = writePlainFile(folder + "/floor.bin", bytes, kFloorPiece) && whole;
      floor += seconds(Clock::now() - start);
    }
    const double packets = static_cast<double>(c.packets) * kBlocks;
    const double megabytes = static_cast<double>(fileBytes) * kBlocks / 1e6;
    std::printf("  %5zu B %9zu %12.0f %9.1f %12.0f %12.1f %8.3f %s\n", c.frameBytes, c.packets, packets / writer,
                megabytes / writer, packets / floor, megabytes / floor, floor / writer, whole ? "yes" : "NO");
    allWhole = allWhole && whole;
  }
  std::printf("  MB/s: of the file's bytes; x floor: the writer's rate against the floor's\n");
  fs::remove_all(folder);
  return allWhole ? 0 : 1;
}
