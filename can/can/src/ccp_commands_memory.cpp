// CCP commands on the ECU's memory: transfer addresses, downloads, programming, uploads, checksums and calibration
// pages.
#include <algorithm>

#include "ccp_commands.hpp"

namespace qor::can::ccp {
namespace {

constexpr uint8_t kHighestMtaNumber = 1;
constexpr size_t kSixBytes = 6;

uint32_t checkDataSize(const kit::Call& call, uint8_t size) {
  return size > kMaxDataBytes ? call.fail(kit::GeneralError::InvalidParameter, "data size has to be <= 5") : 0;
}

uint32_t setMta(const kit::Call& call, uint8_t channel, uint8_t mtaNumber, uint8_t addressExtension,
                uint32_t address) {
  if (uint32_t code = checkCanInterface(call)) return code;
  if (mtaNumber > kHighestMtaNumber) {
    return call.fail(kit::GeneralError::InvalidParameter, "'mtaNumber' value '0x%02x' is unknown", mtaNumber);
  }
  Qor_Can_Ccp_Response_t response;
  return run(call, channel, Cro(kSetMta).u8(2, mtaNumber).u8(3, addressExtension).value(4, address, 4), response);
}

// A CRO that moves data to the ECU and answers with the new transfer address.
uint32_t download(const kit::Call& call, uint8_t channel, const Cro& cro, Qor_Can_Ccp_Mta_t* mta) {
  Qor_Can_Ccp_Response_t response;
  if (uint32_t code = run(call, channel, cro, response)) return code;
  *mta = mtaOf(response);
  return 0;
}

uint32_t downloadSized(const kit::Call& call, uint8_t channel, CommandCode code, uint8_t size, const uint8_t* data,
                       Qor_Can_Ccp_Mta_t* mta) {
  if (uint32_t failed = checkCanInterface(call)) return failed;
  if (uint32_t failed = checkDataSize(call, size)) return failed;
  if (size > 0) {
    if (uint32_t failed = call.checkPointer(data, "data")) return failed;
  }
  if (uint32_t failed = call.checkPointer(mta, "mta")) return failed;
  return download(call, channel, Cro(code).u8(2, size).bytes(3, {data, size}), mta);
}

uint32_t downloadSix(const kit::Call& call, uint8_t channel, CommandCode code, const uint8_t* data,
                     Qor_Can_Ccp_Mta_t* mta) {
  if (uint32_t failed = checkCanInterface(call)) return failed;
  if (uint32_t failed = call.checkPointer(data, "data")) return failed;
  if (uint32_t failed = call.checkPointer(mta, "mta")) return failed;
  return download(call, channel, Cro(code).bytes(2, {data, kSixBytes}), mta);
}

// Upload and ShortUp: at most the five data bytes of a CRM.
uint32_t upload(const kit::Call& call, uint8_t channel, const Cro& cro, uint8_t size, uint8_t* data) {
  if (uint32_t code = checkDataSize(call, size)) return code;
  if (uint32_t code = call.checkPointer(data, "data")) return code;
  Qor_Can_Ccp_Response_t response;
  if (uint32_t code = run(call, channel, cro, response)) return code;
  std::ranges::copy(crmData(response).first(size), data);
  return 0;
}

uint32_t uploadAtMta(const kit::Call& call, uint8_t channel, uint8_t size, uint8_t* data) {
  if (uint32_t code = checkCanInterface(call)) return code;
  return upload(call, channel, Cro(kUpload).u8(2, size), size, data);
}

uint32_t shortUp(const kit::Call& call, uint8_t channel, uint8_t size, uint8_t addressExtension, uint32_t address,
                 uint8_t* data) {
  if (uint32_t code = checkCanInterface(call)) return code;
  return upload(call, channel, Cro(kShortUp).u8(2, size).u8(3, addressExtension).value(4, address, 4), size, data);
}

uint32_t buildChecksum(const kit::Call& call, uint8_t channel, uint32_t blockSize, Qor_Can_Ccp_Checksum_t* checksum) {
  if (uint32_t code = checkCanInterface(call)) return code;
  if (uint32_t code = call.checkPointer(checksum, "checksum")) return code;
  Qor_Can_Ccp_Response_t response;
  if (uint32_t code = run(call, channel, Cro(kBuildChecksum).value(2, blockSize, 4), response)) return code;
  *checksum = {};
  checksum->size = response.crm[3];
  std::copy_n(response.crm + 4, sizeof checksum->checksum, checksum->checksum);
  return 0;
}

// ClearMemory and Move: a size and no result.
uint32_t sized(const kit::Call& call, uint8_t channel, CommandCode code, uint32_t size) {
  if (uint32_t failed = checkCanInterface(call)) return failed;
  Qor_Can_Ccp_Response_t response;
  return run(call, channel, Cro(code).value(2, size, 4), response);
}

uint32_t getActiveCalPage(const kit::Call& call, uint8_t channel, Qor_Can_Ccp_Mta_t* page) {
  if (uint32_t code = checkCanInterface(call)) return code;
  if (uint32_t code = call.checkPointer(page, "page")) return code;
  return download(call, channel, Cro(kGetActiveCalPage), page);
}

uint32_t selectCalPage(const kit::Call& call, uint8_t channel) {
  if (uint32_t code = checkCanInterface(call)) return code;
  Qor_Can_Ccp_Response_t response;
  return run(call, channel, Cro(kSelectCalPage), response);
}

}  // namespace
}  // namespace qor::can::ccp

