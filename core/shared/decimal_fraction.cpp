#include <cmath>

#include "qor_helpers.h"

namespace {

// The tolerance is a single-precision constant on purpose: results must match those of the firmware's tools.
constexpr double kTolerance = static_cast<double>(1e-5f);
constexpr double kLimit = 4294967295.0;
constexpr double kExactBeyond = 4503599627370496.0; // 2^52: such doubles carry no fraction
constexpr int kMaxTerms = 100;                      // convergents exceed the limit long before

uint32_t toU32(double value) {
  return static_cast<uint32_t>(static_cast<int64_t>(value));
}

} // namespace

extern "C" void Qor_Internal_Math_Float64_Decimal2Fraction(uint32_t* numerator, uint32_t* denominator, double x) {
  *numerator = 0;
  *denominator = 1;
  if (!std::isfinite(x) || std::fabs(x) <= kTolerance) return;
  const double a0 = std::fabs(x) >= kExactBeyond ? x : std::floor(x);
  double h = a0, k = 1, hPrevious = 1, kPrevious = 0;
  double r = x - a0, rPrevious = 1;
  // Negative magnitudes beyond the limit cannot be stored either.
  if (std::fabs(h) > kLimit || k > kLimit) return;
  for (int term = 0; term < kMaxTerms; ++term) {
    const double q = rPrevious / r;
    *numerator = toU32(h);
    *denominator = toU32(k);
    const double a = std::floor(q);
    if (std::fabs(k) <= kTolerance || std::fabs(h / k - x) <= kTolerance || a * h + hPrevious > kLimit ||
        a * k + kPrevious > kLimit) {
      break;
    }
    const double hNext = a * h + hPrevious, kNext = a * k + kPrevious;
    hPrevious = h;
    kPrevious = k;
    h = hNext;
    k = kNext;
    const double rNext = rPrevious - a * r;
    rPrevious = r;
    r = rNext;
  }
  if (*denominator == 0) *denominator = 1;
}
