#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "can_library.hpp"
#include "monitor_commands.hpp"
#include "monitor_instances.hpp"
#include "monitor_items.hpp"
#include "monitor_start.hpp"
#include "qor_api.h"
#include "qor_can_monitor.h"
#include "qor_kit/call.hpp"
#include "qor_kit/monitor_session.hpp"
#include "qor_monitor.h"

namespace qor::can {
namespace {

constexpr uint8_t kAsynchronousModeBits = 7;

// Hands each block of the instance to the application as API items, converted from compact ones on firmware of
// width 32, in pieces of the conversion buffer.
class AsynchronousRelay : public kit::MonitorSession {
 public:
  AsynchronousRelay(Qor_Can_Monitor_BufferMode_Callback_t callback, bool compact, size_t bufferItems)
      : callback_(callback), compact_(compact), items_(bufferItems) {}

  void deliver(uint32_t port, std::span<const uint8_t> block) override {
    const size_t itemBytes = compact_ ? kCompactItemBytes : kItemBytes;
    size_t count = block.size() / itemBytes;
    const uint8_t* next = block.data();
    while (count > 0) {
      const size_t piece = std::min(count, items_.size());
      for (size_t index = 0; index < piece; ++index, next += itemBytes) {
        if (compact_) {
          items_[index] = apiItem(next, CompactFlags::ApiBits);
        } else {
          std::memcpy(&items_[index], next, kItemBytes);
        }
      }
      callback_(port, static_cast<uint32_t>(piece), items_.data());
      count -= piece;
    }
  }

 private:
  Qor_Can_Monitor_BufferMode_Callback_t callback_;
  bool compact_;
  std::vector<Qor_Can_Monitor_Item_t> items_;  // aligned for the application, unlike the core's block
};

}  // namespace
}  // namespace qor::can

using namespace qor;
using can::kCan;

extern "C" {

uint32_t Qor_Can_Monitor_BufferMode_Async_Start(uint32_t port, uint8_t bufferMode,
                                                Qor_Can_Monitor_BufferMode_Callback_t callback) try {
  const kit::Call call(kCan, port);
  if (uint32_t code = can::checkCanInterface(call)) return code;
  if (!Qor_IsAsyncCommunicationEnabled(port)) return call.fail(kCan.code(can::kAsynchronousCommunicationNotEnabled));
  // Before the core's instance is set up: that closes a running monitor of the instance.
  if (bufferMode > can::kHighestBufferMode) {
    return call.fail(kit::GeneralError::UnknownMode, "unknown buffer mode: %u", bufferMode);
  }
  if (callback == nullptr) return call.fail(kit::GeneralError::InvalidParameter, "'callback' is NULL");
  uint32_t width = 0;
  if (uint32_t code = can::parameterWidth(call, &width)) return code;
  const uint32_t minimum = Qor_GetMinimumMonitorBufferSize(port);
  std::unique_ptr<can::AsynchronousRelay> relay;
  try {
    relay = std::make_unique<can::AsynchronousRelay>(callback, width == can::kNarrowWidth,
                                                     std::max<size_t>(1, minimum / can::kCompactItemBytes));
  } catch (const std::bad_alloc&) {
    return call.fail(kCan.code(can::kNotEnoughMemory), "could not allocate buffer for monitor items");
  }
  const uint8_t instance = Qor_Monitor_InstanceId_Get(port);
  void* context = nullptr;
  if (uint32_t code = Qor_Monitor_Init(port, QOR_MONITOR_CALLBACK_MODE, kit::deliverToSession,
                                       can::instanceCleanup(instance), kit::kMonitorSessionContextBytes, &context)) {
    return code;
  }
  kit::installSession(context, std::move(relay));
  return can::configureAndStart(call, width, instance, bufferMode, can::kAsynchronousModeBits);
} catch (...) {
  return kCan.failedCall(port);
}

uint32_t Qor_Can_Monitor_BufferMode_Async_Stop(uint32_t port) try {
  const kit::Call call(kCan, port);
  if (uint32_t code = can::checkCanInterface(call)) return code;
  const uint32_t stopped = can::monitorCommand(call, can::kStopAsynchronous, Qor_Monitor_InstanceId_Get(port));
  const uint32_t closed = Qor_CloseMonitor(port);
  return stopped != 0 ? stopped : closed;
} catch (...) {
  return kCan.failedCall(port);
}

}  // extern "C"
