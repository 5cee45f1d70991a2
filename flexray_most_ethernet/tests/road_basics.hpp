// What the FlexRay and Ethernet road tests read with: a call on a port, a refusal of one and the last error's text.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>

#include "qor_api.h"
#include "qor_helpers.h"

namespace qor::test {

using PortCall = std::function<uint32_t(uint32_t)>;

// A call refused before anything is sent: its code and the text it says (none when empty or null).
struct Refusal {
  const char* name;
  PortCall call;
  uint32_t code;
  const char* text;
};

inline std::string lastText() { return Qor_GetLastErrorDescription(); }

// The last error's description: the code, the library's text for it and the detail text, if any.
inline std::string described(uint32_t code, const std::string& detail) {
  char text[512];
  snprintf(text, sizeof text, "0x%08X - %s", code, Qor_Error_GetErrorDescription(code));
  return detail.empty() ? text : text + (" - " + detail);
}

// The last error's text carries the given code text or detail.
inline bool saysSo(const char* text) { return lastText().find(std::string(" - ") + text) != std::string::npos; }

}  // namespace qor::test
