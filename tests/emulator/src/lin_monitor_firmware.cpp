#include "qor_emulator/lin_monitor_firmware.hpp"

#include <algorithm>
#include <utility>

namespace qor::emulator {
namespace {

constexpr uint32_t kTicksPerTimeStamp = 400;
constexpr uint32_t kNanosecondsPerTick = 25;
constexpr size_t kByteTimes = 9;

enum SubFunction : uint32_t { kFilter = 5, kConfigure = 8, kStart = 12 };
enum ListSwitch : uint32_t { kNormalOff = 0, kNormalOn = 2, kSmallOff = 0x01000000, kSmallOn = 0x01000002 };
enum ItemKind : uint8_t { kNormalItem = 0, kSmallItem = 1, kAdvancedItem = 2 };

uint32_t ticks(uint64_t ns) { return static_cast<uint32_t>(ns / kNanosecondsPerTick); }

void appendData(Bytes& out, const LinFrame& frame) {
  Bytes data(kLinMaxDataBytes, 0);
  std::copy(frame.data.begin(), frame.data.end(), data.begin());
  out.insert(out.end(), data.begin(), data.end());
}

// Nine byte times from a function of the byte's index, 0 past the checksum.
template <class Time>
void appendByteTimes(Bytes& out, const LinTiming& timing, Time time) {
  for (size_t byte = 0; byte < kByteTimes; ++byte) {
    appendLittleEndian(out, byte < timing.byteEndNs.size() ? ticks(time(byte)) : 0, 4);
  }
}

void appendOtherTimes(Bytes& out, const LinTiming& timing) {
  appendLittleEndian(out, ticks(timing.syncNs), 4);
  appendLittleEndian(out, ticks(timing.identifierNs), 4);
  appendLittleEndian(out, ticks(timing.responseNs()), 4);
}

Bytes bufferItem(uint8_t kind, const LinFrame& frame, const LinTiming& timing) {
  Bytes item;
  item.reserve(140);
  item.insert(item.end(), {frame.frameId, static_cast<uint8_t>(frame.data.size()), frame.state});
  appendData(item, frame);
  item.push_back(0);
  appendLittleEndian(item, static_cast<uint32_t>(timing.startNs / kTicksPerTimeStamp), 4);
  appendLittleEndian(item, ticks(timing.breakNs), 4);
  if (kind == kSmallItem) return item;
  appendOtherTimes(item, timing);
  appendByteTimes(item, timing, [&](size_t byte) { return timing.byteEndNs[byte]; });
  if (kind == kNormalItem) return item;
  appendByteTimes(item, timing, [&](size_t byte) { return timing.byteEndNs[byte] - timing.byteNs; });
  appendByteTimes(item, timing, [&](size_t) { return timing.byteNs; });
  return item;
}

uint8_t checkedKind(uint8_t kind) { return kind <= kAdvancedItem ? kind : uint8_t{kSmallItem}; }

}  // namespace

std::shared_ptr<LinMonitorFirmware> LinMonitorFirmware::attachTo(Device& device, LinBus& bus,
                                                                 std::initializer_list<uint8_t> interfaces) {
  std::shared_ptr<LinMonitorFirmware> firmware(new LinMonitorFirmware(device));
  device.onCommand(0x50, [firmware](const ReceivedFrame& frame) { return firmware->parameters(frame); });
  device.onCommand(0x54, [firmware](const ReceivedFrame& frame) { return firmware->listSwitch(frame); });
  device.onCommand(0xF4, [firmware](const ReceivedFrame& frame) { return firmware->listQuery(frame, false); });
  device.onCommand(0xF3, [firmware](const ReceivedFrame& frame) { return firmware->listQuery(frame, true); });
  for (uint8_t interfaceNumber : interfaces) {
    bus.attach(device, interfaceNumber);
    std::weak_ptr<LinMonitorFirmware> weak = firmware;
    bus.listen(device, interfaceNumber, [weak, interfaceNumber](const LinFrame& frame, const LinTiming& timing) {
      if (auto alive = weak.lock()) alive->heard(interfaceNumber, frame, timing);
    });
  }
  return firmware;
}

LinMonitorFirmware::LinMonitorFirmware(Device& device) : device_(device) {}

LinMonitorFirmware::Monitor& LinMonitorFirmware::monitor(uint8_t interfaceNumber) {
  return monitors_[interfaceNumber];
}

void LinMonitorFirmware::setItemsPerFrame(uint8_t interfaceNumber, uint32_t items) {
  std::lock_guard lock(mutex_);
  monitor(interfaceNumber).itemsPerFrame = std::max<uint32_t>(items, 1);
}

void LinMonitorFirmware::holdFrames(uint8_t interfaceNumber, bool hold) {
  std::lock_guard lock(mutex_);
  monitor(interfaceNumber).holding = hold;
}

std::vector<Bytes> LinMonitorFirmware::takeHeldFrames(uint8_t interfaceNumber) {
  std::lock_guard lock(mutex_);
  return std::exchange(monitor(interfaceNumber).held, {});
}

uint8_t LinMonitorFirmware::application(uint8_t interfaceNumber) const {
  std::lock_guard lock(mutex_);
  const auto found = monitors_.find(interfaceNumber);
  return found != monitors_.end() ? found->second.application : 0;
}

bool LinMonitorFirmware::bufferRunning(uint8_t interfaceNumber) const {
  std::lock_guard lock(mutex_);
  const auto found = monitors_.find(interfaceNumber);
  return found != monitors_.end() && found->second.running;
}

std::optional<Bytes> LinMonitorFirmware::filter(uint8_t interfaceNumber) const {
  std::lock_guard lock(mutex_);
  const auto found = monitors_.find(interfaceNumber);
  return found != monitors_.end() ? found->second.filter : std::nullopt;
}

uint64_t LinMonitorFirmware::itemsSent(uint8_t interfaceNumber) const {
  std::lock_guard lock(mutex_);
  const auto found = monitors_.find(interfaceNumber);
  return found != monitors_.end() ? found->second.sent : 0;
}

Reply LinMonitorFirmware::parameters(const ReceivedFrame& frame) {
  const auto body = frame.parameters();
  if (body.size() < 4) return frame.negativeAcknowledge(kLinMonitorRefusal, "record too short");
  const uint32_t subFunction = frame.parameterWord(0);
  std::lock_guard lock(mutex_);
  Monitor& state = monitor(frame.header().TPort);
  switch (subFunction) {
    case kConfigure:
      if (body.size() < 16) return frame.negativeAcknowledge(kLinMonitorRefusal, "record too short");
      state.itemKind = checkedKind(body[12]);
      break;
    case kStart:
      state.running = true;
      state.application = frame.header().App;
      state.pending.clear();
      state.waiting = 0;
      break;
    case kFilter:
      state.filter = Bytes(body.begin() + 4, body.end());
      break;
    default:
      return frame.negativeAcknowledge(kLinMonitorRefusal, "unknown sub-function");
  }
  return frame.response(words({subFunction}));
}

Reply LinMonitorFirmware::listSwitch(const ReceivedFrame& frame) {
  if (frame.parameters().size() < 4) return frame.negativeAcknowledge(kLinMonitorRefusal, "record too short");
  std::lock_guard lock(mutex_);
  Monitor& state = monitor(frame.header().TPort);
  switch (frame.parameterWord(0)) {
    case kSmallOn:
      state.smallList = true;
      break;
    case kSmallOff:
      state.smallList = false;
      break;
    case kNormalOn:
      state.normalList = true;
      break;
    case kNormalOff:
      state.normalList = false;
      state.running = false;
      break;
    default:
      return frame.negativeAcknowledge(kLinMonitorRefusal, "unknown list switch");
  }
  if (!state.smallList && !state.normalList) state.latest.clear();
  return frame.acknowledge();
}

Reply LinMonitorFirmware::listQuery(const ReceivedFrame& frame, bool normal) {
  if (frame.parameters().size() < 4) return frame.negativeAcknowledge(kLinMonitorRefusal, "record too short");
  const uint8_t frameId = frame.parameters()[0];
  Bytes answer{frameId, 0, 0, 0};
  std::lock_guard lock(mutex_);
  Monitor& state = monitor(frame.header().TPort);
  const auto heard = state.latest.find(frameId);
  const bool present = heard != state.latest.end() && (normal ? state.normalList : state.smallList);
  const size_t size = normal ? 76 : 28;
  if (!present) {
    answer.resize(size, 0);
    return frame.response(answer);
  }
  const Heard& entry = heard->second;
  appendLittleEndian(answer, 1, 4);
  answer.push_back(entry.frame.state);
  answer.push_back(static_cast<uint8_t>(entry.frame.data.size()));
  answer.push_back(entry.count);
  appendData(answer, entry.frame);
  answer.push_back(0);
  appendLittleEndian(answer, static_cast<uint32_t>(entry.timing.startNs / kTicksPerTimeStamp), 4);
  appendLittleEndian(answer, ticks(entry.timing.breakNs), 4);
  if (normal) {
    appendOtherTimes(answer, entry.timing);
    appendByteTimes(answer, entry.timing, [&](size_t byte) { return entry.timing.byteEndNs[byte]; });
  }
  return frame.response(answer);
}

void LinMonitorFirmware::heard(uint8_t interfaceNumber, const LinFrame& frame, const LinTiming& timing) {
  Bytes data;
  uint8_t application = 0;
  {
    std::lock_guard lock(mutex_);
    Monitor& state = monitor(interfaceNumber);
    if (state.smallList || state.normalList) {
      Heard& entry = state.latest[frame.frameId];
      entry = Heard{frame, timing, static_cast<uint8_t>(entry.count + 1)};
    }
    if (!state.running) return;
    const Bytes item = bufferItem(state.itemKind, frame, timing);
    state.pending.insert(state.pending.end(), item.begin(), item.end());
    if (++state.waiting < state.itemsPerFrame) return;
    data = words({state.waiting}, state.pending);
    state.sent += state.waiting;
    state.pending.clear();
    state.waiting = 0;
    application = state.application;
    if (state.holding) {
      state.held.push_back(std::move(data));
      return;
    }
  }
  device_.sendToApplication(application, kLinMonitorData, data);
}

}  // namespace qor::emulator
