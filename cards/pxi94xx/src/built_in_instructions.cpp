#include "built_in_instructions.hpp"

#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

#include "card_rings.hpp"
#include "cards.hpp"
#include "qor_protocol.h"

namespace qor::pxi94xx {
namespace {

constexpr uint8_t kCommandFpgaWrite = 10;
constexpr uint8_t kCommandFpgaRead = 11;
constexpr uint8_t kCommandEeprom = 12;
constexpr uint8_t kEepromRead = 0;
constexpr uint8_t kWriteProtectionQuery = 2;
constexpr uint32_t kFpga1Base = 0x1000000;
constexpr uint16_t kEepromAddressMax = 255;
constexpr uint16_t kEepromCountMax = 256;
constexpr uint8_t kWriteProtectionActionMax = 2;
constexpr uint8_t kEepromNumberMax = 9;

uint64_t monotonicMs() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<uint64_t>(now.tv_sec) * 1000 + static_cast<uint64_t>(now.tv_nsec) / 1000000;
}

void putU16(uint8_t* at, uint16_t value) { std::memcpy(at, &value, sizeof value); }
void putU32(uint8_t* at, uint32_t value) { std::memcpy(at, &value, sizeof value); }
uint32_t bigEndian32(const uint8_t* at) {
  return uint32_t{at[0]} << 24 | uint32_t{at[1]} << 16 | uint32_t{at[2]} << 8 | at[3];
}

struct Instruction {
  uint8_t bytes[28] = {};
  uint16_t length;

  Instruction(uint8_t card, uint8_t command, uint16_t frameLength, uint8_t requestKind = QOR_REQUEST_NO_ACKNOWLEDGE)
      : length(frameLength) {
    bytes[0] = QOR_FRAME_MARKER;
    bytes[1] = requestKind;
    putU16(bytes + offsetof(FirmwareMessageHeader, length), frameLength);
    bytes[offsetof(FirmwareMessageHeader, TAddr)] = 1;
    bytes[offsetof(FirmwareMessageHeader, TPort)] = 1;
    bytes[offsetof(FirmwareMessageHeader, Mod)] = card;
    bytes[offsetof(FirmwareMessageHeader, command)] = command;
  }
};

// Room for the longest frame, taken without exceptions: an allocation failure is the library's "not enough memory".
struct Answer {
  std::unique_ptr<uint8_t[]> bytes{new (std::nothrow) uint8_t[QOR_FRAME_MAX_LENGTH]};
  uint32_t length = 0;
  uint8_t type() const { return bytes[offsetof(FirmwareMessageHeader, type)]; }
};

// Writes the instruction and takes the first frame that arrives within the time-out; checks its command and that
// it is no acknowledge, unless the instruction asked for one and it is positive (code 0).
uint32_t exchange(uint8_t card, const Instruction& instruction, Answer* answer) {
  if (answer->bytes == nullptr) return PXI94XX_ERROR_RING_FULL;
  if (const uint32_t code = Pxi94xx__WriteInstruction(instruction.bytes, instruction.length)) return code;
  const uint64_t start = monotonicMs();
  for (;;) {
    if (const uint32_t code = readFrame(bar0Of(card), kResponseRing, answer->bytes.get(), QOR_FRAME_MAX_LENGTH,
                                        &answer->length)) {
      return code;
    }
    if (answer->length != 0) break;
    if (monotonicMs() - start > kAnswerTimeoutMs) return PXI94XX_ERROR_NO_ANSWER;
    usleep(1000);
  }
  const uint8_t command = instruction.bytes[offsetof(FirmwareMessageHeader, command)];
  if (answer->bytes[offsetof(FirmwareMessageHeader, command)] != command) return PXI94XX_ERROR_BAD_ANSWER;
  if (answer->type() == QOR_FRAME_ACKNOWLEDGE) {
    uint32_t code = 1;
    if (answer->length >= QOR_NACK_CODE_OFFSET + 4) {
      std::memcpy(&code, answer->bytes.get() + QOR_NACK_CODE_OFFSET, sizeof code);
    }
    const bool acknowledgeWanted = instruction.bytes[1] == QOR_REQUEST_ACKNOWLEDGE;
    if (!acknowledgeWanted || code != 0) return PXI94XX_ERROR_ACKNOWLEDGE;
  }
  return 0;
}

// The EEPROM answers: a response echoing the sub-function at +12, at least `minimum` bytes long.
uint32_t checkEepromAnswer(const Answer& answer, uint8_t subFunction, uint32_t minimum) {
  if (answer.type() != QOR_FRAME_RESPONSE || answer.bytes[12] != subFunction || answer.length < minimum) {
    return PXI94XX_ERROR_BAD_ANSWER;
  }
  return 0;
}

uint32_t fpgaAddress(uint8_t fpga, uint16_t reg) { return uint32_t{reg} * 4 + (fpga == 1 ? kFpga1Base : 0); }

}  // namespace

