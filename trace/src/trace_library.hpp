// libqor_api_trace's frame: its module, its codes (texts in the core's table) and how a failure travels. Inside the
// library a failure is a TraceException, recorded for its port the moment it is made; an exported function returns
// its code.
#pragma once

#include <cstdint>
#include <string>

#include "qor_kit/library.hpp"

namespace qor::trace {

// The trace module numbers its codes on its own; they are not the kit's general numbers.
enum TraceError : uint16_t {
  kInterfaceTypeNotSupported = 0x01,
  kUnknownFlag = 0x02,
  kInvalidPortHandle = 0x03,
  kUnknownId = 0x04,
  kInvalidParameter = 0x05,
  kInvalidId = 0x06,
  kFileError = 0x07,
  kInvalidMonitorHandle = 0x08,
  kInvalidConfiguration = 0x09,
  kBufferTooSmall = 0x0A,
  kNotEnoughMemory = 0x0C,
};

inline constexpr kit::Library kTrace{0x14, kNotEnoughMemory};

// Port of a failure that belongs to no port.
inline constexpr uint32_t kNoPort = 255;

// Every failure inside the library: of its own codes, or of the core library's (a channel's own port, a command the
// device refused, a failed poll).
class TraceException {
 public:
  // Records code and text for the port at once; the text is never taken as a format.
  TraceException(uint32_t port, TraceError error, const std::string& text);
  // The same with a full code.
  TraceException(uint32_t port, uint32_t code, const std::string& text);
  uint32_t code() const { return code_; }

 private:
  uint32_t code_;
};

// A file failure with the system's words for errno: "<what>: <description>".
[[noreturn]] void throwFileError(const std::string& what, int error);

}  // namespace qor::trace
