// The control thread of one private queue pair: it serves the pair until the client closes it (message 0x0B), the
// client process ends, or the daemon stops. The pair's queues belong to the client, which removes them.
#include <syslog.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <vector>

#include "qor_error_codes.h"
#include "qor_helpers.h"
#include "server.hpp"

namespace qor::daemon {
namespace {

constexpr Milliseconds kReceiveSlice{100};
// How long the pair may stay silent before the daemon looks whether its client still lives.
constexpr Milliseconds kLivenessInterval{1000};
// Clients create the pair's request end with 512-byte messages; anything far larger is no client of ours.
constexpr long kMaxPairMessageSize = 64 * 1024;

} // namespace

void Server::serveControlPair(const std::string& baseName, const ClientProcess& client, Worker& self) {
  ReplyQueue replies;
  const mqd_t replyQueue = Open_MsgQueue((baseName + QOR_PRIVATE_PAIR_READ_SUFFIX).c_str(), 1);
  if (replyQueue == -1 || !replies.adopt(replyQueue)) return;
  mqd_t requests = Open_MsgQueue((baseName + QOR_PRIVATE_PAIR_WRITE_SUFFIX).c_str(), 0);
  if (requests == -1) return;
  mq_attr attributes{};
  if (mq_getattr(requests, &attributes) != 0 || attributes.mq_msgsize <= 0 ||
      attributes.mq_msgsize > kMaxPairMessageSize) {
    close_message_queue(&requests);
    return;
  }
  std::vector<uint8_t> buffer(static_cast<size_t>(attributes.mq_msgsize));
  Channel channel{replies, client, nullptr, nullptr};
  auto silentSince = std::chrono::steady_clock::now();
  while (!stopRequested_ && !self.stopRequested()) {
    const ssize_t received = receiveWithin(requests, buffer, kReceiveSlice);
    if (received < 0) {
      const auto elapsed = std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - silentSince);
      syslog(LOG_ERR, "%s : error %d (%m) elapse time %u\n", "mq_timed_read", errno, static_cast<unsigned>(elapsed.count()));
      break;
    }
    if (received == 0) {
      if (std::chrono::steady_clock::now() - silentSince < kLivenessInterval) continue;
      if (!client.alive()) break;
      silentSince = std::chrono::steady_clock::now();
      continue;
    }
    silentSince = std::chrono::steady_clock::now();
    if (buffer[0] == QOR_MSG_CLOSE_CLIENT_CONNECTION) {
      replyBare(channel, QOR_MSG_CLOSE_CLIENT_CONNECTION, 0);
      break;
    }
    interpret(Buffer(buffer.data(), static_cast<size_t>(received)), channel);
  }
  close_message_queue(&requests);
}

} // namespace qor::daemon
