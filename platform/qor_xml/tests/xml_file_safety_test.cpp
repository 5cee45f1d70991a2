// Changes of a file by several writers, readers meanwhile, and a writer that fails: the file is always whole, and
// no writer's change is lost.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
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
  Qor_Xml_Node_t interfaces = Qor_Xml_Node_Alloc(), configuration = Qor_Xml_Node_Alloc();
  Qor_Xml_Node_t second = Qor_Xml_Node_Alloc(), available = Qor_Xml_Node_Alloc();
  ASSERT_TRUE(Qor_Xml_Node_GetChildByName(file.document.node, QOR_XML_INTERFACES, &interfaces));
  ASSERT_TRUE(Qor_Xml_Node_GetChildByName(interfaces, QOR_XML_CONFIGURATION, &configuration));
  ASSERT_TRUE(Qor_Xml_Node_GetNextByName(configuration, QOR_XML_INTERFACE, &second));
  ASSERT_TRUE(Qor_Xml_Node_GetNextByName(second, QOR_XML_INTERFACE, &second));
  ASSERT_TRUE(Qor_Xml_Node_GetChildByName(second, QOR_XML_AVAILABLE, &available));
  ASSERT_EQ(Qor_Xml_NodeValue_Set_U32(available, 0), 0u);
  ASSERT_EQ(Qor_Xml_Document_Save(file.document, path.c_str()), 0u);
  Qor_Xml_Document_Free(&file.document);
  writer.join();

  EXPECT_EQ(result, 0u);
  EXPECT_EQ(nameOf(path, 1), "from the writer");
  const char* const names[] = {QOR_XML_AVAILABLE};
  uint32_t value = 1;
  ASSERT_EQ(Qor_Xml_InterfaceConfig_InterfaceData_Get(path.c_str(), identifier(2).c_str(), 1, names, &value), 0u);
  EXPECT_EQ(value, 0u);
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
