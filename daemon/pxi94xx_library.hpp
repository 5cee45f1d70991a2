// The 94xx card library as the daemon uses it: loaded by name, its functions bound by name, the texts of its codes.
#pragma once

#include <cstdint>

#include "Pxi94xx.h"
#include "access_path.hpp"
#include "loaded_library.hpp"

namespace qor::daemon {

inline constexpr char kPxi94xxLibraryName[] = "libPxi94xx.so";
// Room for any response: the library copies a whole frame (up to 65535 bytes) and takes no capacity.
inline constexpr size_t kPxi94xxResponseRoom = 0x10000;

// The functions a 94xx port uses.
struct Pxi94xxFunctions {
  decltype(&Pxi94xx__WriteInstruction) writeInstruction = nullptr;
  decltype(&Pxi94xx__ReadResponse) readResponse = nullptr;
  decltype(&Pxi94xx__FpgaReadData) fpgaReadData = nullptr;
  decltype(&Pxi94xx__NotificationInit) notificationInit = nullptr;
  decltype(&Pxi94xx__NotificationWait) notificationWait = nullptr;
  decltype(&Pxi94xx__NotificationCancel) notificationCancel = nullptr;
  decltype(&Pxi94xx__SetInterruptSource) setInterruptSource = nullptr;
  decltype(&Pxi94xx__IsDeviceNumberValid) isDeviceNumberValid = nullptr;
};

// Loads the library and binds the functions, once the versions it reported pass: library above 1.01, driver above
// 1.00. Codes 0x1070004 (load), 0x1070007, 0x107000D (versions), 0x1070005 (a function missing).
PathStatus bindPxi94xx(LoadedLibrary& library, uint32_t libraryVersion, uint32_t driverVersion,
                       Pxi94xxFunctions& functions);

// The text of a code of the library; "unknown error" for a code it does not name.
const char* pxi94xxCodeText(uint32_t code);

// A failure of a library call: "'<function>' failed with 'rc=0x%08X' -> <text of the code>".
PathStatus pxi94xxCallFailed(uint32_t code, const char* function, uint32_t libraryCode);

} // namespace qor::daemon
