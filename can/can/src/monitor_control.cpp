#include <cstring>
#include <vector>

#include "can_library.hpp"
#include "monitor_commands.hpp"
#include "monitor_items.hpp"
#include "qor_can_monitor.h"
#include "qor_kit/call.hpp"
#include "qor_monitor.h"

namespace qor::can {
namespace {

constexpr uint8_t kHighestFilterMode = 4;
constexpr size_t kFilterRecordBytes = 12;
constexpr uint8_t kMostUserEventBytes = 7;
constexpr size_t kUserEventRecordBytes = 15;
constexpr uint32_t kTimeFlagBit = 0x01;

struct MonitorTimes {
  uint32_t flag = 0;
  uint64_t first = 0;
  uint64_t second = 0;
};

// Sub-function 1: +4 u32 flag, +8 and +12 u32 times in units, +16 u8 unit.
uint32_t monitorTimes32(const kit::Call& call, uint8_t instance, MonitorTimes& times) {
  std::vector<uint8_t> answer;
  if (uint32_t code = monitorExchange(call, monitorRecord(kMonitorTime32, instance), answer)) return code;
  const kit::AnswerReader reader(answer);
  if (!reader.has(17)) return call.shortAnswer(reader);
  const uint8_t unit = reader.u8(16);
  const std::optional<uint32_t> unitNs = nanosecondsPerUnit(unit);
  if (!unitNs) return call.fail(kit::GeneralError::InvalidResponseParameter, "TimestampResolution: %u", unit);
  times = {reader.u32(4) & kTimeFlagBit, kit::scaledTimeNs(reader.u32(8), *unitNs),
           kit::scaledTimeNs(reader.u32(12), *unitNs)};
  return 0;
}

// Sub-function 19: +4 u32 flag, +8 and +16 u64 times in ns.
uint32_t monitorTimes64(const kit::Call& call, uint8_t instance, MonitorTimes& times) {
  std::vector<uint8_t> answer;
  if (uint32_t code = monitorExchange(call, monitorRecord(kMonitorTime64, instance), answer)) return code;
  const kit::AnswerReader reader(answer);
  if (!reader.has(24)) return call.shortAnswer(reader);
  times = {reader.u32(4) & kTimeFlagBit, reader.u64(8), reader.u64(16)};
  return 0;
}

}  // namespace
}  // namespace qor::can

using namespace qor;
using can::kCan;

extern "C" {

uint32_t Qor_Can_Monitor_DefineFilter(uint32_t port, uint8_t mode, uint32_t firstValue, uint32_t secondValue) try {
  const kit::Call call(kCan, port);
  if (uint32_t code = can::checkCanInterface(call)) return code;
  if (mode > can::kHighestFilterMode) return call.fail(kit::GeneralError::UnknownMode, "%u", mode);
  kit::RecordWriter record(can::kFilterRecordBytes);
  record.u8(mode).u8(Qor_Monitor_InstanceId_Get(port)).u16(0).u32(firstValue).u32(secondValue);
  return call.send(can::kMonitorFilterCommand, record);
} catch (...) {
  return kCan.failedCall(port);
}

uint32_t Qor_Can_Monitor_WriteUserEvent(uint32_t port, uint8_t event, uint8_t count, const uint8_t* data) try {
  const kit::Call call(kCan, port);
  if (uint32_t code = can::checkCanInterface(call)) return code;
  if (count > can::kMostUserEventBytes) {
    return call.fail(kit::GeneralError::InvalidDataLength, "max number of user event data bytes = 7");
  }
  if (count > 0) {
    if (uint32_t code = call.checkPointer(data, "data")) return code;
  }
  uint8_t eventData[can::kMostUserEventBytes] = {};
  if (count > 0) std::memcpy(eventData, data, count);
  kit::RecordWriter record =
      can::monitorRecord(can::kWriteUserEvent, Qor_Monitor_InstanceId_Get(port), can::kUserEventRecordBytes);
  record.u8(event).u8(0).u8(count).u8(0).bytes(eventData, sizeof eventData);
  std::vector<uint8_t> answer;
  return can::monitorExchange(call, record, answer);
} catch (...) {
  return kCan.failedCall(port);
}

uint32_t Qor_Can_Monitor_MonitorTime_Get(uint32_t port, uint32_t* flag, uint64_t* firstTimeNs,
                                         uint64_t* secondTimeNs) try {
  const kit::Call call(kCan, port);
  if (uint32_t code = can::checkCanInterface(call)) return code;
  if (uint32_t code = call.checkPointer(flag, "flag")) return code;
  if (uint32_t code = call.checkPointer(firstTimeNs, "firstTime")) return code;
  if (uint32_t code = call.checkPointer(secondTimeNs, "secondTime")) return code;
  uint32_t width = 0;
  can::MonitorTimes times;
  uint32_t code = can::parameterWidth(call, &width);
  if (code == 0) {
    const uint8_t instance = Qor_Monitor_InstanceId_Get(port);
    code = width == can::kNarrowWidth ? can::monitorTimes32(call, instance, times)
                                      : can::monitorTimes64(call, instance, times);
  }
  if (code != 0) times = {};
  *flag = times.flag;
  *firstTimeNs = times.first;
  *secondTimeNs = times.second;
  return code;
} catch (...) {
  return kCan.failedCall(port);
}

}  // extern "C"
