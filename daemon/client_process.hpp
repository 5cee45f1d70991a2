// A client process of the daemon, held by a process file descriptor: the daemon watches and signals exactly the
// process that created the client's queues, never a reused pid, a process group, or another user's process.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>

namespace qor::daemon {

class ClientProcess {
public:
  // The first decimal number in a client's queue name, the way clients put their process id there.
  static std::optional<uint32_t> pidInName(std::string_view name);

  // The process pid, when it is 2 or more, alive, and run by the user who owns the client queue behind
  // queueDescriptor (a queue the client created).
  static std::optional<ClientProcess> identify(uint32_t pid, int queueDescriptor);

  uint32_t pid() const { return pid_; }
  // The user who owns the client's queues, one of the process's user ids.
  uid_t uid() const { return uid_; }
  // False once the process has ended (a zombie has ended too).
  bool alive() const;
  // Sends SIGTERM to the process; false when it has gone.
  bool terminate() const;

private:
  ClientProcess(uint32_t pid, uid_t uid, std::shared_ptr<const int> pidFd)
      : pid_(pid), uid_(uid), pidFd_(std::move(pidFd)) {}
  uint32_t pid_;
  uid_t uid_;
  std::shared_ptr<const int> pidFd_;
};

} // namespace qor::daemon
