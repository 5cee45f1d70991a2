#include "usb_library.hpp"

#include <dlfcn.h>
#include <syslog.h>

#include <cerrno>
#include <vector>

#include "qor_error_codes.h"
#include "usb_models.hpp"

namespace qor::daemon {
namespace {

constexpr uint32_t kLowestVersion = 223;
constexpr uint32_t kHighestVersion = 299;
constexpr uint32_t kSpeedReadVersion = 221;
constexpr uint32_t k94xxVersion = 225;

using Initialize = uint32_t (*)();
using DllInfo = uint32_t (*)(uint32_t* version);
using DriverInfo = uint32_t (*)(void* buffer, uint32_t size);

template <class Function>
Function as(void* symbol) {
  return reinterpret_cast<Function>(symbol);
}

} // namespace

UsbLibrary::~UsbLibrary() { dlclose(handle_); }

std::variant<void*, PathStatus> openUsbPlatformLibrary(const std::string& name) {
  errno = 0;
  void* handle = dlopen(name.c_str(), RTLD_NOW);
  if (handle == nullptr) {
    const char* reason = dlerror();
    return pathError(QOR_ERR_USB_LOAD_LIBRARY, "unable to load '%s', 'LoadLibrary' failed with ErrorCode '%d' - %s",
                     name.c_str(), errno, reason != nullptr ? reason : "");
  }
  return handle;
}

void* bindUsbFunction(void* handle, const char* name) {
  void* symbol = dlsym(handle, name);
  if (symbol == nullptr) syslog(LOG_ERR, "%s:%d : Error %s on 'dlsym'\n", __FILE__, __LINE__, name);
  return symbol;
}

std::variant<uint32_t, PathStatus> usbLibraryVersion(void* handle, uint32_t lowest, uint32_t highest) {
  const auto dllInfo = as<DllInfo>(bindUsbFunction(handle, "QorUSB_Platform_DLL_Info"));
  uint32_t version = 0;
  const uint32_t code = dllInfo != nullptr ? dllInfo(&version) : kUsbNoDevicePresent;
  if (dllInfo == nullptr || code != 0) {
    return pathError(QOR_ERR_USB_LIBRARY_VERSION, "unable to get DLL version of driver DLL - %s",
                     dllInfo == nullptr ? "'QorUSB_Platform_DLL_Info' is not available"
                                        : usbLibraryErrorText(code).c_str());
  }
  if (version < lowest) {
    return pathError(QOR_ERR_USB_VERSION_TOO_OLD, "version %d.%02d found, but version %d.%02d or higher expected",
                     static_cast<int>(version / 100), static_cast<int>(version % 100), static_cast<int>(lowest / 100),
                     static_cast<int>(lowest % 100));
  }
  if (version > highest) {
    return pathError(QOR_ERR_USB_VERSION_TOO_NEW, "dll version %d > maximum dll version %d", static_cast<int>(version),
                     static_cast<int>(highest));
  }
  return version;
}

void* UsbLibrary::bind(const char* name) const { return bindUsbFunction(handle_, name); }

std::variant<std::shared_ptr<UsbLibrary>, PathStatus> UsbLibrary::open(const std::string& name) {
  auto opened = openUsbPlatformLibrary(name);
  if (auto* failure = std::get_if<PathStatus>(&opened)) return *failure;
  return std::shared_ptr<UsbLibrary>(new UsbLibrary(std::get<void*>(opened)));
}

std::variant<UsbDeviceTable, PathStatus> UsbLibrary::readDeviceList(const std::string& name) {
  auto opened = open(name);
  if (auto* failure = std::get_if<PathStatus>(&opened)) return *failure;
  const auto library = std::get<std::shared_ptr<UsbLibrary>>(opened);
  const auto driverInfo = as<DriverInfo>(library->bind("QorUSB_Platform_Driver_Info"));
  if (driverInfo == nullptr) {
    return pathError(QOR_ERR_USB_DRIVER_INFO, "'%s' is not available", "QorUSB_Platform_Driver_Info");
  }
  std::vector<uint8_t> raw(kUsbRawListSize, 0);
  const uint32_t code = driverInfo(raw.data(), kUsbRawListSize);
  if (code == kUsbNoDevicePresent) return UsbDeviceTable{};
  if (code != 0) return usbLibraryFailure(QOR_ERR_USB_DRIVER_INFO, "QorUSB_Platform_Driver_Info", code);
  UsbDeviceTable table = buildUsbDeviceTable(raw);
  syslog(LOG_DEBUG, "%s: %u Hestor USB devices present\n", "Qor_Map_Usb_LoadDriverInfo", table.rawControllers);
  return table;
}

std::variant<std::shared_ptr<UsbLibrary>, PathStatus> UsbLibrary::loadForPorts(const std::string& name) {
  auto opened = open(name);
  if (auto* failure = std::get_if<PathStatus>(&opened)) return *failure;
  const auto library = std::get<std::shared_ptr<UsbLibrary>>(opened);
  if (const auto initialize = as<Initialize>(library->bind("QorUSB_Platform_Initialize"))) initialize();
  auto version = usbLibraryVersion(library->handle_, kLowestVersion, kHighestVersion);
  if (auto* failure = std::get_if<PathStatus>(&version)) return *failure;
  library->version_ = std::get<uint32_t>(version);
  library->bindFunctions();
  return library;
}

void UsbLibrary::bindFunctions() {
  Functions& f = functions_;
  f.writeFifo = as<WriteFifo>(bind("QorUSB_Platform_Write_FIFO"));
  f.readFifoTimeout = as<ReadFifo>(bind("QorUSB_Platform_Read_FIFO_Timeout"));
  f.readFifoExtended = as<ExtendedRead>(bind(version_ < kSpeedReadVersion
                                                 ? "QorUSB_Platform_Read_FIFO_Extended_Timeout"
                                                 : "QorUSB_Platform_Read_FIFO_Extended_Speed_Timeout"));
  f.writeFifoMemory = as<WriteFifo>(bind("QorUSB_Platform_Write_FIFO_Memory"));
  f.registerRead = as<RegisterRead>(bind("QorUSB_Platform_Xilinx_Read"));
  f.registerWrite = as<RegisterWrite>(bind("QorUSB_Platform_Xilinx_Write"));
  f.download = as<Download>(bind("QorUSB_Platform_Xilinx_Download"));
  f.designVersion = as<DesignVersion>(bind("QorUSB_Platform_Xilinx_Version"));
  f.reconfigure = as<Reconfigure>(bind("QorUSB_Platform_FPGA_Reconfiguration"));
  f.readMonitor7140 = as<MonitorRead>(bind("QorUSB_Platform_7140_Read_FIFO_Extended_Packet_Timeout"));
  if (version_ >= k94xxVersion) {
    f.read94xx = as<ReadFifo>(bind("QorUSB_Platform_94xx_ReadData"));
    f.write94xx = as<WriteFifo>(bind("QorUSB_Platform_94xx_WriteData"));
  }
}

} // namespace qor::daemon
