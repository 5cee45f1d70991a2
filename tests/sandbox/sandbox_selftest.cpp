// What qor_sandbox promises each test case, seen from inside.
#include "qor_test/child_process.hpp"
#include "qor_test/files.hpp"
#include "qor_test/syslog_capture.hpp"

#include <arpa/inet.h>
#include <fcntl.h>
#include <mqueue.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/un.h>
#include <syslog.h>
#include <signal.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace {

using namespace std::chrono_literals;
using qor::test::ChildProcess;
using qor::test::readFile;
using qor::test::removeFile;
using qor::test::SyslogCapture;
using qor::test::SyslogLine;
using qor::test::writeFile;

// Sorted.
std::vector<std::string> entries(const std::string& directory) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(directory)) {
    names.push_back(entry.path().filename());
  }
  std::sort(names.begin(), names.end());
  return names;
}

// This build's source and build trees, which the sandbox keeps in sight.
const std::vector<std::string> kKeptTrees = {QOR_SOURCE_DIR, QOR_BINARY_DIR};

// What a fresh /tmp holds: the way down to the kept trees that lie below it (a checkout in /tmp), sorted.
std::vector<std::string> wayToKeptTreesBelowTmp() {
  std::vector<std::string> names;
  for (const std::filesystem::path tree : kKeptTrees) {
    const std::filesystem::path below = tree.lexically_relative("/tmp");
    if (!below.empty() && *below.begin() != "..") {
      names.push_back(*below.begin());
    }
  }
  std::sort(names.begin(), names.end());
  names.erase(std::unique(names.begin(), names.end()), names.end());
  return names;
}

// File system type of the mount at mountPoint, or "" if nothing is mounted there.
std::string mountType(const std::string& mountPoint) {
  std::ifstream mounts("/proc/self/mounts");
  std::string type;
  for (std::string line; std::getline(mounts, line);) {
    std::istringstream fields(line);
    std::string source, target, lineType;
    fields >> source >> target >> lineType;
    if (target == mountPoint) {
      type = lineType;  // the last one listed is on top
    }
  }
  return type;
}

mode_t permissionsOf(const std::string& path) {
  struct stat status {};
  EXPECT_EQ(stat(path.c_str(), &status), 0) << path << ": " << std::strerror(errno);
  return status.st_mode & 07777;
}

// These cases write to fixed paths: outside the sandbox they would change the host.
class Sandboxed : public testing::Test {
protected:
  void SetUp() override { ASSERT_TRUE(qor::test::insideSandbox()) << "run this test through qor_sandbox"; }
};
using sandbox_mounts = Sandboxed;
using sandbox_identity = Sandboxed;
using sandbox_network = Sandboxed;
using sandbox_syslog = Sandboxed;

// Each instance takes the product's fixed names at the same time; run in parallel they would collide
// anywhere but in a sandbox of their own.
class sandbox_fixed_paths : public Sandboxed, public testing::WithParamInterface<int> {};

TEST_P(sandbox_fixed_paths, EveryCaseOwnsTheQueueLockFileAndConfiguration) {
  EXPECT_EQ(readFile("/proc/sys/fs/mqueue/msgsize_max"), "4194328\n");
  EXPECT_EQ(readFile("/proc/sys/fs/mqueue/queues_max"), "1024\n");
  EXPECT_TRUE(entries("/dev/mqueue").empty());
  EXPECT_EQ(entries("/tmp"), wayToKeptTreesBelowTmp());
  EXPECT_FALSE(std::filesystem::exists("/etc/Qor_API_Linux.ini"));

  // 8 messages of 65547 bytes: more than the per-uid queue memory allows twice, so parallel cases also show
  // that each runs under a uid of its own.
  mq_attr attributes{};
  attributes.mq_maxmsg = 8;
  attributes.mq_msgsize = 65547;
  const mqd_t queue = mq_open("/Qor_API", O_CREAT | O_EXCL | O_RDWR, 0600, &attributes);
  ASSERT_NE(queue, static_cast<mqd_t>(-1)) << std::strerror(errno);
  EXPECT_EQ(entries("/dev/mqueue"), std::vector<std::string>{"Qor_API"});
  const std::string sent(65547, static_cast<char>('a' + GetParam()));
  std::string received(65547, '\0');
  EXPECT_EQ(mq_send(queue, sent.data(), sent.size(), 0), 0) << std::strerror(errno);
  EXPECT_EQ(mq_receive(queue, received.data(), received.size(), nullptr), 65547);
  EXPECT_EQ(received, sent);

  const int lock = open("/tmp/daemon.pid", O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0644);
  EXPECT_GE(lock, 0) << std::strerror(errno);
  const std::string config = "[case]\nid=" + std::to_string(GetParam()) + "\n";
  EXPECT_TRUE(writeFile("/etc/Qor_API_Linux.ini", config));

  std::this_thread::sleep_for(300ms);  // hold everything while the other instances run
  EXPECT_EQ(readFile("/etc/Qor_API_Linux.ini"), config);
  EXPECT_TRUE(removeFile("/etc/Qor_API_Linux.ini"));
  close(lock);
  mq_close(queue);
  EXPECT_EQ(mq_unlink("/Qor_API"), 0);
}

