#include "qor_emulator/tcp_front_end.hpp"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>

#include <cerrno>

#include "socket_support.hpp"
#include "tcp_connection.hpp"

namespace qor::emulator {
namespace {

// After an accept failure such as a full descriptor table, so that the loop does not spin.
constexpr std::chrono::milliseconds kAcceptRetry{10};

}  // namespace

TcpFrontEnd::TcpFrontEnd(Device& device, const std::string& address, uint16_t port)
    : device_(device),
      address_(address),
      port_(port),
      stopConnections_(std::make_shared<Wakeup>()),
      stopListening_(std::make_unique<Wakeup>()) {
  loopbackAddress(address_);  // refuses anything beyond loopback before a socket is made
}

TcpFrontEnd::~TcpFrontEnd() { stop(); }

void TcpFrontEnd::start() {
  std::lock_guard control(controlMutex_);
  if (running_) return;
  stopConnections_->clear();
  if (!refusing_) startListener();
  running_ = true;
}

void TcpFrontEnd::stop() {
  std::lock_guard control(controlMutex_);
  if (!running_) return;
  stopListener();
  stopConnections_->raise();
  std::vector<std::shared_ptr<TcpConnection>> connections;
  {
    std::lock_guard lock(mutex_);
    connections.swap(connections_);
  }
  for (const auto& connection : connections) {
    connection->cut();
    connection->join();
  }
  running_ = false;
}

void TcpFrontEnd::refuseConnections(bool refuse) {
  std::lock_guard control(controlMutex_);
  refusing_ = refuse;
  if (!running_) return;
  if (refuse) {
    stopListener();
  } else if (!listener_.joinable()) {
    startListener();
  }
}

void TcpFrontEnd::startListener() {
  UniqueFd fd = listenOnLoopback(address_, port_);

  stopListening_->clear();
  listenFd_ = fd.release();
  listener_ = std::thread(&TcpFrontEnd::acceptLoop, this);
}

void TcpFrontEnd::stopListener() {
  if (!listener_.joinable()) return;
  stopListening_->raise();
  listener_.join();
  UniqueFd closed(listenFd_);
  listenFd_ = -1;
}

void TcpFrontEnd::acceptLoop() {
  for (;;) {
    pollfd polled[2] = {{listenFd_, POLLIN, 0}, {stopListening_->fd(), POLLIN, 0}};
    const int ready = poll(polled, 2, kPollBoundMs);
    if (ready < 0 && errno != EINTR) return;
    if (polled[1].revents != 0) return;
    if (ready <= 0) continue;
    UniqueFd fd(accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK));
    if (fd.get() < 0) {
      if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR && errno != ECONNABORTED &&
          !stopListening_->sleep(kAcceptRetry)) {
        return;
      }
      continue;
    }
    // Answers go out at once, as a device's do.
    const int on = 1;
    setsockopt(fd.get(), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    {
      std::lock_guard lock(mutex_);
      reapFinished();
      auto connection = std::make_shared<TcpConnection>(std::move(fd), ++acceptedCount_, device_, stopConnections_);
      connection->start(blackHole_);
      connections_.push_back(std::move(connection));
    }
    accepted_.notify_all();
  }
}

void TcpFrontEnd::reapFinished() {
  std::erase_if(connections_, [](const std::shared_ptr<TcpConnection>& connection) {
    if (!connection->finished()) return false;
    connection->join();
    return true;
  });
}

void TcpFrontEnd::setBlackHole(bool blackHole) {
  std::lock_guard lock(mutex_);
  blackHole_ = blackHole;
}

void TcpFrontEnd::cutConnections() {
  std::lock_guard lock(mutex_);
  for (const auto& connection : connections_) connection->cut();
}

size_t TcpFrontEnd::acceptedConnections() const {
  std::lock_guard lock(mutex_);
  return acceptedCount_;
}

size_t TcpFrontEnd::openConnections() const {
  std::lock_guard lock(mutex_);
  size_t open = 0;
  for (const auto& connection : connections_) open += connection->isOpen() ? 1 : 0;
  return open;
}

bool TcpFrontEnd::waitForAccepted(size_t count, std::chrono::milliseconds timeout) const {
  std::unique_lock lock(mutex_);
  return accepted_.wait_for(lock, timeout, [&] { return acceptedCount_ >= count; });
}

}  // namespace qor::emulator
