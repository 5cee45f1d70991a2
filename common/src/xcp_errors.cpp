// The texts of the XCP standard's error codes.
#include <cstdint>

#include "qor_common_xcp.h"

namespace {

struct XcpError {
  uint8_t code;
  const char* text;
};

constexpr XcpError kXcpErrors[] = {
    {0x00, "Command processor synchronization"},
    {0x10, "Command was not executed"},
    {0x11, "Command rejected because DAQ is running"},
    {0x12, "Command rejected because PGM is running"},
    {0x20, "Unknown command or not implemented optional command"},
    {0x21, "Command syntax invalid"},
    {0x22, "Command syntax valid but command parameter(s) out of range"},
    {0x23, "The memory location is write protected"},
    {0x24, "The memory location is not accessible"},
    {0x25, "Access denied, Seed & Key is required"},
    {0x26, "Selected page not available"},
    {0x27, "Selected page mode not available"},
    {0x28, "Selected segment not valid"},
    {0x29, "Sequence error"},
    {0x2A, "DAQ configuration not valid"},
    {0x30, "Memory overflow error"},
    {0x31, "Generic error"},
    {0x32, "The slave internal program verify routine detects an error"},
    {0x33, "Access to the requested resource is temporary not possible"},
};

}  // namespace

const char* Qor_Common_Xcp_GetErrorDescription(uint32_t code) {
  const auto lowByte = static_cast<uint8_t>(code & 0xFF);
  for (const XcpError& error : kXcpErrors) {
    if (error.code == lowByte) return error.text;
  }
  return "";
}
