// The program qorapid as a process: start, detaching, the lock file and a second instance, stale queues, its command
// line, signals and its stop, with a raw client speaking the queue protocol. Connects reach only their failures
// here; connecting to a device is tested in process with a fake path and end to end with the device emulator.
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <sstream>
#include <thread>

#include "qor_error_codes.h"
#include "qor_test/child_process.hpp"
#include "qor_test/files.hpp"
#include "qor_test/syslog_capture.hpp"
#include "raw_client.hpp"

namespace qor::test {
namespace {

using namespace std::chrono_literals;

constexpr char kPidFile[] = "/tmp/daemon.pid";
// A user other than the test's (which runs as root).
constexpr uid_t kOtherUser = 61003;

bool serverQueueExists() {
  const mqd_t queue = mq_open(QOR_SERVER_QUEUE_NAME, O_WRONLY);
  if (queue == -1) return false;
  mq_close(queue);
  return true;
}

template <class Condition>
bool eventually(Condition condition, std::chrono::milliseconds timeout = 5000ms) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!condition()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(10ms);
  }
  return true;
}

// Exit status of a process this test adopted (it is the subreaper of what it starts), as the shell reports it.
std::optional<int> reap(pid_t pid, std::chrono::milliseconds timeout) {
  std::optional<int> status;
  eventually(
      [&] {
        int raw = 0;
        if (waitpid(pid, &raw, WNOHANG) != pid) return false;
        status = WIFSIGNALED(raw) ? 128 + WTERMSIG(raw) : WEXITSTATUS(raw);
        return true;
      },
      timeout);
  return status;
}

size_t threadsOf(pid_t pid) {
  size_t count = 0;
  if (DIR* tasks = opendir(("/proc/" + std::to_string(pid) + "/task").c_str())) {
    while (const dirent* entry = readdir(tasks)) count += entry->d_name[0] != '.';
    closedir(tasks);
  }
  return count;
}

class Qorapid : public ::testing::Test {
protected:
  // Orphans of what the test starts (the detached daemon) become the test's children.
  void SetUp() override { ASSERT_EQ(prctl(PR_SET_CHILD_SUBREAPER, 1), 0); }

  void TearDown() override {
    if (daemon_ > 0) {
      kill(daemon_, SIGKILL);
      reap(daemon_, 5000ms);
    }
  }

  // Starts qorapid as a shell would; its parent's exit status, and the daemon's pid once it serves.
  int start(const std::vector<std::string>& words = {}) {
    ChildProcess launcher(QORAPID, words);
    const auto status = launcher.wait(5000ms);
    if (!status) return -1;
    if (!eventually([] { return serverQueueExists(); })) return -2;
    std::istringstream(readFile(kPidFile).value_or("")) >> daemon_;
    return *status;
  }

  int stop() {
    kill(daemon_, SIGTERM);
    const auto status = reap(daemon_, 10000ms);
    daemon_ = 0;
    return status.value_or(-1);
  }

  pid_t daemon_ = 0;
  SyslogCapture log;
};

TEST_F(Qorapid, StartsDetachedHoldingTheLockFile) {
  ASSERT_EQ(start(), 0);
  ASSERT_GT(daemon_, 1);
  EXPECT_EQ(readFile(kPidFile), std::to_string(daemon_) + "\n");

  const int file = open(kPidFile, O_RDWR);
  ASSERT_NE(file, -1);
  struct flock probe {};
  probe.l_type = F_WRLCK;
  probe.l_whence = SEEK_SET;
  ASSERT_EQ(fcntl(file, F_GETLK, &probe), 0);
  close(file);
  EXPECT_EQ(probe.l_pid, daemon_) << "the daemon holds the lock";

  std::ifstream stat("/proc/" + std::to_string(daemon_) + "/stat");
  std::string pid, name, state;
  pid_t parent = 0, group = 0, session = 0;
  stat >> pid >> name >> state >> parent >> group >> session;
  EXPECT_EQ(session, daemon_) << "in a session of its own";

  const std::string directory = std::filesystem::path(QORAPID).parent_path();
  EXPECT_TRUE(log.waitFor(
      [&](const SyslogLine& line) {
        return line.ident == "Hestor_Daemon" &&
               line.message.find("Daemon REL starting up from " + directory) != std::string::npos;
      },
      1000ms));
}

TEST_F(Qorapid, ASecondInstanceLeavesTheRunningOneAlone) {
  ASSERT_EQ(start(), 0);
  const pid_t first = daemon_;
  auto client = Pair::announce(controlPairName());
  ASSERT_TRUE(client);

  ChildProcess second(QORAPID, {});
  EXPECT_EQ(second.wait(5000ms), 1) << "its parent tells that it did not start";
  std::optional<int> secondStatus;
  eventually([&] {
    int raw = 0;
    const pid_t ended = waitpid(-1, &raw, WNOHANG);
    if (ended <= 0 || ended == first) return false;
    secondStatus = WEXITSTATUS(raw);
    return true;
  });
  EXPECT_EQ(secondStatus, 1);
  EXPECT_TRUE(log.waitFor("Could not lock PID lock file /tmp/daemon.pid, exiting", 1000ms));

  EXPECT_EQ(readFile(kPidFile), std::to_string(first) + "\n");
  EXPECT_TRUE(serverQueueExists());
  const auto answer = client->request(valueRequest(QOR_MSG_CONNECTION_TIMEOUT, 500));
  EXPECT_TRUE(answer) << "the running daemon still serves its clients";
  EXPECT_TRUE(Pair::announce("/Qor_API-" + std::to_string(getpid()) + "-1-1-1")) << "and new ones";
}

