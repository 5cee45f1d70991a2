// The ASC writer's lines per second: two million mixed trace records (CAN, CAN FD, LIN, FlexRay, Ethernet on four
// channels) into one file, against the floor of writing the same text to a plain file; and side by side with
// python-can's ASC writer (Debian's python3-can, run by /usr/bin/python3) on the same CAN records, the CAN records
// of the first 600,000, against the floor of that text too. Floors, the writer and python-can alternate in blocks of
// one run. Every record must become one line. Runs inside qor_sandbox (files in its private /tmp).
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "asc_writer.hpp"
#include "bench_support.hpp"
#include "trace_entry.hpp"
#include "trace_records.hpp"

namespace {

using namespace qor::bench;
using qor::trace::SharedEntry;
namespace fs = std::filesystem;

constexpr size_t kMixedRecords = 2'000'000;
constexpr size_t kPeerShare = 600'000;  // python-can writes some 60,000 messages a second
constexpr int kBlocks = 3;
constexpr uint64_t kStart = 1'000'000'000;
constexpr uint64_t kSpacingNs = 10'000;
constexpr size_t kFloorPiece = 1 << 16;  // as the writer hands its text on
constexpr size_t kPeerRecordBytes = 8 + 4 + 3 + 64;

struct Records {
  std::vector<SharedEntry> mixed;
  std::vector<SharedEntry> can;  // those of the first kPeerShare
  std::vector<uint8_t> peerInput;  // the same CAN records as asc_python_can.py reads them
};

void addPeerRecord(std::vector<uint8_t>& out, const SharedEntry& entry) {
  Qor_Trace_Entry_Can_t can{};
  std::memcpy(&can, entry->record().data(), std::min(sizeof can, entry->record().size()));
  const size_t at = out.size();
  out.resize(at + kPeerRecordBytes, 0);
  std::memcpy(&out[at], &can.timestamp, 8);
  std::memcpy(&out[at + 8], &can.identifier, 4);
  out[at + 12] = can.flags;
  out[at + 13] = static_cast<uint8_t>(can.head.channelId);
  out[at + 14] = can.dataLength;
  std::memcpy(&out[at + 15], can.data, can.dataLength);
}

// In every ten: four standard CAN frames, one extended, one CAN FD of 64 bytes with the bit-rate switch, one
// standard of 2 bytes, then one LIN frame, one FlexRay frame of 16 bytes and one Ethernet frame of 64 bytes.
Records makeRecords() {
  Records records;
  uint8_t payload[64];
  for (size_t index = 0; index < kMixedRecords; ++index) {
    for (size_t byte = 0; byte < sizeof payload; ++byte) payload[byte] = static_cast<uint8_t>(index * 31 + byte);
    const uint64_t time = kStart + index * kSpacingNs;
    const uint32_t channel = 1 + index % 4;
    const auto id = static_cast<uint32_t>(index % 0x7FF);
    std::vector<uint8_t> record;
    switch (index % 10) {
      case 4: record = canRecord(channel, time, 0x1000000 | id, QOR_TRACE_CAN_EXTENDED, {payload, 8}); break;
      case 5:
        record = canRecord(channel, time, id, QOR_TRACE_CAN_FD | QOR_TRACE_CAN_BIT_RATE_SWITCH, {payload, 64});
        break;
      case 6: record = canRecord(channel, time, id, 0, {payload, 2}); break;
      case 7: record = linRecord(channel, time, static_cast<uint8_t>(index % 60), {payload, 9}); break;
      case 8: record = flexRayRecord(channel, time, static_cast<uint16_t>(1 + index % 2047), index % 64, {payload, 16});
        break;
      case 9: record = ethernetRecord(channel, time, {payload, 64}); break;
      default: record = canRecord(channel, time, id, 0, {payload, 8}); break;
    }
    SharedEntry entry = qor::trace::TraceEntry::fromRecord(record);
    if (!entry) {
      std::printf("  record %zu is not taken back\n", index);
      std::exit(1);
    }
    if (index < kPeerShare && entry->busType() == QOR_TRACE_BUS_CAN) {
      records.can.push_back(entry);
      addPeerRecord(records.peerInput, entry);
    }
    records.mixed.push_back(std::move(entry));
  }
  return records;
}

// Seconds to write the records as one ASC file.
double writeAsc(const std::string& name, const std::vector<SharedEntry>& entries) {
  const auto start = Clock::now();
  qor::trace::AscWriter writer(0, name, 0, 0);
  for (const SharedEntry& entry : entries) writer.writeEntry(*entry);
  writer.finish();
  return seconds(Clock::now() - start);
}

size_t linesOf(const std::vector<uint8_t>& text) {
  return static_cast<size_t>(std::count(text.begin(), text.end(), '\n'));
}

// The floor of a file's text: written anew in the writer's pieces; in seconds.
double floorSeconds(const std::string& name, const std::vector<uint8_t>& text) {
  const auto start = Clock::now();
  if (!writePlainFile(name, text, kFloorPiece)) return 0;
  return seconds(Clock::now() - start);
}

// python-can's seconds for the messages, 0 when it failed or wrote another count.
double peerSeconds(const std::string& input, const std::string& output, size_t messages) {
  FILE* run = popen(("/usr/bin/python3 " QOR_ASC_PEER " '" + input + "' '" + output + "'").c_str(), "r");
  if (run == nullptr) return 0;
  double seconds = 0;
  size_t written = 0;
  const bool read = std::fscanf(run, "%lf %zu", &seconds, &written) == 2;
  return pclose(run) == 0 && read && written == messages ? seconds : 0;
}

}  // namespace

