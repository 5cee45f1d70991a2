#include "qor_emulator/most_ams_firmware.hpp"

#include <algorithm>
#include <array>
#include <chrono>
#include <deque>
#include <optional>
#include <span>
#include <utility>

namespace qor::emulator {
namespace {

using Clock = std::chrono::steady_clock;

constexpr uint8_t kAmsCommand = 0x23;
constexpr size_t kHeadBytes = 4;
constexpr size_t kFirstSegmentHead = 28, kNextSegmentHead = 8;
constexpr size_t kResponseHead = 28, kPieceHead = 12;
constexpr size_t kNotificationHead = 8, kBlockHead = 8;
constexpr uint8_t kFirstReportType = 9;  // operation types from here on answer a command

enum Selector : uint8_t {
  kAllocate = 0,
  kFree = 1,
  kFirstSegment = 2,
  kNextSegment = 3,
  kState = 4,
  kResponse = 5,
  kResponsePiece = 6,
  kRxBufferConfig = 7,
  kRxBufferMessages = 8,
  kNotifications = 9,
};
enum Notification : uint8_t { kResponses = 0, kRxBuffer = 1 };

// Flags of the answers of selectors 4 and 5, and of a response piece.
constexpr uint8_t kStateResponseThere = 0x1, kStateAwaited = 0x2;
constexpr uint8_t kResponseThere = 0x1, kResponseWhole = 0x2, kResponseAwaited = 0x4;
constexpr uint8_t kLastPiece = 0x1;
// Flags of a receive buffer block.
constexpr uint8_t kBlockFirst = 0x1, kBlockLast = 0x2, kBlockMoreFollow = 0x4;

uint16_t u16At(std::span<const uint8_t> bytes, size_t offset) {
  return static_cast<uint16_t>(bytes[offset] | bytes[offset + 1] << 8);
}
uint32_t u32At(std::span<const uint8_t> bytes, size_t offset) {
  return static_cast<uint32_t>(u16At(bytes, offset) | u16At(bytes, offset + 2) << 16);
}

Bytes head(uint8_t selector, uint8_t channel) { return {selector, channel, 0, 0}; }

// The message's fields as a response answer and a received message carry them, up to its data length.
void appendMessageHead(Bytes& bytes, const MostControlMessage& message) {
  appendLittleEndian(bytes, message.sourceAddress, 2);
  bytes.push_back(message.fblockId);
  bytes.push_back(message.instanceId);
  appendLittleEndian(bytes, message.functionId, 2);
  bytes.push_back(message.operationType);
  bytes.push_back(message.messageType);
  appendLittleEndian(bytes, message.data.size(), 4);
}

}  // namespace

struct MostAmsFirmware::Channel {
  struct Awaited {
    uint16_t from;
    uint8_t fblockId;
    uint16_t functionId;
    Clock::time_point until;
  };

  bool allocated = false;
  std::optional<MostControlMessage> sending;  // the message the application is sending, its data so far
  uint32_t sendingLength = 0;
  uint32_t sendingTimeoutUs = 0;
  std::optional<Awaited> awaited;
  std::optional<MostControlMessage> response;
  size_t responseRead = 0;  // bytes of its data already answered
  bool responseNotifications = false;
  bool rxNotifications = false;

  void expire() {
    if (awaited && Clock::now() >= awaited->until) awaited.reset();
  }
  bool answers(const MostControlMessage& message) const {
    return awaited && message.operationType >= kFirstReportType && message.sourceAddress == awaited->from &&
           message.fblockId == awaited->fblockId && message.functionId == awaited->functionId;
  }
};

struct MostAmsFirmware::Node {
  uint16_t address;
  std::array<Channel, kMostAmsChannels> channels{};
  MostTelegramJoiner joiner{};
  std::deque<MostControlMessage> rxBuffer{};
  std::optional<FirmwareMessageHeader> application{};  // of the last command: where notifications go

