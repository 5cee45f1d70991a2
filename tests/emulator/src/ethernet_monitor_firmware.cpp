#include "qor_emulator/ethernet_monitor_firmware.hpp"

#include <algorithm>
#include <deque>
#include <utility>

namespace qor::emulator {
namespace {

constexpr uint8_t kMonitorCommand = 0x50;
constexpr size_t kConfigureBytes = 8;
constexpr size_t kPropertyGetBytes = 8;
constexpr size_t kPropertySetBytes = 12;
constexpr size_t kUserEventHeadBytes = 8;
constexpr uint32_t kToHost = 0x08;
constexpr uint16_t kProperties = 3;
constexpr size_t kItemHeadBytes = 12;
constexpr size_t kItemRoom = 4000;
constexpr size_t kStoredItemsLimit = 100000;

enum SubFunction : uint32_t {
  kConfigure = 0,
  kStart = 1,
  kStop = 2,
  kRead = 3,
  kTime = 4,
  kUserEvent = 5,
  kPropertySet = 6,
  kPropertyGet = 7,
  kHostStop = 8,
};

Bytes itemOf(std::span<const uint8_t> frame, uint64_t linkTimeNs) {
  Bytes item;
  appendLittleEndian(item, kItemHeadBytes + frame.size(), 2);
  appendLittleEndian(item, 0, 2);
  appendLittleEndian(item, linkTimeNs, 8);
  item.insert(item.end(), frame.begin(), frame.end());
  return item;
}

// {u32 3, u16 count, u16 0, items}: the oldest items that fit, at least one.
Bytes itemBlock(std::deque<Bytes>& items) {
  Bytes block;
  appendLittleEndian(block, kRead, 4);
  appendLittleEndian(block, 0, 4);
  uint16_t count = 0;
  while (!items.empty() && (count == 0 || block.size() + items.front().size() <= kItemRoom)) {
    block.insert(block.end(), items.front().begin(), items.front().end());
    items.pop_front();
    ++count;
  }
  block[4] = static_cast<uint8_t>(count);
  block[5] = static_cast<uint8_t>(count >> 8);
  return block;
}

}  // namespace

struct EthernetMonitorFirmware::Node {
  uint32_t flags = 0;
  bool started = false;
  FirmwareMessageHeader header{};  // of the start: where items for the host go
  uint64_t startNs = 0;
  std::array<uint32_t, kProperties> properties{};
  std::deque<Bytes> stored;   // items for reads
  std::deque<Bytes> pending;  // items for the host not sent yet

