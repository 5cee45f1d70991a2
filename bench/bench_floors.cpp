#include <arpa/inet.h>
#include <mqueue.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <thread>

#include "bench_support.hpp"

namespace qor::bench {
namespace {

bool readAll(int fd, uint8_t* out, size_t size) {
  size_t done = 0;
  while (done < size) {
    const ssize_t n = recv(fd, out + done, size - done, 0);
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

// A listening socket on loopback and the connection to it; the listener's side is accepted by the caller.
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
  ~LoopbackPair() {
    close(client);
    close(listener);
  }
};

// A queue of its own between this process and a forked one; removed with the object.
struct BenchQueue {
  std::string name = "/qor_bench_" + std::to_string(getpid()) + "_" + std::to_string(counter++);
  mqd_t queue;
  explicit BenchQueue(size_t messageSize) {
    mq_attr attributes{};
    attributes.mq_maxmsg = 3;
    attributes.mq_msgsize = static_cast<long>(messageSize);
    queue = mq_open(name.c_str(), O_CREAT | O_RDWR, 0600, &attributes);
  }
  ~BenchQueue() {
    mq_close(queue);
    mq_unlink(name.c_str());
  }
  static inline int counter = 0;
};

} // namespace

Latencies messageQueuePingPong(size_t messageSize, int rounds) {
  BenchQueue there(messageSize), back(messageSize);
  std::vector<char> buffer(messageSize);
  const pid_t echo = fork();
  if (echo == 0) {
    for (int i = 0; i < rounds; ++i) {
      const ssize_t n = mq_receive(there.queue, buffer.data(), buffer.size(), nullptr);
      mq_send(back.queue, buffer.data(), static_cast<size_t>(n), 0);
    }
    _exit(0);
  }
  std::vector<double> samples;
  for (int i = 0; i < rounds; ++i) {
    const auto start = Clock::now();
    mq_send(there.queue, buffer.data(), buffer.size(), 0);
    mq_receive(back.queue, buffer.data(), buffer.size(), nullptr);
    samples.push_back(microseconds(Clock::now() - start));
  }
  waitpid(echo, nullptr, 0);
  return summarise(samples);
}

Latencies tcpPingPong(size_t frameSize, int rounds) {
  LoopbackPair pair;
  std::thread echo([&] {
    const int peer = accept(pair.listener, nullptr, nullptr);
    std::vector<uint8_t> frame(frameSize);
    for (int i = 0; i < rounds && readAll(peer, frame.data(), frame.size()); ++i) send(peer, frame.data(), frame.size(), 0);
    close(peer);
  });
  std::vector<uint8_t> frame(frameSize);
  std::vector<double> samples;
  for (int i = 0; i < rounds; ++i) {
    const auto start = Clock::now();
    send(pair.client, frame.data(), frame.size(), 0);
    readAll(pair.client, frame.data(), frame.size());
    samples.push_back(microseconds(Clock::now() - start));
  }
  shutdown(pair.client, SHUT_RDWR);
  echo.join();
  return summarise(samples);
}

double queueSeconds(size_t messageSize, size_t messages) {
  BenchQueue one(messageSize);
  std::vector<char> buffer(messageSize);
  const auto start = Clock::now();
  const pid_t sender = fork();
  if (sender == 0) {
    for (size_t i = 0; i < messages; ++i) mq_send(one.queue, buffer.data(), buffer.size(), 0);
    _exit(0);
  }
  for (size_t i = 0; i < messages; ++i) mq_receive(one.queue, buffer.data(), buffer.size(), nullptr);
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  waitpid(sender, nullptr, 0);
  return seconds;
}

double tcpSeconds(size_t bytes, size_t pieceSize) {
  LoopbackPair pair;
  std::thread sink([&] {
    const int peer = accept(pair.listener, nullptr, nullptr);
    std::vector<char> buffer(1 << 16);
    for (size_t received = 0; received < bytes;) {
      const ssize_t n = recv(peer, buffer.data(), buffer.size(), 0);
      if (n <= 0) break;
      received += static_cast<size_t>(n);
    }
    close(peer);
  });
  std::vector<char> piece(pieceSize);
  const auto start = Clock::now();
  for (size_t sent = 0; sent < bytes;) {
    const ssize_t n = send(pair.client, piece.data(), std::min(piece.size(), bytes - sent), 0);
    if (n <= 0) break;
    sent += static_cast<size_t>(n);
  }
  sink.join();
  return std::chrono::duration<double>(Clock::now() - start).count();
}

} // namespace qor::bench
