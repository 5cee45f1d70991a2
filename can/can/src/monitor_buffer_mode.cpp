#include <algorithm>
#include <cstdint>
#include <optional>

#include "can_library.hpp"
#include "monitor_commands.hpp"
#include "monitor_instances.hpp"
#include "monitor_items.hpp"
#include "monitor_large_ring.hpp"
#include "monitor_readers.hpp"
#include "monitor_start.hpp"
#include "qor_api.h"
#include "qor_can_monitor.h"
#include "qor_kit/call.hpp"
#include "qor_kit/monitor_session.hpp"
#include "qor_monitor.h"

namespace qor::can {
namespace {


// Bytes of count host slots of slotBytes, raised to the port's minimum; none when they do not fit 32 bits.
std::optional<uint32_t> hostBufferBytes(uint32_t port, uint32_t count, size_t slotBytes) {
  const uint64_t bytes = std::max<uint64_t>(uint64_t{count} * slotBytes, Qor_GetMinimumMonitorBufferSize(port));
  if (bytes > UINT32_MAX) return std::nullopt;
  return static_cast<uint32_t>(bytes);
}

LargeItemRing* largeItemRingOf(uint32_t port) {
  return dynamic_cast<LargeItemRing*>(kit::sessionIn(Qor_Monitor_GetCallbackContext(port)));
}

}  // namespace
}  // namespace qor::can

using namespace qor;
using can::kCan;

extern "C" {

uint32_t Qor_Can_Monitor_Init(void) try {
  can::forgetAllReaders();
  return 0;
} catch (...) {
  return kCan.failedCall(QOR_NO_PORT);
}

uint32_t Qor_Can_Monitor_BufferMode_Start(uint32_t port, uint8_t bufferMode, uint32_t bufferSize) try {
  const kit::Call call(kCan, port);
  if (bufferMode > can::kHighestBufferMode) {
    return call.fail(kit::GeneralError::UnknownMode, "unknown buffer mode: %u", bufferMode);
  }
  const uint32_t minimum = Qor_GetMinimumMonitorBufferSize(port);
  if (bufferSize != 0 && bufferSize < minimum) {
    return call.fail(QOR_ERR_API_MONITOR_BUFFER_TOO_SMALL, "minimum monitor buffer size = %u bytes", minimum);
  }
  if (uint32_t code = can::checkCanInterface(call)) return code;
  constexpr uint32_t kNoLargeItemSlots = 0;  // buffer modes never ask for large items
  return can::startBufferMode(call, bufferMode, bufferSize, kNoLargeItemSlots);
} catch (...) {
  return kCan.failedCall(port);
}

uint32_t Qor_Can_Monitor_BufferMode_Start2(uint32_t port, uint32_t flags, uint32_t itemCount) try {
  const kit::Call call(kCan, port);
  if (uint32_t code = can::checkCanInterface(call)) return code;
  const size_t slotBytes = (flags & QOR_CAN_MONITOR_LARGE_ITEMS) ? can::kLargeSlotBytes : can::kItemBytes;
  const std::optional<uint32_t> bufferSize = can::hostBufferBytes(port, itemCount, slotBytes);
  if (!bufferSize) {
    return call.fail(kit::GeneralError::InvalidParameter, "%u monitor items do not fit one buffer", itemCount);
  }
  return can::startBufferMode(call, flags, *bufferSize, itemCount);
} catch (...) {
  return kCan.failedCall(port);
}

uint32_t Qor_Can_Monitor_BufferMode_Stop(uint32_t port) try {
  const kit::Call call(kCan, port);
  if (uint32_t code = call.checkPort()) return code;
  can::forgetReader(port, Qor_Monitor_InstanceId_Get(port));
  return Qor_CloseMonitor(port);
} catch (...) {
  return kCan.failedCall(port);
}

uint32_t Qor_Can_Monitor_BufferMode_GetItems(uint32_t port, uint32_t bufferSize, uint32_t* itemCount,
                                             void* items) try {
  const kit::Call call(kCan, port);
  if (uint32_t code = can::checkCanInterface(call)) return code;
  if (uint32_t code = call.checkPointer(itemCount, "itemCount")) return code;
  if (uint32_t code = call.checkPointer(items, "items")) return code;
  const uint8_t instance = Qor_Monitor_InstanceId_Get(port);
  const can::Reader reader = can::readerOf(port, instance);
  if (reader == nullptr) {
    *itemCount = 0;
    return call.fail(kCan.code(can::kMonitorNotStarted));
  }
  return reader(call, instance, bufferSize, itemCount, items);
} catch (...) {
  return kCan.failedCall(port);
}

uint32_t Qor_Can_Monitor_BufferMode_GetItems_Large(uint32_t port, uint32_t* flags, uint32_t* itemCount,
                                                   Can_Param_Monitor_Buffer64_LargeItem_t* slots) try {
  const kit::Call call(kCan, port);
  if (uint32_t code = call.checkPort()) return code;
  if (uint32_t code = call.checkPointer(flags, "flags")) return code;
  if (uint32_t code = call.checkPointer(itemCount, "itemCount")) return code;
  if (uint32_t code = call.checkPointer(slots, "slots")) return code;
  *flags = 0;
  const uint8_t instance = Qor_Monitor_InstanceId_Get(port);
  if (can::readerOf(port, instance) == can::readDirectLarge) {
    const uint64_t slotBytes = uint64_t{*itemCount} * can::kLargeSlotBytes;
    const auto size = static_cast<uint32_t>(std::min<uint64_t>(slotBytes, UINT32_MAX));
    return can::readDirectLarge(call, instance, size, itemCount, slots);
  }
  can::LargeItemRing* ring = can::largeItemRingOf(port);
  if (ring == nullptr) {
    *itemCount = 0;
    return call.fail(kCan.code(can::kMonitorNotStarted), "monitor is not configured for large items");
  }
  const can::LargeItemRing::Taken taken = ring->read(slots, *itemCount);
  *itemCount = taken.count;
  if (taken.more) *flags |= QOR_CAN_MONITOR_MORE_ITEMS;
  return 0;
} catch (...) {
  return kCan.failedCall(port);
}

uint32_t Qor_Can_Monitor_BufferMode_EnableEvent(uint32_t port, ExternalEvent* event) try {
  return Qor_Monitor_EnableEvent(port, event);
} catch (...) {
  return kCan.failedCall(port);
}

uint32_t Qor_Can_Monitor_BufferMode_DisableEvent(uint32_t port) try {
  return Qor_Monitor_DisableEvent(port);
} catch (...) {
  return kCan.failedCall(port);
}

}  // extern "C"
