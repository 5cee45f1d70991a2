#include "map.hpp"

#include <initializer_list>
#include <optional>

#include "qor_error_codes.h"
#include "qor_shared/host_types.hpp"

namespace qor::daemon {
namespace {

bool hasFlag(const Qor_InterfaceInfo_t& descriptor, unsigned flag) { return (descriptor.flags & flag) != 0; }

PathStatus unknownType(uint32_t type) {
  return pathError(QOR_ERR_SERVER_UNKNOWN_DEVICE_TYPE, "device type '%u' is unknown", type);
}

// The path that lists the devices of a driver-information source; none for Unknown and Empty.
std::optional<PathKind> listingPath(DriverInfoSource source) {
  switch (source) {
    case DriverInfoSource::Usb: return PathKind::Usb;
    case DriverInfoSource::Ethernet: return PathKind::Ethernet;
    case DriverInfoSource::UsbOverEthernet: return PathKind::UsbOverEthernet;
    case DriverInfoSource::Cards94xx: return PathKind::Cards94xx;
    case DriverInfoSource::Cards95xx: return PathKind::Cards95xx;
    case DriverInfoSource::Unknown:
    case DriverInfoSource::Empty: break;
  }
  return std::nullopt;
}

} // namespace

void DeviceAccess::install(PathKind kind, std::unique_ptr<AccessPath> path) {
  paths_[static_cast<size_t>(kind)] = std::move(path);
}

void DeviceAccess::start(bool usb) {
  for (PathKind kind : {PathKind::Usb, PathKind::Ethernet, PathKind::Cards95xx, PathKind::Cards94xx,
                        PathKind::UsbOverEthernet}) {
    if (kind == PathKind::Usb && !usb) continue;
    if (AccessPath* started = path(kind)) started->start(settings_);
  }
}

void DeviceAccess::shutdown() {
  for (PathKind kind : {PathKind::Usb, PathKind::Ethernet, PathKind::UsbOverEthernet, PathKind::Cards94xx,
                        PathKind::Cards95xx}) {
    if (AccessPath* running = path(kind)) running->shutdown();
  }
}

std::variant<PathKind, PathStatus> DeviceAccess::pathFor(const Qor_InterfaceInfo_t& descriptor) {
  const HostType* host = findHostType(descriptor.hostInterfaceType);
  if (host == nullptr) return unknownType(descriptor.hostInterfaceType);
  const bool overEthernet = hasFlag(descriptor, QOR_INTERFACE_FLAG_USB_OVER_ETHERNET);
  if (hasFlag(descriptor, QOR_INTERFACE_FLAG_ETHERNET) && !overEthernet) return PathKind::Ethernet;
  switch (host->daemon.path) {
    case DevicePath::Usb: return overEthernet ? PathKind::UsbOverEthernet : PathKind::Usb;
    case DevicePath::Cards94xx: return PathKind::Cards94xx;
    case DevicePath::Cards95xx: return PathKind::Cards95xx;
    case DevicePath::None: break;
  }
  return pathError(QOR_ERR_SERVER_UNKNOWN_DEVICE_TYPE, "%d", static_cast<int>(descriptor.hostInterfaceType));
}

PathStatus DeviceAccess::open(const Qor_InterfaceInfo_t& descriptor, std::unique_ptr<Device>& device) {
  device.reset();
  const auto kind = pathFor(descriptor);
  if (const auto* failure = std::get_if<PathStatus>(&kind)) return *failure;
  AccessPath* opener = path(std::get<PathKind>(kind));
  if (opener == nullptr) return PathStatus{QOR_ERR_SERVER_DEVICE_NOT_CONNECTED, {}};
  PathStatus status = opener->open(descriptor, device);
  if (!status.ok()) {
    device.reset();
  } else if (device == nullptr) {
    status = pathError(QOR_ERR_SERVER_INTERNAL, "access path opened no device");
  }
  return status;
}

PathStatus DeviceAccess::driverInfo(uint32_t hostInterfaceType, Buffer out, uint32_t& written, Bytes request) {
  written = 0;
  const HostType* host = findHostType(hostInterfaceType);
  if (host == nullptr) return PathStatus{QOR_ERR_SERVER_UNKNOWN_DEVICE_TYPE, {}};
  if (host->daemon.driverInfo == DriverInfoSource::Empty) return {};
  const std::optional<PathKind> kind = listingPath(host->daemon.driverInfo);
  if (!kind) return PathStatus{QOR_ERR_SERVER_UNKNOWN_DEVICE_TYPE, {}};
  AccessPath* lister = path(*kind);
  if (lister == nullptr) return {};
  PathStatus status = lister->driverInfo(hostInterfaceType, out, written, request);
  if (written > out.size()) written = static_cast<uint32_t>(out.size());
  if (!status.ok()) written = 0;
  return status;
}

bool DeviceAccess::driverInfoUsesUsb(uint32_t hostInterfaceType) {
  const HostType* host = findHostType(hostInterfaceType);
  return host != nullptr && host->daemon.driverInfo == DriverInfoSource::Usb;
}

PathStatus DeviceAccess::refresh(bool withUsb, bool flag) {
  AccessPath* usb = path(PathKind::Usb);
  return withUsb && usb != nullptr ? usb->refresh(flag) : PathStatus{};
}

PathStatus DeviceAccess::boardRequest(const BoardRequest95xx& request, Device* device, Buffer out, uint32_t& length) {
  length = 0;
  AccessPath* cards = path(PathKind::Cards95xx);
  if (cards == nullptr) return functionNotAvailable();
  PathStatus status = cards->boardRequest(request, device, out, length);
  if (!status.ok()) {
    length = 0;
  } else if (length > out.size()) {
    length = static_cast<uint32_t>(out.size());
  }
  return status;
}

uint32_t DeviceAccess::exchangeConnectionTimeout(uint32_t milliseconds) {
  return settings_.connectionTimeoutMs.exchange(milliseconds);
}

} // namespace qor::daemon
