#include <span>
#include <vector>

#include "lin_library.hpp"
#include "monitor_control.hpp"
#include "monitor_items.hpp"
#include "qor_kit/async_family.hpp"
#include "qor_lin_monitor.h"

namespace qor::lin {
namespace {

const kit::AsyncFamily kSmallListFamily(listFormat(ListKind::Small).command, {},
                                        sizeof(Qor_Lin_Monitor_ListSmallItem_t));
const kit::AsyncFamily kNormalListFamily(listFormat(ListKind::Normal).command, {},
                                         sizeof(Qor_Lin_Monitor_ListNormalItem_t));

const kit::AsyncFamily& listFamily(ListKind kind) {
  return kind == ListKind::Small ? kSmallListFamily : kNormalListFamily;
}

kit::RecordWriter listQuery(uint8_t frameId) {
  kit::RecordWriter record(4);
  record.u8(frameId).u8(0).u16(0);
  return record;
}

uint32_t switchTo(const kit::Call& call, ListSwitch value) {
  if (uint32_t code = checkLinInterface(call)) return code;
  return switchList(call, value);
}

uint32_t readItem(const kit::Call& call, ListKind kind, uint8_t frameId, void* item) {
  if (uint32_t code = checkLinInterface(call)) return code;
  if (uint32_t code = call.checkPointer(item, "item")) return code;
  const ListFormat& format = listFormat(kind);
  std::vector<uint8_t> answer;
  if (uint32_t code = call.exchange(format.command, 0, listQuery(frameId), answer, format.answerSize)) return code;
  if (answer.size() < format.answerSize) {
    return call.fail(kit::GeneralError::InvalidResponseLength, "firmware response is too small");
  }
  convertListAnswer(format, answer, static_cast<uint8_t*>(item));
  return 0;
}

uint32_t requestItem(const kit::Call& call, ListKind kind, uint8_t frameId) {
  if (uint32_t code = checkLinInterface(call)) return code;
  return listFamily(kind).request(call, listQuery(frameId));
}

template <ListKind kKind>
struct ListAnswer;
template <>
struct ListAnswer<ListKind::Small> {
  static constexpr const char* kRelay = "Qor_Lin_Monitor_ListMode_Small_GetItem_Async";
};
template <>
struct ListAnswer<ListKind::Normal> {
  static constexpr const char* kRelay = "Qor_Lin_Monitor_ListMode_Normal_GetItem_Async";
};

// On the port's callback thread: the item is built in the entry's own storage.
template <ListKind kKind>
void listRelay(uint32_t port, void* context, const uint8_t* data, uint32_t length) {
  const ListFormat& format = listFormat(kKind);
  if (length < format.answerSize) {
    kit::reportRelayFailure(port, kLin.code(kit::GeneralError::InvalidResponseLength), ListAnswer<kKind>::kRelay);
    return;
  }
  auto* item = kit::AsyncFamily::decodedRecord<uint8_t>(context);
  convertListAnswer(format, std::span(data, length), item);
  kit::AsyncFamily::applicationCallback<Qor_Lin_Monitor_ListItemCallback_t>(context)(port, item);
}

template <ListKind kKind>
uint32_t addCallback(const kit::Call& call, Qor_Lin_Monitor_ListItemCallback_t callback) {
  if (uint32_t code = checkLinInterface(call)) return code;
  if (callback == nullptr) return call.fail(kit::GeneralError::InvalidParameter, "'callback' is NULL");
  return listFamily(kKind).add(call.port(), listRelay<kKind>, callback);
}

uint32_t removeCallback(const kit::Call& call, ListKind kind) {
  if (uint32_t code = checkLinInterface(call)) return code;
  return listFamily(kind).remove(call.port());
}

}  // namespace
}  // namespace qor::lin

using qor::kit::Call;
using qor::lin::kLin;
using qor::lin::ListKind;

uint32_t Qor_Lin_Monitor_ListMode_Small_Start(uint32_t port) try {
  return qor::lin::switchTo(Call(kLin, port), qor::lin::kSmallListOn);
} catch (...) {
  return kLin.failedCall(port);
}

uint32_t Qor_Lin_Monitor_ListMode_Small_Stop(uint32_t port) try {
  return qor::lin::switchTo(Call(kLin, port), qor::lin::kSmallListOff);
} catch (...) {
  return kLin.failedCall(port);
}

uint32_t Qor_Lin_Monitor_ListMode_Normal_Start(uint32_t port) try {
  return qor::lin::switchTo(Call(kLin, port), qor::lin::kNormalListOn);
} catch (...) {
  return kLin.failedCall(port);
}

uint32_t Qor_Lin_Monitor_ListMode_Normal_Stop(uint32_t port) try {
  return qor::lin::switchTo(Call(kLin, port), qor::lin::kNormalListOff);
} catch (...) {
  return kLin.failedCall(port);
}

uint32_t Qor_Lin_Monitor_ListMode_Small_GetItem(uint32_t port, uint8_t frameId,
                                                Qor_Lin_Monitor_ListSmallItem_t* item) try {
  return qor::lin::readItem(Call(kLin, port), ListKind::Small, frameId, item);
} catch (...) {
  return kLin.failedCall(port);
}

uint32_t Qor_Lin_Monitor_ListMode_Normal_GetItem(uint32_t port, uint8_t frameId,
                                                 Qor_Lin_Monitor_ListNormalItem_t* item) try {
  return qor::lin::readItem(Call(kLin, port), ListKind::Normal, frameId, item);
} catch (...) {
  return kLin.failedCall(port);
}

uint32_t Qor_Lin_Monitor_ListMode_Small_GetItem_Async(uint32_t port, uint8_t frameId) try {
  return qor::lin::requestItem(Call(kLin, port), ListKind::Small, frameId);
} catch (...) {
  return kLin.failedCall(port);
}

uint32_t Qor_Lin_Monitor_ListMode_Normal_GetItem_Async(uint32_t port, uint8_t frameId) try {
  return qor::lin::requestItem(Call(kLin, port), ListKind::Normal, frameId);
} catch (...) {
  return kLin.failedCall(port);
}

uint32_t Qor_Lin_Monitor_ListMode_Small_GetItem_Async_AddCallback(uint32_t port,
                                                                  Qor_Lin_Monitor_ListItemCallback_t callback) try {
  return qor::lin::addCallback<ListKind::Small>(Call(kLin, port), callback);
} catch (...) {
  return kLin.failedCall(port);
}

uint32_t Qor_Lin_Monitor_ListMode_Normal_GetItem_Async_AddCallback(uint32_t port,
                                                                   Qor_Lin_Monitor_ListItemCallback_t callback) try {
  return qor::lin::addCallback<ListKind::Normal>(Call(kLin, port), callback);
} catch (...) {
  return kLin.failedCall(port);
}

uint32_t Qor_Lin_Monitor_ListMode_Small_GetItem_Async_RemoveCallback(uint32_t port) try {
  return qor::lin::removeCallback(Call(kLin, port), ListKind::Small);
} catch (...) {
  return kLin.failedCall(port);
}

uint32_t Qor_Lin_Monitor_ListMode_Normal_GetItem_Async_RemoveCallback(uint32_t port) try {
  return qor::lin::removeCallback(Call(kLin, port), ListKind::Normal);
} catch (...) {
  return kLin.failedCall(port);
}
