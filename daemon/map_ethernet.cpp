#include "map_ethernet.hpp"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <syslog.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "error_record.hpp"
#include "frame_stream.hpp"
#include "qor_error_codes.h"
#include "qor_helpers.h"
#include "qor_shared/firmware_records.hpp"

namespace qor::daemon {
namespace {

using namespace std::chrono_literals;

// While bytes flow, a receive waits at most this long; a quiet connection is waited on longer, together with the
// wake-up of wakeRead, so that an idle port costs few wake-ups and its hardware thread still stops at once.
constexpr int kReadWaitMs = 100;
constexpr int kQuietWaitMs = 500;
constexpr double kDiscoveryMs = 500;
constexpr double kReconnectMs = 10000;
constexpr double kSerialQueryMs = 1000;
// A frame's body follows its header at once: a frame not whole this long after its first bytes came has lost its
// framing.
constexpr double kBodyWaitMs = 2000;
// A connection given up on is tried again on its next use; a write tries at most once in this time, so that a
// device still away does not hold the port's writes.
constexpr double kRevivalPauseMs = 1000;
// A peer that stops reading must not hold a command forever.
constexpr int kSendTimeoutMs = 5000;
constexpr uint32_t kSerialQueryCapacity = 32768;

std::string errorText() { return strerror(errno); }

// How long a connection attempt may take: message 0x1B sets it; a path not started keeps the default.
uint32_t connectionTimeoutMs(const PathSettings* settings) {
  return settings ? settings->connectionTimeoutMs.load() : PathSettings{}.connectionTimeoutMs.load();
}

bool setBlocking(int fd, bool blocking) {
  const int flags = fcntl(fd, F_GETFL);
  return flags >= 0 && fcntl(fd, F_SETFL, blocking ? flags & ~O_NONBLOCK : flags | O_NONBLOCK) == 0;
}

// Waits until fd is ready for events, at most milliseconds: >0 ready, 0 time-out, <0 failure.
int waitFor(int fd, short events, int milliseconds) {
  pollfd item{fd, events, 0};
  for (;;) {
    const int rc = poll(&item, 1, milliseconds);
    if (rc < 0 && errno == EINTR) continue;
    return rc;
  }
}

// A TCP connection attempt that gives up after milliseconds; the socket is blocking afterwards. -1 on failure,
// with errno set.
int connectWithin(const sockaddr_in& peer, int milliseconds) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  setBlocking(fd, false);
  int rc = connect(fd, reinterpret_cast<const sockaddr*>(&peer), sizeof peer);
  if (rc != 0 && errno == EINPROGRESS) {
    rc = waitFor(fd, POLLOUT, milliseconds) > 0 ? 0 : -1;
    int pending = ETIMEDOUT;
    socklen_t size = sizeof pending;
    if (rc == 0 && (getsockopt(fd, SOL_SOCKET, SO_ERROR, &pending, &size) != 0 || pending != 0)) rc = -1;
    if (rc != 0) errno = pending;
  }
  if (rc != 0) {
    const int saved = errno;
    close(fd);
    errno = saved;
    return -1;
  }
  setBlocking(fd, true);
  const timeval sendTimeout{kSendTimeoutMs / 1000, (kSendTimeoutMs % 1000) * 1000};
  setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &sendTimeout, sizeof sendTimeout);
  // A receive while bytes flow returns within this: a stop, and a pending frame's body, are seen as often.
  const timeval receiveTimeout{0, kReadWaitMs * 1000};
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &receiveTimeout, sizeof receiveTimeout);
  return fd;
}

// One TCP connection to the device, or none (fd -1) once one was given up on. Read and write each hold the one they
// use, so its descriptor is closed only when both have let go: a receive or send still under way never reaches a
// new connection that got the same number. Numbers are reused, serials never: the serial tells connections apart.
struct Connection {
  Connection(int descriptor, uint64_t number) : fd(descriptor), serial(number) {}
  ~Connection() {
    if (fd >= 0) close(fd);
  }
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  const int fd;
  const uint64_t serial;
};

class EthernetDevice final : public Device {
public:
  // Takes fd, the connection, and wake, a non-blocking eventfd.
  EthernetDevice(const sockaddr_in& peer, int fd, int wake, const PathSettings* settings)
      : peer_(peer), settings_(settings), connection_(std::make_shared<const Connection>(fd, 1)), wake_(wake) {}
  ~EthernetDevice() override {
    std::lock_guard lock(socketLock_);
    if (connection_->fd >= 0) shutdown(connection_->fd, SHUT_RDWR);
    close(wake_);
  }

