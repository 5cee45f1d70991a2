// The FIBEX reader against small files: the parameters of the selected cluster and controller, and each refusal with
// its code and text, the record untouched then.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "flexray_parameters.hpp"
#include "qor_flexray_fibex.h"
#include "qor_test/files.hpp"

namespace qor::flexray {
namespace {

// Every parameter element with a value of its own (its index + 1); the g parameters in the cluster, the p ones in
// the controller.
std::string parameters(char prefix, size_t skip = SIZE_MAX, const std::string& extra = "") {
  std::string text;
  for (size_t i = 0; i < kConfigParameters.size(); ++i) {
    const std::string name(kConfigParameters[i].name);
    if (name[0] == prefix && i != skip) text += "<" + name + ">" + std::to_string(i + 1) + "</" + name + ">\n";
  }
  return text + extra;
}

std::string fibex(const std::string& clusterExtra = "", const std::string& controllerExtra = "",
                  size_t skip = SIZE_MAX) {
  return "<?xml version=\"1.0\"?>\n<fx:FIBEX VERSION=\"3.1.0\" xmlns:fx=\"urn:x\">\n"
         "<fx:CLUSTER NAME=\"Other\"><gdBit>9</gdBit></fx:CLUSTER>\n"
         "<fx:CLUSTER NAME=\"Body\">\n" + parameters('g', skip, clusterExtra) +
         "<fx:CONTROLLER NAME=\"Other\"/>\n<fx:CONTROLLER NAME=\"Gateway\">\n" +
         parameters('p', skip, controllerExtra) +
         "</fx:CONTROLLER>\n</fx:CLUSTER>\n</fx:FIBEX>\n";
}

class FibexReader : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/qor_fibex.XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    directory_ = pattern;
    path_ = directory_ + "/cluster.xml";
  }
  void TearDown() override { std::filesystem::remove_all(directory_); }

  uint32_t load(const char* path, const char* cluster = "Body", const char* controller = "Gateway") {
    memset(&data_, 0xA5, sizeof data_);
    memset(text_, 'x', sizeof text_);
    textSize_ = sizeof text_;
    return LoadFlexRayParameterFromFibex(&data_, path, cluster, controller, text_, &textSize_);
  }
  bool untouched() const {
    for (size_t i = 0; i < sizeof data_; ++i) {
      if (reinterpret_cast<const uint8_t*>(&data_)[i] != 0xA5) return false;
    }
    return true;
  }

  std::string directory_, path_;
  Qor_FlexRay_ConfigData_t data_;
  char text_[64];
  uint32_t textSize_ = 0;
};

TEST_F(FibexReader, FillsTheWholeRecordOfTheNamedController) {
  ASSERT_TRUE(test::writeFile(path_, fibex()));
  ASSERT_EQ(load(path_.c_str()), 0u);
  for (size_t i = 0; i < kConfigParameters.size(); ++i) {
    SCOPED_TRACE(std::string(kConfigParameters[i].name));
    uint32_t value = 0;
    memcpy(&value, reinterpret_cast<const uint8_t*>(&data_) + kConfigParameters[i].offset, kConfigParameters[i].width);
    EXPECT_EQ(value, i + 1);
  }
  EXPECT_EQ(data_.gdBit, 13u);
  EXPECT_EQ(data_.pdListenTimeout, 53u);
}

