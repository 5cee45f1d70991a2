// The bridge driver as libPxi94xx's requests reach it, without the driver: it answers the request records that the
// library would send by ioctl on a node under "/dev/plx/" (the library's request function is set to request()).
// Devices are found by the card driver (node "Pxi94xx-<n>", cards with their BAR0 node) or by the service driver
// (node "PlxSvc", devices without a mappable BAR). One driver at a time. The cards are Card94xx objects of this
// process, or cards another process plays behind their nodes (addCardNodes): then a notification wait sleeps on the
// card's interrupt enable word until the card clears it.
#pragma once

#include <chrono>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "qor_emulator/card94xx.hpp"

namespace qor::emulator {

class PlxDriver {
 public:
  PlxDriver();   // the one request() answers for
  ~PlxDriver();  // removes the service node
  PlxDriver(const PlxDriver&) = delete;
  PlxDriver& operator=(const PlxDriver&) = delete;

  // What request() answers for: the library's request function. -1 with ENOTTY for a node or request it does not
  // know, as ioctl would give.
  static int request(int descriptor, unsigned long request, void* record);

  // `card` must outlive the driver's use.
  void addCard(Card94xx& card);
  // Every card whose node and configuration file (Card94xx::configurationPath) lie under "/dev/plx/"; the number
  // added.
  size_t addCardNodes();
  // A device the service driver finds; creates the node "PlxSvc".
  void addServiceDevice(uint16_t deviceNumber, uint16_t pciDeviceId);
  // The version both version requests report.
  void setVersion(uint8_t major, uint8_t minor, uint8_t revision);
  // Every request fails at the call, as an ioctl that the node refuses.
  void failCalls(bool fail);

  // The last configuration write: bus, slot, function, offset, value.
  struct ConfigWrite {
    uint8_t bus, slot, function;
    uint16_t offset;
    uint32_t value;
  };
  std::optional<ConfigWrite> lastConfigWrite() const;

 private:
  struct Found {
    uint16_t deviceNumber;
    uint16_t pciDeviceId;
    uint16_t pciVendorId;
    uint64_t bar0Size;
    Card94xx* card;  // null for service devices and for cards of another process
    volatile uint32_t* interruptControl = nullptr;  // of a card of another process: the node's first page mapped
  };

  static bool waitForClearedInterruptEnable(volatile uint32_t* interruptControl, std::chrono::milliseconds timeout);

  int answer(const std::string& node, unsigned long request, void* record);
  const Found* cardByDeviceNumber(uint16_t deviceNumber) const;

  mutable std::mutex mutex_;
  std::vector<Found> cards_;
  std::vector<Found> serviceDevices_;
  uint32_t version_ = 7u << 16 | 24u << 8;
  bool failCalls_ = false;
  uint64_t nextHandle_ = 1;
  std::optional<ConfigWrite> lastConfigWrite_;
  std::string serviceNode_;
  std::vector<void*> nodeMappings_;
};

}  // namespace qor::emulator
