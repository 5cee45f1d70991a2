#include "pxi94xx_probe.hpp"

#include <syslog.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <initializer_list>
#include <thread>
#include <vector>

#include "qor_error_codes.h"
#include "qor_helpers.h"
#include "qor_protocol.h"
#include "qor_shared/byte_reader.hpp"
#include "qor_shared/host_types.hpp"

namespace qor::daemon {
namespace {

constexpr uint32_t kSystemInfoSize = 332;
constexpr size_t kSystemInfoHeader = 12;
constexpr size_t kCardRecordSize = 20;
constexpr size_t kMaxModels = 16;
constexpr double kAnswerTimeoutMs = 500;
constexpr auto kAnswerPoll = std::chrono::milliseconds(1);

// Built-in instructions and where their answers carry what the probe reads (offsets in the answer frame).
constexpr uint8_t kIdentity = 0xFF;
constexpr size_t kDeviceCodeAt = 40;
constexpr uint8_t kEepromRead = 0x0C;
constexpr uint32_t kEepromArea = 10;
constexpr uint32_t kIdentifierAddress = 10;
constexpr uint32_t kFpgaPresentAddress = 0x12;
constexpr uint8_t kFpgaRead = 0x0B;
constexpr uint32_t kFpgaPositionRegister = 0x2000;
constexpr size_t kValueAt = 20;

uint16_t swapBytes(uint16_t value) { return static_cast<uint16_t>(value << 8 | value >> 8); }

// A built-in instruction for card: request kind 2, controller and interface 1, the card number in the module byte.
std::vector<uint8_t> instruction(uint8_t card, uint8_t command, std::initializer_list<uint32_t> parameters) {
  std::vector<uint8_t> frame(QOR_FRAME_HEADER_SIZE + 4 * parameters.size());
  FirmwareMessageHeader header{};
  header.marker = QOR_FRAME_MARKER;
  header.requestKind = 2;
  header.length = static_cast<uint16_t>(frame.size());
  header.TAddr = 1;
  header.TPort = 1;
  header.Mod = card;
  header.command = command;
  std::memcpy(frame.data(), &header, sizeof header);
  size_t offset = QOR_FRAME_HEADER_SIZE;
  for (uint32_t word : parameters) {
    std::memcpy(frame.data() + offset, &word, sizeof word);
    offset += sizeof word;
  }
  return frame;
}

// What a card identifies itself with.
struct CardIdentity {
  uint16_t deviceCode = 0;
  uint32_t identifier = 0;
  uint32_t fpgaValue = 0;
  uint32_t position = 0;
};

class Identification {
public:
  explicit Identification(const Pxi94xxFunctions& functions) : functions_(functions), answer_(kPxi94xxResponseRoom) {}

  PathStatus identify(uint8_t card, CardIdentity& identity) {
    uint32_t value = 0;
    if (PathStatus status = ask(card, instruction(card, kIdentity, {}), kDeviceCodeAt, sizeof(uint16_t), value);
        !status.ok()) {
      return status;
    }
    identity.deviceCode = static_cast<uint16_t>(value);
    if (PathStatus status = ask(card, instruction(card, kEepromRead, {kEepromArea, kIdentifierAddress}), kValueAt,
                                sizeof(uint32_t), value);
        !status.ok()) {
      return status;
    }
    identity.identifier = value;
    // Whether the card reports its FPGA position: a failing question is asked on, a "no" skips the FPGA.
    const PathStatus present = ask(card, instruction(card, kEepromRead, {kEepromArea, kFpgaPresentAddress}),
                                   kValueAt, sizeof(uint8_t), value);
    if (present.ok() && value != 1) return {};
    if (PathStatus status = ask(card, instruction(card, kFpgaRead, {0, 4, kFpgaPositionRegister}), kValueAt,
                                sizeof(uint32_t), value);
        !status.ok()) {
      return status;
    }
    identity.position = (value >> 24) & 0x1F;
    identity.fpgaValue = swapBytes(static_cast<uint16_t>(value));
    return {};
  }

private:
  // Sends the instruction and reads `width` bytes at `offset` of its answer into value.
  PathStatus ask(uint8_t card, const std::vector<uint8_t>& frame, size_t offset, size_t width,
                 uint32_t& value) {
    value = 0;
    const uint8_t command = frame[offsetof(FirmwareMessageHeader, command)];
    if (const uint32_t code = functions_.writeInstruction(frame.data(), static_cast<uint16_t>(frame.size()))) {
      return pxi94xxCallFailed(QOR_ERR_PXI94XX_WRITE, "Pxi94xx__WriteInstruction", code);
    }
    uint32_t length = 0;
    const double start = GetTickCount();
    while (true) {
      if (const uint32_t code = functions_.readResponse(card, answer_.data(), &length)) {
        return pxi94xxCallFailed(QOR_ERR_PXI94XX_READ, "Pxi94xx__ReadResponse", code);
      }
      if (length != 0) break;
      if (GetTickCount() - start > kAnswerTimeoutMs) {
        return pathError(QOR_ERR_PXI94XX_READ, "card %u: no answer to instruction 0x%02X", card, command);
      }
      std::this_thread::sleep_for(kAnswerPoll);
    }
    // The answer's length comes from card memory: only what the card wrote is read.
    const auto answer = std::span<const uint8_t>(answer_).first(std::min<size_t>(length, answer_.size()));
    const auto type = readAt<uint8_t>(answer, offsetof(FirmwareMessageHeader, type));
    if (type != QOR_FRAME_RESPONSE) {
      return pathError(QOR_ERR_PXI94XX_READ, "card %u: answer to instruction 0x%02X is no response", card, command);
    }
    if (offset > answer.size() || answer.size() - offset < width) {
      return pathError(QOR_ERR_PXI94XX_READ, "card %u: answer to instruction 0x%02X too short (%u bytes)", card,
                       command, length);
    }
    uint32_t read = 0;
    std::memcpy(&read, answer.data() + offset, width);
    value = read;
    return {};
  }

