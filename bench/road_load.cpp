// The road under load: the daemon and four emulated Ethernet interfaces, with many library processes commanding at
// once. Two runs:
//   load run              N clients (default 16) open a port each and command with response for T seconds
//                         (default 20); every answer's data are checked.
//   kill-and-restart run  clients that reopen their ports every few commands; a few are killed (SIGKILL) among their
//                         opens and commands, then the daemon is stopped (SIGTERM) and started again, and clients
//                         started afterwards must open and command without a failure. Clients that ran through the
//                         restart are counted apart: they recover only if the library reopens "/Qor_API".
// Each client is this program run again (--client), so that the library loads in a process of its own; it reports
// its counts through a pipe. Every wait is bounded and the tool ends by itself. Runs inside qor_sandbox (fixed queue
// names, loopback devices); exits 1 when a check fails.
//   qor_bench_road_load [--clients N] [--seconds T]
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "emulated_interfaces.hpp"
#include "qor_api.h"
#include "qor_emulator/frame.hpp"
#include "qor_test/child_process.hpp"
#include "qor_test/daemon_process.hpp"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using qor::emulator::ReceivedFrame;
using qor::emulator::Reply;

constexpr uint8_t kEchoCommand = 0x42;
constexpr int kInterfaces = 4;
constexpr size_t kParameterBytes = 16;
constexpr auto kReportEvery = 100ms;
// A client whose library call hangs is killed this long after its run should have ended.
constexpr auto kClientGrace = 15s;
constexpr auto kDaemonStop = 10s;
constexpr int kKills = 4;
constexpr int kClientsAfterRestart = 4;
constexpr int kCommandsPerOpen = 10; // the kill-and-restart clients' churn of opens
constexpr int kFailuresShown = 3;    // per client, on stderr

// What a client has done so far; written whole to its pipe (far below PIPE_BUF, so never torn).
struct Progress {
  uint64_t commands = 0; // answered with the right data
  uint64_t failures = 0; // non-zero codes and wrong data
  uint64_t opens = 0;
  uint32_t firstFailureCode = 0;
  uint32_t finished = 0;
};

// ---- the client process ----

class Client {
public:
  Client(int id, std::string address, int reopenEvery) : id_(id), address_(std::move(address)), reopenEvery_(reopenEvery) {}

  int run(Clock::time_point deadline) {
    auto lastReport = Clock::now();
    uint32_t port = QOR_NO_PORT;
    int sinceOpen = 0;
    while (Clock::now() < deadline) {
      if (port == QOR_NO_PORT) {
        port = open();
        sinceOpen = 0;
        if (port == QOR_NO_PORT) std::this_thread::sleep_for(20ms);
      } else if (!command(port) || (reopenEvery_ != 0 && ++sinceOpen == reopenEvery_)) {
        Qor_CloseInterface(port);
        port = QOR_NO_PORT;
      }
      if (Clock::now() - lastReport >= kReportEvery) {
        report();
        lastReport = Clock::now();
      }
    }
    if (port != QOR_NO_PORT) Qor_CloseInterface(port);
    progress_.finished = 1;
    report();
    return progress_.failures == 0 ? 0 : 1;
  }

private:
  uint32_t open() {
    const Qor_InterfaceInfo_t info = qor::bench::interfaceInfo(address_);
    uint32_t port = QOR_NO_PORT;
    const uint32_t code = Qor_OpenInterface(&info, &port);
    if (code != 0) {
      fail(code, "open");
      return QOR_NO_PORT;
    }
    ++progress_.opens;
    return port;
  }

  // The device echoes the parameters: each command carries the client and a counter, so a crossed or stale answer
  // shows as wrong data.
  bool command(uint32_t port) {
    std::array<uint8_t, kParameterBytes> parameters{};
    const uint64_t serial = ++sent_;
    memcpy(parameters.data(), &id_, sizeof id_);
    memcpy(parameters.data() + sizeof id_, &serial, sizeof serial);
    for (size_t i = sizeof id_ + sizeof serial; i < parameters.size(); ++i) parameters[i] = static_cast<uint8_t>(serial * i);
    std::array<uint8_t, 2 * kParameterBytes> response{};
    uint32_t size = response.size();
    const uint32_t code =
        Qor_CommandWithResponseEx(port, 0, kEchoCommand, 1, parameters.data(), parameters.size(), response.data(), &size);
    if (code != 0) return fail(code, "command");
    if (size != parameters.size() || memcmp(response.data(), parameters.data(), parameters.size()) != 0) {
      std::fprintf(stderr, "  client %d: answer of %u bytes, first 0x%02x, for %zu parameter bytes\n", id_, size,
                   response[0], parameters.size());
      return fail(0, "command answered with wrong data");
    }
    ++progress_.commands;
    return true;
  }

