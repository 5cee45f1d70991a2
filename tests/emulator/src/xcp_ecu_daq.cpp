// The DAQ lists of the emulated ECU: the allocation and configuration commands, and the clock that sends DTOs.
#include <algorithm>

#include "qor_emulator/xcp_ecu.hpp"

namespace qor::emulator {
namespace {

using namespace xcp_protocol;

std::vector<Bytes> error(uint8_t code) { return {{kXcpErrorPacket, code}}; }
std::vector<Bytes> ok() { return {{kXcpPositiveAnswer}}; }

}  // namespace

uint16_t EmulatedEcu::fromSlave16(std::span<const uint8_t> packet, size_t offset) const {
  const uint16_t first = packet[offset];
  const uint16_t second = packet[offset + 1];
  return static_cast<uint16_t>((ecu_.slave.commModeBasic & 1) != 0 ? first << 8 | second : second << 8 | first);
}

void EmulatedEcu::put16(Bytes& packet, uint16_t value) const {
  const auto low = static_cast<uint8_t>(value);
  const auto high = static_cast<uint8_t>(value >> 8);
  const bool big = (ecu_.slave.commModeBasic & 1) != 0;
  packet.push_back(big ? high : low);
  packet.push_back(big ? low : high);
}

std::optional<size_t> EmulatedEcu::listIndex(std::span<const uint8_t> packet) const {
  const uint16_t number = fromSlave16(packet, 2);
  if (number < ecu_.minDaq || size_t{number} - ecu_.minDaq >= daqLists_.size()) return std::nullopt;
  return size_t{number} - ecu_.minDaq;
}

uint8_t EmulatedEcu::absoluteOdt(size_t list) const {
  size_t odts = 0;
  for (size_t index = 0; index < list; ++index) odts += daqLists_[index].odts.size();
  return static_cast<uint8_t>(ecu_.firstPid + odts);
}

bool EmulatedEcu::daqRunning() const {
  const std::lock_guard lock(ecuMutex_);
  return daqRunning_;
}

std::vector<Bytes> EmulatedEcu::daqPackets() const {
  const std::lock_guard lock(ecuMutex_);
  return packetsOfCycle();
}

std::vector<Bytes> EmulatedEcu::packetsOfCycle() const {
  std::vector<Bytes> packets;
  if (!daqRunning_) return packets;
  const uint8_t identification = ecu_.daqKeyByte >> 6;
  for (size_t index = 0; index < daqLists_.size(); ++index) {
    const DaqList& list = daqLists_[index];
    if (!list.running) continue;
    const auto number = static_cast<uint16_t>(ecu_.minDaq + index);
    for (size_t odt = 0; odt < list.odts.size(); ++odt) {
      Bytes packet;
      if (identification == 0) {
        packet.push_back(static_cast<uint8_t>(absoluteOdt(index) + odt));
      } else {
        packet.push_back(static_cast<uint8_t>(odt));
        if (identification == 1) packet.push_back(static_cast<uint8_t>(number));
        if (identification == 3) packet.push_back(0);
        if (identification >= 2) put16(packet, number);
      }
      for (const DaqEntry& entry : list.odts[odt]) {
        Bytes bytes(entry.size, 0);
        if (inImage(entry.address, entry.size)) {
          std::copy_n(image_.begin() + (entry.address - ecu_.memoryBase), entry.size, bytes.begin());
        }
        if (entry.bitOffset != 0xFF) {
          const uint8_t byte = bytes[0];
          std::fill(bytes.begin(), bytes.end(), 0);
          bytes[0] = (byte >> (entry.bitOffset & 7)) & 1;
        }
        packet.insert(packet.end(), bytes.begin(), bytes.end());
      }
      packets.push_back(std::move(packet));
    }
  }
  return packets;
}

void EmulatedEcu::plugged(XcpSlaveOutlet* outlet) {
  const std::lock_guard lock(outletMutex_);
  outlet_ = outlet;
}

void EmulatedEcu::runDaqClock() {
  std::unique_lock lock(ecuMutex_);
  while (!clockWake_.wait_for(lock, ecu_.daqPeriod, [this] { return clockStopping_; })) {
    std::vector<Bytes> packets = packetsOfCycle();
    if (packets.empty()) continue;
    lock.unlock();
    {
      const std::lock_guard sending(outletMutex_);
      for (Bytes& packet : packets) {
        if (outlet_ != nullptr) outlet_->sendData(std::move(packet));
      }
    }
    lock.lock();
  }
}

void EmulatedEcu::registerDaqCommands() {
  // A DAQ command on a locked DAQ resource, or too short, is refused before it acts.
  const auto daq = [this](size_t length, auto body) {
    return locking([this, length, body](std::span<const uint8_t> packet) -> std::vector<Bytes> {
      if ((locked_ & kResourceDaq) != 0) return error(kErrAccessLocked);
      if (packet.size() < length) return error(kXcpErrorSyntax);
      return body(packet);
    });
  };
  on(kGetDaqProcessorInfo, daq(1, [this](std::span<const uint8_t>) {
       Bytes answer = {kXcpPositiveAnswer, 0x01};  // dynamic configuration
       put16(answer, ecu_.maxDaq);
       put16(answer, 1);  // event channels
       answer.push_back(ecu_.minDaq);
       answer.push_back(ecu_.daqKeyByte);
       return std::vector<Bytes>{answer};
     }));
  on(kGetDaqResolutionInfo, daq(1, [this](std::span<const uint8_t>) {
       return std::vector<Bytes>{{kXcpPositiveAnswer, ecu_.odtEntryGranularity, ecu_.maxOdtEntrySize,
                                  ecu_.odtEntryGranularity, ecu_.maxOdtEntrySize, 0, 0, 0}};
     }));
  on(kFreeDaq, daq(1, [this](std::span<const uint8_t>) {
       daqLists_.clear();
       daqRunning_ = false;
       return ok();
     }));
  on(kAllocDaq, daq(4, [this](std::span<const uint8_t> packet) -> std::vector<Bytes> {
       if (!daqLists_.empty()) return error(kErrSequence);
       const uint16_t count = fromSlave16(packet, 2);
       if (count > ecu_.maxDaq - ecu_.minDaq) return error(kErrMemoryOverflow);
       daqLists_.resize(count);
       return ok();
     }));
  on(kAllocOdt, daq(5, [this](std::span<const uint8_t> packet) -> std::vector<Bytes> {
       const auto index = listIndex(packet);
       if (!index) return error(kErrOutOfRange);
       DaqList& list = daqLists_[*index];
       if (!list.odts.empty()) return error(kErrSequence);
       if (packet[4] > 252) return error(kErrMemoryOverflow);
       list.odts.resize(packet[4]);
       list.written.assign(packet[4], 0);
       return ok();
     }));
  on(kAllocOdtEntry, daq(6, [this](std::span<const uint8_t> packet) -> std::vector<Bytes> {
       const auto index = listIndex(packet);
       if (!index) return error(kErrOutOfRange);
       DaqList& list = daqLists_[*index];
       if (packet[4] >= list.odts.size()) return error(kErrOutOfRange);
       list.odts[packet[4]].resize(packet[5], DaqEntry{0xFF, 0, 0});
       return ok();
     }));
  on(kSetDaqPtr, daq(6, [this](std::span<const uint8_t> packet) -> std::vector<Bytes> {
       const auto index = listIndex(packet);
       if (!index) return error(kErrOutOfRange);
       const DaqList& list = daqLists_[*index];
       if (packet[4] >= list.odts.size() || packet[5] >= list.odts[packet[4]].size()) return error(kErrOutOfRange);
       daqList_ = *index;
       daqOdt_ = packet[4];
       daqEntry_ = packet[5];
       return ok();
     }));
  on(kWriteDaq, daq(8, [this](std::span<const uint8_t> packet) -> std::vector<Bytes> {
       if (daqList_ >= daqLists_.size() || daqOdt_ >= daqLists_[daqList_].odts.size()) return error(kErrSequence);
       std::vector<DaqEntry>& entries = daqLists_[daqList_].odts[daqOdt_];
       if (daqEntry_ >= entries.size()) return error(kErrOutOfRange);
       const uint8_t size = packet[2];
       if (size == 0 || size > ecu_.maxOdtEntrySize || size % ecu_.odtEntryGranularity != 0) {
         return error(kErrOutOfRange);
       }
       entries[daqEntry_++] = DaqEntry{packet[1], size, fromSlave32(packet, 4)};
       return ok();
     }));
  on(kSetDaqListMode, daq(8, [this](std::span<const uint8_t> packet) -> std::vector<Bytes> {
       const auto index = listIndex(packet);
       if (!index) return error(kErrOutOfRange);
       daqLists_[*index].eventChannel = fromSlave16(packet, 4);
       return ok();
     }));
  on(kStartStopDaqList, daq(4, [this](std::span<const uint8_t> packet) -> std::vector<Bytes> {
       const auto index = listIndex(packet);
       if (!index || packet[1] > 2) return error(kErrOutOfRange);
       DaqList& list = daqLists_[*index];
       list.selected = packet[1] == 2;
       list.running = packet[1] == 1;
       return std::vector<Bytes>{{kXcpPositiveAnswer, absoluteOdt(*index)}};
     }));
  on(kStartStopSynch, daq(2, [this](std::span<const uint8_t> packet) -> std::vector<Bytes> {
       if (packet[1] > 2) return error(kErrOutOfRange);
       for (DaqList& list : daqLists_) {
         if (packet[1] == 0) list.running = false;
         if (list.selected) list.running = packet[1] == 1;
         if (packet[1] != 0) list.selected = false;
       }
       daqRunning_ = std::any_of(daqLists_.begin(), daqLists_.end(), [](const DaqList& list) { return list.running; });
       return ok();
     }));
}

}  // namespace qor::emulator
