#include <array>
#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

#include "kline_library.hpp"
#include "monitor_deliveries.hpp"
#include "monitor_items.hpp"
#include "monitor_ring.hpp"
#include "qor_api.h"
#include "qor_kline_monitor.h"

namespace qor::kline {
namespace {

constexpr uint8_t kMonitorCommand = 0x54;
constexpr uint8_t kOneControlByte = 1;
enum MonitorSub : uint32_t { kConfigureRegular = 1, kConfigureAdvanced = 2, kStart = 3, kStop = 4 };
constexpr uint32_t kRegularFlags = 0;
constexpr uint32_t kAdvancedFlags = 0x07;
// The core keeps a context of this size with the monitor; the library's own state lives in its table.
constexpr uint32_t kCoreContextSize = 8;

// One configured monitor. The core's thread appends deliveries while the application reads: mutex guards ring and
// parser, taken per delivery and per item read; nothing calls into the core while holding it.
struct MonitorContext {
  MonitorContext(bool isAdvanced, size_t ringSize)
      : advanced(isAdvanced),
        ring(ringSize, isAdvanced ? kAdvancedFlagOffset : kRegularFlagOffset),
        parser(isAdvanced) {}

  const bool advanced;
  void* coreContext = nullptr;  // the core's context of this monitor, which its callbacks name
  std::atomic<bool> started = false;
  std::mutex mutex;
  MonitorRing ring;
  DeliveryParser parser;
};

// The configured monitors by port. An entry goes when the monitor closes, by the library's own close or by the
// core's (a port that closes): the core's clean-up empties it.
class MonitorTable {
 public:
  std::shared_ptr<MonitorContext> find(uint32_t port) {
    std::lock_guard lock(mutex_);
    return port < entries_.size() ? entries_[port] : nullptr;
  }
  void set(uint32_t port, std::shared_ptr<MonitorContext> context) {
    std::lock_guard lock(mutex_);
    entries_.at(port) = std::move(context);
  }
  // Empties the entry when it is the monitor of this core context (any monitor for nullptr).
  void erase(uint32_t port, const void* coreContext) {
    std::shared_ptr<MonitorContext> dropped;  // destroyed outside the lock
    std::lock_guard lock(mutex_);
    if (port >= entries_.size() || !entries_[port]) return;
    if (coreContext == nullptr || entries_[port]->coreContext == coreContext) dropped = std::move(entries_[port]);
  }

