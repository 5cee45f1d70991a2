#include "qor_emulator/plx_driver.hpp"

#include <dirent.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <stdexcept>

#include "Pxi94xx.h"
#include "driver_support.hpp"

namespace qor::emulator {
namespace {

constexpr uint32_t kStatusNotFound = 0x200;
constexpr uint32_t kStatusTimeout = 13;
constexpr uint64_t kBar0Physical = 0xF0000000;
constexpr uint64_t kCommonBufferPhysical = 0x10000000;
constexpr uint32_t kCommonBufferSize = 0x100000;
constexpr char kCardNodePrefix[] = PLX_NODE_DIRECTORY "Pxi94xx-";
constexpr char kServiceNode[] = PLX_NODE_DIRECTORY "PlxSvc";

PlxDriver* current = nullptr;
std::mutex currentMutex;

bool matches(const PlxDeviceKey_t& pattern, uint16_t vendorId, uint16_t deviceId) {
  return (pattern.vendorId == 0xFFFF || pattern.vendorId == vendorId) &&
         (pattern.deviceId == 0xFFFF || pattern.deviceId == deviceId);
}

constexpr size_t kNodePage = 4096;

int refuse() {
  errno = ENOTTY;
  return -1;
}

}  // namespace

PlxDriver::PlxDriver() {
  std::lock_guard lock(currentMutex);
  if (current != nullptr) throw std::logic_error("one emulated bridge driver at a time");
  current = this;
}

PlxDriver::~PlxDriver() {
  std::lock_guard lock(currentMutex);
  current = nullptr;
  if (!serviceNode_.empty()) unlink(serviceNode_.c_str());
  for (void* mapping : nodeMappings_) munmap(mapping, kNodePage);
}

int PlxDriver::request(int descriptor, unsigned long request, void* record) {
  std::lock_guard lock(currentMutex);
  if (current == nullptr || record == nullptr) return refuse();
  return current->answer(pathOfDescriptor(descriptor), request, record);
}

void PlxDriver::addCard(Card94xx& card) {
  std::lock_guard lock(mutex_);
  cards_.push_back({card.config().deviceNumber, card.config().pciDeviceId, card.config().pciVendorId,
                    card.config().bar0Size, &card});
}

size_t PlxDriver::addCardNodes() {
  std::lock_guard lock(mutex_);
  DIR* directory = opendir(PLX_NODE_DIRECTORY);
  if (directory == nullptr) return 0;
  const std::string prefix = kCardNodePrefix + sizeof PLX_NODE_DIRECTORY - 1;
  size_t added = 0;
  while (const dirent* entry = readdir(directory)) {
    const std::string name = entry->d_name;
    const size_t digits = name.find_first_not_of("0123456789", prefix.size());
    if (name.rfind(prefix, 0) != 0 || digits != std::string::npos || name.size() == prefix.size()) continue;
    const std::string node = PLX_NODE_DIRECTORY + name;
    uint16_t identifiers[2] = {};
    std::ifstream configuration(Card94xx::configurationPath(node), std::ios::binary);
    if (!configuration.read(reinterpret_cast<char*>(identifiers), sizeof identifiers)) continue;
    struct stat file;
    const int descriptor = open(node.c_str(), O_RDWR | O_CLOEXEC);
    if (descriptor < 0) continue;
    void* page = fstat(descriptor, &file) == 0 && file.st_size >= static_cast<off_t>(kNodePage)
                     ? mmap(nullptr, kNodePage, PROT_READ | PROT_WRITE, MAP_SHARED, descriptor, 0)
                     : MAP_FAILED;
    close(descriptor);
    if (page == MAP_FAILED) continue;
    nodeMappings_.push_back(page);
    const auto deviceNumber = static_cast<uint16_t>(std::stoul(name.substr(prefix.size())));
    cards_.push_back({deviceNumber, identifiers[1], identifiers[0], static_cast<uint64_t>(file.st_size), nullptr,
                      reinterpret_cast<volatile uint32_t*>(static_cast<uint8_t*>(page) +
                                                           PXI94XX_INTERRUPT_CONTROL_WORD)});
    ++added;
  }
  closedir(directory);
  return added;
}

bool PlxDriver::waitForClearedInterruptEnable(volatile uint32_t* interruptControl,
                                              std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (true) {
    const uint32_t value = *interruptControl;
    if (!(value & PXI94XX_INTERRUPT_RESPONSE)) return true;
    if (!sleepWhileWordIs(interruptControl, value, deadline)) return false;
  }
}

void PlxDriver::addServiceDevice(uint16_t deviceNumber, uint16_t pciDeviceId) {
  std::lock_guard lock(mutex_);
  if (serviceNode_.empty()) {
    mkdir(PLX_NODE_DIRECTORY, 0755);
    const int node = open(kServiceNode, O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (node < 0) throw std::runtime_error("cannot create the service node");
    close(node);
    serviceNode_ = kServiceNode;
  }
  serviceDevices_.push_back({deviceNumber, pciDeviceId, 0x1234, 0, nullptr});
}

void PlxDriver::setVersion(uint8_t major, uint8_t minor, uint8_t revision) {
  std::lock_guard lock(mutex_);
  version_ = uint32_t{major} << 16 | uint32_t{minor} << 8 | revision;
}

void PlxDriver::failCalls(bool fail) {
  std::lock_guard lock(mutex_);
  failCalls_ = fail;
}

std::optional<PlxDriver::ConfigWrite> PlxDriver::lastConfigWrite() const {
  std::lock_guard lock(mutex_);
  return lastConfigWrite_;
}

const PlxDriver::Found* PlxDriver::cardByDeviceNumber(uint16_t deviceNumber) const {
  for (const auto& found : cards_) {
    if (found.deviceNumber == deviceNumber) return &found;
  }
  return nullptr;
}

int PlxDriver::answer(const std::string& node, unsigned long request, void* raw) {
  std::unique_lock lock(mutex_);
  const bool cardNode = node.rfind(kCardNodePrefix, 0) == 0;
  if (failCalls_ || (!cardNode && node != kServiceNode)) return refuse();
  const uint16_t nodeNumber = cardNode ? static_cast<uint16_t>(std::stoul(node.substr(sizeof kCardNodePrefix - 1)))
                                       : 0;
  auto* record = static_cast<PlxRequest_t*>(raw);
  record->status = 0;
  switch (request - PLX_REQUEST(0)) {
    case PLX_REQUEST_VERSION_CHECK:
    case PLX_REQUEST_DRIVER_VERSION:
      record->value0 = version_;
      return 0;
    case PLX_REQUEST_FIND_DEVICE: {
      const auto& devices = cardNode ? cards_ : serviceDevices_;
      std::vector<const Found*> matching;
      for (const auto& found : devices) {
        if (matches(record->key, found.pciVendorId, found.pciDeviceId)) matching.push_back(&found);
      }
      const auto wanted = static_cast<int64_t>(record->value0);
      if (wanted < 0 || wanted >= static_cast<int64_t>(matching.size())) {
        record->status = kStatusNotFound;
        record->value0 = matching.size();
        return 0;
      }
      const Found& found = *matching[static_cast<size_t>(wanted)];
      record->key = PlxDeviceKey_t{};
      record->key.bus = static_cast<uint8_t>(found.deviceNumber + 1);
      record->key.vendorId = found.pciVendorId;
      record->key.deviceId = found.pciDeviceId;
      record->key.deviceNumber = found.deviceNumber;
      return 0;
    }
    case PLX_REQUEST_BAR_PROPERTIES: {
      const Found* card = cardNode ? cardByDeviceNumber(nodeNumber) : nullptr;
      PlxBarProperties_t properties{};
      if (card != nullptr && record->value0 == 0) {
        properties.physicalAddress = kBar0Physical + uint64_t{card->deviceNumber} * PXI94XX_BAR0_SIZE;
        properties.size = card->bar0Size;
      }
      std::memcpy(record->reply, &properties, sizeof properties);
      return 0;
    }
    case PLX_REQUEST_BAR_MAP_PREPARE:
      return 0;
    case PLX_REQUEST_CONFIG_READ: {
      record->value1 = 0xFFFFFFFF;
      for (const auto& found : cards_) {
        if (record->key.bus == found.deviceNumber + 1 && record->key.slot == 0 && record->value0 == 0) {
          record->value1 = uint32_t{found.pciDeviceId} << 16 | found.pciVendorId;
        }
      }
      return 0;
    }
    case PLX_REQUEST_CONFIG_WRITE:
      lastConfigWrite_ = ConfigWrite{record->key.bus, record->key.slot, record->key.function,
                                     static_cast<uint16_t>(record->value0), static_cast<uint32_t>(record->value1)};
      return 0;
    case PLX_REQUEST_COMMON_BUFFER: {
      const uint64_t words[3] = {0xDEAD, kCommonBufferPhysical, kCommonBufferSize};
      std::memcpy(record->reply, words, sizeof words);
      return 0;
    }
    case PLX_REQUEST_NOTIFICATION_REGISTER:
      record->value0 = nextHandle_++;
      return 0;
    case PLX_REQUEST_NOTIFICATION_CANCEL:
      return 0;
    case PLX_REQUEST_NOTIFICATION_WAIT: {
      const Found* card = cardNode ? cardByDeviceNumber(nodeNumber) : nullptr;
      if (card == nullptr) {
        record->status = kStatusNotFound;
        return 0;
      }
      Card94xx* waited = card->card;
      volatile uint32_t* interruptControl = card->interruptControl;
      const std::chrono::milliseconds timeout(record->value1);
      lock.unlock();  // the wait must not hold the driver
      const bool came = waited != nullptr ? waited->waitForInterrupt(timeout)
                                          : waitForClearedInterruptEnable(interruptControl, timeout);
      record->status = came ? 0 : kStatusTimeout;
      return 0;
    }
    default:
      return refuse();
  }
}

}  // namespace qor::emulator
