#include "qor_emulator/flexray_firmware.hpp"

#include <algorithm>
#include <utility>

namespace qor::emulator {
namespace {

constexpr uint8_t kControllerCommand = 0x20;
constexpr uint8_t kMonitorCommand = 0x21;
constexpr uint8_t kMonitorData = 3;
constexpr size_t kInstances = 4;
constexpr size_t kEntryRoom = 4000;  // of a monitor frame's entries
constexpr size_t kFrameFields = 8;   // of a frame entry after the head

enum ControllerSub : uint32_t {
  kClearBuffers = 3,
  kTxDefine = 9,
  kRxDefine = 10,
  kDelete = 11,
  kTxUpdate = 12,
  kTransmit = 13,
  kRxRead = 14,
  kFindBuffer = 15,
};
enum MonitorSub : uint8_t {
  kConfigure = 0,
  kStart = 1,
  kStop = 2,
  kTime = 4,
  kUserEvent = 5,
  kFilter = 6,
  kPropertySet = 7,
  kPropertyGet = 8,
};

uint16_t u16At(std::span<const uint8_t> bytes, size_t offset) {
  return static_cast<uint16_t>(bytes[offset] | bytes[offset + 1] << 8);
}

// An entry's head, its length still to be set by finishEntry.
Bytes entryHead(uint16_t kind, uint64_t busTimeNs) {
  Bytes entry;
  appendLittleEndian(entry, 0, 2);
  appendLittleEndian(entry, kind, 2);
  appendLittleEndian(entry, busTimeNs, 8);
  return entry;
}

// Sets the length and pads the entry to a multiple of 4.
Bytes finishEntry(Bytes entry) {
  const size_t length = entry.size();
  entry[0] = static_cast<uint8_t>(length);
  entry[1] = static_cast<uint8_t>(length >> 8);
  entry.resize((length + 3) & ~size_t{3}, 0);
  return entry;
}

Bytes frameEntry(uint16_t kind, const FlexRayFrame& frame, uint64_t busTimeNs) {
  Bytes entry = entryHead(kind, busTimeNs);
  appendLittleEndian(entry, frame.slot, 2);
  entry.insert(entry.end(), {frame.cycle, frame.channels, static_cast<uint8_t>(frame.payload.size() / 2), 0, 0, 0});
  entry.insert(entry.end(), frame.payload.begin(), frame.payload.end());
  return finishEntry(std::move(entry));
}

}  // namespace

bool walkFlexRayEntries(std::span<const uint8_t> data, const std::function<void(const FlexRayEntry&)>& visit) {
  while (!data.empty()) {
    if (data.size() < kFlexRayEntryHeadBytes) return false;
    const size_t length = u16At(data, 0);
    if (length < kFlexRayEntryHeadBytes || length > data.size()) return false;
    uint64_t timeNs = 0;
    for (size_t i = 0; i < 8; ++i) timeNs |= uint64_t{data[4 + i]} << (8 * i);
    visit(FlexRayEntry{u16At(data, 2), timeNs, data.subspan(kFlexRayEntryHeadBytes, length - kFlexRayEntryHeadBytes)});
    data = data.subspan(std::min(data.size(), (length + 3) & ~size_t{3}));
  }
  return true;
}

struct FlexRayFirmware::Buffer {
  bool transmit = false;
  uint16_t slot = 0;
  uint8_t selector1 = 0;
  uint8_t selector2 = 0;
  uint8_t channels = 0;
  Bytes data;
  // What a receive buffer heard last.
  uint8_t cycle = 0;
  uint8_t heardOn = 0;
  bool unread = false;
};

struct FlexRayFirmware::Instance {
  uint8_t number = 0;
  bool running = false;
  uint32_t flags = 0;
  uint64_t startNs = 0;
  std::optional<Bytes> filter;
  std::map<uint16_t, uint32_t> properties;
  FirmwareMessageHeader header{};  // of the start record: monitor frames go back with its addressing
  Bytes pending;
  uint32_t pendingEntries = 0;
};

struct FlexRayFirmware::Node {
  uint8_t interfaceNumber = 0;
  uint32_t nextHandle = 1;
  std::map<uint32_t, Buffer> buffers;
  std::array<Instance, kInstances> instances;
};

std::shared_ptr<FlexRayFirmware> FlexRayFirmware::attachTo(Device& device, FlexRayCluster& cluster,
                                                           std::vector<uint8_t> interfaces) {
  std::shared_ptr<FlexRayFirmware> firmware(new FlexRayFirmware(device, cluster));
  device.onCommand(kControllerCommand, [firmware](const ReceivedFrame& frame) { return firmware->controller(frame); });
  device.onCommand(kMonitorCommand, [firmware](const ReceivedFrame& frame) { return firmware->monitor(frame); });
  for (uint8_t interfaceNumber : interfaces) {
    auto node = std::make_unique<Node>();
    node->interfaceNumber = interfaceNumber;
    for (size_t i = 0; i < kInstances; ++i) node->instances[i].number = static_cast<uint8_t>(i);
    firmware->nodes_[interfaceNumber] = std::move(node);
    cluster.attach(device, interfaceNumber);
    cluster.listen(device, interfaceNumber, [firmware, interfaceNumber](const FlexRayFrame& frame, uint64_t busTimeNs) {
      firmware->heard(interfaceNumber, frame, busTimeNs);
    });
  }
  return firmware;
}

FlexRayFirmware::FlexRayFirmware(Device& device, FlexRayCluster& cluster) : device_(device), cluster_(cluster) {}

FlexRayFirmware::Node* FlexRayFirmware::node(uint8_t interfaceNumber) {
  const auto found = nodes_.find(interfaceNumber);
  return found != nodes_.end() ? found->second.get() : nullptr;
}

void FlexRayFirmware::setEntriesPerFrame(size_t entries) {
  std::lock_guard lock(mutex_);
  entriesPerFrame_ = std::max<size_t>(entries, 1);
}

void FlexRayFirmware::holdFrames(bool hold) {
  std::lock_guard lock(mutex_);
  holding_ = hold;
}

std::vector<FlexRayFirmware::MonitorFrame> FlexRayFirmware::takeHeldFrames() {
  std::lock_guard lock(mutex_);
  return std::exchange(held_, {});
}

uint32_t FlexRayFirmware::monitorFlags(uint8_t interfaceNumber, uint8_t instance) const {
  std::lock_guard lock(mutex_);
  const auto found = nodes_.find(interfaceNumber);
  return found != nodes_.end() && instance < kInstances ? found->second->instances[instance].flags : 0;
}

bool FlexRayFirmware::monitorRunning(uint8_t interfaceNumber, uint8_t instance) const {
  std::lock_guard lock(mutex_);
  const auto found = nodes_.find(interfaceNumber);
  return found != nodes_.end() && instance < kInstances && found->second->instances[instance].running;
}

std::optional<Bytes> FlexRayFirmware::monitorFilter(uint8_t interfaceNumber, uint8_t instance) const {
  std::lock_guard lock(mutex_);
  const auto found = nodes_.find(interfaceNumber);
  return found != nodes_.end() && instance < kInstances ? found->second->instances[instance].filter : std::nullopt;
}

Reply FlexRayFirmware::controller(const ReceivedFrame& frame) {
  const auto body = frame.parameters();
  if (body.size() < 4) return frame.negativeAcknowledge(kFlexRayRefusal, "record too short");
  const uint32_t sub = frame.parameterWord(0);
  const auto refuse = [&](const char* why) { return Reply(frame.negativeAcknowledge(kFlexRayRefusal, why)); };
  const auto payload = [&](size_t wordsAt) -> std::optional<Bytes> {
    const size_t bytes = size_t{body[wordsAt]} * 2;
    if (body.size() < 16 + bytes) return std::nullopt;
    return Bytes(body.begin() + 16, body.begin() + 16 + static_cast<std::ptrdiff_t>(bytes));
  };
  std::optional<FlexRayFrame> toSend;
  std::vector<MonitorFrame> out;
  Bytes answer = words({sub});
  {
    std::lock_guard lock(mutex_);
    Node* here = node(frame.header().TPort);
    if (here == nullptr) return refuse("no FlexRay interface");
    const auto buffer = [&]() -> Buffer* {
      const auto found = here->buffers.find(frame.parameterWord(4));
      return found != here->buffers.end() ? &found->second : nullptr;
    };
    switch (sub) {
      case kClearBuffers:
        here->buffers.clear();
        break;
      case kTxDefine:
      case kRxDefine:
      case kFindBuffer: {
        if (body.size() < 12) return refuse("record too short");
        Buffer key;
        key.transmit = sub == kTxDefine;
        key.slot = u16At(body, 4);
        key.selector1 = body[6];
        key.selector2 = body[7];
        key.channels = body[8];
        if (sub == kFindBuffer) {
          const auto found = std::find_if(here->buffers.begin(), here->buffers.end(), [&](const auto& entry) {
            const Buffer& b = entry.second;
            return b.slot == key.slot && b.selector1 == key.selector1 && b.selector2 == key.selector2 &&
                   b.channels == key.channels;
          });
          if (found == here->buffers.end()) return refuse("no such buffer");
          appendLittleEndian(answer, found->first, 4);
          break;
        }
        if (sub == kTxDefine) {
          const auto data = payload(9);
          if (!data) return refuse("record too short");
          key.data = *data;
        }
        appendLittleEndian(answer, here->nextHandle, 4);
        here->buffers[here->nextHandle++] = std::move(key);
        break;
      }
      case kDelete:
        if (here->buffers.erase(frame.parameterWord(4)) == 0) return refuse("unknown handle");
        break;
      case kTxUpdate:
      case kTransmit: {
        Buffer* target = buffer();
        if (target == nullptr || !target->transmit) return refuse("unknown handle");
        const auto data = body.size() >= 9 ? payload(8) : std::nullopt;
        if (!data) return refuse("record too short");
        target->data = *data;
        if (sub == kTransmit) {
          toSend = FlexRayFrame{target->slot, target->selector1, target->channels, target->data};
          record(*here, frameEntry(kFlexRaySentEntry, *toSend, cluster_.now()), out);
        }
        break;
      }
      case kRxRead: {
        Buffer* source = buffer();
        if (source == nullptr || source->transmit) return refuse("unknown handle");
        appendLittleEndian(answer, source->slot, 2);
        answer.insert(answer.end(), {source->cycle, source->heardOn, static_cast<uint8_t>(source->data.size() / 2), 0,
                                     0, 0, static_cast<uint8_t>(source->unread ? 1 : 0), 0, 0, 0});
        answer.insert(answer.end(), source->data.begin(), source->data.end());
        source->unread = false;
        break;
      }
      default:
        break;
    }
  }
  send(std::move(out));
  if (toSend) cluster_.transmit(device_, frame.header().TPort, *toSend);
  return frame.response(answer);
}

Reply FlexRayFirmware::monitor(const ReceivedFrame& frame) {
  const auto body = frame.parameters();
  if (body.size() < 4 || body[1] >= kInstances) return frame.negativeAcknowledge(kFlexRayRefusal, "bad record head");
  const Bytes head(body.begin(), body.begin() + 4);
  Bytes answer = head;
  std::vector<MonitorFrame> out;
  {
    std::lock_guard lock(mutex_);
    Node* here = node(frame.header().TPort);
    if (here == nullptr) return frame.negativeAcknowledge(kFlexRayRefusal, "no FlexRay interface");
    Instance& instance = here->instances[body[1]];
    const auto needs = [&](size_t bytes) { return body.size() >= bytes; };
    switch (body[0]) {
      case kConfigure:
        if (!needs(8)) return frame.negativeAcknowledge(kFlexRayRefusal, "record too short");
        instance.flags = frame.parameterWord(4);
        break;
      case kStart:
        instance.running = true;
        instance.startNs = cluster_.now();
        instance.header = frame.header();
        instance.header.command = kMonitorCommand;
        instance.pending.clear();
        instance.pendingEntries = 0;
        break;
      case kStop:
        takePending(instance, out);
        instance.running = false;
        break;
      case kTime:
        appendLittleEndian(answer, instance.running ? 1 : 0, 4);
        appendLittleEndian(answer, instance.startNs, 8);
        appendLittleEndian(answer, cluster_.now(), 8);
        break;
      case kUserEvent: {
        if (!needs(8) || !needs(8 + size_t{body[6]}))
          return frame.negativeAcknowledge(kFlexRayRefusal, "record too short");
        Bytes entry = entryHead(kFlexRayUserEventEntry, cluster_.now());
        entry.insert(entry.end(), {body[4], body[6], 0, 0});
        entry.insert(entry.end(), body.begin() + 8, body.begin() + 8 + body[6]);
        record(*here, finishEntry(std::move(entry)), out);
        break;
      }
      case kFilter:
        if (!needs(16)) return frame.negativeAcknowledge(kFlexRayRefusal, "record too short");
        instance.filter = Bytes(body.begin() + 4, body.begin() + 16);
        break;
      case kPropertySet:
        if (!needs(12)) return frame.negativeAcknowledge(kFlexRayRefusal, "record too short");
        instance.properties[u16At(body, 4)] = frame.parameterWord(8);
        break;
      case kPropertyGet:
        if (!needs(8)) return frame.negativeAcknowledge(kFlexRayRefusal, "record too short");
        appendLittleEndian(answer, 0, 4);
        appendLittleEndian(answer, instance.properties[u16At(body, 4)], 4);
        break;
      default:
        return frame.negativeAcknowledge(kFlexRayRefusal, "unknown sub-function");
    }
  }
  send(std::move(out));
  return frame.response(answer);
}

void FlexRayFirmware::heard(uint8_t interfaceNumber, const FlexRayFrame& frame, uint64_t busTimeNs) {
  std::vector<MonitorFrame> out;
  {
    std::lock_guard lock(mutex_);
    Node* here = node(interfaceNumber);
    if (here == nullptr) return;
    for (auto& [handle, buffer] : here->buffers) {
      if (buffer.transmit || buffer.slot != frame.slot || (buffer.channels & frame.channels) == 0) continue;
      buffer.data = frame.payload;
      buffer.cycle = frame.cycle;
      buffer.heardOn = static_cast<uint8_t>(buffer.channels & frame.channels);
      buffer.unread = true;
    }
    record(*here, frameEntry(kFlexRayReceivedEntry, frame, busTimeNs), out);
  }
  send(std::move(out));
}

void FlexRayFirmware::record(Node& node, const Bytes& entry, std::vector<MonitorFrame>& out) {
  for (Instance& instance : node.instances) {
    if (!instance.running) continue;
    if (instance.pending.size() + entry.size() > kEntryRoom) takePending(instance, out);
    instance.pending.insert(instance.pending.end(), entry.begin(), entry.end());
    if (++instance.pendingEntries >= entriesPerFrame_) takePending(instance, out);
  }
}

void FlexRayFirmware::takePending(Instance& instance, std::vector<MonitorFrame>& out) {
  if (instance.pendingEntries == 0) return;
  Bytes data{kMonitorData, instance.number, 0, 0};
  appendLittleEndian(data, instance.pendingEntries, 4);
  data.insert(data.end(), instance.pending.begin(), instance.pending.end());
  MonitorFrame monitorFrame{instance.header.App, answerFrame(instance.header, QOR_FRAME_RESPONSE, data)};
  if (holding_) {
    held_.push_back(std::move(monitorFrame));
  } else {
    out.push_back(std::move(monitorFrame));
  }
  instance.pending.clear();
  instance.pendingEntries = 0;
}

void FlexRayFirmware::flush() {
  std::vector<MonitorFrame> out;
  {
    std::lock_guard lock(mutex_);
    for (auto& [number, node] : nodes_) {
      for (Instance& instance : node->instances) takePending(instance, out);
    }
  }
  send(std::move(out));
}

void FlexRayFirmware::send(std::vector<MonitorFrame> frames) {
  for (MonitorFrame& frame : frames) device_.sendToApplication(frame.application, Reply(std::move(frame.frame)));
}

}  // namespace qor::emulator
