// The pcapng writer byte for byte: section header, interface descriptions per channel, packet and custom blocks.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "pcapng_writer.hpp"
#include "trace_export.hpp"
#include "trace_library.hpp"
#include "trace_records.hpp"

namespace qor::trace {
namespace {

using test::Bytes;
using test::join;
using test::le;

const std::string kFile = "/tmp/trace.pcapng";

Bytes fileBytes(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(file), {});
}

Bytes exported(std::vector<SharedEntry> entries, uint32_t flags = 0, uint64_t start = 0) {
  TraceSnapshot snapshot{{}, std::move(entries)};
  exportToPcapng(snapshot, flags, kFile, start);
  return fileBytes(kFile);
}

const Bytes kSectionHeader = join({
    le(0x0A0D0D0A, 4), le(72, 4), le(0x1A2B3C4D, 4), le(1, 2), le(0, 2), le(~uint64_t{0}, 8), le(4, 2), le(35, 2),
    Bytes{'H', 'e', 's', 't', 'o', 'r', ' ', 'e', 'l', 'e', 'c', 't', 'r', 'o', 'n', 'i', 'c', ' ',
          'Q', 'o', 'r', '-', 'A', 'P', 'I', ' ', 'T', 'r', 'a', 'c', 'e', ' ', 'D', 'l', 'l', 0},
    le(0, 4), le(72, 4)});

Bytes interfaceDescription(const std::string& name) {
  Bytes padded(name.begin(), name.end());
  padded.resize((padded.size() + 3) / 4 * 4);
  const uint32_t length = static_cast<uint32_t>(36 + padded.size());
  return join({le(1, 4), le(length, 4), le(1, 2), le(0, 2), le(1522, 4), le(2, 2), le(name.size(), 2), padded,
               le(9, 2), le(1, 2), {9, 0, 0, 0}, le(0, 4), le(length, 4)});
}

Bytes packet(uint32_t interface, uint64_t time, const Bytes& frame, uint32_t original, uint32_t flags) {
  Bytes padded = frame;
  padded.resize((padded.size() + 3) / 4 * 4);
  const uint32_t length = static_cast<uint32_t>(44 + padded.size());
  return join({le(6, 4), le(length, 4), le(interface, 4), le(time >> 32, 4), le(time & 0xFFFFFFFF, 4),
               le(frame.size(), 4), le(original, 4), padded, le(2, 2), le(4, 2), le(flags, 4), le(0, 4),
               le(length, 4)});
}

Bytes counting(size_t count) {
  Bytes bytes(count);
  for (size_t index = 0; index < count; ++index) bytes[index] = static_cast<uint8_t>(index);
  return bytes;
}

TEST(PcapngWriter, WithoutEthernetRecordsOnlyTheSectionHeaderIsWritten) {
  EXPECT_EQ(exported({}), kSectionHeader);
  EXPECT_EQ(exported({test::canFrame(1, 5, 1, 0, {1}), test::linFrame(2, 6, 0, 1, {1}, 0)}), kSectionHeader);
}

TEST(PcapngWriter, ChannelsGetInterfacesInOrderOfAppearance) {
  const uint64_t time = 0x0000000123456789;
  const Bytes bytes = exported({test::ethernetFrame(1, time, 0, counting(60)),
                                test::ethernetFrame(12, time + 1, 1, counting(61)),
                                test::ethernetFrame(1, time + 2, 3, counting(64))});
  EXPECT_EQ(bytes, join({kSectionHeader, interfaceDescription("1"), packet(0, time, counting(60), 60, 1),
                         interfaceDescription("12"), packet(1, time + 1, counting(61), 61, 2),
                         packet(0, time + 2, counting(64), 64, 0x01000002)}));
  EXPECT_EQ(interfaceDescription("12").size(), 40u);
  EXPECT_EQ(packet(0, 0, counting(60), 60, 1).size(), 104u);
  EXPECT_EQ(packet(0, 0, counting(61), 61, 1).size(), 108u);
}

TEST(PcapngWriter, ItemsThatAreNoFramesAndFramesLongerThanTheirRecord) {
  const SharedEntry overrun = test::ethernetFrame(4, 10, 0, counting(8), 0);
  const SharedEntry custom = test::ethernetFrame(4, 11, 0, counting(5), 2);
  const SharedEntry cut =
      TraceEntry::fromEthernetItem(4, join({le(20, 2), le(1, 2), le(12, 8), {0, 0}, le(1500, 2), {7, 8, 9, 10}}));
  EXPECT_EQ(exported({overrun, custom, cut}),
            join({kSectionHeader, interfaceDescription("4"),
                  join({le(0x40000BAD, 4), le(24, 4), le(0, 4), counting(5), Bytes(3), le(24, 4)}),
                  packet(0, 12, {7, 8, 9, 10}, 1500, 1)}));
}

TEST(PcapngWriter, FromTheStartTimeEarlierRecordsAreLeftOut) {
  const std::vector<SharedEntry> entries{test::ethernetFrame(1, 999, 0, counting(60)),
                                         test::ethernetFrame(1, 1001, 0, counting(60))};
  EXPECT_EQ(exported(entries, kPcapngFromStartTime, 1000),
            join({kSectionHeader, interfaceDescription("1"), packet(0, 1, counting(60), 60, 1)}));
  EXPECT_EQ(exported(entries, 0, 1000), join({kSectionHeader, interfaceDescription("1"),
                                              packet(0, 999, counting(60), 60, 1),
                                              packet(0, 1001, counting(60), 60, 1)}));
}

TEST(PcapngWriter, UnknownFlagsAndFilesThatCannotBeWritten) {
  const auto failure = [](uint32_t flags, const std::string& path) -> uint32_t {
    TraceSnapshot snapshot{{}, {test::ethernetFrame(1, 1, 0, counting(60))}};
    try {
      exportToPcapng(snapshot, flags, path, 0);
    } catch (const TraceException& error) {
      return error.code();
    }
    return 0;
  };
  EXPECT_EQ(failure(2, kFile), 0x2140002u);
  EXPECT_EQ(failure(0, "/tmp/no/such/directory/trace.pcapng"), 0x2140007u);
  EXPECT_EQ(failure(0, "/dev/full"), 0x2140007u) << "a full disk";
}

}  // namespace
}  // namespace qor::trace
