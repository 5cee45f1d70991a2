// The platform library libuoe_QorUSB_Platform, loaded by name with its functions bound: the USB devices behind
// USB-over-Ethernet adapters, each reached through a connection to its adapter (the target).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <variant>

#include "access_path.hpp"

namespace qor::daemon {

inline constexpr char kUsbOverEthernetLibraryName[] = "libuoe_QorUSB_Platform.so";

class UsbOverEthernetLibrary {
public:
  using Connect = uint32_t (*)(uint32_t target, uint32_t milliseconds, uint32_t* connection);
  using Disconnect = uint32_t (*)(uint32_t target);
  using EnumerationStatus = uint32_t (*)(uint32_t* status, uint32_t connection);
  using DriverInfo = uint32_t (*)(void* buffer, uint32_t size, uint32_t connection, uint32_t reserved);
  using RegisterRead = uint32_t (*)(uint32_t type, uint32_t index, uint8_t reg, uint32_t* value, uint32_t connection);
  using RegisterWrite = uint32_t (*)(uint32_t type, uint32_t index, uint8_t reg, uint32_t value, uint32_t connection);
  using DesignVersion = uint32_t (*)(uint32_t type, uint32_t index, uint32_t* version, uint32_t connection);
  using Download = uint32_t (*)(uint32_t type, uint32_t index, const char* path, uint32_t* status,
                                uint32_t connection);

  // Every slot is bound when load succeeds.
  struct Functions {
    Connect connect = nullptr;
    Disconnect disconnect = nullptr;
    EnumerationStatus enumerationStatus = nullptr;
    DriverInfo driverInfo = nullptr;
    RegisterRead registerRead = nullptr;
    RegisterWrite registerWrite = nullptr;
    DesignVersion designVersion = nullptr;
    Download download = nullptr;
  };

  ~UsbOverEthernetLibrary();
  UsbOverEthernetLibrary(const UsbOverEthernetLibrary&) = delete;
  UsbOverEthernetLibrary& operator=(const UsbOverEthernetLibrary&) = delete;

  // Loads the library of that name, checks its version (1.00 to 1.99) and binds Functions: 0x1100004 when it cannot
  // be loaded, 0x1100006, 0x110000A or 0x110000B for its version, 0x1100004 for a function it lacks.
  static std::variant<std::shared_ptr<UsbOverEthernetLibrary>, PathStatus> load(const std::string& name);

  const Functions& functions() const { return functions_; }

private:
  explicit UsbOverEthernetLibrary(void* handle) : handle_(handle) {}

  void* handle_;
  Functions functions_;
};

} // namespace qor::daemon
