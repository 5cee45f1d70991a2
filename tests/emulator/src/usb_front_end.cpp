#include "qor_emulator/usb_front_end.hpp"

#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <fstream>
#include <optional>
#include <stdexcept>

#include "qor_usb_emulator_link.hpp"
#include "qor_usb_platform.h"
#include "socket_support.hpp"

namespace qor::emulator {

namespace link = usb::link;

// Pieces of bytes the host reads one at a time, waiting a bounded time for the next.
class PieceQueue {
 public:
  void push(Bytes piece) {
    std::lock_guard lock(mutex_);
    pieces_.push_back(std::move(piece));
    arrived_.notify_all();
  }

  // The oldest piece, waiting at most timeout; empty when none came. With a room, at most that many bytes of it:
  // the rest stays first.
  Bytes take(std::chrono::milliseconds timeout, size_t room = 0) {
    std::unique_lock lock(mutex_);
    if (!arrived_.wait_for(lock, timeout, [&] { return !pieces_.empty(); })) return {};
    Bytes& oldest = pieces_.front();
    if (room != 0 && oldest.size() > room) {
      Bytes first(oldest.begin(), oldest.begin() + static_cast<ptrdiff_t>(room));
      oldest.erase(oldest.begin(), oldest.begin() + static_cast<ptrdiff_t>(room));
      return first;
    }
    Bytes piece = std::move(oldest);
    pieces_.pop_front();
    return piece;
  }

 private:
  std::mutex mutex_;
  std::condition_variable arrived_;
  std::deque<Bytes> pieces_;
};

// What a controller's firmware sends to the host, until the host reads it. A cut has no meaning on USB.
class UsbControllerSink final : public FrameSink {
 public:
  explicit UsbControllerSink(uint64_t id) : id_(id) {}

  uint64_t id() const override { return id_; }
  bool isOpen() const override { return true; }
  void play(const Reply& reply) override {
    for (const auto& step : reply.steps()) {
      if (step.kind == Reply::Step::Kind::Wait) std::this_thread::sleep_for(step.duration);
      if (step.kind == Reply::Step::Kind::Send) frames_.push(step.bytes);
    }
  }

  PieceQueue& frames() { return frames_; }

 private:
  const uint64_t id_;
  PieceQueue frames_;
};

struct UsbFrontEnd::PluggedDevice {
  UsbDeviceConfig config;
  std::vector<std::shared_ptr<UsbControllerSink>> sinks; // one per controller
  std::map<uint8_t, uint32_t> registers;
  UsbDownloadOutcome outcome = UsbDownloadOutcome::Done;
  std::optional<std::pair<std::chrono::steady_clock::time_point, uint32_t>> lateVersion; // when, and which
  std::shared_ptr<PieceQueue> monitor = std::make_shared<PieceQueue>();

