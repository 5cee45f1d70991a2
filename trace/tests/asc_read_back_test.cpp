// An ASC export read back by an independent reader, python-can's: every CAN frame and error frame of the trace comes
// back with its time, channel, identifier, flags and bytes, across swapped and held records and across split files,
// and the LIN, FlexRay, Ethernet and trigger lines between them do not disturb it.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>

#include "asc_writer.hpp"
#include "entry_store.hpp"
#include "trace_export.hpp"
#include "trace_records.hpp"

namespace qor::trace {
namespace {

using test::Bytes;

// What the reader script prints for a CAN record; empty for records it does not read.
std::string readerLine(const TraceEntry& entry) {
  if (entry.busType() != QOR_TRACE_BUS_CAN) return {};
  const auto record = entry.record();
  const uint8_t flags = record[40];
  if (flags & QOR_TRACE_CAN_TRIGGER_EVENT) return {};
  std::string line = std::to_string(entry.timestamp() / 1000) + " " + std::to_string(entry.channelId()) + " ";
  if (flags & QOR_TRACE_CAN_ERROR_FRAME) return line + "errorframe";
  char identifier[16];
  std::snprintf(identifier, sizeof identifier, "%x%s", fieldAt<uint32_t>(record, 36) & 0x3FFFFFFF,
                flags & QOR_TRACE_CAN_EXTENDED ? "x" : "");
  line += std::string(flags & QOR_TRACE_CAN_SENT ? "tx " : "rx ") + identifier;
  line += std::string(" brs=") + (flags & QOR_TRACE_CAN_BIT_RATE_SWITCH ? "1" : "0");
  line += std::string(" esi=") + (flags & QOR_TRACE_CAN_ERROR_STATE ? "1" : "0") + " ";
  std::string data;
  for (uint8_t byte : record.subspan(offsets::kCanData)) {
    char digits[3];
    std::snprintf(digits, sizeof digits, "%02x", byte);
    data += digits;
  }
  return line + (data.empty() ? "-" : data);
}

// Frames of every form on channels 1 to 9 (the reader takes channels as decimal digits), with other buses' lines
// and trigger events in between; whole microseconds, as the reader's float time keeps them.
std::vector<SharedEntry> mixedTrace() {
  std::vector<SharedEntry> entries;
  uint64_t time = 1000000;
  for (uint32_t index = 0; index < 60; ++index) {
    time += 1000 + 37000 * (index % 5);
    const uint32_t channel = 1 + index % 9;
    const Bytes data(index % 9 == 0 ? 64 : index % 9, static_cast<uint8_t>(index * 7));
    const uint8_t dlc = data.size() == 64 ? 15 : static_cast<uint8_t>(data.size());
    // Classic standard, extended sent, FD extended with bit-rate switch and error state, FD standard with bit-rate
    // switch, error frames received and sent, trigger events.
    const uint8_t code = static_cast<uint8_t>(index % 8);
    const uint8_t edge = static_cast<uint8_t>(index % 3);
    switch (index % 6) {
      case 0: entries.push_back(test::canFrame(channel, time, 0x100 + index, 0x00, data, dlc)); break;
      case 1: entries.push_back(test::canFrame(channel, time, 0x81234500u + index, 0x03, data, dlc)); break;
      case 2: entries.push_back(test::canFrame(channel, time, 0xC1ABCD00u + index, 0x69, data, dlc)); break;
      case 3: entries.push_back(test::canFrame(channel, time, 0x400007F0u + index, 0x28, data, dlc)); break;
      case 4: entries.push_back(test::canFrame(channel, time, 0, 0x04 | (index & 2), {code})); break;
      default: entries.push_back(test::canFrame(channel, time, 0, 0x10, {edge})); break;
    }
    if (index % 4 == 0) entries.push_back(test::linFrame(channel, time + 1, 0, 0x12, {1, 2, 3}, 8 * 52083));
    if (index % 7 == 0) entries.push_back(test::ethernetFrame(channel, time + 2, 1, Bytes(60, 0xEE)));
    if (index % 11 == 0) {
      entries.push_back(test::flexRayEntry(channel, time + 3, 1, Bytes{0, 0, 0x20, 0, 1, 2, 0, 0, 1, 2, 3, 4}));
    }
  }
  return entries;
}

std::vector<std::string> readBack(const std::vector<std::string>& files) {
  std::string command = QOR_TRACE_ASC_READER;
  for (const std::string& file : files) command += " " + file;
  FILE* output = popen(command.c_str(), "r");
  EXPECT_NE(output, nullptr);
  if (output == nullptr) return {};
  std::vector<std::string> lines;
  char line[512];
  while (std::fgets(line, sizeof line, output) != nullptr) lines.emplace_back(line, std::strcspn(line, "\n"));
  EXPECT_EQ(pclose(output), 0) << "the reader read every file";
  return lines;
}

TEST(AscReadBack, EveryCanEntryComesBackAcrossSwappedRecordsAndSplitFiles) {
  EntryStore store("/tmp/read_back");
  store.setMemoryLimit(16);
  std::vector<std::string> expected;
  for (const SharedEntry& entry : mixedTrace()) {
    if (const std::string line = readerLine(*entry); !line.empty()) expected.push_back(line);
    store.store(entry);
    store.checkMemory();
  }
  ASSERT_GT(store.swappedCount(), 0u);

  std::filesystem::create_directories("/tmp/asc");
  TraceSnapshot snapshot = store.snapshot();
  exportToAsc(snapshot, kAscSplit, "/tmp/asc/trace.asc", 0, 2048);
  std::vector<std::string> files{"/tmp/asc/trace.asc"};
  while (std::filesystem::exists("/tmp/asc/trace_" + std::to_string(files.size()) + ".asc")) {
    files.push_back("/tmp/asc/trace_" + std::to_string(files.size()) + ".asc");
  }
  ASSERT_GE(files.size(), 3u);

  EXPECT_EQ(readBack(files), expected);
}

}  // namespace
}  // namespace qor::trace