  bool toHost() const { return (flags & kToHost) != 0; }
};

EthernetMonitorFirmware::EthernetMonitorFirmware(Device& device, EthernetLink& link) : device_(device), link_(link) {}

std::shared_ptr<EthernetMonitorFirmware> EthernetMonitorFirmware::attachTo(Device& device, EthernetLink& link,
                                                                           std::vector<uint8_t> interfaces) {
  std::shared_ptr<EthernetMonitorFirmware> firmware(new EthernetMonitorFirmware(device, link));
  for (uint8_t number : interfaces) {
    firmware->nodes_[number] = std::make_unique<Node>();
    link.addListener(device, number, [firmware, number](std::span<const uint8_t> frame, uint64_t linkTimeNs) {
      firmware->heard(number, frame, linkTimeNs);
    });
  }
  device.onCommand(kMonitorCommand, [firmware](const ReceivedFrame& frame) { return firmware->answer(frame); });
  return firmware;
}

void EthernetMonitorFirmware::setItemsPerFrame(size_t items) {
  std::lock_guard lock(mutex_);
  itemsPerFrame_ = std::max<size_t>(1, items);
}

size_t EthernetMonitorFirmware::storedItems(uint8_t interfaceNumber) const {
  std::lock_guard lock(mutex_);
  const auto node = nodes_.find(interfaceNumber);
  return node == nodes_.end() ? 0 : node->second->stored.size();
}

Reply EthernetMonitorFirmware::answer(const ReceivedFrame& frame) {
  const auto parameters = frame.parameters();
  const auto refuse = [&] {
    return Reply(frame.negativeAcknowledge(kEthernetMonitorRefusal, "Ethernet monitor request refused"));
  };
  std::lock_guard lock(mutex_);
  const auto found = nodes_.find(frame.header().TPort);
  if (found == nodes_.end() || parameters.size() < 4) return refuse();
  Node& node = *found->second;
  // The host's stop has two control bytes: its sub-function is the first byte alone.
  const uint32_t subFunction = parameters[0] == kHostStop ? kHostStop : frame.parameterWord(0);
  Bytes data(parameters.begin(), parameters.begin() + 4);
  switch (subFunction) {
    case kConfigure:
      if (parameters.size() < kConfigureBytes) return refuse();
      node.flags = frame.parameterWord(4);
      break;
    case kStart:
      node.started = true;
      node.header = frame.header();
      node.startNs = link_.now();
      break;
    case kStop:
    case kHostStop:
      node.started = false;
      break;
    case kRead: {
      const Bytes block = itemBlock(node.stored);
      data.assign(block.begin(), block.end());
      break;
    }
    case kTime:
      appendLittleEndian(data, node.started ? 1 : 0, 4);
      appendLittleEndian(data, node.startNs, 8);
      appendLittleEndian(data, link_.now(), 8);
      break;
    case kUserEvent:
      if (parameters.size() < kUserEventHeadBytes || parameters.size() < kUserEventHeadBytes + parameters[6]) {
        return refuse();
      }
      break;
    case kPropertySet:
    case kPropertyGet: {
      const uint16_t id = static_cast<uint16_t>(parameters.size() >= 6 ? parameters[4] | parameters[5] << 8 : 0xFFFF);
      const size_t needed = subFunction == kPropertySet ? kPropertySetBytes : kPropertyGetBytes;
      if (parameters.size() < needed || id >= kProperties) return refuse();
      if (subFunction == kPropertySet) {
        node.properties[id] = frame.parameterWord(8);
      } else {
        appendLittleEndian(data, 0, 4);
        appendLittleEndian(data, node.properties[id], 4);
      }
      break;
    }
    default:
      return refuse();
  }
  return Reply(frame.response(data));
}

void EthernetMonitorFirmware::takePending(Node& node, std::vector<Outgoing>& out) {
  while (!node.pending.empty()) {
    FirmwareMessageHeader header = node.header;
    header.command = kMonitorCommand;
    out.push_back({header.App, answerFrame(header, QOR_FRAME_RESPONSE, itemBlock(node.pending))});
  }
}

void EthernetMonitorFirmware::heard(uint8_t interfaceNumber, std::span<const uint8_t> frame, uint64_t linkTimeNs) {
  std::vector<Outgoing> out;
  {
    std::lock_guard lock(mutex_);
    Node& node = *nodes_.at(interfaceNumber);
    if (!node.started) return;
    if (!node.toHost()) {
      if (node.stored.size() < kStoredItemsLimit) node.stored.push_back(itemOf(frame, linkTimeNs));
      return;
    }
    node.pending.push_back(itemOf(frame, linkTimeNs));
    if (node.pending.size() >= itemsPerFrame_) takePending(node, out);
  }
  send(std::move(out));
}

void EthernetMonitorFirmware::flush() {
  std::vector<Outgoing> out;
  {
    std::lock_guard lock(mutex_);
    for (auto& [number, node] : nodes_) takePending(*node, out);
  }
  send(std::move(out));
}

void EthernetMonitorFirmware::send(std::vector<Outgoing> frames) {
  for (Outgoing& outgoing : frames) device_.sendToApplication(outgoing.application, Reply(std::move(outgoing.frame)));
}

}  // namespace qor::emulator
