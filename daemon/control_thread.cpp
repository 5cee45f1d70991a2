// The control thread of one private queue pair: it serves the pair until the client closes it (message 0x0B), the
// client process ends, or the daemon stops. The pair's queues belong to the client, which removes them; the thread
// removes those of a client that died.
#include <fcntl.h>
#include <sys/stat.h>
#include <syslog.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <vector>

#include "qor_error_codes.h"
#include "qor_helpers.h"
#include "limited_log.hpp"
#include "server.hpp"

namespace qor::daemon {
namespace {

// An idle client's thread wakes this often to look at the stop flags.
constexpr Milliseconds kReceiveSlice{500};
// How long the pair may stay silent before the daemon looks whether its client still lives.
constexpr Milliseconds kLivenessInterval{1000};
// Clients create the pair's request end with 512-byte messages; anything far larger is no client of ours.
constexpr long kMaxPairMessageSize = 64 * 1024;

// A client may remove its queues before the thread opens them: logged within the limit.
mqd_t openPairQueue(const std::string& name, int access) {
  const mqd_t queue = mq_open(name.c_str(), access);
  if (queue == -1) logLimited(LOG_ERR, "   Error %d (%m) on server mq_open qname %s.\n", errno, name.c_str());
  return queue;
}

// The control thread's claim on its pair, given up when the thread leaves it.
class PairClaim {
public:
  PairClaim(Server& server, const Server::PairIdentity& pair) : server_(server), pair_(pair) {}
  ~PairClaim() { server_.releasePair(pair_); }
  PairClaim(const PairClaim&) = delete;
  PairClaim& operator=(const PairClaim&) = delete;

private:
  Server& server_;
  const Server::PairIdentity& pair_;
};

} // namespace

void Server::serveControlPair(const PairIdentity& pair, const ClientProcess& client, Worker& self) {
  const std::string& baseName = pair.baseName;
  ReplyQueue replies;
  // Declared after the reply end, so released before it closes: until then no new queue has the pair's identity.
  const PairClaim claim(*this, pair);
  const mqd_t replyQueue = openPairQueue(baseName + QOR_PRIVATE_PAIR_READ_SUFFIX, O_WRONLY);
  if (replyQueue == -1 || !replies.adopt(replyQueue)) return;
  // A pair replaced since its announcement is not the one claimed: its own announcement follows.
  struct stat replyStatus {};
  if (fstat(replyQueue, &replyStatus) != 0 || replyStatus.st_ino != pair.replyQueue) return;
  mqd_t requests = openPairQueue(baseName + QOR_PRIVATE_PAIR_WRITE_SUFFIX, O_RDONLY);
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
      logLimited(LOG_ERR, "%s : error %d (%m) elapse time %u\n", "mq_timed_read", errno, static_cast<unsigned>(elapsed.count()));
      break;
    }
    if (received == 0) {
      if (std::chrono::steady_clock::now() - silentSince < kLivenessInterval) continue;
      if (!client.alive()) {
        // A client killed inside an open leaves its pair behind, and leftovers fill its user's queue memory.
        mq_unlink((baseName + QOR_PRIVATE_PAIR_READ_SUFFIX).c_str());
        mq_unlink((baseName + QOR_PRIVATE_PAIR_WRITE_SUFFIX).c_str());
        break;
      }
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
