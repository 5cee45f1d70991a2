// The parameter-file import against small files: the pairs it stores, the lines it skips, long lines, duplicates,
// missing values, the refused paths, a read error and imports running at once.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "qor_flexray_config_files.h"
#include "qor_test/files.hpp"

namespace qor::flexray {
namespace {

std::string pair(const std::string& name, const std::string& value) {
  return "  <Name>" + name + "</Name>\n  <Val>" + value + "</Val>\n";
}

class XmlImport : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/qor_flexray_xml.XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    directory_ = pattern;
  }
  void TearDown() override { std::filesystem::remove_all(directory_); }

  // Writes text to a file and imports it into data.
  uint32_t import(const std::string& text, Qor_FlexRay_ConfigData_t& data) {
    const std::string path = directory_ + "/parameters.xml";
    EXPECT_TRUE(test::writeFile(path, text));
    return LoadFlexRayParameter(&data, path.c_str());
  }

  std::string directory_;
};

TEST_F(XmlImport, StoresEachValueCutToItsFieldsWidth) {
  struct Case {
    const char* name;
    const char* value;
    size_t offset, width;
    uint32_t stored;
  } const cases[] = {
      {"gdBit", "300", 16, 2, 300},
      {"gColdStartAttempts", "300", 0, 1, 44},
      {"pMicroPerCycle", "200000", 48, 4, 200000},
      {"pdListenTimeout", "4294967297", 68, 4, 1},
      {"pdListenTimeout", "99999999999999999999999", 68, 4, 0xFFFFFFFF},  // beyond a long: the largest long
      {"gdStaticSlot", "-5", 22, 2, 0},                                   // no value element: 0
      {"gdStaticSlot", "0x10", 22, 2, 0},
      {"gdStaticSlot", " 7", 22, 2, 0},
      {"pdMaxDrift", "0065535", 66, 2, 0xFFFF},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.name) + " " + c.value);
    Qor_FlexRay_ConfigData_t data;
    memset(&data, 0xA5, sizeof data);
    ASSERT_EQ(import(std::string("<?xml version=\"1.0\"?>\n<Parameters>\n") + pair(c.name, c.value) + "</Parameters>\n",
                     data),
              QOR_FLEXRAY_XML_LOADED);
    Qor_FlexRay_ConfigData_t expected;
    memset(&expected, 0xA5, sizeof expected);
    for (size_t i = 0; i < c.width; ++i) reinterpret_cast<uint8_t*>(&expected)[c.offset + i] = c.stored >> (8 * i);
    EXPECT_EQ(memcmp(&data, &expected, sizeof data), 0);
  }
}

TEST_F(XmlImport, NamesMatchExactlyAndOtherLinesAreSkipped) {
  Qor_FlexRay_ConfigData_t data{};
  data.gdBit = 7;
  const std::string text = "<!-- <Name>gdBit</Name> in a comment line is a name too -->\n<Val>1</Val>\n" +
                           pair("gdbit", "2") + pair("gd_Bit", "3") + pair("gdBitX", "4") + "<Name></Name>\n" +
                           "<Val>5</Val>\n";
  ASSERT_EQ(import(text, data), QOR_FLEXRAY_XML_LOADED);
  EXPECT_EQ(data.gdBit, 1u);
  Qor_FlexRay_ConfigData_t untouched{};
  untouched.gdBit = 1;
  EXPECT_EQ(memcmp(&data, &untouched, sizeof data), 0);
}

// A name line of any length, the value line too: the value goes to its own parameter.
TEST_F(XmlImport, ReadsLongLinesWhole) {
  for (size_t padding : {0u, 50u, 58u, 59u, 60u, 79u, 80u, 200u, 5000u}) {
    SCOPED_TRACE(padding);
    const std::string indent(padding, ' ');
    Qor_FlexRay_ConfigData_t data{};
    const std::string text = indent + "<Name>gNetworkManagementVectorLength</Name>" + indent + "\n" + indent +
                             "<Val>12</Val>" + indent + "\n" + pair("gdBit", "300");
    ASSERT_EQ(import(text, data), QOR_FLEXRAY_XML_LOADED);
    EXPECT_EQ(data.gNetworkManagementVectorLength, 12u);
    EXPECT_EQ(data.gdBit, 300u);
  }
}

