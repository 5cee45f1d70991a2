#include "xcp_channel.hpp"

#include "common_library.hpp"
#include "qor_common_xcp.h"

namespace qor::common::xcp {

kit::RecordWriter channelRequest(ChannelSubFunction subFunction, uint8_t channel, size_t capacity) {
  kit::RecordWriter request(capacity);
  request.u8(subFunction).u8(channel).u16(0);
  return request;
}

uint32_t exchange(const kit::Call& call, const kit::RecordWriter& request, std::vector<uint8_t>& answer) {
  return call.exchange(kChannelCommand, 2, request, answer);
}

namespace {

constexpr uint8_t kStateFlagsValid = 0x1F;
constexpr uint32_t kLastCommandState = 2;

uint32_t getState(const kit::Call& call, uint8_t channel, Qor_Common_Xcp_State_t* state) {
  if (uint32_t code = call.checkPort()) return code;
  if (uint32_t code = call.checkPointer(state, "state")) return code;
  std::vector<uint8_t> answer;
  if (uint32_t code = exchange(call, channelRequest(kState, channel, kChannelHeaderBytes), answer)) return code;
  const kit::AnswerReader reader(answer);
  if (!reader.has(12)) return call.shortAnswer(reader);
  const uint32_t commandState = reader.u32(8);
  if (commandState > kLastCommandState) {
    return call.fail(kit::GeneralError::InvalidResponseParameter, "firmware command state 0x%x is unknown",
                     commandState);
  }
  *state = Qor_Common_Xcp_State_t{};
  state->flags = reader.u8(4) & kStateFlagsValid;
  state->commandState = static_cast<uint8_t>(commandState);
  return 0;
}

uint32_t checkPropertyId(const kit::Call& call, uint16_t id, uint16_t reserved) {
  if (uint32_t code = call.checkReserved(reserved, "reserved bytes have to be zero")) return code;
  if (id > QOR_COMMON_XCP_PROPERTY_MAX_ID) {
    return call.fail(kit::GeneralError::InvalidParameter, "property id value is unknown");
  }
  return 0;
}

uint32_t getProperty(const kit::Call& call, uint8_t channel, const Qor_Common_Xcp_PropertyRequest_t* request,
                     Qor_Common_Xcp_Property_t* property) {
  if (uint32_t code = call.checkPort()) return code;
  if (uint32_t code = call.checkPointer(request, "request")) return code;
  if (uint32_t code = call.checkPointer(property, "property")) return code;
  if (uint32_t code = checkPropertyId(call, request->id, request->reserved2)) return code;
  kit::RecordWriter record = channelRequest(kReadProperty, channel, 8);
  record.u16(request->id).u16(0);
  std::vector<uint8_t> answer;
  if (uint32_t code = exchange(call, record, answer)) return code;
  const kit::AnswerReader reader(answer);
  if (!reader.has(12)) return call.shortAnswer(reader);
  const uint16_t id = reader.u16(4);
  if (id > QOR_COMMON_XCP_PROPERTY_MAX_ID) {
    return call.fail(kit::GeneralError::InvalidResponseParameter, "firmware property %u id is unknown", id);
  }
  *property = Qor_Common_Xcp_Property_t{id, 0, reader.u32(8)};
  return 0;
}

uint32_t setProperty(const kit::Call& call, uint8_t channel, const Qor_Common_Xcp_Property_t* property) {
  if (uint32_t code = call.checkPort()) return code;
  if (uint32_t code = call.checkPointer(property, "property")) return code;
  if (uint32_t code = checkPropertyId(call, property->id, property->reserved2)) return code;
  kit::RecordWriter record = channelRequest(kWriteProperty, channel, 12);
  record.u16(property->id).u16(0).u32(property->value);
  std::vector<uint8_t> answer;
  return exchange(call, record, answer);
}

}  // namespace
}  // namespace qor::common::xcp

using qor::common::kCommon;
namespace xcp = qor::common::xcp;

uint32_t Qor_Common_Xcp_Reset(uint32_t port, uint8_t channel) try {
  const qor::kit::Call call(kCommon, port);
  if (uint32_t code = call.checkPort()) return code;
  std::vector<uint8_t> answer;
  return xcp::exchange(call, xcp::channelRequest(xcp::kReset, channel, xcp::kChannelHeaderBytes), answer);
} catch (...) {
  return kCommon.failedCall(port);
}

uint32_t Qor_Common_Xcp_GetState(uint32_t port, uint8_t channel, Qor_Common_Xcp_State_t* state) try {
  return xcp::getState(qor::kit::Call(kCommon, port), channel, state);
} catch (...) {
  return kCommon.failedCall(port);
}

uint32_t Qor_Common_Xcp_Property_GetById(uint32_t port, uint8_t channel,
                                         const Qor_Common_Xcp_PropertyRequest_t* request,
                                         Qor_Common_Xcp_Property_t* property) try {
  return xcp::getProperty(qor::kit::Call(kCommon, port), channel, request, property);
} catch (...) {
  return kCommon.failedCall(port);
}

uint32_t Qor_Common_Xcp_Property_SetById(uint32_t port, uint8_t channel,
                                         const Qor_Common_Xcp_Property_t* property) try {
  return xcp::setProperty(qor::kit::Call(kCommon, port), channel, property);
} catch (...) {
  return kCommon.failedCall(port);
}
