#include "cards.hpp"

#include <syslog.h>

#include <cstring>

namespace qor::pxi94xx {
namespace {

bool isOpen(const PlxDeviceObject_t& device) { return device.descriptor != -1; }

void clear(PlxDeviceObject_t& device) {
  device = PlxDeviceObject_t{};
  device.descriptor = -1;
}

// Opens the device into its slot and maps a BAR0 large enough for the ring layout; on any failure the slot stays
// closed, so an open card always has its rings mapped.
uint32_t openCard(PlxDeviceKey_t& key, PlxDeviceObject_t& device) {
  int status = PlxPci_DeviceOpen(&key, &device);
  if (status != PLX_STATUS_OK) {
    clear(device);
    return static_cast<uint32_t>(status);
  }
  uint64_t bar0 = 0;
  status = PlxPci_PciBarMap(&device, 0, &bar0);
  if (status == PLX_STATUS_OK && device.barProperties[0].size < PXI94XX_BAR0_SIZE) {
    syslog(LOG_ERR, "Pxi94xx: device %u has a BAR0 of %llu bytes, too small for a card\n", key.deviceNumber,
           static_cast<unsigned long long>(device.barProperties[0].size));
    PlxPci_PciBarUnmap(&device, &bar0);
    status = PLX_STATUS_NOT_MAPPED;
  }
  if (status != PLX_STATUS_OK) {
    PlxPci_DeviceClose(&device);
    clear(device);
  }
  return static_cast<uint32_t>(status);
}

}  // namespace

Cards& cards() {
  static Cards state = [] {
    Cards fresh;
    for (auto& device : fresh.gDevice) clear(device);
    return fresh;
  }();
  return state;
}

uint32_t checkCard(uint8_t card) {
  if (cards().count == 0) return PXI94XX_ERROR_NO_CARD;
  if (static_cast<uint8_t>(card - 1) >= PXI94XX_CARD_COUNT_MAX) return PXI94XX_ERROR_CARD_NUMBER;
  if (!isOpen(deviceOf(card))) return PXI94XX_ERROR_CARD_NOT_OPEN;
  return 0;
}

PlxDeviceObject_t& deviceOf(uint8_t card) { return cards().gDevice[card - 1]; }

volatile uint8_t* bar0Of(uint8_t card) { return reinterpret_cast<volatile uint8_t*>(deviceOf(card).barAddress[0]); }

uint32_t openCards() {
  closeCards();
  Cards& state = cards();
  uint32_t status = PLX_STATUS_NO_DRIVER;
  for (uint16_t index = 0; index < PXI94XX_CARD_COUNT_MAX; ++index) {
    PlxDeviceKey_t key;
    std::memset(&key, 0xFF, sizeof key);
    status = static_cast<uint32_t>(PlxPci_DeviceFind(&key, index));
    if (status != PLX_STATUS_OK) continue;
    if (key.deviceNumber >= PXI94XX_CARD_COUNT_MAX) continue;
    PlxDeviceObject_t& device = state.gDevice[key.deviceNumber];
    if (isOpen(device)) continue;  // the driver named the same slot twice
    status = openCard(key, device);
    if (status == PLX_STATUS_OK) ++state.count;
  }
  return state.count != 0 ? 0 : status;
}

uint32_t closeCards() {
  Cards& state = cards();
  uint32_t status = 0;
  for (auto& device : state.gDevice) {
    if (!isOpen(device)) continue;
    uint64_t bar0 = device.barAddress[0];
    while (bar0 != 0 && PlxPci_PciBarUnmap(&device, &bar0) == PLX_STATUS_OK && device.barAddress[0] != 0) {
      bar0 = device.barAddress[0];
    }
    status = static_cast<uint32_t>(PlxPci_DeviceClose(&device));
    clear(device);
  }
  state.count = 0;
  return status;
}

}  // namespace qor::pxi94xx
