#include "pxi95xx_probe.hpp"

#include <syslog.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

#include "qor_error_codes.h"
#include "qor_helpers.h"
#include "qor_protocol.h"
#include "qor_shared/byte_reader.hpp"
#include "qor_shared/host_types.hpp"

namespace qor::daemon {
namespace {

constexpr uint32_t kInfoSize = 20;
constexpr size_t kConfigDeviceId = 2;
constexpr size_t kConfigCapabilityPointer = 0x34;
constexpr uint8_t kPciExpressCapability = 0x10;
constexpr size_t kLinkCapabilities = 0x0C;
constexpr size_t kLinkStatus = 0x12;
// A configuration header holds at most this many capabilities: a longer walk is a looped list.
constexpr int kMaxCapabilities = 48;

constexpr uint8_t kIdentityCommand = 0xFF;
constexpr uint32_t kAnswerRoom = 256;
constexpr size_t kDeviceCodeAt = 40;
constexpr double kAnswerTimeoutMs = 500;
constexpr auto kAnswerPoll = std::chrono::milliseconds(1);

uint8_t speedCode(uint32_t bits) {
  const auto speed = static_cast<uint8_t>(bits & 0x0F);
  return speed >= 1 && speed <= 4 ? speed : kPxi95xxUnknownLinkSpeed;
}

uint8_t width(uint32_t bits) { return static_cast<uint8_t>((bits >> 4) & 0x3F); }

// The 95xx model whose firmware reports this device code.
const HostType* modelOfDeviceCode(uint16_t deviceCode, uint32_t& hostType) {
  for (uint32_t type = 0; const HostType* host = findHostType(type); ++type) {
    if (host->daemon.path != DevicePath::Cards95xx) continue;
    if (std::ranges::any_of(host->firmwareDeviceCodes, [&](uint8_t code) { return code != 0 && code == deviceCode; })) {
      hostType = type;
      return host;
    }
  }
  return nullptr;
}

// The firmware device code of a card, asked by the identity command; the card is closed again on every way out.
PathStatus identify(const Pxi95xxFunctions& functions, uint8_t card, uint16_t& deviceCode) {
  if (const int32_t result = functions.openBoard(card)) {
    return pxi95xxCallFailed(QOR_ERR_PXI95XX_INIT, "QorPxi95xx_OpenBoard", result);
  }
  struct Closer {
    const Pxi95xxFunctions& functions;
    uint8_t card;
    ~Closer() { functions.closeBoard(card); }
  } closer{functions, card};

  FirmwareMessageHeader header{};
  header.marker = QOR_FRAME_MARKER;
  header.requestKind = 2;
  header.length = QOR_FRAME_HEADER_SIZE;
  header.TAddr = 1;
  header.TPort = 1;
  header.Mod = static_cast<uint8_t>(card + 1);
  header.command = kIdentityCommand;
  if (const int32_t result = functions.writeCmd(card, &header, sizeof header)) {
    return pxi95xxCallFailed(QOR_ERR_PXI95XX_WRITE, "QorPxi95xx_WriteCmd", result);
  }
  std::vector<uint8_t> answer(kAnswerRoom);
  uint32_t length = 0;
  const double start = GetTickCount();
  while (length == 0) {
    length = kAnswerRoom; // the library never writes past it: a longer answer is its error
    if (const int32_t result = functions.readRsp(card, answer.data(), &length)) {
      return pxi95xxCallFailed(QOR_ERR_PXI95XX_READ, "QorPxi95xx_ReadRsp", result);
    }
    if (length != 0) break;
    if (GetTickCount() - start > kAnswerTimeoutMs) {
      return pathError(QOR_ERR_PXI95XX_READ, "card %u: no answer to the identity command", card);
    }
    std::this_thread::sleep_for(kAnswerPoll);
  }
  const auto frame = std::span<const uint8_t>(answer).first(std::min<size_t>(length, answer.size()));
  const auto type = readAt<uint8_t>(frame, offsetof(FirmwareMessageHeader, type));
  const auto code = readU16LE(frame, kDeviceCodeAt);
  if (type != QOR_FRAME_RESPONSE || !code) {
    return pathError(QOR_ERR_PXI95XX_READ, "card %u: no usable answer to the identity command (%u bytes)", card,
                     length);
  }
  deviceCode = *code;
  return {};
}

} // namespace

void pxi95xxLinkInformation(std::span<const uint8_t> configHeader, uint8_t link[4]) {
  link[0] = kPxi95xxUnknownLinkSpeed;
  link[1] = 0;
  link[2] = kPxi95xxUnknownLinkSpeed;
  link[3] = 0;
  auto pointer = readAt<uint8_t>(configHeader, kConfigCapabilityPointer).value_or(0);
  for (int step = 0; step < kMaxCapabilities && pointer != 0; ++step) {
    const auto id = readAt<uint8_t>(configHeader, pointer);
    if (!id) return;
    if (*id == kPciExpressCapability) {
      const auto capabilities = readU32LE(configHeader, pointer + kLinkCapabilities);
      const auto status = readU16LE(configHeader, pointer + kLinkStatus);
      if (!capabilities || !status) return;
      link[0] = speedCode(*capabilities);
      link[1] = width(*capabilities);
      link[2] = speedCode(*status);
      link[3] = width(*status);
      return;
    }
    pointer = readAt<uint8_t>(configHeader, pointer + 1).value_or(0);
  }
}

PathStatus probePxi95xxCards(LoadedLibrary& library, Pxi95xxFunctions& functions, CardDeviceTable& table) {
  table = {};
  functions = {};
  if (!library.load()) {
    syslog(LOG_ERR, "%s : Error dlopen < %s >\n", "probePxi95xxCards", library.error().c_str());
    return pathError(QOR_ERR_PXI95XX_LOAD, "%s", library.error().c_str());
  }
  decltype(&QorPxi95xx_GetInfo) getInfo = nullptr;
  decltype(&QorPxi95xx_GetBoardInfo) getBoardInfo = nullptr;
  if (!bindFunction(library, "QorPxi95xx_GetInfo", getInfo) ||
      !bindFunction(library, "QorPxi95xx_GetBoardInfo", getBoardInfo)) {
    syslog(LOG_ERR, "%s : Error %s on 'dlsym'\n", "probePxi95xxCards", library.error().c_str());
    library.unload();
    return pathError(QOR_ERR_PXI95XX_FUNCTION_ADDRESS, "%s", library.error().c_str());
  }
  std::vector<uint8_t> info(kInfoSize);
  if (const int32_t result = getInfo(info.data(), kInfoSize)) {
    library.unload();
    if (result == QORPXI95XX_ERROR_NO_BOARD) return {};
    return pxi95xxCallFailed(QOR_ERR_PXI95XX_DRIVER_INFO, "QorPxi95xx_GetInfo", result);
  }
  // The count comes from the library: never more cards than it serves.
  const uint32_t reported = *readU32LE(info, offsetof(QorPxi95xxInfo_t, cardCount));
  const size_t cards = std::min<size_t>(reported, QORPXI95XX_CARD_COUNT_MAX);
  syslog(LOG_NOTICE, "%s : cards Found %d\n", "probePxi95xxCards", static_cast<int>(reported));
  std::vector<std::vector<uint8_t>> boards(cards, std::vector<uint8_t>(QORPXI95XX_BOARD_INFO_SIZE));
  for (size_t card = 0; card < cards; ++card) {
    if (const int32_t result =
            getBoardInfo(static_cast<uint8_t>(card), boards[card].data(), QORPXI95XX_BOARD_INFO_SIZE)) {
      library.unload();
      if (result == QORPXI95XX_ERROR_NO_BOARD) return {};
      return pxi95xxCallFailed(QOR_ERR_PXI95XX_DRIVER_INFO, "QorPxi95xx_GetBoardInfo", result);
    }
  }
  library.unload();
  table.libraryVersion = *readU32LE(info, offsetof(QorPxi95xxInfo_t, libraryVersion));
  table.driverVersion = *readU32LE(info, offsetof(QorPxi95xxInfo_t, driverVersion));
  if (cards == 0) return {};
  if (PathStatus bound = bindPxi95xx(library, table.libraryVersion, table.driverVersion, functions); !bound.ok()) {
    return bound;
  }

  const auto field = [&boards](size_t card, size_t offset) { return *readU32LE(boards[card], offset); };
  const auto configHeader = [&boards](size_t card) {
    return std::span<const uint8_t>(boards[card]).subspan(offsetof(QorPxi95xxBoardInfo_t, configHeader), 256);
  };
  const auto deviceIdOf = [&](size_t card) { return *readU16LE(configHeader(card), kConfigDeviceId); };
  std::vector<uint16_t> deviceIds;
  for (size_t card = 0; card < cards; ++card) {
    if (std::ranges::find(deviceIds, deviceIdOf(card)) == deviceIds.end()) deviceIds.push_back(deviceIdOf(card));
  }
  for (uint16_t deviceId : deviceIds) {
    uint32_t deviceNumber = 0;
    for (size_t card = 0; card < cards; ++card) {
      if (deviceIdOf(card) != deviceId) continue;
      uint16_t deviceCode = 0;
      if (PathStatus status = identify(functions, static_cast<uint8_t>(card), deviceCode); !status.ok()) {
        library.unload();
        functions = {};
        table.records.clear();
        return status;
      }
      uint32_t hostType = 0;
      const HostType* model = modelOfDeviceCode(deviceCode, hostType);
      if (model == nullptr) {
        syslog(LOG_NOTICE, "%s : card %zu reports the unknown device code %u\n", "probePxi95xxCards", card,
               deviceCode);
        continue;
      }
      CardDeviceRecord record{hostType,
                              model->communication,
                              ++deviceNumber,
                              field(card, offsetof(QorPxi95xxBoardInfo_t, serialNumberLow)),
                              0,
                              field(card, offsetof(QorPxi95xxBoardInfo_t, sortKey)),
                              static_cast<uint8_t>(card),
                              {}};
      pxi95xxLinkInformation(configHeader(card), record.pathSpecific);
      table.records.push_back(record);
    }
  }
  std::ranges::stable_sort(table.records, {}, &CardDeviceRecord::position);
  return {};
}

} // namespace qor::daemon