TEST_F(FibexReader, RefusesWithItsCodeAndText) {
  struct Case {
    std::string file;
    const char* cluster;
    const char* controller;
    uint32_t code;
    std::string text;
  } const cases[] = {
      {fibex(), "Chassis", "Gateway", QOR_FIBEX_ERR_ELEMENT, "cluster 'Chassis' not found"},
      {fibex(), "Body", "Engine", QOR_FIBEX_ERR_ELEMENT, "controller 'Engine' not found"},
      {fibex(), nullptr, nullptr, QOR_FIBEX_ERR_ELEMENT, "no controller"},
      {fibex(), "Body", nullptr, QOR_FIBEX_ERR_ELEMENT, "parameter 'pAllowHaltDueToClock' is missing"},
      {"<FIBEX VERSION=\"4.0\"/>", nullptr, "Gateway", QOR_FIBEX_ERR_ELEMENT, "no cluster"},
      {fibex("", "", 12), "Body", "Gateway", QOR_FIBEX_ERR_ELEMENT, "parameter 'gdBit' is missing"},
      {fibex("<gdBit>1</gdBit>"), "Body", "Gateway", QOR_FIBEX_ERR_ELEMENT, "parameter 'gdBit' stands twice"},
      {fibex("", "<gdBit>1</gdBit>"), "Body", "Gateway", QOR_FIBEX_ERR_ELEMENT, "parameter 'gdBit' stands twice"},
      {fibex("<gdBit>65536</gdBit>", "", 12), "Body", "Gateway", QOR_FIBEX_ERR_PARSER,
       "parameter 'gdBit' value '65536' does not fit"},
      {fibex("<gdBit>-1</gdBit>", "", 12), "Body", "Gateway", QOR_FIBEX_ERR_PARSER,
       "parameter 'gdBit' value '-1' does not fit"},
      {fibex("<gdBit></gdBit>", "", 12), "Body", "Gateway", QOR_FIBEX_ERR_PARSER,
       "parameter 'gdBit' value '' does not fit"},
      {"<FIBEX VERSION=\"2.0\"/>", "Body", "Gateway", QOR_FIBEX_ERR_VERSION, "version '2.0' is not supported"},
      {"<FIBEX/>", "Body", "Gateway", QOR_FIBEX_ERR_VERSION, "version '' is not supported"},
      {"<OTHER VERSION=\"3.1\"/>", "Body", "Gateway", QOR_FIBEX_ERR_VERSION, "version '3.1' is not supported"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    ASSERT_TRUE(test::writeFile(path_, c.file));
    EXPECT_EQ(load(path_.c_str(), c.cluster, c.controller), c.code);
    EXPECT_EQ(std::string(text_), c.text);
    EXPECT_EQ(textSize_, c.text.size() + 1);
    EXPECT_TRUE(untouched());
  }
}

TEST_F(FibexReader, RefusesFilesThatCannotBeReadOrParsed) {
  EXPECT_EQ(load((directory_ + "/none.xml").c_str()), QOR_FIBEX_ERR_FILE);
  EXPECT_EQ(std::string(text_), "file '" + directory_ + "/none.xml' cannot be read");
  ASSERT_TRUE(test::writeFile(path_, "<FIBEX VERSION=\"3.1\"><CLUSTER>"));
  EXPECT_EQ(load(path_.c_str()), QOR_FIBEX_ERR_PARSER);
  EXPECT_EQ(std::string(text_).rfind("file '" + path_ + "': ", 0), 0u) << text_;
  EXPECT_TRUE(untouched());
}

// The text is cut to the room given, always terminated.
TEST_F(FibexReader, CutsTheTextToItsRoom) {
  const std::string longPath = directory_ + "/" + std::string(100, 'n') + "%s%n.xml";
  EXPECT_EQ(load(longPath.c_str()), QOR_FIBEX_ERR_FILE);
  EXPECT_EQ(textSize_, sizeof text_);
  EXPECT_EQ(std::string(text_), ("file '" + longPath).substr(0, sizeof text_ - 1));
}

TEST_F(FibexReader, RefusesMissingArguments) {
  uint32_t size = sizeof text_;
  EXPECT_EQ(LoadFlexRayParameterFromFibex(nullptr, path_.c_str(), nullptr, nullptr, text_, &size),
            QOR_FIBEX_ERR_INVALID_PARAMETER);
  EXPECT_EQ(std::string(text_), "no record or no path");
  EXPECT_EQ(LoadFlexRayParameterFromFibex(&data_, nullptr, nullptr, nullptr, text_, &size),
            QOR_FIBEX_ERR_INVALID_PARAMETER);
  EXPECT_EQ(LoadFlexRayParameterFromFibex(&data_, path_.c_str(), nullptr, nullptr, nullptr, &size),
            QOR_FIBEX_ERR_INVALID_PARAMETER);
  EXPECT_EQ(LoadFlexRayParameterFromFibex(&data_, path_.c_str(), nullptr, nullptr, text_, nullptr),
            QOR_FIBEX_ERR_INVALID_PARAMETER);
}

}  // namespace
}  // namespace qor::flexray
