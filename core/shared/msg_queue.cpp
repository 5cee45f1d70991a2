#include <cerrno>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <syslog.h>
#include <unistd.h>
#include <vector>

#include "qor_helpers.h"
#include "qor_protocol.h"
#include "qor_shared/deadline.hpp"
#include "qor_shared/queue_creation.hpp"
#include "qor_shared/queue_exchange.hpp"

namespace {

constexpr uint32_t kCouldNotConnect = 0x2000100;

// The mode is set on the queue's own descriptor: the umask is process-wide, and changing it would widen the files
// other threads create meanwhile.
mqd_t openExclusive(const char* name, int access, mode_t mode, mq_attr* attributes) {
  const mqd_t queue = mq_open(name, O_CREAT | O_EXCL | access, mode, attributes);
  if (queue == static_cast<mqd_t>(-1) || fchmod(queue, mode) == 0) return queue;
  const int savedErrno = errno;
  mq_close(queue);
  mq_unlink(name);
  errno = savedErrno;
  return static_cast<mqd_t>(-1);
}

long threadId() {
  return static_cast<long>(gettid());
}

} // namespace

namespace qor {

uint32_t sendOnQueue(mqd_t queue, const void* message, uint32_t length, const timespec& deadline) {
  if (mq_timedsend(queue, static_cast<const char*>(message), length, 0, &deadline) != 0) {
    syslog(LOG_ERR, "%s:   Error %d (%m) on mq_send.\n", "MsgSndLinux", errno);
    return kCouldNotConnect;
  }
  return 0;
}

uint32_t receiveReply(mqd_t queue, void* reply, uint32_t replyCapacity, size_t* received, const timespec& deadline) {
  *received = 0;
  mq_attr attributes{};
  if (mq_getattr(queue, &attributes) != 0) {
    syslog(LOG_ERR, "%s  Error %m on client mq_receive.\n", "MsgSndLinux");
    return kCouldNotConnect;
  }
  std::vector<char> buffer(static_cast<size_t>(attributes.mq_msgsize));
  ssize_t count = mq_timedreceive(queue, buffer.data(), buffer.size(), nullptr, &deadline);
  if (count < 0) {
    syslog(LOG_ERR, "%s  Error %m on client mq_receive.\n", "MsgSndLinux");
    return kCouldNotConnect;
  }
  size_t copied = static_cast<size_t>(count);
  if (copied > replyCapacity) {
    syslog(LOG_ERR, "%s   Error : bytes received(%d) to big.\n", "MsgSndLinux", static_cast<int>(count));
    copied = replyCapacity;
  }
  memcpy(reply, buffer.data(), copied);
  *received = copied;
  return 0;
}

mqd_t createQueue(const char* name, uint32_t messageSize, bool write, mode_t mode) {
  if (mq_unlink(name) == 0) {
    syslog(LOG_WARNING, "   %s : Warning q-name %s already exists \n", "Create_MsgQueue", name);
  }
  mq_attr attributes{};
  attributes.mq_maxmsg = QOR_QUEUE_MAX_MESSAGES;
  attributes.mq_msgsize = messageSize;
  const int access = write ? O_WRONLY : O_RDONLY;
  mqd_t queue = openExclusive(name, access, mode, &attributes);
  if (queue != static_cast<mqd_t>(-1)) return queue;
  int failure = errno;
  switch (failure) {
    case ENOSPC:
      syslog(LOG_ERR, "%s:   Error ENOSPC (%d) (%m) on mq_open qname < %s> \n", "Create_MsgQueue", errno, name);
      break;
    case EINVAL:
      syslog(LOG_ERR, "%s:   Error (%m) on mq_open , mq_msgsize %u, mq_maxmsg %u\n", "Create_MsgQueue", messageSize,
             static_cast<unsigned>(QOR_QUEUE_MAX_MESSAGES));
      break;
    case EMFILE:
      queue = openExclusive(name, access, mode & 0606, &attributes);
      failure = errno;
      if (queue == static_cast<mqd_t>(-1)) {
        syslog(LOG_ERR, "%s:   Error %d (%m) on mq_open qname < %s>\n", "Create_MsgQueue", errno, name);
      }
      break;
    default:
      syslog(LOG_ERR, "%s:   Error %d (%m) on mq_open qname < %s> \n", "Create_MsgQueue", errno, name);
      break;
  }
  errno = failure; // the caller reports the reason; logging may have changed errno
  return queue;
}

uint32_t exchangeOnQueues(mqd_t sendQueue, const void* message, uint32_t length, mqd_t receiveQueue, void* reply,
                          uint32_t replyCapacity, size_t* received) {
  *received = 0;
  // A daemon that died or stalls must not hang the caller: both steps are bounded.
  const timespec deadline = realtimeDeadline(QOR_PRIVATE_PAIR_TIMEOUT_MS);
  if (uint32_t result = sendOnQueue(sendQueue, message, length, deadline)) return result;
  if (reply == nullptr) return 0;
  return receiveReply(receiveQueue, reply, replyCapacity, received, deadline);
}

} // namespace qor

