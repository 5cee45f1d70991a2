#include "qor_test/daemon_process.hpp"

#include <mqueue.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>

#include <fstream>
#include <stdexcept>
#include <thread>

#include "qor_protocol.h"
#include "qor_test/child_process.hpp"

namespace qor::test {
namespace {

using namespace std::chrono_literals;

bool serverQueueExists() {
  const mqd_t queue = mq_open(QOR_SERVER_QUEUE_NAME, O_WRONLY);
  if (queue == -1) return false;
  mq_close(queue);
  return true;
}

pid_t pidFromLockFile() {
  pid_t pid = -1;
  std::ifstream("/tmp/daemon.pid") >> pid;
  return pid;
}

}  // namespace

DaemonProcess::DaemonProcess(const std::string& program, const std::vector<std::string>& words) {
  prctl(PR_SET_CHILD_SUBREAPER, 1);
  ChildProcess parent(program, words);
  if (parent.wait(5s) != 0) throw std::runtime_error("qorapid did not detach");
  const auto deadline = std::chrono::steady_clock::now() + 5s;
  while (!serverQueueExists() || (pid_ = pidFromLockFile()) <= 0) {
    if (std::chrono::steady_clock::now() > deadline) throw std::runtime_error("qorapid does not serve /Qor_API");
    std::this_thread::sleep_for(5ms);
  }
}

DaemonProcess::~DaemonProcess() {
  if (pid_ > 0 && stop(10s) < 0) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
}

int DaemonProcess::stop(std::chrono::milliseconds timeout) {
  if (pid_ <= 0) return -1;
  kill(pid_, SIGTERM);
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : WEXITSTATUS(status);
    }
    if (std::chrono::steady_clock::now() > deadline) return -1;
    std::this_thread::sleep_for(5ms);
  }
}

}  // namespace qor::test
