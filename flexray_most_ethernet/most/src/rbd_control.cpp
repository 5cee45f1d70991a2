// Driving the ring break diagnosis (command 0x25): reset, port output, system state, initiating a diagnosis and the
// responses the node gives during one.
#include <vector>

#include "most_library.hpp"
#include "qor_most_rbd.h"
#include "rbd_command.hpp"

namespace qor::most {
namespace {

constexpr size_t kSetResponsesBytes = 72;

uint32_t send(const kit::Call& call, kit::RecordWriter& record) {
  std::vector<uint8_t> answer;
  return call.exchange(kRbdCommand, 1, record, answer, kRbdAnswerCapacity);
}

// A record of the selector's head and one byte with three zeros.
uint32_t sendByte(const kit::Call& call, RbdSelector selector, uint8_t value) {
  kit::RecordWriter record = rbdRecord(8, selector);
  record.u8(value).zeros(3);
  return send(call, record);
}

uint32_t checkFlags(const kit::Call& call, uint32_t flags) {
  return flags > QOR_MOST_RBD_FLAGS ? call.fail(kit::GeneralError::UnknownFlag, "%u", flags) : 0;
}

uint32_t reset(const kit::Call& call) {
  if (uint32_t code = checkMostInterface(call)) return code;
  kit::RecordWriter record = rbdRecord(4, kRbdReset);
  return send(call, record);
}

uint32_t setPortOutput(const kit::Call& call, uint8_t level) {
  if (uint32_t code = checkMostInterface(call)) return code;
  if (level > QOR_MOST_RBD_MAX_LEVEL) return call.fail(kMost.code(kRbdInvalidLevel), "%u", level);
  return sendByte(call, kRbdPortOutput, level);
}

uint32_t setSystemState(const kit::Call& call, uint8_t status) {
  if (uint32_t code = checkMostInterface(call)) return code;
  if (status > QOR_MOST_RBD_MAX_SYSTEM_STATUS) {
    return call.fail(kMost.code(kRbdInvalidState), "Invalid status: %u", status);
  }
  return sendByte(call, kRbdSystemState, status);
}

uint32_t initiate(const kit::Call& call, uint32_t flags, uint32_t value1, uint32_t value2, uint8_t value3) {
  if (uint32_t code = checkMostInterface(call)) return code;
  if (uint32_t code = checkFlags(call, flags)) return code;
  kit::RecordWriter record = rbdRecord(20, kRbdInitiate);
  record.u8(static_cast<uint8_t>(flags)).zeros(3).u32(value1).u32(value2).u8(value3).zeros(3);
  return send(call, record);
}

uint32_t setResponses(const kit::Call& call, uint32_t flags, uint8_t option, uint8_t count, const uint8_t* types) {
  if (uint32_t code = checkMostInterface(call)) return code;
  if (uint32_t code = checkFlags(call, flags)) return code;
  if (count > QOR_MOST_RBD_MAX_RESPONSES) {
    return call.fail(kit::GeneralError::InvalidDataLength, "Invalid numberOfResponses: %u", count);
  }
  if (count != 0) {
    if (uint32_t code = call.checkPointer(types, "types")) return code;
  }
  for (int i = 0; i < count; ++i) {
    if (types[i] > QOR_MOST_RBD_MAX_RESPONSE_TYPE) {
      return call.fail(kit::GeneralError::InvalidParameter, "unknown response type ('%d') in response %d", types[i], i);
    }
  }
  kit::RecordWriter record = rbdRecord(kSetResponsesBytes, kRbdSetResponses);
  record.u8(static_cast<uint8_t>(flags)).zeros(3).u8(count).u8(option).u16(0).bytes(types, count);
  record.zeros(record.room());
  return send(call, record);
}

}  // namespace
}  // namespace qor::most

using namespace qor::most;
using qor::kit::Call;

uint32_t Qor_Most_Rbd_Reset(uint32_t port) try {
  return reset(Call(kMost, port));
} catch (...) {
  return kMost.failedCall(port);
}

uint32_t Qor_Most_Rbd_SetPortOutput(uint32_t port, uint8_t level) try {
  return setPortOutput(Call(kMost, port), level);
} catch (...) {
  return kMost.failedCall(port);
}

uint32_t Qor_Most_Rbd_SetSystemState(uint32_t port, uint8_t status) try {
  return setSystemState(Call(kMost, port), status);
} catch (...) {
  return kMost.failedCall(port);
}

uint32_t Qor_Most_Rbd_Initiate(uint32_t port, uint32_t flags, uint32_t value1, uint32_t value2, uint8_t value3) try {
  return initiate(Call(kMost, port), flags, value1, value2, value3);
} catch (...) {
  return kMost.failedCall(port);
}

uint32_t Qor_Most_Rbd_SetResponses(uint32_t port, uint32_t flags, uint8_t option, uint8_t count,
                                   const uint8_t* types) try {
  return setResponses(Call(kMost, port), flags, option, count, types);
} catch (...) {
  return kMost.failedCall(port);
}