  bool fail(uint32_t code, const char* what) {
    if (progress_.failures++ == 0) progress_.firstFailureCode = code;
    if (progress_.failures <= kFailuresShown) {
      std::fprintf(stderr, "  client %d (pid %d): %s failed, code 0x%x: %s\n", id_, getpid(), what, code,
                   code != 0 ? Qor_GetLastErrorDescription() : "");
    }
    return false;
  }

  void report() const {
    [[maybe_unused]] const ssize_t written = write(STDOUT_FILENO, &progress_, sizeof progress_);
  }

  const int id_;
  const std::string address_;
  const int reopenEvery_;
  uint64_t sent_ = 0;
  Progress progress_;
};

int clientMain(int argc, char** argv) {
  if (argc != 6) return 2;
  const int id = std::atoi(argv[2]);
  const std::string address = argv[3];
  const auto deadline = Clock::now() + std::chrono::milliseconds(std::atol(argv[4]));
  signal(SIGPIPE, SIG_IGN);
  return Client(id, address, std::atoi(argv[5])).run(deadline);
}

// ---- the controller ----

std::string selfProgram() {
  char path[4096];
  const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
  return n > 0 ? std::string(path, static_cast<size_t>(n)) : std::string();
}

// A client process as the controller sees it: its latest progress, read from its pipe.
class ClientProcess {
public:
  ClientProcess(int id, const std::string& address, std::chrono::milliseconds runFor, int reopenEvery)
      : deadline_(Clock::now() + runFor + kClientGrace) {
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
    const std::vector<std::string> words{selfProgram(), "--client", std::to_string(id), address,
                                         std::to_string(runFor.count()), std::to_string(reopenEvery)};
    process_ = std::make_unique<qor::test::ChildProcess>([&] {
      dup2(ends[1], STDOUT_FILENO);
      std::vector<char*> argv;
      for (const std::string& word : words) argv.push_back(const_cast<char*>(word.c_str()));
      argv.push_back(nullptr);
      execv(argv[0], argv.data());
      return 127;
    });
    close(ends[1]);
    reader_ = ends[0];
    fcntl(reader_, F_SETFL, O_NONBLOCK);
  }
  ~ClientProcess() { close(reader_); }
  ClientProcess(const ClientProcess&) = delete;
  ClientProcess& operator=(const ClientProcess&) = delete;

  // Takes in what the client reported since.
  void poll() {
    char bytes[64 * sizeof(Progress)];
    ssize_t n;
    while ((n = read(reader_, bytes, sizeof bytes)) > 0) {
      pending_.append(bytes, static_cast<size_t>(n));
      while (pending_.size() >= sizeof(Progress)) {
        memcpy(&latest_, pending_.data(), sizeof latest_);
        pending_.erase(0, sizeof(Progress));
      }
    }
  }

  // The exit status once ended; a client still running after its run and a grace is killed (status 137).
  std::optional<int> ended() {
    if (auto status = process_->wait(0ms)) return status;
    if (Clock::now() > deadline_) {
      process_->kill(SIGKILL);
      hung_ = true;
      return process_->wait(5s);
    }
    return std::nullopt;
  }

  void kill() {
    process_->kill(SIGKILL);
    process_->wait(5s);
    killed_ = true;
  }

  pid_t pid() const { return process_->pid(); }
  const Progress& progress() const { return latest_; }
  bool killed() const { return killed_; }
  bool hung() const { return hung_; }

private:
  std::unique_ptr<qor::test::ChildProcess> process_;
  int reader_ = -1;
  std::string pending_;
  Progress latest_;
  Clock::time_point deadline_;
  bool killed_ = false;
  bool hung_ = false;
};

