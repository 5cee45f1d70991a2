// qor_sandbox seen from outside: exit statuses, the command's uid, signals, that nothing started inside
// outlives the sandbox, and that the command's tree stays in sight wherever it lies. Runs on the host, as root,
// like CI.
#include "qor_test/child_process.hpp"
#include "qor_test/files.hpp"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using namespace std::chrono_literals;
using qor::test::ChildProcess;

// A pipe whose write end becomes the sandbox's standard output: its read end reports end of file only once
// every process that inherited it (the outer process, PID 1, the command, its daemons) has ended.
class Output {
public:
  Output() { EXPECT_EQ(pipe2(fds_, O_CLOEXEC), 0); }
  Output(const Output&) = delete;
  Output& operator=(const Output&) = delete;
  ~Output() {
    close(fds_[0]);
    closeWriteEnd();
  }
  int writeEnd() const { return fds_[1]; }
  void closeWriteEnd() {
    if (fds_[1] >= 0) {
      close(fds_[1]);
      fds_[1] = -1;
    }
  }

  // Reads until a newline or end of file arrives, at most timeout long.
  std::string readLine(std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    std::string text;
    char c = 0;
    while (waitReadable(deadline) && read(fds_[0], &c, 1) == 1 && c != '\n') {
      text += c;
    }
    return text;
  }

  // True when end of file arrives within timeout; what arrives before it is discarded.
  bool endsWithin(std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    char buffer[256];
    ssize_t n = -1;
    while (waitReadable(deadline) && (n = read(fds_[0], buffer, sizeof buffer)) > 0) {
    }
    return n == 0;
  }

private:
  bool waitReadable(std::chrono::steady_clock::time_point deadline) {
    using std::chrono::milliseconds;
    const auto left = std::chrono::duration_cast<milliseconds>(deadline - std::chrono::steady_clock::now());
    pollfd ready{fds_[0], POLLIN, 0};
    return left.count() > 0 && poll(&ready, 1, static_cast<int>(left.count())) > 0;
  }

  int fds_[2] = {-1, -1};
};

// Starts qor_sandbox with arguments, in directory when one is given; its standard output goes to output.
std::unique_ptr<ChildProcess> startSandbox(std::vector<std::string> arguments, Output& output,
                                           const std::string& directory = {}) {
  arguments.insert(arguments.begin(), QOR_SANDBOX);
  const int writeEnd = output.writeEnd();
  auto child = std::make_unique<ChildProcess>([arguments, writeEnd, directory]() mutable {
    if (!directory.empty() && chdir(directory.c_str()) != 0) {
      return 127;
    }
    std::vector<char*> argv;
    for (std::string& argument : arguments) {
      argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    dup2(writeEnd, STDOUT_FILENO);
    execv(argv[0], argv.data());
    return 127;
  });
  output.closeWriteEnd();
  return child;
}

struct StatusCase {
  const char* name;
  std::vector<std::string> arguments;
  int status;
};

// Names the case in test lists.
void PrintTo(const StatusCase& statusCase, std::ostream* out) {
  *out << statusCase.name;
}

class sandbox_lifecycle_status : public testing::TestWithParam<StatusCase> {};

TEST_P(sandbox_lifecycle_status, ExitStatusIsTheCommandsOr125ForTheSandboxsOwnErrors) {
  Output output;
  const auto sandbox = startSandbox(GetParam().arguments, output);
  EXPECT_EQ(sandbox->wait(20s), GetParam().status);
}

INSTANTIATE_TEST_SUITE_P(
    table, sandbox_lifecycle_status,
    testing::Values(StatusCase{"Success", {"--", "true"}, 0},
                    StatusCase{"ExitCode", {"--", "sh", "-c", "exit 3"}, 3},
                    StatusCase{"KilledBySignal", {"--", "sh", "-c", "kill -TERM $$"}, 128 + SIGTERM},
                    StatusCase{"RootOnRequest", {"--root", "--", "sh", "-c", "test \"$(id -u)\" = 0"}, 0},
                    StatusCase{"CommandNotFound", {"--", "/nonexistent/command"}, 127},
                    StatusCase{"CommandNotExecutable", {"--", "/etc/passwd"}, 126},
                    StatusCase{"NoSeparator", {"true"}, 125}, StatusCase{"NoCommand", {"--"}, 125},
                    StatusCase{"UnknownOption", {"--bogus", "--", "true"}, 125},
                    StatusCase{"MissingIniFile", {"--ini", "/nonexistent.ini", "--", "true"}, 125},
                    StatusCase{"IniIsADirectory", {"--ini", "/etc", "--", "true"}, 125},
                    StatusCase{"MissingKeptTree", {"--keep", "/nonexistent", "--", "true"}, 125},
                    StatusCase{"KeptTreeIsAFile", {"--keep", "/etc/passwd", "--", "true"}, 125},
                    StatusCase{"KeepWithoutTree", {"--keep"}, 125}));

TEST(sandbox_lifecycle, TheCommandRunsUnderAUidOfItsOwn) {
  Output output;
  const auto sandbox = startSandbox({"--", "id", "-u"}, output);
  EXPECT_EQ(output.readLine(10s), std::to_string(100000 + sandbox->pid()));
  EXPECT_EQ(sandbox->wait(10s), 0);
}

TEST(sandbox_lifecycle, ADetachedDaemonEndsWithTheCommand) {
  Output output;
  const auto sandbox = startSandbox({"--", "sh", "-c", "setsid sleep 60 2>/dev/null & exit 0"}, output);
  EXPECT_EQ(sandbox->wait(10s), 0);
  EXPECT_TRUE(output.endsWithin(5s)) << "a process started in the sandbox is still running";
}

TEST(sandbox_lifecycle, KillingTheOuterProcessEndsEverythingInside) {
  Output output;
  const auto sandbox =
      startSandbox({"--", "sh", "-c", "setsid sleep 60 2>/dev/null & echo ready; exec sleep 60 2>/dev/null"}, output);
  ASSERT_EQ(output.readLine(10s), "ready");
  EXPECT_TRUE(sandbox->kill(SIGKILL));
  EXPECT_EQ(sandbox->wait(5s), 128 + SIGKILL);
  EXPECT_TRUE(output.endsWithin(5s)) << "a process started in the sandbox is still running";
}

TEST(sandbox_lifecycle, SigtermReachesTheCommand) {
  Output output;
  const auto sandbox =
      startSandbox({"--", "sh", "-c", "trap 'exit 42' TERM; echo ready; while :; do sleep 0.05; done"}, output);
  ASSERT_EQ(output.readLine(10s), "ready");
  EXPECT_TRUE(sandbox->kill(SIGTERM));
  EXPECT_EQ(sandbox->wait(10s), 42);
}

// A checkout where a new user puts one, made on the host: <base>/qor_kept.XXXXXX (mode 0700, like /root) holds
// the tree (mode 0755) with a program and its data, and a file of the host beside the tree. Below /tmp the sandbox's
// fresh /tmp hides it; elsewhere the 0700 directory keeps the command's uid out.
class Checkout {
public:
  explicit Checkout(const std::string& base) {
    std::string pattern = base + "/qor_kept.XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) {
      throw std::runtime_error("mkdtemp " + pattern);
    }
    top_ = pattern;
    std::filesystem::create_directory(tree());
    std::filesystem::permissions(tree(), std::filesystem::perms(0755));
    EXPECT_TRUE(qor::test::writeFile(tree() + "/data", "kept\n"));
    EXPECT_TRUE(qor::test::writeFile(hostOnly(), "host\n"));
    // One line each: the tree's data, whether the host's file beside the tree shows, whether the tree is
    // writable, whether /tmp takes a file, the working directory.
    const std::string program = "#!/bin/sh\n"
                                "tree=${0%/*}\n"
                                "cat \"$tree/data\"\n"
                                "test -e \"$tree/../host-only\" && echo seen || echo hidden\n"
                                "touch \"$tree/new\" 2>/dev/null && echo writable || echo read-only\n"
                                "echo fresh > " + tmpFile() + " && cat " + tmpFile() + "\n"
                                "pwd\n";
    EXPECT_TRUE(qor::test::writeFile(this->program(), program));
    std::filesystem::permissions(this->program(), std::filesystem::perms(0755));
  }
  Checkout(const Checkout&) = delete;
  Checkout& operator=(const Checkout&) = delete;
  ~Checkout() {
    std::filesystem::remove_all(top_);
    qor::test::removeFile(tmpFile());
  }

  std::string tree() const { return top_ + "/tree"; }
  std::string program() const { return tree() + "/program"; }
  std::string hostOnly() const { return top_ + "/host-only"; }
  // Written by the program in its /tmp: never on the host.
  std::string tmpFile() const { return "/tmp/" + std::filesystem::path(top_).filename().string() + ".written"; }

private:
  std::string top_;
};

