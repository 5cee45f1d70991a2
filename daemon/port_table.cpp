#include "port_table.hpp"

#include <algorithm>
#include <cstring>

namespace qor::daemon {
namespace {

bool hasFlag(const Qor_InterfaceInfo_t& descriptor, unsigned flag) { return (descriptor.flags & flag) != 0; }

// The binary IPv4 address at descriptor offset 12, and the USB-over-Ethernet target at offset 16.
uint32_t address(const Qor_InterfaceInfo_t& descriptor) {
  uint32_t value;
  std::memcpy(&value, descriptor.ipAddress, sizeof value);
  return value;
}
uint32_t target(const Qor_InterfaceInfo_t& descriptor) {
  uint32_t value;
  std::memcpy(&value, descriptor.ipAddress + sizeof value, sizeof value);
  return value;
}

} // namespace

bool sameDevice(const Qor_InterfaceInfo_t& port, const Qor_InterfaceInfo_t& request) {
  if (hasFlag(port, QOR_INTERFACE_FLAG_ETHERNET) && hasFlag(request, QOR_INTERFACE_FLAG_ETHERNET)) {
    return address(port) == address(request);
  }
  // A device behind an adapter is never one on the host's USB; behind one adapter, devices differ as they do on
  // USB: by type and number.
  const bool portOverEthernet = hasFlag(port, QOR_INTERFACE_FLAG_USB_OVER_ETHERNET);
  if (portOverEthernet != hasFlag(request, QOR_INTERFACE_FLAG_USB_OVER_ETHERNET)) return false;
  if (portOverEthernet && target(port) != target(request)) return false;
  if (port.hostInterfaceType != request.hostInterfaceType) return false;
  const HostType* host = findHostType(request.hostInterfaceType);
  if (host == nullptr) return false;
  switch (host->daemon.identity) {
    case DeviceIdentity::DeviceAndController:
      return port.deviceNumber == request.deviceNumber && port.controllerNumber == request.controllerNumber;
    case DeviceIdentity::Address: return address(port) == address(request);
    case DeviceIdentity::AddressOrDevice:
      return hasFlag(request, QOR_INTERFACE_FLAG_ETHERNET) ? address(port) == address(request)
                                                           : port.deviceNumber == request.deviceNumber;
  }
  return false;
}

std::shared_ptr<Port> PortTable::take(const Qor_InterfaceInfo_t& request) {
  std::lock_guard lock(mutex_);
  for (uint8_t index : order_) {
    if (sameDevice(ports_[index]->currentDescriptor(), request)) return ports_[index];
  }
  for (size_t index = 0; index < kSlots; ++index) {
    if (ports_[index]) continue;
    ports_[index] = std::make_shared<Port>(static_cast<uint8_t>(index), request);
    order_.push_back(static_cast<uint8_t>(index));
    return ports_[index];
  }
  return nullptr;
}

void PortTable::release(Port& port) {
  std::lock_guard lock(mutex_);
  port.released = true;
  if (ports_[port.index].get() != &port) return;
  ports_[port.index].reset();
  std::erase(order_, port.index);
}

std::shared_ptr<Port> PortTable::at(uint8_t index) const {
  if (index >= kSlots) return nullptr;
  std::lock_guard lock(mutex_);
  return ports_[index];
}

std::vector<std::shared_ptr<Port>> PortTable::all() const {
  std::lock_guard lock(mutex_);
  std::vector<std::shared_ptr<Port>> ports;
  for (uint8_t index : order_) ports.push_back(ports_[index]);
  return ports;
}

} // namespace qor::daemon
