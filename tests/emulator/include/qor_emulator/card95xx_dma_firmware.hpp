// The firmware of a 95xx card's DMA channels, command 0x0E {u32 selector, u8 sub-function, u8 channel, u16 0, data}:
// it keeps the parameters of every command it received and answers by repeating the six control bytes, or with a
// negative acknowledge carrying the code a test set for the command's selector and sub-function.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <utility>
#include <vector>

#include "qor_emulator/device.hpp"

namespace qor::emulator {

class Card95xxDmaFirmware {
 public:
  // Answers the device's command 0x0E from now on; `device` must outlive the firmware's use.
  explicit Card95xxDmaFirmware(Device& device);
  Card95xxDmaFirmware(const Card95xxDmaFirmware&) = delete;
  Card95xxDmaFirmware& operator=(const Card95xxDmaFirmware&) = delete;

  // The parameters of the commands received from the first-th on, in order.
  std::vector<Bytes> commandsFrom(size_t first) const;
  size_t commandCount() const;
  // Every later command with this selector and sub-function is refused with code, until code 0 is given for it.
  void fail(uint32_t selector, uint8_t subFunction, uint32_t code);

 private:
  Reply answer(const ReceivedFrame& frame);

  mutable std::mutex mutex_;  // what follows
  std::vector<Bytes> commands_;
  std::map<std::pair<uint32_t, uint8_t>, uint32_t> failures_;
};

}  // namespace qor::emulator
