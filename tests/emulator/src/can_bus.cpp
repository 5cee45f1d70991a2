#include "qor_emulator/can_bus.hpp"

#include <chrono>
#include <stdexcept>

namespace qor::emulator {
namespace {

uint64_t monotonicNs() {
  return static_cast<uint64_t>(
      std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
          .count());
}

}  // namespace

CanBus::CanBus() : startNs_(monotonicNs()) {}

void CanBus::attach(const Device& device, uint8_t interfaceNumber) {
  std::lock_guard lock(mutex_);
  nodes_.try_emplace(Node{&device, interfaceNumber});
}

void CanBus::listen(const Device& device, uint8_t interfaceNumber, Listener listener) {
  std::lock_guard lock(mutex_);
  const auto node = nodes_.find(Node{&device, interfaceNumber});
  if (node == nodes_.end()) throw std::invalid_argument("CAN node not attached to the bus");
  node->second = std::move(listener);
}

uint64_t CanBus::transmit(const Device& device, uint8_t interfaceNumber, const CanFrame& frame) {
  std::lock_guard delivery(deliveryMutex_);
  std::vector<Listener> listeners;
  {
    std::lock_guard lock(mutex_);
    const Node sender{&device, interfaceNumber};
    if (!nodes_.contains(sender)) throw std::invalid_argument("CAN node not attached to the bus");
    for (const auto& [node, listener] : nodes_) {
      if (node != sender && listener) listeners.push_back(listener);
    }
    ++transmitted_;
  }
  const uint64_t busTime = now();
  for (const Listener& listener : listeners) listener(frame, busTime);
  return busTime;
}

uint64_t CanBus::now() const { return monotonicNs() - startNs_; }

uint64_t CanBus::transmitted() const {
  std::lock_guard lock(mutex_);
  return transmitted_;
}

}  // namespace qor::emulator
