#include "monitor_control.hpp"

#include <vector>

#include "qor_api.h"
#include "qor_lin_monitor.h"

namespace qor::lin {
namespace {

constexpr uint8_t kMonitorCommand = 0x50;
constexpr uint8_t kListSwitchCommand = 0x54;
constexpr uint8_t kLastBufferMode = 7;
constexpr uint8_t kLastFilterMode = 5;
constexpr uint8_t kConfigureByte = 7;  // the firmware's byte 5 of the configure record

enum SubFunction : uint32_t { kFilter = 5, kConfigure = 8, kStart = 12 };

uint32_t sendParameters(const kit::Call& call, const kit::RecordWriter& record) {
  std::vector<uint8_t> answer;
  return call.exchange(kMonitorCommand, 1, record, answer);
}

uint32_t defineFilter(const kit::Call& call, uint8_t mode, uint8_t valueA, uint8_t valueB) {
  if (uint32_t code = checkLinInterface(call)) return code;
  if (mode > kLastFilterMode) return call.fail(kit::GeneralError::UnknownMode, "filter mode '0x%x' is unknown", mode);
  kit::RecordWriter record(20);
  record.u32(kFilter).u8(mode).u8(0).u8(valueA).u8(valueB).zeros(12);
  return sendParameters(call, record);
}

}  // namespace

uint32_t checkBufferMode(const kit::Call& call, uint8_t bufferMode) {
  return bufferMode > kLastBufferMode
             ? call.fail(kit::GeneralError::UnknownMode, "buffer mode '0x%x' is unknown", bufferMode)
             : 0;
}

uint32_t configureAndStart(const kit::Call& call, uint8_t bufferMode, const ItemFormat& format) {
  kit::RecordWriter configure(16);
  configure.u32(kConfigure).u8(bufferMode).u8(kConfigureByte).u16(0).u32(0).u8(format.firmwareKind).zeros(3);
  kit::RecordWriter start(4);
  start.u32(kStart);
  uint32_t code = sendParameters(call, configure);
  if (code == 0) code = sendParameters(call, start);
  if (code != 0) Qor_CloseMonitor(call.port());
  return code;
}

uint32_t switchList(const kit::Call& call, ListSwitch value) {
  kit::RecordWriter record(4);
  record.u32(value);
  return call.send(kListSwitchCommand, record);
}

}  // namespace qor::lin

using qor::kit::Call;
using qor::lin::kLin;

uint32_t Qor_Lin_Monitor_DefineFilter(uint32_t port, uint8_t filterMode, uint8_t valueA, uint8_t valueB) try {
  return qor::lin::defineFilter(Call(kLin, port), filterMode, valueA, valueB);
} catch (...) {
  return kLin.failedCall(port);
}
