#include "qor_emulator/can_monitor_firmware.hpp"

#include <algorithm>
#include <utility>

namespace qor::emulator {
namespace {

constexpr uint8_t kMonitorCommand = 0x50;
constexpr uint8_t kListModeCommand = 0x54;
constexpr uint8_t kListItemCommand = 0xF2;
constexpr size_t kHeadBytes = 4;
constexpr size_t kConfigureBytes = 12;
constexpr uint8_t kInstances = 4;
constexpr uint32_t kListModeOn = 2;
constexpr uint8_t kHostBuffered = 0x01;
constexpr uint8_t kLargeItems = 0x08;
constexpr size_t kClassicDataBytes = 8;
constexpr size_t kCompactItemBytes = 20;
constexpr size_t kApiItemBytes = 24;
// Room for items in one answer or frame to the host, within the smallest frame the Ethernet models carry.
constexpr size_t kItemRoom = 4000;
constexpr size_t kStoredItemsLimit = 100000;

enum SubFunction : uint8_t {
  kTime32 = 1,
  kUserEvent = 6,
  kStop = 7,
  kConfigure32 = 8,
  kConfigure64 = 9,
  kStart = 12,
  kTraceStop = 13,
  kRead64 = 14,
  kReadLarge = 15,
  kRead32 = 16,
  kTime64 = 19,
};

uint32_t unitNs(uint8_t unit) { return unit == 0 ? 10000 : 400; }

Bytes head(uint8_t subFunction, uint8_t instance) { return {subFunction, instance, 0, 0}; }

void appendData(Bytes& bytes, const CanFrame& frame, size_t count) {
  for (size_t index = 0; index < count; ++index) bytes.push_back(index < frame.data.size() ? frame.data[index] : 0);
}

}  // namespace

struct CanMonitorFirmware::Instance {
  uint8_t number = 0;
  bool configured = false;
  bool compact = false;
  uint8_t mode = 0;
  bool started = false;
  FirmwareMessageHeader header{};  // of the start: where pushed items go
  uint64_t startNs = 0;
  std::deque<Bytes> stored;  // items for direct reads
  Bytes pending;             // items for the host not sent yet
  size_t pendingItems = 0;

  bool large() const { return !compact && (mode & kLargeItems) != 0; }
  bool hostBuffered() const { return (mode & kHostBuffered) != 0; }
};

struct CanMonitorFirmware::ListEntry {
  uint32_t timeUnits = 0;
  uint32_t count = 0;
  uint8_t flags = 0;
  uint8_t dlc = 0;
  Bytes data;
};

struct CanMonitorFirmware::Node {
  std::array<Instance, kInstances> instances;
  bool listMode = false;
  std::map<uint32_t, ListEntry> list;

