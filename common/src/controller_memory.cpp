#include "controller_memory.hpp"

#include <algorithm>

#include "common_library.hpp"
#include "qor_common_memory.h"
#include "qor_kit/pieces.hpp"

namespace qor::common {
namespace {

constexpr uint8_t kRamCommand = 0x0C;  // one control byte: the sub-function
constexpr uint8_t kRamControlBytes = 1;
constexpr uint32_t kAllocateSub = 20;
constexpr uint32_t kFreeSub = 21;
constexpr uint32_t kFlashWriteSub = 22;
constexpr uint8_t kExecuteCommand = 0x09;
constexpr uint8_t kWriteCommand = 0x0A;
constexpr uint8_t kReadCommand = 0x0B;
constexpr uint32_t kWriteHead = 12;  // address, length, width, 3 zero bytes
constexpr uint32_t kReadHead = 8;    // the answer's two words before the data
constexpr uint32_t kReadRecordLength = 16;
constexpr uint32_t kExecuteFlagBits = 4;

}  // namespace

uint32_t allocateRam(const kit::Call& call, uint32_t flags, uint32_t size, uint32_t* address) {
  if (uint32_t code = call.checkFlags(flags, QOR_COMMON_MEMORY_ALLOCATE_FLAGS_VALID)) return code;
  kit::RecordWriter record(12);
  record.u32(kAllocateSub).u32(flags).u32(size);
  std::vector<uint8_t> answer;
  if (uint32_t code = call.exchange(kRamCommand, kRamControlBytes, record, answer)) return code;
  const kit::AnswerReader reader(answer);
  const uint32_t allocated = reader.u32(4);
  if (!reader.complete()) return call.shortAnswer(reader);
  *address = allocated;
  return 0;
}

uint32_t freeRam(const kit::Call& call, uint32_t address) {
  kit::RecordWriter record(16);
  record.u32(kFreeSub).u32(0).u32(address).u32(0);
  std::vector<uint8_t> answer;
  return call.exchange(kRamCommand, kRamControlBytes, record, answer);
}

uint32_t programFlash(const kit::Call& call, uint8_t bank, uint32_t offset, uint32_t ram, uint32_t length) {
  kit::RecordWriter record(20);
  record.u32(kFlashWriteSub).u8(bank).zeros(3).u32(offset).u32(ram).u32(length);
  std::vector<uint8_t> answer;
  return call.exchange(kRamCommand, kRamControlBytes, record, answer);
}

uint32_t checkTransfer(const kit::Call& call, uint32_t length, const void* bytes, const char* name) {
  if (uint32_t code = call.checkPort()) return code;
  return length == 0 ? 0 : call.checkPointer(bytes, name);
}

uint32_t writeMemory(const kit::Call& call, uint32_t address, uint8_t width, uint32_t length, const uint8_t* data) {
  uint32_t piece = 0;
  if (uint32_t code = call.pieceLength(kWriteHead, &piece)) return code;
  return kit::forEachPiece(length, piece, [&](uint32_t offset, uint32_t count) -> uint32_t {
    kit::RecordWriter record(kWriteHead + count);
    record.u32(address + offset).u32(count).u8(width).zeros(3).bytes(data + offset, count);
    return call.send(kWriteCommand, record);
  });
}

namespace {

uint32_t readMemory(const kit::Call& call, uint32_t address, uint8_t width, uint32_t length, uint8_t* buffer) {
  uint32_t piece = 0;
  if (uint32_t code = call.pieceLength(kReadHead, &piece)) return code;
  std::vector<uint8_t> answer;
  return kit::forEachPiece(length, piece, [&](uint32_t offset, uint32_t count) -> uint32_t {
    kit::RecordWriter record(kReadRecordLength);
    record.u32(address + offset).u32(count).u8(width).zeros(7);
    if (uint32_t code = call.exchange(kReadCommand, 0, record, answer)) return code;
    const kit::AnswerReader reader(answer);
    const auto data = reader.bytes(kReadHead, count);
    if (!reader.complete()) return call.shortAnswer(reader);
    std::copy(data.begin(), data.end(), buffer + offset);
    return 0;
  });
}

uint32_t execute(const kit::Call& call, uint32_t flags, uint32_t address, uint32_t argument) {
  if (uint32_t code = call.checkPort()) return code;
  if (uint32_t code = call.checkFlags(flags, QOR_COMMON_MEMORY_EXECUTE_FLAGS_VALID)) return code;
  kit::RecordWriter record(12);
  record.u32(address);
  for (uint32_t bit = 0; bit < kExecuteFlagBits; ++bit) record.u8(static_cast<uint8_t>((flags >> bit) & 1));
  record.u32(argument);
  return call.send(kExecuteCommand, record);
}

}  // namespace
}  // namespace qor::common

using qor::common::kCommon;
using qor::kit::Call;

uint32_t Qor_Common_Memory_Allocate(uint32_t port, uint32_t flags, uint32_t size, uint32_t* address) try {
  const Call call(kCommon, port);
  if (uint32_t code = call.checkPort()) return code;
  if (uint32_t code = call.checkPointer(address, "address")) return code;
  return qor::common::allocateRam(call, flags, size, address);
} catch (...) {
  return kCommon.failedCall(port);
}

uint32_t Qor_Common_Memory_Free(uint32_t port, uint32_t flags, uint32_t address) try {
  const Call call(kCommon, port);
  if (uint32_t code = call.checkPort()) return code;
  if (uint32_t code = call.checkFlags(flags, 0)) return code;
  return qor::common::freeRam(call, address);
} catch (...) {
  return kCommon.failedCall(port);
}

uint32_t Qor_Common_Memory_Execute(uint32_t port, uint32_t flags, uint32_t address, uint32_t argument) try {
  return qor::common::execute(Call(kCommon, port), flags, address, argument);
} catch (...) {
  return kCommon.failedCall(port);
}

uint32_t Qor_Common_Memory_Write(uint32_t port, uint32_t address, uint8_t width, uint32_t length,
                                 const void* data) try {
  const Call call(kCommon, port);
  if (uint32_t code = qor::common::checkTransfer(call, length, data, "data")) return code;
  return qor::common::writeMemory(call, address, width, length, static_cast<const uint8_t*>(data));
} catch (...) {
  return kCommon.failedCall(port);
}

uint32_t Qor_Common_Memory_Read(uint32_t port, uint32_t address, uint8_t width, uint32_t length, void* buffer) try {
  const Call call(kCommon, port);
  if (uint32_t code = qor::common::checkTransfer(call, length, buffer, "buffer")) return code;
  return qor::common::readMemory(call, address, width, length, static_cast<uint8_t*>(buffer));
} catch (...) {
  return kCommon.failedCall(port);
}
