// The bridge driver as libPxi94xx's requests reach it, without the driver: it answers the request records that the
// library would send by ioctl on a node under "/dev/plx/" (the library's request function is set to request()).
// Devices are found by the card driver (node "Pxi94xx-<n>", cards with their BAR0 node) or by the service driver
// (node "PlxSvc", devices without a mappable BAR). One driver at a time.
#pragma once

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
    Card94xx* card;  // null for service devices
  };

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
};

}  // namespace qor::emulator
