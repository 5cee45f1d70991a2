// A raw client of the daemon that speaks the queue protocol byte by byte, the way the libraries do (and the way a
// hostile local process could): private pairs announced on "/Qor_API", connects, and the application queues.
// Test code only.
#pragma once

#include <mqueue.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "qor_protocol.h"

namespace qor::test {

using Message = std::vector<uint8_t>;
using std::chrono::milliseconds;

inline constexpr milliseconds kReplyWait{5000};

// Receives one message of at most the queue's message size within timeout.
std::optional<Message> receiveFrom(mqd_t queue, milliseconds timeout);
// Sends within timeout; false when it could not.
bool sendTo(mqd_t queue, std::span<const uint8_t> message, milliseconds timeout = milliseconds{1000});

// ---- message builders and readers ----
Message bareRequest(uint8_t code, uint8_t port = 0, uint8_t application = 0);
Message valueRequest(uint8_t code, uint32_t value);
Message driverInfoRequest(uint32_t hostType, uint32_t capacity);
Message connectRequest(const Qor_InterfaceInfo_t& descriptor, uint32_t pid, uint32_t clientPortId,
                       uint32_t queueMessageSize);
// 0x20 around a frame of command code command with parameters.
Message frameRequest(uint8_t application, uint8_t command, std::span<const uint8_t> parameters, uint8_t marker = '#');
// A frame as a device sends it: response to command for application.
Message deviceFrame(uint8_t application, uint8_t command, std::span<const uint8_t> data);
ServerResponseHeader headerOf(const Message& message);
// The text of an error report (0x11), up to its NUL.
std::string reportText(const Message& message);
// A descriptor; the address is a binary IPv4 with flag bit 0 when given.
Qor_InterfaceInfo_t descriptor(uint32_t hostType, uint8_t controller, uint8_t interfaceNumber, uint32_t deviceNumber,
                               uint16_t flags = 0, uint32_t address = 0);

// A private queue pair, announced on "/Qor_API"; its queues are removed at the end.
class Pair {
public:
  // Creates "<base>-R" with replyMessageSize and "<base>-W", announces them and waits for the 0x0A answer; nothing
  // when no answer came within timeout.
  static std::unique_ptr<Pair> announce(const std::string& baseName, milliseconds timeout = kReplyWait,
                                        long replyMessageSize = QOR_PRIVATE_PAIR_MESSAGE_SIZE);
  // Creates the queues only (for tests that announce by hand).
  static std::unique_ptr<Pair> create(const std::string& baseName, long replyMessageSize = QOR_PRIVATE_PAIR_MESSAGE_SIZE);
  ~Pair();

  bool send(std::span<const uint8_t> message);
  std::optional<Message> receive(milliseconds timeout = kReplyWait);
  std::optional<Message> request(std::span<const uint8_t> message, milliseconds timeout = kReplyWait);
  mqd_t replyQueue() const { return reader_; }
  const std::string& baseName() const { return baseName_; }

private:
  std::string baseName_;
  mqd_t reader_ = -1;
  mqd_t writer_ = -1;
};

// The control pair of this process, "/Qor_API-<pid>_CNP".
std::string controlPairName();

// An application connected through the daemon, with its two queues open.
class Application {
public:
  // Connects as the library does: pair, 0x01, the application queues, 0x0B. The answer is always returned; the
  // application exists when its error is 0.
  static std::unique_ptr<Application> connect(const Qor_InterfaceInfo_t& descriptor, ConnectPortResponse& answer,
                                              uint32_t queueMessageSize = 4108, uint32_t clientPortId = 1);
  ~Application();

  uint8_t port() const { return answer_.portIndex; }
  uint8_t index() const { return answer_.applicationIndex; }
  bool send(std::span<const uint8_t> message);
  bool sendBare(uint8_t code) { return send(bareRequest(code, port(), index())); }
  std::optional<Message> receive(milliseconds timeout = kReplyWait);
  // Sends and waits for the first answer.
  std::optional<Message> request(std::span<const uint8_t> message, milliseconds timeout = kReplyWait);

private:
  ConnectPortResponse answer_{};
  mqd_t request_ = -1;
  mqd_t response_ = -1;
};

} // namespace qor::test