  uint32_t designVersion() {
    if (lateVersion && std::chrono::steady_clock::now() >= lateVersion->first) {
      registers[kDesignVersionRegister] = lateVersion->second;
      lateVersion.reset();
    }
    return registers[kDesignVersionRegister];
  }
};

namespace {

constexpr int kBacklog = 16;
constexpr uint64_t kFirstSinkId = 0x05B0000;

std::vector<uint8_t> replyOf(uint32_t code, uint32_t value = 0, std::span<const uint8_t> data = {}) {
  const link::Reply reply{code, value, static_cast<uint32_t>(data.size()), 0};
  std::vector<uint8_t> bytes(sizeof reply + data.size());
  memcpy(bytes.data(), &reply, sizeof reply);
  std::copy(data.begin(), data.end(), bytes.begin() + sizeof reply);
  return bytes;
}

// The version a downloaded file carries: the number between its last '_' and ".CFD".
uint32_t fileVersion(const std::string& path) {
  const size_t underscore = path.rfind('_');
  if (underscore == std::string::npos) return 0;
  return static_cast<uint32_t>(strtoul(path.c_str() + underscore + 1, nullptr, 10));
}

}  // namespace

UsbFrontEnd::UsbFrontEnd(std::string socketPath)
    : socketPath_(std::move(socketPath)), stop_(std::make_unique<Wakeup>()) {}

UsbFrontEnd::~UsbFrontEnd() { stop(); }

int UsbFrontEnd::plugIn(UsbDeviceConfig config) {
  std::lock_guard lock(mutex_);
  auto device = std::make_unique<PluggedDevice>();
  const int handle = nextHandle_++;
  for (size_t i = 0; i < config.controllers.size(); ++i) {
    device->sinks.push_back(std::make_shared<UsbControllerSink>(kFirstSinkId + handle * 16 + i));
  }
  device->registers[kDesignVersionRegister] = config.designVersion;
  for (size_t slot = 0; slot < config.controllers.size(); ++slot) listed_.push_back({handle, config.driverType, slot});
  device->config = std::move(config);
  devices_[handle] = std::move(device);
  return handle;
}

void UsbFrontEnd::unplug(int handle) {
  std::lock_guard lock(mutex_);
  devices_.erase(handle);
}

uint32_t UsbFrontEnd::fpgaRegister(int handle, uint8_t reg) const {
  std::lock_guard lock(mutex_);
  const auto device = devices_.find(handle);
  if (device == devices_.end()) return 0;
  const auto value = device->second->registers.find(reg);
  return value == device->second->registers.end() ? 0 : value->second;
}

void UsbFrontEnd::setFpgaRegister(int handle, uint8_t reg, uint32_t value) {
  std::lock_guard lock(mutex_);
  if (const auto device = devices_.find(handle); device != devices_.end()) device->second->registers[reg] = value;
}

std::vector<std::string> UsbFrontEnd::downloads() const {
  std::lock_guard lock(mutex_);
  return downloads_;
}

void UsbFrontEnd::setDownloadOutcome(int handle, UsbDownloadOutcome outcome) {
  std::lock_guard lock(mutex_);
  if (const auto device = devices_.find(handle); device != devices_.end()) device->second->outcome = outcome;
}

void UsbFrontEnd::playMonitor(int handle, const std::vector<Bytes>& reads) {
  std::shared_ptr<PieceQueue> monitor;
  {
    std::lock_guard lock(mutex_);
    const auto device = devices_.find(handle);
    if (device == devices_.end()) return;
    monitor = device->second->monitor;
  }
  for (const Bytes& read : reads) monitor->push(read);
}

void UsbFrontEnd::start() {
  if (listener_.joinable()) return;
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (socketPath_.size() >= sizeof address.sun_path) throw std::invalid_argument("socket path too long");
  memcpy(address.sun_path, socketPath_.c_str(), socketPath_.size() + 1);
  unlink(socketPath_.c_str());
  UniqueFd fd(socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0));
  if (fd.get() < 0) throwSystemError("socket");
  if (bind(fd.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) throwSystemError("bind");
  // The daemon that calls the stand-in may run as another user.
  chmod(socketPath_.c_str(), 0666);
  if (listen(fd.get(), kBacklog) != 0) throwSystemError("listen");
  stop_->clear();
  stopping_ = false;
  listenFd_ = fd.release();
  listener_ = std::thread([this] { acceptLoop(); });
}

void UsbFrontEnd::stop() {
  if (!listener_.joinable()) return;
  stop_->raise();
  listener_.join();
  close(listenFd_);
  listenFd_ = -1;
  std::vector<Call> calls;
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
    calls.swap(calls_);
  }
  for (auto& call : calls) call.thread.join();
  unlink(socketPath_.c_str());
}

void UsbFrontEnd::announce() const {
  mkdir("/etc/hxusb", 0755);
  std::ofstream settings(link::kSettingsPath, std::ios::trunc);
  settings << link::kSocketKey << socketPath_ << "\n";
  if (!settings.flush()) throw std::runtime_error("cannot write the stand-in's settings");
}

void UsbFrontEnd::acceptLoop() {
  while (!stop_->raised()) {
    pollfd polled[2] = {{listenFd_, POLLIN, 0}, {stop_->fd(), POLLIN, 0}};
    if (poll(polled, 2, kPollBoundMs) <= 0 || polled[1].revents != 0) continue;
    const int fd = accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    std::lock_guard lock(mutex_);
    if (stopping_) {
      close(fd);
      continue;
    }
    reapCalls();
    auto done = std::make_shared<std::atomic<bool>>(false);
    calls_.push_back({std::thread([this, fd, done] {
                        serve(fd);
                        *done = true;
                      }),
                      done});
  }
}

void UsbFrontEnd::reapCalls() {
  for (auto call = calls_.begin(); call != calls_.end();) {
    if (!*call->done) {
      ++call;
      continue;
    }
    call->thread.join();
    call = calls_.erase(call);
  }
}

void UsbFrontEnd::serve(int fd) {
  UniqueFd owned(fd);
  pollfd polled{fd, POLLIN, 0};
  if (poll(&polled, 1, kPollBoundMs) <= 0) return;
  std::vector<uint8_t> request(sizeof(link::Request) + link::kMaxData);
  const ssize_t length = recv(fd, request.data(), request.size(), 0);
  if (length < static_cast<ssize_t>(sizeof(link::Request))) return;
  request.resize(static_cast<size_t>(length));
  const std::vector<uint8_t> reply = answer(request);
  send(fd, reply.data(), reply.size(), MSG_NOSIGNAL);
}

UsbFrontEnd::Address UsbFrontEnd::find(uint32_t deviceType, uint32_t index) {
  uint32_t seen = 0;
  for (const Listed& controller : listed_) {
    if (controller.driverType != deviceType || ++seen != index) continue;
    const auto device = devices_.find(controller.handle);
    return device == devices_.end() ? Address{} : Address{device->second.get(), controller.slot};
  }
  return {};
}