TEST_F(XmlImport, LaterDuplicateWinsAndMissingValuesStoreZero) {
  Qor_FlexRay_ConfigData_t data{};
  data.gListenNoise = 9;
  data.gSyncNodeMax = 9;
  data.pKeySlotId = 9;
  // Two names in a row: the second is the first one's value line; a name on the last line has no value line.
  const std::string text = pair("gdBit", "1") + pair("gdBit", "2") + "<Name>gListenNoise</Name>\n" +
                           pair("gSyncNodeMax", "4") + "<Name>pKeySlotId</Name>\n";
  ASSERT_EQ(import(text, data), QOR_FLEXRAY_XML_LOADED);
  EXPECT_EQ(data.gdBit, 2u);
  EXPECT_EQ(data.gListenNoise, 0u);
  EXPECT_EQ(data.gSyncNodeMax, 9u);
  EXPECT_EQ(data.pKeySlotId, 0u);
}

TEST_F(XmlImport, EmptyFileLeavesTheRecord) {
  Qor_FlexRay_ConfigData_t data;
  memset(&data, 0x5A, sizeof data);
  for (const char* text : {"", "<Parameters>\n</Parameters>\n", "\n\n"}) {
    ASSERT_EQ(import(text, data), QOR_FLEXRAY_XML_LOADED);
    for (size_t i = 0; i < sizeof data; ++i) ASSERT_EQ(reinterpret_cast<uint8_t*>(&data)[i], 0x5A);
  }
}

TEST_F(XmlImport, RefusesLongPathsMissingFilesAndNulls) {
  Qor_FlexRay_ConfigData_t data{};
  const std::string longest = "/" + std::string(253, 'p');
  EXPECT_EQ(LoadFlexRayParameter(&data, longest.c_str()), QOR_FLEXRAY_XML_NOT_OPENED) << "254 characters are tried";
  EXPECT_EQ(LoadFlexRayParameter(&data, (longest + "p").c_str()), QOR_FLEXRAY_XML_REFUSED);
  EXPECT_EQ(LoadFlexRayParameter(&data, (directory_ + "/none.xml").c_str()), QOR_FLEXRAY_XML_NOT_OPENED);
  EXPECT_EQ(LoadFlexRayParameter(&data, nullptr), QOR_FLEXRAY_XML_NOT_OPENED);
  EXPECT_EQ(LoadFlexRayParameter(nullptr, (directory_ + "/none.xml").c_str()), QOR_FLEXRAY_XML_REFUSED);
}

// A file that opens but cannot be read is an error, not an empty file.
TEST_F(XmlImport, ReportsAReadError) {
  Qor_FlexRay_ConfigData_t data{};
  EXPECT_EQ(LoadFlexRayParameter(&data, directory_.c_str()), QOR_FLEXRAY_XML_READ_ERROR);
}

// Each import has its own file, patterns and lines, so imports on several threads each read their own file.
TEST_F(XmlImport, ImportsRunAtOnce) {
  constexpr int kThreads = 4, kRounds = 200;
  std::vector<std::string> paths;
  for (int t = 0; t < kThreads; ++t) {
    paths.push_back(directory_ + "/p" + std::to_string(t) + ".xml");
    std::string text;
    for (int line = 0; line < 20; ++line) text += pair("gdBit", std::to_string(line)) + pair("pdMaxDrift", "7");
    ASSERT_TRUE(test::writeFile(paths.back(), text + pair("gdBit", std::to_string(1000 + t))));
  }
  std::vector<int> wrong(kThreads, 0);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int round = 0; round < kRounds; ++round) {
        Qor_FlexRay_ConfigData_t data{};
        if (LoadFlexRayParameter(&data, paths[t].c_str()) != 0 || data.gdBit != 1000 + t || data.pdMaxDrift != 7) {
          ++wrong[t];
        }
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (int t = 0; t < kThreads; ++t) EXPECT_EQ(wrong[t], 0) << "thread " << t;
}

}  // namespace
}  // namespace qor::flexray
