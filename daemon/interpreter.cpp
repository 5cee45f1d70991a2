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
#include "qor_shared/byte_reader.hpp"
#include "limited_log.hpp"
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

Bytes bytesOf(const void* record, size_t size) { return Bytes(static_cast<const uint8_t*>(record), size); }

uint32_t u32At(Bytes message, size_t offset) { return readU32LE(message, offset).value_or(0); }

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

// The handler of each message code, with the daemon's state at hand (a friend of Server).
class Interpreter {
public:
  // One message on its way to its handler, its length checked against the code's minimum.
  struct Incoming {
    uint8_t code;
    Buffer message;
    Channel& channel;
    const std::shared_ptr<Port>& turnPort; // the port whose turn the message holds; may be empty on a private pair
  };
  static void connectPort(Server& server, const Incoming& in);
  static void disconnect(Server& server, const Incoming& in);
  static void closeClientConnection(Server& server, const Incoming& in);
  template <uint32_t (LockTables::*operation)(uint32_t, uint8_t, uint8_t)>
  static void lockRequest(Server& server, const Incoming& in);
  static void driverInfo(Server& server, const Incoming& in);
  static void lastServerError(Server& server, const Incoming& in);
  static void refreshDriverInfo(Server& server, const Incoming& in);
  static void pollingCycle(Server& server, const Incoming& in);
  static void connectionTimeout(Server& server, const Incoming& in);
  static void firmwareFrame(Server& server, const Incoming& in);
  static void startMonitor(Server& server, const Incoming& in);
  static void stopMonitor(Server& server, const Incoming& in);
  static void fpgaAccess(Server& server, const Incoming& in);
  static void boardRequest(Server& server, const Incoming& in);
};

namespace {

using Handler = void (*)(Server&, const Interpreter::Incoming&);

enum class Handling {
  Ignored,           // the daemon's own messages coming back: dropped unanswered
  PairOrApplication, // on a private pair or an application's request queue
  ApplicationOnly    // on an application's request queue only
};

// The board request names a port on a private pair; every other message acts for its channel's port alone.
enum class Turn { ChannelPort, NamedPort };

struct MessageRule {
  uint8_t code;
  Handling handling;
  size_t minimumLength; // what the code's fields need
  Turn turn;
  Handler handle;
};

using I = Interpreter;
constexpr Turn kChannel = Turn::ChannelPort;

// One row per message code that the daemon knows.
constexpr MessageRule kMessageRules[] = {
    {QOR_MSG_ERROR_REPORT, Handling::Ignored, kHeader, kChannel, nullptr},
    {QOR_MSG_MONITOR_DATA, Handling::Ignored, kHeader, kChannel, nullptr},
    {QOR_MSG_FIRMWARE_TRAFFIC, Handling::Ignored, kHeader, kChannel, nullptr},
    {QOR_MSG_CONNECT_PORT, Handling::PairOrApplication, sizeof(ConnectPortRequest), kChannel, I::connectPort},
    {QOR_MSG_DRIVER_INFO, Handling::PairOrApplication, QOR_DRIVER_INFO_REQUEST_LENGTH, kChannel, I::driverInfo},
    {QOR_MSG_LAST_SERVER_ERROR, Handling::PairOrApplication, kHeader, kChannel, I::lastServerError},
    {QOR_MSG_REFRESH_DRIVER_INFO, Handling::PairOrApplication, sizeof(ControlValueRequest), kChannel,
     I::refreshDriverInfo},
    {QOR_MSG_FULL_SPEED_POLLING_CYCLE, Handling::PairOrApplication, sizeof(ControlValueRequest), kChannel,
     I::pollingCycle},
    {QOR_MSG_CONNECTION_TIMEOUT, Handling::PairOrApplication, sizeof(ControlValueRequest), kChannel,
     I::connectionTimeout},
    {QOR_MSG_BOARD_REQUEST_95XX, Handling::PairOrApplication, sizeof(BoardRequest95xx), Turn::NamedPort,
     I::boardRequest},
    {QOR_MSG_DISCONNECT, Handling::ApplicationOnly, kHeader, kChannel, I::disconnect},
    {QOR_MSG_CLOSE_CLIENT_CONNECTION, Handling::ApplicationOnly, kHeader, kChannel, I::closeClientConnection},
    {QOR_MSG_GET_LOCK, Handling::ApplicationOnly, kHeader, kChannel, I::lockRequest<&LockTables::take>},
    {QOR_MSG_RELEASE_LOCK, Handling::ApplicationOnly, kHeader, kChannel, I::lockRequest<&LockTables::release>},
    {QOR_MSG_GET_MONITOR_LOCK, Handling::ApplicationOnly, kHeader, kChannel, I::lockRequest<&LockTables::takeMonitor>},
    {QOR_MSG_RELEASE_MONITOR_LOCK, Handling::ApplicationOnly, kHeader, kChannel,
     I::lockRequest<&LockTables::releaseMonitor>},
    {QOR_MSG_FIRMWARE_FRAME, Handling::ApplicationOnly, kHeader + QOR_FRAME_HEADER_SIZE, kChannel, I::firmwareFrame},
    {QOR_MSG_START_MONITOR, Handling::ApplicationOnly, kHeader, kChannel, I::startMonitor},
    {QOR_MSG_STOP_MONITOR, Handling::ApplicationOnly, kHeader, kChannel, I::stopMonitor},
    {QOR_MSG_FPGA_ACCESS, Handling::ApplicationOnly, sizeof(FpgaRequest), kChannel, I::fpgaAccess},
};

const MessageRule* ruleOf(uint8_t code) {
  for (const MessageRule& rule : kMessageRules) {
    if (rule.code == code) return &rule;
  }
  return nullptr;
}

} // namespace

