// An emulated CCP ECU, as the firmware's CCP master (ccp_firmware.hpp) drives it: a CRO (8 bytes) goes in, its CRM
// comes out, or nothing while the ECU is silent: before CONNECT with its station address, after DISCONNECT, or while
// goSilent(true). It keeps 64 KiB of memory (address extension ignored), two transfer addresses, seed and key
// protection of calibration (0x01), DAQ (0x02) and programming (0x40) (key byte i = seed byte i XOR 0x5A for the four
// seed bytes), and DAQ lists whose ODTs it samples on its own clock, one cycle per millisecond times the list's
// prescaler.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <vector>

#include "qor_emulator/frame.hpp"

namespace qor::emulator {

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

}  // namespace qor::emulator
