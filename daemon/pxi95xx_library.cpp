#include "pxi95xx_library.hpp"

#include <syslog.h>

#include <cerrno>
#include <cstring>

#include "qor_error_codes.h"

namespace qor::daemon {
namespace {

constexpr uint32_t kMinimumVersion = 100; // 1.00, for the library and the driver

struct ResultText {
  int32_t result;
  const char* text;
};

constexpr ResultText kResultTexts[] = {
    {0, "no error"},
    {-1, "DLL call failed"},
    {-2, "transfer count mismatch"},
    {-3, "transfer data mismatch"},
    {-4, "no data transfer"},
    {-10, "bad parameter"},
    {-11, "bad test command"},
    {-20, "no board found"},
    {-30, "memory allocation failed"},
    {-40, "no DMA channel found"},
    {-50, "driver error"},
};

template <class Function>
bool bindNamed(LoadedLibrary& library, const char* name, Function*& function) {
  if (bindFunction(library, name, function)) return true;
  syslog(LOG_ERR, "%s:%d : Error %s on 'dlsym'\n", "bindPxi95xx", __LINE__, library.error().c_str());
  return false;
}

PathStatus versionTooOld(uint32_t code, const char* what, uint32_t version) {
  return pathError(code, "invalid %s version (version %d.%02d found, but version %d.%02d or higher expected)", what,
                   version / 100, version % 100, 1, 0);
}

} // namespace

PathStatus bindPxi95xx(LoadedLibrary& library, uint32_t libraryVersion, uint32_t driverVersion,
                       Pxi95xxFunctions& functions) {
  functions = {};
  if (!library.load()) {
    return pathError(QOR_ERR_PXI95XX_LOAD, "unable to load '%s', 'LoadLibrary' failed with ErrorCode '%d' - %s",
                     library.fileName(), ENOENT, library.error().c_str());
  }
  PathStatus status;
  Pxi95xxFunctions bound;
  if (libraryVersion < kMinimumVersion) {
    status = versionTooOld(QOR_ERR_PXI95XX_LIBRARY_VERSION, "DLL", libraryVersion);
  } else if (driverVersion < kMinimumVersion) {
    status = versionTooOld(QOR_ERR_PXI95XX_DRIVER_VERSION, "driver", driverVersion);
  } else {
    const struct {
      const char* name;
      bool found;
    } binds[] = {
        {"QorPxi95xx_OpenBoard", bindNamed(library, "QorPxi95xx_OpenBoard", bound.openBoard)},
        {"QorPxi95xx_CloseBoard", bindNamed(library, "QorPxi95xx_CloseBoard", bound.closeBoard)},
        {"QorPxi95xx_WriteCmd", bindNamed(library, "QorPxi95xx_WriteCmd", bound.writeCmd)},
        {"QorPxi95xx_ReadRsp", bindNamed(library, "QorPxi95xx_ReadRsp", bound.readRsp)},
        {"QorPxi95xx_WaitForRsp", bindNamed(library, "QorPxi95xx_WaitForRsp", bound.waitForRsp)},
    };
    for (const auto& bind : binds) {
      if (!bind.found) {
        status = pathError(QOR_ERR_PXI95XX_FUNCTION_ADDRESS,
                           "unable to load '%s', 'GetProcAddress' failed with ErrorCode '%d' - %s", bind.name, EINVAL,
                           "function not found");
        break;
      }
    }
  }
  // A library that cannot serve keeps no reference.
  if (!status.ok()) {
    library.unload();
    return status;
  }
  functions = bound;
  return {};
}

std::string pxi95xxResultText(int32_t result) {
  if (result > 0) {
    char text[256];
    return strerror_r(result, text, sizeof text);
  }
  for (const ResultText& known : kResultTexts) {
    if (known.result == result) return known.text;
  }
  return "unknown error";
}

PathStatus pxi95xxCallFailed(uint32_t code, const char* function, int32_t result) {
  return pathError(code, "'%s' failed with 'rc=%d' -> %s", function, result, pxi95xxResultText(result).c_str());
}

} // namespace qor::daemon
