// The bridge driver's user-space access: node connect, device find and open, BAR and physical memory mappings,
// configuration space and notifications' transport (request records).
#include <fcntl.h>
#include <sys/mman.h>
#include <syslog.h>
#include <unistd.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "PlxApi.h"
#include "driver_request.hpp"

namespace qor::pxi94xx {
namespace {

// Node names in the order they are tried; an entry beginning with '0' ends the list.
constexpr const char* PlxDrivers[] = {"Pxi94xx", "PlxSvc", "0"};
constexpr uint8_t kServiceDriverIndex = 1;
constexpr uint8_t kDriverCount = 2;

constexpr uint8_t kAccessModeNode = 0;
constexpr uint8_t kAccessModeNoRequests = 1;

struct NodePath {
  char text[64];
};

NodePath nodePath(uint8_t driverIndex, uint16_t deviceNumber) {
  NodePath path;
  if (driverIndex == kServiceDriverIndex) {
    snprintf(path.text, sizeof path.text, "%s%s", PLX_NODE_DIRECTORY, PlxDrivers[driverIndex]);
  } else {
    snprintf(path.text, sizeof path.text, "%s%s-%d", PLX_NODE_DIRECTORY, PlxDrivers[driverIndex], deviceNumber);
  }
  return path;
}

bool isValid(const PlxDeviceObject_t* device) { return device->tag == PLX_TAG_VALID; }

size_t pageSize() { return static_cast<size_t>(sysconf(_SC_PAGESIZE)); }

size_t roundUpToPage(uint64_t bytes) {
  const size_t page = pageSize();
  return static_cast<size_t>((bytes + page - 1) / page * page);
}

// A closed object's first eight bytes read "DIOVDIOV".
void invalidate(PlxDeviceObject_t* device) {
  device->tag = PLX_TAG_INVALID;
  device->key.tag = PLX_TAG_INVALID;
}

}  // namespace

int requestStatus(PlxDeviceObject_t* device, uint8_t nr, PlxRequest_t* record) {
  if (PlxIoMessage(device, PLX_REQUEST(nr), record) < 0) return PLX_STATUS_REQUEST_FAILED;
  return static_cast<int>(record->status);
}

}  // namespace qor::pxi94xx

using namespace qor::pxi94xx;

int Driver_Connect(int64_t* descriptor, uint8_t driverIndex, uint16_t deviceNumber) {
  if (descriptor == nullptr) return PLX_STATUS_NULL_ARGUMENT;
  *descriptor = -1;
  if (driverIndex >= kDriverCount) return PLX_STATUS_NO_DRIVER;
  const NodePath path = nodePath(driverIndex, deviceNumber);
  const int node = open(path.text, O_RDWR | O_CLOEXEC);
  if (node < 0) {
    if (driverIndex != kServiceDriverIndex) {
      syslog(LOG_ERR, "%s : Error can not open Driver '%s'\n", "Driver_Connect", path.text);
    }
    return PLX_STATUS_NO_DRIVER;
  }
  PlxRequest_t record{};
  if (driverRequest(node, PLX_REQUEST(PLX_REQUEST_VERSION_CHECK), &record) < 0 || record.status != 0) {
    close(node);
    return PLX_STATUS_REQUEST_FAILED;
  }
  const uint32_t major = static_cast<uint32_t>(record.value0 >> 16) & 0xFF;
  const uint32_t minor = static_cast<uint32_t>(record.value0 >> 8) & 0xFF;
  if (major != PLX_DRIVER_VERSION_MAJOR || minor != PLX_DRIVER_VERSION_MINOR) {
    close(node);
    return PLX_STATUS_WRONG_DRIVER_VERSION;
  }
  *descriptor = node;
  return PLX_STATUS_OK;
}

int PlxIoMessage(PlxDeviceObject_t* device, uint32_t request, PlxRequest_t* record) {
  if (device == nullptr || record == nullptr) return -1;
  switch (device->key.accessMode) {
    case kAccessModeNode:
      return driverRequest(static_cast<int>(device->descriptor), request, record);
    case kAccessModeNoRequests:
      return 0;
    default:
      return -1;
  }
}

