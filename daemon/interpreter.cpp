// The command interpreter: the one place where the daemon acts on a message from a library. Every message is checked
// before anything acts on it: its length field against the bytes received, its code, its length against what the
// code needs; the messages of a request thread act for the thread's own port and application only.
#include <syslog.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>
#include <optional>
#include <thread>
#include <vector>

#include "qor_error_codes.h"
#include "qor_helpers.h"
#include "server.hpp"
#include "usb_suspension.hpp"

namespace qor::daemon {
namespace {

// How long a message waits for its port's turn before it is handled anyway.
constexpr Milliseconds kTurnBound{1000};
constexpr int kWriteAttempts = 11;
constexpr Milliseconds kWriteRetryPause{5};
// Bounds of the values clients set for the whole daemon.
constexpr uint32_t kMaxPollIntervalMs = 1000;
constexpr uint32_t kMaxConnectionTimeoutMs = 60000;
constexpr size_t kHeader = sizeof(ServerRequestHeader);

enum class Handling { Ignored, PairOrApplication, ApplicationOnly, Undefined };

Handling handlingOf(uint8_t code) {
  switch (code) {
    case QOR_MSG_ERROR_REPORT:
    case QOR_MSG_MONITOR_DATA:
    case QOR_MSG_FIRMWARE_TRAFFIC: return Handling::Ignored;
    case QOR_MSG_CONNECT_PORT:
    case QOR_MSG_DRIVER_INFO:
    case QOR_MSG_LAST_SERVER_ERROR:
    case QOR_MSG_REFRESH_DRIVER_INFO:
    case QOR_MSG_FULL_SPEED_POLLING_CYCLE:
    case QOR_MSG_CONNECTION_TIMEOUT:
    case QOR_MSG_BOARD_REQUEST_95XX: return Handling::PairOrApplication;
    case QOR_MSG_DISCONNECT:
    case QOR_MSG_CLOSE_CLIENT_CONNECTION:
    case QOR_MSG_GET_LOCK:
    case QOR_MSG_RELEASE_LOCK:
    case QOR_MSG_GET_MONITOR_LOCK:
    case QOR_MSG_RELEASE_MONITOR_LOCK:
    case QOR_MSG_FIRMWARE_FRAME:
    case QOR_MSG_START_MONITOR:
    case QOR_MSG_STOP_MONITOR:
    case QOR_MSG_FPGA_ACCESS: return Handling::ApplicationOnly;
    default: return Handling::Undefined;
  }
}

// The shortest message of each code: what its fields need.
size_t minimumLength(uint8_t code) {
  switch (code) {
    case QOR_MSG_CONNECT_PORT: return sizeof(ConnectPortRequest);
    case QOR_MSG_DRIVER_INFO: return QOR_DRIVER_INFO_REQUEST_LENGTH;
    case QOR_MSG_REFRESH_DRIVER_INFO:
    case QOR_MSG_FULL_SPEED_POLLING_CYCLE:
    case QOR_MSG_CONNECTION_TIMEOUT: return sizeof(ControlValueRequest);
    case QOR_MSG_FIRMWARE_FRAME: return kHeader + QOR_FRAME_HEADER_SIZE;
    case QOR_MSG_FPGA_ACCESS: return kHeader + 1;
    case QOR_MSG_BOARD_REQUEST_95XX: return sizeof(BoardRequest95xx);
    default: return kHeader;
  }
}

uint32_t u32At(Bytes message, size_t offset) {
  uint32_t value;
  std::memcpy(&value, message.data() + offset, sizeof value);
  return value;
}

Bytes bytesOf(const void* record, size_t size) { return Bytes(static_cast<const uint8_t*>(record), size); }

// An answer that says no: the error report to an application, a bare answer with the code on a private pair.
void refuse(Server& server, Channel& channel, uint8_t code, uint32_t error, const std::string& text) {
  if (channel.application) {
    server.recordError(channel.port.get(), channel.application->index, error, text);
  } else {
    server.recordError(nullptr, kNone, error, text);
    server.replyBare(channel, code, error);
  }
}

std::string undefined(uint8_t code) {
  char text[48];
  snprintf(text, sizeof text, "command code %02X is undefined", code);
  return text;
}

} // namespace

void Server::interpret(Buffer message, Channel& channel) {
  const auto request = protocol::parseRequest(message);
  if (!request) {
    uint32_t lengthField = 0;
    if (message.size() >= kHeader) lengthField = u32At(message, offsetof(ServerRequestHeader, length));
    const unsigned code = message.empty() ? 0u : message[0]; // an empty message carries no code either
    syslog(LOG_ERR, "Bad Command %u Length %u (%u)\n", code, static_cast<unsigned>(message.size()), lengthField);
    return;
  }
  const uint8_t code = request->header.code;
  const Handling handling = handlingOf(code);
  if (handling == Handling::Ignored) return;
  if (handling == Handling::Undefined || (handling == Handling::ApplicationOnly && !channel.application)) {
    refuse(*this, channel, code, QOR_ERR_SERVER_UNKNOWN_COMMAND, undefined(code));
    return;
  }
  if (message.size() < minimumLength(code)) {
    char text[64];
    snprintf(text, sizeof text, "command code %02X: %zu bytes are too few", code, message.size());
    refuse(*this, channel, code, QOR_ERR_SERVER_INVALID_PARAMETER, text);
    return;
  }
  // The messages of a port take turns. On a private pair only the board request names a port.
  std::shared_ptr<Port> turnPort = channel.port;
  if (!turnPort && code == QOR_MSG_BOARD_REQUEST_95XX) turnPort = ports_.at(request->header.portIndex);
  std::optional<CommandGate::Turn> turn;
  if (turnPort) turn.emplace(turnPort->gate, kTurnBound);

  switch (code) {
    case QOR_MSG_CONNECT_PORT: connectPort(message, channel); break;
    case QOR_MSG_DISCONNECT: closeConnection(channel); break;
    case QOR_MSG_CLOSE_CLIENT_CONNECTION:
      channel.application->closing = true;
      replyBare(channel, code, 0);
      break;
    case QOR_MSG_GET_LOCK:
    case QOR_MSG_RELEASE_LOCK:
    case QOR_MSG_GET_MONITOR_LOCK:
    case QOR_MSG_RELEASE_MONITOR_LOCK: {
      const Application& app = *channel.application;
      LockTables& locks = channel.port->locks;
      uint32_t result;
      {
        std::lock_guard table(channel.port->tableLock);
        const uint32_t pid = app.client.pid();
        switch (code) {
          case QOR_MSG_GET_LOCK: result = locks.take(pid, app.controller, app.interfaceNumber); break;
          case QOR_MSG_RELEASE_LOCK: result = locks.release(pid, app.controller, app.interfaceNumber); break;
          case QOR_MSG_GET_MONITOR_LOCK: result = locks.takeMonitor(pid, app.controller, app.interfaceNumber); break;
          default: result = locks.releaseMonitor(pid, app.controller, app.interfaceNumber); break;
        }
      }
      replyBare(channel, code, result);
      break;
    }
    case QOR_MSG_DRIVER_INFO: {
      const uint32_t hostType = u32At(message, offsetof(DriverInfoRequest, hostInterfaceType));
      const uint32_t capacity = u32At(message, offsetof(DriverInfoRequest, capacity));
      // No more than the client asked for and no more than its queue takes.
      const size_t room = channel.reply.messageSize() - std::min(channel.reply.messageSize(), sizeof(ServerResponseHeader));
      std::vector<uint8_t> answer;
      try {
        answer.assign(sizeof(ServerResponseHeader) + std::min<size_t>(capacity, room), 0);
      } catch (const std::bad_alloc&) {
        replyBare(channel, code, recordError(nullptr, kNone, QOR_ERR_SERVER_NOT_ENOUGH_MEMORY, ""));
        break;
      }
      const Buffer out(answer.data() + sizeof(ServerResponseHeader), answer.size() - sizeof(ServerResponseHeader));
      const Bytes requestData = message.subspan(offsetof(DriverInfoRequest, data));
      uint32_t written = 0;
      PathStatus status;
      if (DeviceAccess::driverInfoUsesUsb(hostType)) {
        UsbSuspension suspension(*this);
        status = access_.driverInfo(hostType, out, written, requestData);
      } else {
        status = access_.driverInfo(hostType, out, written, requestData);
      }
      if (!status.ok()) {
        replyBare(channel, code, recordPathError(nullptr, kNone, status));
        break;
      }
      const auto length = static_cast<uint32_t>(sizeof(ServerResponseHeader) + written);
      const ServerResponseHeader head{code, {0, 0, 0}, length, 0};
      std::memcpy(answer.data(), &head, sizeof head);
      reply(channel, Bytes(answer.data(), length));
      break;
    }
    case QOR_MSG_LAST_SERVER_ERROR: {
      const ErrorRecord::Entry last = errors_.last();
      // The text is cut to what the client's queue takes, its NUL kept.
      const size_t head = sizeof(ServerResponseHeader) + 1;
      const size_t room = channel.reply.messageSize() > head ? channel.reply.messageSize() - head : 0;
      const std::string_view text = std::string_view(last.text).substr(0, room);
      std::vector<uint8_t> answer(head + text.size(), 0);
      const ServerResponseHeader header{code, {0, 0, 0}, static_cast<uint32_t>(answer.size()), last.code};
      std::memcpy(answer.data(), &header, sizeof header);
      std::memcpy(answer.data() + sizeof header, text.data(), text.size());
      reply(channel, answer);
      break;
    }
    case QOR_MSG_REFRESH_DRIVER_INFO: {
      const uint32_t flags = u32At(message, offsetof(ControlValueRequest, value));
      const bool withUsb = (flags & 1u) != 0;
      const bool flag = (flags & 2u) != 0;
      PathStatus status;
      if (withUsb) {
        UsbSuspension suspension(*this);
        status = access_.refresh(true, flag);
      } else {
        status = access_.refresh(false, flag);
      }
      replyBare(channel, code, status.code);
      break;
    }
    case QOR_MSG_FULL_SPEED_POLLING_CYCLE: {
      const uint32_t interval = u32At(message, offsetof(ControlValueRequest, value));
      if (interval > kMaxPollIntervalMs) {
        replyBare(channel, code,
                  recordErrorf(nullptr, kNone, QOR_ERR_SERVER_INVALID_PARAMETER,
                               "polling cycle of %u ms is longer than %u ms", interval, kMaxPollIntervalMs));
        break;
      }
      pollIntervalMs_ = interval;
      replyBare(channel, code, 0);
      break;
    }
    case QOR_MSG_CONNECTION_TIMEOUT: {
      const uint32_t timeout = u32At(message, offsetof(ControlValueRequest, value));
      ConnectionTimeoutReply answer{{code, {0, 0, 0}, sizeof answer, 0}, 0};
      if (timeout > kMaxConnectionTimeoutMs) {
        answer.header.error = recordErrorf(nullptr, kNone, QOR_ERR_SERVER_INVALID_PARAMETER,
                                           "connection timeout of %u ms is longer than %u ms", timeout,
                                           kMaxConnectionTimeoutMs);
        answer.previousTimeout = access_.connectionTimeout();
      } else {
        answer.previousTimeout = access_.exchangeConnectionTimeout(timeout);
      }
      reply(channel, bytesOf(&answer, sizeof answer));
      break;
    }
    case QOR_MSG_FIRMWARE_FRAME: {
      const Buffer frameBytes = message.subspan(kHeader);
      const auto frame = protocol::parseFrame(frameBytes);
      if (!frame) {
        refuse(*this, channel, code, QOR_ERR_SERVER_INVALID_PARAMETER, "invalid firmware frame");
        break;
      }
      // The device routes its answers by this byte: they go back to the sender.
      frameBytes[offsetof(FirmwareMessageHeader, App)] = channel.application->index;
      writeCommand(*channel.port, channel.application->index, frameBytes.first(frame->header.length));
      break;
    }
    case QOR_MSG_START_MONITOR: startMonitor(channel); break;
    case QOR_MSG_STOP_MONITOR: stopMonitor(channel); break;
    case QOR_MSG_FPGA_ACCESS: fpgaAccess(message, channel); break;
    case QOR_MSG_BOARD_REQUEST_95XX: {
      const auto board = protocol::readRecord<BoardRequest95xx>(message);
      std::vector<uint8_t> answer(std::max(channel.reply.messageSize(), sizeof(BoardReply95xx)), 0);
      const Buffer data(answer.data() + sizeof(BoardReply95xx), answer.size() - sizeof(BoardReply95xx));
      uint32_t length = 0;
      PathStatus status;
      if (turnPort) {
        std::lock_guard write(turnPort->writeLock);
        status = access_.boardRequest(*board, turnPort->device.get(), data, length);
      } else {
        status = access_.boardRequest(*board, nullptr, data, length);
      }
      if (!status.ok()) {
        replyBare(channel, code, status.code);
        break;
      }
      const BoardReply95xx head{{code, {0, 0, 0}, static_cast<uint32_t>(sizeof(BoardReply95xx) + length), 0},
                                message[offsetof(BoardRequest95xx, subCommand)]};
      std::memcpy(answer.data(), &head, sizeof head);
      reply(channel, Bytes(answer.data(), sizeof head + length));
      break;
    }
    default: break;
  }
}

uint32_t Server::writeCommand(Port& port, uint8_t application, Bytes frame) {
  PathStatus status;
  {
    std::lock_guard write(port.writeLock);
    for (int attempt = 0; attempt < kWriteAttempts; ++attempt) {
      if (attempt > 0) std::this_thread::sleep_for(kWriteRetryPause);
      status = port.device ? port.device->write(frame) : functionNotAvailable();
      if (status.ok()) break;
    }
  }
  if (!status.ok()) return recordPathError(&port, application, status);
  port.lastCommandMs = GetTickCount();
  return 0;
}

} // namespace qor::daemon
