// The 95xx card library as the daemon uses it: loaded by name, its functions bound by name, the texts of its results.
#pragma once

#include <cstdint>

#include "QorPxi95xx_API.h"
#include "access_path.hpp"
#include "loaded_library.hpp"
#include "qor_shared/card_library.hpp"

namespace qor::daemon {

// The functions a 95xx port and the probe's identification use.
struct Pxi95xxFunctions {
  decltype(&QorPxi95xx_OpenBoard) openBoard = nullptr;
  decltype(&QorPxi95xx_CloseBoard) closeBoard = nullptr;
  decltype(&QorPxi95xx_WriteCmd) writeCmd = nullptr;
  decltype(&QorPxi95xx_ReadRsp) readRsp = nullptr;
  decltype(&QorPxi95xx_WaitForRsp) waitForRsp = nullptr;
};

// Loads the library and binds the functions, once the versions it reported pass (both 1.00 or higher). Codes
// 0x10C0004 (load), 0x10C0007, 0x10C000A (versions), 0x10C0005 (a function missing). On success the caller holds
// one reference of the library.
PathStatus bindPxi95xx(LoadedLibrary& library, uint32_t libraryVersion, uint32_t driverVersion,
                       Pxi95xxFunctions& functions);

// The text of a library result: the library's own texts for negative results, the system's for error numbers.
std::string pxi95xxResultText(int32_t result);

// A failure of a library call: "'<function>' failed with 'rc=%d' -> <text of the result>".
PathStatus pxi95xxCallFailed(uint32_t code, const char* function, int32_t result);

} // namespace qor::daemon
