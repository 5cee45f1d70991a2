// The outer process: parses the command line, starts PID 1 of a new PID namespace (which makes the other
// namespaces) and passes its exit status on. It stays on the host to forward SIGTERM/SIGINT.
#include "sandbox.hpp"

#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string_view>

namespace qor::sandbox {

void fail(const std::string& what, int error) {
  if (error != 0) {
    std::fprintf(stderr, "qor_sandbox: %s: %s\n", what.c_str(), std::strerror(error));
  } else {
    std::fprintf(stderr, "qor_sandbox: %s\n", what.c_str());
  }
  _exit(kSandboxFailure);
}

int exitStatusOf(int waitStatus) {
  return WIFSIGNALED(waitStatus) ? 128 + WTERMSIG(waitStatus) : WEXITSTATUS(waitStatus);
}

}  // namespace qor::sandbox

namespace {

using namespace qor::sandbox;

constexpr char kUsage[] =
    "usage: qor_sandbox [--root] [--ini FILE] [--keep DIR]... -- COMMAND [ARGS...]\n"
    "  --root      run COMMAND as root, not under a uid of its own\n"
    "  --ini FILE  FILE's content becomes /etc/Qor_API_Linux.ini\n"
    "  --keep DIR  DIR stays in sight at its own path, read-only; this build's source and build trees always do";

// The test programs, their fixtures, the daemon and the scripts live there, wherever the checkout lies.
constexpr const char* kBuiltInKeptTrees[] = {QOR_SOURCE_DIR, QOR_BINARY_DIR};

// Each sandbox's command gets a uid of its own: the per-uid queue memory limit is shared across IPC namespaces.
constexpr uid_t kFirstSandboxUid = 100000;

volatile sig_atomic_t initPid = 0;

void forwardSignal(int signal) {
  if (initPid > 0) {
    kill(initPid, signal);
  }
}

// Read before the sandbox hides the host's /tmp, where the file may well be.
std::string readIniFile(const char* path) {
  const int fd = open(path, O_RDONLY | O_CLOEXEC);
  check(fd, std::string("open ") + path);
  std::string content;
  char buffer[4096];
  ssize_t n = 0;
  while ((n = read(fd, buffer, sizeof buffer)) > 0) {
    content.append(buffer, static_cast<size_t>(n));
  }
  check(n, std::string("read ") + path);
  close(fd);
  return content;
}

// Resolved on the host's view, so that a tree that is not there fails before anything starts.
std::string resolveTree(const char* path) {
  const std::unique_ptr<char, decltype(&std::free)> resolved(realpath(path, nullptr), &std::free);
  if (!resolved) {
    fail(std::string("keep ") + path, errno);
  }
  struct stat status {};
  check(stat(resolved.get(), &status), std::string("keep ") + path);
  if (!S_ISDIR(status.st_mode)) {
    fail(std::string("keep ") + path + ": not a directory");
  }
  return resolved.get();
}

bool isWithin(const std::string& path, const std::string& tree) {
  return path.starts_with(tree) && (path.size() == tree.size() || path[tree.size()] == '/' || tree == "/");
}

// A tree inside another one comes along with it.
std::vector<std::string> outermostTrees(const std::vector<std::string>& trees) {
  std::vector<std::string> outermost;
  for (const std::string& tree : trees) {
    const auto encloses = [&](const std::string& other) { return other != tree && isWithin(tree, other); };
    const bool duplicate = std::find(outermost.begin(), outermost.end(), tree) != outermost.end();
    if (!duplicate && std::none_of(trees.begin(), trees.end(), encloses)) {
      outermost.push_back(tree);
    }
  }
  return outermost;
}

Options parseArguments(int argc, char** argv) {
  Options options;
  std::vector<std::string> trees;
  for (const char* tree : kBuiltInKeptTrees) {
    trees.push_back(resolveTree(tree));
  }
  int i = 1;
  for (; i < argc && std::string_view(argv[i]) != "--"; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--root") {
      options.runAsRoot = true;
    } else if (arg == "--ini" && i + 1 < argc) {
      options.iniContent = readIniFile(argv[++i]);
    } else if (arg == "--keep" && i + 1 < argc) {
      trees.push_back(resolveTree(argv[++i]));
    } else {
      fail(kUsage);
    }
  }
  if (i + 1 >= argc) {
    fail(kUsage);
  }
  options.keptTrees = outermostTrees(trees);
  options.command.assign(argv + i + 1, argv + argc);
  options.command.push_back(nullptr);
  return options;
}

}  // namespace

int main(int argc, char** argv) {
  Options options = parseArguments(argc, argv);
  if (geteuid() != 0) {
    fail("must run as root");
  }
  if (!options.runAsRoot) {
    options.uid = kFirstSandboxUid + static_cast<uid_t>(getpid());
    options.gid = options.uid;
  }

  // PID 1 sees its read end hang up if this process is gone before PR_SET_PDEATHSIG took effect.
  int alive[2];
  check(pipe2(alive, O_CLOEXEC), "pipe");

  // Signals wait until initPid is known.
  sigset_t forwarded;
  sigemptyset(&forwarded);
  sigaddset(&forwarded, SIGTERM);
  sigaddset(&forwarded, SIGINT);
  check(sigprocmask(SIG_BLOCK, &forwarded, nullptr), "sigprocmask");

  // Only the child enters the new namespaces. This process goes on forking in the host's PID namespace (once
  // PID 1 has ended, a fork into its namespace fails, the sanitizers' leak check too) and keeps the host's /proc.
  const int hostPids = open("/proc/self/ns/pid", O_RDONLY | O_CLOEXEC);
  check(hostPids, "open /proc/self/ns/pid");
  check(unshare(CLONE_NEWPID), "unshare");
  const pid_t pid = fork();
  check(pid, "fork");
  if (pid == 0) {
    close(hostPids);
    close(alive[1]);
    runInit(options, alive[0]);  // keeps SIGTERM/SIGINT blocked: it reads them from a signalfd
  }
  check(setns(hostPids, CLONE_NEWPID), "setns");
  close(hostPids);
  close(alive[0]);
  initPid = pid;

  struct sigaction action {};
  action.sa_handler = forwardSignal;
  sigemptyset(&action.sa_mask);
  check(sigaction(SIGTERM, &action, nullptr), "sigaction");
  check(sigaction(SIGINT, &action, nullptr), "sigaction");
  check(sigprocmask(SIG_UNBLOCK, &forwarded, nullptr), "sigprocmask");

  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) {
      fail("waitpid", errno);
    }
  }
  return exitStatusOf(status);
}
