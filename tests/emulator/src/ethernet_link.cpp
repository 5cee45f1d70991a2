#include "qor_emulator/ethernet_link.hpp"

#include <chrono>
#include <stdexcept>

namespace qor::emulator {
namespace {

constexpr size_t kTypeOffset = 12;
constexpr uint16_t kFirstEtherType = 0x0600;  // below: an 802.3 length

uint64_t monotonicNs() {
  return static_cast<uint64_t>(
      std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
          .count());
}

uint16_t bigEndianAt(std::span<const uint8_t> bytes, size_t offset) {
  return static_cast<uint16_t>(bytes[offset] << 8 | bytes[offset + 1]);
}

}  // namespace

bool wellFormedEthernetFrame(std::span<const uint8_t> frame) {
  if (frame.size() < kEthernetMinFrameBytes) return false;
  size_t typeOffset = kTypeOffset;
  size_t largest = kEthernetMaxFrameBytes;
  if (bigEndianAt(frame, typeOffset) == kVlanEtherType) {
    typeOffset += kVlanTagBytes;
    largest += kVlanTagBytes;
  }
  if (frame.size() > largest) return false;
  const uint16_t type = bigEndianAt(frame, typeOffset);
  return type >= kFirstEtherType || type <= frame.size() - typeOffset - 2;
}

EthernetFrame EthernetFrame::make(const MacAddress& destination, const MacAddress& source, uint16_t etherType,
                                  std::span<const uint8_t> payload) {
  if (kEthernetHeaderBytes + payload.size() > kEthernetMaxFrameBytes) {
    throw std::invalid_argument("Ethernet payload beyond the largest frame");
  }
  EthernetFrame frame;
  frame.bytes.assign(destination.begin(), destination.end());
  frame.bytes.insert(frame.bytes.end(), source.begin(), source.end());
  frame.bytes.push_back(static_cast<uint8_t>(etherType >> 8));
  frame.bytes.push_back(static_cast<uint8_t>(etherType));
  frame.bytes.insert(frame.bytes.end(), payload.begin(), payload.end());
  if (frame.bytes.size() < kEthernetMinFrameBytes) frame.bytes.resize(kEthernetMinFrameBytes, 0);
  return frame;
}

EthernetLink::EthernetLink() : startNs_(monotonicNs()) {}

void EthernetLink::attach(const Device& device, uint8_t interfaceNumber) {
  std::lock_guard lock(mutex_);
  nodes_.try_emplace(Node{&device, interfaceNumber});
}

void EthernetLink::addListener(const Device& device, uint8_t interfaceNumber, Listener listener) {
  std::lock_guard lock(mutex_);
  const auto node = nodes_.find(Node{&device, interfaceNumber});
  if (node == nodes_.end()) throw std::invalid_argument("Ethernet node not attached to the link");
  node->second.push_back(std::move(listener));
}

uint64_t EthernetLink::transmit(const Device& device, uint8_t interfaceNumber, const EthernetFrame& frame) {
  if (!wellFormedEthernetFrame(frame.bytes)) throw std::invalid_argument("not a well-formed Ethernet frame");
  std::lock_guard delivery(deliveryMutex_);
  std::vector<Listener> listeners;
  {
    std::lock_guard lock(mutex_);
    const Node sender{&device, interfaceNumber};
    if (!nodes_.contains(sender)) throw std::invalid_argument("Ethernet node not attached to the link");
    for (const auto& [node, nodeListeners] : nodes_) {
      if (node != sender) listeners.insert(listeners.end(), nodeListeners.begin(), nodeListeners.end());
    }
    ++transmitted_;
  }
  const uint64_t linkTime = now();
  for (const Listener& listener : listeners) listener(frame.bytes, linkTime);
  return linkTime;
}

uint64_t EthernetLink::now() const { return monotonicNs() - startNs_; }

uint64_t EthernetLink::transmitted() const {
  std::lock_guard lock(mutex_);
  return transmitted_;
}

}  // namespace qor::emulator
