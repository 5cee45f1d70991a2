// Finding what lies in a frame slot (command 0x20, sub-function 41): its frame trigger, L-PDU, the PDU's place in it
// and the PDU.
#include <vector>

#include "flexray_library.hpp"
#include "qor_flexray_pdu.h"

namespace qor::flexray {
namespace {

constexpr uint32_t kSearchSubFunction = 41;
constexpr size_t kSearchAnswerBytes = 45;
constexpr uint32_t kAnsweredTriggerFlags = 0x1F;
constexpr uint32_t kAnsweredLPduFlags = 0x03;

// The answer, read only when all of it arrived.
Qor_FlexRay_PduSearchResult_t decodeResult(const kit::AnswerReader& answer) {
  Qor_FlexRay_PduSearchResult_t result{};
  result.frameTriggerFlags = answer.u32(4) & kAnsweredTriggerFlags;
  result.slotIdentifier = answer.u16(8);
  result.selector1 = answer.u8(10);
  result.selector2 = answer.u8(11);
  result.channel = answer.u8(12);
  result.frameTriggerValue = answer.u8(13);
  result.lPduFlags = answer.u32(16) & kAnsweredLPduFlags;
  result.lPduIdentifier = answer.u32(20);
  result.lPduValues[0] = answer.u8(24);
  result.lPduValues[1] = answer.u8(25);
  result.lPduValues[2] = answer.u8(26);
  result.pduInLPduFlag = answer.u32(28) & 1u;
  result.pduInLPduValue16 = answer.u16(32);
  result.pduInLPduValue8 = answer.u8(34);
  result.pduFlag = answer.u32(36) & 1u;
  result.pduIdentifier = answer.u32(40);
  result.pduValue = answer.u8(44);
  return result;
}

// The port's interface type is checked as everywhere, so the search never reaches another kind of controller.
uint32_t search(const kit::Call& call, const Qor_FlexRay_PduSearchKey_t* key, Qor_FlexRay_PduSearchResult_t* result) {
  if (uint32_t code = checkRecord(call, key, "key", 0)) return code;
  if (uint32_t code = call.checkPointer(result, "result")) return code;
  if (uint32_t code = call.checkReserved(key->reserved, "reserved bytes must be zero")) return code;
  if (uint32_t code = checkChannel(call, key->channel)) return code;
  kit::RecordWriter record(16);
  record.u32(kSearchSubFunction).zeros(4).u16(key->slotIdentifier).u8(key->channel).u8(key->selector1);
  record.u8(key->selector2).zeros(3);
  std::vector<uint8_t> answer;
  if (uint32_t code = exchangeController(call, record, answer)) return code;
  const kit::AnswerReader reader(answer);
  if (!reader.has(kSearchAnswerBytes)) return call.shortAnswer(reader);
  const Qor_FlexRay_PduSearchResult_t found = decodeResult(reader);
  if (uint32_t code = checkFirmwareChannel(call, found.channel)) return code;
  *result = found;
  return 0;
}

}  // namespace
}  // namespace qor::flexray

using namespace qor::flexray;

uint32_t Qor_FlexRay_Pdu_Search(uint32_t port, const Qor_FlexRay_PduSearchKey_t* key,
                                Qor_FlexRay_PduSearchResult_t* result) try {
  return search(qor::kit::Call(kFlexRay, port), key, result);
} catch (...) {
  return kFlexRay.failedCall(port);
}
