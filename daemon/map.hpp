// The daemon's side of the device-access table: which access path serves a device, and what the daemon asks of all
// paths at once. Paths are installed before start (access_paths.cpp for the program, the tests install their own);
// a path never installed is unavailable: its opens fail with 0x100000A and its driver information is empty.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <variant>

#include "access_path.hpp"

namespace qor::daemon {

enum class PathKind : uint8_t { Usb, Ethernet, Cards95xx, Cards94xx, UsbOverEthernet };
inline constexpr size_t kPathKinds = 5;

class DeviceAccess {
public:
  // Makes path the one that serves kind; before start only.
  void install(PathKind kind, std::unique_ptr<AccessPath> path);

  // Starts the installed paths: USB (only with the word "usb"), Ethernet, 95xx, 94xx, USB over Ethernet.
  void start(bool usb);
  // Shuts them down: USB, Ethernet, USB over Ethernet, 94xx, 95xx. After every device is closed.
  void shutdown();

  // The path of a descriptor: Ethernet for the Ethernet flag without the USB-over-Ethernet flag, whatever the host
  // type; else by host type. A failure (0x1000001) for a type above 86 or a model no path serves.
  static std::variant<PathKind, PathStatus> pathFor(const Qor_InterfaceInfo_t& descriptor);

  // Opens the device of the descriptor through its path.
  PathStatus open(const Qor_InterfaceInfo_t& descriptor, std::unique_ptr<Device>& device);

  // Message 0x17: the driver information of one host type into out; written is the number of bytes.
  PathStatus driverInfo(uint32_t hostInterfaceType, Buffer out, uint32_t& written, Bytes request);
  // Whether driverInfo of this type calls the USB library (and so runs inside a USB suspension).
  static bool driverInfoUsesUsb(uint32_t hostInterfaceType);

  // Message 0x19: with USB, the USB path rescans; otherwise nothing.
  PathStatus refresh(bool withUsb, bool flag);

  // Message 0x52, answered by the 95xx path.
  PathStatus boardRequest(const BoardRequest95xx& request, Device* device, Buffer out, uint32_t& length);

  // Message 0x1B: sets the Ethernet connection time-out and returns the previous one.
  uint32_t exchangeConnectionTimeout(uint32_t milliseconds);
  uint32_t connectionTimeout() const { return settings_.connectionTimeoutMs; }

private:
  AccessPath* path(PathKind kind) const { return paths_[static_cast<size_t>(kind)].get(); }
  std::array<std::unique_ptr<AccessPath>, kPathKinds> paths_;
  PathSettings settings_;
};

// Installs the access paths of the program qorapid: the one registration point of every real path.
// executableDirectory: the daemon's own directory, where its FPGA files lie.
void installAccessPaths(DeviceAccess& access, const std::string& executableDirectory);

} // namespace qor::daemon
