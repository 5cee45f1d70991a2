// Files that are no configuration the library can hold: a FIFO, a device, an oversized file, a file nested too
// deeply. Every call refuses them at once, and no save writes a file that a later load would refuse.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <string>

#include "qor_test/child_process.hpp"
#include "qor_test/files.hpp"
#include "xml_test_support.hpp"

namespace {

using namespace std::chrono_literals;
using namespace qor::xml::test;
using qor::test::ChildProcess;
using qor::test::readFile;
using qor::test::writeFile;

constexpr size_t kLargestFile = 16u * 1024 * 1024;
constexpr unsigned kDeepestNesting = 256;
// Far longer than a refusal takes, even under the sanitizers on a busy machine; a FIFO would wait for ever.
constexpr auto kPromptly = 5s;

// A valid configuration whose root holds a chain of elements: depth element levels in all.
std::string nestedConfiguration(unsigned depth) {
  std::string text = "<Interfaces><Configuration><Name>deep</Name></Configuration>"
                     "<Interface id=\"1_1_1_CAN\"><Name /></Interface>";
  for (unsigned level = 1; level < depth; ++level) text += "<Nest>";
  for (unsigned level = 1; level < depth; ++level) text += "</Nest>";
  return text + "</Interfaces>";
}

// The calls that read (and one that changes) a configuration file.
struct Call {
  const char* name;
  std::function<uint32_t(const std::string& path)> run;
};

const Call kCalls[] = {
    {"load", [](const std::string& path) {
       Document file;
       return Qor_Xml_Document_LoadFile(path.c_str(), &file.document);
     }},
    {"create", [](const std::string& path) {
       Document file;
       return Qor_Xml_InterfaceConfig_CreateConfigFile(path.c_str(), &file.document);
     }},
    {"configuration name", [](const std::string& path) {
       char name[16];
       return Qor_Xml_InterfaceConfig_ConfigurationName_Get(path.c_str(), sizeof name, name);
     }},
    {"rename", [](const std::string& path) {
       return Qor_Xml_InterfaceConfig_InterfaceName_Set(path.c_str(), "1_1_1_CAN", "renamed");
     }},
    {"adapters", [](const std::string& path) {
       uint32_t count = 0;
       return Qor_Xml_Settings_GetScanableAdapters(path.c_str(), &count, nullptr);
     }},
};

struct RefusedFile {
  const char* name;
  std::function<bool(const std::string& path)> make;
  uint32_t code;
  const char* text;
};

const RefusedFile kRefusedFiles[] = {
    {"a FIFO", [](const std::string& path) { return mkfifo(path.c_str(), 0644) == 0; }, QOR_XML_ERR_FILE,
     "is no regular file"},
    {"a link to /dev/zero", [](const std::string& path) { return symlink("/dev/zero", path.c_str()) == 0; },
     QOR_XML_ERR_FILE, "is no regular file"},
    {"a file one byte too large",
     [](const std::string& path) { return writeFile(path, std::string(kLargestFile + 1, ' ')); }, QOR_XML_ERR_FILE,
     "is larger than"},
    {"a file nested one level too deep",
     [](const std::string& path) { return writeFile(path, nestedConfiguration(kDeepestNesting + 1)); },
     QOR_XML_ERR_PARSER, "nests deeper than 256 levels"},
    {"a file nested 10000 levels",
     [](const std::string& path) { return writeFile(path, nestedConfiguration(10000)); }, QOR_XML_ERR_PARSER,
     "nests deeper than 256 levels"},
};

// Each call in a child of its own, so that a call that hangs fails the case instead of the whole test.
TEST(XmlRefusedFile, EveryCallRefusesAtOnceAndLeavesTheFileAlone) {
  for (const RefusedFile& file : kRefusedFiles) {
    for (const Call& call : kCalls) {
      SCOPED_TRACE(std::string(file.name) + ", " + call.name);
      TempDirectory directory;
      const std::string path = directory.file("interfaces.xml");
      ASSERT_TRUE(file.make(path));
      struct stat before {};
      ASSERT_EQ(lstat(path.c_str(), &before), 0);
      ChildProcess child([&] {
        const uint32_t result = call.run(path);
        if (result != file.code) return 1;
        return std::string(Qor_Xml_GetLastErrorDescription()).find(file.text) == std::string::npos ? 2 : 0;
      });
      const auto start = std::chrono::steady_clock::now();
      EXPECT_EQ(child.wait(kPromptly), 0) << "1: another code, 2: another text, none: still running";
      EXPECT_LT(std::chrono::steady_clock::now() - start, kPromptly);
      struct stat after {};
      ASSERT_EQ(lstat(path.c_str(), &after), 0);
      EXPECT_EQ(after.st_ino, before.st_ino);
      EXPECT_EQ(after.st_size, before.st_size);
      EXPECT_EQ(directory.entries(), std::vector<std::string>{"interfaces.xml"});
    }
  }
}

TEST(XmlRefusedFile, TheDeepestAndTheLargestFileAreRead) {
  TempDirectory directory;
  const std::string deep = directory.file("deep.xml");
  ASSERT_TRUE(writeFile(deep, nestedConfiguration(kDeepestNesting)));
  ASSERT_EQ(Qor_Xml_InterfaceConfig_InterfaceName_Set(deep.c_str(), "1_1_1_CAN", "renamed"), 0u)
      << Qor_Xml_GetLastErrorDescription();
  char name[16];
  ASSERT_EQ(Qor_Xml_InterfaceConfig_ConfigurationName_Get(deep.c_str(), sizeof name, name), 0u)
      << Qor_Xml_GetLastErrorDescription();
  EXPECT_STREQ(name, "deep");

  const std::string large = directory.file("large.xml");
  const std::string configuration = nestedConfiguration(1);
  ASSERT_TRUE(writeFile(large, configuration + std::string(kLargestFile - configuration.size(), ' ')));
  EXPECT_EQ(Qor_Xml_InterfaceConfig_ConfigurationName_Get(large.c_str(), sizeof name, name), 0u)
      << Qor_Xml_GetLastErrorDescription();
}

// A document that a caller nested too deeply through the node calls is not saved.
TEST(XmlRefusedFile, ADocumentNestedTooDeeplyIsNotSaved) {
  TempDirectory directory;
  const std::string path = directory.file("interfaces.xml");
  ASSERT_TRUE(writeFile(path, nestedConfiguration(3)));
  Document file;
  ASSERT_EQ(Qor_Xml_Document_LoadFile(path.c_str(), &file.document), 0u);
  Qor_Xml_Node_t node = Qor_Xml_Node_Alloc();
  ASSERT_TRUE(Qor_Xml_Node_GetChildByName(file.document.node, QOR_XML_INTERFACES, &node));
  for (unsigned level = 1; level < kDeepestNesting; ++level) {
    Qor_Xml_Node_t child = Qor_Xml_Node_Alloc();
    ASSERT_EQ(Qor_Xml_Node_AppendChild(node, "Nest", &child), 0u);
    node = child;
  }
  const std::string deepest = directory.file("deepest.xml");
  ASSERT_EQ(Qor_Xml_Document_Save(file.document, deepest.c_str()), 0u) << Qor_Xml_GetLastErrorDescription();
  Document reloaded;
  EXPECT_EQ(Qor_Xml_Document_LoadFile(deepest.c_str(), &reloaded.document), 0u) << Qor_Xml_GetLastErrorDescription();

  ASSERT_EQ(Qor_Xml_Node_AppendChild(node, "Nest", nullptr), 0u);
  const std::optional<std::string> before = readFile(path);
  EXPECT_EQ(Qor_Xml_Document_Save(file.document, path.c_str()), QOR_XML_ERR_PARSER);
  EXPECT_NE(std::string(Qor_Xml_GetLastErrorDescription()).find("nests deeper than 256 levels"), std::string::npos)
      << Qor_Xml_GetLastErrorDescription();
  EXPECT_EQ(readFile(path), before);
}

// Quotes kept in an attribute grow sixfold when saved: such a file would be too large to be read again.
TEST(XmlRefusedFile, AChangeIsNotSavedWhenTheFileWouldBeTooLargeToRead) {
  TempDirectory directory;
  const std::string path = directory.file("interfaces.xml");
  std::string text = nestedConfiguration(1);
  text.insert(text.find("<Configuration>"), "<Quotes q='" + std::string(kLargestFile / 6, '"') + "' />");
  ASSERT_TRUE(writeFile(path, text));
  EXPECT_EQ(Qor_Xml_InterfaceConfig_InterfaceName_Set(path.c_str(), "1_1_1_CAN", "renamed"), QOR_XML_ERR_FILE);
  EXPECT_NE(std::string(Qor_Xml_GetLastErrorDescription()).find("larger than"), std::string::npos)
      << Qor_Xml_GetLastErrorDescription();
  EXPECT_EQ(readFile(path), text);
  EXPECT_EQ(directory.entries(), std::vector<std::string>{"interfaces.xml"});
}

} // namespace
