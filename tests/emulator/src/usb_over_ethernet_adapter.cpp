#include "qor_emulator/usb_over_ethernet_adapter.hpp"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <stdexcept>

#include "qor_usb_emulator_link.hpp"
#include "socket_support.hpp"

namespace qor::emulator {

namespace link = usb::link;

namespace {

constexpr auto kSendBound = std::chrono::milliseconds(2000);
constexpr uint32_t kEnumerating = 2;

// Fills bytes from a non-blocking socket; false when the peer closed, the link failed or stop was raised.
bool receiveAll(int fd, uint8_t* bytes, size_t length, const Wakeup& stop) {
  while (length > 0) {
    const ssize_t got = recv(fd, bytes, length, 0);
    if (got > 0) {
      bytes += got;
      length -= static_cast<size_t>(got);
      continue;
    }
    if (got == 0 || (errno != EAGAIN && errno != EINTR)) return false;
    pollfd polled[2] = {{fd, POLLIN, 0}, {stop.fd(), POLLIN, 0}};
    if (poll(polled, 2, kPollBoundMs) < 0 && errno != EINTR) return false;
    if (polled[1].revents != 0) return false;
  }
  return true;
}

std::vector<uint8_t> statusReply(uint32_t status) {
  const link::Reply reply{0, status, 0, 0};
  std::vector<uint8_t> bytes(sizeof reply);
  memcpy(bytes.data(), &reply, sizeof reply);
  return bytes;
}

}  // namespace

UsbOverEthernetAdapter::UsbOverEthernetAdapter(uint32_t serialNumber, const std::string& address, uint16_t usbPort)
    : firmware_(DeviceConfig{.serialNumber = serialNumber, .hostType = kUsbOverEthernetHostType}),
      network_(firmware_, address, 0),
      devices_(""),
      address_(address),
      usbPort_(usbPort),
      stop_(std::make_unique<Wakeup>()) {
  loopbackAddress(address);  // refuses any other address before anything runs
}

UsbOverEthernetAdapter::~UsbOverEthernetAdapter() { stop(); }

void UsbOverEthernetAdapter::setEnumeration(uint32_t busyAnswers, uint32_t finalStatus) {
  std::lock_guard lock(mutex_);
  busyAnswers_ = busyAnswers;
  finalStatus_ = finalStatus;
}

void UsbOverEthernetAdapter::start() {
  if (listener_.joinable()) return;
  network_.start();
  UniqueFd fd = listenOnLoopback(address_, usbPort_);
  stop_->clear();
  listenFd_ = fd.release();
  listener_ = std::thread([this] { acceptLoop(); });
}

void UsbOverEthernetAdapter::stop() {
  if (listener_.joinable()) {
    stop_->raise();
    listener_.join();
    UniqueFd closed(listenFd_);
    listenFd_ = -1;
    std::vector<Connection> connections;
    {
      std::lock_guard lock(mutex_);
      connections.swap(connections_);
    }
    for (auto& connection : connections) connection.thread.join();
  }
  network_.stop();
}

void UsbOverEthernetAdapter::announce() const {
  mkdir("/etc/uoe_QorUSB_Platform", 0755);
  std::ofstream settings(link::kAdapterSettingsPath, std::ios::trunc);
  settings << link::kAdapterPortKey << usbPort_ << "\n";
  if (!settings.flush()) throw std::runtime_error("cannot write the stand-in's settings");
}

size_t UsbOverEthernetAdapter::acceptedConnections() const {
  std::lock_guard lock(mutex_);
  return accepted_;
}

size_t UsbOverEthernetAdapter::openConnections() const {
  std::lock_guard lock(mutex_);
  size_t open = 0;
  for (const auto& connection : connections_) open += *connection.done ? 0 : 1;
  return open;
}

void UsbOverEthernetAdapter::acceptLoop() {
  while (!stop_->raised()) {
    pollfd polled[2] = {{listenFd_, POLLIN, 0}, {stop_->fd(), POLLIN, 0}};
    if (poll(polled, 2, kPollBoundMs) <= 0 || polled[1].revents != 0) continue;
    const int fd = accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (fd < 0) continue;
    std::lock_guard lock(mutex_);
    reapConnections();
    ++accepted_;
    auto done = std::make_shared<std::atomic<bool>>(false);
    connections_.push_back({std::thread([this, fd, done] {
                              serve(fd);
                              *done = true;
                            }),
                            done});
  }
}

void UsbOverEthernetAdapter::reapConnections() {
  for (auto connection = connections_.begin(); connection != connections_.end();) {
    if (!*connection->done) {
      ++connection;
      continue;
    }
    connection->thread.join();
    connection = connections_.erase(connection);
  }
}

uint32_t UsbOverEthernetAdapter::enumerationStatus(uint32_t& asked) const {
  std::lock_guard lock(mutex_);
  return asked++ < busyAnswers_ ? kEnumerating : finalStatus_;
}

void UsbOverEthernetAdapter::serve(int fd) {
  UniqueFd owned(fd);
  const int on = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  uint32_t statusAsked = 0;
  for (;;) {
    std::vector<uint8_t> request(sizeof(link::Request));
    if (!receiveAll(fd, request.data(), request.size(), *stop_)) return;
    link::Request head;
    memcpy(&head, request.data(), sizeof head);
    if (head.length > link::kMaxData) return;  // out of step: the stand-in reconnects
    request.resize(sizeof head + head.length);
    if (!receiveAll(fd, request.data() + sizeof head, head.length, *stop_)) return;
    const std::vector<uint8_t> reply = head.operation == static_cast<uint32_t>(link::Operation::EnumerationStatus)
                                           ? statusReply(enumerationStatus(statusAsked))
                                           : devices_.answer(request);
    if (!sendAll(fd, reply, kSendBound, *stop_)) return;
  }
}

}  // namespace qor::emulator