int PlxPci_DeviceFind(PlxDeviceKey_t* key, uint16_t index) {
  if (key == nullptr) return PLX_STATUS_NULL_ARGUMENT;
  uint32_t matchesPassed = 0;
  bool driverAnswered = false;
  for (uint8_t driver = 0; PlxDrivers[driver][0] != '0'; ++driver) {
    int64_t node = -1;
    if (Driver_Connect(&node, driver, 0) != PLX_STATUS_OK) continue;
    PlxRequest_t record{};
    record.key = *key;
    record.value0 = static_cast<uint64_t>(static_cast<int64_t>(index) - static_cast<int64_t>(matchesPassed));
    const int called = driverRequest(static_cast<int>(node), PLX_REQUEST(PLX_REQUEST_FIND_DEVICE), &record);
    close(static_cast<int>(node));
    if (called < 0) continue;
    if (record.status == 0) {
      *key = record.key;
      key->tag = PLX_TAG_VALID;
      key->driverIndex = driver;
      return PLX_STATUS_OK;
    }
    matchesPassed += static_cast<uint16_t>(record.value0);
    driverAnswered = true;
  }
  return driverAnswered ? PLX_STATUS_INVALID_OBJECT : PLX_STATUS_NO_DRIVER;
}

int PlxPci_DeviceFindEx(PlxDeviceKey_t* key, uint32_t index, uint32_t mode, void*) {
  switch (mode) {
    case 0: return PlxPci_DeviceFind(key, static_cast<uint16_t>(index));
    case 2: return PLX_STATUS_REQUEST_FAILED;
    default: return PLX_STATUS_UNSUPPORTED;
  }
}

int PlxPci_DeviceOpen(PlxDeviceKey_t* key, PlxDeviceObject_t* device) {
  if (key == nullptr || device == nullptr) return PLX_STATUS_NULL_ARGUMENT;
  if (isValid(device)) return PLX_STATUS_INVALID_OBJECT;
  *device = PlxDeviceObject_t{};
  device->tag = PLX_TAG_INVALID;
  device->descriptor = -1;
  device->key = *key;
  if (key->tag != PLX_TAG_VALID) {
    const int found = PlxPci_DeviceFindEx(&device->key, 0, 0, nullptr);
    if (found != PLX_STATUS_OK) return found;
  }
  const int status = Driver_Connect(&device->descriptor, device->key.driverIndex, device->key.deviceNumber);
  syslog(LOG_DEBUG, "%s : Driver_Connect %u %u status %d\n", "PlxPci_DeviceOpen", device->key.driverIndex,
         device->key.deviceNumber, status);
  if (status == PLX_STATUS_OK) device->tag = PLX_TAG_VALID;
  return status;
}

int PlxPci_DeviceClose(PlxDeviceObject_t* device) {
  if (device == nullptr) return PLX_STATUS_NULL_ARGUMENT;
  if (!isValid(device)) return PLX_STATUS_INVALID_OBJECT;
  if (device->key.accessMode != kAccessModeNoRequests && device->descriptor >= 0) {
    close(static_cast<int>(device->descriptor));
  }
  device->descriptor = -1;
  invalidate(device);
  return PLX_STATUS_OK;
}

int PlxPci_PciBarProperties(PlxDeviceObject_t* device, uint8_t bar, PlxBarProperties_t* properties) {
  if (device == nullptr || properties == nullptr) return PLX_STATUS_NULL_ARGUMENT;
  *properties = PlxBarProperties_t{};
  if (!isValid(device)) return PLX_STATUS_INVALID_OBJECT;
  if (bar >= PLX_BAR_COUNT) return PLX_STATUS_UNSUPPORTED;
  PlxRequest_t record{};
  record.key = device->key;
  record.value0 = bar;
  const int status = requestStatus(device, PLX_REQUEST_BAR_PROPERTIES, &record);
  if (status == PLX_STATUS_OK) std::memcpy(properties, record.reply, sizeof *properties);
  return status;
}

