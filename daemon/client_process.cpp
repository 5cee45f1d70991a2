#include "client_process.hpp"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>
// This glibc's header declares the functions without C linkage.
extern "C" {
#include <sys/pidfd.h>
}

#include <cctype>
#include <charconv>
#include <climits>
#include <fstream>
#include <sstream>
#include <string>

namespace qor::daemon {
namespace {

// Whether uid is one of the real, effective, saved and file-system user ids of the process.
bool runBy(uint32_t pid, uid_t uid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("Uid:", 0) != 0) continue;
    std::istringstream ids(line.substr(4));
    for (unsigned long id = 0; ids >> id;) {
      if (id == uid) return true;
    }
    return false;
  }
  return false;
}

} // namespace

std::optional<uint32_t> ClientProcess::pidInName(std::string_view name) {
  const auto digit = [](char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; };
  size_t start = 0;
  while (start < name.size() && !digit(name[start])) ++start;
  size_t end = start;
  while (end < name.size() && digit(name[end])) ++end;
  uint32_t pid = 0;
  const auto [stop, error] = std::from_chars(name.data() + start, name.data() + end, pid);
  if (start == end || error != std::errc{} || stop != name.data() + end) return std::nullopt;
  return pid;
}

std::optional<ClientProcess> ClientProcess::identify(uint32_t pid, int queueDescriptor) {
  // Pid 0 and 1 would name a process group or init; above INT_MAX a negative pid (kill(-1) signals everyone).
  if (pid < 2 || pid > INT_MAX) return std::nullopt;
  struct stat queue {};
  if (fstat(queueDescriptor, &queue) != 0) return std::nullopt;
  const int fd = pidfd_open(static_cast<pid_t>(pid), 0);
  if (fd < 0) return std::nullopt;
  ClientProcess client(pid, queue.st_uid, std::shared_ptr<const int>(new int(fd), [](const int* owned) {
                         close(*owned);
                         delete owned;
                       }));
  // Alive after the check: the process read from /proc is the one the descriptor holds, not a successor.
  if (!runBy(pid, queue.st_uid) || !client.alive()) return std::nullopt;
  return client;
}

bool ClientProcess::alive() const {
  pollfd ended{*pidFd_, POLLIN, 0};
  return poll(&ended, 1, 0) == 0;
}

bool ClientProcess::terminate() const { return pidfd_send_signal(*pidFd_, SIGTERM, nullptr, 0) == 0; }

} // namespace qor::daemon
