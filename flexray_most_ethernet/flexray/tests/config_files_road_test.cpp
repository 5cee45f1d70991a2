// The protocol parameters from a parameter file and from a FIBEX file, from the library through the daemon to an
// emulated controller: the records sent from them byte-exact, and every refusal with its code and text, sending
// nothing.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "flexray_parameters.hpp"
#include "flexray_road.hpp"
#include "qor_flexray_fibex.h"
#include "qor_test/files.hpp"

namespace qor::test {
namespace {

using flexray::kConfigParameters;

constexpr uint32_t kXmlUnknownError = 0x02070201, kXmlFileNotFound = 0x02070202, kXmlParsingError = 0x02070206;

std::string pair(const std::string& name, uint32_t value) {
  return "<Name>" + name + "</Name>\n<Val>" + std::to_string(value) + "</Val>\n";
}

// Every parameter as an element with the value index + 1: the g ones in the cluster, the p ones in the controller.
std::string fibexFile() {
  std::string cluster, controller;
  for (size_t i = 0; i < kConfigParameters.size(); ++i) {
    const std::string name(kConfigParameters[i].name);
    (name[0] == 'g' ? cluster : controller) += "<" + name + ">" + std::to_string(i + 1) + "</" + name + ">";
  }
  return "<FIBEX VERSION=\"3.1.0\"><CLUSTER NAME=\"Body\">" + cluster + "<CONTROLLER NAME=\"Gateway\">" + controller +
         "</CONTROLLER></CLUSTER></FIBEX>";
}

// The parameters valued index + 1, as the record holds them.
emulator::Bytes countedParameters() {
  Record record;
  for (size_t i = 0; i < kConfigParameters.size(); ++i) {
    const auto value = static_cast<uint32_t>(i + 1);
    switch (kConfigParameters[i].width) {
      case 1: record.u8(static_cast<uint8_t>(value)); break;
      case 2: record.u16(static_cast<uint16_t>(value)); break;
      default: record.u32(value); break;
    }
  }
  return record;
}

class FlexRayConfigFilesRoad : public FlexRayRoad {
 protected:
  void SetUp() override {
    FlexRayRoad::SetUp();
    char pattern[] = "/tmp/qor_flexray_files.XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    directory_ = pattern;
  }
  void TearDown() override {
    std::filesystem::remove_all(directory_);
    InterfaceFixture::TearDown();
  }
  std::string file(const std::string& name, const std::string& text) {
    const std::string path = directory_ + "/" + name;
    EXPECT_TRUE(writeFile(path, text));
    return path;
  }

