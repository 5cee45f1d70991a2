// Start-up of the library in a fresh process: the configuration file and the daemon's queue. Each case loads the
// library into a child process of its own, because the library reads both when it is loaded.
#include <gtest/gtest.h>

#include <dlfcn.h>
#include <mqueue.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <sstream>
#include <string>

#include "qor_api.h"
#include "qor_client_state.h"
#include "qor_test/child_process.hpp"
#include "qor_test/files.hpp"
#include "qor_test/syslog_capture.hpp"

namespace {

using namespace std::chrono_literals;
using qor::test::ChildProcess;

constexpr char kConfigFile[] = "/etc/Qor_API_Linux.ini";
constexpr char kReport[] = "/tmp/startup-report";

struct StartupReport {
  std::string version, name, installDir, cyclorDir, deviceCfg, settings, lastError;
};

const char* orDash(const char* text) { return text ? text : "-"; }

// Loads the library in a child and reports what it made of its start-up.
StartupReport loadLibrary(bool closeStandardInput = false) {
  ChildProcess child([closeStandardInput] {
    if (closeStandardInput) close(STDIN_FILENO); // the daemon's queue then opens as descriptor 0
    void* library = dlopen(QOR_API_LIBRARY, RTLD_NOW);
    if (library == nullptr) return 2;
    auto* config = static_cast<Qor_LinuxCfg_t*>(dlsym(library, "LinuxCfg"));
    auto lastError = reinterpret_cast<uint32_t (*)()>(dlsym(library, "Qor_GetLastErrorCode"));
    if (config == nullptr || lastError == nullptr) return 3;
    std::ostringstream out;
    out << config->version << '\n' << orDash(config->name) << '\n' << orDash(config->installDir) << '\n'
        << orDash(config->cyclorDir) << '\n' << orDash(config->deviceCfg) << '\n' << orDash(config->settings) << '\n'
        << std::hex << lastError() << '\n';
    return qor::test::writeFile(kReport, out.str()) ? 0 : 4;
  });
  EXPECT_EQ(child.wait(10s), 0);
  std::istringstream in(qor::test::readFile(kReport).value_or(""));
  StartupReport report;
  for (std::string* field : {&report.version, &report.name, &report.installDir, &report.cyclorDir, &report.deviceCfg,
                             &report.settings, &report.lastError}) {
    std::getline(in, *field);
  }
  return report;
}

// "/Qor_API" as the daemon creates it, so that the library's start-up finds it.
class ServerQueue {
 public:
  ServerQueue() {
    mq_attr attributes{};
    attributes.mq_maxmsg = 3;
    attributes.mq_msgsize = 512;
    queue_ = mq_open("/Qor_API", O_CREAT | O_RDONLY, 0666, &attributes);
  }
  ~ServerQueue() {
    mq_close(queue_);
    mq_unlink("/Qor_API");
  }