 private:
  std::mutex mutex_;
  std::array<std::shared_ptr<MonitorContext>, QOR_MAX_PORTS> entries_{};
};

MonitorTable& monitors() {
  static MonitorTable table;
  return table;
}

// The core's thread, under its monitor section. Deliveries before the table names this monitor are nobody's.
void delivered(uint32_t port, void* coreContext, const uint8_t* data, uint32_t length) {
  const std::shared_ptr<MonitorContext> context = monitors().find(port);
  if (!context || coreContext == nullptr || context->coreContext != coreContext || data == nullptr) return;
  std::lock_guard lock(context->mutex);
  context->parser.take(std::span(data, length), context->ring);
}

void closed(uint32_t port, void* coreContext) {
  if (coreContext != nullptr) monitors().erase(port, coreContext);
}

uint32_t exchange(const kit::Call& call, const kit::RecordWriter& record) {
  std::vector<uint8_t> answer;
  return call.exchange(kMonitorCommand, kOneControlByte, record, answer);
}

uint32_t subCommand(const kit::Call& call, MonitorSub sub) {
  kit::RecordWriter record(4);
  record.u32(sub);
  return exchange(call, record);
}

uint32_t closeMonitor(const kit::Call& call) {
  const uint32_t code = Qor_CloseMonitor(call.port());
  monitors().erase(call.port(), nullptr);
  return code;
}

uint32_t configure(const kit::Call& call, bool advanced, uint32_t flags, uint32_t allowedFlags, uint32_t ringSize,
                   const kit::RecordWriter& record) {
  if (uint32_t code = checkKLine(call)) return code;
  if (uint32_t code = checkCommandFlags(call, flags, allowedFlags)) return code;
  if (monitors().find(call.port())) return call.fail(kKLine.code(kMonitorAlreadyConfigured));
  const uint32_t size = ringSize == 0 ? QOR_KLINE_MONITOR_DEFAULT_RING : ringSize;
  const uint32_t minimum = advanced ? QOR_KLINE_MONITOR_MIN_RING_ADVANCED : QOR_KLINE_MONITOR_MIN_RING_REGULAR;
  if (size < minimum) {
    return call.fail(kKLine.code(kInvalidParameter), "buffer size (%u byte) < minimum buffer size (%u byte)", size,
                     minimum);
  }
  auto context = std::make_shared<MonitorContext>(advanced, size);
  if (uint32_t code = Qor_Monitor_Init(call.port(), QOR_MONITOR_CALLBACK_MODE, delivered, closed, kCoreContextSize,
                                       &context->coreContext)) {
    return code;
  }
  monitors().set(call.port(), context);
  if (uint32_t code = exchange(call, record)) {
    closeMonitor(call);
    return code;
  }
  return 0;
}

uint32_t configureRegular(const kit::Call& call, uint32_t flags, uint32_t ringSize) {
  kit::RecordWriter record(12);
  record.u32(kConfigureRegular).u32(1).u32(0);
  return configure(call, false, flags, kRegularFlags, ringSize, record);
}

uint32_t configureAdvanced(const kit::Call& call, uint32_t flags, uint8_t valueA, uint32_t valueB,
                           uint32_t ringSize) {
  const uint32_t options = 1 | (flags & 1 ? 2 : 0) | (flags & 2 ? 4 : 0) | (flags & 4 ? 8 : 0);
  kit::RecordWriter record(20);
  record.u32(kConfigureAdvanced).u32(options).u32(0).u8(flags & 1 ? valueA : 0).zeros(3).u32(flags & 2 ? valueB : 0);
  return configure(call, true, flags, kAdvancedFlags, ringSize, record);
}

uint32_t start(const kit::Call& call) {
  if (uint32_t code = checkKLine(call)) return code;
  const std::shared_ptr<MonitorContext> context = monitors().find(call.port());
  if (!context) return call.fail(kKLine.code(kMonitorNotConfigured));
  if (uint32_t code = subCommand(call, kStart)) return code;
  context->started = true;
  return 0;
}

uint32_t stop(const kit::Call& call) {
  if (uint32_t code = checkKLine(call)) return code;
  const std::shared_ptr<MonitorContext> context = monitors().find(call.port());
  if (!context || !context->started) return 0;
  if (uint32_t code = subCommand(call, kStop)) return code;
  context->started = false;
  return 0;
}

// The monitor closes even when the stop fails: its ring and table entry never outlive it.
uint32_t configOff(const kit::Call& call) {
  if (uint32_t code = checkKLine(call)) return code;
  const uint32_t stopped = stop(call);
  const uint32_t closedCode = closeMonitor(call);
  return stopped != 0 ? stopped : closedCode;
}

// The monitor that a read may use: configured for these items and started.
uint32_t readable(const kit::Call& call, bool advanced, std::shared_ptr<MonitorContext>& context) {
  context = monitors().find(call.port());
  const uint32_t notConfigured = kKLine.code(kMonitorNotConfigured);
  if (!context) return call.fail(notConfigured);
  if (!context->started) return call.fail(notConfigured, "monitor is not started");
  if (context->advanced != advanced) {
    return call.fail(notConfigured, "monitor is configurated for %s items", advanced ? "regular" : "advanced");
  }
  return 0;
}

// The failure is recorded outside the monitor's lock: recording takes the core's locks.
uint32_t remaining(const kit::Call& call, MonitorContext& context) {
  bool itemsRemain = false;
  {
    std::lock_guard lock(context.mutex);
    itemsRemain = context.ring.holdsItems();
  }
  if (!itemsRemain) return 0;
  return call.fail(kKLine.code(kResponseBufferTooSmall), "not all monitor items could be read");
}

uint32_t readRegular(const kit::Call& call, uint32_t* count, Qor_KLine_Monitor_RegularItem_t* items) {
  if (uint32_t code = checkKLine(call)) return code;
  if (uint32_t code = checkPointer(call, count, "count")) return code;
  if (*count != 0) {
    if (uint32_t code = checkPointer(call, items, "items")) return code;
  }
  std::shared_ptr<MonitorContext> context;
  if (uint32_t code = readable(call, false, context)) return code;
  const uint32_t capacity = *count;
  uint32_t delivered = 0;
  while (delivered < capacity) {
    std::lock_guard lock(context->mutex);
    if (!context->ring.holdsItems()) break;
    items[delivered++] = regularItem(context->ring.oldest());
    context->ring.dropOldest();
  }
  *count = delivered;
  return remaining(call, *context);
}

uint32_t readAdvanced(const kit::Call& call, uint32_t* size, void* buffer) {
  if (uint32_t code = checkKLine(call)) return code;
  if (uint32_t code = checkPointer(call, size, "size")) return code;
  if (*size != 0) {
    if (uint32_t code = checkPointer(call, buffer, "buffer")) return code;
  }
  std::shared_ptr<MonitorContext> context;
  if (uint32_t code = readable(call, true, context)) return code;
  auto* out = static_cast<uint8_t*>(buffer);
  const size_t capacity = *size;
  size_t used = 0;
  for (;;) {
    std::lock_guard lock(context->mutex);
    if (!context->ring.holdsItems()) break;
    const std::span<const uint8_t> item = context->ring.oldest();
    const size_t itemSize = advancedItemSize(item);
    if (itemSize > capacity - used) break;
    writeAdvancedItem(item, out + used);
    used += itemSize;
    context->ring.dropOldest();
  }
  *size = static_cast<uint32_t>(used);
  return remaining(call, *context);
}

uint32_t enableEvent(const kit::Call& call, ExternalEvent* event) {
  if (uint32_t code = checkKLine(call)) return code;
  return Qor_Monitor_EnableEvent(call.port(), event);
}

uint32_t disableEvent(const kit::Call& call) {
  if (uint32_t code = checkKLine(call)) return code;
  return Qor_Monitor_DisableEvent(call.port());
}

}  // namespace
}  // namespace qor::kline