  // Only the reader waits on the eventfd: the socket stays whole for writes and for the port's next reader.
  void wakeRead() override { eventfd_write(wake_, 1); }

  PathStatus write(Bytes frame) override {
    if (PathStatus revived = revive(true); !revived.ok()) return revived;
    const auto used = connectionNow();
    if (sendAll(used->fd, frame)) return {};
    int error = errno;
    // A dropped connection, or one the hardware thread replaced meanwhile, gets the frame once more.
    const bool replaced = used->serial != connectionNow()->serial;
    if (replaced || error == ECONNABORTED || error == ECONNRESET || error == EPIPE) {
      if (PathStatus reconnected = reconnect(used->serial); !reconnected.ok()) return reconnected;
      if (sendAll(connectionNow()->fd, frame)) return {};
      error = errno;
    }
    return pathError(QOR_ERR_ETHERNET_WRITE, "'send' returned with '%d' - %s", error, strerror(error));
  }

  // Frames are taken from what the connection delivered; a receive takes as much as has arrived, so a stream of
  // small frames costs few system calls. A frame too long for the caller is skipped; a stream that lost its framing
  // is dropped with its connection.
  PathStatus read(Buffer frame, uint32_t& length) override {
    length = 0;
    if (PathStatus revived = revive(false); !revived.ok()) return revived;
    for (;;) {
      const auto used = connectionNow();
      // Bytes of a connection that was replaced never join those of the new one.
      if (used->serial != receivedOn_) {
        dropStream();
        receivedOn_ = used->serial;
      }
      switch (stream_.next(frame.size())) {
      case FrameStream::Step::Frame:
        memcpy(frame.data(), stream_.frame().data(), stream_.frame().size());
        length = static_cast<uint32_t>(stream_.frame().size());
        partialSinceMs_ = -1;
        return {};
      case FrameStream::Step::Oversized:
        syslog(LOG_WARNING, "%s : frame of %u bytes for application %u does not fit %zu bytes, skipped\n",
               "Qor_Map_Ethernet_Read", stream_.header().length, stream_.header().App, frame.size());
        continue;
      case FrameStream::Step::Lost:
        return resynchronise(used->serial, "no frame (marker 0x%02x, length %u)", stream_.header().marker,
                             stream_.header().length);
      case FrameStream::Step::Incomplete:
        break;
      }
      const bool inFrame = stream_.inFrame();
      if (!inFrame) {
        partialSinceMs_ = -1;
      } else if (partialSinceMs_ < 0 || timedFrameStart_ != stream_.frameStart()) {
        partialSinceMs_ = GetTickCount();
        timedFrameStart_ = stream_.frameStart();
      }
      const ReceiveResult got = receiveAvailable(used->fd, inFrame);
      // The bytes of a pending frame stay for the next read.
      if (got == ReceiveResult::Woken) return {};
      if (got == ReceiveResult::TimedOut) {
        if (!inFrame) return {};
        if (GetTickCount() - partialSinceMs_ >= kBodyWaitMs) {
          return resynchronise(used->serial, "frame incomplete after %d ms", static_cast<int>(kBodyWaitMs));
        }
        continue;
      }
      if (got == ReceiveResult::Failed) {
        const int error = errno;
        dropStream();
        return pathError(QOR_ERR_ETHERNET_READ, "'recv' returned with '%d' - %s", error, strerror(error));
      }
      if (got == ReceiveResult::Dropped) {
        // A drop between frames, or inside a header, is repaired; one inside a frame's body loses that frame.
        const bool inBody = stream_.inBody();
        dropStream();
        if (inBody) {
          reconnect(used->serial);
          return pathError(QOR_ERR_ETHERNET_READ, "connection closed");
        }
        if (PathStatus reconnected = reconnect(used->serial); !reconnected.ok()) return reconnected;
      }
    }
  }

