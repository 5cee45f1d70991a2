#include "pcapng_writer.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string_view>

#include "trace_library.hpp"

namespace qor::trace {
namespace {

constexpr uint32_t kSectionHeaderBlock = 0x0A0D0D0A;
constexpr uint32_t kInterfaceDescriptionBlock = 1;
constexpr uint32_t kEnhancedPacketBlock = 6;
constexpr uint32_t kCustomBlock = 0x40000BAD;
constexpr uint16_t kLinkTypeEthernet = 1;
constexpr uint32_t kSnapshotLength = 1522;
constexpr std::string_view kApplication = "Hestor electronic Qor-API Trace Dll";
constexpr uint16_t kItemFrame = 1;
constexpr uint16_t kItemCustom = 2;
constexpr uint32_t kInbound = 1;
constexpr uint32_t kOutbound = 2;
constexpr uint32_t kCrcError = 0x01000000;
constexpr size_t kPendingLimit = 1 << 16;

constexpr size_t padded(size_t length) { return (length + 3) / 4 * 4; }

// One block: its total length is known before its first byte, and stands at both ends.
class Block {
 public:
  Block(std::vector<uint8_t>& out, uint32_t type, size_t bodyLength)
      : out_(out), length_(static_cast<uint32_t>(12 + bodyLength)) {
    u32(type);
    u32(length_);
  }
  ~Block() { u32(length_); }

  Block& u16(uint16_t value) { return raw(&value, sizeof value); }
  Block& u32(uint32_t value) { return raw(&value, sizeof value); }
  Block& u64(uint64_t value) { return raw(&value, sizeof value); }
  // The bytes, then zeros up to a multiple of 4.
  Block& paddedBytes(const void* bytes, size_t count) {
    raw(bytes, count);
    out_.insert(out_.end(), padded(count) - count, 0);
    return *this;
  }

 private:
  Block& raw(const void* bytes, size_t count) {
    const auto* first = static_cast<const uint8_t*>(bytes);
    out_.insert(out_.end(), first, first + count);
    return *this;
  }

  std::vector<uint8_t>& out_;
  uint32_t length_;
};

}  // namespace

PcapngWriter::PcapngWriter(uint32_t flags, const std::string& fileName, uint64_t startTime)
    : flags_(flags), fileName_(fileName), startTime_(startTime) {
  const int fd = open(fileName.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) throw TraceException(kNoPort, kFileError, "error opening file");
  file_ = FileDescriptor(fd);
  Block(pending_, kSectionHeaderBlock, 60)
      .u32(0x1A2B3C4D)
      .u16(1)
      .u16(0)
      .u64(~uint64_t{0})
      .u16(4)
      .u16(static_cast<uint16_t>(kApplication.size()))
      .paddedBytes(kApplication.data(), kApplication.size())
      .u32(0);
}

uint32_t PcapngWriter::interfaceOf(uint32_t channelId) {
  const auto known = interfaces_.find(channelId);
  if (known != interfaces_.end()) return known->second;
  const std::string name = std::to_string(channelId);
  Block(pending_, kInterfaceDescriptionBlock, 24 + padded(name.size()))
      .u16(kLinkTypeEthernet)
      .u16(0)
      .u32(kSnapshotLength)
      .u16(2)
      .u16(static_cast<uint16_t>(name.size()))
      .paddedBytes(name.data(), name.size())
      .u16(9)
      .u16(1)
      .u32(9)  // nanoseconds, then 3 padding bytes
      .u32(0);
  const uint32_t id = static_cast<uint32_t>(interfaces_.size());
  interfaces_.emplace(channelId, id);
  return id;
}

void PcapngWriter::writeEntry(const TraceEntry& entry) {
  const bool fromStart = flags_ & kPcapngFromStartTime;
  if (fromStart && entry.timestamp() < startTime_) return;
  if (entry.busType() != QOR_TRACE_BUS_ETHERNET) return;
  const auto record = entry.record();
  const uint32_t interface = interfaceOf(entry.channelId());
  const uint16_t itemType = fieldAt<uint16_t>(record, offsetof(Qor_Trace_Entry_Ethernet_t, itemType));
  if (itemType == kItemFrame) {
    const uint16_t frameLength = fieldAt<uint16_t>(record, offsetof(Qor_Trace_Entry_Ethernet_t, frameLength));
    const auto frame = bytesAt(record, offsets::kEthernetFrame, frameLength);
    const uint8_t direction = fieldAt<uint8_t>(record, offsetof(Qor_Trace_Entry_Ethernet_t, flags));
    const uint64_t time = entry.timestamp() - (fromStart ? startTime_ : 0);
    Block(pending_, kEnhancedPacketBlock, 32 + padded(frame.size()))
        .u32(interface)
        .u32(static_cast<uint32_t>(time >> 32))
        .u32(static_cast<uint32_t>(time))
        .u32(static_cast<uint32_t>(frame.size()))
        .u32(frameLength)
        .paddedBytes(frame.data(), frame.size())
        .u16(2)
        .u16(4)
        .u32(((direction & 1) ? kOutbound : kInbound) | ((direction & 2) ? kCrcError : 0))
        .u32(0);
  } else if (itemType == kItemCustom) {
    // The length field's lower byte counts the custom data.
    const auto data = bytesAt(record, offsets::kEthernetFrame, fieldAt<uint8_t>(record, 42));
    Block(pending_, kCustomBlock, 4 + padded(data.size())).u32(0).paddedBytes(data.data(), data.size());
  }
  if (pending_.size() >= kPendingLimit) writePending();
}

void PcapngWriter::writePending() {
  const uint8_t* bytes = pending_.data();
  size_t left = pending_.size();
  while (left > 0) {
    const ssize_t written = write(file_.get(), bytes, left);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) throwFileError("could not write file '" + fileName_ + "'", written < 0 ? errno : ENOSPC);
    bytes += written;
    left -= static_cast<size_t>(written);
  }
  pending_.clear();
}

void PcapngWriter::finish() {
  writePending();
  if (close(file_.release()) != 0) throwFileError("could not close file '" + fileName_ + "'", errno);
}

}  // namespace qor::trace
