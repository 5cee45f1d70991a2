#include "qor_emulator/kline_line.hpp"

#include <algorithm>

#include "qor_shared/host_types.hpp"

namespace qor::emulator {
namespace {

constexpr uint8_t kKLineFirmwareCode = 4;
constexpr uint32_t kTicksPerByte = 240;
constexpr size_t kSubFunctionBytes = 4;
constexpr size_t kReceiveAnswerHead = 12;
constexpr size_t kMonitorFrameHead = 16;
constexpr uint8_t kRegularDelivery = 5;
constexpr uint8_t kAdvancedDelivery = 6;
constexpr size_t kRegularItem = 8;
constexpr size_t kAdvancedItemHead = 12;
constexpr uint8_t kStartsItem = 1;
constexpr uint8_t kEndsInsideItem = 2;

void put32(Bytes& bytes, uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<uint8_t>(value >> 8 * i));
}

Bytes deliveryHead(uint8_t kind, uint32_t word4) {
  Bytes head{kind, 0, 0, 0};
  put32(head, word4);
  return head;
}

}  // namespace

KLineLine::KLineLine(Device& device, uint8_t controller) : device_(device), controller_(controller) {
  for (const InterfaceEntry& entry : device.identity().interfaces) {
    if (entry.firmwareCode == kKLineFirmwareCode) nodes_[entry.number];
  }
  // Answers and monitor frames fit the model's longest record, as the firmware keeps them.
  if (const auto group = sizeGroupOf(device.config().hostType)) {
    receiveLimit_ = group->maxParameterLength - kReceiveAnswerHead;
    monitorLimit_ = group->maxParameterLength - kMonitorFrameHead;
  }
}

std::shared_ptr<KLineLine> KLineLine::attachTo(Device& device, uint8_t controller) {
  std::shared_ptr<KLineLine> line(new KLineLine(device, controller));
  device.onCommand(kKLineFifoCommand, [line](const ReceivedFrame& frame) { return line->fifo(frame); });
  device.onCommand(kKLineMonitorCommand, [line](const ReceivedFrame& frame) { return line->monitor(frame); });
  return line;
}

void KLineLine::feed(std::span<const uint8_t> bytes, uint8_t flags) {
  std::vector<Outgoing> frames;
  {
    std::lock_guard lock(mutex_);
    frames = carry(bytes, flags, std::nullopt);
  }
  send(frames);
}

void KLineLine::setReceiveAnswerLimit(size_t bytes) {
  std::lock_guard lock(mutex_);
  receiveLimit_ = bytes;
}

void KLineLine::setReceiveCountSurplus(uint32_t bytes) {
  std::lock_guard lock(mutex_);
  countSurplus_ = bytes;
}

void KLineLine::setMonitorPayloadLimit(size_t bytes) {
  std::lock_guard lock(mutex_);
  monitorLimit_ = std::max<size_t>(bytes, 1);
}

size_t KLineLine::receiveWaiting(uint8_t interfaceNumber) const {
  std::lock_guard lock(mutex_);
  const auto node = nodes_.find(interfaceNumber);
  return node == nodes_.end() ? 0 : node->second.received.size();
}

Reply KLineLine::fifo(const ReceivedFrame& frame) {
  const std::span<const uint8_t> parameters = frame.parameters();
  const auto refuse = [&](const char* why) { return Reply(frame.negativeAcknowledge(kKLineRefusal, why)); };
  if (parameters.size() < kSubFunctionBytes) return refuse("no sub-function");
  std::vector<Outgoing> frames;
  Bytes data;
  {
    std::lock_guard lock(mutex_);
    const auto found = nodes_.find(frame.header().TPort);
    if (found == nodes_.end()) return refuse("no K-Line interface");
    Node& node = found->second;
    switch (frame.parameterWord(0)) {
      case 0:
        node.received.clear();
        break;
      case 1:
        if (parameters.size() != 24) return refuse("init record of 24 bytes");
        put32(data, 0);
        put32(data, kInitResult);
        break;
      case 2: {
        if (parameters.size() < 8 || frame.parameterWord(4) != parameters.size() - 8) return refuse("transmit record");
        frames = carry(parameters.subspan(8), 0, frame.header().TPort);
        put32(data, 0);
        break;
      }
      case 3: {
        const size_t count = std::min(node.received.size(), receiveLimit_);
        data = {static_cast<uint8_t>(node.received.size() > count ? 1 : 0), 0, 0, 0};
        put32(data, static_cast<uint32_t>(count) + countSurplus_);
        data.insert(data.end(), node.received.begin(), node.received.begin() + static_cast<ptrdiff_t>(count));
        node.received.erase(node.received.begin(), node.received.begin() + static_cast<ptrdiff_t>(count));
        break;
      }
      case 4:
        data = {1, 0, 0, 0};
        put32(data, 0);
        put32(data, static_cast<uint32_t>(node.received.size()));
        break;
      case 5:
        data = {static_cast<uint8_t>(node.received.empty() ? 0 : 1), 0, 0, 0};
        put32(data, static_cast<uint32_t>(node.received.size()));
        put32(data, kReceiveFifoRoom);
        break;
      default:
        return refuse("unknown sub-function");
    }
  }
  send(frames);
  return Reply(frame.response(data, kSubFunctionBytes));
}

