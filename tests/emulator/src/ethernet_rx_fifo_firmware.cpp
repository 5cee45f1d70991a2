#include "qor_emulator/ethernet_rx_fifo_firmware.hpp"

#include <algorithm>
#include <deque>

namespace qor::emulator {
namespace {

constexpr uint8_t kRxFifoCommand = 0x27;
constexpr size_t kConfigureBytes = 24;
constexpr size_t kDeleteBytes = 12;
constexpr size_t kReadBytes = 12;
constexpr uint32_t kDeleteAll = 0x01;
constexpr uint8_t kContinues = 0x01;
constexpr size_t kWaitingLimit = 100000;  // fragments per FIFO

enum SubFunction : uint32_t { kConfigure = 0, kDelete = 1, kRead = 2 };

}  // namespace

struct EthernetRxFifoFirmware::Fifo {
  size_t fragmentBytes = 0;  // 0: whole frames
  std::deque<Bytes> waiting;
};

struct EthernetRxFifoFirmware::Node {
  std::map<uint32_t, Fifo> fifos;
  uint32_t nextId = 1;
};

std::shared_ptr<EthernetRxFifoFirmware> EthernetRxFifoFirmware::attachTo(Device& device, EthernetLink& link,
                                                                         std::vector<uint8_t> interfaces) {
  std::shared_ptr<EthernetRxFifoFirmware> firmware(new EthernetRxFifoFirmware());
  for (uint8_t number : interfaces) {
    firmware->nodes_[number] = std::make_unique<Node>();
    link.addListener(device, number,
                     [firmware, number](std::span<const uint8_t> frame, uint64_t) { firmware->heard(number, frame); });
  }
  device.onCommand(kRxFifoCommand, [firmware](const ReceivedFrame& frame) { return firmware->answer(frame); });
  return firmware;
}

void EthernetRxFifoFirmware::setAnswerRoom(size_t bytes) {
  std::lock_guard lock(mutex_);
  answerRoom_ = bytes;
}

size_t EthernetRxFifoFirmware::waitingFragments(uint8_t interfaceNumber, uint32_t fifoId) const {
  std::lock_guard lock(mutex_);
  const auto node = nodes_.find(interfaceNumber);
  if (node == nodes_.end()) return 0;
  const auto fifo = node->second->fifos.find(fifoId);
  return fifo == node->second->fifos.end() ? 0 : fifo->second.waiting.size();
}

Reply EthernetRxFifoFirmware::answer(const ReceivedFrame& frame) {
  const auto parameters = frame.parameters();
  const auto refuse = [&] {
    return Reply(frame.negativeAcknowledge(kEthernetRxFifoRefusal, "Ethernet RX FIFO request refused"));
  };
  std::lock_guard lock(mutex_);
  const auto node = nodes_.find(frame.header().TPort);
  if (node == nodes_.end() || parameters.size() < 4) return refuse();
  std::map<uint32_t, Fifo>& fifos = node->second->fifos;
  Bytes data;
  const uint32_t subFunction = frame.parameterWord(0);
  appendLittleEndian(data, subFunction, 4);
  switch (subFunction) {
    case kConfigure: {
      if (parameters.size() < kConfigureBytes) return refuse();
      const uint32_t id = node->second->nextId++;
      fifos[id].fragmentBytes = parameters[20] | size_t{parameters[21]} << 8;
      appendLittleEndian(data, id, 4);
      break;
    }
    case kDelete:
      if (parameters.size() < kDeleteBytes) return refuse();
      if (frame.parameterWord(4) & kDeleteAll) {
        fifos.clear();
      } else if (fifos.erase(frame.parameterWord(8)) == 0) {
        return refuse();
      }
      break;
    case kRead: {
      const auto fifo = fifos.find(frame.parameterWord(4));
      if (parameters.size() < kReadBytes || fifo == fifos.end()) return refuse();
      std::deque<Bytes>& waiting = fifo->second.waiting;
      Bytes fragments;
      uint32_t count = 0;
      while (!waiting.empty() && (count == 0 || fragments.size() + waiting.front().size() <= answerRoom_)) {
        fragments.insert(fragments.end(), waiting.front().begin(), waiting.front().end());
        waiting.pop_front();
        ++count;
      }
      appendLittleEndian(data, count, 4);
      appendLittleEndian(data, waiting.size(), 4);
      data.insert(data.end(), fragments.begin(), fragments.end());
      break;
    }
    default:
      return refuse();
  }
  return Reply(frame.response(data));
}

void EthernetRxFifoFirmware::heard(uint8_t interfaceNumber, std::span<const uint8_t> frame) {
  std::lock_guard lock(mutex_);
  for (auto& [id, fifo] : nodes_.at(interfaceNumber)->fifos) {
    const size_t piece = fifo.fragmentBytes == 0 ? frame.size() : fifo.fragmentBytes;
    // A full FIFO drops a frame whole.
    if (fifo.waiting.size() + (frame.size() + piece - 1) / piece > kWaitingLimit) continue;
    for (size_t offset = 0; offset < frame.size(); offset += piece) {
      const size_t length = std::min(piece, frame.size() - offset);
      Bytes& fragment = fifo.waiting.emplace_back();
      appendLittleEndian(fragment, length, 2);
      fragment.push_back(0);
      fragment.push_back(offset + length < frame.size() ? kContinues : 0);
      fragment.insert(fragment.end(), frame.begin() + static_cast<std::ptrdiff_t>(offset),
                      frame.begin() + static_cast<std::ptrdiff_t>(offset + length));
    }
  }
}

}  // namespace qor::emulator
