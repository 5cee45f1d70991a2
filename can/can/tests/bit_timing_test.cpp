// The bit-timing calculation: worked examples and refusals as a table, an exhaustive scan of every legal register
// setting as a property (no setting has a smaller bit-rate error), and the bit-rate error against the kernel's
// calculation as can-utils' can-calc-bit-timing prints it (never worse where the kernel's setting has at least
// 8 time quanta).
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <map>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "qor_api.h"
#include "qor_can_node.h"

namespace {

constexpr uint32_t kNoPort = QOR_NO_PORT;
constexpr uint32_t kInvalidParameter = 0x02020007;
constexpr uint32_t kInvalidSamplePoint = 0x02020203;
constexpr uint32_t kTooFewTimeQuanta = 0x02020204;
constexpr uint32_t kTooManyTimeQuanta = 0x02020205;
constexpr uint32_t kTseg1TooLow = 0x02020206;
constexpr uint32_t kTseg1TooHigh = 0x02020207;
constexpr uint32_t kTseg2TooLow = 0x02020208;
constexpr uint32_t kTseg2TooHigh = 0x02020209;
constexpr uint32_t kSjwTooHigh = 0x0202020B;
constexpr uint32_t kNoBaudrateFound = 0x0202020C;
constexpr double kClockHz = 40e6;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInfinity = std::numeric_limits<double>::infinity();

struct Request {
  double baudRate;
  double samplePoint = 0;
  uint8_t timeQuanta = 0;
  uint8_t tseg1 = 0;
  uint8_t tseg2 = 0;
  uint8_t sjw = 0;
};

uint32_t calculate(const Request& request, uint32_t* registerValue) {
  return BaudRate_CalculateRegisterValue_TriCore(kNoPort, registerValue, request.timeQuanta, request.tseg1,
                                                 request.tseg2, request.sjw, request.baudRate, request.samplePoint);
}

// A register value taken apart.
struct Setting {
  int div8;
  int prescaler;
  int tseg1;
  int tseg2;
  int sjwField;
  int timeQuanta() const { return 1 + tseg1 + tseg2; }
  double rate() const { return kClockHz / (prescaler * timeQuanta() * (div8 ? 8 : 1)); }
  bool legal() const {
    return prescaler >= 1 && prescaler <= 64 && tseg1 >= 3 && tseg1 <= 16 && tseg2 >= 2 && tseg2 <= 8 &&
           timeQuanta() >= 8 && timeQuanta() <= 25;
  }
};

Setting decode(uint32_t value) {
  return {static_cast<int>(value >> 15 & 1), static_cast<int>((value & 0x3F) + 1),
          static_cast<int>((value >> 8 & 0xF) + 1), static_cast<int>((value >> 12 & 0x7) + 1),
          static_cast<int>(value >> 6 & 3)};
}

// The deviation as the calculation states it: percent of the requested rate.
double rateError(double rate, double requested) { return std::fabs(rate - requested) * 100 / requested; }

TEST(BitTiming, ExamplesAndRefusals) {
  const struct Case {
    const char* name;
    Request request;
    uint32_t code;
    uint32_t registerValue;  // when code is 0
    const char* text;        // when code is not 0
  } cases[] = {
      {"500 kbit/s, all chosen", {500000}, 0, 0x3EC3, nullptr},
      {"250 kbit/s", {250000}, 0, 0x3EC7, nullptr},
      {"1 Mbit/s", {1000000}, 0, 0x3EC1, nullptr},
      {"sample point 0 is 80 %", {500000, 80}, 0, 0x3EC3, nullptr},
      {"lowest rate found: 3125 bit/s with DIV8", {3101}, 0, 0xFFFF, nullptr},
      {"below it none", {3100}, kNoBaudrateFound, 0, "3100.000"},
      {"10 Mbit/s finds 5 Mbit/s", {10e6}, 0, 0x1440, nullptr},
      {"no bound on the error", {9999999}, 0, 0x1440, nullptr},
      {"above 10 Mbit/s none", {10000001}, kNoBaudrateFound, 0, "10000001.000"},
      {"given SJW 4 with a chosen TSEG1 of 4: field 2", {500000, 62.5, 8, 0, 0, 4}, 0, 0x2389, nullptr},
      {"given split: TQ 16, TSEG1 12, TSEG2 3", {500000, 0, 16, 12, 3}, 0, 0x2B84, nullptr},
      {"given split that no count fits", {500000, 0, 20, 10, 4}, kNoBaudrateFound, 0, "500000.000"},
      {"negative sample point: limits hold", {500000, -50}, 0, 0x5287, nullptr},
      // So far off that every sample-point deviation rounds to the same double: more time quanta win.
      {"hugely negative sample point: limits hold", {500000, -1e308}, 0, 0x7AC3, nullptr},
      {"sample point 100", {500000, 100}, kInvalidSamplePoint, 0, "100.000"},
      {"sample point NaN", {500000, kNaN}, kInvalidSamplePoint, 0, "nan"},
      {"sample point infinite", {500000, kInfinity}, kInvalidSamplePoint, 0, "inf"},
      {"sample point minus infinity", {500000, -kInfinity}, kInvalidSamplePoint, 0, "-inf"},
      {"sample point checked first", {500000, 100, 7}, kInvalidSamplePoint, 0, "100.000"},
      {"TQ 7", {500000, 0, 7}, kTooFewTimeQuanta, 0, "7"},
      {"TQ 26", {500000, 0, 26}, kTooManyTimeQuanta, 0, "26"},
      {"TSEG1 2", {500000, 0, 0, 2}, kTseg1TooLow, 0, "2"},
      {"TSEG1 17", {500000, 0, 0, 17}, kTseg1TooHigh, 0, "17"},
      {"TSEG2 1", {500000, 0, 0, 0, 1}, kTseg2TooLow, 0, "1"},
      {"TSEG2 9", {500000, 0, 0, 0, 9}, kTseg2TooHigh, 0, "9"},
      {"SJW 5", {500000, 0, 0, 0, 0, 5}, kSjwTooHigh, 0, "5"},
      {"rate 0", {0}, kNoBaudrateFound, 0, "0.000"},
      {"negative rate", {-500000}, kNoBaudrateFound, 0, "-500000.000"},
      {"rate NaN", {kNaN}, kNoBaudrateFound, 0, "nan"},
      {"rate infinite", {kInfinity}, kNoBaudrateFound, 0, "inf"},
      {"rate minus infinity", {-kInfinity}, kNoBaudrateFound, 0, "-inf"},
      {"rate next to 0", {std::numeric_limits<double>::denorm_min()}, kNoBaudrateFound, 0, "0.000"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    uint32_t registerValue = 0xEEEE;
    ASSERT_EQ(calculate(c.request, &registerValue), c.code) << Qor_GetLastErrorDescription();
    EXPECT_EQ(registerValue, c.registerValue);
    if (c.code != 0) {
      EXPECT_NE(std::string(Qor_GetLastErrorDescription()).find(std::string(" - ") + c.text), std::string::npos)
          << Qor_GetLastErrorDescription();
    }
  }
}

TEST(BitTiming, TheCheckedCallNeedsACanPortAndEveryCallARegister) {
  uint32_t registerValue = 0xEEEE;
  EXPECT_EQ(Qor_Can_Node_CalculateBaudrateRegisterValue(kNoPort, &registerValue, 0, 0, 0, 0, 500000, 0),
            QOR_ERR_API_INVALID_PORT_HANDLE);
  EXPECT_EQ(registerValue, 0xEEEEu);
  EXPECT_EQ(calculate({500000}, nullptr), kInvalidParameter);
}

// Every legal setting (DIV8, prescaler 1-64, TSEG1 3-16, TSEG2 2-8, 8 to 25 time quanta): 12,160 of them. Only the
// product of prescaler, time quanta and step size sets the rate.
std::vector<int> legalCycleCounts() {
  std::vector<int> counts;
  for (int div8 = 0; div8 <= 1; ++div8) {
    for (int prescaler = 1; prescaler <= 64; ++prescaler) {
      for (int tseg1 = 3; tseg1 <= 16; ++tseg1) {
        for (int tseg2 = 2; tseg2 <= 8; ++tseg2) {
          const Setting setting{div8, prescaler, tseg1, tseg2, 0};
          if (setting.legal()) counts.push_back(prescaler * setting.timeQuanta() * (div8 ? 8 : 1));
        }
      }
    }
  }
  return counts;
}

TEST(BitTiming, NoLegalSettingHasASmallerRateErrorForIntegerRates) {
  const std::vector<int> cycleCounts = legalCycleCounts();
  ASSERT_EQ(cycleCounts.size(), 12160u);
  std::vector<double> rates = {3101,   3125,   3200,   5000,   10000,   33333,   50000,   71359,   83333,   100000,
                               125000, 250000, 500000, 800000, 1000000, 2000000, 5000000, 9999999, 10000000};
  std::mt19937 random(20261211);
  std::uniform_real_distribution<double> exponent(std::log(3101.0), std::log(10e6));
  for (int index = 0; index < 3000; ++index) rates.push_back(std::round(std::exp(exponent(random))));
  const double samplePoints[] = {0, 50, 62.5, 67.5, 75, 87.5, 99.9, -20};

  for (double rate : rates) {
    double smallest = std::numeric_limits<double>::infinity();
    for (int cycles : cycleCounts) smallest = std::min(smallest, rateError(kClockHz / cycles, rate));
    for (double samplePoint : samplePoints) {
      uint32_t registerValue = 0;
      ASSERT_EQ(calculate({rate, samplePoint}, &registerValue), 0u) << rate << " " << samplePoint;
      const Setting setting = decode(registerValue);
      ASSERT_TRUE(setting.legal()) << std::hex << registerValue;
      ASSERT_EQ(rateError(setting.rate(), rate), smallest) << rate << " bit/s at " << samplePoint << " %";
    }
  }
}

TEST(BitTiming, GivenValuesAreHonoured) {
  std::mt19937 random(4711);
  std::uniform_int_distribution<int> anyRate(3101, 10000000);
  std::uniform_int_distribution<int> anyTimeQuanta(8, 25);
  int found = 0;
  for (int index = 0; index < 2000; ++index) {
    const double rate = anyRate(random);
    const int timeQuanta = anyTimeQuanta(random);
    const int tseg2 = 2 + index % 7;
    const Request requests[] = {
        {rate, 70, static_cast<uint8_t>(timeQuanta)},
        {rate, 70, 0, 0, static_cast<uint8_t>(tseg2)},
        {rate, 70, static_cast<uint8_t>(timeQuanta), 0, static_cast<uint8_t>(tseg2), 1},
    };
    for (const Request& request : requests) {
      uint32_t registerValue = 0;
      const uint32_t code = calculate(request, &registerValue);
      if (code == kNoBaudrateFound) continue;
      ASSERT_EQ(code, 0u) << Qor_GetLastErrorDescription();
      ++found;
      const Setting setting = decode(registerValue);
      ASSERT_TRUE(setting.legal()) << std::hex << registerValue;
      if (request.timeQuanta != 0) {
        EXPECT_EQ(setting.timeQuanta(), request.timeQuanta) << rate;
      }
      if (request.tseg2 != 0) {
        EXPECT_EQ(setting.tseg2, request.tseg2) << rate;
      }
      if (request.sjw != 0) {
        EXPECT_EQ(setting.sjwField, 0) << rate;
      }
    }
  }
  EXPECT_GT(found, 3000);
}

// ---- the kernel's calculation, as can-utils prints it ----

std::optional<std::string> onPath(const char* program) {
  const char* path = std::getenv("PATH");
  std::stringstream directories(path != nullptr ? path : "");
  std::string directory;
  while (std::getline(directories, directory, ':')) {
    const std::string candidate = (directory.empty() ? "." : directory) + "/" + program;
    if (access(candidate.c_str(), X_OK) == 0) return candidate;
  }
  return std::nullopt;
}

std::vector<std::string> words(const std::string& line) {
  std::stringstream stream(line);
  std::vector<std::string> result;
  for (std::string word; stream >> word;) result.push_back(word);
  return result;
}

std::optional<long> number(const std::string& word) {
  char* end = nullptr;
  const long value = std::strtol(word.c_str(), &end, 10);
  if (word.empty() || *end != '\0') return std::nullopt;
  return value;
}

struct KernelSetting {
  long prescaler;
  long timeQuanta;
};

// The kernel's setting for a clock, from the columns its header names; none when it finds none or the output is
// not understood.
std::optional<KernelSetting> kernelSetting(const std::string& program, long clock, long rate, long samplePointTenths) {
  const std::string command = "'" + program + "' -c " + std::to_string(clock) + " -b " + std::to_string(rate) + " -s " +
                              std::to_string(samplePointTenths) + " mcp251x 2>/dev/null";
  FILE* output = popen(command.c_str(), "r");
  if (output == nullptr) return std::nullopt;
  std::string text;
  char buffer[512];
  while (size_t count = fread(buffer, 1, sizeof buffer, output)) text.append(buffer, count);
  pclose(output);

  std::map<std::string, size_t> columns;
  std::stringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    const std::vector<std::string> fields = words(line);
    if (fields.empty()) continue;
    if (fields[0] == "Bitrate") {
      for (size_t index = 0; index < fields.size(); ++index) columns.emplace(fields[index], index);
      continue;
    }
    if (number(fields[0]) != rate) continue;
    const auto field = [&](const char* name) -> std::optional<long> {
      const auto column = columns.find(name);
      if (column == columns.end() || column->second >= fields.size()) return std::nullopt;
      return number(fields[column->second]);
    };
    const auto propagation = field("PrS");
    const auto phase1 = field("PhS1");
    const auto phase2 = field("PhS2");
    const auto prescaler = field("BRP");
    if (!propagation || !phase1 || !phase2 || !prescaler || *prescaler < 1) return std::nullopt;
    return KernelSetting{*prescaler, 1 + *propagation + *phase1 + *phase2};
  }
  return std::nullopt;
}

TEST(BitTiming, RateErrorIsNeverWorseThanTheKernelsWithAtLeastEightTimeQuanta) {
  const std::optional<std::string> program = onPath("can-calc-bit-timing");
  ASSERT_TRUE(program) << "can-calc-bit-timing (can-utils) is not on PATH";

  std::mt19937 random(1999);
  std::uniform_real_distribution<double> exponent(std::log(3101.0), std::log(5e6));
  std::vector<long> rates = {10000, 20000, 33333, 50000, 83333, 100000, 125000, 250000, 500000, 1000000};
  for (int index = 0; index < 50; ++index) rates.push_back(std::lround(std::exp(exponent(random))));
  const long samplePointsTenths[] = {800, 675, 875};
  constexpr struct {
    long clock;
    int cyclesPerStep;
  } kClocks[] = {{40000000, 1}, {5000000, 8}};  // 5 MHz: the prescaler in steps of 8

  int compared = 0;
  for (long rate : rates) {
    for (long tenths : samplePointsTenths) {
      uint32_t registerValue = 0;
      ASSERT_EQ(calculate({static_cast<double>(rate), tenths / 10.0}, &registerValue), 0u) << rate;
      const double ours = rateError(decode(registerValue).rate(), rate);
      for (const auto& clock : kClocks) {
        const std::optional<KernelSetting> kernel = kernelSetting(*program, clock.clock, rate, tenths);
        if (!kernel || kernel->timeQuanta < 8 || kernel->prescaler > 64) continue;
        ++compared;
        const double theirs =
            rateError(kClockHz / (kernel->prescaler * kernel->timeQuanta * clock.cyclesPerStep), rate);
        EXPECT_LE(ours, theirs) << rate << " bit/s, " << tenths / 10.0 << " %, clock " << clock.clock << ": ours 0x"
                                << std::hex << registerValue;
      }
    }
  }
  // The output was understood: most requests have a kernel setting to compare with.
  EXPECT_GT(compared, static_cast<int>(rates.size()));
}

}  // namespace
