// Commands with response from 1, 4, 16 and 32 client processes at once, with payloads of 0 to 4,000 bytes, each
// client on an interface of its own. Each client alternates with its floor (the same hops between processes of
// the same layout, passing bytes on and nothing else) in short blocks that all clients run together, so that the
// product and its floor meet the same machine. Every answer is checked for its content; wrong and missing answers
// are counted. Each client is this program run again (--client), so that the library loads in a process of its
// own. Runs inside qor_sandbox; exits 1 when an answer failed.
//   qor_bench_road_scaling [--block-ms M]
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "bench_support.hpp"
#include "emulated_interfaces.hpp"
#include "qor_api.h"
#include "qor_test/child_process.hpp"
#include "qor_test/daemon_process.hpp"

namespace {

using namespace qor::bench;

constexpr uint8_t kCommand = 0x42;
constexpr int kClientCounts[] = {1, 4, 16, 32};
constexpr int kMaxClients = 32;
constexpr size_t kPayloads[] = {0, 256, 1000, 4000};
constexpr size_t kMaxPayload = 4000;
constexpr int kBlocks = 3; // per kind, payload and client count
constexpr int kDefaultBlockMs = 300;
constexpr int kOpenAttempts = 5;

enum class Kind : uint32_t { Floor, Road, Quit };

// What the controller asks of every client, and what each answers; written whole to pipes (far below PIPE_BUF).
struct Phase {
  Kind kind = Kind::Quit;
  uint32_t payload = 0;
  uint32_t milliseconds = 0;
};

struct Result {
  uint64_t rounds = 0;   // answered with the right data
  uint64_t failures = 0; // codes, missing and wrong answers
  double seconds = 0;
  double median = 0; // us
  double p99 = 0;
};

bool readWhole(int fd, void* data, size_t size) {
  auto* bytes = static_cast<uint8_t*>(data);
  for (size_t done = 0; done < size;) {
    const ssize_t n = read(fd, bytes + done, size - done);
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

// ---- the client process ----

bool command(uint32_t port, size_t payload, uint64_t serial) {
  uint8_t parameters[kMaxPayload];
  uint8_t response[kMaxPayload];
  fillPattern({parameters, payload}, serial);
  uint32_t size = sizeof response;
  const uint8_t control = payload == 0 ? 0 : 1;
  const uint32_t code = Qor_CommandWithResponseEx(port, 0, kCommand, control, payload == 0 ? nullptr : parameters,
                                                  static_cast<uint32_t>(payload), response, &size);
  return code == 0 && size == payload && hasPattern({response, size}, serial);
}

int clientMain(int id) {
  signal(SIGPIPE, SIG_IGN);
  // Before the library starts its threads: the floor's processes are forked from this one.
  RoundTripFloor floor(kMaxPayload);
  const Qor_InterfaceInfo_t info = interfaceInfo("127.0.0." + std::to_string(2 + id));
  uint32_t port = QOR_NO_PORT;
  // Many clients connecting at once on a loaded machine may outlast a connection time-out: a few attempts.
  for (int attempt = 0; attempt < kOpenAttempts && Qor_OpenInterface(&info, &port) != 0; ++attempt) {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
  }
  uint64_t serial = static_cast<uint64_t>(id) << 40;
  // The floor's queues need the same queue memory: a client whose floor does not answer takes no part either.
  const uint8_t opened = port != QOR_NO_PORT && floor.round(0, ++serial) ? 1 : 0;
  if (write(STDOUT_FILENO, &opened, 1) != 1 || !opened) {
    std::fprintf(stderr, "client %d: open failed: %s\n", id,
                 port == QOR_NO_PORT ? Qor_GetLastErrorDescription() : "its floor does not answer");
    return 1;
  }
  Phase phase;
  while (readWhole(STDIN_FILENO, &phase, sizeof phase) && phase.kind != Kind::Quit) {
    Result result;
    std::vector<double> samples;
    const auto start = Clock::now();
    const auto end = start + std::chrono::milliseconds(phase.milliseconds);
    while (Clock::now() < end) {
      const auto begun = Clock::now();
      const bool answered =
          phase.kind == Kind::Floor ? floor.round(phase.payload, ++serial) : command(port, phase.payload, ++serial);
      samples.push_back(microseconds(Clock::now() - begun));
      ++(answered ? result.rounds : result.failures);
    }
    result.seconds = seconds(Clock::now() - start);
    const Latencies latencies = summarise(samples);
    result.median = latencies.median;
    result.p99 = latencies.p99;
    if (write(STDOUT_FILENO, &result, sizeof result) != static_cast<ssize_t>(sizeof result)) break;
  }
  Qor_CloseInterface(port);
  return 0;
}

// ---- the controller ----

std::string selfProgram() {
  char path[4096];
  const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
  return n > 0 ? std::string(path, static_cast<size_t>(n)) : std::string();
}

class ClientProcess {
 public:
  explicit ClientProcess(int id) {
    int toClient[2], fromClient[2];
    if (pipe2(toClient, O_CLOEXEC) != 0 || pipe2(fromClient, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
    const std::vector<std::string> words{selfProgram(), "--client", std::to_string(id)};
    process_ = std::make_unique<qor::test::ChildProcess>([&] {
      dup2(toClient[0], STDIN_FILENO);
      dup2(fromClient[1], STDOUT_FILENO);
      std::vector<char*> argv;
      for (const std::string& word : words) argv.push_back(const_cast<char*>(word.c_str()));
      argv.push_back(nullptr);
      execv(argv[0], argv.data());
      return 127;
    });
    close(toClient[0]);
    close(fromClient[1]);
    writer_ = toClient[1];
    reader_ = fromClient[0];
  }
  ~ClientProcess() {
    close(writer_);
    close(reader_);
  }
  ClientProcess(const ClientProcess&) = delete;
  ClientProcess& operator=(const ClientProcess&) = delete;

  bool ask(const Phase& phase) { return write(writer_, &phase, sizeof phase) == static_cast<ssize_t>(sizeof phase); }
  bool answer(Result& result) { return readWhole(reader_, &result, sizeof result); }
  // True once the client has opened its port.
  bool opened() {
    uint8_t opened = 0;
    return readWhole(reader_, &opened, 1) && opened == 1;
  }
  std::optional<int> end() { return process_->wait(std::chrono::seconds(10)); }

 private:
  std::unique_ptr<qor::test::ChildProcess> process_;
  int writer_ = -1;
  int reader_ = -1;
};

struct Totals {
  uint64_t rounds = 0;
  uint64_t failures = 0;
  double seconds = 0; // summed over blocks, each the longest client's
  std::vector<double> medians, p99s;

  double perSecond() const { return seconds > 0 ? static_cast<double>(rounds) / seconds : 0; }
  double median() const { return summarise(medians).median; }
  double p99() const { return summarise(p99s).median; }
};

// One block of this kind on every client; false when a client did not answer.
bool runBlock(std::vector<std::unique_ptr<ClientProcess>>& clients, const Phase& phase, Totals& totals) {
  for (auto& client : clients) {
    if (!client->ask(phase)) return false;
  }
  double longest = 0;
  for (auto& client : clients) {
    Result result;
    if (!client->answer(result)) return false;
    totals.rounds += result.rounds;
    totals.failures += result.failures;
    longest = std::max(longest, result.seconds);
    totals.medians.push_back(result.median);
    totals.p99s.push_back(result.p99);
  }
  totals.seconds += longest;
  return true;
}

} // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "--client") == 0) return clientMain(std::atoi(argv[2]));
  int blockMs = kDefaultBlockMs;
  if (argc == 3 && std::strcmp(argv[1], "--block-ms") == 0) blockMs = std::atoi(argv[2]);
  signal(SIGPIPE, SIG_IGN);
  // Each client's queues and its floor's count against one user's queue memory: as much as the system gives.
  const rlimit unlimited{RLIM_INFINITY, RLIM_INFINITY};
  setrlimit(RLIMIT_MSGQUEUE, &unlimited);
  const EchoDevices devices(kMaxClients, kCommand);
  qor::test::DaemonProcess daemon(QORAPID_PROGRAM);

  std::printf("commands with response from client processes, each on its own interface (%d blocks of %d ms per kind)\n",
              kBlocks, blockMs);
  std::printf("  clients payload | floor: cmds/s  median  p99 us | road: cmds/s  median  p99 us | road/floor: rate  median  p99 | failures\n");
  uint64_t allFailures = 0;
  for (int count : kClientCounts) {
    std::vector<std::unique_ptr<ClientProcess>> clients;
    for (int id = 0; id < count; ++id) clients.push_back(std::make_unique<ClientProcess>(id));
    // A client that cannot open its port or its floor (the queue memory of one user runs out first) is counted and
    // left out.
    const auto notOpened = std::erase_if(clients, [](const std::unique_ptr<ClientProcess>& client) { return !client->opened(); });
    if (notOpened != 0) {
      std::printf("  %zu of %d clients could not open their ports or floors: %zu clients below\n", static_cast<size_t>(notOpened),
                  count, clients.size());
      ++allFailures;
    }
    for (size_t payload : kPayloads) {
      Totals floor, road;
      for (int block = 0; block < kBlocks; ++block) {
        const auto milliseconds = static_cast<uint32_t>(blockMs);
        if (!runBlock(clients, {Kind::Floor, static_cast<uint32_t>(payload), milliseconds}, floor) ||
            !runBlock(clients, {Kind::Road, static_cast<uint32_t>(payload), milliseconds}, road)) {
          std::printf("  a client did not answer\n");
          return 1;
        }
      }
      std::printf("  %7d %7zu | %12.0f %7.1f %7.1f | %11.0f %7.1f %7.1f | %15.2f %7.2f %5.2f | %llu floor, %llu road\n",
                  static_cast<int>(clients.size()), payload, floor.perSecond(), floor.median(), floor.p99(), road.perSecond(), road.median(),
                  road.p99(), road.perSecond() / floor.perSecond(), road.median() / floor.median(),
                  road.p99() / floor.p99(), static_cast<unsigned long long>(floor.failures),
                  static_cast<unsigned long long>(road.failures));
      std::fflush(stdout);
      allFailures += floor.failures + road.failures;
    }
    for (auto& client : clients) client->ask(Phase{});
    for (auto& client : clients) {
      if (client->end() != 0) {
        std::printf("  a client did not end well\n");
        ++allFailures;
      }
    }
  }
  return allFailures == 0 ? 0 : 1;
}
