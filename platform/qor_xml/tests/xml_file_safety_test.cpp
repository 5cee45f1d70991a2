// Changes of a file by several writers, readers meanwhile, and a writer that fails: the file is always whole, and
// no writer's change is lost.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>

#include "qor_test/child_process.hpp"
#include "qor_test/files.hpp"
#include "xml_test_support.hpp"

namespace {

using namespace std::chrono_literals;
using namespace qor::xml::test;
using qor::test::ChildProcess;
using qor::test::readFile;

// CAN interfaces 1 to count of one USB device: "1_1_<n>_CAN".
std::vector<Qor_InterfaceData_t> canInterfaces(unsigned count) {
  std::vector<Qor_InterfaceData_t> records;
  for (unsigned n = 1; n <= count; ++n) records.push_back(record(4, 1, static_cast<uint8_t>(n), 3, 11, 1));
  return records;
}

std::string identifier(unsigned n) { return "1_1_" + std::to_string(n) + "_CAN"; }

std::string nameOf(const std::string& path, unsigned n) {
  char name[64] = "";
  const uint32_t result = Qor_Xml_InterfaceConfig_InterfaceName_Get(path.c_str(), identifier(n).c_str(), 64, name);
  return result == 0 ? name : "error " + std::to_string(result);
}

// The holder's own change: interface n of the document (its n-th "Interface") is marked unavailable and saved.
void markUnavailableAndSave(Qor_Xml_Document_t document, const std::string& path, unsigned n) {
  Qor_Xml_Node_t interfaces = Qor_Xml_Node_Alloc(), configuration = Qor_Xml_Node_Alloc();
  Qor_Xml_Node_t element = Qor_Xml_Node_Alloc(), available = Qor_Xml_Node_Alloc();
  ASSERT_TRUE(Qor_Xml_Node_GetChildByName(document.node, QOR_XML_INTERFACES, &interfaces));
  ASSERT_TRUE(Qor_Xml_Node_GetChildByName(interfaces, QOR_XML_CONFIGURATION, &configuration));
  element = configuration;
  for (unsigned i = 0; i < n; ++i) ASSERT_TRUE(Qor_Xml_Node_GetNextByName(element, QOR_XML_INTERFACE, &element));
  ASSERT_TRUE(Qor_Xml_Node_GetChildByName(element, QOR_XML_AVAILABLE, &available));
  ASSERT_EQ(Qor_Xml_NodeValue_Set_U32(available, 0), 0u);
  ASSERT_EQ(Qor_Xml_Document_Save(document, path.c_str()), 0u);
}

uint32_t availableOf(const std::string& path, unsigned n) {
  const char* const names[] = {QOR_XML_AVAILABLE};
  uint32_t value = 0xFFFFFFFF;
  Qor_Xml_InterfaceConfig_InterfaceData_Get(path.c_str(), identifier(n).c_str(), 1, names, &value);
  return value;
}

TEST(XmlFileSafety, ReadersSeeTheOldOrTheNewFileNeverAPart) {
  TempDirectory directory;
  const std::string path = directory.file("interfaces.xml");
  writeConfiguration(path, canInterfaces(250));
  const std::string done = directory.file("done");
  ChildProcess reader([&] {
    const auto end = std::chrono::steady_clock::now() + 20s;
    unsigned reads = 0;
    for (; access(done.c_str(), F_OK) != 0 && std::chrono::steady_clock::now() < end; ++reads) {
      char name[8];
      if (Qor_Xml_InterfaceConfig_ConfigurationName_Get(path.c_str(), sizeof name, name) != 0) return 1;
    }
    return reads > 0 ? 0 : 2;
  });
  for (unsigned round = 0; round < 40; ++round) {
    ASSERT_EQ(Qor_Xml_InterfaceConfig_InterfaceName_Set(path.c_str(), identifier(1 + round % 250).c_str(),
                                                        ("round " + std::to_string(round)).c_str()),
              0u);
  }
  ASSERT_TRUE(qor::test::writeFile(done, ""));
  EXPECT_EQ(reader.wait(30s), 0);
}

TEST(XmlFileSafety, ConcurrentWritersLoseNoChange) {
  TempDirectory directory;
  const std::string path = directory.file("interfaces.xml");
  constexpr unsigned kWriters = 4, kNamesEach = 10;
  writeConfiguration(path, canInterfaces(kWriters * kNamesEach));
  std::vector<std::unique_ptr<ChildProcess>> writers;
  for (unsigned w = 0; w < kWriters; ++w) {
    writers.push_back(std::make_unique<ChildProcess>([&, w] {
      for (unsigned i = 1; i <= kNamesEach; ++i) {
        const unsigned n = w * kNamesEach + i;
        if (Qor_Xml_InterfaceConfig_InterfaceName_Set(path.c_str(), identifier(n).c_str(),
                                                      ("name " + std::to_string(n)).c_str()) != 0) {
          return 1;
        }
      }
      return 0;
    }));
  }
  for (auto& writer : writers) EXPECT_EQ(writer->wait(30s), 0);
  for (unsigned n = 1; n <= kWriters * kNamesEach; ++n) EXPECT_EQ(nameOf(path, n), "name " + std::to_string(n));
}

TEST(XmlFileSafety, ALoadedDocumentKeepsOtherWritersOutUntilItIsFreed) {
  TempDirectory directory;
  const std::string path = directory.file("interfaces.xml");
  writeConfiguration(path, canInterfaces(2));
  Document file;
  ASSERT_EQ(Qor_Xml_Document_LoadFile(path.c_str(), &file.document), 0u);

  std::atomic<bool> named{false};
  std::atomic<uint32_t> result{0xFFFFFFFF};
  std::thread writer([&] {
    result = Qor_Xml_InterfaceConfig_InterfaceName_Set(path.c_str(), identifier(1).c_str(), "from the writer");
    named = true;
  });
  std::this_thread::sleep_for(300ms);
  EXPECT_FALSE(named);

  // The holder's own change, saved while the writer waits.
  markUnavailableAndSave(file.document, path, 2);
  Qor_Xml_Document_Free(&file.document);
  writer.join();

  EXPECT_EQ(result, 0u);
  EXPECT_EQ(nameOf(path, 1), "from the writer");
  EXPECT_EQ(availableOf(path, 2), 0u);
}

TEST(XmlFileSafety, ALoadedDocumentKeepsOtherProcessesOutUntilItIsFreed) {
  TempDirectory directory;
  const std::string path = directory.file("interfaces.xml");
  writeConfiguration(path, canInterfaces(2));
  Document file;
  ASSERT_EQ(Qor_Xml_Document_LoadFile(path.c_str(), &file.document), 0u);
  ChildProcess writer([&] {
    return Qor_Xml_InterfaceConfig_InterfaceName_Set(path.c_str(), identifier(1).c_str(), "from the other process");
  });
  EXPECT_FALSE(writer.wait(300ms)) << "the other process waits for the lock";
  EXPECT_EQ(nameOf(path, 1), "");

  markUnavailableAndSave(file.document, path, 2);
  Qor_Xml_Document_Free(&file.document);
  EXPECT_EQ(writer.wait(10s), 0) << "it writes once the document is freed";
  EXPECT_EQ(nameOf(path, 1), "from the other process");
  EXPECT_EQ(availableOf(path, 2), 0u);
}

TEST(XmlFileSafety, TheHoldersOwnThreadUsesTheFileAtOnce) {
  TempDirectory directory;
  const std::string path = directory.file("interfaces.xml");
  writeConfiguration(path, canInterfaces(2));
  Document held, second, existing, beside;
  ASSERT_EQ(Qor_Xml_Document_LoadFile(path.c_str(), &held.document), 0u);
  struct Case {
    const char* what;
    std::function<uint32_t()> call;
  };
  // In this order: each sees what the one before wrote.
  const Case cases[] = {
      {"a change of the file",
       [&] { return Qor_Xml_InterfaceConfig_InterfaceName_Set(path.c_str(), identifier(1).c_str(), "same thread"); }},
      {"a second load", [&] { return Qor_Xml_Document_LoadFile(path.c_str(), &second.document); }},
      {"a save of the second document", [&] { return Qor_Xml_Document_Save(second.document, path.c_str()); }},
      {"the creation of the existing file",
       [&] { return Qor_Xml_InterfaceConfig_CreateConfigFile(path.c_str(), &existing.document); }},
      {"the creation of a file beside it",
       [&] { return Qor_Xml_InterfaceConfig_CreateConfigFile(directory.file("beside.xml").c_str(), &beside.document); }},
  };
  for (const Case& c : cases) {
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(c.call(), 0u) << c.what << ": " << Qor_Xml_GetLastErrorDescription();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1s) << c.what;
  }
  EXPECT_EQ(nameOf(path, 1), "same thread");
  markUnavailableAndSave(held.document, path, 2);
  EXPECT_EQ(availableOf(path, 2), 0u);
}