  // The serial-number query of the open: the first matching answer within a second counts.
  PathStatus querySerialNumber(uint8_t controller, uint8_t interfaceNumber, uint32_t& serial) {
    struct {
      FirmwareMessageHeader header;
      firmware::SerialNumberQuery query;
    } const message{protocol::commandHeader(QOR_REQUEST_NO_ACKNOWLEDGE, controller, interfaceNumber, 0, 0,
                                            firmware::kControllerControlCommand, sizeof(firmware::SerialNumberQuery)),
                    {firmware::kSerialNumberSubFunction}};
    static_assert(sizeof message == QOR_FRAME_HEADER_SIZE + sizeof(firmware::SerialNumberQuery));
    if (PathStatus sent = write(Bytes(reinterpret_cast<const uint8_t*>(&message), sizeof message)); !sent.ok()) {
      return sent;
    }
    std::vector<uint8_t> answer(kSerialQueryCapacity);
    const double start = GetTickCount();
    while (GetTickCount() - start < kSerialQueryMs) {
      uint32_t length = 0;
      if (PathStatus got = read(answer, length); !got.ok()) return got;
      const auto frame = protocol::parseFrame(Bytes(answer.data(), length));
      const auto serialAnswer =
          frame && frame->header.type == QOR_FRAME_RESPONSE && frame->header.command == firmware::kControllerControlCommand
              ? protocol::readRecord<firmware::SerialNumberAnswer>(frame->data)
              : std::nullopt;
      if (serialAnswer && serialAnswer->subFunction == firmware::kSerialNumberSubFunction) {
        serial = serialAnswer->serialNumber;
        return {};
      }
      if (length != 0) std::this_thread::sleep_for(1ms);
    }
    return pathError(QOR_ERR_ETHERNET_READ, "timeout while waiting for response");
  }

private:
  enum class ReceiveResult { Complete, TimedOut, Woken, Dropped, Failed };

  std::shared_ptr<const Connection> connectionNow() {
    std::lock_guard lock(socketLock_);
    return connection_;
  }

  // Puts a new connection, or none (-1), in the place of the one held; needs socketLock_. The one replaced is shut
  // down at once, so that a receive or send still holding it ends, and closed when its last user lets go.
  void replaceConnection(int fd) {
    if (connection_->fd >= 0) shutdown(connection_->fd, SHUT_RDWR);
    connection_ = std::make_shared<const Connection>(fd, connection_->serial + 1);
  }

  void dropStream() {
    stream_.drop();
    partialSinceMs_ = -1;
  }

  // The stream lost its framing: what it holds is dropped with the connection, which starts afresh.
  PathStatus resynchronise(uint64_t failed, const char* format, ...) __attribute__((format(printf, 3, 4))) {
    va_list arguments;
    va_start(arguments, format);
    const std::string reason = formatText(format, arguments);
    va_end(arguments);
    syslog(LOG_WARNING, "%s : %s - stream dropped, reconnecting\n", "Qor_Map_Ethernet_Read", reason.c_str());
    dropStream();
    return reconnect(failed);
  }

  // A connection given up on after a reconnect window is tried again, once within the connection time-out; a write
  // (limited) tries at most once per kRevivalPauseMs.
  PathStatus revive(bool limited) {
    std::lock_guard lock(socketLock_);
    if (connection_->fd >= 0) return {};
    if (limited && GetTickCount() - lastRevivalMs_ < kRevivalPauseMs) {
      return pathError(QOR_ERR_ETHERNET_WRITE, "device not reachable since the connection was closed by target");
    }
    lastRevivalMs_ = GetTickCount();
    const int fd = connectWithin(peer_, static_cast<int>(connectionTimeoutMs(settings_)));
    if (fd >= 0) {
      replaceConnection(fd);
      return {};
    }
    return pathError(QOR_ERR_ETHERNET_READ, "reconnect because connection was closed by target: %s", errorText().c_str());
  }

