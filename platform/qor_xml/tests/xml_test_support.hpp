// Helpers of the XML library's tests: a private directory, documents that free themselves and configuration files
// built through the library.
#pragma once

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <stdlib.h>

#include <filesystem>
#include <string>
#include <vector>

#include "qor_xml.h"

namespace qor::xml::test {

class TempDirectory {
 public:
  TempDirectory() {
    char pattern[] = "/tmp/qor_xml_test.XXXXXX";
    path_ = mkdtemp(pattern);
  }
  ~TempDirectory() { std::filesystem::remove_all(path_); }
  TempDirectory(const TempDirectory&) = delete;
  TempDirectory& operator=(const TempDirectory&) = delete;

  std::string file(const std::string& name) const { return path_ + "/" + name; }

  std::vector<std::string> entries() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(path_)) names.push_back(entry.path().filename());
    return names;
  }

 private:
  std::string path_;
};

struct Document {
  ~Document() { Qor_Xml_Document_Free(&document); }
  Qor_Xml_Document_t document{};
};

inline uint32_t address(const char* text) {
  in_addr value{};
  inet_pton(AF_INET, text, &value);
  return value.s_addr;
}

inline Qor_InterfaceData_t record(uint8_t interfaceType, uint8_t controller, uint8_t interfaceNumber,
                                  uint8_t communication, uint32_t hostType, uint32_t serial) {
  Qor_InterfaceData_t data{};
  data.interfaceType = interfaceType;
  data.controllerNumber = controller;
  data.interfaceNumber = interfaceNumber;
  data.communicationType = communication;
  data.hostInterfaceType = hostType;
  data.serialNumber = serial;
  return data;
}

// A new file listing the records, each after its device's entry.
inline void writeConfiguration(const std::string& path, const std::vector<Qor_InterfaceData_t>& records) {
  Document file;
  ASSERT_EQ(Qor_Xml_InterfaceConfig_CreateConfigFile(path.c_str(), &file.document), 0u)
      << Qor_Xml_GetLastErrorDescription();
  Qor_Xml_Node_t interfaces = Qor_Xml_Node_Alloc();
  Qor_Xml_Node_t configuration = Qor_Xml_Node_Alloc();
  ASSERT_TRUE(Qor_Xml_Node_GetChildByName(file.document.node, QOR_XML_INTERFACES, &interfaces));
  ASSERT_TRUE(Qor_Xml_Node_GetChildByName(interfaces, QOR_XML_CONFIGURATION, &configuration));
  for (const Qor_InterfaceData_t& data : records) {
    Qor_Xml_Node_t device = Qor_Xml_Node_Alloc();
    Qor_Xml_Node_t element = Qor_Xml_Node_Alloc();
    ASSERT_EQ(Qor_Xml_InterfaceConfig_CreateDevice(configuration, &device, data), 0u);
    ASSERT_EQ(Qor_Xml_Node_AppendChild(interfaces, QOR_XML_INTERFACE, &element), 0u);
    ASSERT_EQ(Qor_Xml_InterfaceConfig_CreateInterface(element, data), 0u) << Qor_Xml_GetLastErrorDescription();
  }
  ASSERT_EQ(Qor_Xml_Document_Save(file.document, path.c_str()), 0u) << Qor_Xml_GetLastErrorDescription();
}

} // namespace qor::xml::test
