#include <cstdio>
#include <cstring>

#include "qor_helpers.h"

namespace {
constexpr uint32_t kFileNotFound = 0x2000108;
}

extern "C" {

uint32_t Qor_Internal_GetFileSize(const char* path, uint32_t* size) {
  FILE* file = path ? fopen(path, "rb") : nullptr;
  if (file == nullptr) return kFileNotFound;
  long end = -1;
  if (fseek(file, 0, SEEK_END) == 0) end = ftell(file);
  fclose(file);
  if (end < 0) return kFileNotFound;
  if (size) *size = static_cast<uint32_t>(end);
  return 0;
}

const char* Qor_Internal_GetWindowsErrorDescription(uint32_t errorNumber) {
  return strerror(static_cast<int>(errorNumber));
}

} // extern "C"
