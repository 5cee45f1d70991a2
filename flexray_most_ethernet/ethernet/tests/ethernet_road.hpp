// What the Ethernet road tests share: the library's codes, the fixture on the automotive Ethernet model (port_ on
// interface 1; interface 2 is a CAN one) and the one of two ports on an emulated link.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>

#include "qor_emulator/ethernet_link.hpp"
#include "qor_emulator/frame.hpp"
#include "qor_test/interface_fixture.hpp"
#include "road_basics.hpp"

namespace qor::test {

using emulator::Bytes;
using Record = emulator::RecordBytes;

inline constexpr uint32_t kWrongInterfaceType = 0x02130001, kUnknownFlag = 0x02130002, kBufferTooSmall = 0x02130003,
                          kInvalidParameter = 0x02130004, kUnknownMode = 0x02130005, kTxFifoError = 0x02130006,
                          kRxFifoError = 0x02130008, kNotInitialized = 0x02130009, kUnknownProtocol = 0x0213000A,
                          kInvalidPortHandle = 0x0200000A, kFirmwareBusy = 0x1F;

class EthernetRoad : public InterfaceFixture {
 protected:
  explicit EthernetRoad(EmulatedModel model = automotiveEthernetController()) : InterfaceFixture(std::move(model)) {}
  void SetUp() override {
    InterfaceFixture::SetUp();
    port_ = open(1);
  }

  uint32_t port_ = 0;
};

// Interfaces 1 and 2 of one Ethernet controller joined by an emulated link, the firmware under test serving both.
template <class Firmware>
class EthernetLinkRoad : public InterfaceFixture {
 protected:
  EthernetLinkRoad() : InterfaceFixture({kEthernetModel, {{kEthernetFirmwareCode, 1}, {kEthernetFirmwareCode, 2}}}) {}
  void SetUp() override {
    InterfaceFixture::SetUp();
    link_.attach(*device_, 1);
    link_.attach(*device_, 2);
    firmware_ = Firmware::attachTo(*device_, link_, {1, 2});
  }

  emulator::EthernetLink link_;
  std::shared_ptr<Firmware> firmware_;
};

}  // namespace qor::test