extern "C" {

mqd_t Open_MsgQueue(const char* name, uint8_t write) {
  mqd_t queue = mq_open(name, write ? O_WRONLY : O_RDONLY);
  if (queue == static_cast<mqd_t>(-1)) {
    syslog(LOG_ERR, "   Error %d (%m) on server mq_open qname %s.\n", errno, name);
  }
  return queue;
}

mqd_t Create_MsgQueue(const char* name, uint32_t messageSize, uint8_t write) {
  return qor::createQueue(name, messageSize, write != 0, 0666);
}

int close_message_queue(mqd_t* descriptor) {
  if (*descriptor == static_cast<mqd_t>(-1)) return 0;
  int rc = mq_close(*descriptor);
  if (rc != 0) {
    syslog(LOG_ERR, "[%ld]:%s : < %d > Error %m \n", threadId(), "close_message_queue", *descriptor);
  }
  *descriptor = static_cast<mqd_t>(-1);
  return rc;
}

int destroy_message_queue(mqd_t* descriptor, const char* name) {
  int rc = close_message_queue(descriptor);
  if (rc != 0) return rc;
  rc = mq_unlink(name);
  if (rc != 0) syslog(LOG_ERR, "%s : Error on unlink file < %s >  : %m\n", "destroy_message_queue", name);
  return rc;
}

int destroy_message_queues(mqd_t* readDescriptor, mqd_t* writeDescriptor, const char* baseName) {
  std::string name = std::string(baseName) + QOR_PRIVATE_PAIR_READ_SUFFIX;
  int rc = destroy_message_queue(readDescriptor, name.c_str());
  if (rc != 0) return rc;
  name = std::string(baseName) + QOR_PRIVATE_PAIR_WRITE_SUFFIX;
  return destroy_message_queue(writeDescriptor, name.c_str());
}

uint32_t MsgSndLinux(mqd_t sendQueue, const void* message, uint32_t length, mqd_t receiveQueue, void* reply,
                     uint32_t replyCapacity) {
  size_t received = 0;
  return qor::exchangeOnQueues(sendQueue, message, length, receiveQueue, reply, replyCapacity, &received);
}

uint32_t Qor_Internal_DisconnectMq(mqd_t sendQueue, mqd_t receiveQueue, uint8_t portIndex,
                                   uint8_t applicationIndex) {
  CloseClientConnectionRequest request{};
  request.header.code = QOR_MSG_CLOSE_CLIENT_CONNECTION;
  request.header.portIndex = portIndex;
  request.header.applicationIndex = applicationIndex;
  request.header.length = sizeof request;
  request.processId = static_cast<uint32_t>(getpid());
  return MsgSndLinux(sendQueue, &request, sizeof request, receiveQueue, nullptr, 0);
}

} // extern "C"
