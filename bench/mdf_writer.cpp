// The MDF writer's throughput: CAN, CAN FD, LIN and FlexRay trace records with zero and with random payloads, on 1, 4
// and 16 buses, into one file and into files split at a size limit. Records per second and MB/s of trace records
// taken in, against the floor of writing the same record bytes uncompressed to a plain file in the same folder, in
// alternating blocks of one run; and against saturated buses. Every record must be taken and every file closed
// whole; with a folder on the command line the files of each case's last block stay there, and the independent
// checker must read back every record from them. Without one they go to a temporary folder that is removed.
// It touches no fixed path: the bench target runs it inside qor_sandbox (files in its private /tmp); to keep the files
// for other tools, run it directly with a folder, since the sandbox keeps every host tree read-only.

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "bench_support.hpp"
#include "mdf_file.hpp"
#include "qor_trace_entry.h"

namespace {

using namespace qor::bench;
namespace fs = std::filesystem;

constexpr int kBlocks = 3;
constexpr size_t kRecordBytesPerBlock = 24 << 20;  // enough to split random payloads into several files
constexpr uint32_t kSplitKiB = 4096;               // files of about 2 MiB
constexpr uint64_t kStart = 1'000'000'000;
constexpr uint64_t kRecordSpacingNs = 10'000;
constexpr double kAimRecordsPerSecond = 1e6;
constexpr size_t kFloorPiece = 1 << 20;  // the floor writes the record bytes uncompressed, a data block at a time

// A kind of record with its payload size and the records per second one saturated bus of it carries:
// CAN at 1 Mbit/s with 8 data bytes (111 bits a frame, no stuffing); CAN FD at 1 and 8 Mbit/s with 64 bytes (about
// 110 us a frame); LIN at 20 kbit/s with 8 bytes (124 bits); FlexRay on one channel at 10 Mbit/s with 64 bytes
// (about 780 bits with the coding).
struct RecordKind {
  const char* name;
  uint8_t busType;
  bool fd;
  size_t payload;
  double saturatedPerBus;
};

constexpr RecordKind kKinds[] = {
    {"CAN", QOR_TRACE_BUS_CAN, false, 8, 1e6 / 111},
    {"CAN FD", QOR_TRACE_BUS_CAN, true, 64, 1e6 / 110},
    {"LIN", QOR_TRACE_BUS_LIN, false, 8, 20e3 / 124},
    {"FlexRay", QOR_TRACE_BUS_FLEXRAY, false, 64, 10e6 / 780},
};

// Trace records packed as in a trace buffer: each at an 8-byte aligned offset.
struct Records {
  std::vector<uint64_t> storage;
  std::vector<size_t> offsets;
  std::vector<uint8_t> bytes;  // the same records back to back, for the floor
  uint64_t endTime = 0;

