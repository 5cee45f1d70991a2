// The controller's properties by identifier (command 0x20, sub-functions 39 set and 40 get).
#include <vector>

#include "flexray_library.hpp"
#include "qor_flexray_config.h"
#include "qor_kit/answer_reader.hpp"
#include "qor_kit/record_writer.hpp"

namespace qor::flexray {
namespace {

constexpr uint32_t kSetSubFunction = 39;
constexpr uint32_t kGetSubFunction = 40;
constexpr size_t kValueOffset = 8;

uint32_t checkId(const kit::Call& call, uint32_t id) {
  return id > QOR_FLEXRAY_MAX_PROPERTY_ID ? call.fail(kit::GeneralError::InvalidParameter, "id '%u' is unknown", id)
                                          : 0;
}

kit::RecordWriter propertyRecord(uint32_t subFunction, uint32_t id, size_t recordBytes) {
  kit::RecordWriter record(recordBytes);
  record.u32(subFunction).u16(static_cast<uint16_t>(id)).u16(0);
  return record;
}

uint32_t setById(const kit::Call& call, uint32_t id, uint32_t value) {
  if (uint32_t code = checkFlexRayInterface(call)) return code;
  if (uint32_t code = checkId(call, id)) return code;
  kit::RecordWriter record = propertyRecord(kSetSubFunction, id, 12);
  record.u32(value);
  return exchangeController(call, record);
}

// An answer too short to hold the value is refused, so the caller never gets bytes the firmware did not send.
uint32_t getById(const kit::Call& call, uint32_t id, uint32_t* value) {
  if (uint32_t code = checkFlexRayInterface(call)) return code;
  if (uint32_t code = checkId(call, id)) return code;
  if (uint32_t code = call.checkPointer(value, "value")) return code;
  std::vector<uint8_t> answer;
  if (uint32_t code = exchangeController(call, propertyRecord(kGetSubFunction, id, 8), answer)) return code;
  const kit::AnswerReader reader(answer);
  if (!reader.has(kValueOffset + sizeof(uint32_t))) return call.shortAnswer(reader);
  *value = reader.u32(kValueOffset);
  return 0;
}

}  // namespace
}  // namespace qor::flexray

using qor::flexray::kFlexRay;
using qor::kit::Call;

uint32_t Qor_FlexRay_Property_SetById(uint32_t port, uint32_t id, uint32_t value) try {
  return qor::flexray::setById(Call(kFlexRay, port), id, value);
} catch (...) {
  return kFlexRay.failedCall(port);
}

uint32_t Qor_FlexRay_Property_GetById(uint32_t port, uint32_t id, uint32_t* value) try {
  return qor::flexray::getById(Call(kFlexRay, port), id, value);
} catch (...) {
  return kFlexRay.failedCall(port);
}
