#include "bus.hpp"

#include <algorithm>
#include <array>
#include <cstring>

#include "bus_generator.hpp"

namespace MDF {
namespace {

constexpr size_t kHeadLength = 28;

// The fields of a trace record, bounded by its length: a field beyond it reads as 0.
class RecordView {
 public:
  explicit RecordView(std::span<const uint8_t> bytes) : bytes_(bytes) {}

  template <typename T>
  T At(size_t offset) const {
    T value{};
    if (offset + sizeof(T) <= bytes_.size()) std::memcpy(&value, bytes_.data() + offset, sizeof(T));
    return value;
  }
  uint8_t Byte(size_t offset) const { return At<uint8_t>(offset); }
  // At most `count` bytes from `offset`, as many as the record holds.
  std::span<const uint8_t> Bytes(size_t offset, size_t count) const {
    if (offset >= bytes_.size()) return {};
    return bytes_.subspan(offset, std::min(count, bytes_.size() - offset));
  }

 private:
  std::span<const uint8_t> bytes_;
};

uint8_t CanDataBytes(uint8_t dlc) {
  static constexpr std::array<uint8_t, 16> kBytes{0, 1, 2, 3, 4, 5, 6, 7, 8, 12, 16, 20, 24, 32, 48, 64};
  return dlc < kBytes.size() ? kBytes[dlc] : 0;
}

// Error-flag bytes of a CAN error frame by error code, received and transmitted.
struct CanErrorFlags {
  std::array<uint8_t, 3> received;
  std::array<uint8_t, 3> transmitted;
};

CanErrorFlags CanErrorFlagsOf(uint8_t code, bool overrun) {
  static constexpr std::array<CanErrorFlags, 8> kByCode{{
      {{0xE1, 0xE1, 0x00}, {0xC1, 0xC1, 0x00}},
      {{0xA1, 0xA1, 0x00}, {0x81, 0x81, 0x00}},
      {{0x61, 0x61, 0x00}, {0x41, 0x41, 0x00}},
      {{0xE1, 0xE1, 0x01}, {0xC1, 0xC1, 0x01}},
      {{0x2D, 0x2D, 0x00}, {0x0D, 0x0D, 0x00}},
      {{0x29, 0x29, 0x00}, {0x09, 0x09, 0x00}},
      {{0x30, 0x31, 0x01}, {0x10, 0x11, 0x01}},
      {{0x21, 0x21, 0x00}, {0x01, 0x01, 0x00}},
  }};
  static constexpr CanErrorFlags kOverrun{{0x20, 0x22, 0x02}, {0x00, 0x02, 0x02}};
  if (code >= 1 && code <= 7) return kByCode[code];
  return overrun ? kOverrun : kByCode[0];
}

constexpr uint8_t kCanExtended = 0x01;
constexpr uint8_t kCanSent = 0x02;
constexpr uint8_t kCanErrorFrame = 0x04;
constexpr uint8_t kCanFd = 0x08;
constexpr uint8_t kCanTriggerEvent = 0x10;
constexpr uint8_t kCanBitRateSwitch = 0x20;
constexpr uint8_t kCanErrorState = 0x40;
constexpr uint8_t kCanOverrun = 0x80;

enum CanGroup : size_t { kCanDataFrame, kCanErrorFrameGroup };
enum LinGroup : size_t { kLinFrame, kLinChecksumError, kLinReceiveError, kLinSyncError, kLinTransmissionError,
                         kLinWakeup };
enum FlexRayGroup : size_t { kFlxFrame, kFlxError, kFlxStartCycle, kFlxState, kFlxSymbol };

}  // namespace

Bus::Bus(uint32_t channel, uint32_t type, DGBLOCK* group, CNBLOCK* signalChannel, FileStream& stream)
    : channel_(channel), type_(type) {
  Channel_New(group, stream);
  if (signalChannel != nullptr) {
    groups_.back().signalData = std::make_unique<DLBLOCK>(signalChannel, kBlocksPerList, true, stream);
  }
}

void Bus::Channel_New(DGBLOCK* group, FileStream& stream) {
  groups_.push_back({group, std::make_unique<DLBLOCK>(group, kBlocksPerList, true, stream), nullptr});
}

uint64_t Bus::CycleCount_Get() const {
  uint64_t total = 0;
  for (const ChannelGroup& group : groups_) total += group.cycleCount;
  return total;
}

bool Bus::Data_Insert(std::span<const uint8_t> record, uint64_t time) {
  switch (type_) {
    case Info::CAN: return Can_Insert(record, time);
    case Info::LIN: return Lin_Insert(record, time);
    case Info::FlexRay: return FlexRay_Insert(record, time);
    default: return false;
  }
}

bool Bus::Record_Store(size_t kind, const ByteWriter& record, std::span<const uint8_t> signalValue) {
  if (kind >= groups_.size()) return false;
  ChannelGroup& group = groups_[kind];
  if (group.signalData != nullptr) {
    // The value goes first and whole into one signal-data block, so the record never points at a missing value.
    ByteWriter value(4 + signalValue.size());
    value.Put(static_cast<uint32_t>(signalValue.size()));
    for (uint8_t byte : signalValue) value.Put(byte);
    if (!group.signalData->Insert(value.Bytes())) return false;
    group.signalBytes += value.Bytes().size();
  }
  if (!group.records->Insert(record.Bytes())) return false;
  ++group.cycleCount;
  return true;
}

bool Bus::Can_Insert(std::span<const uint8_t> bytes, uint64_t time) {
  const RecordView record(bytes);
  const uint8_t flags = record.Byte(40);
  // Trigger marks are no bus traffic; they must not turn into frames.
  if (flags & kCanTriggerEvent) return false;
  const uint32_t identifier =
      (record.At<uint32_t>(36) & 0x3FFFFFFF) | (static_cast<uint32_t>(flags & kCanExtended) << 31);
  const bool sent = flags & kCanSent;
  if (flags & (kCanErrorFrame | kCanOverrun)) {
    const CanErrorFlags errorFlags = CanErrorFlagsOf(record.Byte(44), flags & kCanOverrun);
    const auto& direction = sent ? errorFlags.transmitted : errorFlags.received;
    ByteWriter out(34);
    out.Put(time).Put(identifier).Put(uint8_t{0}).Put(uint8_t{sent ? uint8_t{0x80} : uint8_t{0}}).Put(uint8_t{0});
    for (uint8_t byte : {0, 0, 0, 0, 0, 0, 0xFF, 0xF5}) out.Put(byte);
    out.Zeros(4);
    for (uint8_t byte : {uint8_t{0x05}, uint8_t{0}, uint8_t{0}, uint8_t{0}}) out.Put(byte);
    for (uint8_t byte : direction) out.Put(byte);
    return Record_Store(kCanErrorFrameGroup, out);
  }
  const uint8_t dlc = record.Byte(42);
  uint8_t dataLength = CanDataBytes(dlc);
  if (!(flags & kCanFd) && dataLength > 8) dataLength = 8;
  // Never more bytes than the record says it carries, nor than it holds.
  const std::span<const uint8_t> data = record.Bytes(44, std::min(dataLength, record.Byte(43)));
  dataLength = static_cast<uint8_t>(data.size());
  uint8_t flagsHigh = record.Byte(41) != 0 ? 0x08 : 0;
  if (flags & kCanFd) flagsHigh |= 0x10;
  if (flags & kCanBitRateSwitch) flagsHigh |= 0x20;
  if (flags & kCanErrorState) flagsHigh |= 0x40;
  ByteWriter out(26);
  out.Put(time).Put(identifier).Put(uint8_t{sent ? uint8_t{0x40} : uint8_t{0}}).Put(flagsHigh).Zeros(2);
  out.Put(dlc).Put(dataLength).Put(groups_[kCanDataFrame].signalBytes);
  return Record_Store(kCanDataFrame, out, data);
}

bool Bus::Lin_Insert(std::span<const uint8_t> bytes, uint64_t time) {
  const RecordView record(bytes);
  const uint16_t status = record.At<uint16_t>(30);
  const bool statusBit6 = status & 0x40;
  size_t kind;
  if ((status & 0x48) == 0x48) kind = kLinTransmissionError;
  else if ((status & 0x07) == 0 && (status & 0x90) != 0) return false;
  else if (status & 0x01) kind = kLinReceiveError;
  else if (status & 0x04) kind = kLinSyncError;
  else if (status & 0x02) kind = kLinChecksumError;
  else if (status & 0x20) kind = kLinWakeup;
  else kind = kLinFrame;

  const uint8_t count = record.Byte(32);
  // The count includes the checksum; the data field holds 8 bytes.
  const uint8_t dataLength = count == 0 ? 0 : std::min<uint8_t>(count - 1, 8);
  std::array<uint8_t, 8> data{};
  const auto received = record.Bytes(35, dataLength);
  std::copy(received.begin(), received.end(), data.begin());
  const uint8_t checksum = count == 0 ? 0 : record.Byte(35 + dataLength);
  const uint32_t bitTime = record.At<uint32_t>(44) >> 3;
  const double baudrate = bitTime == 0 ? 0.0 : 1.0 / (bitTime * 1e-9);
  const uint8_t identifier = record.Byte(33);

  ByteWriter out(36);
  out.Put(time);
  switch (kind) {
    case kLinFrame:
    case kLinChecksumError: {
      const bool checksumError = kind == kLinChecksumError;
      const uint8_t flag = checksumError ? (statusBit6 ? 0x0F : 0x03) : (statusBit6 ? 0x07 : 0x02);
      out.Put(identifier).Put(dataLength);
      for (uint8_t byte : data) out.Put(byte);
      out.Put(flag).Put(checksum).Put(time).Put(baudrate);
      break;
    }
    case kLinReceiveError:
      out.Put(identifier).Put(dataLength);
      for (uint8_t byte : data) out.Put(byte);
      out.Put(uint8_t{0x03}).Put(time).Put(baudrate).Put(uint8_t{0x13});
      break;
    case kLinSyncError: out.Put(time).Put(baudrate); break;
    case kLinTransmissionError: out.Put(identifier).Put(dataLength).Put(uint8_t{0x01}).Put(time).Put(baudrate); break;
    default: out.Put(time).Put(baudrate).Put(dataLength).Put(uint8_t{statusBit6 ? uint8_t{0x00} : uint8_t{0x04}});
  }
  return Record_Store(kind, out);
}

bool Bus::FlexRay_Insert(std::span<const uint8_t> bytes, uint64_t time) {
  const RecordView record(bytes);
  const uint16_t type = record.At<uint16_t>(30);
  const uint8_t selector = record.Byte(40);
  switch (type) {
    case 1:
    case 2: {
      if (selector > 2) return true;
      const uint8_t indicator = record.Byte(41);
      // A payload longer than the length byte can tell, or than the record holds, is cut to what fits both.
      const size_t words = std::min<size_t>({record.Byte(45), 127, (bytes.size() > 48 ? bytes.size() - 48 : 0) / 2});
      const auto payload = record.Bytes(48, 2 * words);
      uint8_t frameFlags = 0;
      if (indicator & 0x04) frameFlags |= 0x01;
      if (indicator & 0x08) frameFlags |= 0x04;
      if (indicator & 0x10) frameFlags |= 0x08;
      if (indicator & 0x02) frameFlags |= 0x10;
      for (bool channelB : {false, true}) {
        if ((selector == 0 && channelB) || (selector == 1 && !channelB)) continue;
        uint8_t cycle = record.Byte(44) & 63;
        if (channelB) cycle |= 0x40;
        if (type == 2) cycle |= 0x80;
        ByteWriter out(27);
        out.Put(time).Put(record.At<uint16_t>(42)).Put(cycle).Put(static_cast<uint8_t>(2 * words));
        out.Put(frameFlags).Put(uint8_t{0}).Put(uint8_t{selector == 2 ? uint8_t{0x88} : uint8_t{0x08}}).Put(uint8_t{0});
        out.Put(record.At<uint16_t>(46)).Put(static_cast<uint8_t>(words)).Put(groups_[kFlxFrame].signalBytes);
        if (!Record_Store(kFlxFrame, out, payload)) return false;
      }
      return true;
    }
    case 0:
    case 7:
    case 8:
    case 9:
    case 10: {
      const uint8_t mask = record.Byte(43);
      const uint8_t flag = type == 9 ? 0x04 : type == 10 ? 0x02 : type == 0 ? 0x00 : 0x01;
      std::array<uint8_t, 18> error{};
      error[0] = type == 0 ? 6 : 5;
      if (mask == 0 || mask == 2) error[6] = flag;
      if (mask == 1 || mask == 2) error[7] = flag;
      ByteWriter out(28);
      out.Put(time).Put(record.Byte(42)).Put(mask);
      for (uint8_t byte : error) out.Put(byte);
      return Record_Store(kFlxError, out);
    }
    case 3: {
      ByteWriter out(9);
      out.Put(time).Put(selector);
      return Record_Store(kFlxStartCycle, out);
    }
    case 4: {
      static constexpr std::array<std::pair<uint32_t, uint32_t>, 8> kStates{
          {{2, 15}, {2, 0}, {2, 4}, {1, 2}, {1, 3}, {2, 1}, {2, 32}, {2, 19}}};
      const auto [a, b] = selector < kStates.size() ? kStates[selector] : std::pair<uint32_t, uint32_t>{0, 15};
      ByteWriter out(58);
      out.Put(time).Put(uint8_t{0}).Put(uint8_t{0}).Zeros(4).Put(a).Put(b).Zeros(48 - 12);
      return Record_Store(kFlxState, out);
    }
    case 6: {
      const uint8_t channelBits = selector <= 2 ? selector + 1 : 0;
      ByteWriter out(27);
      out.Put(time).Put(uint8_t{0}).Put(static_cast<uint8_t>((channelBits << 6) | 3)).Zeros(12);
      for (uint8_t byte : {0x00, 0x00, 0x28, 0xAA}) out.Put(static_cast<uint8_t>(byte));
      out.Zeros(1);
      return Record_Store(kFlxSymbol, out);
    }
    default: return false;
  }
}

void Bus::Write() {
  for (ChannelGroup& group : groups_) {
    group.records->Write();
    if (group.signalData != nullptr) group.signalData->Write();
  }
}

void Bus::Block_Refresh(FileStream& stream) {
  for (ChannelGroup& group : groups_) {
    auto* const channels = static_cast<CGBLOCK*>(group.dataGroup->Links_Get(1));
    if (channels == nullptr || channels->CycleCount() == group.cycleCount) continue;
    channels->CycleCount_Set(group.cycleCount);
    channels->Write(stream);
  }
}

void Bus::Event_ScopeAdd(EVBLOCK* event) const {
  if (event == nullptr) return;
  for (const ChannelGroup& group : groups_) event->ScopedBlock_Add(group.dataGroup->Links_Get(1));
}

void Bus::Reset() {
  for (ChannelGroup& group : groups_) {
    group.cycleCount = 0;
    group.signalBytes = 0;
  }
}

BusRoot::BusRoot(HDBLOCK* header, FileStream& stream) : stream_(stream), latest_(header), header_(header) {}

BusRoot::~BusRoot() = default;

Bus* BusRoot::Bus_Add(uint32_t channel, uint8_t busType) {
  if (buses_.contains(Key(channel, busType))) return nullptr;
  std::unique_ptr<Bus> bus;
  switch (busType) {
    case Bus::Info::CAN: bus = BusGenerator::Get_CAN(channel, *this); break;
    case Bus::Info::LIN: bus = BusGenerator::Get_LIN(channel, *this); break;
    case Bus::Info::FlexRay: bus = BusGenerator::Get_FlexRay(channel, *this); break;
    case Bus::Info::Test: bus = BusGenerator::Get_Test(channel, *this); break;
    default: return nullptr;
  }
  if (bus == nullptr) return nullptr;
  return buses_.emplace(Key(channel, busType), std::move(bus)).first->second.get();
}

Bus* BusRoot::Bus_Get(uint32_t channel, uint8_t busType) const {
  const auto found = buses_.find(Key(channel, busType));
  return found == buses_.end() ? nullptr : found->second.get();
}

bool BusRoot::Data_Insert(std::span<const uint8_t> record) {
  const RecordView view(record);
  return Data_Insert(Bus_Get(view.At<uint32_t>(4), view.Byte(24)), record);
}

bool BusRoot::Data_Insert(Bus* bus, std::span<const uint8_t> record) {
  const RecordView view(record);
  const uint32_t length = view.At<uint32_t>(0);
  if (bus == nullptr || length < kHeadLength || length > record.size()) return false;
  return bus->Data_Insert(record.first(length), header_->RelativeTime(view.At<uint64_t>(8)));
}

bool BusRoot::Write() {
  for (auto& [key, bus] : buses_) bus->Write();
  Bus_Write();
  stream_.flush();
  return stream_.good();
}

void BusRoot::Bus_Write() {
  for (auto& [key, bus] : buses_) bus->Block_Refresh(stream_);
}

void BusRoot::Bus_Reset() {
  for (auto& [key, bus] : buses_) bus->Reset();
}

}  // namespace MDF
