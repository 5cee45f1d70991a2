// What the FlexRay and Ethernet road tests read with: a call on a port, the last error's text and tables of refusals.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <functional>
#include <span>
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

// Each call on the port with its code and, when it has one, its code text or detail.
inline void expectRefusals(uint32_t port, std::span<const Refusal> cases) {
  for (const Refusal& c : cases) {
    EXPECT_EQ(c.call(port), c.code) << c.name;
    if (c.text != nullptr && *c.text != 0) {
      EXPECT_TRUE(saysSo(c.text)) << c.name << ": " << lastText();
    }
  }
}

// In their order, each with its code's whole description.
inline void expectDescribedRefusals(uint32_t port, std::span<const Refusal> cases) {
  for (const Refusal& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.call(port), c.code);
    EXPECT_EQ(lastText(), described(c.code, c.text));
  }
}

}  // namespace qor::test