Reply KLineLine::monitor(const ReceivedFrame& frame) {
  if (frame.parameters().size() < kSubFunctionBytes) {
    return Reply(frame.negativeAcknowledge(kKLineRefusal, "no sub-function"));
  }
  std::lock_guard lock(mutex_);
  const auto found = nodes_.find(frame.header().TPort);
  if (found == nodes_.end()) return Reply(frame.negativeAcknowledge(kKLineRefusal, "no K-Line interface"));
  Node& node = found->second;
  switch (frame.parameterWord(0)) {
    case 0:
    case 4:
      node.monitorStarted = false;
      break;
    case 1:
      node.items = Items::Regular;
      break;
    case 2:
      node.items = Items::Advanced;
      break;
    case 3:
      node.monitorStarted = node.items != Items::None;
      break;
    default:
      return Reply(frame.negativeAcknowledge(kKLineRefusal, "unknown sub-function"));
  }
  return Reply(frame.response(Bytes{}, kSubFunctionBytes));
}

std::vector<KLineLine::Outgoing> KLineLine::carry(std::span<const uint8_t> bytes, uint8_t flags,
                                                  std::optional<uint8_t> sender) {
  const uint32_t start = ticks_;
  ticks_ += static_cast<uint32_t>(bytes.size()) * kTicksPerByte;
  std::vector<Outgoing> frames;
  for (auto& [number, node] : nodes_) {
    if (number == sender) continue;
    node.received.insert(node.received.end(), bytes.begin(), bytes.end());
    for (Bytes& data : monitorFrames(node, bytes, flags, start)) frames.push_back({number, std::move(data)});
  }
  return frames;
}

std::vector<Bytes> KLineLine::monitorFrames(const Node& node, std::span<const uint8_t> bytes, uint8_t flags,
                                            uint32_t start) {
  std::vector<Bytes> frames;
  if (!node.monitorStarted || bytes.empty()) return frames;
  if (node.items == Items::Regular) {
    const size_t perFrame = std::max<size_t>(monitorLimit_ / kRegularItem, 1);
    for (size_t first = 0; first < bytes.size(); first += perFrame) {
      const size_t count = std::min(perFrame, bytes.size() - first);
      Bytes data = deliveryHead(kRegularDelivery, static_cast<uint32_t>(count));
      for (size_t i = first; i < first + count; ++i) {
        put32(data, start + static_cast<uint32_t>(i) * kTicksPerByte);
        data.insert(data.end(), {0, flags, bytes[i], 0});
      }
      frames.push_back(std::move(data));
    }
    return frames;
  }
  Bytes item;
  put32(item, static_cast<uint32_t>(kAdvancedItemHead + bytes.size()));
  put32(item, start);
  item.insert(item.end(), {0, flags, static_cast<uint8_t>(bytes.size()), static_cast<uint8_t>(bytes.size() >> 8)});
  item.insert(item.end(), bytes.begin(), bytes.end());
  for (size_t sent = 0; sent < item.size();) {
    const size_t count = std::min(monitorLimit_, item.size() - sent);
    Bytes data = deliveryHead(kAdvancedDelivery, static_cast<uint32_t>(count));
    put32(data, static_cast<uint32_t>(sent));
    const uint8_t bits = (sent == 0 ? kStartsItem : 0) | (sent + count < item.size() ? kEndsInsideItem : 0);
    data.insert(data.end(), {bits, 0, 0, 0});
    data.insert(data.end(), item.begin() + static_cast<ptrdiff_t>(sent),
                item.begin() + static_cast<ptrdiff_t>(sent + count));
    frames.push_back(std::move(data));
    sent += count;
  }
  return frames;
}

void KLineLine::send(const std::vector<Outgoing>& frames) {
  for (const Outgoing& frame : frames) {
    const std::optional<uint8_t> application = device_.lastApplicationOn(controller_, frame.interfaceNumber);
    if (application) device_.sendToApplication(*application, kKLineMonitorCommand, frame.data);
  }
}

}  // namespace qor::emulator