int PlxPci_PciBarMap(PlxDeviceObject_t* device, uint8_t bar, uint64_t* userAddress) {
  if (device == nullptr || userAddress == nullptr) return PLX_STATUS_NULL_ARGUMENT;
  *userAddress = 0;
  if (!isValid(device)) return PLX_STATUS_INVALID_OBJECT;
  if (bar >= PLX_BAR_COUNT) return PLX_STATUS_INVALID_ADDRESS;
  if (device->barAddress[bar] != 0) {
    if (device->mapCount[bar] == UINT8_MAX) return PLX_STATUS_NOT_MAPPED;  // the count would wrap
    ++device->mapCount[bar];
    *userAddress = device->barAddress[bar];
    return PLX_STATUS_OK;
  }
  PlxBarProperties_t properties;
  const int status = PlxPci_PciBarProperties(device, bar, &properties);
  if (status != PLX_STATUS_OK) return status;
  if (properties.physicalAddress == 0 || properties.size == 0 || (properties.flags & PLX_BAR_FLAG_NOT_MAPPABLE)) {
    return PLX_STATUS_NOT_MAPPED;
  }
  if (device->key.driverIndex == kServiceDriverIndex) {
    PlxRequest_t record{};
    record.key = device->key;
    record.value0 = bar;
    const int prepared = requestStatus(device, PLX_REQUEST_BAR_MAP_PREPARE, &record);
    if (prepared != PLX_STATUS_OK) return prepared;
  }
  // The mapping covers the BAR from its page start, so a BAR that starts inside a page is mapped whole.
  const uint64_t pageOffset = properties.physicalAddress & (pageSize() - 1);
  void* mapping = mmap(nullptr, roundUpToPage(properties.size + pageOffset), PROT_READ | PROT_WRITE, MAP_SHARED,
                       static_cast<int>(device->descriptor), static_cast<off_t>(bar * pageSize()));
  if (mapping == MAP_FAILED) return PLX_STATUS_MAP_FAILED;
  device->barProperties[bar] = properties;
  device->barAddress[bar] = reinterpret_cast<uint64_t>(mapping) + pageOffset;
  device->mapCount[bar] = 1;
  *userAddress = device->barAddress[bar];
  return PLX_STATUS_OK;
}

int PlxPci_PciBarUnmap(PlxDeviceObject_t* device, uint64_t* userAddress) {
  if (device == nullptr || userAddress == nullptr) return PLX_STATUS_NULL_ARGUMENT;
  if (*userAddress == 0) return PLX_STATUS_NOT_MAPPED;
  if (!isValid(device)) return PLX_STATUS_INVALID_OBJECT;
  for (uint8_t bar = 0; bar < PLX_BAR_COUNT; ++bar) {
    if (device->barAddress[bar] != *userAddress) continue;
    if (--device->mapCount[bar] == 0) {
      const uint64_t pageOffset = device->barProperties[bar].physicalAddress & (pageSize() - 1);
      void* start = reinterpret_cast<void*>(device->barAddress[bar] - pageOffset);
      const size_t length = roundUpToPage(device->barProperties[bar].size + pageOffset);
      device->barAddress[bar] = 0;
      if (munmap(start, length) != 0) return PLX_STATUS_NOT_MAPPED;
    }
    *userAddress = 0;
    return PLX_STATUS_OK;
  }
  return PLX_STATUS_NOT_MAPPED;
}

int PlxPci_PhysicalMemoryMap(PlxDeviceObject_t* device, PlxPhysicalMemory_t* memory) {
  if (device == nullptr || memory == nullptr) return PLX_STATUS_NULL_ARGUMENT;
  memory->userAddress = 0;
  if (!isValid(device)) return PLX_STATUS_INVALID_OBJECT;
  if (memory->physicalAddress == 0 || memory->size == 0) return PLX_STATUS_INVALID_ADDRESS;
  void* mapping = mmap(nullptr, memory->size, PROT_READ | PROT_WRITE, MAP_SHARED,
                       static_cast<int>(device->descriptor), static_cast<off_t>(memory->physicalAddress));
  if (mapping == MAP_FAILED) return PLX_STATUS_MAP_FAILED;
  memory->userAddress = reinterpret_cast<uint64_t>(mapping);
  return PLX_STATUS_OK;
}

