#include "limited_log.hpp"
#include "server.hpp"

#include <cerrno>
#include <cstring>
#include <syslog.h>

#include <vector>

#include "qor_error_codes.h"

namespace qor::daemon {
namespace {

// Stop: how long the accept loop may take to notice, and how long the last threads may take to end.
constexpr Milliseconds kAcceptLoopStopBound{5000};
constexpr Milliseconds kThreadsStopBound{5000};
// Connects that were under way when the stop began may still admit an application; the stop closes again.
constexpr int kClosePasses = 10;

} // namespace

Server::Server(ServerOptions options) : options_(options) {}

Server::~Server() { stop(); }

void Server::start() {
  access_.start(options_.usb);
  started_ = true;
}

void Server::stopProcesses() {
  if (!started_) return;
  for (const auto& port : ports_.all()) {
    for (const auto& app : port->applications()) {
      if (app->inUse) app->client.terminate();
    }
  }
}

void Server::stop() {
  std::lock_guard once(stopMutex_);
  if (!started_ || stopped_) return;
  stopRequested_ = true;
  // Request threads see closing within one receive and close their applications themselves, all at once; what
  // remains is closed here.
  for (const auto& port : ports_.all()) {
    for (const auto& app : port->applications()) app->endRequestThread();
  }
  for (int pass = 0; pass < kClosePasses; ++pass) {
    bool closedAny = false;
    for (const auto& port : ports_.all()) {
      for (const auto& app : port->applications()) {
        closeApplication(port, app);
        closedAny = true;
      }
    }
    if (!closedAny) break;
  }
  // Ports whose last application left by message 0x05 still have their devices open.
  for (const auto& port : ports_.all()) {
    std::unique_lock lifecycle(port->lifecycle);
    closePortIfUnused(port);
  }
  {
    std::unique_lock lock(acceptMutex_);
    acceptEnded_.wait_for(lock, kAcceptLoopStopBound, [&] { return !acceptRunning_; });
  }
  if (!workers_.joinAll(kThreadsStopBound)) syslog(LOG_WARNING, "%s : threads still running\n", "Qor_Server_Stop");
  access_.shutdown();
  stopped_ = true;
}

uint32_t Server::recordError(const Port* port, uint8_t application, uint32_t code, std::string_view text) {
  if (code == 0) return 0;
  errors_.store(code, text);
  if (port == nullptr) return code;
  const auto app = port->application(application);
  if (!app || !app->response.isOpen()) return code;
  std::vector<uint8_t> report(app->response.messageSize());
  const size_t length = protocol::encodeErrorReport(report, code, text);
  // Not recorded when it fails: the error it carries stays the last one.
  if (length != 0 && app->response.send(Bytes(report.data(), length)) != ReplyQueue::Sent::Yes) {
    logLimited(LOG_ERR, "%s : error report 0x%x to application %u of port %u not sent\n", "Qor_Server_ErrorHandler",
               code, static_cast<unsigned>(application), static_cast<unsigned>(port->index));
  }
  return code;
}

uint32_t Server::recordErrorf(const Port* port, uint8_t application, uint32_t code, const char* format, ...) {
  if (code == 0) return 0;
  va_list arguments;
  va_start(arguments, format);
  const std::string text = formatText(format, arguments);
  va_end(arguments);
  return recordError(port, application, code, text);
}

bool Server::sendToApplication(const Port& port, Application& app, Bytes message) {
  switch (app.response.send(message)) {
    case ReplyQueue::Sent::Yes: return true;
    case ReplyQueue::Sent::TooLarge:
      recordErrorf(&port, app.index, QOR_ERR_SERVER_RESPONSE_BUFFER_TOO_SMALL,
                   "message of %zu bytes does not fit the response queue (%zu bytes)", message.size(),
                   app.response.messageSize());
      return false;
    case ReplyQueue::Sent::Dropped:
      // Once for each run of drops: an application that does not read would fill the log.
      if (app.response.dropsInARow() == 1) {
        syslog(LOG_WARNING, "%s : application %u of port %u does not read its responses, messages dropped\n",
               "Qor_Server_WriteResponse", static_cast<unsigned>(app.index), static_cast<unsigned>(port.index));
      }
      break;
    case ReplyQueue::Sent::Failed: break;
  }
  recordErrorf(nullptr, kNone, QOR_ERR_SERVER_WRITE_PIPE, "Error writing connection id %d - 'mq_send' returned with '%s'",
               app.response.number(), strerror(errno));
  return false;
}

bool Server::reply(Channel& channel, Bytes message) {
  switch (channel.reply.send(message)) {
    case ReplyQueue::Sent::Yes: return true;
    case ReplyQueue::Sent::TooLarge: {
      // The client's queue is too small for the answer: the request fails instead.
      const ServerResponseHeader bare = protocol::bareReply(message[0], QOR_ERR_SERVER_RESPONSE_BUFFER_TOO_SMALL);
      if (channel.reply.send(Bytes(reinterpret_cast<const uint8_t*>(&bare), sizeof bare)) == ReplyQueue::Sent::Yes) {
        return false;
      }
      break;
    }
    case ReplyQueue::Sent::Dropped:
    case ReplyQueue::Sent::Failed: break;
  }
  recordErrorf(nullptr, kNone, QOR_ERR_SERVER_WRITE_PIPE, "Error writing connection id %d - 'MsgSend' returned with '%s'",
               channel.reply.number(), strerror(errno));
  return false;
}

bool Server::replyBare(Channel& channel, uint8_t code, uint32_t error) {
  const ServerResponseHeader bare = protocol::bareReply(code, error);
  return reply(channel, Bytes(reinterpret_cast<const uint8_t*>(&bare), sizeof bare));
}

} // namespace qor::daemon