  std::string directory_;
};

TEST_F(FlexRayConfigFilesRoad, EveryFunctionRefusesAPortOfAnotherBus) {
  const std::string path = file("p.xml", pair("gdBit", 1));
  Qor_FlexRay_ConfigData_t data{};
  const PortCall calls[] = {
      [&](uint32_t p) { return Qor_FlexRay_GetConfigData_FromXmlFile(p, path.c_str(), &data); },
      [&](uint32_t p) { return Qor_FlexRay_ConfigWithXmlFile(p, path.c_str()); },
      [&](uint32_t p) { return Qor_FlexRay_GetConfigData_FromFibex(p, path.c_str(), nullptr, nullptr, &data); },
      [&](uint32_t p) { return Qor_FlexRay_ConfigFromFibex(p, path.c_str(), nullptr, nullptr); },
  };
  expectEachRefusesAnotherBus(calls);
}

TEST_F(FlexRayConfigFilesRoad, ParameterFileFillsTheNamedFieldsOnly) {
  const std::string path = file("p.xml", "<?xml version=\"1.0\"?>\n<Parameters>\n" + pair("gdBit", 300) +
                                             pair("gColdStartAttempts", 300) + pair("pdListenTimeout", 70000) +
                                             "</Parameters>\n");
  Qor_FlexRay_ConfigData_t data;
  memset(&data, 0x77, sizeof data);
  ASSERT_EQ(Qor_FlexRay_GetConfigData_FromXmlFile(port_, path.c_str(), &data), 0u) << lastText();
  EXPECT_EQ(data.gdBit, 300u);
  EXPECT_EQ(data.gColdStartAttempts, 44u);
  EXPECT_EQ(data.pdListenTimeout, 70000u);
  EXPECT_EQ(data.gListenNoise, 0x77u) << "a parameter the file does not name keeps its value";
}

// Unnamed parameters go out as 0; a name line longer than any line buffer still gives its own value.
TEST_F(FlexRayConfigFilesRoad, ConfigWithParameterFileSendsItsValuesAndZeros) {
  const std::string path = file("p.xml", std::string(120, ' ') + "<Name>gdBit</Name><!-- " + std::string(100, '-') +
                                             " -->\n<Val>258</Val>\n" + pair("pWakeUpPattern", 33));
  device_->expect(kController, Record().u32(1).zeros(16).u16(258).zeros(45).u8(33).zeros(8)).answer(Record().u32(1));
  EXPECT_EQ(Qor_FlexRay_ConfigWithXmlFile(port_, path.c_str()), 0u) << lastText();
}

TEST_F(FlexRayConfigFilesRoad, ParameterFileFailuresAreTheLoadersCodesSendingNothing) {
  const std::string tooLong = "/" + std::string(254, 'p');
  struct Case {
    std::string path;
    uint32_t code;
  } const cases[] = {
      {tooLong, kXmlUnknownError},
      {directory_ + "/none.xml", kXmlFileNotFound},
      {directory_, kXmlParsingError},  // opens, but reading fails
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    Qor_FlexRay_ConfigData_t data{};
    EXPECT_EQ(Qor_FlexRay_GetConfigData_FromXmlFile(port_, c.path.c_str(), &data), c.code);
    EXPECT_EQ(lastText(), described(c.code, ""));
    EXPECT_EQ(Qor_FlexRay_ConfigWithXmlFile(port_, c.path.c_str()), c.code);
  }
  EXPECT_EQ(Qor_FlexRay_ConfigWithXmlFile(port_, nullptr), kXmlFileNotFound);
  EXPECT_EQ(Qor_FlexRay_GetConfigData_FromXmlFile(port_, cases[1].path.c_str(), nullptr), kInvalidParameter);
}

TEST_F(FlexRayConfigFilesRoad, FibexFillsAndSendsTheWholeRecord) {
  const std::string path = file("cluster.xml", fibexFile());
  Qor_FlexRay_ConfigData_t data;
  memset(&data, 0x77, sizeof data);
  ASSERT_EQ(Qor_FlexRay_GetConfigData_FromFibex(port_, path.c_str(), "Body", "Gateway", &data), 0u) << lastText();
  const auto* bytes = reinterpret_cast<const uint8_t*>(&data);
  EXPECT_EQ(emulator::Bytes(bytes, bytes + sizeof data), countedParameters());

  device_->expect(kController, Record().u32(1).bytes(countedParameters())).answer(Record().u32(1));
  EXPECT_EQ(Qor_FlexRay_ConfigFromFibex(port_, path.c_str(), nullptr, nullptr), 0u) << lastText();
}

// The reader's text is recorded as it is, '%' and all.
TEST_F(FlexRayConfigFilesRoad, FibexFailuresAreTheReadersCodeAndTextSendingNothing) {
  const std::string path = file("cluster.xml", fibexFile());
  struct Case {
    std::string path;
    const char* cluster;
    uint32_t code;
    std::string text;
  } const cases[] = {
      {path, "100%s%n", QOR_FIBEX_ERR_ELEMENT, "cluster '100%s%n' not found"},
      {directory_ + "/%s.xml", nullptr, QOR_FIBEX_ERR_FILE, "file '" + directory_ + "/%s.xml' cannot be read"},
      {file("old.xml", "<FIBEX VERSION=\"2.0\"/>"), nullptr, QOR_FIBEX_ERR_VERSION, "version '2.0' is not supported"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    Qor_FlexRay_ConfigData_t data{};
    data.gdBit = 5;
    EXPECT_EQ(Qor_FlexRay_GetConfigData_FromFibex(port_, c.path.c_str(), c.cluster, nullptr, &data), c.code);
    EXPECT_EQ(lastText(), described(c.code, c.text));
    EXPECT_EQ(data.gdBit, 5u);
    EXPECT_EQ(Qor_FlexRay_ConfigFromFibex(port_, c.path.c_str(), c.cluster, nullptr), c.code);
  }
  EXPECT_EQ(Qor_FlexRay_GetConfigData_FromFibex(port_, path.c_str(), nullptr, nullptr, nullptr), kInvalidParameter);
}

}  // namespace
}  // namespace qor::test
