#include "pxi94xx_library.hpp"

#include <syslog.h>

#include <algorithm>
#include <cerrno>
#include <iterator>

#include "qor_error_codes.h"

namespace qor::daemon {
namespace {

constexpr uint32_t kMinimumLibraryVersion = 102; // 1.02
constexpr uint32_t kMinimumDriverVersion = 101;  // 1.01

struct CodeText {
  uint32_t code;
  const char* text;
};

// Ascending by code.
constexpr CodeText kCodeTexts[] = {
    {0, "no error"},
    {0xE0000001, "unknown IOCTL"},
    {0xE0000002, "unsupported device"},
    {0xE0000003, "FPGA download error"},
    {0xE0000004, "API - FPGA write data header error"},
    {0xE0000005, "API - user memory undersized"},
    {0xE00000F0, "undefined error"},
    {0xE0000100, "API - invalid handle"},
    {0xE0000101, "API - invalid card number"},
    {0xE0000102, "API - invalid node number"},
    {0xE0000105, "API - no card present"},
    {0xE0000106, "API - not equal length on write instruction"},
    {0xE0000107, "API - FIFO write - full"},
    {0xE0000108, "API - FIFO write - not enough memory"},
    {0xE0000109, "API - FIFO read - no packet start"},
    {0xE000010A, "API - FIFO read - no packet end"},
    {0xE000010B, "API - FIFO monitor - no packet start"},
    {0xE000010C, "API - FIFO monitor - no packet end"},
    {0xE000010D, "API - Fpga Download - buffer error"},
    {0xE000010E, "API - Fpga Download - invalid file"},
    {0xE000010F, "API - Fpga Download - addressing error"},
    {0xE0000110, "API - Fpga Download - write timeout"},
    {0xE0000111, "API - Fpga Download - read timeout"},
    {0xE0000112, "API - Fpga Download - command error"},
    {0xE0000113, "API - Fpga Download - address error"},
    {0xE0000114, "API - Fpga Download - data compare error"},
    {0xE0000200, "API - EEPROM not present"},
    {0xE0000300, "API - not enough memory"},
    {0xE0000301, "API - invalid parameter"},
    {0xE0000302, "API - notification timeout"},
    {0xE0000303, "API - notification canceled"},
    {0xE0000304, "API - not enough resources"},
    {0xE0000400, "API - firmware error"},
    {0xE0000500, "Tentacor - SPI error"},
    {0xE0000501, "Tentacor - SPI timeout"},
    {0xE0000502, "Tentacor - invalid address"},
    {0xE0000503, "Tentacor - invalid device"},
    {0xE0000504, "Tentacor - invalid size"},
};
static_assert(std::ranges::is_sorted(kCodeTexts, {}, &CodeText::code));

template <class Function>
bool bindNamed(LoadedLibrary& library, const char* name, Function*& function) {
  if (bindFunction(library, name, function)) return true;
  syslog(LOG_ERR, "%s:%d : Error %s on 'dlsym'\n", "bindPxi94xx", __LINE__, library.error().c_str());
  return false;
}

PathStatus missingFunction(const char* name) {
  return pathError(QOR_ERR_PXI94XX_FUNCTION_ADDRESS,
                   "unable to load '%s', 'GetProcAddress' failed with ErrorCode '%d' - %s", name, EINVAL,
                   "function not found");
}

} // namespace

PathStatus bindPxi94xx(LoadedLibrary& library, uint32_t libraryVersion, uint32_t driverVersion,
                       Pxi94xxFunctions& functions) {
  functions = {};
  if (!library.load()) {
    return pathError(QOR_ERR_PXI94XX_LOAD, "unable to load '%s', 'LoadLibrary' failed with ErrorCode '%d' - %s",
                     library.fileName(), ENOENT, library.error().c_str());
  }
  if (libraryVersion < kMinimumLibraryVersion) {
    return pathError(QOR_ERR_PXI94XX_LIBRARY_VERSION,
                     "invalid DLL version (version %d.%02d found, but version %d.%02d or higher expected)",
                     libraryVersion / 100, libraryVersion % 100, 1, 2);
  }
  if (driverVersion < kMinimumDriverVersion) {
    return pathError(QOR_ERR_PXI94XX_DRIVER_VERSION,
                     "invalid driver version (version %d.%02d found, but version %d.%02d or higher expected)",
                     driverVersion / 100, driverVersion % 100, 1, 1);
  }
  Pxi94xxFunctions bound;
  const struct {
    const char* name;
    bool found;
  } binds[] = {
      {"Pxi94xx__WriteInstruction", bindNamed(library, "Pxi94xx__WriteInstruction", bound.writeInstruction)},
      {"Pxi94xx__ReadResponse", bindNamed(library, "Pxi94xx__ReadResponse", bound.readResponse)},
      {"Pxi94xx__FpgaReadData", bindNamed(library, "Pxi94xx__FpgaReadData", bound.fpgaReadData)},
      {"Pxi94xx__NotificationInit", bindNamed(library, "Pxi94xx__NotificationInit", bound.notificationInit)},
      {"Pxi94xx__NotificationWait", bindNamed(library, "Pxi94xx__NotificationWait", bound.notificationWait)},
      {"Pxi94xx__NotificationCancel", bindNamed(library, "Pxi94xx__NotificationCancel", bound.notificationCancel)},
      {"Pxi94xx__SetInterruptSource", bindNamed(library, "Pxi94xx__SetInterruptSource", bound.setInterruptSource)},
      {"Pxi94xx__IsDeviceNumberValid",
       bindNamed(library, "Pxi94xx__IsDeviceNumberValid", bound.isDeviceNumberValid)},
  };
  for (const auto& bind : binds) {
    if (!bind.found) return missingFunction(bind.name);
  }
  functions = bound;
  return {};
}

const char* pxi94xxCodeText(uint32_t code) {
  const CodeText* found = std::ranges::lower_bound(kCodeTexts, code, {}, &CodeText::code);
  return found != std::end(kCodeTexts) && found->code == code ? found->text : "unknown error";
}

PathStatus pxi94xxCallFailed(uint32_t code, const char* function, uint32_t libraryCode) {
  return pathError(code, "'%s' failed with 'rc=0x%08X' -> %s", function, libraryCode, pxi94xxCodeText(libraryCode));
}

} // namespace qor::daemon
