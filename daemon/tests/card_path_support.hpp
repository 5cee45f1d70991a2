// What the card path tests share: the cards a path lists, read back as the library reads the list, and port opens.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "access_path.hpp"
#include "card_device_table.hpp"
#include "qor_api.h"

namespace qor::daemon::test {

inline std::vector<CardDeviceRecord> listedCards(AccessPath& path, uint32_t hostType) {
  std::vector<uint8_t> out(CardDeviceTable::kHeaderSize + sizeof(CardDeviceRecord) * CardDeviceTable::kMaxRecords);
  uint32_t written = 0;
  EXPECT_TRUE(path.driverInfo(hostType, out, written, {}).ok());
  uint32_t count = 0;
  std::memcpy(&count, out.data() + 8, 4);
  EXPECT_LE(count, CardDeviceTable::kMaxRecords);
  if (count > CardDeviceTable::kMaxRecords) return {};
  EXPECT_EQ(written, CardDeviceTable::kHeaderSize + sizeof(CardDeviceRecord) * count);
  std::vector<CardDeviceRecord> records(count);
  if (count != 0) {
    std::memcpy(records.data(), out.data() + CardDeviceTable::kHeaderSize, sizeof(CardDeviceRecord) * count);
  }
  return records;
}

// Interface 1 of a card, as an application names it.
inline Qor_InterfaceInfo_t cardInterface(uint32_t hostType, uint32_t deviceNumber) {
  Qor_InterfaceInfo_t descriptor{};
  descriptor.hostInterfaceType = hostType;
  descriptor.controllerNumber = 1;
  descriptor.interfaceNumber = 1;
  descriptor.deviceNumber = deviceNumber;
  return descriptor;
}

inline PathStatus openCardPort(AccessPath& path, uint32_t hostType, uint32_t deviceNumber,
                               std::unique_ptr<Device>& device) {
  return path.open(cardInterface(hostType, deviceNumber), device);
}

// Interface 1 of the first card of this host type opened through the library, as an application opens it.
inline uint32_t openCardThroughLibrary(uint32_t hostType) {
  Qor_InterfaceInfo_t descriptor = cardInterface(hostType, 1);
  uint32_t port = QOR_NO_PORT;
  EXPECT_EQ(Qor_OpenInterface(&descriptor, &port), 0u) << Qor_GetLastErrorDescription();
  return port;
}

}  // namespace qor::daemon::test