void discardAnswers(uint8_t card) { discardFrames(bar0Of(card), kResponseRing); }

}  // namespace qor::pxi94xx

using namespace qor::pxi94xx;

uint32_t Pxi94xx__EepromReadData(uint8_t card, uint8_t selector, uint16_t address, uint16_t count, uint8_t* buffer) {
  if (buffer == nullptr || address > kEepromAddressMax || count > kEepromCountMax) {
    return PXI94XX_ERROR_INVALID_ARGUMENT;
  }
  std::memset(buffer, 0, count);
  if (const uint32_t code = checkCard(card)) return code;
  Instruction instruction(card, kCommandEeprom, 24);
  instruction.bytes[12] = kEepromRead;
  instruction.bytes[16] = selector;
  putU16(instruction.bytes + 18, address);
  putU16(instruction.bytes + 20, count);
  Answer answer;
  if (const uint32_t code = exchange(card, instruction, &answer)) return code;
  if (const uint32_t code = checkEepromAnswer(answer, kEepromRead, 24)) return code;
  uint16_t delivered = 0;
  std::memcpy(&delivered, answer.bytes.get() + 20, sizeof delivered);
  std::memcpy(buffer, answer.bytes.get() + 24, std::min<uint32_t>({delivered, count, answer.length - 24}));
  return 0;
}

uint32_t Pxi94xx__FpgaReadData(uint8_t card, uint8_t fpga, uint16_t reg, uint32_t* value) {
  if (value == nullptr || fpga > 1) return PXI94XX_ERROR_INVALID_ARGUMENT;
  *value = 0;
  if (const uint32_t code = checkCard(card)) return code;
  Instruction instruction(card, kCommandFpgaRead, 24);
  putU32(instruction.bytes + 12, fpgaAddress(fpga, reg));
  putU32(instruction.bytes + 16, 4);
  instruction.bytes[20] = 32;
  Answer answer;
  if (const uint32_t code = exchange(card, instruction, &answer)) return code;
  if (answer.length < 24) return PXI94XX_ERROR_BAD_ANSWER;
  *value = bigEndian32(answer.bytes.get() + 20);
  return 0;
}

uint32_t Pxi94xx__FpgaWriteData(uint8_t card, uint8_t fpga, uint16_t reg, uint32_t value) {
  if (fpga > 1) return PXI94XX_ERROR_INVALID_ARGUMENT;
  if (const uint32_t code = checkCard(card)) return code;
  Instruction instruction(card, kCommandFpgaWrite, 28, QOR_REQUEST_ACKNOWLEDGE);
  putU32(instruction.bytes + 12, fpgaAddress(fpga, reg));
  putU32(instruction.bytes + 16, 4);
  instruction.bytes[20] = 32;
  putU32(instruction.bytes + 24, __builtin_bswap32(value));
  Answer answer;
  return exchange(card, instruction, &answer);
}

uint32_t Pxi94xx__HandlingWriteProtection(uint8_t card, uint8_t action, uint8_t eeprom, uint8_t* state) {
  if (state == nullptr || action > kWriteProtectionActionMax || eeprom > kEepromNumberMax) {
    return PXI94XX_ERROR_INVALID_ARGUMENT;
  }
  *state = 1;
  if (const uint32_t code = checkCard(card)) return code;
  const uint8_t subFunction = static_cast<uint8_t>(kWriteProtectionQuery + action);
  Instruction instruction(card, kCommandEeprom, 20);
  instruction.bytes[12] = subFunction;
  instruction.bytes[16] = eeprom;
  Answer answer;
  if (const uint32_t code = exchange(card, instruction, &answer)) return code;
  if (const uint32_t code = checkEepromAnswer(answer, subFunction, 18)) return code;
  *state = answer.bytes[17];
  return 0;
}
