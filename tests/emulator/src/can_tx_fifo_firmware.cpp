#include "qor_emulator/can_tx_fifo_firmware.hpp"

#include <algorithm>
#include <array>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <thread>

#include "qor_shared/byte_reader.hpp"

namespace qor::emulator {
namespace {

using Clock = std::chrono::steady_clock;

constexpr std::array<uint8_t, 16> kDataBytesOfDlc = {0, 1, 2, 3, 4, 5, 6, 7, 8, 12, 16, 20, 24, 32, 48, 64};
constexpr uint8_t kMaxDlc = 15;
constexpr uint32_t kClassicSlots = 1;
constexpr uint32_t kExtendedSlots = 2;
constexpr size_t kMessageHeadBytes = 8;
constexpr size_t kClassicRecordBytes = 16;
constexpr size_t kClassicDataBytes = 8;
constexpr size_t kTraceRecordHeadBytes = 12;
constexpr uint32_t kLongDataMarker = 1u << 30;
constexpr uint32_t kAppendFlag = 1u << 0;
constexpr uint16_t kTracePropertyCount = 2;
constexpr size_t kTraceAnswerBytes = 20;
// An idle wait of the drain wakes this often to look for a stop.
constexpr auto kIdleWake = std::chrono::milliseconds(100);
// A drain that fell behind by more than this starts its period afresh rather than sending a burst.
constexpr auto kLongestCatchUp = std::chrono::milliseconds(10);

enum TraceSubFunction : uint32_t { kAllocate, kFree, kDownload, kPlay, kState, kSetProperty, kGetProperty };
enum TraceState : uint32_t { kEmpty, kLoaded, kPlaying, kPlayed };

template <class T>
void put(Bytes& bytes, T value) {
  for (size_t index = 0; index < sizeof value; ++index) bytes.push_back(static_cast<uint8_t>(value >> (8 * index)));
}

bool allZero(std::span<const uint8_t> bytes) {
  return std::all_of(bytes.begin(), bytes.end(), [](uint8_t byte) { return byte == 0; });
}

size_t paddedTo4(size_t length) { return (length + 3) & ~size_t{3}; }

}  // namespace

struct CanTxFifoFirmware::Trace {
  std::vector<TraceRecord> records;
  std::vector<Download> downloads;
  std::array<uint32_t, kTracePropertyCount> properties{};
  uint32_t extraBits = 0;
  uint32_t played = 0;
  uint32_t waiting = 0;  // frames of a play not yet on the bus
  bool playStarted = false;

  uint32_t state() const {
    uint32_t state = kEmpty;
    if (waiting > 0) {
      state = kPlaying;
    } else if (playStarted) {
      state = kPlayed;
    } else if (!records.empty()) {
      state = kLoaded;
    }
    return state | extraBits;
  }
};

struct CanTxFifoFirmware::Node {
  struct Outgoing {
    CanFrame frame;
    uint32_t slots;      // of the FIFO; 0 for a trace's frame
    uint32_t traceHandle;  // 0 for the FIFO's
  };

  explicit Node(uint32_t slots) : freeSlots(slots) {}

  // A message of the FIFO, or lost when its slots are not free.
  void queue(CanFrame frame, uint32_t slotsTaken) {
    if (slotsTaken > freeSlots) {
      ++lost;
      return;
    }
    freeSlots -= slotsTaken;
    outgoing.push_back(Outgoing{std::move(frame), slotsTaken, 0});
  }

  Trace* findTrace(uint32_t handle) {
    const auto found = traces.find(handle);
    return found == traces.end() ? nullptr : &found->second;
  }

