// A 94xx card as libPxi94xx reaches it, without the card: BAR0 is a file at the card's node path
// ("/dev/plx/Pxi94xx-<device number>", so only inside a sandbox), which the library maps as it would map the node.
// A thread plays the card's firmware side: it takes the frames of the command ring to the device core (device.hpp)
// and writes the core's answers into the response ring; the test writes monitor data with writeMonitor. After each
// answer, a card whose response interrupt is enabled raises its interrupt once and clears the enable bit; waiters
// in other processes see the bit cleared and are woken (a futex on the word), so another process that maps the node
// can stand in for the driver (PlxDriver::addCardNode). Beside the node, "<node>.config" holds the card's PCI
// vendor and device identifiers (u16 each, the head of its configuration space).
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <thread>

#include "qor_emulator/device.hpp"

namespace qor::emulator {

struct Card94xxConfig {
  uint16_t deviceNumber = 0;  // the node's suffix and the card's slot
  uint16_t pciDeviceId = 0x9440;
  uint16_t pciVendorId = 0x1234;
  uint64_t bar0Size = 0x800000;  // as the driver reports it and the node file is long
  uint32_t firstRingIndex = 0;   // where all three rings start (modulo each ring's dwords), to test wrap-around
  std::chrono::microseconds commandPoll{1000};  // how often the firmware looks at its doorbell and command ring
};

// What a card's firmware tells the built-in instructions that identify it.
struct Card94xxIdentification {
  uint32_t identifier = 0;    // EEPROM word 10
  bool reportsPosition = true;  // EEPROM word 0x12 is 1
  uint8_t position = 0;       // FPGA register 0x2000, bits 24 to 28
  uint16_t fpgaValue = 0;     // FPGA register 0x2000, low 16 bits as the register holds them
};

// Makes `device` answer the identification: the EEPROM reads 0x0C {u32 10, u32 address} and the FPGA read 0x0B with
// {u32 area, u32 length, u32 register}, each answer carrying the value at data offset 8. The serial-number query
// 0x0C {u32 5} keeps its answer; other reads get the built-in default.
void answerIdentification(Device& device, const Card94xxIdentification& identification);

class Card94xx {
 public:
  // Creates the node file and starts the card; `device` must outlive the card. Throws std::system_error when the
  // node cannot be made.
  Card94xx(Device& device, Card94xxConfig config);
  ~Card94xx();  // stops the card and removes its node
  Card94xx(const Card94xx&) = delete;
  Card94xx& operator=(const Card94xx&) = delete;

  const Card94xxConfig& config() const { return config_; }
  const std::string& nodePath() const { return nodePath_; }
  static std::string configurationPath(const std::string& nodePath) { return nodePath + ".config"; }
  // BAR0 as the card sees it, for tests that write card memory themselves.
  volatile uint8_t* bar0() const { return bar0_; }
  uint32_t registerAt(uint32_t offset) const;
  void setRegister(uint32_t offset, uint32_t value);

  // One frame (padded to whole dwords) into the monitor ring; false when the ring has no room.
  bool writeMonitor(std::span<const uint8_t> frame);
  // One frame into the response ring, as the firmware would answer; false when the ring has no room.
  bool writeResponse(std::span<const uint8_t> frame);
  // True when the interrupt came (or was pending) within the time-out; it is consumed.
  bool waitForInterrupt(std::chrono::milliseconds timeout);
  // Doorbells the card has seen.
  uint32_t doorbells() const { return doorbells_; }

 private:
  void run();
  void takeCommands();
  bool writeRing(uint32_t data, uint32_t size, uint32_t readIndex, uint32_t writeIndex,
                 std::span<const uint8_t> frame);

  Device& device_;
  const Card94xxConfig config_;
  const std::string nodePath_;
  volatile uint8_t* bar0_ = nullptr;
  std::shared_ptr<FrameSink> sink_;

  std::mutex ringMutex_;  // one writer per ring at a time
  std::mutex interruptMutex_;
  std::condition_variable interruptRaised_;
  bool interruptPending_ = false;
  std::atomic<uint32_t> doorbells_{0};

  std::mutex stopMutex_;
  std::condition_variable stopRequested_;
  bool stopping_ = false;
  std::thread thread_;
};

}  // namespace qor::emulator
