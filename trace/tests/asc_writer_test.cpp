// The ASC writer: the line of every kind of record, the file's base and time flags, split files, and files that
// cannot be opened or written.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <regex>

#include "qor_api.h"

#include "asc_files.hpp"
#include "asc_writer.hpp"
#include "trace_export.hpp"
#include "trace_library.hpp"
#include "trace_records.hpp"

namespace qor::trace {
namespace {

using test::Bytes;
using test::join;
using test::le;

constexpr uint64_t kTime = 1500000000;  // 1.5 s
constexpr uint32_t kBitTime19200 = 52083 * 8;

struct LineCase {
  const char* what;
  SharedEntry entry;
  const char* line;  // nullptr: the record writes no line
};

std::vector<std::string> writeLines(uint32_t flags, const std::vector<SharedEntry>& entries, uint64_t start = 0) {
  const std::string path = "/tmp/lines.asc";
  {
    AscWriter writer(flags, path, start, 0);
    for (const SharedEntry& entry : entries) writer.writeEntry(*entry);
    writer.finish();
  }
  return test::recordLines(path);
}

void expectLines(uint32_t flags, const std::vector<LineCase>& cases) {
  for (const LineCase& c : cases) {
    ASSERT_TRUE(c.entry) << c.what;
    const std::vector<std::string> lines = writeLines(flags, {c.entry});
    if (c.line == nullptr) {
      EXPECT_TRUE(lines.empty()) << c.what;
    } else {
      EXPECT_EQ(lines, std::vector<std::string>{c.line}) << c.what;
    }
  }
}

SharedEntry flexRayFrame(uint16_t type, uint8_t indicator, uint8_t payloadWords, Bytes payload) {
  return test::flexRayEntry(3, kTime, type,
                            join({{0, indicator}, le(0x10, 2), {3, payloadWords}, le(0x2AB, 2), payload}));
}

// An Ethernet record whose frame length says more than the record holds.
SharedEntry cutEthernetFrame() {
  return TraceEntry::fromEthernetItem(2, join({le(20, 2), le(1, 2), le(kTime, 8), {0, 0}, le(100, 2), {1, 2, 3, 4}}));
}

TEST(AscWriter, CanLinesInHex) {
  Bytes fd(12);
  for (uint8_t index = 0; index < fd.size(); ++index) fd[index] = index;
  expectLines(0, {
      {"classic", test::canFrame(1, kTime, 0x123, 0, {0x11, 0x22}),
       "1.500000000 CANFD 1 Rx 123   0 0 2  2 11 22 0 0 0 0 0 0 0 0"},
      {"FD extended sent with bit-rate switch and error state", test::canFrame(1, kTime, 0xD2345678, 0x6B, fd, 9),
       "1.500000000 CANFD 1 Tx 12345678x   1 1 9 12 00 01 02 03 04 05 06 07 08 09 0a 0b 0 0 7000 0 0 0 0 0"},
      {"no data bytes", test::canFrame(1, kTime, 0x7FF, 0, {}),
       "1.500000000 CANFD 1 Rx 7ff   0 0 0  0 0 0 0 0 0 0 0 0"},
      {"channel 12 in decimal", test::canFrame(12, kTime, 0x1, 0, {}),
       "1.500000000 CANFD 12 Rx 1   0 0 0  0 0 0 0 0 0 0 0 0"},
      {"error frame received", test::canFrame(1, kTime, 0, 0x04, {2}), "1.500000000 1 ErrorFrame ECC: 01100000"},
      {"error frame sent", test::canFrame(3, kTime, 0, 0x06, {1}), "1.500000000 3 ErrorFrame ECC: 10000000"},
      {"error frame without its code", test::canFrame(1, kTime, 0, 0x04, {}), "1.500000000 1 ErrorFrame ECC: 11100000"},
      {"rising edge", test::canFrame(1, kTime, 0, 0x10, {0}),
       "1.500000000 log trigger event (rising edge on trigger input)"},
      {"falling edge", test::canFrame(1, kTime, 0, 0x10, {1}),
       "1.500000000 log trigger event (falling edge on trigger input)"},
      {"user event", test::canFrame(1, kTime, 0, 0x10, {5, 0xAB}), "1.500000000 log trigger event (user event) 5 ab"},
      {"trigger event without bytes", test::canFrame(1, kTime, 0, 0x10, {}),
       "1.500000000 log trigger event (user event)"},
      {"time past 2^53 ns", test::canFrame(1, (uint64_t{1} << 60) + 1, 0x1, 0, {}),
       "1152921504.606846977 CANFD 1 Rx 1   0 0 0  0 0 0 0 0 0 0 0 0"},
  });
}

TEST(AscWriter, EthernetAndFlexRayLines) {
  expectLines(0, {
      {"Ethernet sent", test::ethernetFrame(2, kTime, 1, {0xDE, 0xAD, 0xBE, 0xEF}), "1.500000000 ETH 2 Tx 4 :deadbeef"},
      {"Ethernet frame longer than its record", cutEthernetFrame(), "1.500000000 ETH 2 Rx 4 :01020304"},
      {"Ethernet item that is no frame", test::ethernetFrame(2, kTime, 0, {1, 2}, 0), nullptr},
      {"FlexRay frame received", flexRayFrame(1, 0x00, 2, {1, 2, 3, 4}),
       "1.500000000 Fr RMSG  1 0 3 1 10 3 Rx 0 80002 5 28 2ab FlexRay_Frame_[x|x|x] 4 4 01 02 03 04"},
      {"FlexRay null frame sent", flexRayFrame(2, 0x1E, 2, {1, 2, 3, 4}),
       "1.500000000 Fr RMSG  1 0 3 1 10 3 Tx 0 8001d 5 28 2ab FlexRay_Frame_[x|x|x] 4 0"},
      {"FlexRay payload longer than its record", flexRayFrame(1, 0x02, 200, {9, 8}),
       "1.500000000 Fr RMSG  1 0 3 1 10 3 Rx 0 80012 5 28 2ab FlexRay_Frame_[x|x|x] 2 2 09 08"},
      {"FlexRay status", test::flexRayEntry(3, kTime, 0, {}), "1.500000000 Fr EE  1 0 3 0 5 6 0 0 0"},
      {"FlexRay symbol", test::flexRayEntry(3, kTime, 4, {6}), "1.500000000 Fr SE  1 0 3 0 0 5 2 20 0 0 0 0"},
      {"FlexRay NM vector", test::flexRayEntry(3, kTime, 3, {0x1F}),
       "1.500000000 Fr SCE  1 0 3 0 1f Rx 5 0 0 0 0 0 NM_Vector: 0"},
      {"FlexRay channel event", test::flexRayEntry(3, kTime, 6, {1}), "1.500000000 Fr SCE  1 0 3 2 "},
      {"FlexRay error on B", test::flexRayEntry(3, kTime, 9, {0, 0, 0, 1}), "1.500000000 Fr EE  1 0 3 2 5 4 8 0 0"},
  });
}

TEST(AscWriter, LinLines) {
  expectLines(0, {
      {"frame", test::linFrame(1, kTime, 0, 0xC5, {0x11, 0x22, 0x33, 0x44}, kBitTime19200),
       "1.500000000 Li 5 Rx 3 11 22 33 checksum = 44 header time = 0, full time = 0 SOF = 1.500000 BR = 19200 "
       "break = 0 0 EOH = 0.0 EOB = 0.0 0.0 0.0 sim = 0 EOF = 0.0 RBR = 0 HBR = 0 HSO = 0 RSO = 0 CSM = unknown"},
      {"only a checksum, channel 2", test::linFrame(2, kTime, 0x40, 0x3A, {0x44}, kBitTime19200),
       "1.500000000 L2 3a Tx 0 checksum = 44 header time = 0, full time = 0 SOF = 1.500000 BR = 19200 "
       "break = 0 0 EOH = 0.0 EOB = sim = 0 EOF = 0.0 RBR = 0 HBR = 0 HSO = 0 RSO = 0 CSM = unknown"},
      {"no bytes and no bit time", test::linFrame(1, kTime, 0, 0x01, {}, 7),
       "1.500000000 Li 1 Rx 0 checksum = 00 header time = 0, full time = 0 SOF = 1.500000 BR = 0     "
       "break = 0 0 EOH = 0.0 EOB = sim = 0 EOF = 0.0 RBR = 0 HBR = 0 HSO = 0 RSO = 0 CSM = unknown"},
      {"checksum error", test::linFrame(1, kTime, 0x02, 0x05, {0x11, 0x99}, kBitTime19200),
       "1.500000000 Li 5 CSErr   Rx 1 11 checksum = 99 header time = 0, full time = 0 SOF = 1.500000 BR = 19200 "
       "break = 0 0 EOH = 0.0 EOB = 0.0 sim = 0 EOF = 0.0 RBR = 0 HBR = 0 HSO = 0 RSO = 0 CSM = unknown"},
      {"wake-up", test::linFrame(1, kTime, 0x20, 0, {}, kBitTime19200),
       "1.500000000 Li WakeupFrame   RxSOF = 1.500000 BR = 19200  0 LengthCode = 0"},
      {"trigger edge", test::linFrame(1, kTime, 0x10, 0x41, {}, 0),
       "1.500000000 Li 1 EvTrigFrmInfo   falling edge at trigger input"},
  });
}

TEST(AscWriter, DecimalFilesKeepCanInHex) {
  const std::vector<std::string> lines = writeLines(
      kAscDecimal, {test::canFrame(12, kTime, 0x1AB, 0, {0xFF}),
                    test::linFrame(11, kTime, 0, 0x3A, {0x11, 0xFF}, kBitTime19200),
                    test::ethernetFrame(12, kTime, 0, {0xAB}), flexRayFrame(1, 0x00, 1, {0x0A, 0xFF})});
  EXPECT_EQ(lines, (std::vector<std::string>{
                       "1.500000000 CANFD 12 Rx 1ab   0 0 1  1 ff 0 0 0 0 0 0 0 0",
                       "1.500000000 L11 58 Rx 1 017 checksum = 255 header time = 0, full time = 0 SOF = 1.500000 "
                       "BR = 19200 break = 0 0 EOH = 0.0 EOB = 0.0 sim = 0 EOF = 0.0 RBR = 0 HBR = 0 HSO = 0 RSO = 0 "
                       "CSM = unknown",
                       "1.500000000 ETH 12 Rx 1  :ab",
                       "1.500000000 Fr RMSG  1 0 3 1 16 3 Rx 0 524290 5 40 683 FlexRay_Frame_[x|x|x] 2 2 10 255",
                   }));
  EXPECT_EQ(test::fileLines("/tmp/lines.asc")[1], "base dec  timestamps absolute");
}

TEST(AscWriter, TimesFromTheStartTimeOrRelative) {
  std::vector<SharedEntry> entries{test::canFrame(1, 900, 1, 0, {}), test::canFrame(1, 2000000001, 2, 0, {}),
                                   test::linFrame(1, 1000, 0, 1, {}, 0)};
  entries[1]->setRelativeTimestamp(*entries[1], *entries[0]);
  EXPECT_EQ(writeLines(kAscFromStartTime, entries, 1000),
            (std::vector<std::string>{"1.999999001 CANFD 1 Rx 2   0 0 0  0 0 0 0 0 0 0 0 0",
                                      "0.000000000 Li 1 Rx 0 checksum = 00 header time = 0, full time = 0 SOF = "
                                      "0.000000 BR = 0     break = 0 0 EOH = 0.0 EOB = sim = 0 EOF = 0.0 RBR = 0 "
                                      "HBR = 0 HSO = 0 RSO = 0 CSM = unknown"}));
  const std::vector<std::string> relative = writeLines(kAscFromStartTime | kAscRelativeTimes, entries, 1000000);
  ASSERT_EQ(relative.size(), 3u);
  EXPECT_EQ(relative[0], "0.000000000 CANFD 1 Rx 1   0 0 0  0 0 0 0 0 0 0 0 0");
  EXPECT_EQ(relative[1], "1.999999101 CANFD 1 Rx 2   0 0 0  0 0 0 0 0 0 0 0 0");
  EXPECT_NE(relative[2].find(" SOF = -0.000999 "), std::string::npos) << "a record before the start is negative";
  EXPECT_EQ(test::fileLines("/tmp/lines.asc")[1], "base hex  timestamps relative");
}

TEST(AscWriter, HeaderAndClosingLine) {
  writeLines(0, {});
  const std::vector<std::string> lines = test::fileLines("/tmp/lines.asc");
  ASSERT_EQ(lines.size(), 6u);
  EXPECT_TRUE(std::regex_match(lines[0], std::regex(R"(date \w{3} \w{3} [ 1-3]\d \d\d:\d\d:\d\d \d{4})"))) << lines[0];
  EXPECT_EQ(lines[1], "base hex  timestamps absolute");
  EXPECT_EQ(lines[2], "internal events logged");
  EXPECT_EQ(lines[3], "// version 8.1.0");
  EXPECT_EQ(lines[4], "Begin Triggerblock " + lines[0].substr(5));
  EXPECT_EQ(lines[5], "End Triggerblock");
}

TEST(AscWriter, SplitFilesAreNumberedInTheFileNameOnly) {
  const struct {
    std::string base;
    std::vector<std::string> files;
  } cases[] = {
      {"/tmp/split/trace.asc", {"/tmp/split/trace.asc", "/tmp/split/trace_1.asc", "/tmp/split/trace_2.asc"}},
      {"/tmp/split/run.1/trace", {"/tmp/split/run.1/trace", "/tmp/split/run.1/trace_1", "/tmp/split/run.1/trace_2"}},
  };
  for (const auto& c : cases) {
    std::filesystem::create_directories(std::filesystem::path(c.base).parent_path());
    {
      AscWriter writer(kAscSplit, c.base, 0, 512);
      // About 66 bytes a line behind a header of about 150: every file takes several lines.
      for (uint32_t index = 0; index < 14; ++index) {
        writer.writeEntry(*test::canFrame(1, 1000000000ull * (index + 1), index, 0, {1, 2, 3, 4}));
      }
      writer.finish();
    }
    std::vector<std::string> all;
    std::string lastTimeBefore;
    for (size_t file = 0; file < c.files.size(); ++file) {
      const std::vector<std::string> lines = test::fileLines(c.files[file]);
      ASSERT_GE(lines.size(), 6u) << c.files[file];
      EXPECT_EQ(lines.back(), "End Triggerblock");
      if (file == 0) {
        EXPECT_EQ(lines[4].rfind("Begin Triggerblock ", 0), 0u);
      } else {
        EXPECT_EQ(lines[4], "// " + lastTimeBefore + " previous log file: " + c.files[file - 1]);
      }
      const std::vector<std::string> records = test::recordLines(c.files[file]);
      ASSERT_FALSE(records.empty());
      lastTimeBefore = records.back().substr(0, records.back().find(' '));
      all.insert(all.end(), records.begin(), records.end());
      EXPECT_LE(std::filesystem::file_size(c.files[file]) - lines.back().size() - 1 - lines[lines.size() - 2].size(),
                512u) << "only the crossing line lies past the maximum";
    }
    ASSERT_EQ(all.size(), 14u);
    for (size_t index = 0; index < all.size(); ++index) {
      EXPECT_EQ(all[index].substr(0, all[index].find(' ')), std::to_string(index + 1) + ".000000000");
    }
  }
}

uint32_t failureOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const TraceException& error) {
    return error.code();
  }
  return 0;
}

