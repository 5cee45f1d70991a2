#include "ports/private_pair.hpp"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <mutex>
#include <set>
#include <system_error>

#include "ports/server_queue.hpp"
#include "startup/error_store.hpp"
#include "qor_api.h"
#include "qor_shared/deadline.hpp"
#include "qor_shared/protocol.hpp"
#include "qor_shared/queue_exchange.hpp"

namespace qor::client {
namespace {

class PairNames {
 public:
  bool acquire(const std::string& name) {
    std::unique_lock lock(mutex_);
    const bool free = released_.wait_for(lock, std::chrono::milliseconds(2 * QOR_PRIVATE_PAIR_TIMEOUT_MS),
                                         [&] { return !inUse_.contains(name); });
    if (free) inUse_.insert(name);
    return free;
  }
  void release(const std::string& name) {
    {
      std::lock_guard lock(mutex_);
      inUse_.erase(name);
    }
    released_.notify_all();
  }

 private:
  std::mutex mutex_;
  std::condition_variable released_;
  std::set<std::string> inUse_;
};

PairNames gPairNames;

// The largest message this host lets a queue carry.
uint32_t hostMessageSizeLimit() {
  uint32_t limit = 8192;
  std::ifstream("/proc/sys/fs/mqueue/msgsize_max") >> limit;
  return limit;
}

// A queue that cannot be made (the user's queue memory or count exhausted, most often) is named with the
// system's reason.
uint32_t createPairQueue(const std::string& name, uint32_t messageSize, uint8_t write, mqd_t& queue) {
  queue = Create_MsgQueue(name.c_str(), messageSize, write);
  if (queue != -1) return 0;
  const std::string reason = std::system_category().message(errno);
  return Qor_Client_ErrorHandler(nullptr, QOR_ERR_API_COULD_NOT_CONNECT, "could not create queue %s: %s", name.c_str(),
                                 reason.c_str());
}

} // namespace

uint32_t PrivatePair::announce(const std::string& baseName, uint32_t replyCapacity, PrivatePair& pair) {
  if (!gPairNames.acquire(baseName)) return storeError(nullptr, QOR_ERR_API_COULD_NOT_CONNECT, "");
  pair.baseName_ = baseName;
  pair.nameHeld_ = true;
  const uint32_t replyQueueSize = std::clamp(replyCapacity, QOR_PRIVATE_PAIR_MESSAGE_SIZE, hostMessageSizeLimit());
  if (uint32_t result = createPairQueue(baseName + QOR_PRIVATE_PAIR_READ_SUFFIX, replyQueueSize, 0, pair.reader_)) {
    pair.destroy();
    return result;
  }
  if (uint32_t result = createPairQueue(baseName + QOR_PRIVATE_PAIR_WRITE_SUFFIX, QOR_PRIVATE_PAIR_MESSAGE_SIZE, 1,
                                        pair.writer_)) {
    pair.destroy();
    return result;
  }
  ClientConnectReply reply{};
  uint32_t result = QOR_ERR_API_COULD_NOT_CONNECT;
  uint8_t message[QOR_SERVER_QUEUE_MESSAGE_SIZE];
  if (const size_t length = protocol::encodeClientConnect(message, baseName)) {
    const timespec deadline = realtimeDeadline(QOR_PRIVATE_PAIR_TIMEOUT_MS);
    size_t received = 0;
    result = sendToDaemon(message, static_cast<uint32_t>(length), deadline);
    if (result == 0) result = receiveReply(pair.reader_, &reply, sizeof reply, &received, deadline);
    if (result == 0 && (received < sizeof reply || reply.error != 0)) result = QOR_ERR_API_COULD_NOT_CONNECT;
  }
  if (result != 0) {
    pair.destroy();
    // Only a refusal has a code of the daemon's to tell; without an answer the code's own text says it all.
    if (reply.error == 0) return storeError(nullptr, QOR_ERR_API_COULD_NOT_CONNECT, "");
    return Qor_Client_ErrorHandler(nullptr, QOR_ERR_API_COULD_NOT_CONNECT, "server returned with ERRORCODE 0x%x",
                                   reply.error);
  }
  return 0;
}

PrivatePair::~PrivatePair() { destroy(); }

uint32_t PrivatePair::exchange(const void* request, uint32_t length, void* reply, uint32_t replyCapacity,
                               size_t* received) {
  return exchangeOnQueues(writer_, request, length, reader_, reply, replyCapacity, received);
}

void PrivatePair::closeConnection() { Qor_Internal_DisconnectMq(writer_, reader_, 0, 0); }

void PrivatePair::destroy() {
  if (!baseName_.empty()) {
    // Remove both names even when a descriptor could not be closed.
    close_message_queue(&reader_);
    close_message_queue(&writer_);
    mq_unlink((baseName_ + QOR_PRIVATE_PAIR_READ_SUFFIX).c_str());
    mq_unlink((baseName_ + QOR_PRIVATE_PAIR_WRITE_SUFFIX).c_str());
  }
  releaseName();
}

void PrivatePair::releaseName() {
  if (nameHeld_) gPairNames.release(baseName_);
  nameHeld_ = false;
  baseName_.clear();
}

uint32_t Qor_Client_Linux_CallNamedPipe(const void* request, uint32_t length, void* reply, uint32_t replyCapacity,
                                        size_t* received) {
  *received = 0;
  if (!daemonQueueExists()) return QOR_ERR_API_COULD_NOT_CONNECT;
  char baseName[64];
  snprintf(baseName, sizeof baseName, QOR_CONTROL_PAIR_NAME_FORMAT, QOR_SERVER_QUEUE_NAME, static_cast<int>(getpid()));
  PrivatePair pair;
  uint32_t result = PrivatePair::announce(baseName, replyCapacity, pair);
  if (result != 0) return result;
  result = pair.exchange(request, length, reply, replyCapacity, received);
  pair.closeConnection();
  return result;
}

} // namespace qor::client