  uint32_t freeSlots;
  uint32_t lost = 0;
  uint64_t chunks = 0;
  uint64_t stateQueries = 0;
  std::deque<Outgoing> outgoing;
  bool sending = false;  // a frame taken from outgoing is on its way to the bus
  std::map<uint32_t, Trace> traces;
  uint32_t nextHandle = 1;
  std::thread sender;
};

std::shared_ptr<CanTxFifoFirmware> CanTxFifoFirmware::attachTo(Device& device, CanBus& bus, uint32_t slots,
                                                               uint32_t framesPerSecond) {
  std::shared_ptr<CanTxFifoFirmware> firmware(new CanTxFifoFirmware(device, bus, slots, framesPerSecond));
  const std::weak_ptr<CanTxFifoFirmware> weak = firmware;
  const Handler handler = [weak](const ReceivedFrame& frame) -> Reply {
    if (const auto alive = weak.lock()) return alive->answer(frame);
    return frame.negativeAcknowledge(kCanTxFirmwareRefusal, "no firmware");
  };
  for (uint8_t command : {kTxFifoResetCommand, kTxFifoMessageCommand, kTxFifoClassicChunkCommand, kTxFifoStateCommand,
                          kTxFifoExtendedChunkCommand, kTxTraceCommand}) {
    device.onCommand(command, handler);
  }
  return firmware;
}

CanTxFifoFirmware::CanTxFifoFirmware(Device& device, CanBus& bus, uint32_t slots, uint32_t framesPerSecond)
    : device_(device), bus_(bus), slots_(slots), framesPerSecond_(framesPerSecond) {}

CanTxFifoFirmware::~CanTxFifoFirmware() {
  {
    const std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  for (auto& [number, node] : nodes_) node->sender.join();
}

void CanTxFifoFirmware::setBusRate(uint32_t framesPerSecond) {
  {
    const std::lock_guard lock(mutex_);
    framesPerSecond_ = framesPerSecond;
  }
  changed_.notify_all();
}

void CanTxFifoFirmware::setTraceStateBits(uint8_t interfaceNumber, uint32_t handle, uint32_t bits) {
  const std::lock_guard lock(mutex_);
  if (Trace* trace = node(interfaceNumber).findTrace(handle)) trace->extraBits = bits;
}

bool CanTxFifoFirmware::waitUntilSent(uint8_t interfaceNumber, uint32_t timeoutMs) {
  std::unique_lock lock(mutex_);
  Node& entry = node(interfaceNumber);
  return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                           [&] { return entry.outgoing.empty() && !entry.sending; });
}

uint32_t CanTxFifoFirmware::freeSlots(uint8_t interfaceNumber) const {
  const std::lock_guard lock(mutex_);
  const Node* entry = findNode(interfaceNumber);
  return entry ? entry->freeSlots : slots_;
}

uint32_t CanTxFifoFirmware::lostMessages(uint8_t interfaceNumber) const {
  const std::lock_guard lock(mutex_);
  const Node* entry = findNode(interfaceNumber);
  return entry ? entry->lost : 0;
}

uint64_t CanTxFifoFirmware::chunks(uint8_t interfaceNumber) const {
  const std::lock_guard lock(mutex_);
  const Node* entry = findNode(interfaceNumber);
  return entry ? entry->chunks : 0;
}

uint64_t CanTxFifoFirmware::stateQueries(uint8_t interfaceNumber) const {
  const std::lock_guard lock(mutex_);
  const Node* entry = findNode(interfaceNumber);
  return entry ? entry->stateQueries : 0;
}

std::optional<std::vector<CanTxFifoFirmware::TraceRecord>> CanTxFifoFirmware::trace(uint8_t interfaceNumber,
                                                                                     uint32_t handle) const {
  const std::lock_guard lock(mutex_);
  const Node* entry = findNode(interfaceNumber);
  if (!entry || !entry->traces.contains(handle)) return std::nullopt;
  return entry->traces.at(handle).records;
}

std::vector<CanTxFifoFirmware::Download> CanTxFifoFirmware::downloads(uint8_t interfaceNumber,
                                                                      uint32_t handle) const {
  const std::lock_guard lock(mutex_);
  const Node* entry = findNode(interfaceNumber);
  if (!entry || !entry->traces.contains(handle)) return {};
  return entry->traces.at(handle).downloads;
}

std::optional<uint32_t> CanTxFifoFirmware::traceProperty(uint8_t interfaceNumber, uint32_t handle,
                                                         uint16_t id) const {
  const std::lock_guard lock(mutex_);
  const Node* entry = findNode(interfaceNumber);
  if (!entry || !entry->traces.contains(handle) || id >= kTracePropertyCount) return std::nullopt;
  return entry->traces.at(handle).properties[id];
}

CanTxFifoFirmware::Node& CanTxFifoFirmware::node(uint8_t interfaceNumber) {
  std::unique_ptr<Node>& entry = nodes_[interfaceNumber];
  if (!entry) {
    entry = std::make_unique<Node>(slots_);
    entry->sender = std::thread([this, interfaceNumber, node = entry.get()] { drain(interfaceNumber, *node); });
  }
  return *entry;
}

const CanTxFifoFirmware::Node* CanTxFifoFirmware::findNode(uint8_t interfaceNumber) const {
  const auto found = nodes_.find(interfaceNumber);
  return found == nodes_.end() ? nullptr : found->second.get();
}

// One frame per bus period, in order; the first after an idle spell takes a whole period too.
void CanTxFifoFirmware::drain(uint8_t interfaceNumber, Node& node) {
  std::unique_lock lock(mutex_);
  bool idle = true;
  Clock::time_point due;
  while (!stopping_) {
    if (node.outgoing.empty() || framesPerSecond_ == 0) {
      idle = true;
      changed_.wait_for(lock, kIdleWake);
      continue;
    }
    const auto period = std::chrono::duration_cast<Clock::duration>(std::chrono::seconds(1)) / framesPerSecond_;
    const auto now = Clock::now();
    if (idle || now - due > kLongestCatchUp) due = now + period;
    idle = false;
    if (now < due) {
      changed_.wait_until(lock, due);
      continue;
    }
    Node::Outgoing next = std::move(node.outgoing.front());
    node.outgoing.pop_front();
    node.freeSlots += next.slots;
    node.sending = true;
    lock.unlock();
    bus_.transmit(device_, interfaceNumber, next.frame);
    lock.lock();
    node.sending = false;
    if (Trace* trace = next.traceHandle != 0 ? node.findTrace(next.traceHandle) : nullptr) {
      ++trace->played;
      --trace->waiting;
    }
    due += period;
    changed_.notify_all();
  }
}

Reply CanTxFifoFirmware::answer(const ReceivedFrame& frame) {
  const std::span<const uint8_t> parameters = frame.parameters();
  const auto refuse = [&](const char* text) { return Reply(frame.negativeAcknowledge(kCanTxFirmwareRefusal, text)); };
  std::unique_lock lock(mutex_);
  Node& entry = node(frame.header().TPort);
  if (frame.command() == kTxTraceCommand) return answerTrace(frame, entry);

  switch (frame.command()) {
    case kTxFifoResetCommand:
      for (const Node::Outgoing& waiting : entry.outgoing) entry.freeSlots += waiting.slots;
      std::erase_if(entry.outgoing, [](const Node::Outgoing& waiting) { return waiting.traceHandle == 0; });
      break;
    case kTxFifoStateCommand: {
      ++entry.stateQueries;
      Bytes data;
      put(data, entry.freeSlots);
      put(data, entry.lost);
      return frame.response(data);
    }
    case kTxFifoMessageCommand: {
      const uint8_t dlc = parameters.size() >= kMessageHeadBytes ? parameters[4] : 0;
      if (dlc > kMaxDlc || parameters.size() != kMessageHeadBytes + kDataBytesOfDlc[dlc] ||
          !allZero(parameters.subspan(5, 3))) {
        return refuse("broken message");
      }
      const auto data = parameters.subspan(kMessageHeadBytes);
      entry.queue(CanFrame{*readAt<uint32_t>(parameters, 0), 0, dlc, Bytes(data.begin(), data.end())}, kClassicSlots);
      break;
    }
    case kTxFifoClassicChunkCommand: {
      const uint32_t count = frame.parameterWord(0);
      if (parameters.size() < 4 || (parameters.size() - 4) / kClassicRecordBytes != count ||
          (parameters.size() - 4) % kClassicRecordBytes != 0) {
        return refuse("broken chunk");
      }
      ++entry.chunks;
      for (uint32_t index = 0; index < count; ++index) {
        const auto record = parameters.subspan(4 + index * kClassicRecordBytes, kClassicRecordBytes);
        if (!allZero(record.subspan(5, 3))) return refuse("reserved bytes");
        const auto data = record.subspan(kMessageHeadBytes, std::min<size_t>(record[4], kClassicDataBytes));
        entry.queue(CanFrame{*readAt<uint32_t>(record, 0), 0, record[4], Bytes(data.begin(), data.end())},
                    kClassicSlots);
      }
      break;
    }
    case kTxFifoExtendedChunkCommand: {
      if (parameters.empty()) return refuse("empty chunk");
      ++entry.chunks;
      for (auto rest = parameters; !rest.empty();) {
        const uint8_t dlc = rest.size() >= kMessageHeadBytes ? rest[4] : 0;
        const size_t length = dlc <= kMaxDlc ? paddedTo4(kMessageHeadBytes + kDataBytesOfDlc[dlc]) : 0;
        if (length == 0 || rest.size() < length || rest[5] > 1 || rest[6] > 3 || rest[7] != 0) {
          return refuse("broken record");
        }
        const auto data = rest.subspan(kMessageHeadBytes, kDataBytesOfDlc[dlc]);
        entry.queue(CanFrame{*readAt<uint32_t>(rest, 0), rest[6], dlc, Bytes(data.begin(), data.end())},
                    kExtendedSlots);
        rest = rest.subspan(length);
      }
      break;
    }
    default:
      return refuse("unknown command");
  }
  lock.unlock();
  changed_.notify_all();
  return frame.acknowledge();
}

Reply CanTxFifoFirmware::answerTrace(const ReceivedFrame& frame, Node& node) {
  const auto refuse = [&](const char* text) { return Reply(frame.negativeAcknowledge(kCanTxFirmwareRefusal, text)); };
  const std::span<const uint8_t> parameters = frame.parameters();
  if (parameters.size() < 8) return refuse("short request");
  const uint32_t subFunction = frame.parameterWord(0);
  uint32_t handle = frame.parameterWord(4);
  std::array<uint32_t, 3> words{};  // of the answer, after the sub-function and the handle

  if (subFunction == kAllocate) {
    handle = 0;
    words[0] = node.nextHandle++;
    node.traces.emplace(words[0], Trace{});
  } else {
    Trace* trace = node.findTrace(handle);
    if (trace == nullptr) return refuse("unknown handle");
    switch (subFunction) {
      case kFree:
        if (trace->waiting > 0) return refuse("trace playing");
        node.traces.erase(handle);
        break;
      case kDownload: {
        if (parameters.size() < 16) return refuse("short download");
        const uint32_t flags = frame.parameterWord(8);
        const uint32_t count = frame.parameterWord(12);
        std::vector<TraceRecord> records;
        auto rest = parameters.subspan(16);
        for (uint32_t index = 0; index < count; ++index) {
          const uint8_t dlc = rest.size() >= kTraceRecordHeadBytes ? rest[8] : 0xFF;
          if (dlc > kMaxDlc) return refuse("broken record");
          const size_t dataBytes = kDataBytesOfDlc[dlc];
          const size_t length = kTraceRecordHeadBytes + std::max(dataBytes, kClassicDataBytes);
          const uint32_t identifier = *readAt<uint32_t>(rest, 4);
          if (rest.size() < length || ((identifier & kLongDataMarker) != 0) != (dataBytes > kClassicDataBytes)) {
            return refuse("broken record");
          }
          const auto data = rest.subspan(kTraceRecordHeadBytes, dataBytes);
          records.push_back(TraceRecord{*readAt<uint32_t>(rest, 0), identifier, dlc, {rest[9], rest[11], rest[10]},
                                        Bytes(data.begin(), data.end())});
          rest = rest.subspan(length);
        }
        if (!rest.empty()) return refuse("bytes after the records");
        if ((flags & kAppendFlag) == 0) trace->records.clear();
        trace->records.insert(trace->records.end(), records.begin(), records.end());
        trace->downloads.push_back(Download{flags, count});
        trace->playStarted = false;
        break;
      }
      case kPlay:
        for (const TraceRecord& record : trace->records) {
          node.outgoing.push_back(
              Node::Outgoing{CanFrame{record.identifier & ~kLongDataMarker, 0, record.dlc, record.data}, 0, handle});
        }
        trace->waiting += static_cast<uint32_t>(trace->records.size());
        trace->played = 0;
        trace->playStarted = true;
        changed_.notify_all();
        break;
      case kState:
        words = {trace->state(), static_cast<uint32_t>(trace->records.size()), trace->played};
        break;
      case kSetProperty:
      case kGetProperty: {
        const uint32_t id = frame.parameterWord(8) & 0xFFFF;
        if (id >= kTracePropertyCount || parameters.size() < (subFunction == kSetProperty ? 16u : 12u)) {
          return refuse("unknown property");
        }
        if (subFunction == kSetProperty) {
          trace->properties[id] = frame.parameterWord(12);
        } else {
          words = {id, trace->properties[id], 0};
        }
        break;
      }
      default:
        return refuse("unknown sub-function");
    }
  }
  Bytes data;
  put(data, subFunction);
  put(data, handle);
  for (uint32_t word : words) put(data, word);
  data.resize(kTraceAnswerBytes);
  return frame.response(data);
}

}  // namespace qor::emulator
