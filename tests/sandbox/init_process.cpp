// PID 1 of the sandbox: runs the command, relays the system log into the capture file and reaps every process,
// detached daemons included. When it exits the kernel kills whatever is left in the PID namespace.
#include "sandbox.hpp"

#include "qor_test/syslog_capture.hpp"

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace qor::sandbox {
namespace {

constexpr char kLogSocket[] = "/dev/log";

// Enough for any line a test logs; longer datagrams are cut.
constexpr size_t kMaxDatagram = 64 * 1024;

// After the command ends, what is already queued is still captured; a process that keeps logging does not
// hold the sandbox open.
constexpr int kMaxDrainedDatagrams = 100000;

int bindLogSocket() {
  const int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  check(fd, "socket");
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path, kLogSocket, sizeof kLogSocket);
  check(bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address), "bind /dev/log");
  check(chmod(kLogSocket, 0666), "chmod /dev/log");
  return fd;
}

int openCaptureFile() {
  // Readable by the command, written only by PID 1.
  const int fd = open(kCaptureFile, O_WRONLY | O_CREAT | O_EXCL | O_APPEND | O_CLOEXEC, 0644);
  check(fd, std::string("create ") + kCaptureFile);
  return fd;
}

// Appends one datagram as one line, written at once so that a reader polling the file sees whole lines.
// Returns false when no datagram is waiting.
bool relayDatagram(int logSocket, int capture) {
  static std::array<char, kMaxDatagram + 1> buffer;
  const ssize_t received = recv(logSocket, buffer.data(), kMaxDatagram, MSG_DONTWAIT);
  if (received < 0) {
    if (errno == EAGAIN || errno == EINTR) {
      return false;
    }
    fail("read /dev/log", errno);
  }
  size_t length = static_cast<size_t>(received);
  while (length > 0 && (buffer[length - 1] == '\n' || buffer[length - 1] == '\0')) {
    --length;
  }
  for (size_t i = 0; i < length; ++i) {
    if (buffer[i] == '\n' || buffer[i] == '\0') {
      buffer[i] = ' ';  // one datagram, one line
    }
  }
  buffer[length++] = '\n';
  for (size_t done = 0; done < length;) {
    const ssize_t n = write(capture, buffer.data() + done, length - done);
    check(n, std::string("write ") + kCaptureFile);
    done += static_cast<size_t>(n);
  }
  return true;
}

int makeSignalFd() {
  sigset_t handled;
  sigemptyset(&handled);
  sigaddset(&handled, SIGCHLD);
  sigaddset(&handled, SIGTERM);
  sigaddset(&handled, SIGINT);
  check(sigprocmask(SIG_BLOCK, &handled, nullptr), "sigprocmask");
  const int fd = signalfd(-1, &handled, SFD_CLOEXEC | SFD_NONBLOCK);
  check(fd, "signalfd");
  return fd;
}

pid_t startCommand(const Options& options) {
  const pid_t pid = fork();
  check(pid, "fork");
  if (pid != 0) {
    return pid;
  }
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);
  check(setenv(qor::test::kSyslogCaptureVariable, kCaptureFile, 1), "setenv");
  if (!options.runAsRoot) {
    // A full switch (real, effective and saved ids) keeps the exec an ordinary one, so sanitizers still work.
    check(setgroups(0, nullptr), "setgroups");
    check(setresgid(options.gid, options.gid, options.gid), "setresgid");
    check(setresuid(options.uid, options.uid, options.uid), "setresuid");
  }
  execvp(options.command[0], options.command.data());
  const int error = errno;
  std::fprintf(stderr, "qor_sandbox: cannot run %s: %s\n", options.command[0], std::strerror(error));
  _exit(error == ENOENT ? 127 : 126);  // as env(1) and timeout(1) report it
}

// Reaps every child that has ended; returns true once the command is among them.
bool reapChildren(pid_t command, int& commandStatus) {
  bool commandEnded = false;
  int status = 0;
  pid_t pid = 0;
  while ((pid = waitpid(-1, &status, WNOHANG)) > 0) {
    if (pid == command) {
      commandStatus = status;
      commandEnded = true;
    }
  }
  return commandEnded;
}

}  // namespace

void runInit(const Options& options, int parentAlive) {
  // The outer process may be killed (a test time-out): everything here goes with it.
  check(prctl(PR_SET_PDEATHSIG, SIGKILL), "prctl");
  pollfd parent{parentAlive, POLLIN, 0};
  if (poll(&parent, 1, 0) > 0 && (parent.revents & POLLHUP) != 0) {
    _exit(kSandboxFailure);
  }
  close(parentAlive);

  prepareNamespaces(options);
  const int logSocket = bindLogSocket();
  const int capture = openCaptureFile();
  const int signals = makeSignalFd();
  const pid_t command = startCommand(options);

  int commandStatus = 0;
  for (bool commandEnded = false; !commandEnded;) {
    // No time bound here: the command's own test time-out ends the outer process, and so this one.
    std::array<pollfd, 2> ready{{{signals, POLLIN, 0}, {logSocket, POLLIN, 0}}};
    if (poll(ready.data(), ready.size(), -1) < 0) {
      if (errno == EINTR) {
        continue;
      }
      fail("poll", errno);
    }
    if ((ready[1].revents & POLLIN) != 0) {
      relayDatagram(logSocket, capture);
    }
    signalfd_siginfo info{};
    while (read(signals, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
      if (info.ssi_signo == SIGCHLD) {
        commandEnded = reapChildren(command, commandStatus) || commandEnded;
      } else if (!commandEnded) {
        kill(command, static_cast<int>(info.ssi_signo));
      }
    }
  }
  for (int i = 0; i < kMaxDrainedDatagrams && relayDatagram(logSocket, capture); ++i) {
  }
  _exit(exitStatusOf(commandStatus));
}

}  // namespace qor::sandbox