INSTANTIATE_TEST_SUITE_P(parallel, sandbox_fixed_paths, testing::Range(0, 6));

TEST_F(sandbox_mounts, PrivateFileSystemsWhereTheProductLooks) {
  struct Expected {
    const char* mountPoint;
    const char* type;
    mode_t permissions;
  };
  const Expected table[] = {
      {"/tmp", "tmpfs", 01777},         {"/run", "tmpfs", 0755},   {"/dev/shm", "tmpfs", 01777},
      {"/dev/mqueue", "mqueue", 01777}, {"/dev", "overlay", 0755}, {"/etc", "overlay", 0755},
      {"/proc", "proc", 0555},          {"/sys", "sysfs", 0555},
  };
  for (const Expected& expected : table) {
    SCOPED_TRACE(expected.mountPoint);
    EXPECT_EQ(mountType(expected.mountPoint), expected.type);
    EXPECT_EQ(permissionsOf(expected.mountPoint), expected.permissions);
  }
  // Below the writable layers the host's files are still there.
  EXPECT_NE(readFile("/etc/passwd").value_or(""), "");
  EXPECT_TRUE(std::filesystem::is_character_file("/dev/null"));
  EXPECT_TRUE(writeFile("/dev/null", "discarded"));
  EXPECT_TRUE(std::filesystem::exists("/dev/pts/ptmx"));
}

TEST_F(sandbox_mounts, TheSourceAndBuildTreesAreInSightReadOnlyAtTheirPaths) {
  for (const std::string& tree : kKeptTrees) {
    SCOPED_TRACE(tree);
    struct statvfs fileSystem {};
    ASSERT_EQ(statvfs(tree.c_str(), &fileSystem), 0) << std::strerror(errno);
    EXPECT_NE(fileSystem.f_flag & ST_RDONLY, 0u);
  }
  EXPECT_TRUE(std::filesystem::exists(QOR_SOURCE_DIR "/tests/sandbox/sandbox_selftest.cpp"));
  EXPECT_TRUE(std::filesystem::equivalent("/proc/self/exe", QOR_BINARY_DIR "/bin/qor_sandbox_selftest"));
}

TEST_F(sandbox_identity, TheTestRunsUnprivilegedBelowTheSandboxsPidOne) {
  EXPECT_GE(getuid(), 100000u);
  EXPECT_EQ(geteuid(), getuid());
  EXPECT_EQ(getgid(), getuid());
  EXPECT_EQ(getegid(), getgid());
  EXPECT_EQ(getgroups(0, nullptr), 0);
  struct stat etc {};
  ASSERT_EQ(stat("/etc", &etc), 0);
  EXPECT_EQ(etc.st_uid, getuid());

  EXPECT_NE(getpid(), 1);
  EXPECT_EQ(getppid(), 1);
  EXPECT_EQ(readFile("/proc/1/comm"), "qor_sandbox\n");
  EXPECT_FALSE(writeFile("/proc/sys/fs/mqueue/msgsize_max", "8192"));
}

