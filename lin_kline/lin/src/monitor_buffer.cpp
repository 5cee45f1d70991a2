#include <algorithm>
#include <memory>
#include <new>

#include "lin_library.hpp"
#include "monitor_control.hpp"
#include "monitor_items.hpp"
#include "qor_api.h"
#include "qor_error_codes.h"
#include "qor_lin_monitor.h"

namespace qor::lin {
namespace {

constexpr uint32_t kItemsLost = 1u << 1;  // of the read's flags

uint32_t tooSmall(const kit::Call& call, uint32_t minimumBytes) {
  return call.fail(kit::GeneralError::ResponseBufferUndersized, "minimum buffer size = '%u' bytes", minimumBytes);
}

uint32_t start(const kit::Call& call, uint8_t bufferMode, ItemKind kind, uint32_t bufferSize) {
  if (uint32_t code = checkLinInterface(call)) return code;
  if (uint32_t code = checkBufferMode(call, bufferMode)) return code;
  const ItemFormat& format = itemFormat(kind);
  // The firmware's items take less room than the application's: the ring holds as many of them as the caller's buffer
  // holds application items, and at least the port's minimum.
  const uint32_t minimum = Qor_GetMinimumMonitorBufferSize(call.port());
  const uint32_t minimumItems = std::max<uint32_t>(1, (minimum + format.firmwareSize - 1) / format.firmwareSize);
  const uint32_t items = bufferSize / format.applicationSize;
  if (items < minimumItems) return tooSmall(call, minimumItems * format.applicationSize);
  if (uint32_t code = Qor_Monitor_Init(call.port(), 0, nullptr, nullptr, items * format.firmwareSize, nullptr)) {
    return code;
  }
  return configureAndStart(call, bufferMode, format);
}

uint32_t stop(const kit::Call& call) {
  if (uint32_t code = checkLinInterface(call)) return code;
  return Qor_CloseMonitor(call.port());
}

uint32_t readItems(const kit::Call& call, ItemKind kind, uint32_t bufferSize, uint32_t* count, void* items) {
  if (uint32_t code = checkLinInterface(call)) return code;
  if (uint32_t code = call.checkPointer(count, "count")) return code;
  if (uint32_t code = call.checkPointer(items, "items")) return code;
  const ItemFormat& format = itemFormat(kind);
  const uint32_t room = bufferSize / format.applicationSize;
  if (room == 0) return tooSmall(call, format.applicationSize);
  const size_t firmwareBytes = size_t{room} * format.firmwareSize;
  std::unique_ptr<uint8_t[]> firmwareItems;
  try {
    firmwareItems = std::make_unique_for_overwrite<uint8_t[]>(firmwareBytes);  // filled by the read
  } catch (const std::bad_alloc&) {
    return call.fail(kLin.code(kNotEnoughMemory), "could not allocate internal data buffer");
  }
  uint32_t flags = 0;
  uint32_t read = 0;
  const uint32_t code = Qor_Monitor_Read_FixedItemSize(call.port(), format.firmwareSize,
                                                       static_cast<uint32_t>(firmwareBytes), &flags, &read,
                                                       firmwareItems.get());
  if (code == QOR_ERR_API_RESPONSE_BUFFER_TOO_SMALL) {
    return call.fail(kit::GeneralError::ResponseBufferUndersized, "buffer too small for available data");
  }
  if (code != 0) return code;
  read = std::min(read, room);
  auto* converted = static_cast<uint8_t*>(items);
  for (uint32_t i = 0; i < read; ++i) {
    convertBufferItem(format, firmwareItems.get() + size_t{i} * format.firmwareSize,
                      converted + size_t{i} * format.applicationSize);
  }
  if (flags & kItemsLost) markOverflow(format, converted, read);
  *count = read;
  return 0;
}

uint32_t enableEvent(const kit::Call& call, ExternalEvent* event) {
  if (uint32_t code = checkLinInterface(call)) return code;
  if (uint32_t code = call.checkPointer(event, "event")) return code;
  return Qor_Monitor_EnableEvent(call.port(), event);
}

uint32_t disableEvent(const kit::Call& call) {
  if (uint32_t code = checkLinInterface(call)) return code;
  return Qor_Monitor_DisableEvent(call.port());
}

}  // namespace
}  // namespace qor::lin

using qor::kit::Call;
using qor::lin::ItemKind;
using qor::lin::kLin;

uint32_t Qor_Lin_Monitor_BufferMode_Small_Start(uint32_t port, uint8_t bufferMode, uint32_t bufferSize) try {
  return qor::lin::start(Call(kLin, port), bufferMode, ItemKind::Small, bufferSize);
} catch (...) {
  return kLin.failedCall(port);
}

uint32_t Qor_Lin_Monitor_BufferMode_Normal_Start(uint32_t port, uint8_t bufferMode, uint32_t bufferSize) try {
  return qor::lin::start(Call(kLin, port), bufferMode, ItemKind::Normal, bufferSize);
} catch (...) {
  return kLin.failedCall(port);
}

uint32_t Qor_Lin_Monitor_BufferMode_Advanced_Start(uint32_t port, uint8_t bufferMode, uint32_t bufferSize) try {
  return qor::lin::start(Call(kLin, port), bufferMode, ItemKind::Advanced, bufferSize);
} catch (...) {
  return kLin.failedCall(port);
}

uint32_t Qor_Lin_Monitor_BufferMode_Small_Stop(uint32_t port) try {
  return qor::lin::stop(Call(kLin, port));
} catch (...) {
  return kLin.failedCall(port);
}

uint32_t Qor_Lin_Monitor_BufferMode_Normal_Stop(uint32_t port) try {
  return qor::lin::stop(Call(kLin, port));
} catch (...) {
  return kLin.failedCall(port);
}

uint32_t Qor_Lin_Monitor_BufferMode_Advanced_Stop(uint32_t port) try {
  return qor::lin::stop(Call(kLin, port));
} catch (...) {
  return kLin.failedCall(port);
}

uint32_t Qor_Lin_Monitor_BufferMode_Small_GetItems(uint32_t port, uint32_t bufferSize, uint32_t* count,
                                                   Qor_Lin_Monitor_SmallItem_t* items) try {
  return qor::lin::readItems(Call(kLin, port), ItemKind::Small, bufferSize, count, items);
} catch (...) {
  return kLin.failedCall(port);
}

uint32_t Qor_Lin_Monitor_BufferMode_Normal_GetItems(uint32_t port, uint32_t bufferSize, uint32_t* count,
                                                    Qor_Lin_Monitor_NormalItem_t* items) try {
  return qor::lin::readItems(Call(kLin, port), ItemKind::Normal, bufferSize, count, items);
} catch (...) {
  return kLin.failedCall(port);
}

uint32_t Qor_Lin_Monitor_BufferMode_Advanced_GetItems(uint32_t port, uint32_t bufferSize, uint32_t* count,
                                                      Qor_Lin_Monitor_AdvancedItem_t* items) try {
  return qor::lin::readItems(Call(kLin, port), ItemKind::Advanced, bufferSize, count, items);
} catch (...) {
  return kLin.failedCall(port);
}

uint32_t Qor_Lin_Monitor_BufferMode_EnableEvent(uint32_t port, ExternalEvent* event) try {
  return qor::lin::enableEvent(Call(kLin, port), event);
} catch (...) {
  return kLin.failedCall(port);
}

uint32_t Qor_Lin_Monitor_BufferMode_DisableEvent(uint32_t port) try {
  return qor::lin::disableEvent(Call(kLin, port));
} catch (...) {
  return kLin.failedCall(port);
}
