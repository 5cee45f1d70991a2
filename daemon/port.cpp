#include "port.hpp"

#include <cstdio>

#include "qor_protocol.h"

namespace qor::daemon {

Qor_InterfaceInfo_t Port::currentDescriptor() const {
  Qor_InterfaceInfo_t current = descriptor;
  if (const uint32_t listed = listedDeviceNumber) current.deviceNumber = listed;
  return current;
}

std::string Application::queueName(const char* kind) const {
  char name[96];
  snprintf(name, sizeof name, QOR_APPLICATION_QUEUE_NAME_FORMAT, client.pid(), clientPortId,
           static_cast<unsigned>(index), kind);
  return name;
}

Port::Port(uint8_t slot, const Qor_InterfaceInfo_t& connected)
    : index(slot), descriptor(connected), hostType(*findHostType(connected.hostInterfaceType)) {}

std::shared_ptr<Worker> Port::hardwareThread() const {
  std::lock_guard lock(threadsLock_);
  return hardwareThread_;
}

void Port::setHardwareThread(std::shared_ptr<Worker> worker) {
  std::lock_guard lock(threadsLock_);
  hardwareThread_ = std::move(worker);
}

void Port::releaseHardwareThread(const Worker& worker) {
  std::lock_guard lock(threadsLock_);
  if (hardwareThread_.get() == &worker) hardwareThread_.reset();
}

void Port::stopHardwareThread(Worker& reader) {
  reader.requestStop();
  // After the flag: the woken read returns to a thread that sees it.
  if (device) device->wakeRead();
}

std::shared_ptr<Worker> Port::monitorThread() const {
  std::lock_guard lock(threadsLock_);
  return monitorThread_;
}

void Port::setMonitorThread(std::shared_ptr<Worker> worker) {
  std::lock_guard lock(threadsLock_);
  monitorThread_ = std::move(worker);
}

std::shared_ptr<Application> Port::application(uint8_t slot) const {
  if (slot >= kSlots) return nullptr;
  std::lock_guard lock(slotsLock_);
  return slots_[slot];
}

std::vector<std::shared_ptr<Application>> Port::applications() const {
  std::lock_guard lock(slotsLock_);
  std::vector<std::shared_ptr<Application>> taken;
  for (const auto& slot : slots_) {
    if (slot) taken.push_back(slot);
  }
  return taken;
}

size_t Port::applicationCount() const {
  std::lock_guard lock(slotsLock_);
  return count_;
}

std::shared_ptr<Application> Port::admit(const std::function<std::shared_ptr<Application>(uint8_t)>& make) {
  std::lock_guard lock(slotsLock_);
  const size_t start = nextSlot_ == kNone ? 0 : nextSlot_;
  for (size_t step = 0; step < kSlots; ++step) {
    const auto slot = static_cast<uint8_t>((start + step) % kSlots);
    if (slots_[slot]) continue;
    slots_[slot] = make(slot);
    ++count_;
    nextSlot_ = static_cast<uint8_t>(slot + 1);
    return slots_[slot];
  }
  return nullptr;
}

bool Port::remove(const Application& app) {
  std::lock_guard lock(slotsLock_);
  if (slots_[app.index].get() != &app) return false;
  slots_[app.index].reset();
  --count_;
  return true;
}

} // namespace qor::daemon
