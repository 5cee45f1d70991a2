// Frame triggers, L-PDUs, PDUs and the place of a PDU in an L-PDU (command 0x20, sub-functions 31 to 38): each
// configured from the caller's record or deleted by its key.
#include "flexray_library.hpp"
#include "qor_flexray_pdu.h"

namespace qor::flexray {
namespace {

enum PduSubFunction : uint32_t {
  kPduConfigure = 31,
  kPduDelete = 32,
  kLPduConfigure = 33,
  kLPduDelete = 34,
  kPduInLPduConfigure = 35,
  kPduInLPduDelete = 36,
  kFrameTriggerConfigure = 37,
  kFrameTriggerDelete = 38,
};

constexpr uint32_t kFrameTriggerPlainFlags = 0x0F;
constexpr uint32_t kFrameTriggerMovedFlag = 0x10;
constexpr uint32_t kFirmwareMovedFlag = 0x20;

// {sub-function, 0} and the fields that follow.
kit::RecordWriter recordOf(PduSubFunction subFunction, size_t bytes, uint8_t flags = 0) {
  kit::RecordWriter record(bytes);
  record.u32(subFunction).u8(flags).zeros(3);
  return record;
}

// Bits 0 to 3 travel unchanged; bit 4 is the firmware's bit 5.
uint8_t firmwareTriggerFlags(uint32_t flags) {
  const uint32_t moved = (flags & kFrameTriggerMovedFlag) != 0 ? kFirmwareMovedFlag : 0;
  return static_cast<uint8_t>((flags & kFrameTriggerPlainFlags) | moved);
}

uint32_t configureFrameTrigger(const kit::Call& call, const Qor_FlexRay_FrameTrigger_t* trigger) {
  if (uint32_t code = checkRecord(call, trigger, "trigger", QOR_FLEXRAY_FRAME_TRIGGER_FLAGS)) return code;
  if (uint32_t code = call.checkReserved(trigger->reserved, "reserved bytes have to be zero")) return code;
  if (uint32_t code = checkChannel(call, trigger->channel)) return code;
  kit::RecordWriter record = recordOf(kFrameTriggerConfigure, 20, firmwareTriggerFlags(trigger->flags));
  record.u32(trigger->identifier).u16(trigger->slotIdentifier).u8(trigger->selector1).u8(trigger->selector2);
  record.u8(trigger->channel).u8(trigger->value).u16(0);
  return exchangeController(call, record);
}

uint32_t deleteFrameTrigger(const kit::Call& call, const Qor_FlexRay_FrameTriggerKey_t* key) {
  if (uint32_t code = checkRecord(call, key, "key", 0)) return code;
  if (uint32_t code = checkChannel(call, key->channel)) return code;
  kit::RecordWriter record = recordOf(kFrameTriggerDelete, 12);
  record.u16(key->slotIdentifier).u8(key->selector).u8(key->channel);
  return exchangeController(call, record);
}

uint32_t configureLPdu(const kit::Call& call, const Qor_FlexRay_LPdu_t* lPdu) {
  if (uint32_t code = checkRecord(call, lPdu, "lPdu", QOR_FLEXRAY_LPDU_FLAGS)) return code;
  if (uint32_t code = call.checkReserved(lPdu->reserved, "reserved bytes have to be zero")) return code;
  kit::RecordWriter record = recordOf(kLPduConfigure, 16, static_cast<uint8_t>(lPdu->flags));
  record.u32(lPdu->identifier).bytes(lPdu->values, sizeof lPdu->values).u8(0);
  return exchangeController(call, record);
}

uint32_t configurePdu(const kit::Call& call, const Qor_FlexRay_Pdu_t* pdu) {
  if (uint32_t code = checkRecord(call, pdu, "pdu", 0)) return code;
  if (uint32_t code = call.checkReserved(pdu->reserved, "reserved bytes have to be zero")) return code;
  kit::RecordWriter record = recordOf(kPduConfigure, 16);
  record.u32(pdu->identifier).u8(pdu->value).zeros(3);
  return exchangeController(call, record);
}

uint32_t configurePduInLPdu(const kit::Call& call, const Qor_FlexRay_PduInLPdu_t* place) {
  if (uint32_t code = checkRecord(call, place, "place", QOR_FLEXRAY_PDU_IN_LPDU_FLAGS)) return code;
  if (uint32_t code = call.checkReserved(place->reserved, "reserved bytes have to be zero")) return code;
  kit::RecordWriter record = recordOf(kPduInLPduConfigure, 20, static_cast<uint8_t>(place->flags));
  record.u32(place->lPduIdentifier).u32(place->pduIdentifier).u16(place->value16).u8(place->value8).u8(0);
  return exchangeController(call, record);
}

// L-PDUs and PDUs: {sub-function, 0, identifier}.
uint32_t deleteByIdentifier(const kit::Call& call, PduSubFunction subFunction,
                            const Qor_FlexRay_IdentifierKey_t* key) {
  if (uint32_t code = checkRecord(call, key, "key", 0)) return code;
  kit::RecordWriter record = recordOf(subFunction, 12);
  record.u32(key->identifier);
  return exchangeController(call, record);
}

// The record's last four bytes carry nothing of the key: zeros.
uint32_t deletePduInLPdu(const kit::Call& call, const Qor_FlexRay_PduInLPduKey_t* key) {
  if (uint32_t code = checkRecord(call, key, "key", 0)) return code;
  kit::RecordWriter record = recordOf(kPduInLPduDelete, 20);
  record.u32(key->lPduIdentifier).u32(key->pduIdentifier).zeros(4);
  return exchangeController(call, record);
}

}  // namespace
}  // namespace qor::flexray