// Anything another user puts at the lock file's path, even locked, is replaced; no link is followed.
TEST_F(Qorapid, ReplacesWhatAnotherUserPutAtTheLockFilesPath) {
  ASSERT_EQ(geteuid(), 0u) << "runs as root in the sandbox, as the daemon does on a host";
  constexpr char kTarget[] = "/tmp/target";
  struct Case {
    const char* what;
    std::function<int()> plant; // run as the other user; returns 0 once planted, and keeps a lock it took
    bool targetOfRoot;          // kTarget is a file of root that must stay as it is
  };
  const Case cases[] = {
      {"a file, locked",
       [] {
         const int file = open(kPidFile, O_RDWR | O_CREAT, 0644);
         return file == -1 || lockf(file, F_TLOCK, 0) != 0 ? 1 : 0;
       },
       false},
      {"a dangling link", [&] { return symlink(kTarget, kPidFile); }, false},
      {"a link to a file of root", [&] { return symlink(kTarget, kPidFile); }, true},
      {"a fifo", [] { return mkfifo(kPidFile, 0666); }, false},
  };
  for (const Case& c : cases) {
    unlink(kPidFile);
    unlink(kTarget);
    if (c.targetOfRoot) {
      ASSERT_TRUE(writeFile(kTarget, "root's\n"));
    }
    int planted[2];
    ASSERT_EQ(pipe(planted), 0);
    ChildProcess otherUser([&] {
      if (setgid(kOtherUser) != 0 || setuid(kOtherUser) != 0) return 2;
      const char result = c.plant() == 0 ? 'y' : 'n';
      if (write(planted[1], &result, 1) != 1) return 1;
      pause();
      return 0;
    });
    char result = 0;
    ASSERT_EQ(read(planted[0], &result, 1), 1);
    close(planted[0]);
    close(planted[1]);
    ASSERT_EQ(result, 'y') << c.what;

    ASSERT_EQ(start(), 0) << c.what;
    struct stat status {};
    ASSERT_EQ(lstat(kPidFile, &status), 0) << c.what;
    EXPECT_TRUE(S_ISREG(status.st_mode)) << c.what;
    EXPECT_EQ(status.st_uid, 0u) << c.what;
    EXPECT_EQ(readFile(kPidFile), std::to_string(daemon_) + "\n") << c.what;
    EXPECT_EQ(readFile(kTarget), c.targetOfRoot ? std::optional<std::string>("root's\n") : std::nullopt) << c.what;
    EXPECT_EQ(stop(), 0) << c.what;
  }
}

// A daemon that cannot create "/Qor_API" ends with a failure status (here the other user's queue memory is none).
TEST_F(Qorapid, ExitsWithAFailureWhenItCannotCreateItsQueue) {
  ChildProcess launcher([] {
    const rlimit none{0, 0};
    if (setrlimit(RLIMIT_MSGQUEUE, &none) != 0 || setgid(kOtherUser) != 0 || setuid(kOtherUser) != 0) return 2;
    execl(QORAPID, QORAPID, nullptr);
    return 127;
  });
  ASSERT_EQ(launcher.wait(5000ms), 0) << "it held the lock";
  ASSERT_TRUE(eventually([&] {
    std::istringstream(readFile(kPidFile).value_or("")) >> daemon_;
    return daemon_ > 0;
  }));
  EXPECT_EQ(reap(daemon_, 5000ms), 1);
  daemon_ = 0;
  EXPECT_TRUE(log.waitFor("Qor_Server_WaitForClients : Error create mq </Qor_API>", 1000ms));
}

TEST_F(Qorapid, RemovesTheQueuesOfEarlierRunsAtStart) {
  auto stale = Pair::create("/Qor_API-4242-1-1-1");
  ASSERT_TRUE(stale);
  mq_attr attributes{};
  attributes.mq_maxmsg = 1;
  attributes.mq_msgsize = 16;
  const mqd_t foreign = mq_open("/other", O_CREAT | O_RDONLY, 0600, &attributes);
  ASSERT_NE(foreign, -1);
  mq_close(foreign);

  ASSERT_EQ(start(), 0);
  EXPECT_FALSE(std::filesystem::exists("/dev/mqueue/Qor_API-4242-1-1-1-W"));
  EXPECT_FALSE(std::filesystem::exists("/dev/mqueue/Qor_API-4242-1-1-1-R"));
  EXPECT_TRUE(std::filesystem::exists("/dev/mqueue/other"));
  EXPECT_TRUE(log.waitFor("unlink_cb : /dev/mqueue/other no Qor_API file ?!", 1000ms));
  mq_unlink("/other");
}

