// A 95xx card as libQorPxi95xx_API reaches it through the Vortaq driver, without the card or the driver: the card's
// /proc directory "<root>Pxi95xx<n>/" holds the device file "vortaq" (the register windows of DMA channels 0-3,
// which the library maps as it would map the driver's file) and the channel files "DMA0" and "DMA1", links to one
// card memory file whose file position is the card address, as the driver's addressed mode has it. What the driver
// keeps of a card (configuration space, channel count, message interrupt, pinned buffers, failures a test set) is the
// file "driver" beside them. request() answers the driver's control requests for the card whose file a descriptor
// is, in the card's process or in another one that reaches the card's directory (a library loaded by name in a
// daemon): all of it is in shared files, and a page-aligned buffer pinned for device-to-host DMA becomes the pages of
// the file "dma<channel>" until it is released. A thread plays the firmware: it takes the frames of the command ring
// to the device core (device.hpp), writes the answers into the response ring and raises the message interrupt that
// the message-answer wait reports.
#pragma once

#include <array>
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

struct Card95xxDriverState;

struct Card95xxConfig {
  uint16_t pciVendorId = 0x1234;
  uint16_t pciDeviceId = 0x9512;
  uint32_t serialNumber = 0x95000001;  // lower half of the PCIe device serial number; 0: the card has none
  uint32_t dmaChannels = 4;
  uint32_t firstRingIndex = 0;  // where both rings start, to test wrap-around
  std::chrono::microseconds commandPoll{1000};  // how often the firmware looks at its doorbell and command ring
};

class Card95xx {
 public:
  static constexpr uint32_t kCommandRingBase = 0;
  static constexpr uint32_t kResponseRingBase = 0x100000;
  static constexpr uint32_t kCardMemorySize = 0x200000;
  static constexpr uint32_t kChannels = 4;
  // The /proc root of a library over the emulated driver (QorPxi95xx_API_over_emulated_driver), which a process
  // makes inside its sandbox to play cards for the library's copy in another process or in its own.
  static constexpr char kSandboxProcRoot[] = "/tmp/qor_emulated_proc/";

  // Makes the card's directory below root (which ends in '/') and starts the card; `device` must outlive it.
  // Throws std::system_error when the files cannot be made.
  Card95xx(Device& device, std::string root, uint32_t number, Card95xxConfig config = {});
  ~Card95xx();  // stops the card and removes its directory
  Card95xx(const Card95xx&) = delete;
  Card95xx& operator=(const Card95xx&) = delete;

  // The library's request function: the control requests of the driver for the card behind the descriptor; -1
  // with ENOTTY for a file of no card or a request the driver does not know, as ioctl would give.
  static int request(int descriptor, unsigned long request, void* record);

  const std::string& directory() const { return directory_; }
  uint32_t registerAt(uint32_t channel, uint32_t offset) const;
  void setRegister(uint32_t channel, uint32_t offset, uint32_t value);
  uint8_t* cardMemory() const { return memory_; }

  // One frame into the response ring, as the firmware answers, then the message interrupt; false without room.
  bool writeResponse(std::span<const uint8_t> frame);
  // Doorbells the card has seen.
  uint32_t doorbells() const { return doorbells_; }

  // Device-to-host DMA on a channel whose buffer the driver pinned: the card writes at the byte position in its
  // SCRATCH0, wrapping at the buffer's end, up to the write limit in SCRATCH1 (the first byte it must not write),
  // and moves SCRATCH0 on. Gives the bytes written.
  size_t writeDma(uint32_t channel, std::span<const uint8_t> data);
  bool pinned(uint32_t channel) const;

  // A dword of the configuration space, which the configuration read request gives; set before the card is used.
  void setConfigDword(uint32_t offset, uint32_t value);
  // The next control request with this number fails with the errno given (0: a failure that leaves errno at 0).
  void failNextRequest(unsigned long request, int error);

 private:
  void run();
  void takeCommands();

  Device& device_;
  const Card95xxConfig config_;
  const std::string directory_;
  volatile uint8_t* windows_ = nullptr;
  uint8_t* memory_ = nullptr;
  Card95xxDriverState* driver_ = nullptr;
  std::shared_ptr<FrameSink> sink_;

  struct DmaMapping {
    uint8_t* address = nullptr;
    size_t bytes = 0;
    uint64_t pinning = 0;  // of the buffer it maps
  };
  std::mutex dmaMutex_;  // one DMA writer at a time; guards dmaMappings_
  std::array<DmaMapping, kChannels> dmaMappings_{};
  std::mutex ringMutex_;
  std::atomic<uint32_t> doorbells_{0};

  std::mutex stopMutex_;
  std::condition_variable stopRequested_;
  bool stopping_ = false;
  std::thread thread_;
};

}  // namespace qor::emulator
