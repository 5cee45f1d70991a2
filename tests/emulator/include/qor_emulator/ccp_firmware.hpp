// The firmware's CCP master behind command 0xC8 of an emulated device, driving an emulated ECU (ccp_slave.hpp) per
// channel. Every request and answer begins with {sub, channel, u16 0}.
//   sub 0 reset, 1 initialise (kept), 2 send CRO {u32 timeout, cro[8], u8 retries, u8 flags, u16 0}
//   sub 3 command state: u8 flags, 3 x 0, u8 state byte 1, u8 state byte 2, u8 error class, u8 0
//   sub 4 response: u8 flags, 3 x 0, crm[8], u8 value byte, u8 error class, u16 0
//   sub 7/8 DAQ / event messages: u8 flags (bit 0 lost, bit 1 more), 3 x 0, u32 n, n x {data[8], value byte, 3 x 0}
// Flags: bit 0 running, bit 1 valid CRM, bit 4 the CRM's counter is not the CRO's. Firmware error classes: 1 negative
// acknowledge (a CRM return code not 0), 4 no CRM within timeout x (retries + 1).
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "qor_emulator/ccp_slave.hpp"
#include "qor_emulator/device.hpp"

namespace qor::emulator {

inline constexpr uint8_t kCcpCommand = 0xC8;

class CcpFirmware : public std::enable_shared_from_this<CcpFirmware> {
 public:
  static std::shared_ptr<CcpFirmware> attachTo(Device& device);

  void plugSlave(uint8_t channel, std::shared_ptr<CcpSlave> slave);
  // Response reads that report "running" after each CRO before the outcome.
  void setRunningReads(uint8_t channel, unsigned reads);
  // Response reads after each CRO that still report the previous CRO's outcome, as a firmware that takes the CRO
  // late.
  void setStaleReads(uint8_t channel, unsigned reads);
  // A firmware that never finishes a CRO.
  void keepRunning(uint8_t channel, bool forever);
  // Messages per answer of subs 7 and 8 (at least 1).
  void setMessagesPerAnswer(uint8_t channel, size_t messages);
  void raiseEvent(uint8_t channel, const Cro& message);
  // The next message answer reports lost data.
  void loseMessages(uint8_t channel);

  std::vector<Cro> sentCros(uint8_t channel) const;
  std::optional<Bytes> initialisation(uint8_t channel) const;

 private:
  struct Channel;
  CcpFirmware() = default;
  Reply answer(const ReceivedFrame& frame);
  Channel& channel(uint8_t number);

  mutable std::mutex mutex_;
  std::map<uint8_t, std::unique_ptr<Channel>> channels_;
};

}  // namespace qor::emulator
