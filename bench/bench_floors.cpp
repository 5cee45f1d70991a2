#include <arpa/inet.h>
#include <fcntl.h>
#include <mqueue.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "bench_support.hpp"
#include "qor_protocol.h"

namespace qor::bench {
namespace {

int gQueueCounter = 0;

std::string uniqueQueueName() { return "/qor_bench_" + std::to_string(getpid()) + "_" + std::to_string(gQueueCounter++); }

mqd_t openQueue(const std::string& name, size_t messageSize) {
  mq_attr attributes{};
  attributes.mq_maxmsg = QOR_QUEUE_MAX_MESSAGES; // as deep as the application's queues
  attributes.mq_msgsize = static_cast<long>(messageSize);
  mq_unlink(name.c_str());
  return mq_open(name.c_str(), O_CREAT | O_RDWR, 0600, &attributes);
}

bool readAll(int fd, uint8_t* out, size_t size) {
  size_t done = 0;
  while (done < size) {
    const ssize_t n = recv(fd, out + done, size - done, 0);
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

bool sendAll(int fd, const uint8_t* data, size_t size) {
  size_t done = 0;
  while (done < size) {
    const ssize_t n = send(fd, data + done, size - done, MSG_NOSIGNAL);
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

// A listening socket on loopback and a connection to it; the listener is left to be accepted by the peer process.
struct LoopbackPair {
  int listener = -1;
  int client = -1;
  LoopbackPair() {
    listener = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t size = sizeof address;
    getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size);
    listen(listener, 1);
    client = socket(AF_INET, SOCK_STREAM, 0);
    const int on = 1;
    setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    connect(client, reinterpret_cast<sockaddr*>(&address), sizeof address);
  }
};

// The peer's side of the pair: accepted, with TCP_NODELAY as the daemon and the devices use it.
int acceptPeer(int listener) {
  const int peer = accept(listener, nullptr, nullptr);
  const int on = 1;
  setsockopt(peer, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  close(listener);
  return peer;
}

void reap(pid_t child) {
  if (child <= 0) return;
  kill(child, SIGKILL);
  waitpid(child, nullptr, 0);
}

constexpr std::chrono::seconds kPeerStartBound{10};

timespec realtimeIn(std::chrono::seconds span) {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  now.tv_sec += span.count();
  return now;
}

// The other process of a floor hop runs a program of its own: a fork would mark every page of this process
// copy-on-write, and the product measured next here would pay a page fault for each page it writes (its frame
// buffers, its rings). The spawn shares no pages. Descriptors in closed are not passed on; -1 when it failed.
pid_t spawnPeer(std::vector<std::string> words, std::initializer_list<int> closed) {
  words.insert(words.begin(), QOR_BENCH_FLOOR_PEER);
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  for (const int fd : closed) posix_spawn_file_actions_addclose(&actions, fd);
  pid_t pid = -1;
  const int failed = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  return failed == 0 ? pid : -1;
}

} // namespace

namespace {

constexpr size_t kRequestHeader = 8;
constexpr size_t kResponseHeader = 12;
constexpr size_t kFrameHeader = 12; // its length in the first four bytes

// The relay's reader: whole frames from the TCP stream, each sent back on the queue behind a response header.
void relayAnswers(int tcp, mqd_t back, size_t maxFrame) {
  std::vector<uint8_t> stream(2 * maxFrame + 65536);
  std::vector<uint8_t> message(kResponseHeader + maxFrame);
  size_t held = 0;
  for (;;) {
    const ssize_t n = recv(tcp, stream.data() + held, stream.size() - held, 0);
    if (n <= 0) return;
    held += static_cast<size_t>(n);
    uint32_t length = 0;
    while (held >= sizeof length && (memcpy(&length, stream.data(), sizeof length), held >= length)) {
      if (length < kFrameHeader || length > maxFrame) return;
      memcpy(message.data() + kResponseHeader, stream.data(), length);
      mq_send(back, reinterpret_cast<const char*>(message.data()), kResponseHeader + length, 0);
      memmove(stream.data(), stream.data() + length, held - length);
      held -= length;
    }
  }
}

} // namespace

RoundTripFloor::RoundTripFloor(size_t maxPayload)
    : thereName_(uniqueQueueName()), backName_(uniqueQueueName()), out_(kResponseHeader + kFrameHeader + maxPayload),
      in_(out_.size()) {
  const size_t maxFrame = kFrameHeader + maxPayload;
  there_ = openQueue(thereName_, kRequestHeader + maxFrame);
  back_ = openQueue(backName_, kResponseHeader + maxFrame);
  LoopbackPair pair;
  echo_ = fork();
  if (echo_ == 0) {
    close(pair.client);
    const int peer = acceptPeer(pair.listener);
    std::vector<uint8_t> buffer(65536);
    for (;;) {
      const ssize_t n = recv(peer, buffer.data(), buffer.size(), 0);
      if (n <= 0 || !sendAll(peer, buffer.data(), static_cast<size_t>(n))) _exit(0);
    }
  }
  close(pair.listener);
  relay_ = fork();
  if (relay_ == 0) {
    std::thread answers(relayAnswers, pair.client, back_, maxFrame);
    std::vector<char> request(kRequestHeader + maxFrame);
    for (;;) {
      const ssize_t n = mq_receive(there_, request.data(), request.size(), nullptr);
      if (n < static_cast<ssize_t>(kRequestHeader + kFrameHeader)) break;
      if (!sendAll(pair.client, reinterpret_cast<const uint8_t*>(request.data()) + kRequestHeader,
                   static_cast<size_t>(n) - kRequestHeader)) {
        break;
      }
    }
    _exit(0);
  }
  close(pair.client);
}

RoundTripFloor::~RoundTripFloor() {
  reap(relay_);
  reap(echo_);
  mq_close(there_);
  mq_close(back_);
  mq_unlink(thereName_.c_str());
  mq_unlink(backName_.c_str());
}

bool RoundTripFloor::round(size_t payload, uint64_t serial) {
  const size_t frame = kFrameHeader + payload;
  const auto length = static_cast<uint32_t>(frame);
  memcpy(out_.data() + kRequestHeader, &length, sizeof length);
  fillPattern({out_.data() + kRequestHeader + kFrameHeader, payload}, serial);
  if (mq_send(there_, reinterpret_cast<const char*>(out_.data()), kRequestHeader + frame, 0) != 0) return false;
  const ssize_t n = mq_receive(back_, reinterpret_cast<char*>(in_.data()), in_.size(), nullptr);
  return n == static_cast<ssize_t>(kResponseHeader + frame) &&
         hasPattern({in_.data() + kResponseHeader + kFrameHeader, payload}, serial);
}

double queueSeconds(size_t messageSize, size_t messages) {
  const std::string name = uniqueQueueName();
  const mqd_t queue = openQueue(name, messageSize);
  std::vector<char> buffer(messageSize);
  const pid_t sender = spawnPeer({"queue-sender", name, std::to_string(messageSize), std::to_string(messages)}, {});
  // Timed from the sender's empty first message: the start of its program is no part of the hop.
  const timespec bound = realtimeIn(kPeerStartBound);
  const bool started = sender > 0 && mq_timedreceive(queue, buffer.data(), buffer.size(), nullptr, &bound) == 0;
  const auto start = Clock::now();
  for (size_t i = 0; started && i < messages; ++i) mq_receive(queue, buffer.data(), buffer.size(), nullptr);
  const double taken = seconds(Clock::now() - start);
  if (!started) reap(sender);
  if (sender > 0) waitpid(sender, nullptr, 0);
  mq_close(queue);
  mq_unlink(name.c_str());
  return taken;
}

double tcpSeconds(size_t bytes, size_t pieceSize) {
  LoopbackPair pair;
  const pid_t sink = spawnPeer({"tcp-sink", std::to_string(pair.listener), std::to_string(bytes)}, {pair.client});
  close(pair.listener);
  // Timed from the sink's first byte: it has accepted and reads from now on.
  const timeval bound{std::chrono::duration_cast<std::chrono::seconds>(kPeerStartBound).count(), 0};
  setsockopt(pair.client, SOL_SOCKET, SO_RCVTIMEO, &bound, sizeof bound);
  uint8_t signal = 0;
  const bool started = sink > 0 && readAll(pair.client, &signal, 1);
  std::vector<uint8_t> piece(pieceSize);
  const auto start = Clock::now();
  for (size_t sent = 0; started && sent < bytes;) {
    const size_t now = std::min(piece.size(), bytes - sent);
    if (!sendAll(pair.client, piece.data(), now)) break;
    sent += now;
  }
  if (started) readAll(pair.client, &signal, 1); // the sink has taken every byte
  const double taken = seconds(Clock::now() - start);
  close(pair.client);
  if (!started) reap(sink);
  if (sink > 0) waitpid(sink, nullptr, 0);
  return taken;
}

int floorPeerMain(int argc, char** argv) {
  const std::vector<std::string> words(argv + 1, argv + argc);
  if (words.size() == 4 && words[0] == "queue-sender") {
    const mqd_t queue = mq_open(words[1].c_str(), O_WRONLY);
    if (queue == -1) return 1;
    std::vector<char> buffer(std::stoul(words[2]));
    mq_send(queue, buffer.data(), 0, 0);
    for (size_t i = 0, messages = std::stoul(words[3]); i < messages; ++i) {
      mq_send(queue, buffer.data(), buffer.size(), 0);
    }
    return 0;
  }
  if (words.size() == 3 && words[0] == "tcp-sink") {
    const int peer = acceptPeer(std::stoi(words[1]));
    const size_t bytes = std::stoul(words[2]);
    const uint8_t signal = 1;
    if (!sendAll(peer, &signal, 1)) return 1;
    std::vector<uint8_t> buffer(1 << 16);
    for (size_t received = 0; received < bytes;) {
      const ssize_t n = recv(peer, buffer.data(), buffer.size(), 0);
      if (n <= 0) break;
      received += static_cast<size_t>(n);
    }
    return sendAll(peer, &signal, 1) ? 0 : 1;
  }
  std::fprintf(stderr, "usage: %s queue-sender NAME SIZE COUNT | tcp-sink LISTENER BYTES\n", argv[0]);
  return 2;
}

bool writePlainFile(const std::string& name, std::span<const uint8_t> bytes, size_t pieceSize) {
  const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0) return false;
  bool whole = true;
  for (size_t done = 0; whole && done < bytes.size();) {
    const ssize_t wrote = ::write(fd, bytes.data() + done, std::min(pieceSize, bytes.size() - done));
    whole = wrote > 0;
    if (whole) done += static_cast<size_t>(wrote);
  }
  return ::close(fd) == 0 && whole;
}

std::vector<uint8_t> fileContent(const std::string& name) {
  std::error_code error;
  const auto size = std::filesystem::file_size(name, error);
  std::vector<uint8_t> bytes(error ? 0 : size);
  std::ifstream file(name, std::ios::binary);
  if (!file.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()))) return {};
  return bytes;
}

void fillPattern(std::span<uint8_t> data, uint64_t serial) {
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(serial * 131 + i * 7 + (serial >> 8));
}

bool hasPattern(std::span<const uint8_t> data, uint64_t serial) {
  for (size_t i = 0; i < data.size(); ++i) {
    if (data[i] != static_cast<uint8_t>(serial * 131 + i * 7 + (serial >> 8))) return false;
  }
  return true;
}

double monitorFloorSeconds(size_t frameBytes, size_t frames) {
  constexpr size_t kQueueMessageHead = 12;
  return std::max(queueSeconds(kQueueMessageHead + frameBytes, frames), tcpSeconds(frameBytes * frames, frameBytes));
}

ProcessCounters processCounters(std::span<const pid_t> processes) {
  ProcessCounters counters;
  for (const pid_t pid : processes) {
    std::error_code error;
    for (const auto& task : std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/task", error)) {
      std::ifstream schedule(task.path() / "schedstat");
      uint64_t runNs = 0;
      if (schedule >> runNs) counters.cpuSeconds += static_cast<double>(runNs) / 1e9;
      std::ifstream status(task.path() / "status");
      for (std::string line; std::getline(status, line);) {
        if (line.rfind("voluntary_ctxt_switches:", 0) == 0) counters.wakeUps += std::stoull(line.substr(line.find(':') + 1));
      }
    }
  }
  return counters;
}

void printAlternatedRounds(const AlternatedRounds& rounds, const char* floorLabel, const char* productLabel) {
  std::printf("  %-30s median %8.1f us   p99 %8.1f us   failures %llu\n", floorLabel, rounds.floor.median,
              rounds.floor.p99, static_cast<unsigned long long>(rounds.floorFailures));
  std::printf("  %-30s median %8.1f us   p99 %8.1f us   failures %llu\n", productLabel, rounds.product.median,
              rounds.product.p99, static_cast<unsigned long long>(rounds.productFailures));
  std::printf("  %-30s median %8.2f x    p99 %8.2f x\n", "ratio to floor", rounds.product.median / rounds.floor.median,
              rounds.product.p99 / rounds.floor.p99);
}

} // namespace qor::bench
