// What the card path tests share: the cards a path lists, read back as the library reads the list, and a port open.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "card_device_table.hpp"
#include "access_path.hpp"

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

inline PathStatus openCardPort(AccessPath& path, uint32_t hostType, uint32_t deviceNumber,
                               std::unique_ptr<Device>& device) {
  Qor_InterfaceInfo_t descriptor{};
  descriptor.hostInterfaceType = hostType;
  descriptor.controllerNumber = 1;
  descriptor.interfaceNumber = 1;
  descriptor.deviceNumber = deviceNumber;
  return path.open(descriptor, device);
}

}  // namespace qor::daemon::test
