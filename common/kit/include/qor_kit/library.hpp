// The frame of a library: its error codes and how it reports a failure. Every bus library has the same general codes
// (class 0x02, its module, numbers 1 to 10), with texts in the core's error table; a library names its own further
// codes by number. A failure is recorded through Qor_ErrorHandler for the port and the process, and its code returned.
#pragma once

#include <cstdint>

namespace qor::kit {

// Numbers that every library's module shares.
enum class GeneralError : uint16_t {
  WrongInterfaceType = 0x01,
  InvalidDataLength = 0x02,
  InvalidResponseLength = 0x03,
  UnknownFlag = 0x04,
  UnknownMode = 0x05,
  ResponseBufferUndersized = 0x06,
  InvalidParameter = 0x07,
  UserTimeout = 0x08,
  InvalidResponseParameter = 0x09,
  NoLock = 0x0A,
};

class Library {
 public:
  // outOfMemory: the library's own "not enough memory" number; 0 takes the core's code.
  constexpr explicit Library(uint8_t module, uint16_t outOfMemory = 0) : module_(module), outOfMemory_(outOfMemory) {}

  constexpr uint32_t code(uint16_t number) const { return 0x02000000u | uint32_t{module_} << 16 | number; }
  constexpr uint32_t code(GeneralError error) const { return code(static_cast<uint16_t>(error)); }

  // Records the formatted text (none for an empty format) with the code for the port and the process; returns code.
  // A text that came from elsewhere goes in as an argument ("%s"), never as the format.
  uint32_t fail(uint32_t port, uint32_t code, const char* format, ...) const __attribute__((format(printf, 4, 5)));
  uint32_t fail(uint32_t port, uint32_t code) const { return fail(port, code, "%s", ""); }
  uint32_t fail(uint32_t port, GeneralError error) const { return fail(port, code(error)); }

  // No exception leaves an exported function: each body is a function-try-block whose handler returns this.
  // Records the exception in flight (call only inside a handler): exhausted memory as "not enough memory", anything
  // else as an internal error with its text.
  //
  //   uint32_t Qor_Common_Something(uint32_t port, ...) try {
  //     ...
  //   } catch (...) {
  //     return kCommon.failedCall(port);
  //   }
  uint32_t failedCall(uint32_t port) const noexcept;

 private:
  uint8_t module_;
  uint16_t outOfMemory_;
};

}  // namespace qor::kit