using qor::can::kCan;
using qor::kit::Call;
namespace ccp = qor::can::ccp;

uint32_t Qor_Can_Ccp_Command_SetMta(uint32_t port, uint8_t channel, uint8_t mtaNumber, uint8_t addressExtension,
                                    uint32_t address) try {
  return ccp::setMta(Call(kCan, port), channel, mtaNumber, addressExtension, address);
} catch (...) {
  return kCan.failedCall(port);
}

uint32_t Qor_Can_Ccp_Command_Download(uint32_t port, uint8_t channel, uint8_t size, const uint8_t* data,
                                      Qor_Can_Ccp_Mta_t* mta) try {
  return ccp::downloadSized(Call(kCan, port), channel, ccp::kDownload, size, data, mta);
} catch (...) {
  return kCan.failedCall(port);
}

uint32_t Qor_Can_Ccp_Command_Program(uint32_t port, uint8_t channel, uint8_t size, const uint8_t* data,
                                     Qor_Can_Ccp_Mta_t* mta) try {
  return ccp::downloadSized(Call(kCan, port), channel, ccp::kProgram, size, data, mta);
} catch (...) {
  return kCan.failedCall(port);
}

uint32_t Qor_Can_Ccp_Command_Download6(uint32_t port, uint8_t channel, const uint8_t* data,
                                       Qor_Can_Ccp_Mta_t* mta) try {
  return ccp::downloadSix(Call(kCan, port), channel, ccp::kDownload6, data, mta);
} catch (...) {
  return kCan.failedCall(port);
}

uint32_t Qor_Can_Ccp_Command_Program6(uint32_t port, uint8_t channel, const uint8_t* data,
                                      Qor_Can_Ccp_Mta_t* mta) try {
  return ccp::downloadSix(Call(kCan, port), channel, ccp::kProgram6, data, mta);
} catch (...) {
  return kCan.failedCall(port);
}

uint32_t Qor_Can_Ccp_Command_Upload(uint32_t port, uint8_t channel, uint8_t size, uint8_t* data) try {
  return ccp::uploadAtMta(Call(kCan, port), channel, size, data);
} catch (...) {
  return kCan.failedCall(port);
}

uint32_t Qor_Can_Ccp_Command_ShortUp(uint32_t port, uint8_t channel, uint8_t size, uint8_t addressExtension,
                                     uint32_t address, uint8_t* data) try {
  return ccp::shortUp(Call(kCan, port), channel, size, addressExtension, address, data);
} catch (...) {
  return kCan.failedCall(port);
}

uint32_t Qor_Can_Ccp_Command_BuildChksum(uint32_t port, uint8_t channel, uint32_t blockSize,
                                         Qor_Can_Ccp_Checksum_t* checksum) try {
  return ccp::buildChecksum(Call(kCan, port), channel, blockSize, checksum);
} catch (...) {
  return kCan.failedCall(port);
}

uint32_t Qor_Can_Ccp_Command_ClearMemory(uint32_t port, uint8_t channel, uint32_t size) try {
  return ccp::sized(Call(kCan, port), channel, ccp::kClearMemory, size);
} catch (...) {
  return kCan.failedCall(port);
}

uint32_t Qor_Can_Ccp_Command_Move(uint32_t port, uint8_t channel, uint32_t size) try {
  return ccp::sized(Call(kCan, port), channel, ccp::kMove, size);
} catch (...) {
  return kCan.failedCall(port);
}

uint32_t Qor_Can_Ccp_Command_GetActiveCalPage(uint32_t port, uint8_t channel, Qor_Can_Ccp_Mta_t* page) try {
  return ccp::getActiveCalPage(Call(kCan, port), channel, page);
} catch (...) {
  return kCan.failedCall(port);
}

uint32_t Qor_Can_Ccp_Command_SelectCalPage(uint32_t port, uint8_t channel) try {
  return ccp::selectCalPage(Call(kCan, port), channel);
} catch (...) {
  return kCan.failedCall(port);
}
