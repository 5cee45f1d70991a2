// The accept loop on "/Qor_API": every client process announces a private queue pair here (message 0x0A), and the
// daemon answers on the pair and serves it with a control thread.
#include <sys/stat.h>
#include <syslog.h>

#include <array>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "qor_error_codes.h"
#include "qor_helpers.h"
#include "qor_shared/byte_reader.hpp"
#include "limited_log.hpp"
#include "server.hpp"

namespace qor::daemon {
namespace {

// How often the loop looks at the stop flag while no client calls.
constexpr Milliseconds kAcceptSlice{500};

// A pair's base name: NUL-terminated within the message, one leading "/" and no other, short enough for "-R".
std::optional<std::string> baseNameIn(Bytes payload) {
  const auto* text = reinterpret_cast<const char*>(payload.data());
  const size_t length = strnlen(text, payload.size());
  if (length == payload.size()) return std::nullopt;
  const std::string_view name(text, length);
  constexpr size_t kSuffix = sizeof QOR_PRIVATE_PAIR_READ_SUFFIX - 1;
  if (name.size() < 2 || name[0] != '/' || name.find('/', 1) != std::string_view::npos ||
      name.size() + kSuffix > NAME_MAX) {
    return std::nullopt;
  }
  return std::string(name);
}

} // namespace

bool Server::waitForClients() {
  mqd_t queue = Create_MsgQueue(QOR_SERVER_QUEUE_NAME, QOR_SERVER_QUEUE_MESSAGE_SIZE, 0);
  if (queue == -1) {
    syslog(LOG_ERR, "%s : Error create mq <%s>", "Qor_Server_WaitForClients", QOR_SERVER_QUEUE_NAME);
    return false;
  }
  {
    std::lock_guard lock(acceptMutex_);
    acceptRunning_ = true;
  }
  std::array<uint8_t, QOR_SERVER_QUEUE_MESSAGE_SIZE> buffer;
  while (!stopRequested_) {
    workers_.reap();
    const ssize_t received = receiveWithin(queue, buffer, kAcceptSlice);
    if (received < 0) {
      printf("%s:   Error %d (%s) on  mq_receive.\n", "Qor_Server_WaitForClients", errno, strerror(errno));
      break;
    }
    if (received > 0) acceptClient(Bytes(buffer.data(), static_cast<size_t>(received)));
  }
  destroy_message_queue(&queue, QOR_SERVER_QUEUE_NAME);
  {
    std::lock_guard lock(acceptMutex_);
    acceptRunning_ = false;
  }
  acceptEnded_.notify_all();
  return true;
}

void Server::acceptClient(Bytes message) {
  const auto request = protocol::parseRequest(message);
  if (!request) {
    const uint32_t lengthField = readU32LE(message, offsetof(ServerRequestHeader, length)).value_or(0);
    logLimited(LOG_ERR, "Bad Command %u Length %u (%u)\n", message.empty() ? 0u : static_cast<unsigned>(message[0]),
               static_cast<unsigned>(message.size()), lengthField);
    return;
  }
  if (request->header.code != QOR_MSG_CLIENT_CONNECT) {
    logLimited(LOG_LOCAL0 | LOG_ERR, "init failed\n");
    return;
  }
  const auto baseName = baseNameIn(request->payload);
  if (!baseName) {
    logLimited(LOG_ERR, "%s : Error invalid queue name in client connect request\n", "Qor_Server_WaitForClients");
    return;
  }
  const std::string replyName = *baseName + QOR_PRIVATE_PAIR_READ_SUFFIX;
  const mqd_t replyQueue = mq_open(replyName.c_str(), O_WRONLY);
  if (replyQueue == -1) {
    logLimited(LOG_ERR, "%s : Error create mq <%s>", "Qor_Server_WaitForClients", replyName.c_str());
    return;
  }
  struct stat replyStatus {};
  if (fstat(replyQueue, &replyStatus) != 0 || servesPair({*baseName, replyStatus.st_ino})) {
    mq_close(replyQueue);
    logLimited(LOG_WARNING, "%s : pair <%s> is served already, announcement dropped\n", "Qor_Server_WaitForClients",
               baseName->c_str());
    return;
  }
  const PairIdentity pair{*baseName, replyStatus.st_ino};
  const auto pid = ClientProcess::pidInName(*baseName);
  const auto client = pid ? ClientProcess::identify(*pid, replyQueue) : std::nullopt;
  ReplyQueue reply;
  if (!client || !reply.adopt(replyQueue)) {
    if (!client) mq_close(replyQueue);
    logLimited(LOG_ERR, "%s : Error no client process behind <%s>\n", "Qor_Server_WaitForClients", replyName.c_str());
    return;
  }
  const ClientConnectReply answer{QOR_MSG_CLIENT_CONNECT, sizeof(ClientConnectReply), 0, 0};
  // A client that filled its own queue gets no answer: the loop never waits for one client.
  if (reply.send(Bytes(reinterpret_cast<const uint8_t*>(&answer), sizeof answer), Milliseconds{0}) !=
      ReplyQueue::Sent::Yes) {
    logLimited(LOG_ERR, "%s : %m", "Qor_Server_WaitForClients");
  }
  reply.close();
  if (stopRequested_) return;
  // Only this loop adds pairs: the pair is still unserved.
  claimPair(pair);
  const auto worker = workers_.start("SrvCtrl-RequTh", [this, pair, process = *client](Worker& self) {
    serveControlPair(pair, process, self);
  });
  if (!worker) {
    releasePair(pair);
    recordErrorf(nullptr, kNone, QOR_ERR_SERVER_REQUEST_THREAD_NOT_STARTED, "'Qor_Internal_Thread_Start' returned with '%d'",
                 errno);
  }
}

bool Server::servesPair(const PairIdentity& pair) {
  std::lock_guard lock(pairsMutex_);
  return servedPairs_.contains(pair);
}

void Server::claimPair(const PairIdentity& pair) {
  std::lock_guard lock(pairsMutex_);
  servedPairs_.insert(pair);
}

void Server::releasePair(const PairIdentity& pair) {
  std::lock_guard lock(pairsMutex_);
  servedPairs_.erase(pair);
}

} // namespace qor::daemon