using Clients = std::vector<std::unique_ptr<ClientProcess>>;

void pollAll(Clients& clients) {
  for (auto& client : clients) client->poll();
}

void runFor(Clients& clients, std::chrono::milliseconds span) {
  const auto until = Clock::now() + span;
  while (Clock::now() < until) {
    pollAll(clients);
    std::this_thread::sleep_for(20ms);
  }
}

// Waits (bounded by each client's grace) until every client that was not killed has ended; counts those that did not
// end well.
int waitForAll(Clients& clients) {
  int badEnds = 0;
  for (auto& client : clients) {
    if (client->killed()) continue;
    std::optional<int> status;
    while (!(status = client->ended())) {
      client->poll();
      std::this_thread::sleep_for(20ms);
    }
    client->poll();
    if (client->hung()) std::printf("  client pid %d did not end in time: killed\n", client->pid());
    else if (*status != 0 && client->progress().failures == 0) {
      std::printf("  client pid %d ended with status %d\n", client->pid(), *status);
      ++badEnds;
    }
    if (client->hung()) ++badEnds;
  }
  return badEnds;
}

struct Totals {
  uint64_t commands = 0;
  uint64_t failures = 0;
  uint64_t opens = 0;
};

Totals sum(const Clients& clients) {
  Totals totals;
  for (const auto& client : clients) {
    totals.commands += client->progress().commands;
    totals.failures += client->progress().failures;
    totals.opens += client->progress().opens;
  }
  return totals;
}

std::string addressOf(int client) { return "127.0.0." + std::to_string(2 + client % kInterfaces); }

// The queues in /dev/mqueue whose names carry the pid of one of these processes: a private pair
// "Qor_API-<pid>-..." or an application queue "Qor_API_<pid>_...".
int leftoverQueues(const std::vector<pid_t>& pids) {
  int found = 0;
  DIR* folder = opendir("/dev/mqueue");
  if (folder == nullptr) return -1;
  while (const dirent* entry = readdir(folder)) {
    for (pid_t pid : pids) {
      const std::string pair = "Qor_API-" + std::to_string(pid) + "-";
      const std::string control = "Qor_API-" + std::to_string(pid) + "_";
      const std::string application = "Qor_API_" + std::to_string(pid) + "_";
      const std::string name = entry->d_name;
      if (name.starts_with(pair) || name.starts_with(control) || name.starts_with(application)) ++found;
    }
  }
  closedir(folder);
  return found;
}

bool loadRun(int clientCount, std::chrono::seconds seconds) {
  qor::test::DaemonProcess daemon(QORAPID_PROGRAM);
  Clients clients;
  const auto start = Clock::now();
  for (int i = 0; i < clientCount; ++i) clients.push_back(std::make_unique<ClientProcess>(i, addressOf(i), seconds, 0));
  runFor(clients, seconds);
  const int badEnds = waitForAll(clients);
  const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
  const Totals totals = sum(clients);
  std::printf("load run: %d clients on %d interfaces for %lld s\n", clientCount, kInterfaces,
              static_cast<long long>(seconds.count()));
  std::printf("  total commands %llu, commands/s %.0f, failures %llu, clients not ending well %d\n",
              static_cast<unsigned long long>(totals.commands), static_cast<double>(totals.commands) / elapsed,
              static_cast<unsigned long long>(totals.failures), badEnds);
  return totals.failures == 0 && badEnds == 0;
}