TEST_F(Qorapid, TakesItsWordsInAnyOrderAndCase) {
  struct Case {
    std::vector<std::string> words;
    std::vector<std::string> logged;
  };
  const Case cases[] = {
      {{"USB", "Debug"}, {"dbg_mode 1 usb 1"}},
      {{"debug"}, {"dbg_mode 1 usb 0"}},
      {{"bogus", "usb", "ignored"}, {"unknown Par1 :  bogus", "dbg_mode 0 usb 1"}},
      {{"usb", "bogus"}, {"unknown Par2 :  bogus", "dbg_mode 0 usb 1"}},
  };
  for (const Case& c : cases) {
    ASSERT_EQ(start(c.words), 0) << c.words.front();
    for (const std::string& line : c.logged) EXPECT_TRUE(log.waitFor(line, 1000ms)) << line;
    EXPECT_EQ(stop(), 0);
  }
}

TEST_F(Qorapid, SighupIsOnlyLogged) {
  ASSERT_EQ(start(), 0);
  kill(daemon_, SIGHUP);
  EXPECT_TRUE(log.waitFor("Received SIGHUP signal.", 2000ms));
  EXPECT_TRUE(Pair::announce(controlPairName())) << "the daemon still serves";
}

TEST_F(Qorapid, SigtermStopsTheDaemonInOrder) {
  ASSERT_EQ(start(), 0);
  auto client = Pair::announce(controlPairName());
  ASSERT_TRUE(client);
  const auto started = std::chrono::steady_clock::now();
  EXPECT_EQ(stop(), 0);
  EXPECT_LT(std::chrono::steady_clock::now() - started, 5000ms);
  EXPECT_TRUE(log.contains("qorapid stopped ..."));
  EXPECT_FALSE(serverQueueExists());
}

TEST_F(Qorapid, ConnectsToAbsentDevicesFailCleanly) {
  ASSERT_EQ(start(), 0);
  auto pair = Pair::announce(controlPairName());
  ASSERT_TRUE(pair);
  const auto timeout = pair->request(valueRequest(QOR_MSG_CONNECTION_TIMEOUT, 800));
  ASSERT_TRUE(timeout && timeout->size() == sizeof(ConnectionTimeoutReply));
  EXPECT_EQ((*timeout)[12], 500 & 0xFF);
  EXPECT_EQ((*timeout)[13], 500 >> 8);

  struct Case {
    Qor_InterfaceInfo_t info;
    uint32_t code;
    const char* text;
  };
  const Case cases[] = {
      {descriptor(18, 1, 1, 0, 0, 0x0200007F), QOR_ERR_SERVER_DEVICE_NOT_CONNECTED,
       "connection attempt failed, socket error = 111 - Connection refused"},
      {descriptor(20, 1, 1, 1), QOR_ERR_SERVER_UNKNOWN_DEVICE_TYPE, "20"},
  };
  for (const Case& c : cases) {
    ConnectPortResponse answer;
    EXPECT_FALSE(Application::connect(c.info, answer));
    EXPECT_EQ(answer.header.error, c.code);
    const auto last = pair->request(bareRequest(QOR_MSG_LAST_SERVER_ERROR));
    ASSERT_TRUE(last);
    EXPECT_EQ(headerOf(*last).error, c.code);
    EXPECT_EQ(reportText(*last), c.text);
  }
  // The client closes the pair: answered, and served no more.
  const CloseClientConnectionRequest close{{QOR_MSG_CLOSE_CLIENT_CONNECTION, 0, 0, 0, sizeof close},
                                           static_cast<uint32_t>(getpid())};
  const auto closed = pair->request(std::span(reinterpret_cast<const uint8_t*>(&close), sizeof close));
  ASSERT_TRUE(closed);
  EXPECT_EQ(headerOf(*closed).code, QOR_MSG_CLOSE_CLIENT_CONNECTION);
  EXPECT_EQ(headerOf(*closed).length, QOR_BARE_REPLY_LENGTH);
  EXPECT_FALSE(pair->request(bareRequest(QOR_MSG_LAST_SERVER_ERROR), 300ms));
}

TEST_F(Qorapid, AControlThreadEndsWithItsClient) {
  ASSERT_EQ(start(), 0);
  const size_t idle = threadsOf(daemon_);
  int announced[2];
  ASSERT_EQ(pipe(announced), 0);
  ChildProcess client([&] {
    const auto pair = Pair::announce(controlPairName());
    const char done = pair ? 'y' : 'n';
    if (write(announced[1], &done, 1) != 1) return 1;
    pause();
    return 0;
  });
  char done = 0;
  ASSERT_EQ(read(announced[0], &done, 1), 1);
  ASSERT_EQ(done, 'y');
  EXPECT_TRUE(eventually([&] { return threadsOf(daemon_) == idle + 1; })) << "one thread serves the pair";
  client.kill(SIGKILL);
  EXPECT_TRUE(eventually([&] { return threadsOf(daemon_) == idle; }, 3000ms));
  close(announced[0]);
  close(announced[1]);
}

} // namespace
} // namespace qor::test
