// A pcapng export read back by independent readers, tshark and capinfos: every Ethernet frame of the trace, swapped
// or held, comes back on its channel's interface with its time, lengths, direction, CRC error flag and header bytes.
#include <gtest/gtest.h>

#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "entry_store.hpp"
#include "pcapng_writer.hpp"
#include "trace_export.hpp"
#include "trace_records.hpp"

namespace qor::trace {
namespace {

using test::Bytes;

const std::string kFile = "/tmp/read_back.pcapng";
// The readers' own settings from an empty home: the sandbox keeps the real one out of reach.
const std::string kReader = "env HOME=/tmp XDG_CONFIG_HOME=/tmp/reader_config ";

std::vector<std::string> outputOf(const std::string& command) {
  FILE* output = popen(command.c_str(), "r");
  EXPECT_NE(output, nullptr) << command;
  if (output == nullptr) return {};
  std::vector<std::string> lines;
  char line[1024];
  while (std::fgets(line, sizeof line, output) != nullptr) lines.emplace_back(line, std::strcspn(line, "\n"));
  EXPECT_EQ(pclose(output), 0) << command;
  return lines;
}

std::string hexBytes(std::span<const uint8_t> bytes, const char* separator) {
  std::string text;
  for (size_t index = 0; index < bytes.size(); ++index) {
    char digits[3];
    std::snprintf(digits, sizeof digits, "%02x", bytes[index]);
    text += (index == 0 ? "" : separator) + std::string(digits);
  }
  return text;
}

// A frame to a destination and from a source that name the record, of an experimental Ethernet type.
Bytes frame(uint32_t index, size_t length) {
  Bytes bytes(length, static_cast<uint8_t>(index));
  const Bytes header{0x02, 0, 0, 0, 0, static_cast<uint8_t>(index), 0x02, 0, 0, 0, 1, static_cast<uint8_t>(index),
                     0x88, 0xB5};
  std::copy(header.begin(), header.end(), bytes.begin());
  return bytes;
}

TEST(PcapngReadBack, EveryFrameComesBackOnItsChannelsInterface) {
  const uint32_t channels[] = {1, 12, 3};
  EntryStore store("/tmp/pcapng_read_back");
  store.setMemoryLimit(8);
  std::vector<std::string> expected;
  std::map<uint32_t, uint32_t> interfaces;
  for (uint32_t index = 0; index < 30; ++index) {
    const uint32_t channel = channels[index % 3];
    const uint64_t time = 1700000000000000000ull + index * 1234567ull;
    SharedEntry entry;
    if (index % 10 == 9) {
      entry = test::ethernetFrame(channel, time, 0, Bytes(6, 0xAA), 2);  // custom data, no packet
    } else if (index % 10 == 5) {
      entry = test::canFrame(channel, time, 0x10, 0, {1});  // not written
    } else {
      const uint8_t flags = static_cast<uint8_t>(index % 4);  // sent, CRC error
      entry = test::ethernetFrame(channel, time, flags, frame(index, 60 + index * 17));
      interfaces.emplace(channel, static_cast<uint32_t>(interfaces.size()));
      const auto bytes = entry->record().subspan(offsets::kEthernetFrame);
      char line[256];
      std::snprintf(line, sizeof line, "%u,%u,%" PRIu64 ".%09" PRIu64 ",%zu,%zu,0x0000000%u,%u,%s,%s,0x88b5",
                    interfaces.at(channel), channel, time / 1000000000, time % 1000000000, bytes.size(),
                    bytes.size(), (flags & 1) ? 2 : 1, (flags & 2) ? 1 : 0,
                    hexBytes(bytes.subspan(0, 6), ":").c_str(), hexBytes(bytes.subspan(6, 6), ":").c_str());
      expected.push_back(line);
    }
    store.store(entry);
    store.checkMemory();
  }
  ASSERT_GT(store.swappedCount(), 0u);
  TraceSnapshot snapshot = store.snapshot();
  exportToPcapng(snapshot, 0, kFile, 0);

  EXPECT_EQ(outputOf(kReader + "tshark -r " + kFile +
                     " -Y eth -T fields -E separator=, -e frame.interface_id -e frame.interface_name"
                     " -e frame.time_epoch -e frame.cap_len -e frame.len -e frame.packet_flags_direction"
                     " -e frame.packet_flags_crc_error -e eth.dst -e eth.src -e eth.type 2>&1"),
            expected);

  const std::vector<std::string> info = outputOf(kReader + "capinfos " + kFile + " 2>&1");
  const auto has = [&](const std::string& line) {
    return std::find(info.begin(), info.end(), line) != info.end();
  };
  EXPECT_TRUE(has("File type:           Wireshark/... - pcapng"));
  EXPECT_TRUE(has("Capture application: Hestor electronic Qor-API Trace Dll"));
  EXPECT_TRUE(has("Number of interfaces in file: 3"));
  EXPECT_TRUE(has("Number of packets:   " + std::to_string(expected.size())));
  for (const char* name : {"1", "12", "3"}) EXPECT_TRUE(has(std::string("                     Name = ") + name));
}

}  // namespace
}  // namespace qor::trace
