#include "qor_emulator/card95xx_dma_firmware.hpp"

#include <cstring>

#include "qor_pcie_dma.h"

namespace qor::emulator {
namespace {

constexpr size_t kControlBytes = 6;

}  // namespace

Card95xxDmaFirmware::Card95xxDmaFirmware(Device& device) {
  device.onCommand(QOR_PCIE_DMA_COMMAND, [this](const ReceivedFrame& frame) { return answer(frame); });
}

std::vector<Bytes> Card95xxDmaFirmware::commandsFrom(size_t first) const {
  std::lock_guard lock(mutex_);
  if (first >= commands_.size()) return {};
  return {commands_.begin() + static_cast<std::ptrdiff_t>(first), commands_.end()};
}

size_t Card95xxDmaFirmware::commandCount() const {
  std::lock_guard lock(mutex_);
  return commands_.size();
}

void Card95xxDmaFirmware::fail(uint32_t selector, uint8_t subFunction, uint32_t code) {
  std::lock_guard lock(mutex_);
  if (code == 0) {
    failures_.erase({selector, subFunction});
  } else {
    failures_[{selector, subFunction}] = code;
  }
}

Reply Card95xxDmaFirmware::answer(const ReceivedFrame& frame) {
  const auto parameters = frame.parameters();
  std::lock_guard lock(mutex_);
  commands_.emplace_back(parameters.begin(), parameters.end());
  if (parameters.size() >= kControlBytes) {
    uint32_t selector = 0;
    std::memcpy(&selector, parameters.data(), sizeof selector);
    const auto failure = failures_.find({selector, parameters[4]});
    if (failure != failures_.end()) return Reply(frame.negativeAcknowledge(failure->second, "DMA command refused"));
  }
  return Reply(frame.response({}, kControlBytes));
}

}  // namespace qor::emulator
