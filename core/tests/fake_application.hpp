// A stand-in for the daemon's side of one application: it admits the library's port (creating the application's
// queues, as the daemon's connect does), answers the driver-information refresh and a firmware port's identity
// command, and hands every other request of the application to a test's script, whose messages it sends back in
// order on the response queue. Requests are served one after the other, as the daemon's request thread does.
#pragma once

#include <mqueue.h>

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "fake_server.hpp"
#include "qor_api.h"
#include "qor_protocol.h"
#include "qor_shared/deadline.hpp"

namespace qor::test {

class FakeApplication {
 public:
  using Bytes = std::vector<uint8_t>;
  // The answer to the index-th scripted request (counted from the script's start).
  using Script = std::function<std::vector<Bytes>(size_t index, const Bytes& request)>;
  static constexpr uint8_t kPortIndex = 3;
  static constexpr uint8_t kApplicationIndex = 5;

  FakeApplication() : server_([this](const Bytes& request) { return control(request); }) {}

  ~FakeApplication() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    for (auto& [queue, name] : {std::pair{&request_, requestName_}, std::pair{&response_, responseName_}}) {
      if (*queue != -1) mq_close(*queue);
      if (!name.empty()) mq_unlink(name.c_str());
    }
  }

  // Sends a message on the response queue, as the daemon forwards what the device sends unasked.
  void send(const Bytes& message) {
    mqd_t response = -1;
    {
      std::unique_lock lock(mutex_);
      admitted_.wait_for(lock, std::chrono::seconds(5), [&] { return response_ != -1; });
      response = response_;
    }
    const timespec deadline = realtimeDeadline(5000);
    mq_timedsend(response, reinterpret_cast<const char*>(message.data()), message.size(), 0, &deadline);
  }

  void script(Script script) {
    std::lock_guard lock(mutex_);
    script_ = std::move(script);
    scripted_ = 0;
  }

  // The application's requests with this message code, as they arrived.
  std::vector<Bytes> requests(uint8_t code) const {
    std::lock_guard lock(mutex_);
    std::vector<Bytes> found;
    for (const Bytes& request : requests_) {
      if (request[0] == code) found.push_back(request);
    }
    return found;
  }

  // A firmware answer (type 1) to the command frame of a 0x20 request, or an unasked one to the application.
  static Bytes firmwareAnswer(uint8_t command, const Bytes& data) {
    const uint16_t frameLength = static_cast<uint16_t>(QOR_FRAME_HEADER_SIZE + data.size());
    const ServerResponseHeader head{QOR_MSG_FIRMWARE_TRAFFIC, {0, 0, 0},
                                    static_cast<uint32_t>(sizeof(ServerResponseHeader) + frameLength), 0};
    const FirmwareMessageHeader frame{QOR_FRAME_MARKER, QOR_REQUEST_NO_ACKNOWLEDGE, frameLength, 0, 0, 0, 0,
                                      QOR_FRAME_RESPONSE, kApplicationIndex, 0, command};
    Bytes message(head.length);
    memcpy(message.data(), &head, sizeof head);
    memcpy(message.data() + sizeof head, &frame, sizeof frame);
    if (!data.empty()) memcpy(message.data() + sizeof head + sizeof frame, data.data(), data.size());
    return message;
  }

 private:
  Bytes control(const Bytes& request) {
    if (request[0] == QOR_MSG_REFRESH_DRIVER_INFO) return bare(QOR_MSG_REFRESH_DRIVER_INFO);
    if (request[0] != QOR_MSG_CONNECT_PORT || request.size() < sizeof(ConnectPortRequest)) return {};
    ConnectPortRequest connect;
    memcpy(&connect, request.data(), sizeof connect);
    ConnectPortResponse admitted{};
    admitted.header = {QOR_MSG_CONNECT_PORT, {0, 0, 0}, sizeof admitted, 0};
    admitted.portIndex = kPortIndex;
    admitted.applicationIndex = kApplicationIndex;
    if (!createQueues(connect)) admitted.header.error = QOR_ERR_SERVER_CREATE_PIPE;
    Bytes reply(sizeof admitted);
    memcpy(reply.data(), &admitted, sizeof admitted);
    return reply;
  }