TEST_F(sandbox_identity, OrphansAreReapedByPidOne) {
  int pipeFds[2];
  ASSERT_EQ(pipe(pipeFds), 0);
  ChildProcess parent([&] {
    const pid_t orphan = fork();
    if (orphan == 0) {
      std::this_thread::sleep_for(100ms);  // outlives its parent, then ends as a child of PID 1
      _exit(0);
    }
    return write(pipeFds[1], &orphan, sizeof orphan) == sizeof orphan ? 0 : 1;
  });
  close(pipeFds[1]);
  ASSERT_EQ(parent.wait(5s), 0);
  pid_t orphan = 0;
  ASSERT_EQ(read(pipeFds[0], &orphan, sizeof orphan), static_cast<ssize_t>(sizeof orphan));
  close(pipeFds[0]);

  const std::string entry = "/proc/" + std::to_string(orphan);
  const auto deadline = std::chrono::steady_clock::now() + 5s;
  while (std::filesystem::exists(entry) && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(10ms);
  }
  EXPECT_FALSE(std::filesystem::exists(entry)) << "orphan " << orphan << " left as a zombie";
}

TEST(sandbox_support, ChildProcessReportsHowItEnded) {
  EXPECT_EQ(ChildProcess("sh", {"-c", "exit 7"}).wait(5s), 7);
  EXPECT_EQ(ChildProcess("/nonexistent/program", {}).wait(5s), 127);
  EXPECT_EQ(ChildProcess([] { return 3; }).wait(5s), 3);
  EXPECT_EQ(ChildProcess([]() -> int { throw std::runtime_error("escapes"); }).wait(5s), 127);

  ChildProcess sleeper("sleep", {"60"});
  EXPECT_EQ(sleeper.wait(50ms), std::nullopt);
  EXPECT_TRUE(sleeper.kill(SIGTERM));
  EXPECT_EQ(sleeper.wait(5s), 128 + SIGTERM);
  EXPECT_EQ(sleeper.wait(0ms), 128 + SIGTERM);
  EXPECT_FALSE(sleeper.kill(SIGTERM));
}

TEST_F(sandbox_network, OnlyLoopbackExistsItIsUpAndTcpWorks) {
  std::vector<std::string> interfaces;
  if (struct if_nameindex* list = if_nameindex()) {
    for (struct if_nameindex* i = list; i->if_index != 0; ++i) {
      interfaces.emplace_back(i->if_name);
    }
    if_freenameindex(list);
  }
  EXPECT_EQ(interfaces, std::vector<std::string>{"lo"});
  EXPECT_EQ(entries("/sys/class/net"), std::vector<std::string>{"lo"});

  const int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  ASSERT_GE(listener, 0);
  ifreq request{};
  std::memcpy(request.ifr_name, "lo", sizeof "lo");
  ASSERT_EQ(ioctl(listener, SIOCGIFFLAGS, &request), 0);
  EXPECT_NE(request.ifr_flags & IFF_UP, 0);

  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(listen(listener, 1), 0);
  ASSERT_EQ(getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length), 0);
  const int client = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  ASSERT_EQ(connect(client, reinterpret_cast<sockaddr*>(&address), sizeof address), 0) << std::strerror(errno);
  const int accepted = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
  EXPECT_GE(accepted, 0);
  EXPECT_EQ(write(client, "ping", 4), 4);
  char reply[4] = {};
  EXPECT_EQ(read(accepted, reply, sizeof reply), 4);
  EXPECT_EQ(std::string(reply, sizeof reply), "ping");
  close(accepted);
  close(client);
  close(listener);
}

TEST_F(sandbox_syslog, ALoggedLineArrivesWithIdentLevelAndPid) {
  EXPECT_EQ(permissionsOf("/dev/log"), 0666);
  openlog("qor_selftest", LOG_PID, LOG_DAEMON);
  syslog(LOG_WARNING, "queue %s is full", "/Qor_API");
  closelog();

  const SyslogCapture capture;
  EXPECT_TRUE(capture.waitFor(
      [](const SyslogLine& line) {
        return line.ident == "qor_selftest" && line.pid == getpid() && line.facility == LOG_DAEMON &&
               line.level == LOG_WARNING && line.message == "queue /Qor_API is full";
      },
      5s));
  EXPECT_TRUE(capture.contains("is full"));
  EXPECT_FALSE(capture.contains("never logged"));
}

