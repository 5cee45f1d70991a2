// The USB platform library libhxusb, loaded by name and its functions bound. A function the library lacks keeps an
// empty slot, which the callers check before every call.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <variant>

#include "access_path.hpp"
#include "usb_device_table.hpp"

namespace qor::daemon {

inline constexpr char kUsbLibraryName[] = "libhxusb.so";

// What both platform libraries share: loading by name, binding, and the version window of the daemon.
// The handle of the library of that name (dlopen, RTLD_NOW), or 0x1100004 "unable to load '%s', ...".
std::variant<void*, PathStatus> openUsbPlatformLibrary(const std::string& name);
// The function of that name, or nullptr (logged).
void* bindUsbFunction(void* handle, const char* name);
// The library's version (QorUSB_Platform_DLL_Info) when it lies in lowest to highest; else 0x1100006, 0x110000A or
// 0x110000B.
std::variant<uint32_t, PathStatus> usbLibraryVersion(void* handle, uint32_t lowest, uint32_t highest);

class UsbLibrary {
public:
  using WriteFifo = uint32_t (*)(uint32_t type, uint32_t index, const void* data, uint32_t length);
  using ReadFifo = uint32_t (*)(uint32_t type, uint32_t index, void* buffer, uint32_t* size, uint32_t milliseconds);
  using RegisterRead = uint32_t (*)(uint32_t type, uint32_t index, uint8_t reg, uint32_t* value);
  using RegisterWrite = uint32_t (*)(uint32_t type, uint32_t index, uint8_t reg, uint32_t value);
  using DesignVersion = uint32_t (*)(uint32_t type, uint32_t index, uint32_t* version);
  using Download = uint32_t (*)(uint32_t type, uint32_t index, const char* path, uint32_t* status);
  using Reconfigure = uint32_t (*)(uint32_t type, uint32_t index, const char* path, uint32_t* first, uint32_t* second);
  using ExtendedRead = uint32_t (*)(uint32_t type, uint32_t index, void* buffer, uint32_t first, uint32_t second);
  using MonitorRead = uint32_t (*)(uint32_t index, void* buffer, uint32_t* size, uint32_t milliseconds);

  // The functions a port calls, bound when the library is loaded for ports.
  struct Functions {
    WriteFifo writeFifo = nullptr;
    ReadFifo readFifoTimeout = nullptr;
    ExtendedRead readFifoExtended = nullptr; // the speed variant from version 2.21 on
    WriteFifo writeFifoMemory = nullptr;
    RegisterRead registerRead = nullptr;
    RegisterWrite registerWrite = nullptr;
    Download download = nullptr;
    DesignVersion designVersion = nullptr;
    Reconfigure reconfigure = nullptr;
    MonitorRead readMonitor7140 = nullptr;
    ReadFifo read94xx = nullptr; // from version 2.25 on
    WriteFifo write94xx = nullptr;
  };

  ~UsbLibrary();
  UsbLibrary(const UsbLibrary&) = delete;
  UsbLibrary& operator=(const UsbLibrary&) = delete;

  // Loads the library of that name for ports: initialises it, checks its version (2.23 to 2.99) and binds Functions.
  // 0x1100004 when it cannot be loaded, 0x1100006, 0x110000A, 0x110000B for its version.
  static std::variant<std::shared_ptr<UsbLibrary>, PathStatus> loadForPorts(const std::string& name);

  // Loads the library, reads its device list and unloads it again. A list without a device is an empty table.
  static std::variant<UsbDeviceTable, PathStatus> readDeviceList(const std::string& name);

  const Functions& functions() const { return functions_; }
  uint32_t version() const { return version_; }

private:
  explicit UsbLibrary(void* handle) : handle_(handle) {}
  static std::variant<std::shared_ptr<UsbLibrary>, PathStatus> open(const std::string& name);
  // The function of that name, or nullptr (logged).
  void* bind(const char* name) const;
  void bindFunctions();

  void* handle_;
  uint32_t version_ = 0;
  Functions functions_;
};

} // namespace qor::daemon
