#include "fake_path.hpp"

#include <algorithm>
#include <cstring>
#include <thread>

namespace qor::test {
namespace {

// How long a read waits for the device, as the real paths do (shorter, for quick tests).
constexpr std::chrono::milliseconds kReadWait{20};
constexpr uint32_t kWriteFailure = 0x1200003;
constexpr std::chrono::milliseconds kListingTime{100};

// The daemon's end of a fake device.
class OpenedDevice : public daemon::Device {
public:
  explicit OpenedDevice(std::shared_ptr<FakeDevice> device) : device_(std::move(device)) { device_->opened(); }
  ~OpenedDevice() override { device_->closed(); }
  daemon::PathStatus write(daemon::Bytes frame) override { return device_->write(frame); }
  daemon::PathStatus read(daemon::Buffer frame, uint32_t& length) override { return device_->read(frame, length); }
  daemon::PathStatus initMonitor(uint8_t) override { return {}; }
  daemon::PathStatus readMonitor(daemon::Buffer data, uint32_t& length) override {
    return device_->readMonitor(data, length);
  }
  daemon::PathStatus stopMonitor(uint8_t, uint8_t) override { return {}; }
  daemon::PathStatus fpgaRegisterRead(uint8_t reg, uint32_t& value) override {
    return device_->fpgaRegisterRead(reg, value);
  }
  daemon::PathStatus fpgaRegisterWrite(uint8_t reg, uint32_t value) override {
    return device_->fpgaRegisterWrite(reg, value);
  }
  daemon::PathStatus fpgaDesignVersion(uint32_t& version) override { return device_->fpgaDesignVersion(version); }

private:
  std::shared_ptr<FakeDevice> device_;
};

uint32_t identityOf(const Qor_InterfaceInfo_t& descriptor) {
  if ((descriptor.flags & QOR_INTERFACE_FLAG_ETHERNET) == 0) return descriptor.deviceNumber;
  uint32_t address;
  std::memcpy(&address, descriptor.ipAddress, sizeof address);
  return address;
}

} // namespace

void FakeDevice::emit(Frame frame) {
  {
    std::lock_guard lock(mutex_);
    toHost_.push_back(std::move(frame));
  }
  changed_.notify_all();
}

void FakeDevice::emitMonitorData(Frame data) {
  std::lock_guard lock(mutex_);
  monitorData_.push_back(std::move(data));
}

void FakeDevice::failWrites(int count) {
  std::lock_guard lock(mutex_);
  failingWrites_ = count;
}

void FakeDevice::failNextRead(uint32_t code, std::string text) {
  {
    std::lock_guard lock(mutex_);
    readFailure_ = daemon::PathStatus{code, std::move(text)};
  }
  changed_.notify_all();
}

void FakeDevice::provideFpga(uint32_t designVersion) {
  std::lock_guard lock(mutex_);
  designVersion_ = designVersion;
}

std::optional<uint32_t> FakeDevice::fpgaRegister(uint8_t reg) const {
  std::lock_guard lock(mutex_);
  const auto found = fpgaRegisters_.find(reg);
  if (found == fpgaRegisters_.end()) return std::nullopt;
  return found->second;
}

std::vector<Frame> FakeDevice::written() const {
  std::lock_guard lock(mutex_);
  return written_;
}

bool FakeDevice::waitWritten(size_t count, std::chrono::milliseconds timeout) const {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, timeout, [&] { return written_.size() >= count; });
}

int FakeDevice::writeCalls() const {
  std::lock_guard lock(mutex_);
  return writeCalls_;
}

int FakeDevice::reads() const {
  std::lock_guard lock(mutex_);
  return reads_;
}

int FakeDevice::opens() const {
  std::lock_guard lock(mutex_);
  return opens_;
}

int FakeDevice::closes() const {
  std::lock_guard lock(mutex_);
  return closes_;
}

bool FakeDevice::isOpen() const {
  std::lock_guard lock(mutex_);
  return opens_ > closes_;
}

bool FakeDevice::waitClosed(std::chrono::milliseconds timeout) const {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, timeout, [&] { return opens_ == closes_; });
}

void FakeDevice::opened() {
  std::lock_guard lock(mutex_);
  ++opens_;
}

void FakeDevice::closed() {
  {
    std::lock_guard lock(mutex_);
    ++closes_;
  }
  changed_.notify_all();
}

daemon::PathStatus FakeDevice::write(daemon::Bytes frame) {
  {
    std::lock_guard lock(mutex_);
    ++writeCalls_;
    if (failingWrites_ > 0) {
      --failingWrites_;
      return daemon::pathError(kWriteFailure, "fake write failed");
    }
    written_.emplace_back(frame.begin(), frame.end());
  }
  changed_.notify_all();
  return {};
}