  Channel* channel(uint8_t number) {
    if (number == 0 || number > channels.size()) return nullptr;
    Channel& channel = channels[number - 1];
    return channel.allocated ? &channel : nullptr;
  }
};

// What serving a request leads to, done once the firmware's lock is released.
struct MostAmsFirmware::Outcome {
  Bytes reply{};
  std::optional<MostControlMessage> toSend{};
  std::vector<Bytes> notifications{};  // frames' data for the node's application
};

MostAmsFirmware::MostAmsFirmware(Device& device, MostRing& ring, size_t maxAnswerBytes)
    : device_(device), ring_(ring), maxAnswerBytes_(maxAnswerBytes) {}

std::shared_ptr<MostAmsFirmware> MostAmsFirmware::attachTo(Device& device, MostRing& ring,
                                                           std::vector<uint8_t> interfaces, size_t maxAnswerBytes) {
  std::shared_ptr<MostAmsFirmware> firmware(new MostAmsFirmware(device, ring, maxAnswerBytes));
  for (uint8_t number : interfaces) {
    firmware->nodes_[number] = std::make_unique<Node>(Node{.address = ring.addressOf(device, number)});
    ring.listen(
        device, number,
        [firmware, number](const MostControlMessage& telegram, uint64_t) { firmware->heard(number, telegram); },
        MostListenerRole::kApplication);
  }
  device.onCommand(kAmsCommand, [firmware](const ReceivedFrame& frame) { return firmware->answer(frame); });
  return firmware;
}

Reply MostAmsFirmware::answer(const ReceivedFrame& frame) {
  const uint8_t interfaceNumber = frame.header().TPort;
  Outcome outcome;
  {
    std::lock_guard lock(mutex_);
    outcome = serve(frame);
  }
  if (outcome.toSend) {
    for (const MostControlMessage& telegram : toTelegrams(*outcome.toSend)) {
      ring_.transmit(device_, interfaceNumber, telegram);
    }
  }
  notify(interfaceNumber, std::move(outcome.notifications));
  return Reply(std::move(outcome.reply));
}

MostAmsFirmware::Outcome MostAmsFirmware::serve(const ReceivedFrame& frame) {
  const auto parameters = frame.parameters();
  const Outcome refused{frame.negativeAcknowledge(kMostAmsRefusal, "MOST AMS request refused")};
  const auto found = nodes_.find(frame.header().TPort);
  if (found == nodes_.end() || parameters.size() < kHeadBytes) return refused;
  Node& node = *found->second;
  node.application = frame.header();
  const uint8_t selector = parameters[0], number = parameters[1];
  const auto answered = [&](const Bytes& data) { return Outcome{frame.response(data, kHeadBytes)}; };

  if (selector == kAllocate) {
    const auto unallocated =
        std::ranges::find_if(node.channels, [](const Channel& channel) { return !channel.allocated; });
    if (unallocated == node.channels.end()) return answered(words({0}));
    unallocated->allocated = true;
    return answered({1, static_cast<uint8_t>(unallocated - node.channels.begin() + 1), 0, 0});
  }
  Channel* channel = node.channel(number);
  if (channel == nullptr) return refused;
  switch (selector) {
    case kFree:
      *channel = Channel{};
      return answered({});
    case kFirstSegment:
    case kNextSegment: {
      std::optional<Outcome> sent = takeSegment(parameters, *channel);
      if (!sent) return refused;
      sent->reply = frame.response(words({sent->toSend ? 1u : 0u}), kHeadBytes);
      return *std::move(sent);
    }
    case kState: {
      channel->expire();
      const uint8_t flags =
          (channel->response ? kStateResponseThere : 0) | (channel->awaited ? kStateAwaited : 0);
      return answered(words({flags, 0}));
    }
    case kResponse:
      return answered(responseHead(*channel));
    case kResponsePiece:
      return answered(responsePiece(*channel));
    case kRxBufferConfig:  // the emulated buffer has no settings
      return parameters.size() < 16 ? refused : answered({});
    case kNotifications: {
      if (parameters.size() < 8 || parameters[4] > kRxBuffer) return refused;
      const bool on = parameters[6] != 0;
      Outcome outcome = answered({});
      if (parameters[4] == kResponses) {
        channel->responseNotifications = on;
        if (on) outcome.notifications = responseFrames(*channel, number);
      } else {
        channel->rxNotifications = on;
        if (on) outcome.notifications = rxBufferFrames(node);
      }
      return outcome;
    }
    default:
      return refused;
  }
}

std::optional<MostAmsFirmware::Outcome> MostAmsFirmware::takeSegment(std::span<const uint8_t> parameters,
                                                                    Channel& channel) {
  const bool first = parameters[0] == kFirstSegment;
  const size_t chunkAt = first ? kFirstSegmentHead : kNextSegmentHead;
  if (parameters.size() < chunkAt) return std::nullopt;
  const uint32_t chunkLength = u32At(parameters, chunkAt - 4);
  if (parameters.size() - chunkAt < chunkLength) return std::nullopt;
  const auto chunk = parameters.subspan(chunkAt, chunkLength);
  if (first) {
    const uint32_t length = u32At(parameters, 20);
    if (length > kMostApplicationMessageMax) return std::nullopt;
    channel.sending = MostControlMessage{.targetAddress = u16At(parameters, 8),
                                         .fblockId = parameters[10],
                                         .instanceId = parameters[11],
                                         .functionId = u16At(parameters, 12),
                                         .operationType = parameters[14],
                                         .messageType = parameters[15],
                                         .data = {}};
    channel.sendingLength = length;
    channel.sendingTimeoutUs = u32At(parameters, 4);
    channel.awaited.reset();
    channel.response.reset();
  }
  if (!channel.sending || channel.sending->data.size() + chunk.size() > channel.sendingLength) {
    channel.sending.reset();
    return std::nullopt;
  }
  Bytes& data = channel.sending->data;
  data.insert(data.end(), chunk.begin(), chunk.end());
  Outcome outcome;
  if (data.size() < channel.sendingLength) return outcome;
  const MostControlMessage& message = *channel.sending;
  if (message.operationType < kFirstReportType && channel.sendingTimeoutUs != 0) {
    channel.awaited = Channel::Awaited{message.targetAddress, message.fblockId, message.functionId,
                                       Clock::now() + std::chrono::microseconds(channel.sendingTimeoutUs)};
  }
  outcome.toSend = std::move(channel.sending);
  channel.sending.reset();
  return outcome;
}

Bytes MostAmsFirmware::responseHead(Channel& channel) {
  channel.expire();
  const uint8_t awaited = channel.awaited ? kResponseAwaited : 0;
  if (!channel.response) return words({awaited, 0, 0, 0, 0, 0});
  const MostControlMessage& response = *channel.response;
  const size_t chunk = std::min(response.data.size(), maxAnswerBytes_ - kResponseHead);
  const bool whole = chunk == response.data.size();
  Bytes data = words({static_cast<uint32_t>(kResponseThere | (whole ? kResponseWhole : 0) | awaited), 0});
  appendMessageHead(data, response);
  appendLittleEndian(data, chunk, 4);
  data.insert(data.end(), response.data.begin(), response.data.begin() + static_cast<ptrdiff_t>(chunk));
  channel.responseRead = chunk;
  if (whole) channel.response.reset();
  return data;
}

Bytes MostAmsFirmware::responsePiece(Channel& channel) {
  if (!channel.response) return words({kLastPiece, 0});
  const Bytes& all = channel.response->data;
  const size_t piece = std::min(all.size() - channel.responseRead, maxAnswerBytes_ - kPieceHead);
  const bool last = channel.responseRead + piece == all.size();
  Bytes data = words({last ? kLastPiece : 0u, static_cast<uint32_t>(piece)});
  const auto from = all.begin() + static_cast<ptrdiff_t>(channel.responseRead);
  data.insert(data.end(), from, from + static_cast<ptrdiff_t>(piece));
  channel.responseRead += piece;
  if (last) channel.response.reset();
  return data;
}

std::vector<Bytes> MostAmsFirmware::responseFrames(Channel& channel, uint8_t number) {
  std::vector<Bytes> frames;
  if (!channel.response) return frames;
  frames.push_back(head(kResponse, number));
  const Bytes first = responseHead(channel);
  frames.back().insert(frames.back().end(), first.begin(), first.end());
  while (channel.response) {
    frames.push_back(head(kResponsePiece, number));
    const Bytes piece = responsePiece(channel);
    frames.back().insert(frames.back().end(), piece.begin(), piece.end());
  }
  return frames;
}

std::vector<Bytes> MostAmsFirmware::rxBufferFrames(Node& node) {
  std::vector<Bytes> frames;
  const auto listening =
      std::ranges::find_if(node.channels, [](const Channel& channel) { return channel.rxNotifications; });
  if (listening == node.channels.end()) return frames;
  const uint8_t number = static_cast<uint8_t>(listening - node.channels.begin() + 1);
  const size_t maxPiece = maxAnswerBytes_ - kNotificationHead - kBlockHead;
  Bytes blocks;
  const auto flush = [&] {
    if (blocks.empty()) return;
    frames.push_back(head(kRxBufferMessages, number));
    appendLittleEndian(frames.back(), blocks.size(), 4);
    frames.back().insert(frames.back().end(), blocks.begin(), blocks.end());
    blocks.clear();
  };
  while (!node.rxBuffer.empty()) {
    Bytes message;
    appendMessageHead(message, node.rxBuffer.front());
    message.insert(message.end(), node.rxBuffer.front().data.begin(), node.rxBuffer.front().data.end());
    node.rxBuffer.pop_front();
    const uint8_t more = node.rxBuffer.empty() ? 0 : kBlockMoreFollow;
    for (size_t at = 0; at < message.size();) {
      const size_t piece = std::min(message.size() - at, maxPiece);
      const size_t blockBytes = (kBlockHead + piece + 3) & ~size_t{3};
      if (kNotificationHead + blocks.size() + blockBytes > maxAnswerBytes_) flush();
      const uint8_t flags = (at == 0 ? kBlockFirst : 0) | (at + piece == message.size() ? kBlockLast : 0) | more;
      appendLittleEndian(blocks, piece, 2);
      blocks.push_back(0);
      blocks.push_back(flags);
      appendLittleEndian(blocks, at == 0 ? message.size() : at, 4);
      blocks.insert(blocks.end(), message.begin() + static_cast<ptrdiff_t>(at),
                    message.begin() + static_cast<ptrdiff_t>(at + piece));
      blocks.resize((blocks.size() + 3) & ~size_t{3}, 0);
      at += piece;
    }
  }
  flush();
  return frames;
}

void MostAmsFirmware::heard(uint8_t interfaceNumber, const MostControlMessage& telegram) {
  std::vector<Bytes> frames;
  {
    std::lock_guard lock(mutex_);
    Node& node = *nodes_.at(interfaceNumber);
    if (telegram.targetAddress != node.address) return;
    std::optional<MostControlMessage> message = node.joiner.take(telegram);
    if (!message) return;
    for (Channel& channel : node.channels) channel.expire();
    const auto awaiting =
        std::ranges::find_if(node.channels, [&](const Channel& channel) { return channel.answers(*message); });
    if (awaiting == node.channels.end()) {
      node.rxBuffer.push_back(*std::move(message));
      frames = rxBufferFrames(node);
    } else {
      awaiting->awaited.reset();
      awaiting->response = *std::move(message);
      if (awaiting->responseNotifications) {
        frames = responseFrames(*awaiting, static_cast<uint8_t>(awaiting - node.channels.begin() + 1));
      }
    }
  }
  notify(interfaceNumber, std::move(frames));
}

void MostAmsFirmware::notify(uint8_t interfaceNumber, std::vector<Bytes> frames) {
  if (frames.empty()) return;
  std::optional<FirmwareMessageHeader> application;
  {
    std::lock_guard lock(mutex_);
    application = nodes_.at(interfaceNumber)->application;
  }
  if (!application) return;
  FirmwareMessageHeader header = *application;
  header.command = kAmsCommand;
  for (const Bytes& data : frames) {
    device_.sendToApplication(header.App, Reply(answerFrame(header, QOR_FRAME_RESPONSE, data)));
  }
}

}  // namespace qor::emulator