int main() {
  char folderName[] = "/tmp/qor_asc_bench_XXXXXX";
  if (mkdtemp(folderName) == nullptr) return 1;
  const std::string folder = folderName;
  const Records records = makeRecords();
  const std::string peerInput = folder + "/can_records.bin";
  if (!writePlainFile(peerInput, records.peerInput, kFloorPiece)) return 1;

  double mixedSeconds = 0, mixedFloor = 0, canSeconds = 0, canFloor = 0, peer = 0, peerFloor = 0;
  size_t mixedLines = 0, canLines = 0, peerLines = 0;
  bool whole = true;
  for (int block = 0; block < kBlocks; ++block) {
    mixedSeconds += writeAsc(folder + "/mixed.asc", records.mixed);
    const auto mixedText = fileContent(folder + "/mixed.asc");
    mixedFloor += floorSeconds(folder + "/floor.txt", mixedText);
    mixedLines = linesOf(mixedText);

    canSeconds += writeAsc(folder + "/can.asc", records.can);
    const auto canText = fileContent(folder + "/can.asc");
    canFloor += floorSeconds(folder + "/floor.txt", canText);
    canLines = linesOf(canText);

    const double peerRun = peerSeconds(peerInput, folder + "/python_can.asc", records.can.size());
    whole = whole && peerRun > 0;
    peer += peerRun;
    const auto peerText = fileContent(folder + "/python_can.asc");
    peerFloor += floorSeconds(folder + "/floor.txt", peerText);
    peerLines = linesOf(peerText);
  }
  fs::remove_all(folder);

  // Each file has a few lines of header and ending besides a line per record.
  constexpr size_t kFrameLinesAtMost = 8;
  whole = whole && mixedLines >= records.mixed.size() && mixedLines <= records.mixed.size() + kFrameLinesAtMost &&
          canLines >= records.can.size() && canLines <= records.can.size() + kFrameLinesAtMost;
  const auto perSecond = [](size_t lines, double seconds) { return static_cast<double>(lines) * kBlocks / seconds; };
  std::printf("ASC writer: %d alternating blocks; lines per second and against the floor of writing the same text\n",
              kBlocks);
  std::printf("  %-42s %10s %12s %12s %8s\n", "case", "lines", "lines/s", "floor l/s", "x floor");
  const auto row = [&](const char* name, size_t lines, double seconds, double floor) {
    std::printf("  %-42s %10zu %12.0f %12.0f %8.3f\n", name, lines, perSecond(lines, seconds),
                perSecond(lines, floor), floor / seconds);
  };
  row("mixed records, this writer", mixedLines, mixedSeconds, mixedFloor);
  row("CAN records of the first 600,000, this writer", canLines, canSeconds, canFloor);
  row("the same CAN records, python-can", peerLines, peer, peerFloor);
  std::printf("  this writer against python-can on the same CAN records: %.2f x the messages per second\n",
              peer / canSeconds);
  std::printf("  every record one line, python-can took every message: %s\n", whole ? "yes" : "NO");
  return whole ? 0 : 1;
}