using namespace qor::flexray;
using qor::kit::Call;

uint32_t Qor_FlexRay_FrameTrigger_Config(uint32_t port, const Qor_FlexRay_FrameTrigger_t* trigger) try {
  return configureFrameTrigger(Call(kFlexRay, port), trigger);
} catch (...) {
  return kFlexRay.failedCall(port);
}

uint32_t Qor_FlexRay_FrameTrigger_Delete(uint32_t port, const Qor_FlexRay_FrameTriggerKey_t* key) try {
  return deleteFrameTrigger(Call(kFlexRay, port), key);
} catch (...) {
  return kFlexRay.failedCall(port);
}

uint32_t Qor_FlexRay_LPdu_Config(uint32_t port, const Qor_FlexRay_LPdu_t* lPdu) try {
  return configureLPdu(Call(kFlexRay, port), lPdu);
} catch (...) {
  return kFlexRay.failedCall(port);
}

uint32_t Qor_FlexRay_LPdu_Delete(uint32_t port, const Qor_FlexRay_IdentifierKey_t* key) try {
  return deleteByIdentifier(Call(kFlexRay, port), kLPduDelete, key);
} catch (...) {
  return kFlexRay.failedCall(port);
}

uint32_t Qor_FlexRay_Pdu_Config(uint32_t port, const Qor_FlexRay_Pdu_t* pdu) try {
  return configurePdu(Call(kFlexRay, port), pdu);
} catch (...) {
  return kFlexRay.failedCall(port);
}

uint32_t Qor_FlexRay_Pdu_Delete(uint32_t port, const Qor_FlexRay_IdentifierKey_t* key) try {
  return deleteByIdentifier(Call(kFlexRay, port), kPduDelete, key);
} catch (...) {
  return kFlexRay.failedCall(port);
}

uint32_t Qor_FlexRay_PduInLPdu_Config(uint32_t port, const Qor_FlexRay_PduInLPdu_t* place) try {
  return configurePduInLPdu(Call(kFlexRay, port), place);
} catch (...) {
  return kFlexRay.failedCall(port);
}

uint32_t Qor_FlexRay_PduInLPdu_Delete(uint32_t port, const Qor_FlexRay_PduInLPduKey_t* key) try {
  return deletePduInLPdu(Call(kFlexRay, port), key);
} catch (...) {
  return kFlexRay.failedCall(port);
}