int PlxPci_PhysicalMemoryUnmap(PlxDeviceObject_t* device, PlxPhysicalMemory_t* memory) {
  if (device == nullptr || memory == nullptr) return PLX_STATUS_NULL_ARGUMENT;
  if (!isValid(device)) return PLX_STATUS_INVALID_OBJECT;
  if (memory->physicalAddress == 0 || memory->size == 0) return PLX_STATUS_INVALID_ADDRESS;
  if (memory->userAddress == 0) return PLX_STATUS_NOT_MAPPED;
  if (munmap(reinterpret_cast<void*>(memory->userAddress), memory->size) != 0) return PLX_STATUS_NOT_MAPPED;
  memory->userAddress = 0;
  return PLX_STATUS_OK;
}

int PlxPci_CommonBufferProperties(PlxDeviceObject_t* device, uint8_t* properties) {
  if (device == nullptr || properties == nullptr) return PLX_STATUS_NULL_ARGUMENT;
  if (!isValid(device)) return PLX_STATUS_INVALID_OBJECT;
  uint64_t cachedPhysical = 0;
  std::memcpy(&cachedPhysical, device->commonBuffer + 8, sizeof cachedPhysical);
  if (cachedPhysical == 0) {
    PlxRequest_t record{};
    record.key = device->key;
    const int status = requestStatus(device, PLX_REQUEST_COMMON_BUFFER, &record);
    if (status != PLX_STATUS_OK) return status;
    std::memset(record.reply, 0, sizeof(uint64_t));
    std::memcpy(device->commonBuffer, record.reply, sizeof device->commonBuffer);
  }
  std::memcpy(properties, device->commonBuffer, sizeof device->commonBuffer);
  return PLX_STATUS_OK;
}

namespace {

// Opens the first device of any driver, sends one configuration request for bus, slot and function, closes it.
int configurationRequest(uint8_t nr, uint8_t bus, uint8_t slot, uint8_t function, uint16_t offset, uint32_t value,
                         uint32_t* result) {
  PlxDeviceKey_t anyDevice;
  std::memset(&anyDevice, 0xFF, sizeof anyDevice);
  PlxDeviceObject_t device{};
  const int opened = PlxPci_DeviceOpen(&anyDevice, &device);
  if (opened != PLX_STATUS_OK) return opened;
  PlxRequest_t record{};
  record.key.bus = bus;
  record.key.slot = slot;
  record.key.function = function;
  record.value0 = offset;
  record.value1 = value;
  const int status = requestStatus(&device, nr, &record);
  PlxPci_DeviceClose(&device);
  if (result != nullptr) *result = static_cast<uint32_t>(record.value1);
  return status;
}

}  // namespace

uint32_t PlxPci_PciRegisterRead_BypassOS(uint8_t bus, uint8_t slot, uint8_t function, uint16_t offset,
                                         int* status) {
  uint32_t value = 0xFFFFFFFF;
  const int result = configurationRequest(PLX_REQUEST_CONFIG_READ, bus, slot, function, offset, 0xFFFFFFFF, &value);
  if (status != nullptr) *status = result;
  return result == PLX_STATUS_OK ? value : 0xFFFFFFFF;
}

int PlxPci_PciRegisterWrite_BypassOS(uint8_t bus, uint8_t slot, uint8_t function, uint16_t offset, uint32_t value) {
  return configurationRequest(PLX_REQUEST_CONFIG_WRITE, bus, slot, function, offset, value, nullptr);
}

int Pxi94xx_DriverVersion(PlxDeviceObject_t* device, uint8_t* major, uint8_t* minor, uint8_t* revision) {
  if (device == nullptr || major == nullptr || minor == nullptr || revision == nullptr) {
    return PLX_STATUS_NULL_ARGUMENT;
  }
  *major = *minor = *revision = 0;
  if (!isValid(device)) return PLX_STATUS_INVALID_OBJECT;
  PlxRequest_t record{};
  record.key = device->key;
  const int status = requestStatus(device, PLX_REQUEST_DRIVER_VERSION, &record);
  if (status != PLX_STATUS_OK) return status;
  *major = static_cast<uint8_t>(record.value0 >> 16);
  *minor = static_cast<uint8_t>(record.value0 >> 8);
  *revision = static_cast<uint8_t>(record.value0);
  return status;
}

void PlxApi_DebugPrintf(const char* format, ...) {
  if (format == nullptr) return;
  char line[304];
  va_list arguments;
  va_start(arguments, format);
  vsnprintf(line, sizeof line, format, arguments);
  va_end(arguments);
  fputs(line, stdout);
}
