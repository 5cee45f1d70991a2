// The words for a CCP exchange's error class and, for a negative acknowledge, for the CRM's return code.
#include <array>
#include <utility>

#include "ccp_master.hpp"

namespace qor::can::ccp {
namespace {

constexpr std::array<std::pair<uint8_t, const char*>, 17> kNegativeAcknowledges{{
    {0x01, "negative acknowledge - DAQ processor overload"},
    {0x10, "negative acknowledge - command processor busy"},
    {0x11, "negative acknowledge - DAQ processor busy"},
    {0x12, "negative acknowledge - internal timeout"},
    {0x18, "negative acknowledge - key request"},
    {0x19, "negative acknowledge - session status request"},
    {0x20, "negative acknowledge - cold start request"},
    {0x21, "negative acknowledge - calibration data init request"},
    {0x22, "negative acknowledge - DAQ list init request"},
    {0x23, "negative acknowledge - code update request"},
    {0x30, "negative acknowledge - unknown command"},
    {0x31, "negative acknowledge - command syntax"},
    {0x32, "negative acknowledge - parameter(s) out of range"},
    {0x33, "negative acknowledge - access denied"},
    {0x34, "negative acknowledge - overload"},
    {0x35, "negative acknowledge - access locked"},
    {0x36, "negative acknowledge - resource or function not available"},
}};

const char* negativeAcknowledge(uint8_t returnCode) {
  for (const auto& [code, text] : kNegativeAcknowledges) {
    if (code == returnCode) return text;
  }
  return "negative acknowledge";
}

}  // namespace

const char* errorDescription(const Qor_Can_Ccp_Response_t& response) {
  switch (response.errorClass) {
    case QOR_CAN_CCP_NO_ERROR: return "no error";
    case QOR_CAN_CCP_ERROR_NEGATIVE_ACKNOWLEDGE: return negativeAcknowledge(response.crm[1]);
    case QOR_CAN_CCP_ERROR_INVALID_DAQ_LIST: return "invalid DAQ list number";
    case QOR_CAN_CCP_ERROR_RESPONSE_TIMEOUT: return "response timeout";
    case QOR_CAN_CCP_ERROR_TRANSMIT_TIMEOUT: return "transmit timeout";
    case QOR_CAN_CCP_ERROR_UNKNOWN_STATE: return "unknown state";
    case QOR_CAN_CCP_ERROR_INTERNAL: return "internal error";
    default: return "unknown CCP error";
  }
}

}  // namespace qor::can::ccp

const char* Qor_Can_Ccp_GetCcpErrorDescription(const Qor_Can_Ccp_Response_t* response) {
  return response == nullptr ? "unknown CCP error" : qor::can::ccp::errorDescription(*response);
}