 private:
  mqd_t queue_;
};

struct ConfigCase {
  const char* name;
  const char* file;
  StartupReport expected;
};

TEST(ClientStartup, ConfigurationFile) {
  const ConfigCase cases[] = {
      {"all keys",
       "[protocol]\nversion = 4\n[user]\nname = tester\n[DIRECORIES]\ninstallDir = /opt/qor\ncyclorDir = /opt/cy\n"
       "[FILES]\ndeviceCfg = devices.xml\nsettings = qor_settings.xml\n",
       {"4", "tester", "/opt/qor", "/opt/cy", "devices.xml", "qor_settings.xml", "2000100"}},
      {"section spelt with the T is not ours",
       "[DIRECTORIES]\ninstallDir = /opt/qor\n[FILES]\ndeviceCfg = devices.xml\n",
       {"0", "-", "-", "-", "devices.xml", "-", "2000100"}},
      {"unknown keys do not stop the parse",
       "[user]\ncolour = blue\nname = after\n[unknown]\nx = 1\n[FILES]\nsettings = s.xml\n",
       {"0", "after", "-", "-", "-", "s.xml", "2000100"}},
      {"a repeated key keeps the later value",
       "[user]\nname = first\nname = second\n[protocol]\nversion = 1\nversion = 7\n",
       {"7", "second", "-", "-", "-", "-", "2000100"}},
      {"a version that is no number", "[protocol]\nversion = four\n", {"0", "-", "-", "-", "-", "-", "2000100"}},
  };
  for (const ConfigCase& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(qor::test::writeFile(kConfigFile, c.file));
    const StartupReport report = loadLibrary();
    EXPECT_EQ(report.version, c.expected.version);
    EXPECT_EQ(report.name, c.expected.name);
    EXPECT_EQ(report.installDir, c.expected.installDir);
    EXPECT_EQ(report.cyclorDir, c.expected.cyclorDir);
    EXPECT_EQ(report.deviceCfg, c.expected.deviceCfg);
    EXPECT_EQ(report.settings, c.expected.settings);
    EXPECT_EQ(report.lastError, c.expected.lastError);
  }
  EXPECT_TRUE(qor::test::SyslogCapture().waitFor("Config loaded from '/etc/Qor_API_Linux.ini': IPversion=4, name=tester",
                                                 1s));
}

TEST(ClientStartup, MissingConfigurationFileIsLoggedAndLeavesTheConfigurationEmpty) {
  qor::test::removeFile(kConfigFile);
  const StartupReport report = loadLibrary();
  EXPECT_EQ(report.installDir, "-");
  EXPECT_EQ(report.deviceCfg, "-");
  qor::test::SyslogCapture log;
  EXPECT_TRUE(log.waitFor("Can't load '/etc/Qor_API_Linux.ini'", 1s));
  EXPECT_TRUE(log.contains("module path  "));
}

// Only a regular file of sensible size is read: anything else would keep the loading process waiting or reading.
TEST(ClientStartup, AConfigurationFileThatIsNoSmallRegularFileIsNotRead) {
  const struct {
    const char* name;
    std::function<bool()> make;
    const char* why;
  } cases[] = {
      {"a FIFO", [] { return mkfifo(kConfigFile, 0644) == 0; }, "'/etc/Qor_API_Linux.ini' is no regular file"},
      {"a link to /dev/zero", [] { return symlink("/dev/zero", kConfigFile) == 0; }, "'/dev/zero' is no regular file"},
      {"a file one byte over 1 MiB",
       [] { return qor::test::writeFile(kConfigFile, "[FILES]\ndeviceCfg = x.xml\n" + std::string(1 << 20, ';')); },
       "'/etc/Qor_API_Linux.ini' is larger than 1048576 bytes"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    qor::test::removeFile(kConfigFile);
    ASSERT_TRUE(c.make());
    qor::test::SyslogCapture log;
    const auto start = std::chrono::steady_clock::now();
    const StartupReport report = loadLibrary();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s); // a FIFO would keep it waiting for ever
    EXPECT_EQ(report.deviceCfg, "-");
    EXPECT_TRUE(log.waitFor(c.why, 1s));
    EXPECT_TRUE(log.waitFor("Can't load '/etc/Qor_API_Linux.ini'", 1s));
  }
}

// A linked file is a usual way to keep the configuration elsewhere.
TEST(ClientStartup, ALinkedConfigurationFileIsRead) {
  ASSERT_TRUE(qor::test::writeFile("/tmp/qor.ini", "[FILES]\ndeviceCfg = linked.xml\n"));
  qor::test::removeFile(kConfigFile);
  ASSERT_EQ(symlink("/tmp/qor.ini", kConfigFile), 0);
  EXPECT_EQ(loadLibrary().deviceCfg, "linked.xml");
}

TEST(ClientStartup, DaemonQueue) {
  // No daemon: the start-up goes on with 0x2000100 as the last error.
  EXPECT_EQ(loadLibrary().lastError, "2000100");
  EXPECT_TRUE(qor::test::SyslogCapture().waitFor("on mq_open qname /Qor_API", 1s));
  ServerQueue daemon;
  EXPECT_EQ(loadLibrary().lastError, "0");
  // Descriptor 0 is a valid descriptor of the queue.
  EXPECT_EQ(loadLibrary(true).lastError, "0");
}

} // namespace