using qor::kit::Call;
using qor::kline::kKLine;

uint32_t Qor_KLine_Monitor_Config_Regular(uint32_t port, uint32_t flags, uint32_t ringSize) try {
  return qor::kline::configureRegular(Call(kKLine, port), flags, ringSize);
} catch (...) {
  return kKLine.failedCall(port);
}

uint32_t Qor_KLine_Monitor_Config_Advanced(uint32_t port, uint32_t flags, uint8_t valueA, uint32_t valueB,
                                           uint32_t ringSize) try {
  return qor::kline::configureAdvanced(Call(kKLine, port), flags, valueA, valueB, ringSize);
} catch (...) {
  return kKLine.failedCall(port);
}

uint32_t Qor_KLine_Monitor_Start(uint32_t port) try {
  return qor::kline::start(Call(kKLine, port));
} catch (...) {
  return kKLine.failedCall(port);
}

uint32_t Qor_KLine_Monitor_Stop(uint32_t port) try {
  return qor::kline::stop(Call(kKLine, port));
} catch (...) {
  return kKLine.failedCall(port);
}

uint32_t Qor_KLine_Monitor_Config_Off(uint32_t port) try {
  return qor::kline::configOff(Call(kKLine, port));
} catch (...) {
  return kKLine.failedCall(port);
}

uint32_t Qor_KLine_Monitor_EnableEvent(uint32_t port, ExternalEvent* event) try {
  return qor::kline::enableEvent(Call(kKLine, port), event);
} catch (...) {
  return kKLine.failedCall(port);
}

uint32_t Qor_KLine_Monitor_DisableEvent(uint32_t port) try {
  return qor::kline::disableEvent(Call(kKLine, port));
} catch (...) {
  return kKLine.failedCall(port);
}

uint32_t Qor_KLine_Monitor_GetItems_Regular(uint32_t port, uint32_t* count,
                                            Qor_KLine_Monitor_RegularItem_t* items) try {
  return qor::kline::readRegular(Call(kKLine, port), count, items);
} catch (...) {
  return kKLine.failedCall(port);
}

uint32_t Qor_KLine_Monitor_GetItems_Advanced(uint32_t port, uint32_t* size, void* buffer) try {
  return qor::kline::readAdvanced(Call(kKLine, port), size, buffer);
} catch (...) {
  return kKLine.failedCall(port);
}
