// Numbers and times as the ASC lines write them. A line's numbers are hex or decimal by the file's base, or fixed
// to one by the field; widths are blank-filled and left-aligned unless a field says otherwise.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace qor::trace {

enum class Radix { Decimal, Hex };

struct NumberFormat {
  Radix radix = Radix::Hex;
  int width = 0;
  bool rightAligned = false;
  bool zeroFilled = false;  // right-aligned with leading zeros
};

class AscLine {
 public:
  explicit AscLine(std::string& text, bool decimalFile) : text_(text), decimalFile_(decimalFile) {}

  AscLine& operator<<(std::string_view words) {
    text_ += words;
    return *this;
  }
  AscLine& number(uint64_t value, NumberFormat format);
  AscLine& hex(uint64_t value) { return number(value, {Radix::Hex}); }
  AscLine& decimal(uint64_t value) { return number(value, {Radix::Decimal}); }
  // In the file's base.
  AscLine& based(uint64_t value, int width = 0) { return number(value, {fileRadix(), width}); }
  // Right-aligned, zero-filled, in the file's base.
  AscLine& basedFilled(uint64_t value, int width) { return number(value, {fileRadix(), width, true, true}); }
  Radix fileRadix() const { return decimalFile_ ? Radix::Decimal : Radix::Hex; }
  bool decimalFile() const { return decimalFile_; }

 private:
  std::string& text_;
  bool decimalFile_;
};

// Nanoseconds as seconds with 9 decimals, from integers: exact for every 64-bit count.
std::string secondsText(uint64_t nanoseconds);
// A signed count of nanoseconds as seconds with 6 decimals, rounded.
std::string secondsText6(int64_t nanoseconds);

}  // namespace qor::trace
