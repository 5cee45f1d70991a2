// A process a test starts and always gets back: the destructor kills (SIGKILL) and reaps it if still running.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace qor::test {

class ChildProcess {
public:
  // Runs body in a forked child, which ends with _exit(body()), or with status 127 if body throws.
  explicit ChildProcess(const std::function<int()>& body);
  // Runs program (searched in PATH) with the arguments that follow argv[0]; exit status 127 if it cannot start.
  ChildProcess(const std::string& program, const std::vector<std::string>& arguments);
  ~ChildProcess();

  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  pid_t pid() const { return pid_; }

  // The exit status (or 128 + the terminating signal), or nothing if the child still runs after timeout.
  std::optional<int> wait(std::chrono::milliseconds timeout);

  // False once the child has been reaped, or if the signal cannot be sent.
  bool kill(int signal);

private:
  pid_t pid_ = -1;
  int pidFd_ = -1;  // readable once the child has ended
  std::optional<int> status_;
};

}  // namespace qor::test
