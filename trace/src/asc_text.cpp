#include "asc_text.hpp"

#include <cinttypes>
#include <cstdio>

namespace qor::trace {

AscLine& AscLine::number(uint64_t value, NumberFormat format) {
  char digits[32];
  const char* conversion = format.radix == Radix::Hex ? "%" PRIx64 : "%" PRIu64;
  const int count = std::snprintf(digits, sizeof digits, conversion, value);
  const size_t pad = format.width > count ? static_cast<size_t>(format.width - count) : 0;
  if (format.rightAligned) text_.append(pad, format.zeroFilled ? '0' : ' ');
  text_.append(digits, static_cast<size_t>(count));
  if (!format.rightAligned) text_.append(pad, ' ');
  return *this;
}

std::string secondsText(uint64_t nanoseconds) {
  char text[40];
  std::snprintf(text, sizeof text, "%" PRIu64 ".%09" PRIu64, nanoseconds / 1000000000u, nanoseconds % 1000000000u);
  return text;
}

std::string secondsText6(int64_t nanoseconds) {
  const bool negative = nanoseconds < 0;
  const uint64_t magnitude = negative ? 0 - static_cast<uint64_t>(nanoseconds) : static_cast<uint64_t>(nanoseconds);
  const uint64_t microseconds = magnitude / 1000 + (magnitude % 1000 >= 500 ? 1 : 0);
  char text[40];
  std::snprintf(text, sizeof text, "%s%" PRIu64 ".%06" PRIu64, negative ? "-" : "", microseconds / 1000000u,
                microseconds % 1000000u);
  return text;
}

}  // namespace qor::trace
