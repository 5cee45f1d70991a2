// A stand-in for the daemon's side of private queue pairs: it answers the pair announcements on "/Qor_API" and
// hands each request to a test's handler, whose bytes it sends back (nothing for silence).
#pragma once

#include <mqueue.h>

#include <atomic>
#include <cstring>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "qor_client_state.h"
#include "qor_protocol.h"
#include "qor_shared/deadline.hpp"

namespace qor::test {

class FakeServer {
 public:
  using Bytes = std::vector<uint8_t>;
  using Handler = std::function<Bytes(const Bytes& request)>;

  explicit FakeServer(Handler handler) : handler_(std::move(handler)) {
    mq_unlink(QOR_SERVER_QUEUE_NAME);
    mq_attr attributes{};
    attributes.mq_maxmsg = QOR_QUEUE_MAX_MESSAGES;
    attributes.mq_msgsize = QOR_SERVER_QUEUE_MESSAGE_SIZE;
    queue_ = mq_open(QOR_SERVER_QUEUE_NAME, O_CREAT | O_RDONLY, 0666, &attributes);
    // The library opened "/Qor_API" at load, before this server existed: hand it the queue as the common library
    // does after a restart of the daemon.
    ClientInfo.serverQueue = mq_open(QOR_SERVER_QUEUE_NAME, O_WRONLY);
    thread_ = std::thread([this] { serve(); });
  }

  ~FakeServer() {
    stop_ = true;
    thread_.join();
    mq_close(ClientInfo.serverQueue);
    ClientInfo.serverQueue = -1;
    mq_close(queue_);
    mq_unlink(QOR_SERVER_QUEUE_NAME);
  }

  std::vector<Bytes> requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
  }

 private:
  static ssize_t receive(mqd_t queue, Bytes& buffer, uint64_t milliseconds) {
    mq_attr attributes{};
    mq_getattr(queue, &attributes);
    buffer.resize(static_cast<size_t>(attributes.mq_msgsize));
    const timespec deadline = realtimeDeadline(milliseconds);
    const ssize_t n = mq_timedreceive(queue, reinterpret_cast<char*>(buffer.data()), buffer.size(), nullptr, &deadline);
    buffer.resize(n > 0 ? static_cast<size_t>(n) : 0);
    return n;
  }

  void serve() {
    Bytes announcement;
    while (!stop_) {
      if (receive(queue_, announcement, 50) < static_cast<ssize_t>(sizeof(ClientConnectRequest) + 1)) continue;
      // Pairs are served one after the other on their own threads, as the daemon's control threads do.
      const std::string base(reinterpret_cast<const char*>(announcement.data()) + sizeof(ClientConnectRequest));
      pairs_.emplace_back([this, base] { servePair(base); });
    }
    for (std::thread& pair : pairs_) pair.join();
  }

  void servePair(const std::string& base) {
    mqd_t reply = mq_open((base + QOR_PRIVATE_PAIR_READ_SUFFIX).c_str(), O_WRONLY);
    mqd_t request = mq_open((base + QOR_PRIVATE_PAIR_WRITE_SUFFIX).c_str(), O_RDONLY);
    const ClientConnectReply accepted{QOR_MSG_CLIENT_CONNECT, sizeof(ClientConnectReply), 0, 0};
    mq_send(reply, reinterpret_cast<const char*>(&accepted), sizeof accepted, 0);
    Bytes message;
    for (int turn = 0; turn < 40 && !stop_; ++turn) {
      if (receive(request, message, 50) <= 0) continue;
      if (message[0] == QOR_MSG_CLOSE_CLIENT_CONNECTION) break;
      {
        std::lock_guard lock(mutex_);
        requests_.push_back(message);
      }
      const Bytes answer = handler_(message);
      if (!answer.empty()) mq_send(reply, reinterpret_cast<const char*>(answer.data()), answer.size(), 0);
    }
    mq_close(reply);
    mq_close(request);
  }

  Handler handler_;
  mqd_t queue_ = -1;
  std::atomic<bool> stop_{false};
  std::thread thread_;
  std::vector<std::thread> pairs_;
  mutable std::mutex mutex_;
  std::vector<Bytes> requests_;
};

} // namespace qor::test
