#include "qor_emulator/lin_bus.hpp"

#include <chrono>
#include <stdexcept>

namespace qor::emulator {
namespace {

constexpr uint8_t kLastFrameId = 63;
constexpr uint32_t kBreakBits = 14;  // 13 dominant bits and the delimiter
constexpr uint32_t kByteBits = 10;   // start bit, eight data bits, stop bit

uint64_t monotonicNs() {
  return static_cast<uint64_t>(
      std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
          .count());
}

}  // namespace

LinBus::LinBus(uint32_t baudRate) : startNs_(monotonicNs()), bitNs_(1'000'000'000u / baudRate) {}

void LinBus::attach(const Device& device, uint8_t interfaceNumber) {
  std::lock_guard lock(mutex_);
  nodes_.try_emplace(Node{&device, interfaceNumber});
}

void LinBus::listen(const Device& device, uint8_t interfaceNumber, Listener listener) {
  std::lock_guard lock(mutex_);
  const auto node = nodes_.find(Node{&device, interfaceNumber});
  if (node == nodes_.end()) throw std::invalid_argument("LIN node not attached to the bus");
  node->second = std::move(listener);
}

LinTiming LinBus::transmit(const Device& device, uint8_t interfaceNumber, const LinFrame& frame) {
  if (frame.data.size() > kLinMaxDataBytes || frame.frameId > kLastFrameId) {
    throw std::invalid_argument("no LIN frame");
  }
  std::lock_guard delivery(deliveryMutex_);
  std::vector<Listener> listeners;
  {
    std::lock_guard lock(mutex_);
    const Node sender{&device, interfaceNumber};
    if (!nodes_.contains(sender)) throw std::invalid_argument("LIN node not attached to the bus");
    for (const auto& [node, listener] : nodes_) {
      if (node != sender && listener) listeners.push_back(listener);
    }
    ++transmitted_;
  }
  const LinTiming timing = timingOf(frame, now());
  for (const Listener& listener : listeners) listener(frame, timing);
  return timing;
}

LinTiming LinBus::timingOf(const LinFrame& frame, uint64_t startNs) const {
  LinTiming timing;
  timing.startNs = startNs;
  timing.breakNs = kBreakBits * bitNs_;
  timing.syncNs = kByteBits * bitNs_;
  timing.identifierNs = kByteBits * bitNs_;
  timing.byteNs = kByteBits * bitNs_;
  const uint32_t headerNs = timing.breakNs + timing.syncNs + timing.identifierNs;
  for (size_t byte = 0; byte <= frame.data.size(); ++byte) {
    timing.byteEndNs.push_back(headerNs + static_cast<uint32_t>(byte + 1) * timing.byteNs);
  }
  return timing;
}

uint64_t LinBus::now() const { return monotonicNs() - startNs_; }

uint64_t LinBus::transmitted() const {
  std::lock_guard lock(mutex_);
  return transmitted_;
}

}  // namespace qor::emulator
