#include "in_process_daemon.hpp"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <stdexcept>

namespace qor::test {
namespace {

constexpr std::chrono::milliseconds kStartWait{5000};
constexpr int kChildAnswerWaitMs = 15000;

bool readAll(int fd, void* data, size_t size) {
  auto* bytes = static_cast<uint8_t*>(data);
  while (size > 0) {
    const ssize_t n = read(fd, bytes, size);
    if (n <= 0) return false;
    bytes += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

bool writeAll(int fd, const void* data, size_t size) {
  const auto* bytes = static_cast<const uint8_t*>(data);
  while (size > 0) {
    const ssize_t n = write(fd, bytes, size);
    if (n <= 0) return false;
    bytes += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

bool writeMessage(int fd, const Message& message) {
  const auto size = static_cast<uint32_t>(message.size());
  return writeAll(fd, &size, sizeof size) && writeAll(fd, message.data(), message.size());
}

bool readMessage(int fd, Message& message) {
  uint32_t size = 0;
  if (!readAll(fd, &size, sizeof size)) return false;
  message.resize(size);
  return readAll(fd, message.data(), size);
}

// The child's side: one application per client port id, kept until the child ends.
int serveCommands(int commands, int results) {
  std::map<uint32_t, std::unique_ptr<Application>> applications;
  for (;;) {
    char what = 0;
    uint32_t argument = 0;
    Message payload;
    if (!readAll(commands, &what, 1) || !readAll(commands, &argument, sizeof argument) ||
        !readMessage(commands, payload)) {
      return 0;
    }
    Message result;
    if (what == 'c' && payload.size() == sizeof(Qor_InterfaceInfo_t)) {
      Qor_InterfaceInfo_t info;
      std::memcpy(&info, payload.data(), sizeof info);
      ConnectPortResponse answer{};
      applications[argument] = Application::connect(info, answer, 4108, argument);
      const auto* bytes = reinterpret_cast<const uint8_t*>(&answer);
      result.assign(bytes, bytes + sizeof answer);
    } else if (what == 'r' && applications[argument]) {
      result = applications[argument]->request(payload).value_or(Message{});
    }
    if (!writeMessage(results, result)) return 0;
  }
}

} // namespace

InProcessDaemon::InProcessDaemon(std::initializer_list<daemon::PathKind> kinds,
                                 const daemon::Device::Properties& properties)
    : server_(std::make_unique<daemon::Server>(daemon::ServerOptions{})) {
  for (daemon::PathKind kind : kinds) {
    auto path = std::make_unique<FakePath>();
    path->properties = properties;
    paths_[kind] = path.get();
    server_->deviceAccess().install(kind, std::move(path));
  }
  serve();
}

InProcessDaemon::InProcessDaemon(daemon::PathKind kind, std::unique_ptr<daemon::AccessPath> path)
    : server_(std::make_unique<daemon::Server>(daemon::ServerOptions{})) {
  server_->deviceAccess().install(kind, std::move(path));
  serve();
}

void InProcessDaemon::serve() {
  server_->start();
  acceptLoop_ = std::thread([this] { server_->waitForClients(); });
  const auto deadline = std::chrono::steady_clock::now() + kStartWait;
  while (std::chrono::steady_clock::now() < deadline) {
    const mqd_t queue = mq_open(QOR_SERVER_QUEUE_NAME, O_WRONLY);
    if (queue != -1) {
      mq_close(queue);
      return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  stop();
  throw std::runtime_error("the daemon did not create " QOR_SERVER_QUEUE_NAME);
}

InProcessDaemon::~InProcessDaemon() { stop(); }

void InProcessDaemon::stop() {
  server_->stop();
  if (acceptLoop_.joinable()) acceptLoop_.join();
}

ChildClient::ChildClient(std::optional<uid_t> user) {
  int commands[2];
  int results[2];
  if (pipe2(commands, O_CLOEXEC) != 0 || pipe2(results, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
  process_ = std::make_unique<ChildProcess>([&] {
    close(commands[1]);
    close(results[0]);
    if (user && (setgid(*user) != 0 || setuid(*user) != 0)) return 1;
    return serveCommands(commands[0], results[1]);
  });
  close(commands[0]);
  close(results[1]);
  commands_ = commands[1];
  results_ = results[0];
}

ChildClient::~ChildClient() {
  close(commands_);
  close(results_);
}

std::optional<Message> ChildClient::command(char what, uint32_t argument, const Message& payload) {
  if (!writeAll(commands_, &what, 1) || !writeAll(commands_, &argument, sizeof argument) ||
      !writeMessage(commands_, payload)) {
    return std::nullopt;
  }
  pollfd answer{results_, POLLIN, 0};
  Message result;
  if (poll(&answer, 1, kChildAnswerWaitMs) != 1 || !readMessage(results_, result) || result.empty()) {
    return std::nullopt;
  }
  return result;
}

std::optional<ConnectPortResponse> ChildClient::connect(const Qor_InterfaceInfo_t& info, uint32_t clientPortId) {
  const auto* bytes = reinterpret_cast<const uint8_t*>(&info);
  const auto result = command('c', clientPortId, Message(bytes, bytes + sizeof info));
  if (!result || result->size() != sizeof(ConnectPortResponse)) return std::nullopt;
  ConnectPortResponse answer;
  std::memcpy(&answer, result->data(), sizeof answer);
  return answer;
}

std::optional<Message> ChildClient::request(const Message& message, uint32_t clientPortId) {
  return command('r', clientPortId, message);
}

} // namespace qor::test
