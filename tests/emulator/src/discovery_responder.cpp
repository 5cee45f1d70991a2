#include "qor_emulator/discovery_responder.hpp"

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "socket_support.hpp"

namespace qor::emulator {
namespace {

// Longer than the request, so that a longer datagram never matches it.
constexpr size_t kReceiveSize = 2048;

// Sends from `from`, a local loopback address, whatever address the socket is bound to.
void sendFrom(int fd, uint32_t from, const sockaddr_in& to, const std::string& text) {
  iovec data{const_cast<char*>(text.data()), text.size()};
  alignas(cmsghdr) char control[CMSG_SPACE(sizeof(in_pktinfo))] = {};
  msghdr message{};
  message.msg_name = const_cast<sockaddr_in*>(&to);
  message.msg_namelen = sizeof to;
  message.msg_iov = &data;
  message.msg_iovlen = 1;
  message.msg_control = control;
  message.msg_controllen = sizeof control;
  cmsghdr* header = CMSG_FIRSTHDR(&message);
  header->cmsg_level = IPPROTO_IP;
  header->cmsg_type = IP_PKTINFO;
  header->cmsg_len = CMSG_LEN(sizeof(in_pktinfo));
  in_pktinfo info{};
  info.ipi_spec_dst.s_addr = from;
  std::memcpy(CMSG_DATA(header), &info, sizeof info);
  sendmsg(fd, &message, MSG_DONTWAIT | MSG_NOSIGNAL);  // a lost answer is what UDP allows
}

}  // namespace

std::string discoveryAnswer(const Device& device, uint16_t tcpPort) {
  const DeviceConfig& config = device.config();
  char keys[160];
  std::snprintf(keys, sizeof keys, "\nport=%u\nmac=%08x\nserial=%u\ntarget=%u\nsubNetMask=%08x\ndefaultGateway=%08x\n",
                static_cast<unsigned>(tcpPort), config.mac, config.serialNumber, device.identity().deviceCode,
                config.netmask, config.gateway);
  return std::string(kDiscoveryResponse) + keys;
}

DiscoveryResponder::DiscoveryResponder() : stop_(std::make_unique<Wakeup>()) {}

DiscoveryResponder::~DiscoveryResponder() { stop(); }

void DiscoveryResponder::add(const TcpFrontEnd& device) {
  add(device.address(), discoveryAnswer(device.device(), device.port()));
}

void DiscoveryResponder::add(const std::string& address, std::string answer) {
  const in_addr from = loopbackAddress(address);
  std::lock_guard lock(mutex_);
  answerers_.push_back(Answerer{from.s_addr, std::move(answer)});
}

void DiscoveryResponder::start() {
  std::lock_guard control(controlMutex_);
  if (thread_.joinable()) return;
  UniqueFd fd(socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
  if (fd.get() < 0) throwSystemError("socket");
  const int on = 1;
  if (setsockopt(fd.get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0) throwSystemError("SO_REUSEADDR");
  // Tells to which address a request went: one device's own, or a broadcast for all.
  if (setsockopt(fd.get(), IPPROTO_IP, IP_PKTINFO, &on, sizeof on) != 0) throwSystemError("IP_PKTINFO");
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_addr.s_addr = htonl(INADDR_ANY);
  local.sin_port = htons(kDiscoveryPort);
  if (bind(fd.get(), reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
    throwSystemError("bind 0.0.0.0:" + std::to_string(kDiscoveryPort));
  }
  stop_->clear();
  fd_ = fd.release();
  thread_ = std::thread(&DiscoveryResponder::serve, this);
}

void DiscoveryResponder::stop() {
  std::lock_guard control(controlMutex_);
  if (!thread_.joinable()) return;
  stop_->raise();
  thread_.join();
  UniqueFd closed(fd_);
  fd_ = -1;
}

size_t DiscoveryResponder::requestsReceived() const {
  std::lock_guard lock(mutex_);
  return requests_;
}

void DiscoveryResponder::serve() {
  std::vector<uint8_t> buffer(kReceiveSize);
  for (;;) {
    pollfd polled[2] = {{fd_, POLLIN, 0}, {stop_->fd(), POLLIN, 0}};
    const int ready = poll(polled, 2, kPollBoundMs);
    if (ready < 0 && errno != EINTR) return;
    if (polled[1].revents != 0) return;
    if (ready <= 0) continue;

    sockaddr_in source{};
    iovec data{buffer.data(), buffer.size()};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(in_pktinfo))];
    msghdr message{};
    message.msg_name = &source;
    message.msg_namelen = sizeof source;
    message.msg_iov = &data;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    const ssize_t received = recvmsg(fd_, &message, MSG_DONTWAIT);
    if (received < 0 || (message.msg_flags & MSG_TRUNC) != 0 || message.msg_namelen != sizeof source) continue;

    uint32_t destination = 0;
    for (cmsghdr* header = CMSG_FIRSTHDR(&message); header != nullptr; header = CMSG_NXTHDR(&message, header)) {
      if (header->cmsg_level == IPPROTO_IP && header->cmsg_type == IP_PKTINFO) {
        in_pktinfo info{};
        std::memcpy(&info, CMSG_DATA(header), sizeof info);
        destination = info.ipi_addr.s_addr;
      }
    }
    const std::string_view request(reinterpret_cast<const char*>(buffer.data()), static_cast<size_t>(received));
    if (request != kDiscoveryRequest || !isLoopback(source.sin_addr)) continue;
    for (const auto& answerer : answerersFor(destination)) sendFrom(fd_, answerer.address, source, answerer.answer);
  }
}

std::vector<DiscoveryResponder::Answerer> DiscoveryResponder::answerersFor(uint32_t destination) {
  std::lock_guard lock(mutex_);
  ++requests_;
  const bool toOne = std::any_of(answerers_.begin(), answerers_.end(),
                                 [&](const Answerer& answerer) { return answerer.address == destination; });
  std::vector<Answerer> answering;
  for (const auto& answerer : answerers_) {
    if (!toOne || answerer.address == destination) answering.push_back(answerer);
  }
  return answering;
}

}  // namespace qor::emulator
