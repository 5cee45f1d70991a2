#include "monitor_start.hpp"

#include <memory>

#include "can_library.hpp"
#include "monitor_commands.hpp"
#include "monitor_instances.hpp"
#include "monitor_items.hpp"
#include "monitor_large_ring.hpp"
#include "monitor_readers.hpp"
#include "qor_can_monitor.h"
#include "qor_kit/monitor_session.hpp"
#include "qor_monitor.h"

namespace qor::can {
namespace {

constexpr uint32_t kOptionBits = 0x07;
constexpr uint8_t kCanFdOption = 0x08;
constexpr uint8_t kModeBits = 6;
constexpr uint8_t kHostBuffered = 1;
constexpr uint8_t kLargeItemsMode = 8;
constexpr size_t kConfigureRecordBytes = 12;

// How the core's instance is set up for a start.
struct InstancePlan {
  uint32_t initFlags = 0;
  uint32_t size = 0;
  Reader reader = nullptr;
  std::unique_ptr<kit::MonitorSession> session;  // callback mode
};

InstancePlan planInstance(uint32_t width, uint32_t flags, uint32_t bufferSize, uint32_t slots) {
  InstancePlan plan;
  const bool narrow = width == kNarrowWidth;
  const bool large = (flags & QOR_CAN_MONITOR_LARGE_ITEMS) != 0;
  if (flags & QOR_CAN_MONITOR_DIRECT_READING) {
    plan.initFlags = QOR_MONITOR_NO_BUS_FILTER;
    plan.reader = narrow ? readDirect32 : large ? readDirectLarge : readDirect64;
  } else if (narrow) {
    plan.size = static_cast<uint32_t>(bufferSize / kItemBytes * kCompactItemBytes);
    plan.reader = readBuffered32;
  } else if (large) {
    plan.initFlags = QOR_MONITOR_CALLBACK_MODE;
    plan.size = kit::kMonitorSessionContextBytes;
    plan.session = std::make_unique<LargeItemRing>(slots);
  } else {
    plan.size = bufferSize;
    plan.reader = readBuffered64;
  }
  return plan;
}

}  // namespace

uint32_t configureAndStart(const kit::Call& call, uint32_t width, uint8_t instance, uint8_t optionBits,
                           uint8_t modeBits) {
  kit::RecordWriter configure =
      monitorRecord(width == kNarrowWidth ? kConfigure32 : kConfigure64, instance, kConfigureRecordBytes);
  configure.u8(optionBits).u8(modeBits).u16(0).u32(0);
  std::vector<uint8_t> answer;
  uint32_t code = monitorExchange(call, configure, answer);
  if (code == 0) code = monitorCommand(call, kStart, instance);
  if (code != 0) Qor_CloseMonitor(call.port());
  return code;
}

uint32_t startBufferMode(const kit::Call& call, uint32_t flags, uint32_t bufferSize, uint32_t slots) {
  uint32_t width = 0;
  if (uint32_t code = parameterWidth(call, &width)) return code;
  if (uint32_t code = call.checkFlags(flags, QOR_CAN_MONITOR_START_FLAGS)) return code;
  const bool large = (flags & QOR_CAN_MONITOR_LARGE_ITEMS) != 0;
  if (width == kNarrowWidth && (flags & (QOR_CAN_MONITOR_LARGE_ITEMS | QOR_CAN_MONITOR_CAN_FD))) {
    return call.fail(kit::GeneralError::InvalidParameter,
                     "large monitor items and CAN FD is not supported on the device");
  }
  const bool ring = large && !(flags & QOR_CAN_MONITOR_DIRECT_READING);
  // A ring without slots would be full from the start, its newest item none.
  if (ring && slots == 0) return call.fail(kit::GeneralError::InvalidParameter, "no room for large monitor items");

  uint8_t optionBits = static_cast<uint8_t>(flags & kOptionBits);
  uint8_t modeBits = kModeBits;
  if (width != kNarrowWidth) {
    if (flags & QOR_CAN_MONITOR_CAN_FD) optionBits |= kCanFdOption;
    if (large) modeBits += kLargeItemsMode;
  }
  if (!(flags & QOR_CAN_MONITOR_DIRECT_READING)) modeBits += kHostBuffered;

  InstancePlan plan = planInstance(width, flags, bufferSize, slots);
  const uint32_t port = call.port();
  const uint8_t instance = Qor_Monitor_InstanceId_Get(port);
  void* context = nullptr;
  const Qor_Monitor_Callback_t callback = plan.session ? kit::deliverToSession : nullptr;
  void** contextOut = plan.session ? &context : nullptr;
  if (uint32_t code = Qor_Monitor_Init(port, plan.initFlags, callback, instanceCleanup(instance), plan.size, contextOut)) {
    return code;
  }
  if (plan.session) kit::installSession(context, std::move(plan.session));
  if (plan.reader != nullptr) {
    if (uint32_t code = enterReader(port, instance, plan.reader)) {
      Qor_CloseMonitor(port);
      return code;
    }
  }
  return configureAndStart(call, width, instance, optionBits, modeBits);
}

}  // namespace qor::can