bool killAndRestartRun(int clientCount, std::chrono::seconds seconds) {
  const auto phase = std::chrono::duration_cast<std::chrono::milliseconds>(seconds) / 4;
  auto daemon = std::make_unique<qor::test::DaemonProcess>(QORAPID_PROGRAM);
  Clients before;
  // They run through the restart and the phase after it.
  const auto beforeRunsFor = 4 * phase + 3s;
  for (int i = 0; i < clientCount; ++i) {
    before.push_back(std::make_unique<ClientProcess>(i, addressOf(i), beforeRunsFor, kCommandsPerOpen));
  }
  runFor(before, phase);
  // Kills spread over a phase, so they fall at different points of the clients' opens and commands.
  std::vector<pid_t> killed;
  for (int i = 0; i < kKills && i < clientCount; ++i) {
    ClientProcess& victim = *before[static_cast<size_t>(i * clientCount / kKills)];
    victim.kill();
    killed.push_back(victim.pid());
    runFor(before, phase / kKills);
  }
  runFor(before, phase);
  pollAll(before);
  const Totals beforeStop = sum(before);
  const int leftAfterKills = leftoverQueues(killed);

  const int stopStatus = daemon->stop(kDaemonStop);
  daemon.reset();
  const int leftAfterStop = leftoverQueues(killed);
  daemon = std::make_unique<qor::test::DaemonProcess>(QORAPID_PROGRAM);
  const int leftAfterRestart = leftoverQueues(killed);
  pollAll(before);
  std::vector<uint64_t> commandsAtRestart;
  for (const auto& client : before) commandsAtRestart.push_back(client->progress().commands);

  Clients after;
  for (int i = 0; i < kClientsAfterRestart; ++i) {
    after.push_back(std::make_unique<ClientProcess>(100 + i, addressOf(i), phase, kCommandsPerOpen));
  }
  const int badEndsAfter = waitForAll(after);
  const Totals afterRestart = sum(after);
  // The clients from before: their commands after the restart, counted per client.
  waitForAll(before);
  int survivors = 0, recovered = 0;
  uint64_t beforeCommandsAfterRestart = 0;
  for (size_t i = 0; i < before.size(); ++i) {
    if (before[i]->killed()) continue;
    ++survivors;
    const uint64_t since = before[i]->progress().commands - commandsAtRestart[i];
    beforeCommandsAfterRestart += since;
    if (since != 0) ++recovered;
  }

  std::printf("kill-and-restart run: %d clients reopening every %d commands, %d killed (SIGKILL), daemon stopped "
              "(SIGTERM, exit status %d) and restarted once\n",
              clientCount, kCommandsPerOpen, static_cast<int>(killed.size()), stopStatus);
  std::printf("  before the stop: commands %llu, opens %llu, failures %llu\n",
              static_cast<unsigned long long>(beforeStop.commands), static_cast<unsigned long long>(beforeStop.opens),
              static_cast<unsigned long long>(beforeStop.failures));
  std::printf("  leftover queues of killed clients: %d with the daemon running, %d after its stop, %d after its restart\n",
              leftAfterKills, leftAfterStop, leftAfterRestart);
  std::printf("  clients started after the restart: %d, commands %llu, opens %llu, failures %llu, not ending well %d\n",
              kClientsAfterRestart, static_cast<unsigned long long>(afterRestart.commands),
              static_cast<unsigned long long>(afterRestart.opens),
              static_cast<unsigned long long>(afterRestart.failures), badEndsAfter);
  std::printf("  clients started before it, not killed: %d of %d commanded again, commands after the restart %llu\n",
              recovered, survivors, static_cast<unsigned long long>(beforeCommandsAfterRestart));
  return beforeStop.failures == 0 && stopStatus == 0 && afterRestart.failures == 0 && afterRestart.commands > 0 &&
         badEndsAfter == 0 && leftAfterRestart == 0;
}

} // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::string(argv[1]) == "--client") return clientMain(argc, argv);
  int clients = 16;
  long seconds = 20;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string option = argv[i];
    if (option == "--clients") clients = std::max(1, std::atoi(argv[i + 1]));
    else if (option == "--seconds") seconds = std::max(4L, std::atol(argv[i + 1]));
    else {
      std::fprintf(stderr, "usage: %s [--clients N] [--seconds T]\n", argv[0]);
      return 2;
    }
  }
  signal(SIGPIPE, SIG_IGN);
  std::vector<qor::bench::EmulatedInterface> interfaces;
  for (int i = 0; i < kInterfaces; ++i) {
    interfaces.push_back(qor::bench::startInterface(i));
    interfaces.back().device->onCommand(kEchoCommand, [](const ReceivedFrame& frame) -> Reply {
      // The response repeats the control byte, then the rest: the parameters come back as they went.
      return frame.response(frame.parameters().subspan(1), 1);
    });
  }
  const bool loadHeld = loadRun(clients, std::chrono::seconds(seconds));
  const bool restartHeld = killAndRestartRun(clients, std::chrono::seconds(seconds));
  return loadHeld && restartHeld ? 0 : 1;
}
