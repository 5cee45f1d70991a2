#include "emulator_link.hpp"

#include <sys/socket.h>
#include <sys/time.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <fstream>

#include "qor_usb_platform.h"

namespace qor::usb {
namespace {

// Beyond the call's own wait: the emulator answers at once otherwise.
constexpr uint32_t kAnswerMarginMs = 2000;

class Connection {
public:
  explicit Connection(const std::string& path) : fd_(socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0)) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (fd_ < 0 || path.size() >= sizeof address.sun_path) return;
    memcpy(address.sun_path, path.c_str(), path.size() + 1);
    if (connect(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) connected_ = true;
  }
  ~Connection() {
    if (fd_ >= 0) close(fd_);
  }
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  bool connected() const { return connected_; }
  int fd() const { return fd_; }

private:
  int fd_;
  bool connected_ = false;
};

bool setReceiveBound(int fd, uint32_t milliseconds) {
  const timeval bound{static_cast<time_t>(milliseconds / 1000), static_cast<suseconds_t>(milliseconds % 1000) * 1000};
  return setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &bound, sizeof bound) == 0;
}

LinkAnswer unreachable() { return LinkAnswer{QOR_USB_NO_DEVICE, 0, {}}; }

} // namespace

std::optional<std::string> emulatorSocket() {
  std::ifstream settings(link::kSettingsPath);
  std::string line;
  const std::string key = link::kSocketKey;
  while (std::getline(settings, line)) {
    if (line.compare(0, key.size(), key) == 0 && line.size() > key.size()) return line.substr(key.size());
  }
  return std::nullopt;
}

LinkAnswer callEmulator(const std::string& socket, const LinkCall& call) try {
  if (call.data.size() > link::kMaxData) return LinkAnswer{QOR_USB_INVALID_LENGTH, 0, {}};
  Connection connection(socket);
  const uint32_t waitMs = std::min(call.timeoutMs, link::kMaxWaitMs);
  if (!connection.connected() || !setReceiveBound(connection.fd(), waitMs + kAnswerMarginMs)) return unreachable();

  const link::Request request{static_cast<uint32_t>(call.operation), call.deviceType, call.index, call.argument,
                              waitMs, static_cast<uint32_t>(call.data.size())};
  iovec parts[2] = {{const_cast<link::Request*>(&request), sizeof request},
                    {const_cast<uint8_t*>(call.data.data()), call.data.size()}};
  msghdr message{};
  message.msg_iov = parts;
  message.msg_iovlen = 2;
  if (sendmsg(connection.fd(), &message, MSG_NOSIGNAL) != static_cast<ssize_t>(sizeof request + call.data.size())) {
    return unreachable();
  }

  std::vector<uint8_t> received(sizeof(link::Reply) + link::kMaxData);
  const ssize_t length = recv(connection.fd(), received.data(), received.size(), 0);
  if (length < static_cast<ssize_t>(sizeof(link::Reply))) return unreachable();
  link::Reply reply;
  memcpy(&reply, received.data(), sizeof reply);
  if (reply.length != static_cast<size_t>(length) - sizeof reply) return unreachable();
  LinkAnswer answer{reply.code, reply.value, {}};
  answer.data.assign(received.begin() + sizeof reply, received.begin() + length);
  return answer;
} catch (...) {
  return LinkAnswer{QOR_USB_UNDEFINED_ERROR, 0, {}};
}

uint32_t fillDeviceList(const LinkAnswer& answer, void* buffer, uint32_t size, uint32_t version) {
  if (answer.code != 0) return answer.code;
  memset(buffer, 0, size);
  // The count is the emulator's; the entries are as many as the buffer holds.
  const QorUSB_DriverInfo_Header_t header{version, 0, answer.value, 0};
  memcpy(buffer, &header, sizeof header);
  const size_t room = (size - sizeof header) / sizeof(QorUSB_DriverInfo_Entry_t) * sizeof(QorUSB_DriverInfo_Entry_t);
  std::copy_n(answer.data.begin(), std::min(room, answer.data.size()), static_cast<uint8_t*>(buffer) + sizeof header);
  return answer.value == 0 ? QOR_USB_NO_DEVICE : 0;
}

} // namespace qor::usb