  static bool sendAll(int fd, Bytes data) {
    size_t sent = 0;
    while (sent < data.size()) {
      const ssize_t n = send(fd, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return false;
      sent += static_cast<size_t>(n);
    }
    return true;
  }

  // Appends what the connection has delivered to the stream buffer. While bytes flow, one blocking receive bounded
  // by the socket's receive time-out: a reply costs one system call. Once a receive found nothing, the socket is
  // polled with the wake-up, between frames for kQuietWaitMs, inside one for kReadWaitMs (a body wait keeps its pace).
  ReceiveResult receiveAvailable(int fd, bool inFrame) {
    // A socket given up on (-1) fails its receive at once.
    if (quiet_ && fd >= 0) {
      pollfd items[] = {{fd, POLLIN, 0}, {wake_, POLLIN, 0}};
      int ready = 0;
      do {
        ready = poll(items, std::size(items), inFrame ? kReadWaitMs : kQuietWaitMs);
      } while (ready < 0 && errno == EINTR);
      if (ready < 0) return ReceiveResult::Failed;
      if (items[1].revents & POLLIN) {
        eventfd_t wakes = 0;
        eventfd_read(wake_, &wakes);
        return ReceiveResult::Woken;
      }
      if (ready == 0) return ReceiveResult::TimedOut;
    }
    const std::span<uint8_t> space = stream_.freeSpace();
    ssize_t n = 0;
    do {
      n = recv(fd, space.data(), space.size(), quiet_ ? MSG_DONTWAIT : 0);
    } while (n < 0 && errno == EINTR);
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      quiet_ = true;
      return ReceiveResult::TimedOut;
    }
    if (n == 0 || (n < 0 && (errno == ECONNABORTED || errno == ECONNRESET))) return ReceiveResult::Dropped;
    if (n < 0) return ReceiveResult::Failed;
    quiet_ = false;
    stream_.received(static_cast<size_t>(n));
    return ReceiveResult::Complete;
  }

  // Replaces the connection that broke (failed is the serial of the one the caller used). Read and write share the
  // connection: when the other one already replaced it, its new connection is used.
  PathStatus reconnect(uint64_t failed) {
    std::lock_guard lock(socketLock_);
    if (connection_->serial != failed) return {};
    replaceConnection(-1);
    const double start = GetTickCount();
    for (;;) {
      if (const int fd = connectWithin(peer_, static_cast<int>(kReconnectMs)); fd >= 0) {
        replaceConnection(fd);
        return {};
      }
      if (GetTickCount() - start > kReconnectMs) {
        lastRevivalMs_ = GetTickCount();
        return pathError(QOR_ERR_ETHERNET_READ, "reconnect because connection was closed by target: %s",
                         errorText().c_str());
      }
      std::this_thread::sleep_for(10ms);
    }
  }

  const sockaddr_in peer_;
  const PathSettings* settings_;
  std::mutex socketLock_;
  std::shared_ptr<const Connection> connection_; // under socketLock_; never null
  const int wake_; // eventfd: wakeRead ends the reader's wait on a quiet connection
  double lastRevivalMs_ = 0; // under socketLock_: the last attempt after a connection was given up on
  FrameStream stream_; // as the hardware thread read it
  double partialSinceMs_ = -1; // tick when the pending frame began arriving, -1 between frames
  uint64_t timedFrameStart_ = 0; // the stream position of the frame partialSinceMs_ times
  uint64_t receivedOn_ = 0; // the serial of the connection stream_ holds bytes of; serials start at 1
  bool quiet_ = true; // the last receive found nothing: the next one waits in poll, where wakeRead reaches it
};

PathStatus probe(const sockaddr_in& peer, uint32_t timeoutMs) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return pathError(QOR_ERR_ETHERNET_INIT_FAILED, "'socket' returned with '%d' - %s", errno, strerror(errno));
  const int on = 1;
  if (setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on) != 0) {
    close(fd);
    return pathError(QOR_ERR_ETHERNET_INIT_FAILED, "setsockopt() for disabling nagle algorithm failed");
  }
  setBlocking(fd, false);
  PathStatus status;
  if (connect(fd, reinterpret_cast<const sockaddr*>(&peer), sizeof peer) != 0) {
    if (errno != EINPROGRESS) {
      status = pathError(QOR_ERR_ETHERNET_INIT_FAILED, "connect() failed, last error code = %u - %s", errno, strerror(errno));
    } else {
      const int ready = waitFor(fd, POLLOUT, static_cast<int>(timeoutMs));
      int pending = 0;
      socklen_t size = sizeof pending;
      if (ready == 0) {
        status = pathError(QOR_ERR_ETHERNET_INIT_FAILED, "timeout while connecting");
      } else if (ready < 0) {
        status = pathError(QOR_ERR_ETHERNET_INIT_FAILED, "select() failed, last error code = %u - %s", errno,
                           strerror(errno));
      } else if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &pending, &size) != 0 || pending != 0) {
        status = pathError(QOR_ERR_SERVER_DEVICE_NOT_CONNECTED, "connection attempt failed, socket error = %u - %s",
                           static_cast<unsigned>(pending), strerror(pending));
      }
    }
  }
  close(fd);
  return status;
}

