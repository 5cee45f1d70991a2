#include <algorithm>
#include <atomic>

#include "ccp_commands.hpp"

namespace qor::can::ccp {
namespace {

constexpr uint32_t kTimeoutMs = 25000;
constexpr uint8_t kRetries = 2;
constexpr uint32_t kFlags = 1;
constexpr unsigned kCounterByte = 1;
constexpr unsigned kCrmCounterByte = 2;

// Each command of the process gets the next counter, so a CRM left from an earlier command is told apart.
std::atomic<uint8_t> nextCounter{0};

}  // namespace

Cro& Cro::u8(unsigned byte, uint8_t value) {
  command_.cro[byte] = value;
  return *this;
}

Cro& Cro::u16LowFirst(unsigned byte, uint16_t value) {
  command_.cro[byte] = static_cast<uint8_t>(value);
  command_.cro[byte + 1] = static_cast<uint8_t>(value >> 8);
  return *this;
}

Cro& Cro::value(unsigned byte, uint32_t value, unsigned width) {
  putValue(command_.cro + byte, value, width);
  return *this;
}

Cro& Cro::bytes(unsigned byte, std::span<const uint8_t> data) {
  std::ranges::copy(data, command_.cro + byte);
  return *this;
}

uint32_t run(const kit::Call& call, uint8_t channel, const Cro& cro, Qor_Can_Ccp_Response_t& response) {
  Qor_Can_Ccp_Command_t command = cro.command();
  command.flags = kFlags;
  command.timeout = kTimeoutMs;
  command.retries = kRetries;
  command.cro[kCounterByte] = nextCounter++;
  if (uint32_t code = exchange(call, channel, command, response, exchangeLimitMs(command))) return code;
  if (response.errorClass != QOR_CAN_CCP_NO_ERROR) {
    return call.fail(kCan.code(kCcpError), "%s", errorDescription(response));
  }
  if ((response.state & QOR_CAN_CCP_STATE_VALID_CRM) == 0) return call.fail(kCan.code(kCcpNoValidResponse));
  if ((response.state & QOR_CAN_CCP_STATE_COUNTER_MISMATCH) != 0 ||
      response.crm[kCrmCounterByte] != command.cro[kCounterByte]) {
    return call.fail(kCan.code(kCcpUnexpectedCommandCounter));
  }
  return 0;
}

Qor_Can_Ccp_Mta_t mtaOf(const Qor_Can_Ccp_Response_t& response) {
  Qor_Can_Ccp_Mta_t mta{};
  mta.addressExtension = response.crm[3];
  mta.address = valueAt(response.crm + 4, 4);
  return mta;
}

}  // namespace qor::can::ccp