  const Pxi94xxFunctions& functions_;
  std::vector<uint8_t> answer_;
};

// The 94xx model whose firmware reports this device code.
const HostType* modelOfDeviceCode(uint16_t deviceCode, uint32_t& hostType) {
  for (uint32_t type = 0; const HostType* host = findHostType(type); ++type) {
    if (host->daemon.path != DevicePath::Cards94xx) continue;
    for (uint8_t code : host->firmwareDeviceCodes) {
      if (code != 0 && code == deviceCode) {
        hostType = type;
        return host;
      }
    }
  }
  return nullptr;
}

} // namespace

PathStatus probePxi94xxCards(LoadedLibrary& library, Pxi94xxFunctions& functions, CardDeviceTable& table) {
  table = {};
  if (!library.load()) {
    syslog(LOG_ERR, "%s : Error dlopen < %s >\n", "probePxi94xxCards", library.error().c_str());
    return pathError(QOR_ERR_PXI94XX_LOAD, "%s", library.error().c_str());
  }
  decltype(&Pxi94xx__SystemInfoSpecial) systemInfo = nullptr;
  if (!bindFunction(library, "Pxi94xx__SystemInfoSpecial", systemInfo)) {
    syslog(LOG_ERR, "%s : Error %s on 'dlsym'\n", "probePxi94xxCards", library.error().c_str());
    library.unload();
    return pathError(QOR_ERR_PXI94XX_FUNCTION_ADDRESS, "%s", library.error().c_str());
  }
  std::vector<uint8_t> info(kSystemInfoSize);
  const uint32_t infoCode = systemInfo(info.data(), kSystemInfoSize);
  library.unload();
  if (infoCode == PXI94XX_ERROR_NO_CARD) return {};
  if (infoCode != 0) return pxi94xxCallFailed(QOR_ERR_PXI94XX_DRIVER_INFO, "Pxi94xx__SystemInfoSpecial", infoCode);

  const auto word = [&info](size_t index) { return *readU32LE(info, 4 * index); };
  table.libraryVersion = word(0);
  table.driverVersion = word(1);
  if (PathStatus bound = bindPxi94xx(library, table.libraryVersion, table.driverVersion, functions); !bound.ok()) {
    return bound;
  }
  // The count comes from the library: only as many records as the buffer holds.
  const size_t cards = std::min<size_t>(word(2), (kSystemInfoSize - kSystemInfoHeader) / kCardRecordSize);
  const auto idOf = [&](size_t index) { return *readU32LE(info, kSystemInfoHeader + kCardRecordSize * index); };
  std::vector<uint32_t> ids;
  for (size_t index = 0; index < cards; ++index) {
    if (std::ranges::find(ids, idOf(index)) == ids.end() && ids.size() < kMaxModels) ids.push_back(idOf(index));
  }

  Identification identification(functions);
  for (uint32_t id : ids) {
    std::vector<CardDeviceRecord> identified;
    PathStatus failed;
    for (size_t index = 0; index < cards && failed.ok(); ++index) {
      if (idOf(index) != id) continue;
      const auto card = static_cast<uint8_t>(index + 1);
      CardIdentity identity;
      failed = identification.identify(card, identity);
      if (!failed.ok()) break;
      uint32_t hostType = 0;
      const HostType* model = modelOfDeviceCode(identity.deviceCode, hostType);
      if (model == nullptr) {
        syslog(LOG_NOTICE, "%s : card %u reports the unknown device code 0x%02X\n", "probePxi94xxCards", card,
               identity.deviceCode);
        continue;
      }
      identified.push_back(CardDeviceRecord{hostType, model->communication, 0, identity.identifier,
                                            identity.fpgaValue, identity.position, card, {}});
    }
    std::ranges::stable_sort(identified, {}, &CardDeviceRecord::position);
    uint32_t deviceNumber = 0;
    for (CardDeviceRecord& record : identified) {
      if (table.records.size() == CardDeviceTable::kMaxRecords) break;
      record.deviceNumber = ++deviceNumber;
      table.records.push_back(record);
    }
    if (!failed.ok()) return failed;
  }
  return {};
}

} // namespace qor::daemon