struct LocationCase {
  const char* name;
  const char* base;
  std::vector<std::string> options;
  const char* besideTheTree;  // whether the host's file beside the tree shows
};

void PrintTo(const LocationCase& locationCase, std::ostream* out) {
  *out << locationCase.name;
}

class sandbox_lifecycle_location : public testing::TestWithParam<LocationCase> {};

TEST_P(sandbox_lifecycle_location, TheKeptTreeIsInSightReadOnlyAtItsPathAndTmpStaysPrivate) {
  const Checkout checkout(GetParam().base);
  std::vector<std::string> arguments = GetParam().options;
  arguments.insert(arguments.end(), {"--keep", checkout.tree(), "--", checkout.program()});
  Output output;
  const auto sandbox = startSandbox(arguments, output, checkout.tree());
  std::vector<std::string> lines;
  for (int i = 0; i < 5; ++i) {
    lines.push_back(output.readLine(10s));
  }
  EXPECT_EQ(sandbox->wait(10s), 0);
  const std::vector<std::string> expected = {"kept", GetParam().besideTheTree, "read-only", "fresh", checkout.tree()};
  EXPECT_EQ(lines, expected);

  EXPECT_FALSE(std::filesystem::exists(checkout.tmpFile())) << "written on the host's /tmp";
  EXPECT_FALSE(std::filesystem::exists(checkout.tree() + "/new")) << "written in the host's tree";
  EXPECT_EQ(qor::test::readFile(checkout.hostOnly()), "host\n");
}

// Below /var/tmp, the 0700 directory stands for a home such as /root. Every user of the sandbox gets a way of its
// own through it that shows nothing else of it: a command run as root may start programs under other uids.
INSTANTIATE_TEST_SUITE_P(table, sandbox_lifecycle_location,
                         testing::Values(LocationCase{"BelowTmp", "/tmp", {}, "hidden"},
                                         LocationCase{"BelowTmpAsRoot", "/tmp", {"--root"}, "hidden"},
                                         LocationCase{"BelowAPrivateHome", "/var/tmp", {}, "hidden"},
                                         LocationCase{"BelowAPrivateHomeAsRoot", "/var/tmp", {"--root"}, "hidden"}));

}  // namespace