// The answer of one device to the discovery request, as the 0x17 reply lists it.
bool parseDiscoveryAnswer(char* text, uint32_t sender, EthernetDeviceRecord& record) {
  if (strstr(text, QOR_DISCOVERY_RESPONSE) == nullptr) return false;
  record = EthernetDeviceRecord{};
  const auto scan = [&](const char* key, const char* format, auto* value) {
    if (const char* at = strstr(text, key)) sscanf(at + strlen(key), format, value);
  };
  uint32_t target = 0, netmask = 0, gateway = 0;
  bool targetGiven = strstr(text, "target=") != nullptr;
  scan("port=", "%hu", &record.tcpPort);
  scan("mac=", "%08x", &record.mac);
  scan("serial=", "%u", &record.serialNumber);
  scan("target=", "%u", &target);
  scan("subNetMask=", "%08x", &netmask);
  scan("defaultGateway=", "%08x", &gateway);
  record.hostInterfaceType = targetGiven ? Qor_Internal_TranslateHostInterfaceType_Fw2Api(target) : 0;
  record.netmask = __builtin_bswap32(netmask);
  record.gateway = __builtin_bswap32(gateway);
  record.address = sender;
  return true;
}

class EthernetPath final : public AccessPath {
public:
  PathStatus start(const PathSettings& settings) override {
    settings_ = &settings;
    return {};
  }

  PathStatus open(const Qor_InterfaceInfo_t& descriptor, std::unique_ptr<Device>& device) override {
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_port = htons(static_cast<uint16_t>(descriptor.deviceNumber));
    if (descriptor.flags & QOR_INTERFACE_FLAG_BINARY_IPV4) {
      memcpy(&peer.sin_addr.s_addr, descriptor.ipAddress, sizeof peer.sin_addr.s_addr);
    } else {
      char text[sizeof descriptor.ipAddress + 1] = {};
      memcpy(text, descriptor.ipAddress, sizeof descriptor.ipAddress);
      peer.sin_addr.s_addr = inet_addr(text);
    }
    const uint32_t timeoutMs = connectionTimeoutMs(settings_);
    // A probe shows within the connection time-out whether the device is there; the lasting connection follows.
    if (PathStatus probed = probe(peer, timeoutMs); !probed.ok()) return probed;
    const int wake = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wake < 0) {
      return pathError(QOR_ERR_ETHERNET_INIT_FAILED, "'eventfd' returned with '%d' - %s", errno, strerror(errno));
    }
    const int fd = connectWithin(peer, static_cast<int>(kReconnectMs));
    if (fd < 0) {
      const std::string reason = errorText();
      close(wake);
      return pathError(QOR_ERR_ETHERNET_READ, "reconnect because connection was closed by target: %s", reason.c_str());
    }
    auto opened = std::make_unique<EthernetDevice>(peer, fd, wake, settings_);
    uint32_t serial = 0;
    if (PathStatus queried = opened->querySerialNumber(descriptor.controllerNumber, descriptor.interfaceNumber, serial);
        !queried.ok()) {
      return queried;
    }
    opened->properties.deviceIdentifier = serial;
    opened->properties.module = 0;
    device = std::move(opened);
    return {};
  }

  PathStatus driverInfo(uint32_t, Buffer out, uint32_t& written, Bytes request) override {
    written = 0;
    if (out.size() < sizeof(uint32_t)) return pathError(QOR_ERR_ETHERNET_DRIVER_INFO, "buffer too small");
    uint32_t adapters = 0;
    if (request.size() < sizeof adapters) return discover({}, out, written);
    memcpy(&adapters, request.data(), sizeof adapters);
    // The adapters come from a client: only as many as the request carries, and never more than it may.
    const size_t carried = (request.size() - sizeof adapters) / 8;
    adapters = std::min<uint32_t>({adapters, QOR_DRIVER_INFO_MAX_ADAPTERS, static_cast<uint32_t>(carried)});
    return discover(request.subspan(sizeof adapters, size_t{adapters} * 8), out, written);
  }