void Interpreter::connectPort(Server& server, const Incoming& in) { server.connectPort(in.message, in.channel); }

void Interpreter::disconnect(Server& server, const Incoming& in) { server.closeConnection(in.channel); }

void Interpreter::closeClientConnection(Server& server, const Incoming& in) {
  in.channel.application->closing = true;
  server.replyBare(in.channel, in.code, 0);
}

template <uint32_t (LockTables::*operation)(uint32_t, uint8_t, uint8_t)>
void Interpreter::lockRequest(Server& server, const Incoming& in) {
  const Application& app = *in.channel.application;
  uint32_t result;
  {
    std::lock_guard table(in.channel.port->tableLock);
    result = (in.channel.port->locks.*operation)(app.client.pid(), app.controller, app.interfaceNumber);
  }
  server.replyBare(in.channel, in.code, result);
}

void Interpreter::driverInfo(Server& server, const Incoming& in) {
  const uint32_t hostType = u32At(in.message, offsetof(DriverInfoRequest, hostInterfaceType));
  const uint32_t capacity = u32At(in.message, offsetof(DriverInfoRequest, capacity));
  constexpr size_t kHead = sizeof(ServerResponseHeader);
  // No more than the client asked for and no more than its queue takes.
  const size_t room = in.channel.reply.messageSize() - std::min(in.channel.reply.messageSize(), kHead);
  std::vector<uint8_t> answer;
  try {
    answer.assign(kHead + std::min<size_t>(capacity, room), 0);
  } catch (const std::bad_alloc&) {
    server.replyBare(in.channel, in.code, server.recordError(nullptr, kNone, QOR_ERR_SERVER_NOT_ENOUGH_MEMORY, ""));
    return;
  }
  const Buffer out(answer.data() + kHead, answer.size() - kHead);
  const Bytes requestData = in.message.subspan(offsetof(DriverInfoRequest, data));
  uint32_t written = 0;
  PathStatus status;
  if (DeviceAccess::driverInfoUsesUsb(hostType)) {
    UsbSuspension suspension(server);
    status = server.access_.driverInfo(hostType, out, written, requestData);
    suspension.followRenumbering();
  } else {
    status = server.access_.driverInfo(hostType, out, written, requestData);
  }
  if (!status.ok()) {
    server.replyBare(in.channel, in.code, server.recordPathError(nullptr, kNone, status));
    return;
  }
  const size_t length = protocol::encodeResponse(answer, in.code, 0, out.first(written));
  server.reply(in.channel, Bytes(answer.data(), length));
}

void Interpreter::lastServerError(Server& server, const Incoming& in) {
  const ErrorRecord::Entry last = server.errors_.last();
  // The text is cut to what the client's queue takes, its NUL kept.
  std::vector<uint8_t> answer(std::max(in.channel.reply.messageSize(), sizeof(ServerResponseHeader) + 1));
  answer.resize(protocol::encodeLastServerError(answer, last.code, last.text));
  server.reply(in.channel, answer);
}

void Interpreter::refreshDriverInfo(Server& server, const Incoming& in) {
  const uint32_t flags = u32At(in.message, offsetof(ControlValueRequest, value));
  const bool withUsb = (flags & 1u) != 0;
  const bool flag = (flags & 2u) != 0;
  PathStatus status;
  if (withUsb) {
    UsbSuspension suspension(server);
    status = server.access_.refresh(true, flag);
    suspension.followRenumbering();
  } else {
    status = server.access_.refresh(false, flag);
  }
  server.replyBare(in.channel, in.code, status.code);
}