  bool createQueues(const ConnectPortRequest& connect) {
    std::lock_guard lock(mutex_);
    if (response_ != -1) return false; // one application only
    requestName_ = queueName(connect, QOR_APPLICATION_REQUEST_QUEUE);
    responseName_ = queueName(connect, QOR_APPLICATION_RESPONSE_QUEUE);
    mq_attr attributes{};
    attributes.mq_maxmsg = QOR_QUEUE_MAX_MESSAGES;
    attributes.mq_msgsize = connect.queueMessageSize;
    messageSize_ = connect.queueMessageSize;
    mq_unlink(requestName_.c_str());
    mq_unlink(responseName_.c_str());
    request_ = mq_open(requestName_.c_str(), O_CREAT | O_RDONLY, 0600, &attributes);
    response_ = mq_open(responseName_.c_str(), O_CREAT | O_WRONLY, 0600, &attributes);
    if (request_ == -1 || response_ == -1) return false;
    thread_ = std::thread([this] { serve(); });
    admitted_.notify_all();
    return true;
  }

  static std::string queueName(const ConnectPortRequest& connect, const char* kind) {
    char name[128];
    snprintf(name, sizeof name, QOR_APPLICATION_QUEUE_NAME_FORMAT, connect.processId, connect.clientPortId,
             static_cast<unsigned>(kApplicationIndex), kind);
    return name;
  }

  static Bytes bare(uint8_t code) {
    const ServerResponseHeader header{code, {0, 0, 0}, QOR_BARE_REPLY_LENGTH, 0};
    Bytes reply(sizeof header);
    memcpy(reply.data(), &header, sizeof header);
    return reply;
  }

  void serve() {
    Bytes message(messageSize_);
    while (!stop_) {
      const timespec deadline = realtimeDeadline(50);
      const ssize_t received =
          mq_timedreceive(request_, reinterpret_cast<char*>(message.data()), message.size(), nullptr, &deadline);
      if (received <= 0) continue;
      const Bytes request(message.begin(), message.begin() + received);
      if (request[0] == QOR_MSG_DISCONNECT) {
        send(bare(QOR_MSG_DISCONNECT));
        continue;
      }
      for (const Bytes& answer : answer(request)) send(answer);
    }
  }

  std::vector<Bytes> answer(const Bytes& request) {
    constexpr size_t kCommandAt = sizeof(ServerRequestHeader) + offsetof(FirmwareMessageHeader, command);
    constexpr uint8_t kIdentityCommand = 0xFF;
    constexpr size_t kIdentityLength = 40; // a boot loader that is not running, no interfaces
    const bool identity = request[0] == QOR_MSG_FIRMWARE_FRAME && request.size() > kCommandAt &&
                          request[kCommandAt] == kIdentityCommand;
    if (identity) {
      return {firmwareAnswer(kIdentityCommand, Bytes(kIdentityLength, 0))};
    }
    Script script;
    size_t index = 0;
    {
      std::lock_guard lock(mutex_);
      requests_.push_back(request);
      script = script_;
      index = scripted_++;
    }
    return script ? script(index, request) : std::vector<Bytes>{};
  }

  mutable std::mutex mutex_;
  Script script_;
  size_t scripted_ = 0;
  std::condition_variable admitted_;
  std::string requestName_;
  std::string responseName_;
  mqd_t request_ = -1;
  mqd_t response_ = -1;
  uint32_t messageSize_ = 0;
  std::vector<Bytes> requests_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
  FakeServer server_; // declared last, so gone first: its pair threads use the members above
};

// Opens a port of the host type on the stand-in, without the open's optional steps.
inline uint32_t openPort(uint32_t hostType, uint32_t& port) {
  Qor_InterfaceInfo_t info{};
  info.hostInterfaceType = hostType;
  info.controllerNumber = 1;
  info.interfaceNumber = 1;
  info.deviceNumber = 4711;
  constexpr uint32_t kSkipOptionalSteps = 7;
  return Qor_OpenInterface2(kSkipOptionalSteps, &info, &port);
}

} // namespace qor::test
