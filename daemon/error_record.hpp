// The daemon's last error: the code and text of the latest error recorded anywhere in the daemon (message 0x18).
#pragma once

#include <cstdarg>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>

namespace qor::daemon {

inline constexpr size_t kErrorTextSize = 4096; // with the NUL

// printf into a text of at most kErrorTextSize - 1 bytes.
std::string formatText(const char* format, va_list arguments);

class ErrorRecord {
public:
  struct Entry {
    uint32_t code = 0;
    std::string text;
  };
  void store(uint32_t code, std::string_view text);
  Entry last() const;

private:
  mutable std::mutex mutex_;
  Entry last_;
};

} // namespace qor::daemon