TEST(AscWriter, FilesThatCannotBeOpenedOrWrittenAreFileErrors) {
  TraceSnapshot snapshot{{}, {test::canFrame(1, kTime, 1, 0, {1})}};
  EXPECT_EQ(failureOf([&] { exportToAsc(snapshot, 0, "/tmp/no/such/directory/trace.asc", 0, 0); }), 0x2140007u);
  EXPECT_NE(std::string(Qor_GetLastErrorDescription())
                .find("error opening file '/tmp/no/such/directory/trace.asc': No such file or directory"),
            std::string::npos)
      << Qor_GetLastErrorDescription();
  // A name is text, never a format.
  EXPECT_EQ(failureOf([&] { exportToAsc(snapshot, 0, "/tmp/%s%n%d/trace.asc", 0, 0); }), 0x2140007u);
  EXPECT_NE(std::string(Qor_GetLastErrorDescription()).find("'/tmp/%s%n%d/trace.asc'"), std::string::npos)
      << Qor_GetLastErrorDescription();
  EXPECT_EQ(failureOf([&] { exportToAsc(snapshot, 0, "/dev/full", 0, 0); }), 0x2140007u) << "a full disk";
  EXPECT_EQ(failureOf([&] { exportToAsc(snapshot, 16, "/tmp/flags.asc", 0, 0); }), 0x2140002u);
  EXPECT_EQ(failureOf([&] { exportToAsc(snapshot, 8, "/tmp/flags.asc", 0, 511); }), 0x2140005u);
  EXPECT_EQ(failureOf([&] { exportToAsc(snapshot, 15, "/tmp/flags.asc", 0, 512); }), 0u);
}

}  // namespace
}  // namespace qor::trace
