#include "ports/server_queue.hpp"

#include <mqueue.h>
#include <sys/stat.h>

#include <mutex>

#include "qor_api.h"
#include "qor_client_state.h"
#include "qor_protocol.h"
#include "qor_shared/queue_exchange.hpp"

namespace qor::client {
namespace {

// Guards ClientInfo.serverQueue: a descriptor is never closed under a send of another thread.
std::mutex gServerQueueLock;

bool sameQueue(mqd_t first, mqd_t second) {
  struct stat a{};
  struct stat b{};
  return fstat(first, &a) == 0 && fstat(second, &b) == 0 && a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Under gServerQueueLock: the held descriptor while it is still the named queue, else the named queue, which is
// held from then on; -1 when there is none. Without a named queue the held descriptor is kept: it is replaced
// when a daemon comes.
mqd_t currentQueue() {
  const mqd_t named = mq_open(QOR_SERVER_QUEUE_NAME, O_WRONLY);
  if (named == -1) return -1;
  const mqd_t held = ClientInfo.serverQueue;
  if (held >= 0 && sameQueue(held, named)) {
    mq_close(named);
    return held;
  }
  if (held >= 0) mq_close(held);
  ClientInfo.serverQueue = named;
  return named;
}

} // namespace

bool daemonQueueExists() {
  std::lock_guard lock(gServerQueueLock);
  return currentQueue() != -1;
}

uint32_t sendToDaemon(const void* message, uint32_t length, const timespec& deadline) {
  std::lock_guard lock(gServerQueueLock);
  const mqd_t queue = currentQueue();
  if (queue == -1) return QOR_ERR_API_COULD_NOT_CONNECT;
  return sendOnQueue(queue, message, length, deadline);
}

} // namespace qor::client
