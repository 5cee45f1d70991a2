#include "usb_device_table.hpp"

#include <algorithm>
#include <cstring>

#include "qor_shared/byte_reader.hpp"
#include "usb_models.hpp"

namespace qor::daemon {
namespace {

constexpr size_t kRawHeader = 16;
constexpr size_t kRawEntry = 16;
constexpr size_t kRawCountOffset = 8;

struct RawController {
  uint32_t serialNumber;
  uint32_t libraryValue;
  uint32_t driverType;
};

uint32_t groupSize(uint32_t driverType) { return driverType == 4 || driverType == 5 ? 4 : 1; }

uint32_t controllersOf(uint32_t driverType) {
  switch (driverType) {
    case 4: return 4;
    case 5: return 3;
    default: return 1;
  }
}

// The controllers that are present in the records of this type up to and including last.
uint32_t presentUpTo(const std::vector<UsbDeviceRecord>& devices, uint32_t driverType, size_t last) {
  uint32_t present = 0;
  for (size_t i = 0; i <= last; ++i) {
    if (devices[i].driverType != driverType) continue;
    present += static_cast<uint32_t>(
        std::count_if(devices[i].slots.begin(), devices[i].slots.end(), [](const auto& slot) { return slot.present; }));
  }
  return present;
}

void addController(std::vector<UsbDeviceRecord>& devices, const RawController& controller) {
  const uint32_t group = groupSize(controller.driverType);
  const uint32_t slot = controller.serialNumber % group;
  if (slot >= controllersOf(controller.driverType)) return; // a controller number the model does not have
  auto own = std::find_if(devices.begin(), devices.end(), [&](const UsbDeviceRecord& device) {
    return device.driverType == controller.driverType && device.baseSerial / group == controller.serialNumber / group;
  });
  if (own == devices.end()) {
    if (devices.size() >= kUsbMaxDevices) return;
    UsbDeviceRecord device;
    device.driverType = controller.driverType;
    device.deviceNumber = 1 + static_cast<uint32_t>(std::count_if(
                                  devices.begin(), devices.end(),
                                  [&](const UsbDeviceRecord& other) { return other.driverType == device.driverType; }));
    device.baseSerial = controller.serialNumber - slot;
    device.controllerCount = controllersOf(controller.driverType);
    devices.push_back(device);
    own = devices.end() - 1;
  }
  UsbControllerSlot& place = own->slots[slot];
  if (place.present) return; // the same controller listed twice
  const size_t position = static_cast<size_t>(own - devices.begin());
  place = {true, controller.serialNumber, controller.libraryValue,
           1 + presentUpTo(devices, controller.driverType, position)};
}

} // namespace

const UsbDeviceRecord* UsbDeviceTable::find(uint32_t driverType, uint32_t deviceNumber) const {
  for (const UsbDeviceRecord& device : devices) {
    if (device.driverType == driverType && device.deviceNumber == deviceNumber) return &device;
  }
  return nullptr;
}

const UsbDeviceRecord* UsbDeviceTable::findBySerial(uint32_t baseSerial) const {
  for (const UsbDeviceRecord& device : devices) {
    if (device.baseSerial == baseSerial) return &device;
  }
  return nullptr;
}

UsbDeviceTable buildUsbDeviceTable(std::span<const uint8_t> rawList) {
  UsbDeviceTable table;
  if (rawList.size() < kRawHeader) return table;
  table.libraryVersion = *readU32LE(rawList, 0);
  const size_t held = (rawList.size() - kRawHeader) / kRawEntry;
  table.rawControllers = static_cast<uint32_t>(std::min<size_t>(*readU32LE(rawList, kRawCountOffset), held));
  for (uint32_t i = 0; i < table.rawControllers; ++i) {
    const size_t entry = kRawHeader + i * kRawEntry;
    addController(table.devices,
                  {*readU32LE(rawList, entry), *readU32LE(rawList, entry + 4), *readU32LE(rawList, entry + 8)});
  }
  return table;
}

std::vector<uint8_t> usbDriverInformation(const UsbDeviceTable& table, uint32_t communicationType) {
  std::vector<uint32_t> types;
  for (const UsbDeviceRecord& device : table.devices) {
    if (std::find(types.begin(), types.end(), device.driverType) == types.end()) types.push_back(device.driverType);
  }
  constexpr size_t kHeader = 12;
  std::vector<uint8_t> out(kHeader);
  for (uint32_t type : types) {
    for (size_t i = 0; i < table.devices.size(); ++i) {
      const UsbDeviceRecord& device = table.devices[i];
      if (device.driverType != type) continue;
      UsbDriverInfoEntry entry{};
      entry.hostInterfaceType = usbHostTypeOf(type);
      entry.communicationType = communicationType;
      entry.deviceNumber = device.deviceNumber;
      entry.serialNumber = device.baseSerial;
      entry.position = static_cast<uint8_t>(i + 1);
      const auto* raw = reinterpret_cast<const uint8_t*>(&entry);
      out.insert(out.end(), raw, raw + sizeof entry);
    }
  }
  const uint32_t count = static_cast<uint32_t>((out.size() - kHeader) / sizeof(UsbDriverInfoEntry));
  memcpy(out.data() + 8, &count, sizeof count);
  return out;
}

} // namespace qor::daemon