  const Qor_Trace_Entry_t& at(size_t index) const {
    return *reinterpret_cast<const Qor_Trace_Entry_t*>(reinterpret_cast<const uint8_t*>(storage.data()) +
                                                       offsets[index]);
  }
};

uint32_t recordLength(const RecordKind& kind) {
  switch (kind.busType) {
    case QOR_TRACE_BUS_CAN: return static_cast<uint32_t>(offsetof(Qor_Trace_Entry_Can_t, data) + kind.payload);
    case QOR_TRACE_BUS_LIN: return sizeof(Qor_Trace_Entry_Lin_t);
    default: return static_cast<uint32_t>(sizeof(Qor_Trace_Entry_FlexRay_t) + kind.payload);
  }
}

// One record of the kind at `time` on bus `channel`, its payload taken from `payload`.
void fillRecord(uint8_t* at, const RecordKind& kind, uint32_t channel, uint64_t time, uint32_t serial,
                const uint8_t* payload) {
  const uint32_t length = recordLength(kind);
  std::memset(at, 0, length);
  Qor_Trace_Entry_t head{length, channel, time, kRecordSpacingNs, kind.busType};
  std::memcpy(at, &head, sizeof head);
  if (kind.busType == QOR_TRACE_BUS_CAN) {
    auto* can = reinterpret_cast<Qor_Trace_Entry_Can_t*>(at);
    can->timestamp = time;
    can->identifier = serial % 0x7FF;
    can->flags = kind.fd ? QOR_TRACE_CAN_FD | QOR_TRACE_CAN_BIT_RATE_SWITCH : 0;
    can->dlc = kind.fd ? 15 : 8;
    can->dataLength = static_cast<uint8_t>(kind.payload);
    std::memcpy(can->data, payload, kind.payload);
  } else if (kind.busType == QOR_TRACE_BUS_LIN) {
    auto* lin = reinterpret_cast<Qor_Trace_Entry_Lin_t*>(at);
    lin->byteCount = static_cast<uint8_t>(kind.payload + 1);
    lin->identifier = static_cast<uint8_t>(serial % 60);
    std::memcpy(lin->bytes, payload, kind.payload + 1);
    lin->bitTime = 50'000 * 8;
  } else {
    auto* flexRay = reinterpret_cast<Qor_Trace_Entry_FlexRay_t*>(at);
    flexRay->entryLength = static_cast<uint16_t>(length - sizeof(Qor_Trace_Entry_t));
    flexRay->entryType = 1;
    flexRay->timestamp = time;
    flexRay->slot = static_cast<uint16_t>(1 + serial % 2047);
    flexRay->cycle = static_cast<uint8_t>(serial % 64);
    flexRay->payloadWords = static_cast<uint8_t>(kind.payload / 2);
    std::memcpy(at + sizeof(Qor_Trace_Entry_FlexRay_t), payload, kind.payload);
  }
}

Records makeRecords(const RecordKind& kind, bool randomPayload, uint32_t buses) {
  const uint32_t length = recordLength(kind);
  const size_t count = kRecordBytesPerBlock / length;
  const size_t stride = (length + 7) / 8 * 8;
  Records records;
  records.storage.resize(count * stride / 8);
  records.bytes.resize(count * length);
  std::mt19937 random(7);
  uint8_t payload[65] = {};
  uint64_t time = kStart;
  for (size_t index = 0; index < count; ++index) {
    if (randomPayload) {
      for (uint8_t& byte : payload) byte = static_cast<uint8_t>(random());
    }
    time += kRecordSpacingNs;
    auto* at = reinterpret_cast<uint8_t*>(records.storage.data()) + index * stride;
    fillRecord(at, kind, static_cast<uint32_t>(index % buses), time, static_cast<uint32_t>(index), payload);
    records.offsets.push_back(index * stride);
    std::memcpy(records.bytes.data() + index * length, at, length);
  }
  records.endTime = time + kRecordSpacingNs;
  return records;
}

// The files one recording named `base` left: base.mf4, base_1.mf4, ...
std::vector<std::string> recordingFiles(const std::string& base) {
  std::vector<std::string> names;
  for (std::string name = base + ".mf4"; fs::exists(name); name = base + "_" + std::to_string(names.size()) + ".mf4") {
    names.push_back(name);
  }
  return names;
}

void removeRecording(const std::string& base) {
  for (const std::string& name : recordingFiles(base)) fs::remove(name);
}

// One recording of all records; the number the writer took, or 0 when the file did not close whole.
size_t recordMdf(const std::string& base, const RecordKind& kind, uint32_t buses, bool split,
                 const Records& records) {
  MDF::MdfFile file(base + ".mf4", kStart, split ? kSplitKiB : 0);
  if (!file.File_Open(kStart)) return 0;
  for (uint32_t channel = 0; channel < buses; ++channel) {
    if (!file.Bus_Add(channel, kind.busType)) return 0;
  }
  file.Write();
  size_t taken = 0;
  for (size_t index = 0; index < records.offsets.size(); ++index) {
    if (file.Data_Insert(records.at(index))) ++taken;
  }
  return file.File_Close(records.endTime) ? taken : 0;
}

// Record lines the independent checker reads back from the file; -1 when it finds the file broken.
long checkedRecords(const std::string& name) {
  FILE* output = popen((std::string(QOR_MDF_CHECKER) + " '" + name + "'").c_str(), "r");
  if (output == nullptr) return -1;
  long records = 0;
  char line[512];
  bool lineStart = true;
  while (std::fgets(line, sizeof line, output) != nullptr) {
    if (lineStart && std::strncmp(line, "RECORD ", 7) == 0) ++records;
    lineStart = std::strchr(line, '\n') != nullptr;
  }
  const int status = pclose(output);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? records : -1;
}

struct CaseResult {
  double mdfSeconds = 0, floorSeconds = 0;
  size_t files = 0, fileBytes = 0;
  bool whole = true;
};

CaseResult runCase(const std::string& folder, const RecordKind& kind, bool randomPayload, uint32_t buses, bool split,
                   bool readBack) {
  const Records records = makeRecords(kind, randomPayload, buses);
  std::string base = folder + "/" + kind.name + (randomPayload ? "_random_" : "_zero_") + std::to_string(buses) +
                     "buses" + (split ? "_split" : "");
  for (char& c : base) c = c == ' ' ? '_' : c;
  const std::string plain = folder + "/floor.bin";
  CaseResult result;
  for (int block = 0; block < kBlocks; ++block) {
    auto start = Clock::now();
    result.whole = writePlainFile(plain, records.bytes, kFloorPiece) && result.whole;
    result.floorSeconds += seconds(Clock::now() - start);
    fs::remove(plain);

    removeRecording(base);
    start = Clock::now();
    result.whole = recordMdf(base, kind, buses, split, records) == records.offsets.size() && result.whole;
    result.mdfSeconds += seconds(Clock::now() - start);
  }
  const std::vector<std::string> files = recordingFiles(base);
  result.files = files.size();
  long readRecords = 0;
  for (const std::string& name : files) {
    result.fileBytes += fs::file_size(name);
    const long read = readBack ? checkedRecords(name) : 0;
    if (read < 0) std::printf("  checker rejects %s\n", name.c_str());
    readRecords = read < 0 || readRecords < 0 ? -1 : readRecords + read;
  }
  if (readBack && readRecords != static_cast<long>(records.offsets.size())) {
    std::printf("  %s: checker read %ld records of %zu\n", base.c_str(), readRecords, records.offsets.size());
    result.whole = false;
  }
  return result;
}

}  // namespace

