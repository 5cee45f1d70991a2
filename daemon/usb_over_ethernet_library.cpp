#include "usb_over_ethernet_library.hpp"

#include <dlfcn.h>

#include <type_traits>

#include "qor_error_codes.h"
#include "usb_library.hpp"

namespace qor::daemon {
namespace {

constexpr uint32_t kLowestVersion = 100;
constexpr uint32_t kHighestVersion = 199;

} // namespace

UsbOverEthernetLibrary::~UsbOverEthernetLibrary() { dlclose(handle_); }

std::variant<std::shared_ptr<UsbOverEthernetLibrary>, PathStatus> UsbOverEthernetLibrary::load(
    const std::string& name) {
  auto opened = openUsbPlatformLibrary(name);
  if (auto* failure = std::get_if<PathStatus>(&opened)) return *failure;
  const std::shared_ptr<UsbOverEthernetLibrary> library(new UsbOverEthernetLibrary(std::get<void*>(opened)));
  auto version = usbLibraryVersion(library->handle_, kLowestVersion, kHighestVersion);
  if (auto* failure = std::get_if<PathStatus>(&version)) return *failure;
  Functions& f = library->functions_;
  const char* missing = nullptr;
  const auto bind = [&](auto& slot, const char* function) {
    slot = reinterpret_cast<std::remove_reference_t<decltype(slot)>>(bindUsbFunction(library->handle_, function));
    if (slot == nullptr && missing == nullptr) missing = function;
  };
  bind(f.connect, "QorUSB_Platform_ConnectToTarget");
  bind(f.disconnect, "QorUSB_Platform_DisconnectFromTarget");
  bind(f.enumerationStatus, "QorUSB_Platform_DeviceEnumerationStatus_Get_UoE");
  bind(f.driverInfo, "QorUSB_Platform_Driver_Info_UoE");
  bind(f.registerRead, "QorUSB_Platform_Xilinx_Read_UoE");
  bind(f.registerWrite, "QorUSB_Platform_Xilinx_Write_UoE");
  bind(f.designVersion, "QorUSB_Platform_Xilinx_Version_UoE");
  bind(f.download, "QorUSB_Platform_Xilinx_Download_UoE");
  if (missing != nullptr) {
    return pathError(QOR_ERR_USB_LOAD_LIBRARY, "'%s' is not available in '%s'", missing, name.c_str());
  }
  return library;
}

} // namespace qor::daemon
