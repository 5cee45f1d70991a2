// The CCP master on the whole road: the library, the daemon and an emulated CAN controller whose firmware drives an
// emulated ECU on channel 0; the records of the tests and the session fixture they share.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <memory>
#include <string>

#include "can_command_road.hpp"
#include "qor_can_ccp.h"
#include "qor_emulator/ccp_firmware.hpp"
#include "qor_emulator/ccp_slave.hpp"

namespace qor::test {


using emulator::Bytes;
using emulator::CcpFirmware;
using emulator::CcpSlave;
using emulator::Cro;

inline constexpr uint8_t kCcp = 0xC8;
inline constexpr uint8_t kChannel = 0;
inline constexpr uint16_t kStation = 0x0039;
inline constexpr uint32_t kGeneralTimeout = 0x02020500, kCcpError = 0x02020501, kResponseBufferUndersized = 0x02020006;

inline std::string lastError() { return Qor_GetLastErrorDescription(); }

inline Qor_Can_Ccp_Config_t config(uint32_t flags, uint16_t maxDaq = 0, uint16_t maxEvents = 0) {
  return Qor_Can_Ccp_Config_t{flags, 0x11111111, 0x22222222, 0x33333333, 0x4444, maxDaq, maxEvents, 0x5555};
}

inline Qor_Can_Ccp_Command_t cro(std::array<uint8_t, 8> bytes, uint32_t timeout = 20, uint8_t retries = 1) {
  Qor_Can_Ccp_Command_t command{};
  command.flags = 1;
  command.timeout = timeout;
  command.retries = retries;
  std::memcpy(command.cro, bytes.data(), bytes.size());
  return command;
}

// The firmware's records, answered from the request table.
using CcpRecords = CanCommandRoad;

class CcpSession : public CanCommandRoad {
 protected:
  void SetUp() override {
    CanCommandRoad::SetUp();
    startEcu({});
  }

  void startEcu(emulator::CcpSlaveSettings settings) {
    firmware_ = CcpFirmware::attachTo(*device_);
    slave_ = std::make_shared<CcpSlave>(settings);
    firmware_->plugSlave(kChannel, slave_);
    const Qor_Can_Ccp_Config_t intelOrMotorola = config(settings.motorola ? 1 : 0);
    ASSERT_EQ(Qor_Can_Ccp_Init(port_, kChannel, &intelOrMotorola), 0u) << lastError();
  }

  void connectAndUnlock(uint8_t resource = 0x01) {
    ASSERT_EQ(Qor_Can_Ccp_Command_Connect(port_, kChannel, kStation), 0u) << lastError();
    uint8_t seed[5];
    ASSERT_EQ(Qor_Can_Ccp_Command_GetSeed(port_, kChannel, resource, seed), 0u) << lastError();
    const uint8_t key[6] = {static_cast<uint8_t>(seed[1] ^ 0x5A), static_cast<uint8_t>(seed[2] ^ 0x5A),
                            static_cast<uint8_t>(seed[3] ^ 0x5A), static_cast<uint8_t>(seed[4] ^ 0x5A), 0, 0};
    uint8_t privileges = 0;
    ASSERT_EQ(Qor_Can_Ccp_Command_Unlock(port_, kChannel, key, &privileges), 0u) << lastError();
    EXPECT_EQ(privileges & resource, resource);
  }

  Cro lastCro() const { return firmware_->sentCros(kChannel).back(); }
  Bytes croParameters() const {
    const Cro last = lastCro();
    return Bytes(last.begin() + 2, last.end());
  }

  std::shared_ptr<CcpFirmware> firmware_;
  std::shared_ptr<CcpSlave> slave_;
};

}  // namespace qor::test
