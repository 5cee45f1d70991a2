// Information records about the cards: versions and device identifiers, FPGA and EEPROM contents, transceivers.
#include <cstring>

#include "built_in_instructions.hpp"
#include "cards.hpp"

using namespace qor::pxi94xx;

namespace {

constexpr uint32_t kHeaderSize = 12;
constexpr uint32_t kSpecialRecordSize = 20;
constexpr uint32_t kInfoRecordSize = 116;
constexpr uint32_t kTransceiverHeaderSize = 64;
constexpr uint32_t kTransceiverBlockSize = 196;
constexpr uint8_t kTransceiverEeproms = 7;
constexpr uint8_t kEepromBytes = 60;
// Models with one FPGA, by PCI device identifier: FPGA 1 is not read on them.
constexpr uint16_t kSingleFpgaDeviceIds[] = {0x9420, 0x9421};

void putU32(uint8_t* at, uint32_t value) { std::memcpy(at, &value, sizeof value); }
uint32_t bigEndian32(const uint8_t* at) {
  return uint32_t{at[0]} << 24 | uint32_t{at[1]} << 16 | uint32_t{at[2]} << 8 | at[3];
}
uint32_t bigEndian16(const uint8_t* at) { return uint32_t{at[0]} << 8 | at[1]; }

// The open cards in card-number order, as 1-based card numbers.
template <typename Visit>
void forEachOpenCard(Visit visit) {
  uint32_t position = 0;
  for (uint8_t card = 1; card <= PXI94XX_CARD_COUNT_MAX; ++card) {
    if (checkCard(card) == 0) visit(card, position++);
  }
}

uint8_t firstOpenCard() {
  for (uint8_t card = 1; card <= PXI94XX_CARD_COUNT_MAX; ++card) {
    if (checkCard(card) == 0) return card;
  }
  return 0;
}

// The header every information call writes: library version, card count and driver version.
uint32_t fillHeader(uint8_t* buffer, uint32_t length, uint32_t recordSize) {
  if (buffer == nullptr) return PXI94XX_ERROR_INVALID_ARGUMENT;
  if (length < kHeaderSize + recordSize * cards().count) return PXI94XX_ERROR_BUFFER_TOO_SMALL;
  std::memset(buffer, 0, length);
  putU32(buffer, PXI94XX_LIBRARY_VERSION);
  if (cards().count == 0) return PXI94XX_ERROR_NO_CARD;
  const uint8_t first = firstOpenCard();
  if (first == 0) return PXI94XX_ERROR_CARD_NOT_OPEN;
  putU32(buffer + 8, cards().count);
  uint8_t major = 0, minor = 0, revision = 0;
  if (const int status = Pxi94xx_DriverVersion(&deviceOf(first), &major, &minor, &revision)) {
    return static_cast<uint32_t>(status);
  }
  putU32(buffer + 4, major * 100u + minor * 10u + revision);
  return 0;
}

bool hasSecondFpga(uint8_t card) {
  for (uint16_t id : kSingleFpgaDeviceIds) {
    if (deviceOf(card).key.deviceId == id) return false;
  }
  return true;
}

// A field from an FPGA register: bits from `shift`, `width` wide; stays 0 when the read fails.
void putFpgaField(uint8_t* at, uint8_t card, uint8_t fpga, uint16_t reg, unsigned shift, unsigned width) {
  uint32_t value = 0;
  if (Pxi94xx__FpgaReadData(card, fpga, reg, &value) == 0) putU32(at, (value >> shift) & ((1u << width) - 1));
}

uint32_t fillInfoRecord(uint8_t* record, uint8_t card) {
  discardAnswers(card);
  putFpgaField(record + 0, card, 0, 0, 0, 5);
  putFpgaField(record + 8, card, 0, 0, 16, 16);
  putFpgaField(record + 12, card, 0, 1, 24, 8);
  putFpgaField(record + 16, card, 0, 1, 0, 16);
  putFpgaField(record + 20, card, 0, 1, 20, 4);
  if (hasSecondFpga(card)) {
    putFpgaField(record + 32, card, 1, 0, 16, 16);
    putFpgaField(record + 36, card, 1, 1, 0, 16);
    putFpgaField(record + 44, card, 1, 1, 20, 4);
  }
  uint8_t eeprom[kEepromBytes];
  const uint32_t status = Pxi94xx__EepromReadData(card, 0, 0, kEepromBytes, eeprom);
  if (status != 0) return status;
  putU32(record + 4, bigEndian32(eeprom + 18));
  const uint8_t words[] = {24, 32, 36, 40, 44};
  for (unsigned i = 0; i < sizeof words; ++i) putU32(record + 56 + 4 * i, bigEndian32(eeprom + words[i]));
  putU32(record + 76, bigEndian16(eeprom + 48));
  putU32(record + 80, bigEndian16(eeprom + 50));
  putU32(record + 84, bigEndian16(eeprom + 22));
  putU32(record + 88, bigEndian32(eeprom + 52));
  putU32(record + 92, bigEndian16(eeprom + 56));
  putU32(record + 96, bigEndian16(eeprom + 58));
  return 0;
}

}  // namespace

uint32_t Pxi94xx__SystemInfoSpecial(uint8_t* buffer, uint32_t length) {
  if (const uint32_t code = fillHeader(buffer, length, kSpecialRecordSize)) return code;
  forEachOpenCard([&](uint8_t card, uint32_t position) {
    putU32(buffer + kHeaderSize + kSpecialRecordSize * position, deviceOf(card).key.deviceId);
  });
  return 0;
}

uint32_t Pxi94xx__SystemInfo(uint8_t* buffer, uint32_t length) {
  if (const uint32_t code = fillHeader(buffer, length, kInfoRecordSize)) return code;
  uint32_t result = 0;
  forEachOpenCard([&](uint8_t card, uint32_t position) {
    result = fillInfoRecord(buffer + kHeaderSize + kInfoRecordSize * position, card);
  });
  return result;
}

uint32_t Pxi94xx__TransceiverInfo(uint8_t* buffer, uint32_t length) {
  if (buffer == nullptr) return PXI94XX_ERROR_INVALID_ARGUMENT;
  if (length < kTransceiverHeaderSize + kTransceiverBlockSize * cards().count) return PXI94XX_ERROR_BUFFER_TOO_SMALL;
  std::memset(buffer, 0, length);
  if (cards().count == 0) return PXI94XX_ERROR_NO_CARD;
  if (firstOpenCard() == 0) return PXI94XX_ERROR_CARD_NOT_OPEN;
  uint32_t result = 0;
  forEachOpenCard([&](uint8_t card, uint32_t position) {
    if (result != 0) return;
    uint8_t* block = buffer + kTransceiverHeaderSize + kTransceiverBlockSize * position;
    uint32_t present = kTransceiverEeproms;
    for (uint8_t selector = 1; selector <= kTransceiverEeproms && result == 0; ++selector) {
      uint8_t bytes[16];
      const uint32_t status = Pxi94xx__EepromReadData(card, selector, 0, sizeof bytes, bytes);
      if (status == PXI94XX_ERROR_ACKNOWLEDGE) {
        --present;
      } else if (status != 0) {
        result = status;
      } else {
        for (unsigned row = 0; row < 4; ++row) {
          putU32(block + 28 * row + 4 * (selector - 1), bigEndian32(bytes + 4 * row));
        }
      }
    }
    putU32(buffer + 4 * position, present);
  });
  return result;
}