TEST_F(sandbox_syslog, EveryDatagramBecomesOneLine) {
  const int sender = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  ASSERT_GE(sender, 0);
  sockaddr_un log{};
  log.sun_family = AF_UNIX;
  std::memcpy(log.sun_path, "/dev/log", sizeof "/dev/log");
  ASSERT_EQ(connect(sender, reinterpret_cast<sockaddr*>(&log), sizeof log), 0) << std::strerror(errno);
  const std::string oversized = "<14>big: " + std::string(70000, 'x');
  const std::string datagrams[] = {"<14>raw: trailing newline\n", "<14>raw: two\nlines\n\n",
                                   std::string("<14>raw: nul\0", 13), oversized};
  for (const std::string& datagram : datagrams) {
    ASSERT_EQ(send(sender, datagram.data(), datagram.size(), 0), static_cast<ssize_t>(datagram.size()));
  }
  close(sender);

  const SyslogCapture capture;
  ASSERT_TRUE(capture.waitFor([](const SyslogLine& line) { return line.ident == "big"; }, 5s));
  std::vector<std::string> messages;
  for (const SyslogLine& line : capture.lines()) {
    messages.push_back(line.message);
  }
  const std::vector<std::string> expected = {"trailing newline", "two lines", "nul",
                                             std::string(64 * 1024 - 9, 'x')};  // cut at 64 KiB
  EXPECT_EQ(messages, expected);
}

TEST_F(sandbox_syslog, CapturedLinesParseWhateverArrives) {
  struct Case {
    const char* raw;
    int facility;
    int level;
    const char* ident;
    pid_t pid;
    const char* message;
  };
  const Case table[] = {
      {"<27>Dec  1 09:05:07 qorapid[42]: started", LOG_DAEMON, LOG_ERR, "qorapid", 42, "started"},
      {"<14>Dec 10 13:27:33 tool: a: b", LOG_USER, LOG_INFO, "tool", 0, "a: b"},
      {"<13>tool[7]: no timestamp", LOG_USER, LOG_NOTICE, "tool", 7, "no timestamp"},
      {"<30>Dec 10 13:27:33 no tag here", LOG_DAEMON, LOG_INFO, "", 0, "no tag here"},
      {"<30>Dec 10 13:27:33 spaced tag: text", LOG_DAEMON, LOG_INFO, "", 0, "spaced tag: text"},
      {"<30>Dec 10 13:27:33 tool[x]: bad pid", LOG_DAEMON, LOG_INFO, "tool[x]", 0, "bad pid"},
      {"<99999>tool: priority out of range", -1, -1, "", 0, "<99999>tool: priority out of range"},
      {"<-1>tool: negative", -1, -1, "", 0, "<-1>tool: negative"},
      {"<>", -1, -1, "", 0, "<>"},
      {"plain text", -1, -1, "", 0, "plain text"},
      {"", -1, -1, "", 0, ""},
  };
  std::string file;
  for (const Case& c : table) {
    file += std::string(c.raw) + "\n";
  }
  file += "<30>Dec 10 13:27:33 still being written";  // no newline yet: not a line
  ASSERT_TRUE(writeFile("/tmp/capture", file));

  const std::vector<SyslogLine> lines = SyslogCapture("/tmp/capture").lines();
  ASSERT_EQ(lines.size(), std::size(table));
  for (size_t i = 0; i < lines.size(); ++i) {
    SCOPED_TRACE(table[i].raw);
    EXPECT_EQ(lines[i].facility, table[i].facility);
    EXPECT_EQ(lines[i].level, table[i].level);
    EXPECT_EQ(lines[i].ident, table[i].ident);
    EXPECT_EQ(lines[i].pid, table[i].pid);
    EXPECT_EQ(lines[i].message, table[i].message);
  }
}

}  // namespace
