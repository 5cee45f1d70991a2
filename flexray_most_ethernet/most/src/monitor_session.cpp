// Starting and stopping the MOST monitor and handing its data to the application: the firmware's monitor reports the
// enabled ids, the core's monitor keeps what arrives in a ring. Host type 12 has no firmware switch for the monitor.
#include <cstdint>

#include "most_library.hpp"
#include "monitor_ids.hpp"
#include "monitor_records.hpp"
#include "qor_api.h"
#include "qor_monitor.h"
#include "qor_most_monitor.h"

namespace qor::most {
namespace {

constexpr uint32_t kHostTypeWithoutSwitch = 12;
constexpr uint32_t kRingMode = 0;

bool hasMonitorSwitch(const kit::Call& call) { return Qor_GetHostInterfaceType(call.port()) != kHostTypeWithoutSwitch; }

uint32_t switchMonitor(const kit::Call& call, bool on) {
  kit::RecordWriter record(12);
  record.u8(kMonitorSwitch).zeros(7).u32(on ? 1 : 0);
  return sendMonitorSetting(call, record);
}

// Every argument is checked before the first command, so a refused start leaves the firmware as it was.
uint32_t start(const kit::Call& call, uint32_t flags, uint32_t bufferSize, uint32_t count, const uint16_t* ids) {
  if (uint32_t code = checkMostInterface(call)) return code;
  if (uint32_t code = call.checkFlags(flags, 0)) return code;
  if (uint32_t code = checkEnabledIds(call, count, ids)) return code;
  if (uint32_t code = sendMonitorSetting(call, enabledIdsRecord(0, nullptr))) return code;
  if (hasMonitorSwitch(call)) {
    if (uint32_t code = switchMonitor(call, true)) return code;
  }
  if (uint32_t code = Qor_Monitor_Init(call.port(), kRingMode, nullptr, nullptr, bufferSize, nullptr)) return code;
  if (uint32_t code = sendMonitorSetting(call, enabledIdsRecord(count, ids))) {
    Qor_CloseMonitor(call.port());
    return code;
  }
  return 0;
}

uint32_t stop(const kit::Call& call) {
  if (uint32_t code = checkMostInterface(call)) return code;
  if (hasMonitorSwitch(call)) {
    if (uint32_t code = switchMonitor(call, false)) return code;
  }
  return Qor_CloseMonitor(call.port());
}

uint32_t getData(const kit::Call& call, uint8_t* overflow, uint32_t* size, uint8_t* buffer) {
  if (uint32_t code = checkMostInterface(call)) return code;
  if (Qor_IsMonitorEnabled(call.port()) == 0) return call.fail(kMost.code(kMonitorNotInitialized));
  return Qor_GetMonitorItems(call.port(), buffer, size, overflow);
}

uint32_t enableEvent(const kit::Call& call, ExternalEvent* event) {
  if (uint32_t code = checkMostInterface(call)) return code;
  if (uint32_t code = call.checkPointer(event, "event")) return code;
  return Qor_Monitor_EnableEvent(call.port(), event);
}

uint32_t disableEvent(const kit::Call& call) {
  if (uint32_t code = checkMostInterface(call)) return code;
  return Qor_Monitor_DisableEvent(call.port());
}

}  // namespace
}  // namespace qor::most

using qor::kit::Call;
using qor::most::kMost;

uint32_t Qor_Most_Monitor_Start(uint32_t port, uint32_t flags, uint32_t bufferSize, uint32_t count,
                                const uint16_t* ids) try {
  return qor::most::start(Call(kMost, port), flags, bufferSize, count, ids);
} catch (...) {
  return kMost.failedCall(port);
}

uint32_t Qor_Most_Monitor_Stop(uint32_t port) try {
  return qor::most::stop(Call(kMost, port));
} catch (...) {
  return kMost.failedCall(port);
}

uint32_t Qor_Most_Monitor_GetData(uint32_t port, uint8_t* overflow, uint32_t* size, uint8_t* buffer) try {
  return qor::most::getData(Call(kMost, port), overflow, size, buffer);
} catch (...) {
  return kMost.failedCall(port);
}

uint32_t Qor_Most_Monitor_EnableEvent(uint32_t port, ExternalEvent* event) try {
  return qor::most::enableEvent(Call(kMost, port), event);
} catch (...) {
  return kMost.failedCall(port);
}

uint32_t Qor_Most_Monitor_DisableEvent(uint32_t port) try {
  return qor::most::disableEvent(Call(kMost, port));
} catch (...) {
  return kMost.failedCall(port);
}
