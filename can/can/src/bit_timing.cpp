#include "bit_timing.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <optional>

#include "can_library.hpp"
#include "qor_can_node.h"

namespace qor::can {
namespace {

constexpr double kClockHz = QOR_CAN_BIT_TIMING_CLOCK_HZ;
constexpr int kMinTimeQuanta = 8;
constexpr int kMaxTimeQuanta = 25;
constexpr int kMinTseg1 = 3;
constexpr int kMaxTseg1 = 16;
constexpr int kMinTseg2 = 2;
constexpr int kMaxTseg2 = 8;
constexpr int kMaxSjw = 4;
constexpr int kMaxPrescaler = 64;
constexpr int kDiv8CyclesPerStep = 8;
constexpr double kDefaultSamplePoint = 80;

// One setting that honours the request.
struct Candidate {
  bool div8;
  int prescaler;
  int timeQuanta;
  int tseg1;
  int tseg2;
  double rateDeviation;         // |rate - requested| in percent of the requested rate
  double samplePointDeviation;  // percentage points from the setting's sample point as a whole percent
};

std::string formatted(const char* format, double value) {
  char text[64];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

std::string formatted(int value) { return std::to_string(value); }

// A fraction of 0.5 or more goes up; NaN and infinities stay what they are.
double roundHalfUp(double value) {
  const double whole = std::floor(value);
  return value - whole >= 0.5 ? whole + 1 : whole;
}

// Every range is tested on the caller's values before any of them is converted.
std::optional<BitTimingRefusal> checkInputs(const BitTimingRequest& request) {
  const double samplePoint = request.samplePoint;
  if (!(samplePoint < 100) || std::isinf(samplePoint)) {
    return BitTimingRefusal{kInvalidSamplePoint, formatted("%02.3f", samplePoint)};
  }
  const struct {
    bool refused;
    CanError error;
    int value;
  } limits[] = {
      {request.timeQuanta != 0 && request.timeQuanta < kMinTimeQuanta, kTooFewTimeQuanta, request.timeQuanta},
      {request.timeQuanta > kMaxTimeQuanta, kTooManyTimeQuanta, request.timeQuanta},
      {request.tseg1 != 0 && request.tseg1 < kMinTseg1, kTseg1TooLow, request.tseg1},
      {request.tseg1 > kMaxTseg1, kTseg1TooHigh, request.tseg1},
      {request.tseg2 != 0 && request.tseg2 < kMinTseg2, kTseg2TooLow, request.tseg2},
      {request.tseg2 > kMaxTseg2, kTseg2TooHigh, request.tseg2},
      {request.sjw > kMaxSjw, kSjwTooHigh, request.sjw},
  };
  for (const auto& limit : limits) {
    if (limit.refused) return BitTimingRefusal{limit.error, formatted(limit.value)};
  }
  return std::nullopt;
}

// The prescaler nearest (half up) to the one the rate needs, or 0 when that is out of range (also for rates that
// are not a number, infinite, 0 or negative).
int prescalerFor(int timeQuanta, int cyclesPerStep, double baudRate) {
  const double rounded = roundHalfUp(kClockHz / (timeQuanta * (baudRate * cyclesPerStep)));
  return rounded >= 1 && rounded <= kMaxPrescaler ? static_cast<int>(rounded) : 0;
}

// TSEG1 and TSEG2 from the given ones for this count; false when they do not fit it. Both stay 0 when neither is
// given.
bool splitFromGiven(const BitTimingRequest& request, Candidate& candidate) {
  const int tq = candidate.timeQuanta;
  if (request.tseg1 != 0 && request.tseg2 != 0) {
    candidate.tseg1 = request.tseg1;
    candidate.tseg2 = request.tseg2;
    return tq == request.tseg1 + request.tseg2 + 1;
  }
  if (request.tseg1 != 0) {
    candidate.tseg1 = request.tseg1;
    candidate.tseg2 = tq - 1 - request.tseg1;
    return candidate.tseg2 >= kMinTseg2 && candidate.tseg2 <= kMaxTseg2;
  }
  if (request.tseg2 != 0) {
    candidate.tseg2 = request.tseg2;
    candidate.tseg1 = tq - 1 - request.tseg2;
    return candidate.tseg1 >= kMinTseg1 && candidate.tseg1 <= kMaxTseg1;
  }
  return true;
}

// TSEG2 nearest the sample point, then both held within their limits.
void splitBySamplePoint(double samplePoint, Candidate& candidate) {
  const int tq = candidate.timeQuanta;
  // Held to 0..tq before the conversion: any TSEG2 beyond lands on the same limits below (a negative sample point).
  const double tseg2 = std::clamp(roundHalfUp(tq * (100 - samplePoint) / 100), 0.0, static_cast<double>(tq));
  candidate.tseg2 = static_cast<int>(tseg2);
  candidate.tseg1 = tq - 1 - candidate.tseg2;
  candidate.tseg1 = std::clamp(candidate.tseg1, kMinTseg1, kMaxTseg1);
  candidate.tseg2 = std::clamp(tq - 1 - candidate.tseg1, kMinTseg2, kMaxTseg2);
  candidate.tseg1 = tq - 1 - candidate.tseg2;
}

// Ties are exact: the rate is one division by the integer product, so equal settings give equal doubles.
double rateDeviation(const Candidate& candidate, double baudRate) {
  const int cycles = candidate.prescaler * candidate.timeQuanta * (candidate.div8 ? kDiv8CyclesPerStep : 1);
  const double rate = kClockHz / cycles;
  return std::fabs(rate - baudRate) * 100 / baudRate;
}

double samplePointDeviation(const Candidate& candidate, double samplePoint) {
  const int tq = candidate.timeQuanta;
  const int wholePercent = (tq - candidate.tseg2) * 100 / tq;
  return std::fabs(samplePoint - wholePercent);
}

// Smallest rate deviation, then smallest sample-point deviation, then more time quanta; the earlier wins a tie.
bool better(const Candidate& a, const Candidate& b) {
  if (a.rateDeviation != b.rateDeviation) return a.rateDeviation < b.rateDeviation;
  if (a.samplePointDeviation != b.samplePointDeviation) return a.samplePointDeviation < b.samplePointDeviation;
  return a.timeQuanta > b.timeQuanta;
}

uint16_t registerValue(const Candidate& chosen, uint8_t givenSjw) {
  const int sjw = givenSjw != 0 ? givenSjw : std::min(chosen.tseg2, kMaxSjw);
  const int sjwField = chosen.tseg1 > sjw ? sjw - 1 : sjw - 2;
  return static_cast<uint16_t>((chosen.div8 ? 1 : 0) << 15 | (chosen.tseg2 - 1) << 12 | (chosen.tseg1 - 1) << 8 |
                               sjwField << 6 | (chosen.prescaler - 1));
}

}  // namespace

std::variant<uint16_t, BitTimingRefusal> calculateBitTiming(const BitTimingRequest& request) {
  if (std::optional<BitTimingRefusal> refusal = checkInputs(request)) return *refusal;
  const double samplePoint = request.samplePoint == 0 ? kDefaultSamplePoint : request.samplePoint;

  std::optional<Candidate> best;
  for (bool div8 : {false, true}) {
    for (int tq = kMaxTimeQuanta; tq >= kMinTimeQuanta; --tq) {
      if (request.timeQuanta != 0 && request.timeQuanta != tq) continue;
      Candidate candidate{div8, 0, tq, 0, 0, 0, 0};
      candidate.prescaler = prescalerFor(tq, div8 ? kDiv8CyclesPerStep : 1, request.baudRate);
      if (candidate.prescaler == 0 || !splitFromGiven(request, candidate)) continue;
      if (candidate.tseg1 == 0) splitBySamplePoint(samplePoint, candidate);
      candidate.rateDeviation = rateDeviation(candidate, request.baudRate);
      candidate.samplePointDeviation = samplePointDeviation(candidate, samplePoint);
      if (!best || better(candidate, *best)) best = candidate;
    }
  }
  if (!best) return BitTimingRefusal{kNoBaudrateFound, formatted("%.3f", request.baudRate)};
  return registerValue(*best, request.sjw);
}

namespace {

uint32_t calculateRegisterValue(const kit::Call& call, uint32_t* registerValue, const BitTimingRequest& request) {
  if (uint32_t code = call.checkPointer(registerValue, "registerValue")) return code;
  *registerValue = 0;
  const auto result = calculateBitTiming(request);
  if (const auto* refusal = std::get_if<BitTimingRefusal>(&result)) {
    return call.fail(kCan.code(refusal->error), "%s", refusal->text.c_str());
  }
  *registerValue = std::get<uint16_t>(result);
  return 0;
}

}  // namespace
}  // namespace qor::can

using qor::can::kCan;

uint32_t BaudRate_CalculateRegisterValue_TriCore(uint32_t port, uint32_t* registerValue, uint8_t timeQuanta,
                                                 uint8_t tseg1, uint8_t tseg2, uint8_t sjw, double baudRate,
                                                 double samplePoint) try {
  return qor::can::calculateRegisterValue(qor::kit::Call(kCan, port), registerValue,
                                          {timeQuanta, tseg1, tseg2, sjw, baudRate, samplePoint});
} catch (...) {
  return kCan.failedCall(port);
}

uint32_t Qor_Can_Node_CalculateBaudrateRegisterValue(uint32_t port, uint32_t* registerValue, uint8_t timeQuanta,
                                                     uint8_t tseg1, uint8_t tseg2, uint8_t sjw, double baudRate,
                                                     double samplePoint) try {
  const qor::kit::Call call(kCan, port);
  if (uint32_t code = qor::can::checkCanInterface(call)) return code;
  return qor::can::calculateRegisterValue(call, registerValue, {timeQuanta, tseg1, tseg2, sjw, baudRate, samplePoint});
} catch (...) {
  return kCan.failedCall(port);
}
