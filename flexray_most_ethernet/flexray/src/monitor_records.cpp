// The monitor's other firmware records: a user event into the entries, the monitor's time, a filter and the
// monitor's properties.
#include <vector>

#include "monitor_commands.hpp"
#include "qor_flexray_messages.h"
#include "qor_flexray_monitor.h"
#include "qor_kit/property_by_id.hpp"

namespace qor::flexray {
namespace {

enum TimeOffset : size_t { kTimeFlag = 4, kFirstTime = 8, kSecondTime = 16, kTimeAnswerBytes = 24 };

uint32_t writeUserEvent(const kit::Call& call, uint8_t eventValue, uint8_t length, const uint8_t* data) {
  if (uint32_t code = checkFlexRayInterface(call)) return code;
  if (length != 0) {
    if (uint32_t code = call.checkPointer(data, "data")) return code;
  }
  kit::RecordWriter record = monitorRecord(call, MonitorSubFunction::UserEvent, 8 + size_t{length});
  record.u8(eventValue).u8(0).u8(length).u8(0).bytes(data, length);
  std::vector<uint8_t> answer;
  return exchangeMonitor(call, record, answer);
}

uint32_t getTime(const kit::Call& call, uint32_t* flags, uint64_t* firstTime, uint64_t* secondTime) {
  if (uint32_t code = checkFlexRayInterface(call)) return code;
  if (uint32_t code = call.checkPointer(flags, "flags")) return code;
  if (uint32_t code = call.checkPointer(firstTime, "firstTime")) return code;
  if (uint32_t code = call.checkPointer(secondTime, "secondTime")) return code;
  *flags = 0;
  *firstTime = 0;
  *secondTime = 0;
  std::vector<uint8_t> answer;
  if (uint32_t code = exchangeMonitor(call, monitorRecord(call, MonitorSubFunction::Time, 4), answer)) return code;
  const kit::AnswerReader reader(answer);
  if (!reader.has(kTimeAnswerBytes)) return call.shortAnswer(reader);
  *flags = reader.u8(kTimeFlag) & 1u;
  *firstTime = reader.u64(kFirstTime);
  *secondTime = reader.u64(kSecondTime);
  return 0;
}

uint32_t defineFilter(const kit::Call& call, const Qor_FlexRay_Monitor_Filter_t* filter) {
  if (uint32_t code = checkFlexRayInterface(call)) return code;
  if (uint32_t code = call.checkPointer(filter, "filter")) return code;
  const Qor_FlexRay_Monitor_Filter_t definition = *filter;
  if (definition.flags != 0) return call.fail(kit::GeneralError::UnknownFlag);
  if (uint32_t code = call.checkReserved(definition.reserved, "reserved bytes have to be zero")) return code;
  if (definition.kind > QOR_FLEXRAY_MONITOR_MAX_FILTER_KIND) return call.fail(kit::GeneralError::UnknownMode);
  if (uint32_t code = checkChannel(call, definition.channel)) return code;
  kit::RecordWriter record = monitorRecord(call, MonitorSubFunction::Filter, 16);
  record.zeros(4).u8(definition.kind).u8(definition.channel).u16(0);
  record.u16(definition.firstValue).u16(definition.secondValue);
  std::vector<uint8_t> answer;
  return exchangeMonitor(call, record, answer);
}

// The sub-function word carries the instance in its second byte; the first is the control byte.
kit::PropertyById monitorProperty(const kit::Call& call) {
  const uint32_t instance = uint32_t{monitorInstance(call)} << 8;
  return kit::PropertyById{kMonitorCommand,
                           static_cast<uint32_t>(MonitorSubFunction::PropertySet) | instance,
                           static_cast<uint32_t>(MonitorSubFunction::PropertyGet) | instance,
                           kit::PropertyById::IdField::HalfWordAndReserved,
                           kit::kResponseCapacity,
                           8};
}

uint32_t checkPropertyId(const kit::Call& call, uint32_t id) {
  if (uint32_t code = checkFlexRayInterface(call)) return code;
  return id > QOR_FLEXRAY_MONITOR_MAX_PROPERTY_ID
             ? call.fail(kit::GeneralError::InvalidParameter, "id '%u' is unknown", id)
             : 0;
}

uint32_t setProperty(const kit::Call& call, uint32_t id, uint32_t value) {
  if (uint32_t code = checkPropertyId(call, id)) return code;
  return monitorProperty(call).set(call, id, value);
}

uint32_t getProperty(const kit::Call& call, uint32_t id, uint32_t* value) {
  if (uint32_t code = checkPropertyId(call, id)) return code;
  if (uint32_t code = call.checkPointer(value, "value")) return code;
  return monitorProperty(call).read(call, id, value);
}

}  // namespace
}  // namespace qor::flexray

using qor::flexray::kFlexRay;
using qor::kit::Call;

uint32_t Qor_FlexRay_Monitor_WriteUserEvent(uint32_t port, uint8_t eventValue, uint8_t length,
                                            const uint8_t* data) try {
  return qor::flexray::writeUserEvent(Call(kFlexRay, port), eventValue, length, data);
} catch (...) {
  return kFlexRay.failedCall(port);
}

uint32_t Qor_FlexRay_Monitor_GetTime(uint32_t port, uint32_t* flags, uint64_t* firstTime, uint64_t* secondTime) try {
  return qor::flexray::getTime(Call(kFlexRay, port), flags, firstTime, secondTime);
} catch (...) {
  return kFlexRay.failedCall(port);
}

uint32_t Qor_FlexRay_Monitor_DefineFilter(uint32_t port, const Qor_FlexRay_Monitor_Filter_t* filter) try {
  return qor::flexray::defineFilter(Call(kFlexRay, port), filter);
} catch (...) {
  return kFlexRay.failedCall(port);
}

uint32_t Qor_FlexRay_Monitor_Property_SetById(uint32_t port, uint32_t id, uint32_t value) try {
  return qor::flexray::setProperty(Call(kFlexRay, port), id, value);
} catch (...) {
  return kFlexRay.failedCall(port);
}

uint32_t Qor_FlexRay_Monitor_Property_GetById(uint32_t port, uint32_t id, uint32_t* value) try {
  return qor::flexray::getProperty(Call(kFlexRay, port), id, value);
} catch (...) {
  return kFlexRay.failedCall(port);
}
