// The general access to controller properties by id, and the temperatures read through it.
#include <algorithm>
#include <array>
#include <cstring>

#include "common_library.hpp"
#include "controller_properties.hpp"
#include "qor_common_properties.h"

namespace qor::common {
namespace {

using kit::GeneralError;

// The network functions reach the other ids.
bool isGeneralId(uint16_t id) {
  return id <= property::kDhcpMode || (id >= property::kTemperature1 && id <= property::kTemperature3);
}

uint32_t refuseUnknownId(const kit::Call& call, uint16_t id) {
  return call.fail(GeneralError::InvalidParameter, "id '0x%04x' is unknown", id);
}

uint32_t setGeneralProperty(const kit::Call& call, uint16_t id, uint16_t length, const void* value) {
  if (uint32_t code = call.checkPort()) return code;
  if (uint32_t code = call.checkPointer(value, "value")) return code;
  if (!isGeneralId(id)) return refuseUnknownId(call, id);
  if (length > kMaxPropertyValueLength) {
    return call.fail(GeneralError::InvalidParameter, "maximum length = %u bytes",
                     static_cast<unsigned>(kMaxPropertyValueLength));
  }
  return setProperty(call, id, std::span(static_cast<const uint8_t*>(value), length));
}

// length: room in, the value's length out; 0 when the id is unknown or the read failed.
uint32_t getGeneralProperty(const kit::Call& call, uint16_t id, uint16_t& length, void* value) {
  if (!isGeneralId(id)) {
    length = 0;
    return refuseUnknownId(call, id);
  }
  std::vector<uint8_t> answer;
  if (uint32_t code = readProperty(call, id, answer)) {
    length = 0;
    return code;
  }
  const auto received = std::span<const uint8_t>(answer).subspan(kPropertyValueOffset);
  if (received.size() > length) {
    return call.fail(GeneralError::ResponseBufferUndersized, "received %u bytes",
                     static_cast<unsigned>(received.size()));
  }
  if (!received.empty()) memcpy(value, received.data(), received.size());
  length = static_cast<uint16_t>(received.size());
  return 0;
}

// Reads a temperature property of words.size() u32 values. present: whether the controller gave a value.
uint32_t readTemperatureWords(const kit::Call& call, uint16_t id, std::span<uint32_t> words, bool& present) {
  present = false;
  std::array<uint8_t, 8> value{};
  uint16_t length = static_cast<uint16_t>(std::min(words.size_bytes(), value.size()));
  if (uint32_t code = getGeneralProperty(call, id, length, value.data())) return code;
  if (length == 0) return 0;
  const kit::AnswerReader reader(std::span(value.data(), length));
  for (size_t index = 0; index < words.size(); ++index) words[index] = reader.u32(index * sizeof(uint32_t));
  if (!reader.complete()) return call.shortAnswer(reader);
  present = true;
  return 0;
}

float inDegrees(uint32_t raw, double degreesPerUnit) { return static_cast<float>(raw * degreesPerUnit); }

constexpr double kPairFirstUnit = 1.0 / 32;
constexpr double kPairFourthUnit = 1.0 / 8;
constexpr double kTemperatureUnit = 1.0 / 256;

uint32_t getTemperature(const kit::Call& call, float* first, float* second, float* third, float* fourth) {
  if (uint32_t code = call.checkPort()) return code;
  for (float* output : {first, second, third, fourth}) {
    if (uint32_t code = call.checkPointer(output, "temperature")) return code;
  }
  bool present = false;
  // Failed reads are recorded for the port; the call goes on with what the controller has.
  std::array<uint32_t, 2> pair{};
  if (readTemperatureWords(call, property::kTemperatures, pair, present) == 0 && present) {
    *first = inDegrees(pair[0], kPairFirstUnit);
    *fourth = inDegrees(pair[1], kPairFourthUnit);
  }
  uint32_t word = 0;
  // A controller without property 35 has none of the later ones either.
  if (readTemperatureWords(call, property::kTemperature1, std::span(&word, 1), present) != 0) return 0;
  if (present) *first = inDegrees(word, kTemperatureUnit);
  if (readTemperatureWords(call, property::kTemperature2, std::span(&word, 1), present) == 0 && present) {
    *second = inDegrees(word, kTemperatureUnit);
  }
  if (readTemperatureWords(call, property::kTemperature3, std::span(&word, 1), present) == 0 && present) {
    *third = inDegrees(word, kTemperatureUnit);
  }
  return 0;
}

}  // namespace
}  // namespace qor::common

using qor::common::kCommon;

uint32_t Qor_Common_ControllerControl_Property_SetById(uint32_t port, uint16_t id, uint16_t length,
                                                       const void* value) try {
  return qor::common::setGeneralProperty(qor::kit::Call(kCommon, port), id, length, value);
} catch (...) {
  return kCommon.failedCall(port);
}

uint32_t Qor_Common_ControllerControl_Property_GetById(uint32_t port, uint16_t id, uint16_t* length,
                                                       void* value) try {
  const qor::kit::Call call(kCommon, port);
  if (uint32_t code = call.checkPort()) return code;
  if (uint32_t code = call.checkPointer(length, "length")) return code;
  if (uint32_t code = call.checkPointer(value, "value")) return code;
  return qor::common::getGeneralProperty(call, id, *length, value);
} catch (...) {
  return kCommon.failedCall(port);
}

uint32_t Qor_Common_GetTemperature(uint32_t port, float* first, float* second, float* third, float* fourth) try {
  return qor::common::getTemperature(qor::kit::Call(kCommon, port), first, second, third, fourth);
} catch (...) {
  return kCommon.failedCall(port);
}
