#include "qor_emulator/most_ring.hpp"

#include <algorithm>
#include <chrono>
#include <stdexcept>
#include <utility>

namespace qor::emulator {
namespace {

constexpr size_t kMaximumDataBytes = 255;

uint64_t monotonicNs() {
  return static_cast<uint64_t>(
      std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
          .count());
}

}  // namespace

MostRing::MostRing() : startNs_(monotonicNs()) {}

std::vector<MostRing::Node>::iterator MostRing::find(const Device& device, uint8_t interfaceNumber) {
  return std::ranges::find_if(nodes_, [&](const Node& node) {
    return node.device == &device && node.interfaceNumber == interfaceNumber;
  });
}

void MostRing::attach(const Device& device, uint8_t interfaceNumber, uint16_t nodeAddress) {
  std::lock_guard lock(mutex_);
  if (find(device, interfaceNumber) != nodes_.end()) throw std::invalid_argument("MOST node attached twice");
  nodes_.push_back(Node{&device, interfaceNumber, nodeAddress, {}});
}

void MostRing::listen(const Device& device, uint8_t interfaceNumber, Listener listener, MostListenerRole role) {
  std::lock_guard lock(mutex_);
  const auto node = find(device, interfaceNumber);
  if (node == nodes_.end()) throw std::invalid_argument("MOST node not attached to the ring");
  node->listeners[static_cast<size_t>(role)] = std::move(listener);
}

uint16_t MostRing::addressOf(const Device& device, uint8_t interfaceNumber) {
  std::lock_guard lock(mutex_);
  const auto node = find(device, interfaceNumber);
  if (node == nodes_.end()) throw std::invalid_argument("MOST node not attached to the ring");
  return node->address;
}

uint64_t MostRing::transmit(const Device& device, uint8_t interfaceNumber, MostControlMessage message) {
  if (message.data.size() > kMaximumDataBytes) throw std::invalid_argument("MOST control message too long");
  std::lock_guard delivery(deliveryMutex_);
  std::vector<Listener> listeners;
  {
    std::lock_guard lock(mutex_);
    const auto sender = find(device, interfaceNumber);
    if (sender == nodes_.end()) throw std::invalid_argument("MOST node not attached to the ring");
    message.sourceAddress = sender->address;
    const size_t at = static_cast<size_t>(sender - nodes_.begin());
    for (size_t step = 1; step < nodes_.size(); ++step) {
      const Node& node = nodes_[(at + step) % nodes_.size()];
      for (const Listener& listener : node.listeners) {
        if (listener) listeners.push_back(listener);
      }
    }
    ++transmitted_;
  }
  const uint64_t ringTime = now();
  for (const Listener& listener : listeners) listener(message, ringTime);
  return ringTime;
}

uint64_t MostRing::now() const { return monotonicNs() - startNs_; }

uint64_t MostRing::transmitted() const {
  std::lock_guard lock(mutex_);
  return transmitted_;
}

}  // namespace qor::emulator
