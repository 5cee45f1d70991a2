// The monitor's life: the firmware configured and the host's ring opened, recording started and stopped, entries
// read and the ring closed. Entries reach the ring through the core's bus filter of FlexRay ports.
#include "monitor_commands.hpp"
#include "qor_flexray_monitor.h"
#include "qor_monitor.h"

namespace qor::flexray {
namespace {

constexpr uint16_t kMonitorNotInitialized = 0x301;
constexpr uint32_t kRingMode = 0;

// API bits 0 to 4 go to bits 1 to 5, 5 and 6 to 8 and 9, 8 to 12 to 10 to 14; bit 7 goes nowhere; bits 6 and 7 of
// the firmware's flags are always set.
constexpr uint32_t firmwareFlags(uint32_t flags) {
  return 0xC0u | (flags & 0x1Fu) << 1 | (flags & 0x60u) << 3 | (flags & 0x1F00u) << 2;
}
static_assert(firmwareFlags(QOR_FLEXRAY_MONITOR_FLAGS) == 0x7FFE && firmwareFlags(0) == 0xC0);

uint32_t checkMonitorOpen(const kit::Call& call) {
  return Qor_IsMonitorEnabled(call.port()) ? 0 : call.fail(kFlexRay.code(kMonitorNotInitialized));
}

uint32_t sendHeadOnly(const kit::Call& call, MonitorSubFunction subFunction) {
  std::vector<uint8_t> answer;
  return exchangeMonitor(call, monitorRecord(call, subFunction, 4), answer);
}

uint32_t config(const kit::Call& call, uint32_t flags, uint32_t bufferSize) {
  if (uint32_t code = checkFlexRayInterface(call)) return code;
  if (uint32_t code = call.checkFlags(flags, QOR_FLEXRAY_MONITOR_FLAGS)) return code;
  kit::RecordWriter record = monitorRecord(call, MonitorSubFunction::Configure, 8);
  record.u32(firmwareFlags(flags));
  std::vector<uint8_t> answer;
  if (uint32_t code = exchangeMonitor(call, record, answer)) return code;
  return Qor_Monitor_Init(call.port(), kRingMode, nullptr, nullptr, bufferSize, nullptr);
}

uint32_t start(const kit::Call& call) {
  if (uint32_t code = checkFlexRayInterface(call)) return code;
  if (uint32_t code = checkMonitorOpen(call)) return code;
  return sendHeadOnly(call, MonitorSubFunction::Start);
}

uint32_t stop(const kit::Call& call) {
  if (uint32_t code = checkFlexRayInterface(call)) return code;
  return sendHeadOnly(call, MonitorSubFunction::Stop);
}

uint32_t configOff(const kit::Call& call) {
  if (uint32_t code = stop(call)) return code;
  return Qor_CloseMonitor(call.port());
}

uint32_t getData(const kit::Call& call, uint8_t* overflow, uint32_t* size, void* buffer) {
  if (uint32_t code = checkFlexRayInterface(call)) return code;
  if (uint32_t code = checkMonitorOpen(call)) return code;
  return Qor_GetMonitorItems(call.port(), buffer, size, overflow);
}

uint32_t enableEvent(const kit::Call& call, ExternalEvent* event) {
  if (uint32_t code = checkFlexRayInterface(call)) return code;
  if (uint32_t code = call.checkPointer(event, "event")) return code;
  return Qor_Monitor_EnableEvent(call.port(), event);
}

uint32_t disableEvent(const kit::Call& call) {
  if (uint32_t code = checkFlexRayInterface(call)) return code;
  return Qor_Monitor_DisableEvent(call.port());
}

}  // namespace

uint8_t monitorInstance(const kit::Call& call) { return Qor_Monitor_InstanceId_Get(call.port()); }

kit::RecordWriter monitorRecord(const kit::Call& call, MonitorSubFunction subFunction, size_t recordBytes) {
  kit::RecordWriter record(recordBytes);
  record.u8(static_cast<uint8_t>(subFunction)).u8(monitorInstance(call)).u16(0);
  return record;
}

uint32_t exchangeMonitor(const kit::Call& call, const kit::RecordWriter& record, std::vector<uint8_t>& answer) {
  return call.exchange(kMonitorCommand, kMonitorControlBytes, record, answer);
}

}  // namespace qor::flexray

using qor::flexray::kFlexRay;
using qor::kit::Call;

uint32_t Qor_FlexRay_Monitor_Config(uint32_t port, uint32_t flags, uint32_t bufferSize) try {
  return qor::flexray::config(Call(kFlexRay, port), flags, bufferSize);
} catch (...) {
  return kFlexRay.failedCall(port);
}

uint32_t Qor_FlexRay_Monitor_Start(uint32_t port) try {
  return qor::flexray::start(Call(kFlexRay, port));
} catch (...) {
  return kFlexRay.failedCall(port);
}

uint32_t Qor_FlexRay_Monitor_Stop(uint32_t port) try { return qor::flexray::stop(Call(kFlexRay, port)); } catch (...) {
  return kFlexRay.failedCall(port);
}

uint32_t Qor_FlexRay_Monitor_Config_Off(uint32_t port) try {
  return qor::flexray::configOff(Call(kFlexRay, port));
} catch (...) {
  return kFlexRay.failedCall(port);
}

uint32_t Qor_FlexRay_Monitor_GetData(uint32_t port, uint8_t* overflow, uint32_t* size, void* buffer) try {
  return qor::flexray::getData(Call(kFlexRay, port), overflow, size, buffer);
} catch (...) {
  return kFlexRay.failedCall(port);
}

uint32_t Qor_FlexRay_Monitor_EnableEvent(uint32_t port, ExternalEvent* event) try {
  return qor::flexray::enableEvent(Call(kFlexRay, port), event);
} catch (...) {
  return kFlexRay.failedCall(port);
}

uint32_t Qor_FlexRay_Monitor_DisableEvent(uint32_t port) try {
  return qor::flexray::disableEvent(Call(kFlexRay, port));
} catch (...) {
  return kFlexRay.failedCall(port);
}
