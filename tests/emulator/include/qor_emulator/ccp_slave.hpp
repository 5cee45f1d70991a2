// An emulated CCP ECU and the firmware's CCP master that drives it behind command 0xC8 of an emulated device.
//
// CcpSlave: a CRO (8 bytes) goes in, its CRM comes out, or nothing while the ECU is silent: before CONNECT with its
// station address, after DISCONNECT, or while goSilent(true). It keeps 64 KiB of memory (address extension ignored),
// two transfer addresses, seed and key protection of calibration (0x01), DAQ (0x02) and programming (0x40)
// (key byte i = seed byte i XOR 0x5A for the four seed bytes), DAQ lists whose ODTs it samples on its own clock, one
// cycle per millisecond times the list's prescaler.
//
// CcpFirmware: every request and answer begins with {sub, channel, u16 0}.
//   sub 0 reset, 1 initialise (kept), 2 send CRO {u32 timeout, cro[8], u8 retries, u8 flags, u16 0}
//   sub 3 command state: u8 flags, 3 x 0, u8 state byte 1, u8 state byte 2, u8 error class, u8 0
//   sub 4 response: u8 flags, 3 x 0, crm[8], u8 value byte, u8 error class, u16 0
//   sub 7/8 DAQ / event messages: u8 flags (bit 0 lost, bit 1 more), 3 x 0, u32 n, n x {data[8], value byte, 3 x 0}
// Flags: bit 0 running, bit 1 valid CRM, bit 4 the CRM's counter is not the CRO's. Firmware error classes: 1 negative
// acknowledge (a CRM return code not 0), 4 no CRM within timeout x (retries + 1).
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "qor_emulator/device.hpp"

namespace qor::emulator {

inline constexpr uint8_t kCcpCommand = 0xC8;

using Cro = std::array<uint8_t, 8>;

struct CcpSlaveSettings {
  uint16_t stationAddress = 0x0039;
  bool motorola = false;            // byte order of addresses and sizes
  uint8_t protectedResources = 0x43;
  std::array<uint8_t, 4> seed{0x11, 0x22, 0x33, 0x44};
  std::vector<uint8_t> slaveId{'E', 'C', 'U', '1'};
};

class CcpSlave {
 public:
  explicit CcpSlave(CcpSlaveSettings settings = {});

  // The CRM of a CRO, or none.
  std::optional<Cro> command(const Cro& cro);
  // The DAQ DTOs {PID, 7 bytes} that the started lists sampled since the last call.
  std::vector<Cro> sampleDaq();

  void goSilent(bool silent);
  void write(uint32_t address, const std::vector<uint8_t>& bytes);
  std::vector<uint8_t> read(uint32_t address, size_t count) const;

 private:
  struct Element {
    uint8_t size = 0;
    uint32_t address = 0;
  };
  struct DaqList {
    std::vector<std::array<Element, 7>> odts;
    uint8_t firstPid = 0;
    uint8_t lastOdt = 0;
    uint16_t prescaler = 1;
    bool started = false;
    bool prepared = false;
    std::chrono::steady_clock::time_point nextCycle;
  };

  uint32_t valueAt(const Cro& cro, size_t offset, unsigned width) const;
  void putValue(Cro& crm, size_t offset, uint32_t value) const;
  std::optional<Cro> answer(const Cro& cro);
  bool inMemory(uint32_t address, size_t count) const;

  const CcpSlaveSettings settings_;
  mutable std::mutex mutex_;
  bool connected_ = false;
  bool silent_ = false;
  std::vector<uint8_t> memory_;
  std::array<uint32_t, 2> mta_{};
  uint32_t activePage_ = 0;
  uint8_t unlocked_ = 0;
  uint8_t seedRequested_ = 0;
  uint8_t sessionStatus_ = 0;
  std::map<uint8_t, DaqList> daqLists_;
  uint8_t daqPointerList_ = 0, daqPointerOdt_ = 0, daqPointerElement_ = 0;
};

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
