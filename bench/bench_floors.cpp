#include <arpa/inet.h>
#include <mqueue.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

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

} // namespace

Latencies messageQueuePingPong(size_t messageSize, int rounds) {
  const std::string there = "/qor_bench_there_" + std::to_string(getpid());
  const std::string back = "/qor_bench_back_" + std::to_string(getpid());
  mq_attr attributes{};
  attributes.mq_maxmsg = 3;
  attributes.mq_msgsize = static_cast<long>(messageSize);
  mqd_t out = mq_open(there.c_str(), O_CREAT | O_RDWR, 0600, &attributes);
  mqd_t in = mq_open(back.c_str(), O_CREAT | O_RDWR, 0600, &attributes);
  std::vector<char> buffer(messageSize);
  const pid_t echo = fork();
  if (echo == 0) {
    for (int i = 0; i < rounds; ++i) {
      const ssize_t n = mq_receive(out, buffer.data(), buffer.size(), nullptr);
      mq_send(in, buffer.data(), static_cast<size_t>(n), 0);
    }
    _exit(0);
  }
  std::vector<double> samples;
  for (int i = 0; i < rounds; ++i) {
    const auto start = Clock::now();
    mq_send(out, buffer.data(), buffer.size(), 0);
    mq_receive(in, buffer.data(), buffer.size(), nullptr);
    samples.push_back(microseconds(Clock::now() - start));
  }
  waitpid(echo, nullptr, 0);
  mq_close(out);
  mq_close(in);
  mq_unlink(there.c_str());
  mq_unlink(back.c_str());
  return summarise(samples);
}

Latencies tcpPingPong(size_t frameSize, int rounds) {
  const int listener = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address);
  socklen_t size = sizeof address;
  getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size);
  listen(listener, 1);
  std::thread echo([&] {
    const int peer = accept(listener, nullptr, nullptr);
    std::vector<uint8_t> frame(frameSize);
    for (int i = 0; i < rounds && readAll(peer, frame.data(), frame.size()); ++i) send(peer, frame.data(), frame.size(), 0);
    close(peer);
  });
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  const int on = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
  std::vector<uint8_t> frame(frameSize);
  std::vector<double> samples;
  for (int i = 0; i < rounds; ++i) {
    const auto start = Clock::now();
    send(fd, frame.data(), frame.size(), 0);
    readAll(fd, frame.data(), frame.size());
    samples.push_back(microseconds(Clock::now() - start));
  }
  close(fd);
  echo.join();
  close(listener);
  return summarise(samples);
}

} // namespace qor::bench