void Interpreter::pollingCycle(Server& server, const Incoming& in) {
  const uint32_t interval = u32At(in.message, offsetof(ControlValueRequest, value));
  if (interval > kMaxPollIntervalMs) {
    server.replyBare(in.channel, in.code,
                     server.recordErrorf(nullptr, kNone, QOR_ERR_SERVER_INVALID_PARAMETER,
                                         "polling cycle of %u ms is longer than %u ms", interval, kMaxPollIntervalMs));
    return;
  }
  server.pollIntervalMs_ = interval;
  server.replyBare(in.channel, in.code, 0);
}

void Interpreter::connectionTimeout(Server& server, const Incoming& in) {
  const uint32_t timeout = u32At(in.message, offsetof(ControlValueRequest, value));
  uint32_t error = 0;
  uint32_t previous;
  if (timeout > kMaxConnectionTimeoutMs) {
    error = server.recordErrorf(nullptr, kNone, QOR_ERR_SERVER_INVALID_PARAMETER,
                                "connection timeout of %u ms is longer than %u ms", timeout, kMaxConnectionTimeoutMs);
    previous = server.access_.connectionTimeout();
  } else {
    previous = server.access_.exchangeConnectionTimeout(timeout);
  }
  const ConnectionTimeoutReply answer{protocol::responseHeader(in.code, sizeof answer, error), previous};
  server.reply(in.channel, bytesOf(&answer, sizeof answer));
}

void Interpreter::firmwareFrame(Server& server, const Incoming& in) {
  const Buffer frameBytes = in.message.subspan(kHeader);
  const auto frame = protocol::parseFrame(frameBytes);
  if (!frame) {
    refuse(server, in.channel, in.code, QOR_ERR_SERVER_INVALID_PARAMETER, "invalid firmware frame");
    return;
  }
  // The device routes its answers by this byte: they go back to the sender.
  frameBytes[offsetof(FirmwareMessageHeader, App)] = in.channel.application->index;
  server.writeCommand(*in.channel.port, in.channel.application->index, frameBytes.first(frame->header.length));
}

void Interpreter::startMonitor(Server& server, const Incoming& in) { server.startMonitor(in.channel); }

void Interpreter::stopMonitor(Server& server, const Incoming& in) { server.stopMonitor(in.channel); }

void Interpreter::fpgaAccess(Server& server, const Incoming& in) { server.fpgaAccess(in.message, in.channel); }

void Interpreter::boardRequest(Server& server, const Incoming& in) {
  const auto board = protocol::readRecord<BoardRequest95xx>(in.message);
  constexpr size_t kHead = sizeof(BoardReply95xx);
  std::vector<uint8_t> answer(std::max(in.channel.reply.messageSize(), kHead), 0);
  const Buffer data(answer.data() + kHead, answer.size() - kHead);
  uint32_t length = 0;
  PathStatus status;
  if (in.turnPort) {
    std::lock_guard write(in.turnPort->writeLock);
    status = server.access_.boardRequest(*board, in.turnPort->device.get(), data, length);
  } else {
    status = server.access_.boardRequest(*board, nullptr, data, length);
  }
  if (!status.ok()) {
    server.replyBare(in.channel, in.code, status.code);
    return;
  }
  const BoardReply95xx head{protocol::responseHeader(in.code, static_cast<uint32_t>(kHead + length), 0),
                            board->subCommand};
  protocol::writeRecord(Buffer(answer), head);
  server.reply(in.channel, Bytes(answer.data(), kHead + length));
}

void Server::interpret(Buffer message, Channel& channel) {
  const auto request = protocol::parseRequest(message);
  if (!request) {
    logLimited(LOG_ERR, "Bad Command %u Length %u (%u)\n", message.empty() ? 0u : static_cast<unsigned>(message[0]),
               static_cast<unsigned>(message.size()), u32At(message, offsetof(ServerRequestHeader, length)));
    return;
  }
  const uint8_t code = request->header.code;
  const MessageRule* rule = ruleOf(code);
  if (rule != nullptr && rule->handling == Handling::Ignored) return;
  if (rule == nullptr || (rule->handling == Handling::ApplicationOnly && !channel.application)) {
    refuse(*this, channel, code, QOR_ERR_SERVER_UNKNOWN_COMMAND, undefined(code));
    return;
  }
  if (message.size() < rule->minimumLength) {
    char text[64];
    snprintf(text, sizeof text, "command code %02X: %zu bytes are too few", code, message.size());
    refuse(*this, channel, code, QOR_ERR_SERVER_INVALID_PARAMETER, text);
    return;
  }
  // The messages of a port take turns.
  std::shared_ptr<Port> turnPort = channel.port;
  if (!turnPort && rule->turn == Turn::NamedPort) turnPort = ports_.at(request->header.portIndex);
  std::optional<CommandGate::Turn> turn;
  if (turnPort) turn.emplace(turnPort->gate, kTurnBound);
  rule->handle(*this, Interpreter::Incoming{code, message, channel, turnPort});
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
