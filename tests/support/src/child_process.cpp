#include "qor_test/child_process.hpp"

#include <poll.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <stdexcept>
#include <string>

namespace qor::test {
namespace {

int exitStatusOf(int waitStatus) {
  return WIFSIGNALED(waitStatus) ? 128 + WTERMSIG(waitStatus) : WEXITSTATUS(waitStatus);
}

std::function<int()> execute(const std::string& program, const std::vector<std::string>& arguments) {
  std::vector<std::string> argv{program};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  return [argv]() mutable {
    std::vector<char*> pointers;
    for (std::string& argument : argv) {
      pointers.push_back(argument.data());
    }
    pointers.push_back(nullptr);
    execvp(pointers[0], pointers.data());
    return 127;
  };
}

}  // namespace

ChildProcess::ChildProcess(const std::function<int()>& body) {
  pid_ = fork();
  if (pid_ < 0) {
    throw std::runtime_error("fork failed");
  }
  if (pid_ == 0) {
    // Nothing may unwind into the caller's code: the child would go on running the test program.
    try {
      _exit(body());
    } catch (...) {
      _exit(127);
    }
  }
  // The glibc wrapper lacks C linkage in this distribution's headers.
  pidFd_ = static_cast<int>(syscall(SYS_pidfd_open, pid_, 0));
  if (pidFd_ < 0) {
    ::kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
    throw std::runtime_error("pidfd_open failed");
  }
}

ChildProcess::ChildProcess(const std::string& program, const std::vector<std::string>& arguments)
    : ChildProcess(execute(program, arguments)) {}

ChildProcess::~ChildProcess() {
  if (!status_) {
    ::kill(pid_, SIGKILL);
    while (waitpid(pid_, nullptr, 0) < 0 && errno == EINTR) {
    }
  }
  close(pidFd_);
}

std::optional<int> ChildProcess::wait(std::chrono::milliseconds timeout) {
  if (!status_) {
    pollfd ended{pidFd_, POLLIN, 0};
    const auto bounded = std::clamp<std::chrono::milliseconds::rep>(timeout.count(), 0, INT_MAX);
    if (poll(&ended, 1, static_cast<int>(bounded)) <= 0) {
      return std::nullopt;
    }
    int waitStatus = 0;
    if (waitpid(pid_, &waitStatus, WNOHANG) == pid_) {
      status_ = exitStatusOf(waitStatus);
    }
  }
  return status_;
}

bool ChildProcess::kill(int signal) {
  return !status_ && ::kill(pid_, signal) == 0;
}

}  // namespace qor::test
