#include "qor_emulator/most_ring_firmware.hpp"

#include <algorithm>
#include <span>
#include <utility>

namespace qor::emulator {
namespace {

constexpr uint8_t kControlMessageCommand = 0x22;
constexpr uint8_t kMonitorCommand = 0x54;
constexpr uint8_t kMonitorDataCommand = 0x55;
constexpr size_t kHeadBytes = 4;
constexpr size_t kSendHeadBytes = 16;

enum ControlSelector : uint8_t { kSend = 0, kTransmitterState = 1 };
enum MonitorSelector : uint8_t {
  kEnabledIds = 1,
  kReadEnabledIds = 2,
  kStreamingData = 5,
  kReadStreamingData = 6,
  kInput = 8,
  kReadInput = 9,
  kHoldTime = 10,
  kReadHoldTime = 11,
  kSwitch = 12,
};

uint16_t u16At(std::span<const uint8_t> bytes, size_t offset) {
  return static_cast<uint16_t>(bytes[offset] | bytes[offset + 1] << 8);
}

Bytes monitorItem(const MostControlMessage& message, uint64_t ringTimeNs) {
  Bytes item;
  appendLittleEndian(item, kMostMonitorItemHeadBytes + message.data.size(), 2);
  appendLittleEndian(item, kMostMonitorControlMessageId, 2);
  appendLittleEndian(item, 0, 4);
  appendLittleEndian(item, ringTimeNs, 8);
  appendLittleEndian(item, message.sourceAddress, 2);
  appendLittleEndian(item, message.targetAddress, 2);
  item.push_back(message.fblockId);
  item.push_back(message.instanceId);
  appendLittleEndian(item, message.functionId, 2);
  item.push_back(message.operationType);
  item.push_back(message.messageType);
  item.push_back(static_cast<uint8_t>(message.data.size()));
  item.push_back(message.telegramId);
  item.insert(item.end(), message.data.begin(), message.data.end());
  item.resize((item.size() + 3) & ~size_t{3}, 0);
  return item;
}

}  // namespace

struct MostRingFirmware::Node {
  std::chrono::steady_clock::time_point busyUntil{};
  std::vector<MostControlMessage> received;
  bool switchedOn = false;
  std::vector<uint16_t> enabledIds;
  uint8_t streamingFlags = 0;
  Bytes streamingBytes;
  uint8_t input = 0;
  uint16_t holdTime = 0;
  bool hasApplication = false;
  FirmwareMessageHeader header{};  // of the last monitor command: where items go
};

MostRingFirmware::MostRingFirmware(Device& device, MostRing& ring) : device_(device), ring_(ring) {}

std::shared_ptr<MostRingFirmware> MostRingFirmware::attachTo(Device& device, MostRing& ring,
                                                             std::vector<uint8_t> interfaces) {
  std::shared_ptr<MostRingFirmware> firmware(new MostRingFirmware(device, ring));
  for (uint8_t number : interfaces) {
    firmware->nodes_[number] = std::make_unique<Node>();
    ring.listen(device, number, [firmware, number](const MostControlMessage& message, uint64_t ringTimeNs) {
      firmware->heard(number, message, ringTimeNs);
    });
  }
  for (uint8_t command : {kControlMessageCommand, kMonitorCommand}) {
    device.onCommand(command, [firmware](const ReceivedFrame& frame) { return firmware->answer(frame); });
  }
  return firmware;
}

void MostRingFirmware::setTransmitDuration(std::chrono::milliseconds duration) {
  std::lock_guard lock(mutex_);
  transmitDuration_ = duration;
}

std::vector<MostControlMessage> MostRingFirmware::received(uint8_t interfaceNumber) const {
  std::lock_guard lock(mutex_);
  const auto node = nodes_.find(interfaceNumber);
  return node == nodes_.end() ? std::vector<MostControlMessage>{} : node->second->received;
}

Reply MostRingFirmware::answer(const ReceivedFrame& frame) {
  const auto parameters = frame.parameters();
  {
    std::lock_guard lock(mutex_);
    if (!nodes_.contains(frame.header().TPort) || parameters.size() < kHeadBytes) {
      return Reply(frame.negativeAcknowledge(kMostRingRefusal, "MOST request refused"));
    }
  }
  return frame.command() == kControlMessageCommand ? controlMessageCommand(frame) : monitorCommand(frame);
}

Reply MostRingFirmware::controlMessageCommand(const ReceivedFrame& frame) {
  const auto parameters = frame.parameters();
  const auto refuse = [&] { return Reply(frame.negativeAcknowledge(kMostRingRefusal, "MOST request refused")); };
  const uint8_t interfaceNumber = frame.header().TPort;
  if (parameters[0] == kTransmitterState) {
    std::lock_guard lock(mutex_);
    const bool busy = std::chrono::steady_clock::now() < nodes_.at(interfaceNumber)->busyUntil;
    return Reply(frame.response(words({busy ? 1u : 0u, 0}), kHeadBytes));
  }
  if (parameters[0] != kSend || parameters.size() < kSendHeadBytes ||
      parameters.size() < kSendHeadBytes + parameters[12]) {
    return refuse();
  }
  MostControlMessage message{.targetAddress = u16At(parameters, 4),
                             .fblockId = parameters[6],
                             .instanceId = parameters[7],
                             .functionId = u16At(parameters, 8),
                             .operationType = parameters[10],
                             .messageType = parameters[11],
                             .data = Bytes(parameters.begin() + kSendHeadBytes,
                                           parameters.begin() + kSendHeadBytes + parameters[12])};
  ring_.transmit(device_, interfaceNumber, std::move(message));
  {
    std::lock_guard lock(mutex_);
    nodes_.at(interfaceNumber)->busyUntil = std::chrono::steady_clock::now() + transmitDuration_;
  }
  return Reply(frame.response(words({1}), kHeadBytes));
}

Reply MostRingFirmware::monitorCommand(const ReceivedFrame& frame) {
  const auto parameters = frame.parameters();
  const auto refuse = [&] { return Reply(frame.negativeAcknowledge(kMostRingRefusal, "MOST request refused")); };
  std::lock_guard lock(mutex_);
  Node& node = *nodes_.at(frame.header().TPort);
  node.hasApplication = true;
  node.header = frame.header();
  Bytes data;
  switch (parameters[0]) {
    case kEnabledIds: {
      const uint32_t count = frame.parameterWord(8);
      if (parameters.size() < 12 + size_t{count} * 2) return refuse();
      node.enabledIds.clear();
      for (uint32_t i = 0; i < count; ++i) node.enabledIds.push_back(u16At(parameters, 12 + 2 * i));
      break;
    }
    case kReadEnabledIds:
      data = words({0, static_cast<uint32_t>(node.enabledIds.size())});
      for (uint16_t id : node.enabledIds) appendLittleEndian(data, id, 2);
      break;
    case kStreamingData:
      if (parameters.size() < 12 || parameters.size() < 12 + size_t{parameters[8]}) return refuse();
      node.streamingFlags = parameters[4];
      node.streamingBytes.assign(parameters.begin() + 12, parameters.begin() + 12 + parameters[8]);
      break;
    case kReadStreamingData:
      data = words({node.streamingFlags, static_cast<uint32_t>(node.streamingBytes.size())}, node.streamingBytes);
      break;
    case kInput:
      if (parameters.size() < 5) return refuse();
      node.input = parameters[4];
      break;
    case kReadInput:
      data = words({node.input});
      break;
    case kHoldTime:
      if (parameters.size() < 6) return refuse();
      node.holdTime = u16At(parameters, 4);
      break;
    case kReadHoldTime:
      data = words({node.holdTime});
      break;
    case kSwitch:
      if (parameters.size() < 12) return refuse();
      node.switchedOn = frame.parameterWord(8) != 0;
      break;
    default:
      return refuse();
  }
  return Reply(frame.response(data, kHeadBytes));
}

void MostRingFirmware::heard(uint8_t interfaceNumber, const MostControlMessage& message, uint64_t ringTimeNs) {
  Bytes frame;
  uint8_t application = 0;
  {
    std::lock_guard lock(mutex_);
    Node& node = *nodes_.at(interfaceNumber);
    node.received.push_back(message);
    const bool reported =
        std::ranges::find(node.enabledIds, kMostMonitorControlMessageId) != node.enabledIds.end();
    if (!node.switchedOn || !node.hasApplication || !reported) {
      return;
    }
    FirmwareMessageHeader header = node.header;
    header.command = kMonitorDataCommand;
    frame = answerFrame(header, QOR_FRAME_RESPONSE, monitorItem(message, ringTimeNs));
    application = header.App;
  }
  device_.sendToApplication(application, Reply(std::move(frame)));
}

}  // namespace qor::emulator