private:
  static PathStatus discover(Bytes adapters, Buffer out, uint32_t& written) {
    uint32_t count = 0;
    memcpy(out.data(), &count, sizeof count);
    written = sizeof count;
    std::vector<int> sockets;
    const auto closeAll = [&] {
      for (int fd : sockets) close(fd);
    };
    for (size_t i = 0; i + 8 <= adapters.size(); i += 8) {
      uint32_t address = 0, netmask = 0;
      memcpy(&address, adapters.data() + i, 4);
      memcpy(&netmask, adapters.data() + i + 4, 4);
      const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
      if (fd < 0) {
        closeAll();
        return pathError(QOR_ERR_ETHERNET_INIT_FAILED, "failed to create socket - %u - %s", errno, strerror(errno));
      }
      sockets.push_back(fd);
      const int on = 1;
      if (setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on) != 0) {
        closeAll();
        return pathError(QOR_ERR_ETHERNET_INIT_FAILED, "failed to set socket options - %u", errno);
      }
      if (!setBlocking(fd, false)) {
        closeAll();
        return pathError(QOR_ERR_ETHERNET_INIT_FAILED, "failed to set socket options - %u - %s", errno, strerror(errno));
      }
      sockaddr_in broadcast{};
      broadcast.sin_family = AF_INET;
      broadcast.sin_port = htons(QOR_DISCOVERY_PORT);
      broadcast.sin_addr.s_addr = address | ~netmask;
      if (sendto(fd, QOR_DISCOVERY_REQUEST, strlen(QOR_DISCOVERY_REQUEST), 0, reinterpret_cast<sockaddr*>(&broadcast),
                 sizeof broadcast) < 0) {
        closeAll();
        return pathError(QOR_ERR_ETHERNET_INIT_FAILED, "sendto() failed - %u - %s", errno, strerror(errno));
      }
    }
    const double deadline = GetTickCount() + kDiscoveryMs;
    std::vector<pollfd> items;
    for (int fd : sockets) items.push_back(pollfd{fd, POLLIN, 0});
    while (!items.empty()) {
      const double left = deadline - GetTickCount();
      if (left <= 0) break;
      const int ready = poll(items.data(), items.size(), static_cast<int>(left) + 1);
      if (ready == 0) break;
      if (ready < 0) {
        if (errno == EINTR) continue;
        closeAll();
        return pathError(QOR_ERR_ETHERNET_INIT_FAILED, "sendto() failed - %u - %s", errno, strerror(errno));
      }
      for (pollfd& item : items) {
        if (!(item.revents & POLLIN)) continue;
        char text[QOR_DISCOVERY_MAX_ANSWER + 1];
        sockaddr_in sender{};
        socklen_t senderSize = sizeof sender;
        const ssize_t n = recvfrom(item.fd, text, QOR_DISCOVERY_MAX_ANSWER, 0, reinterpret_cast<sockaddr*>(&sender),
                                   &senderSize);
        if (n < 0) continue;
        text[n] = '\0';
        EthernetDeviceRecord record;
        if (!parseDiscoveryAnswer(text, sender.sin_addr.s_addr, record)) continue;
        if (isListed(out, count, record.address)) continue; // one record per device, from the first answer read
        const size_t needed = sizeof count + sizeof record * (size_t{count} + 1);
        if (needed > out.size()) {
          closeAll();
          return pathError(QOR_ERR_ETHERNET_DRIVER_INFO, "buffer too small");
        }
        ++count;
        record.deviceNumber = static_cast<uint8_t>(count);
        memcpy(out.data() + needed - sizeof record, &record, sizeof record);
        memcpy(out.data(), &count, sizeof count);
      }
    }
    closeAll();
    written = static_cast<uint32_t>(sizeof count + sizeof(EthernetDeviceRecord) * count);
    return {};
  }

  static bool isListed(Buffer out, uint32_t count, uint32_t address) {
    for (uint32_t i = 0; i < count; ++i) {
      EthernetDeviceRecord listed;
      memcpy(&listed, out.data() + sizeof count + sizeof listed * i, sizeof listed);
      if (listed.address == address) return true;
    }
    return false;
  }

  const PathSettings* settings_ = nullptr;
};

} // namespace

std::unique_ptr<AccessPath> makeEthernetPath() { return std::make_unique<EthernetPath>(); }

} // namespace qor::daemon