daemon::PathStatus FakeDevice::read(daemon::Buffer frame, uint32_t& length) {
  std::unique_lock lock(mutex_);
  ++reads_;
  length = 0;
  changed_.wait_for(lock, kReadWait, [&] { return !toHost_.empty() || readFailure_; });
  if (readFailure_) {
    const daemon::PathStatus failure = *readFailure_;
    readFailure_.reset();
    return failure;
  }
  if (toHost_.empty()) return {};
  const Frame next = std::move(toHost_.front());
  toHost_.pop_front();
  length = static_cast<uint32_t>(std::min(next.size(), frame.size()));
  std::memcpy(frame.data(), next.data(), length);
  return {};
}

daemon::PathStatus FakeDevice::readMonitor(daemon::Buffer data, uint32_t& length) {
  std::lock_guard lock(mutex_);
  length = 0;
  if (monitorData_.empty()) return {};
  const Frame next = std::move(monitorData_.front());
  monitorData_.pop_front();
  length = static_cast<uint32_t>(std::min(next.size(), data.size()));
  std::memcpy(data.data(), next.data(), length);
  return {};
}

daemon::PathStatus FakeDevice::fpgaRegisterRead(uint8_t reg, uint32_t& value) {
  std::lock_guard lock(mutex_);
  if (!designVersion_) return daemon::functionNotAvailable();
  value = fpgaRegisters_[reg];
  return {};
}

daemon::PathStatus FakeDevice::fpgaRegisterWrite(uint8_t reg, uint32_t value) {
  std::lock_guard lock(mutex_);
  if (!designVersion_) return daemon::functionNotAvailable();
  fpgaRegisters_[reg] = value;
  return {};
}

daemon::PathStatus FakeDevice::fpgaDesignVersion(uint32_t& version) {
  std::lock_guard lock(mutex_);
  if (!designVersion_) return daemon::functionNotAvailable();
  version = *designVersion_;
  return {};
}

std::shared_ptr<FakeDevice> FakePath::device(uint32_t identity) {
  std::lock_guard lock(mutex_);
  auto& device = devices_[identity];
  if (!device) device = std::make_shared<FakeDevice>();
  return device;
}

void FakePath::refuseNextOpen(uint32_t code, std::string text) {
  std::lock_guard lock(mutex_);
  openFailure_ = daemon::PathStatus{code, std::move(text)};
}

void FakePath::setDriverInfo(std::vector<uint8_t> data) {
  std::lock_guard lock(mutex_);
  driverInfo_ = std::move(data);
}

int FakePath::opens() const {
  std::lock_guard lock(mutex_);
  return opens_;
}

bool FakePath::readWhileListing() const {
  std::lock_guard lock(mutex_);
  return readWhileListing_;
}

std::vector<BoardRequest95xx> FakePath::boardRequests() const {
  std::lock_guard lock(mutex_);
  return boardRequests_;
}

daemon::PathStatus FakePath::open(const Qor_InterfaceInfo_t& descriptor, std::unique_ptr<daemon::Device>& opened) {
  {
    std::lock_guard lock(mutex_);
    ++opens_;
    if (openFailure_) {
      const daemon::PathStatus failure = *openFailure_;
      openFailure_.reset();
      return failure;
    }
  }
  opened = std::make_unique<OpenedDevice>(device(identityOf(descriptor)));
  opened->properties = properties;
  return {};
}

daemon::PathStatus FakePath::driverInfo(uint32_t, daemon::Buffer out, uint32_t& written, daemon::Bytes) {
  std::lock_guard lock(mutex_);
  // Listing takes a while; the devices' reads must rest meanwhile when the daemon suspends them.
  const auto totalReads = [&] {
    int total = 0;
    for (const auto& [identity, device] : devices_) total += device->reads();
    return total;
  };
  const int before = totalReads();
  std::this_thread::sleep_for(kListingTime);
  readWhileListing_ = totalReads() != before;
  if (driverInfo_.size() > out.size()) return daemon::PathStatus{0x1000009, {}};
  if (!driverInfo_.empty()) std::memcpy(out.data(), driverInfo_.data(), driverInfo_.size());
  written = static_cast<uint32_t>(driverInfo_.size());
  return {};
}

daemon::PathStatus FakePath::boardRequest(const BoardRequest95xx& request, daemon::Device*, daemon::Buffer out,
                                          uint32_t& length) {
  std::lock_guard lock(mutex_);
  boardRequests_.push_back(request);
  length = static_cast<uint32_t>(std::min(out.size(), sizeof request.value));
  std::memcpy(out.data(), &request.value, length);
  return {};
}

} // namespace qor::test
