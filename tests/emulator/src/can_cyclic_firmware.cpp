#include "qor_emulator/can_cyclic_firmware.hpp"

#include <algorithm>
#include <stdexcept>

#include "qor_shared/byte_reader.hpp"

namespace qor::emulator {
namespace {

enum Command : uint8_t {
  kDefine = 0x22,
  kChangeGroup = 0x23,
  kChangeCycleTime = 0x27,
  kStartGroup = 0x28,
  kStopGroup = 0x29,
  kDelete = 0x2A,
  kChange = 0x2E,
  kReadState = 0xF8,
};
enum ChangeSection : uint8_t {
  kSendState = 0x01,
  kGroup = 0x02,
  kOption = 0x04,
  kDlc = 0x08,
  kData = 0x10,
  kCycle = 0x20,
  kFurtherData = 0x40,
};

constexpr uint8_t kDataBytesOfDlc[16] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 12, 16, 20, 24, 32, 48, 64};
constexpr size_t kDefineHeadBytes = 10;
constexpr size_t kChangeHeadBytes = 12;
constexpr size_t kChangeDataOffset = 16;
constexpr size_t kChangeMaskOffset = 24;
constexpr size_t kCycleSectionOffset = 40;
constexpr size_t kFurtherSectionWithCycle = 52;
constexpr size_t kClassicBytes = 8;
constexpr uint8_t kSwitchedGroup = 1;
constexpr auto kIdleWait = std::chrono::milliseconds(100);

// The new bits where the mask has bits set, the old ones elsewhere.
void applyMasked(std::span<uint8_t> target, std::span<const uint8_t> data, std::span<const uint8_t> mask) {
  for (size_t index = 0; index < target.size(); ++index) {
    target[index] = static_cast<uint8_t>((target[index] & ~mask[index]) | (data[index] & mask[index]));
  }
}

Reply acknowledged(const ReceivedFrame& frame) {
  return frame.header().requestKind == QOR_REQUEST_ACKNOWLEDGE ? Reply(frame.acknowledge()) : Reply();
}

}  // namespace

CanCyclicFirmware::CanCyclicFirmware(const Device& device, CanBus& bus) : device_(device), bus_(bus) {
  clock_ = std::thread([this] { run(); });
}

CanCyclicFirmware::~CanCyclicFirmware() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  clock_.join();
}

std::shared_ptr<CanCyclicFirmware> CanCyclicFirmware::attachTo(Device& device, CanBus& bus) {
  std::shared_ptr<CanCyclicFirmware> firmware(new CanCyclicFirmware(device, bus));
  const std::weak_ptr<CanCyclicFirmware> weak = firmware;
  for (uint8_t command : {kDefine, kChangeGroup, kChangeCycleTime, kStartGroup, kStopGroup, kDelete, kChange,
                          kReadState}) {
    device.onCommand(command, [weak](const ReceivedFrame& frame) {
      const std::shared_ptr<CanCyclicFirmware> alive = weak.lock();
      return alive ? alive->answer(frame) : frame.negativeAcknowledge(kCanCyclicRefusal, "firmware gone");
    });
  }
  return firmware;
}

Reply CanCyclicFirmware::answer(const ReceivedFrame& frame) {
  Bytes response;
  if (!apply(frame.header().TPort, frame.command(), frame.parameters(), &response)) {
    return frame.negativeAcknowledge(kCanCyclicRefusal, "cyclic message refused");
  }
  wake_.notify_all();
  return frame.command() == kReadState ? Reply(frame.response(response)) : acknowledged(frame);
}