TEST(XmlFileSafety, AFailedWriteLeavesTheFileAsItWas) {
  TempDirectory directory;
  const std::string path = directory.file("interfaces.xml");
  writeConfiguration(path, canInterfaces(20));
  const std::optional<std::string> before = readFile(path);
  ASSERT_TRUE(before.has_value());
  // The disk is full, as far as the writer can tell.
  ChildProcess writer([&] {
    signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{1024, 1024};
    setrlimit(RLIMIT_FSIZE, &limit);
    return Qor_Xml_InterfaceConfig_InterfaceName_Set(path.c_str(), identifier(1).c_str(), "lost") == QOR_XML_ERR_FILE
               ? 0
               : 1;
  });
  EXPECT_EQ(writer.wait(10s), 0);
  EXPECT_EQ(readFile(path), before);
  EXPECT_EQ(directory.entries(), std::vector<std::string>{"interfaces.xml"});
}

TEST(XmlFileSafety, AReplacedFileKeepsItsModeOwnerAndLink) {
  TempDirectory directory;
  ASSERT_EQ(mkdir(directory.file("real").c_str(), 0755), 0);
  const std::string real = directory.file("real/interfaces.xml");
  const std::string link = directory.file("interfaces.xml");
  writeConfiguration(real, canInterfaces(1));
  ASSERT_EQ(symlink(real.c_str(), link.c_str()), 0);
  ASSERT_EQ(chmod(real.c_str(), 0640), 0);
  const bool privileged = geteuid() == 0;
  if (privileged) {
    ASSERT_EQ(chown(real.c_str(), 1234, 5678), 0);
  }

  ASSERT_EQ(Qor_Xml_InterfaceConfig_InterfaceName_Set(link.c_str(), identifier(1).c_str(), "through the link"), 0u);
  struct stat status {};
  ASSERT_EQ(lstat(link.c_str(), &status), 0);
  EXPECT_TRUE(S_ISLNK(status.st_mode));
  ASSERT_EQ(stat(real.c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 07777, 0640u);
  if (privileged) {
    EXPECT_EQ(status.st_uid, 1234u);
    EXPECT_EQ(status.st_gid, 5678u);
  }
  EXPECT_EQ(nameOf(real, 1), "through the link");
}

} // namespace
