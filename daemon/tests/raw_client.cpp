#include "raw_client.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "qor_shared/deadline.hpp"
#include "qor_shared/protocol.hpp"

namespace qor::test {
namespace {

template <class Record>
Message bytesOf(const Record& record) {
  const auto* bytes = reinterpret_cast<const uint8_t*>(&record);
  return Message(bytes, bytes + sizeof record);
}

mqd_t createQueue(const std::string& name, long messageSize, int access) {
  mq_unlink(name.c_str());
  mq_attr attributes{};
  attributes.mq_maxmsg = QOR_QUEUE_MAX_MESSAGES;
  attributes.mq_msgsize = messageSize;
  return mq_open(name.c_str(), O_CREAT | O_EXCL | access, 0600, &attributes);
}

} // namespace

std::optional<Message> receiveFrom(mqd_t queue, milliseconds timeout) {
  mq_attr attributes{};
  if (mq_getattr(queue, &attributes) != 0) return std::nullopt;
  Message message(static_cast<size_t>(attributes.mq_msgsize));
  const timespec deadline = realtimeDeadline(static_cast<uint64_t>(timeout.count()));
  ssize_t received;
  do {
    received = mq_timedreceive(queue, reinterpret_cast<char*>(message.data()), message.size(), nullptr, &deadline);
  } while (received < 0 && errno == EINTR);
  if (received < 0) return std::nullopt;
  message.resize(static_cast<size_t>(received));
  return message;
}

bool sendTo(mqd_t queue, std::span<const uint8_t> message, milliseconds timeout) {
  const timespec deadline = realtimeDeadline(static_cast<uint64_t>(timeout.count()));
  return mq_timedsend(queue, reinterpret_cast<const char*>(message.data()), message.size(), 0, &deadline) == 0;
}

Message bareRequest(uint8_t code, uint8_t port, uint8_t application) {
  return bytesOf(ServerRequestHeader{code, port, application, 0, QOR_BARE_REQUEST_LENGTH});
}

Message valueRequest(uint8_t code, uint32_t value) {
  return bytesOf(ControlValueRequest{{code, 0, 0, 0, sizeof(ControlValueRequest)}, value});
}

Message driverInfoRequest(uint32_t hostType, uint32_t capacity) {
  DriverInfoRequest request{};
  request.header = ServerRequestHeader{QOR_MSG_DRIVER_INFO, 0, 0, 0, QOR_DRIVER_INFO_REQUEST_LENGTH};
  request.hostInterfaceType = hostType;
  request.capacity = capacity;
  const auto* bytes = reinterpret_cast<const uint8_t*>(&request);
  return Message(bytes, bytes + QOR_DRIVER_INFO_REQUEST_LENGTH);
}

Message connectRequest(const Qor_InterfaceInfo_t& info, uint32_t pid, uint32_t clientPortId,
                       uint32_t queueMessageSize) {
  ConnectPortRequest request{};
  request.header = ServerRequestHeader{QOR_MSG_CONNECT_PORT, 0, 0, 0, sizeof request};
  request.info = info;
  request.processId = pid;
  request.clientPortId = clientPortId;
  request.maxParameterLength = queueMessageSize - 24;
  request.queueMessageSize = queueMessageSize;
  return bytesOf(request);
}

Message frameRequest(uint8_t application, uint8_t command, std::span<const uint8_t> parameters, uint8_t marker) {
  FirmwareMessageHeader header = protocol::commandHeader(QOR_REQUEST_NO_ACKNOWLEDGE, 1, 1, application, 0, command,
                                                         static_cast<uint16_t>(parameters.size()));
  header.marker = marker;
  Message frame = bytesOf(header);
  frame.insert(frame.end(), parameters.begin(), parameters.end());
  Message message(sizeof(ServerRequestHeader) + frame.size());
  protocol::encodeFirmwareFrameMessage(message, 0, application, frame);
  return message;
}

Message deviceFrame(uint8_t application, uint8_t command, std::span<const uint8_t> data) {
  FirmwareMessageHeader header = protocol::commandHeader(QOR_REQUEST_NO_ACKNOWLEDGE, 1, 1, application, 0, command,
                                                         static_cast<uint16_t>(data.size()));
  header.type = QOR_FRAME_RESPONSE;
  Message frame = bytesOf(header);
  frame.insert(frame.end(), data.begin(), data.end());
  return frame;
}

ServerResponseHeader headerOf(const Message& message) {
  ServerResponseHeader header{};
  std::memcpy(&header, message.data(), std::min(message.size(), sizeof header));
  return header;
}

std::string reportText(const Message& message) {
  if (message.size() <= sizeof(ServerResponseHeader)) return {};
  const auto* text = reinterpret_cast<const char*>(message.data() + sizeof(ServerResponseHeader));
  return std::string(text, strnlen(text, message.size() - sizeof(ServerResponseHeader)));
}

Qor_InterfaceInfo_t descriptor(uint32_t hostType, uint8_t controller, uint8_t interfaceNumber, uint32_t deviceNumber,
                               uint16_t flags, uint32_t address) {
  Qor_InterfaceInfo_t info{};
  info.hostInterfaceType = hostType;
  info.controllerNumber = controller;
  info.interfaceNumber = interfaceNumber;
  info.deviceNumber = deviceNumber;
  info.flags = flags;
  if (address != 0) {
    info.flags |= QOR_INTERFACE_FLAG_BINARY_IPV4;
    std::memcpy(info.ipAddress, &address, sizeof address);
  }
  return info;
}

std::unique_ptr<Pair> Pair::create(const std::string& baseName, long replyMessageSize) {
  auto pair = std::unique_ptr<Pair>(new Pair);
  pair->baseName_ = baseName;
  pair->reader_ = createQueue(baseName + QOR_PRIVATE_PAIR_READ_SUFFIX, replyMessageSize, O_RDONLY);
  pair->writer_ = createQueue(baseName + QOR_PRIVATE_PAIR_WRITE_SUFFIX, QOR_PRIVATE_PAIR_MESSAGE_SIZE, O_WRONLY);
  if (pair->reader_ == -1 || pair->writer_ == -1) return nullptr;
  return pair;
}

std::unique_ptr<Pair> Pair::announce(const std::string& baseName, milliseconds timeout, long replyMessageSize) {
  auto pair = create(baseName, replyMessageSize);
  const mqd_t server = mq_open(QOR_SERVER_QUEUE_NAME, O_WRONLY);
  if (!pair || server == -1) return nullptr;
  Message announcement(QOR_SERVER_QUEUE_MESSAGE_SIZE);
  announcement.resize(protocol::encodeClientConnect(announcement, baseName));
  const bool sent = sendTo(server, announcement);
  mq_close(server);
  const auto answer = sent ? pair->receive(timeout) : std::nullopt;
  if (!answer || answer->size() != sizeof(ClientConnectReply) || (*answer)[0] != QOR_MSG_CLIENT_CONNECT) return nullptr;
  return pair;
}

Pair::~Pair() {
  if (reader_ != -1) mq_close(reader_);
  if (writer_ != -1) mq_close(writer_);
  mq_unlink((baseName_ + QOR_PRIVATE_PAIR_READ_SUFFIX).c_str());
  mq_unlink((baseName_ + QOR_PRIVATE_PAIR_WRITE_SUFFIX).c_str());
}

bool Pair::send(std::span<const uint8_t> message) { return sendTo(writer_, message); }

std::optional<Message> Pair::receive(milliseconds timeout) { return receiveFrom(reader_, timeout); }

std::optional<Message> Pair::request(std::span<const uint8_t> message, milliseconds timeout) {
  if (!send(message)) return std::nullopt;
  return receive(timeout);
}

std::string controlPairName() {
  char name[64];
  snprintf(name, sizeof name, QOR_CONTROL_PAIR_NAME_FORMAT, QOR_SERVER_QUEUE_NAME, static_cast<int>(getpid()));
  return name;
}

std::unique_ptr<Application> Application::connect(const Qor_InterfaceInfo_t& info, ConnectPortResponse& answer,
                                                  uint32_t queueMessageSize, uint32_t clientPortId) {
  answer = ConnectPortResponse{};
  char baseName[96];
  snprintf(baseName, sizeof baseName, QOR_OPEN_PAIR_NAME_FORMAT, QOR_SERVER_QUEUE_NAME, static_cast<int>(getpid()),
           info.controllerNumber, info.interfaceNumber, info.deviceNumber);
  auto pair = Pair::announce(baseName);
  if (!pair) return nullptr;
  const auto reply = pair->request(connectRequest(info, static_cast<uint32_t>(getpid()), clientPortId, queueMessageSize));
  if (!reply || reply->size() != sizeof answer) return nullptr;
  std::memcpy(&answer, reply->data(), sizeof answer);
  pair->send(bytesOf(CloseClientConnectionRequest{{QOR_MSG_CLOSE_CLIENT_CONNECTION, 0, 0, 0, 12},
                                                  static_cast<uint32_t>(getpid())}));
  if (answer.header.error != 0) return nullptr;
  auto app = std::unique_ptr<Application>(new Application);
  app->answer_ = answer;
  char name[96];
  snprintf(name, sizeof name, QOR_APPLICATION_QUEUE_NAME_FORMAT, static_cast<unsigned>(getpid()), clientPortId,
           static_cast<unsigned>(answer.applicationIndex), QOR_APPLICATION_REQUEST_QUEUE);
  app->request_ = mq_open(name, O_WRONLY);
  snprintf(name, sizeof name, QOR_APPLICATION_QUEUE_NAME_FORMAT, static_cast<unsigned>(getpid()), clientPortId,
           static_cast<unsigned>(answer.applicationIndex), QOR_APPLICATION_RESPONSE_QUEUE);
  app->response_ = mq_open(name, O_RDONLY);
  if (app->request_ == -1 || app->response_ == -1) return nullptr;
  return app;
}

Application::~Application() {
  if (request_ != -1) mq_close(request_);
  if (response_ != -1) mq_close(response_);
}

bool Application::send(std::span<const uint8_t> message) { return sendTo(request_, message); }

std::optional<Message> Application::receive(milliseconds timeout) { return receiveFrom(response_, timeout); }

std::optional<Message> Application::request(std::span<const uint8_t> message, milliseconds timeout) {
  if (!send(message)) return std::nullopt;
  return receive(timeout);
}

} // namespace qor::test