bool CanCyclicFirmware::apply(uint8_t interfaceNumber, uint8_t command, std::span<const uint8_t> record,
                              Bytes* response) {
  std::lock_guard lock(mutex_);
  if (command == kStartGroup || command == kStopGroup) {
    switchGroup(interfaceNumber, command == kStartGroup);
    return true;
  }
  if (command == kChange) return change(interfaceNumber, record);
  const std::optional<uint32_t> identifier = readAt<uint32_t>(record, 0);
  if (!identifier) return false;
  const Key key{interfaceNumber, *identifier};
  if (command == kDefine) {
    if (record.size() < kDefineHeadBytes || record[9] > 15) return false;
    Message message;
    message.cycleMs = *readAt<uint16_t>(record, 4);
    message.sending = record[6] != 0;
    message.group = record[7];
    message.option = record[8];
    message.dlc = record[9];
    const size_t length = std::min<size_t>(kDataBytesOfDlc[message.dlc], record.size() - kDefineHeadBytes);
    std::copy_n(record.begin() + kDefineHeadBytes, length, message.data.begin());
    message.next = Clock::now();
    messages_[key] = message;
    return true;
  }
  const auto found = messages_.find(key);
  if (found == messages_.end()) return false;
  Message& message = found->second;
  switch (command) {
    case kDelete:
      messages_.erase(found);
      return true;
    case kChangeGroup:
      if (record.size() < 5) return false;
      message.group = record[4];
      return true;
    case kChangeCycleTime: {
      const std::optional<uint16_t> cycleMs = readAt<uint16_t>(record, 4);
      if (!cycleMs) return false;
      message.next += std::chrono::milliseconds(*cycleMs) - std::chrono::milliseconds(message.cycleMs);
      message.cycleMs = *cycleMs;
      return true;
    }
    case kReadState:
      appendLittleEndian(*response, *identifier, 4);
      appendLittleEndian(*response, message.cycleMs, 2);
      response->insert(response->end(), {static_cast<uint8_t>(message.sending ? 1 : 0), message.group,
                                         message.option, message.dlc, 0, 0});
      response->insert(response->end(), message.data.begin(), message.data.end());
      return true;
    default:
      return false;
  }
}

bool CanCyclicFirmware::change(uint8_t interfaceNumber, std::span<const uint8_t> record) {
  const std::optional<uint32_t> identifier = readAt<uint32_t>(record, 4);
  if (!identifier || record.size() < kChangeHeadBytes) return false;
  const auto found = messages_.find(Key{interfaceNumber, *identifier});
  if (found == messages_.end()) return false;
  Message changed = found->second;
  const uint8_t flags = record[0];
  if ((flags & kSendState) != 0) {
    if (!changed.sending && record[8] != 0) changed.next = Clock::now();
    changed.sending = record[8] != 0;
  }
  if ((flags & kGroup) != 0) changed.group = record[9];
  if ((flags & kOption) != 0) changed.option = record[10];
  if ((flags & kDlc) != 0) {
    if (record[11] > 15) return false;
    changed.dlc = record[11];
  }
  if ((flags & kData) != 0) {
    if (record.size() < kCycleSectionOffset) return false;
    applyMasked(std::span(changed.data).first(kClassicBytes), record.subspan(kChangeDataOffset, kClassicBytes),
                record.subspan(kChangeMaskOffset, kClassicBytes));
  }
  if ((flags & kFurtherData) != 0) {
    const size_t offset = (flags & kCycle) != 0 ? kFurtherSectionWithCycle : kCycleSectionOffset;
    if (record.size() < offset + 4) return false;
    const size_t count = record[offset];
    if (count > changed.data.size() - kClassicBytes || record.size() < offset + 4 + 2 * count) return false;
    applyMasked(std::span(changed.data).subspan(kClassicBytes, count), record.subspan(offset + 4, count),
                record.subspan(offset + 4 + count, count));
  }
  found->second = changed;
  return true;
}

void CanCyclicFirmware::switchGroup(uint8_t interfaceNumber, bool sending) {
  for (auto& [key, message] : messages_) {
    if (key.first != interfaceNumber || message.group != kSwitchedGroup) continue;
    if (sending && !message.sending) message.next = Clock::now();
    message.sending = sending;
  }
}

void CanCyclicFirmware::run() {
  std::unique_lock lock(mutex_);
  while (!stopping_) {
    const Clock::time_point now = Clock::now();
    Clock::time_point wakeAt = now + kIdleWait;
    std::vector<std::pair<uint8_t, CanFrame>> due;
    for (auto& [key, message] : messages_) {
      if (!message.sending || message.cycleMs == 0) continue;
      if (message.next <= now) {
        due.emplace_back(key.first, CanFrame{key.second, 0, message.dlc,
                                             Bytes(message.data.begin(),
                                                   message.data.begin() + kDataBytesOfDlc[message.dlc])});
        const auto cycle = std::chrono::milliseconds(message.cycleMs);
        message.next += cycle;
        if (message.next <= now) message.next = now + cycle;  // a late clock goes on without a burst
      }
      wakeAt = std::min(wakeAt, message.next);
    }
    if (!due.empty()) {
      lock.unlock();
      for (const auto& [interfaceNumber, frame] : due) {
        try {
          bus_.transmit(device_, interfaceNumber, frame);
        } catch (const std::invalid_argument&) {
          // An interface not on the bus sends into the void.
        }
      }
      lock.lock();
      continue;
    }
    wake_.wait_until(lock, wakeAt);
  }
}

}  // namespace qor::emulator