  Node() {
    for (uint8_t number = 0; number < kInstances; ++number) instances[number].number = number;
  }
};

CanMonitorFirmware::CanMonitorFirmware(Device& device, CanBus& bus) : device_(device), bus_(bus) {}

std::shared_ptr<CanMonitorFirmware> CanMonitorFirmware::attachTo(Device& device, CanBus& bus,
                                                                 std::vector<uint8_t> interfaces) {
  std::shared_ptr<CanMonitorFirmware> firmware(new CanMonitorFirmware(device, bus));
  for (uint8_t number : interfaces) {
    firmware->nodes_[number] = std::make_unique<Node>();
    bus.listen(device, number, [firmware, number](const CanFrame& frame, uint64_t busTimeNs) {
      firmware->heard(number, frame, busTimeNs);
    });
  }
  for (uint8_t command : {kMonitorCommand, kListModeCommand, kListItemCommand}) {
    device.onCommand(command, [firmware](const ReceivedFrame& frame) { return firmware->answer(frame); });
  }
  return firmware;
}

void CanMonitorFirmware::setCompactTimeUnit(uint8_t unit) {
  std::lock_guard lock(mutex_);
  compactUnit_ = unit;
}

void CanMonitorFirmware::setItemsPerFrame(size_t items) {
  std::lock_guard lock(mutex_);
  itemsPerFrame_ = std::max<size_t>(1, items);
}

size_t CanMonitorFirmware::storedItems(uint8_t interfaceNumber, uint8_t instance) const {
  std::lock_guard lock(mutex_);
  const auto node = nodes_.find(interfaceNumber);
  return node == nodes_.end() || instance >= kInstances ? 0 : node->second->instances[instance].stored.size();
}

Reply CanMonitorFirmware::answer(const ReceivedFrame& frame) {
  switch (frame.command()) {
    case kMonitorCommand:
      return monitorCommand(frame);
    case kListModeCommand:
      return listModeCommand(frame);
    default:
      return listItem(frame);
  }
}

Reply CanMonitorFirmware::monitorCommand(const ReceivedFrame& frame) {
  const auto parameters = frame.parameters();
  const auto refuse = [&] { return Reply(frame.negativeAcknowledge(kCanMonitorRefusal, "CAN monitor request refused")); };
  std::lock_guard lock(mutex_);
  const auto node = nodes_.find(frame.header().TPort);
  if (node == nodes_.end() || parameters.size() < kHeadBytes || parameters[1] >= kInstances) return refuse();
  const uint8_t subFunction = parameters[0];
  Instance& instance = node->second->instances[parameters[1]];
  Bytes data = head(subFunction, instance.number);
  const uint64_t now = bus_.now();
  switch (subFunction) {
    case kConfigure32:
    case kConfigure64:
      if (parameters.size() < kConfigureBytes) return refuse();
      instance.configured = true;
      instance.compact = subFunction == kConfigure32;
      instance.mode = parameters[5];
      break;
    case kStart:
      if (!instance.configured) return refuse();
      instance.started = true;
      instance.header = frame.header();
      instance.startNs = now;
      break;
    case kStop:
    case kTraceStop: {
      const uint8_t number = instance.number;
      instance = Instance();
      instance.number = number;
      break;
    }
    case kUserEvent:
      break;
    case kTime32: {
      const uint32_t unit = unitNs(compactUnit_);
      appendLittleEndian(data, instance.started ? 1 : 0, 4);
      appendLittleEndian(data, instance.startNs / unit, 4);
      appendLittleEndian(data, now / unit, 4);
      appendLittleEndian(data, compactUnit_, 4);
      break;
    }
    case kTime64:
      appendLittleEndian(data, instance.started ? 1 : 0, 4);
      appendLittleEndian(data, instance.startNs, 8);
      appendLittleEndian(data, now, 8);
      break;
    case kRead32:
    case kRead64:
    case kReadLarge: {
      const bool counted = subFunction != kReadLarge;
      Bytes items;
      uint32_t count = 0;
      while (!instance.stored.empty() && items.size() + instance.stored.front().size() <= kItemRoom) {
        items.insert(items.end(), instance.stored.front().begin(), instance.stored.front().end());
        instance.stored.pop_front();
        ++count;
      }
      if (counted) appendLittleEndian(data, count, 4);
      data.insert(data.end(), items.begin(), items.end());
      break;
    }
    default:
      return refuse();
  }
  return Reply(frame.response(data));
}

Reply CanMonitorFirmware::listModeCommand(const ReceivedFrame& frame) {
  {
    std::lock_guard lock(mutex_);
    const auto node = nodes_.find(frame.header().TPort);
    if (node == nodes_.end() || frame.parameters().size() < 4) {
      return Reply(frame.negativeAcknowledge(kCanMonitorRefusal, "CAN list mode request refused"));
    }
    node->second->listMode = frame.parameterWord(0) == kListModeOn;
    node->second->list.clear();
  }
  return frame.header().requestKind == QOR_REQUEST_ACKNOWLEDGE ? Reply(frame.acknowledge()) : Reply();
}

Reply CanMonitorFirmware::listItem(const ReceivedFrame& frame) {
  std::lock_guard lock(mutex_);
  const auto node = nodes_.find(frame.header().TPort);
  if (node == nodes_.end() || frame.parameters().size() < 4) {
    return Reply(frame.negativeAcknowledge(kCanMonitorRefusal, "CAN list item request refused"));
  }
  const uint32_t identifier = frame.parameterWord(0);
  const auto found = node->second->list.find(identifier);
  const ListEntry entry = found == node->second->list.end() ? ListEntry{} : found->second;
  Bytes data;
  appendLittleEndian(data, identifier, 4);
  appendLittleEndian(data, entry.timeUnits, 4);
  appendLittleEndian(data, entry.count, 4);
  data.insert(data.end(), {entry.flags, entry.dlc, compactUnit_, 0});
  Bytes bytes = entry.data;
  bytes.resize(kClassicDataBytes, 0);
  data.insert(data.end(), bytes.begin(), bytes.end());
  return Reply(frame.response(data));
}

size_t CanMonitorFirmware::itemBytes(const Instance& instance, const CanFrame& frame) {
  if (instance.compact) return kCompactItemBytes;
  return instance.large() ? (frame.data.size() + 19) & ~size_t{3} : kApiItemBytes;
}

void CanMonitorFirmware::appendItem(Bytes& bytes, const Instance& instance, const CanFrame& frame,
                                    uint64_t busTimeNs) const {
  const size_t end = bytes.size() + itemBytes(instance, frame);
  const uint8_t flags = frame.flags;
  if (instance.compact) {
    appendLittleEndian(bytes, busTimeNs / unitNs(compactUnit_), 4);
    appendLittleEndian(bytes, frame.identifier, 4);
    bytes.insert(bytes.end(), {flags, frame.dlc, compactUnit_, 0});
    appendData(bytes, frame, kClassicDataBytes);
    return;
  }
  appendLittleEndian(bytes, busTimeNs, 8);
  appendLittleEndian(bytes, frame.identifier, 4);
  appendLittleEndian(bytes, flags, 2);
  if (!instance.large()) {
    bytes.insert(bytes.end(), {frame.dlc, frame.dlc});
    appendData(bytes, frame, kClassicDataBytes);
    return;
  }
  bytes.insert(bytes.end(), {frame.dlc, static_cast<uint8_t>(frame.data.size())});
  appendData(bytes, frame, frame.data.size());
  bytes.resize(end, 0);
}

void CanMonitorFirmware::takePending(Instance& instance, std::vector<Outgoing>& out) {
  if (instance.pendingItems == 0) return;
  Bytes data = head(instance.large() ? kReadLarge : kRead64, instance.number);
  if (!instance.large()) appendLittleEndian(data, instance.pendingItems, 4);
  data.insert(data.end(), instance.pending.begin(), instance.pending.end());
  FirmwareMessageHeader header = instance.header;
  header.command = kMonitorCommand;
  out.push_back({header.App, answerFrame(header, QOR_FRAME_RESPONSE, data)});
  instance.pending.clear();
  instance.pendingItems = 0;
}

void CanMonitorFirmware::heard(uint8_t interfaceNumber, const CanFrame& frame, uint64_t busTimeNs) {
  std::vector<Outgoing> out;
  {
    std::lock_guard lock(mutex_);
    Node& node = *nodes_.at(interfaceNumber);
    if (node.listMode) {
      ListEntry& entry = node.list[frame.identifier];
      entry = ListEntry{static_cast<uint32_t>(busTimeNs / unitNs(compactUnit_)), entry.count + 1, frame.flags,
                        frame.dlc, frame.data};
    }
    for (Instance& instance : node.instances) {
      if (!instance.started) continue;
      if (!instance.hostBuffered()) {
        if (instance.stored.size() < kStoredItemsLimit) {
          appendItem(instance.stored.emplace_back(), instance, frame, busTimeNs);
        }
        continue;
      }
      if (instance.pending.size() + itemBytes(instance, frame) > kItemRoom) takePending(instance, out);
      appendItem(instance.pending, instance, frame, busTimeNs);
      if (++instance.pendingItems >= itemsPerFrame_) takePending(instance, out);
    }
  }
  send(std::move(out));
}

void CanMonitorFirmware::flush() {
  std::vector<Outgoing> out;
  {
    std::lock_guard lock(mutex_);
    for (auto& [number, node] : nodes_) {
      for (Instance& instance : node->instances) takePending(instance, out);
    }
  }
  send(std::move(out));
}

void CanMonitorFirmware::send(std::vector<Outgoing> frames) {
  for (Outgoing& outgoing : frames) device_.sendToApplication(outgoing.application, Reply(std::move(outgoing.frame)));
}

}  // namespace qor::emulator
