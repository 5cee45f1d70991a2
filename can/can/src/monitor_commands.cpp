#include "monitor_commands.hpp"

#include "qor_api.h"

namespace qor::can {
namespace {

constexpr uint8_t kSubFunctionControlBytes = 1;

}  // namespace

uint32_t parameterWidth(const kit::Call& call, uint32_t* width) {
  return Qor_GetPropertyById(call.port(), QOR_PROPERTY_PARAMETER_WIDTH, width);
}

kit::RecordWriter monitorRecord(uint8_t subFunction, uint8_t instance, size_t capacity) {
  kit::RecordWriter record(capacity);
  record.u8(subFunction).u8(instance).u16(0);
  return record;
}

uint32_t monitorExchange(const kit::Call& call, const kit::RecordWriter& record, std::vector<uint8_t>& answer) {
  return call.exchange(kMonitorCommand, kSubFunctionControlBytes, record, answer);
}

uint32_t monitorCommand(const kit::Call& call, uint8_t subFunction, uint8_t instance) {
  std::vector<uint8_t> answer;
  return monitorExchange(call, monitorRecord(subFunction, instance), answer);
}

}  // namespace qor::can
