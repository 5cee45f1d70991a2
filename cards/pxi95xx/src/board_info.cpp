// Library and driver versions, the card count and a board record per card.
#include <syslog.h>

#include <cstring>

#include "QorPxi95xx_API.h"
#include "cards.hpp"
#include "driver_access.hpp"
#include "vortaq_abi.h"

using namespace qor::pxi95xx;

namespace {

constexpr uint32_t kFirstExtendedCapability = 0x100;
constexpr uint32_t kLastConfigurationDword = 0xFFC;
constexpr uint32_t kSerialNumberCapability = 3;
constexpr int kCapabilityHeadersMax = 960;  // as many as fit in the extended configuration space

uint32_t driverVersion(const BOARD_CONFIG_STRUCT& config) {
  return config.DriverVersionMajor * 100u + config.DriverVersionMinor * 10u + config.DriverVersionSubMinor;
}

bool readConfigDword(int device, uint32_t offset, uint32_t* value) {
  RW_PCI_CONFIG_STRUCT request{offset, 4, reinterpret_cast<uint64_t>(value)};
  return driverRequest(device, VORTAQ_READ_PCI_CONFIG, &request) == 0;
}

// The lower half of the PCIe device serial number, 0 when the card has none. The list comes from the card: the
// walk stays inside the extended configuration space and ends after as many headers as fit there.
uint32_t serialNumberLow(int device) {
  uint32_t offset = kFirstExtendedCapability;
  for (int visited = 0; visited < kCapabilityHeadersMax; ++visited) {
    uint32_t header = 0;
    if (!readConfigDword(device, offset, &header) || header == 0) return 0;
    if ((header & 0xFFFF) == kSerialNumberCapability) {
      uint32_t low = 0, high = 0;
      if (offset + 8 > kLastConfigurationDword || !readConfigDword(device, offset + 4, &low) ||
          !readConfigDword(device, offset + 8, &high)) {
        return 0;
      }
      return low;
    }
    const uint32_t next = (header >> 20) & ~3u;
    if (next < kFirstExtendedCapability || next >= kLastConfigurationDword) return 0;
    offset = next;
  }
  return 0;
}

}  // namespace

extern "C" {

int32_t QorPxi95xx_GetInfo(void* output, uint32_t length) {
  if (output == nullptr || length < sizeof(QorPxi95xxInfo_t)) return QORPXI95XX_ERROR_PARAMETER;
  std::memset(output, 0, length);
  auto* info = static_cast<QorPxi95xxInfo_t*>(output);
  info->libraryVersion = QORPXI95XX_LIBRARY_VERSION;
  if (library().count == 0 || !library().PcfgParams) {
    syslog(LOG_NOTICE, "%s : No Pxi95xx Cards found\n", "QorPxi95xx_GetInfo");
    return QORPXI95XX_ERROR_NO_BOARD;
  }
  const CardRecord& first = cardRecord(0);
  if (first.device < 0) return QORPXI95XX_ERROR_NO_BOARD;
  BOARD_CONFIG_STRUCT config{};
  if (const int32_t code = driverRequest(first.device, VORTAQ_GET_BOARD_CONFIG, &config)) return code;
  info->cardCount = library().count;
  syslog(LOG_NOTICE, "%s: %d cards found\n", "QorPxi95xx_GetInfo", static_cast<int>(library().count));
  info->driverVersion = driverVersion(config);
  return 0;
}

int32_t QorPxi95xx_GetBoardInfo(uint8_t card, void* output, uint32_t length) {
  if (output == nullptr || length < QORPXI95XX_BOARD_INFO_MIN) return QORPXI95XX_ERROR_PARAMETER;
  auto* info = static_cast<QorPxi95xxBoardInfo_t*>(output);
  if (const int32_t code = checkCard(card, QORPXI95XX_ERROR_NO_BOARD)) {
    if (code == QORPXI95XX_ERROR_NO_BOARD) info->cardCount = 0;
    return code;
  }
  std::memset(output, 0, length);
  info->libraryVersion = QORPXI95XX_LIBRARY_VERSION;
  const CardRecord& record = cardRecord(card);
  if (record.device < 0) return QORPXI95XX_ERROR_NO_BOARD;
  info->serialNumberLow = serialNumberLow(record.device);
  BOARD_CONFIG_STRUCT config{};
  if (const int32_t code = driverRequest(record.device, VORTAQ_GET_BOARD_CONFIG, &config)) return code;
  info->driverVersion = driverVersion(config);
  info->dmaChannelCount = config.NumDmaChannels;
  info->cardCount = library().count;
  info->sortKey = card;
  static_assert(sizeof info->configHeader == sizeof config.PciConfig);
  std::memcpy(info->configHeader, &config.PciConfig, sizeof info->configHeader);
  if (length >= QORPXI95XX_BOARD_INFO_SIZE) {
    QORPXI95XX_BARMEM_INFO bars{};
    if (const int32_t code = driverRequest(record.device, VORTAQ_GET_BARMEM_INFO, &bars)) return code;
    static_assert(sizeof info->barInformation == sizeof bars);
    std::memcpy(info->barInformation, &bars, sizeof bars);
  }
  return 0;
}

}  // extern "C"