int main(int argc, char** argv) {
  const bool keep = argc > 1;
  std::string folder;
  if (keep) {
    folder = argv[1];
    fs::create_directories(folder);
  } else {
    char name[] = "/tmp/qor_mdf_bench_XXXXXX";
    if (mkdtemp(name) == nullptr) return 1;
    folder = name;
  }

  std::printf("MDF writer: %d alternating blocks of %zu MiB of trace records per case against writing them "
              "uncompressed; %s\n",
              kBlocks, kRecordBytesPerBlock >> 20, keep ? "files kept and read back by the checker" : "files removed");
  std::printf("  %-8s %-6s %5s %-5s %12s %9s %9s %6s %10s %9s %5s %8s %s\n", "kind", "data", "buses", "split",
              "records/s", "MB/s", "floor MB/s", "ratio", "x 1M rec/s", "x buses", "files", "MiB", "whole");
  bool allWhole = true;
  for (const RecordKind& kind : kKinds) {
    for (bool randomPayload : {false, true}) {
      for (uint32_t buses : {1u, 4u, 16u}) {
        for (bool split : {false, true}) {
          const CaseResult result = runCase(folder, kind, randomPayload, buses, split, keep);
          const double records = static_cast<double>(kRecordBytesPerBlock / recordLength(kind)) * kBlocks;
          const double bytes = records * recordLength(kind);
          const double recordRate = records / result.mdfSeconds;
          const double byteRate = bytes / result.mdfSeconds / 1e6;
          const double floorRate = bytes / result.floorSeconds / 1e6;
          std::printf("  %-8s %-6s %5u %-5s %12.0f %9.1f %9.1f %6.3f %10.2f %9.0f %5zu %8.2f %s\n", kind.name,
                      randomPayload ? "random" : "zero", buses, split ? "yes" : "no", recordRate, byteRate,
                      floorRate, byteRate / floorRate, recordRate / kAimRecordsPerSecond,
                      recordRate / (kind.saturatedPerBus * buses), result.files,
                      static_cast<double>(result.fileBytes) / (1 << 20), result.whole ? "yes" : "NO");
          std::fflush(stdout);
          allWhole = allWhole && result.whole;
        }
      }
    }
  }
  std::printf("  ratio: MB/s against the floor; x 1M rec/s: records per second against one million; x buses: against "
              "that many saturated buses\n");
  if (!keep) fs::remove_all(folder);
  return allWhole ? 0 : 1;
}
