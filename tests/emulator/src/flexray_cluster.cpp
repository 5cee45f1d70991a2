#include "qor_emulator/flexray_cluster.hpp"

#include <chrono>
#include <stdexcept>

namespace qor::emulator {
namespace {

constexpr uint32_t kStartBits = 11 + 1;  // transmission and frame start sequences
constexpr uint32_t kEndBits = 2;         // frame end sequence
constexpr uint32_t kHeaderAndTrailerBytes = 5 + 3;
constexpr uint32_t kBitsPerByte = 10;  // byte start sequence and eight bits

uint64_t monotonicNs() {
  return static_cast<uint64_t>(
      std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
          .count());
}

}  // namespace

uint32_t flexRayFrameBits(size_t payloadBytes) {
  return kStartBits + (kHeaderAndTrailerBytes + static_cast<uint32_t>(payloadBytes)) * kBitsPerByte + kEndBits;
}

FlexRayCluster::FlexRayCluster() : startNs_(monotonicNs()) {}

void FlexRayCluster::attach(const Device& device, uint8_t interfaceNumber) {
  std::lock_guard lock(mutex_);
  nodes_.try_emplace(Node{&device, interfaceNumber});
}

void FlexRayCluster::listen(const Device& device, uint8_t interfaceNumber, Listener listener) {
  std::lock_guard lock(mutex_);
  const auto node = nodes_.find(Node{&device, interfaceNumber});
  if (node == nodes_.end()) throw std::invalid_argument("FlexRay node not attached to the cluster");
  node->second = std::move(listener);
}

uint64_t FlexRayCluster::transmit(const Device& device, uint8_t interfaceNumber, const FlexRayFrame& frame) {
  if (frame.payload.size() % 2 != 0 || frame.payload.size() > kFlexRayMaxPayloadBytes ||
      (frame.channels & kFlexRayChannelsAB) == 0 || (frame.channels & ~kFlexRayChannelsAB) != 0) {
    throw std::invalid_argument("no FlexRay frame");
  }
  std::lock_guard delivery(deliveryMutex_);
  std::vector<Listener> listeners;
  {
    std::lock_guard lock(mutex_);
    const Node sender{&device, interfaceNumber};
    if (!nodes_.contains(sender)) throw std::invalid_argument("FlexRay node not attached to the cluster");
    for (const auto& [node, listener] : nodes_) {
      if (node != sender && listener) listeners.push_back(listener);
    }
    ++transmitted_;
  }
  const uint64_t busTimeNs = now();
  for (const Listener& listener : listeners) listener(frame, busTimeNs);
  return busTimeNs;
}

uint64_t FlexRayCluster::now() const { return monotonicNs() - startNs_; }

uint64_t FlexRayCluster::transmitted() const {
  std::lock_guard lock(mutex_);
  return transmitted_;
}

}  // namespace qor::emulator