void UsbFrontEnd::relist() {
  listed_.clear();
  for (const auto& [handle, device] : devices_) {
    for (size_t slot = 0; slot < device->config.controllers.size(); ++slot) {
      listed_.push_back({handle, device->config.driverType, slot});
    }
  }
}

std::vector<uint8_t> UsbFrontEnd::readPiece(uint32_t deviceType, uint32_t index, uint32_t timeoutMs, bool monitor,
                                            uint32_t room) {
  std::shared_ptr<PieceQueue> queue; // outlives an unplug during the wait
  {
    std::lock_guard lock(mutex_);
    const Address address = find(deviceType, index);
    if (address.device == nullptr) return replyOf(QOR_USB_DEVICE_REMOVED);
    const std::shared_ptr<UsbControllerSink>& sink = address.device->sinks[address.slot];
    queue = monitor ? address.device->monitor : std::shared_ptr<PieceQueue>(sink, &sink->frames());
  }
  const Bytes piece = queue->take(std::chrono::milliseconds(std::min(timeoutMs, link::kMaxWaitMs)),
                                  std::min(room, link::kMaxData));
  return replyOf(0, 0, piece);
}

std::vector<uint8_t> UsbFrontEnd::download(PluggedDevice& device, const std::string& path) {
  downloads_.push_back(path);
  switch (device.outcome) {
    case UsbDownloadOutcome::Done: break;
    case UsbDownloadOutcome::LoadedByAnother:
      device.registers[kDesignVersionRegister] = 0;
      device.lateVersion.emplace(std::chrono::steady_clock::now() + kLateVersionDelay, fileVersion(path));
      return replyOf(kDownloadInProgress);
    case UsbDownloadOutcome::FirmwareError: return replyOf(0, kDownloadFirmwareError);
  }
  device.registers[kDesignVersionRegister] = fileVersion(path);
  return replyOf(0, 0);
}

std::vector<uint8_t> UsbFrontEnd::answer(const std::vector<uint8_t>& bytes) {
  link::Request request;
  memcpy(&request, bytes.data(), sizeof request);
  const std::span<const uint8_t> data(bytes.data() + sizeof request, bytes.size() - sizeof request);
  if (request.length != data.size()) return replyOf(QOR_USB_INVALID_LENGTH);
  const auto operation = static_cast<link::Operation>(request.operation);

  if (operation == link::Operation::ReadFifo || operation == link::Operation::ReadMonitor) {
    const bool monitor = operation == link::Operation::ReadMonitor;
    return readPiece(request.deviceType, request.index, request.timeoutMs, monitor, monitor ? request.argument : 0);
  }

  std::unique_lock lock(mutex_);
  if (operation == link::Operation::DriverInfo) {
    relist();
    std::vector<uint8_t> entries;
    uint32_t count = 0;
    for (const auto& [handle, device] : devices_) {
      for (const UsbController& controller : device->config.controllers) {
        const QorUSB_DriverInfo_Entry_t entry{controller.serialNumber, 0, device->config.driverType, 0};
        const auto* raw = reinterpret_cast<const uint8_t*>(&entry);
        entries.insert(entries.end(), raw, raw + sizeof entry);
        ++count;
      }
    }
    if (entries.size() > link::kMaxData) entries.resize(link::kMaxData);
    return replyOf(0, count, entries);
  }

  const Address address = find(request.deviceType, request.index);
  if (address.device == nullptr) return replyOf(QOR_USB_DEVICE_REMOVED);
  auto& registers = address.device->registers;
  switch (operation) {
    case link::Operation::WriteFifo: {
      Device* firmware = address.device->config.controllers[address.slot].firmware;
      const std::shared_ptr<FrameSink> sink = address.device->sinks[address.slot];
      lock.unlock();
      if (firmware != nullptr) firmware->receive(data, sink);
      return replyOf(0);
    }
    case link::Operation::XilinxRead: {
      const auto reg = static_cast<uint8_t>(request.argument);
      return replyOf(0, reg == kDesignVersionRegister ? address.device->designVersion() : registers[reg]);
    }
    case link::Operation::XilinxWrite: {
      uint32_t value = 0;
      if (data.size() != sizeof value) return replyOf(QOR_USB_INVALID_LENGTH);
      memcpy(&value, data.data(), sizeof value);
      registers[static_cast<uint8_t>(request.argument)] = value;
      return replyOf(0);
    }
    case link::Operation::XilinxVersion: return replyOf(0, address.device->designVersion());
    case link::Operation::XilinxDownload: return download(*address.device, std::string(data.begin(), data.end()));
    case link::Operation::DriverInfo:
    case link::Operation::ReadFifo:
    case link::Operation::ReadMonitor:
    case link::Operation::EnumerationStatus: break; // the adapter's, not a device's
  }
  return replyOf(QOR_USB_UNKNOWN_IOCTRL);
}

}  // namespace qor::emulator
