#include "qor_emulator/xcp_ecu.hpp"

#include <algorithm>

namespace qor::emulator {
namespace {

using namespace xcp_protocol;

std::vector<Bytes> error(uint8_t code) { return {{kXcpErrorPacket, code}}; }
std::vector<Bytes> ok() { return {{kXcpPositiveAnswer}}; }

uint8_t granularityOf(uint8_t commModeBasic) {
  const uint8_t code = (commModeBasic >> 1) & 3;
  return code == 1 ? 2 : code == 2 ? 4 : 1;
}

}  // namespace

Bytes xcpKeyFor(std::span<const uint8_t> seed) {
  Bytes key(seed.begin(), seed.end());
  for (size_t index = 0; index < key.size(); ++index) key[index] ^= static_cast<uint8_t>(0x5A + index);
  return key;
}

EmulatedEcu::EmulatedEcu(XcpEcuSettings settings)
    : BasicXcpSlave(settings.slave),
      ecu_(std::move(settings)),
      granularity_(granularityOf(ecu_.slave.commModeBasic)),
      image_(ecu_.memorySize, 0),
      locked_(ecu_.protectedResources) {
  registerCommands();
  registerDaqCommands();
  clock_ = std::thread([this] { runDaqClock(); });
}

EmulatedEcu::~EmulatedEcu() {
  {
    const std::lock_guard lock(ecuMutex_);
    clockStopping_ = true;
  }
  clockWake_.notify_all();
  clock_.join();
}

Bytes EmulatedEcu::memory(uint32_t address, uint32_t length) const {
  const std::lock_guard lock(ecuMutex_);
  if (!inImage(address, length)) return {};
  const auto begin = image_.begin() + (address - ecu_.memoryBase);
  return Bytes(begin, begin + length);
}

void EmulatedEcu::setMemory(uint32_t address, std::span<const uint8_t> bytes) {
  const std::lock_guard lock(ecuMutex_);
  if (inImage(address, static_cast<uint32_t>(bytes.size()))) {
    std::copy(bytes.begin(), bytes.end(), image_.begin() + (address - ecu_.memoryBase));
  }
}

uint8_t EmulatedEcu::protection() const {
  const std::lock_guard lock(ecuMutex_);
  return locked_;
}

bool EmulatedEcu::programming() const {
  const std::lock_guard lock(ecuMutex_);
  return programming_;
}

unsigned EmulatedEcu::prepares() const {
  const std::lock_guard lock(ecuMutex_);
  return prepares_;
}

bool EmulatedEcu::inImage(uint32_t address, uint32_t length) const {
  return address >= ecu_.memoryBase && uint64_t{address} + length <= uint64_t{ecu_.memoryBase} + ecu_.memorySize;
}

uint32_t EmulatedEcu::fromSlave32(std::span<const uint8_t> packet, size_t offset) const {
  uint32_t value = 0;
  for (size_t index = 0; index < 4; ++index) {
    const uint32_t byte = packet[offset + index];
    value |= byte << ((ecu_.slave.commModeBasic & 1) != 0 ? 24 - 8 * index : 8 * index);
  }
  return value;
}

void EmulatedEcu::put32(Bytes& packet, uint32_t value) const {
  for (size_t index = 0; index < 4; ++index) {
    packet.push_back(static_cast<uint8_t>(value >> ((ecu_.slave.commModeBasic & 1) != 0 ? 24 - 8 * index : 8 * index)));
  }
}

std::vector<Bytes> EmulatedEcu::locked(uint8_t resource) const {
  return (locked_ & resource) != 0 ? error(kErrAccessLocked) : std::vector<Bytes>{};
}

std::vector<Bytes> EmulatedEcu::upload(uint32_t elements) {
  const uint32_t bytes = elements * granularity_;
  const uint32_t perPacket = ecu_.slave.maxCto - granularity_;
  const bool slaveBlockMode = (ecu_.slave.commModeBasic & 0x40) != 0;
  if (bytes > perPacket && !slaveBlockMode) return error(kErrOutOfRange);
  if (!inImage(mta_, bytes)) return error(kErrAccessDenied);
  std::vector<Bytes> packets;
  for (uint32_t offset = 0; offset < bytes || packets.empty(); offset += perPacket) {
    Bytes packet = {kXcpPositiveAnswer};
    packet.insert(packet.end(), granularity_ - 1u, 0);
    const auto begin = image_.begin() + (mta_ - ecu_.memoryBase + offset);
    packet.insert(packet.end(), begin, begin + std::min(perPacket, bytes - offset));
    packets.push_back(std::move(packet));
  }
  mta_ += bytes;
  return packets;
}

std::vector<Bytes> EmulatedEcu::writeData(std::span<const uint8_t> packet, bool first, uint8_t nextCode,
                                          bool blockMode, uint8_t maxCto, uint8_t maxBs) {
  if (packet.size() < dataOffset()) return error(kXcpErrorSyntax);
  const uint32_t elements = packet[1];
  const std::span<const uint8_t> data = packet.subspan(dataOffset());
  if (data.size() % granularity_ != 0) return error(kXcpErrorSyntax);
  if (first) {
    const uint32_t perPacket = maxCto - static_cast<uint32_t>(dataOffset());
    const uint32_t packetsNeeded = (elements * granularity_ + perPacket - 1) / std::max<uint32_t>(perPacket, 1);
    if (elements * granularity_ > data.size() && (!blockMode || packetsNeeded > maxBs)) {
      block_.reset();
      return error(kErrOutOfRange);
    }
    block_ = BlockInProgress{nextCode, elements, 0};
  } else if (!block_ || block_->nextCode != packet[0] || block_->elementsLeft != elements) {
    const uint8_t expected = block_ ? static_cast<uint8_t>(block_->elementsLeft) : 0;
    block_.reset();
    return {{kXcpErrorPacket, kErrSequence, expected}};
  }
  const uint32_t bytes = static_cast<uint32_t>(data.size());
  if (bytes > block_->elementsLeft * granularity_ || !inImage(mta_, bytes)) {
    block_.reset();
    return error(kErrAccessDenied);
  }
  std::copy(data.begin(), data.end(), image_.begin() + (mta_ - ecu_.memoryBase));
  mta_ += bytes;
  block_->elementsLeft -= bytes / granularity_;
  ++block_->packets;
  if (block_->elementsLeft > 0) return {};  // more of the block follows: no answer
  block_.reset();
  return ok();
}

void EmulatedEcu::registerCommands() {
  const auto guarded = [this](auto body) { return locking(std::move(body)); };
  on(kXcpGetStatus, guarded([this](std::span<const uint8_t>) {
       Bytes answer = statusAnswer();
       answer[2] = locked_;
       return std::vector<Bytes>{answer};
     }));
  on(kDisconnect, guarded([](std::span<const uint8_t>) { return ok(); }));
  on(kGetCommModeInfo, guarded([this](std::span<const uint8_t>) {
       return std::vector<Bytes>{{kXcpPositiveAnswer, 0, ecu_.commModeOptional, 0, ecu_.maxBs, ecu_.minSt,
                                  ecu_.queueSize, ecu_.driverVersion}};
     }));
  on(kGetSeed, guarded([this](std::span<const uint8_t> packet) -> std::vector<Bytes> {
       if (packet.size() < 3 || packet[1] > 1) return error(kXcpErrorSyntax);
       const uint8_t resource = packet[2];
       if (packet[1] == 0) {
         seedResource_ = resource;
         seedGiven_ = 0;
       } else if (seedResource_ != resource) {
         return error(kErrSequence);
       }
       if ((locked_ & resource) == 0) return {{kXcpPositiveAnswer, 0}};
       const size_t part = std::min<size_t>(ecu_.seed.size() - seedGiven_, ecu_.slave.maxCto - 2u);
       Bytes answer = {kXcpPositiveAnswer, static_cast<uint8_t>(ecu_.seed.size() - seedGiven_)};
       answer.insert(answer.end(), ecu_.seed.begin() + static_cast<long>(seedGiven_),
                     ecu_.seed.begin() + static_cast<long>(seedGiven_ + part));
       seedGiven_ += part;
       keyReceived_.clear();
       keyLength_ = 0;
       return {answer};
     }));
  on(kUnlock, guarded([this](std::span<const uint8_t> packet) -> std::vector<Bytes> {
       if (packet.size() < 2) return error(kXcpErrorSyntax);
       if (!seedResource_ || seedGiven_ < ecu_.seed.size()) return error(kErrSequence);
       if (keyReceived_.empty()) keyLength_ = packet[1];
       if (packet[1] != keyLength_ - keyReceived_.size()) return error(kErrSequence);
       const auto part = packet.subspan(2, std::min<size_t>(packet.size() - 2, packet[1]));
       keyReceived_.insert(keyReceived_.end(), part.begin(), part.end());
       if (keyReceived_.size() < keyLength_) return {{kXcpPositiveAnswer, locked_}};
       const bool match = keyReceived_ == xcpKeyFor(ecu_.seed);
       keyReceived_.clear();
       const uint8_t resource = *seedResource_;
       seedResource_.reset();
       if (!match) return error(kErrAccessLocked);
       locked_ = static_cast<uint8_t>(locked_ & ~resource);
       return {{kXcpPositiveAnswer, locked_}};
     }));
  on(kSetMta, guarded([this](std::span<const uint8_t> packet) -> std::vector<Bytes> {
       if (packet.size() < 8) return error(kXcpErrorSyntax);
       mta_ = fromSlave32(packet, 4);
       return ok();
     }));
  on(kUpload, guarded([this](std::span<const uint8_t> packet) -> std::vector<Bytes> {
       if (packet.size() < 2) return error(kXcpErrorSyntax);
       if (auto refused = locked(kResourceCalPag); !refused.empty()) return refused;
       return upload(packet[1]);
     }));
  on(kShortUpload, guarded([this](std::span<const uint8_t> packet) -> std::vector<Bytes> {
       if (packet.size() < 8) return error(kXcpErrorSyntax);
       if (auto refused = locked(kResourceCalPag); !refused.empty()) return refused;
       if (packet[1] * granularity_ > ecu_.slave.maxCto - granularity_) return error(kErrOutOfRange);
       mta_ = fromSlave32(packet, 4);
       return upload(packet[1]);
     }));
  on(kDownload, guarded([this](std::span<const uint8_t> packet) -> std::vector<Bytes> {
       if (auto refused = locked(kResourceCalPag); !refused.empty()) return refused;
       return writeData(packet, true, kDownloadNext, (ecu_.commModeOptional & 1) != 0, ecu_.slave.maxCto, ecu_.maxBs);
     }));
  on(kDownloadNext, guarded([this](std::span<const uint8_t> packet) {
       return writeData(packet, false, kDownloadNext, true, ecu_.slave.maxCto, ecu_.maxBs);
     }));
  on(kShortDownload, guarded([this](std::span<const uint8_t> packet) -> std::vector<Bytes> {
       if (auto refused = locked(kResourceCalPag); !refused.empty()) return refused;
       if (packet.size() < 8 || packet.size() - 8 != size_t{packet[1]} * granularity_) return error(kXcpErrorSyntax);
       const uint32_t address = fromSlave32(packet, 4);
       if (!inImage(address, packet[1] * granularity_)) return error(kErrAccessDenied);
       std::copy(packet.begin() + 8, packet.end(), image_.begin() + (address - ecu_.memoryBase));
       mta_ = address + packet[1] * granularity_;
       return ok();
     }));
  on(kBuildChecksum, guarded([this](std::span<const uint8_t> packet) -> std::vector<Bytes> {
       if (packet.size() < 8) return error(kXcpErrorSyntax);
       const uint32_t size = fromSlave32(packet, 4);
       if (!inImage(mta_, size)) return error(kErrAccessDenied);
       uint32_t sum = 0;
       for (uint32_t index = 0; index < size; ++index) sum += image_[mta_ - ecu_.memoryBase + index];
       mta_ += size;
       Bytes answer = {kXcpPositiveAnswer, ecu_.checksumType, 0, 0};
       put32(answer, sum);
       return {answer};
     }));
  on(kProgramPrepare, guarded([this](std::span<const uint8_t>) {
       ++prepares_;
       return ok();
     }));
  on(kProgramStart, guarded([this](std::span<const uint8_t>) -> std::vector<Bytes> {
       if (auto refused = locked(kResourcePgm); !refused.empty()) return refused;
       programming_ = true;
       return {{kXcpPositiveAnswer, 0, ecu_.pgmCommMode, ecu_.maxCtoPgm, ecu_.maxBsPgm, 0, 0}};
     }));
  on(kProgramClear, guarded([this](std::span<const uint8_t> packet) -> std::vector<Bytes> {
       if (packet.size() < 8) return error(kXcpErrorSyntax);
       if (!programming_) return error(kErrSequence);
       if (packet[1] != 0) return ok();  // functional clearing: nothing in the image to do
       const uint32_t range = fromSlave32(packet, 4);
       if (!inImage(mta_, range)) return error(kErrAccessDenied);
       std::fill_n(image_.begin() + (mta_ - ecu_.memoryBase), range, 0xFF);
       return ok();
     }));
  on(kProgram, guarded([this](std::span<const uint8_t> packet) -> std::vector<Bytes> {
       if (!programming_) return error(kErrSequence);
       if (packet.size() >= 2 && packet[1] == 0) return ok();  // the end of the programming sequence
       return writeData(packet, true, kProgramNext, (ecu_.pgmCommMode & 1) != 0, ecu_.maxCtoPgm, ecu_.maxBsPgm);
     }));
  on(kProgramNext, guarded([this](std::span<const uint8_t> packet) -> std::vector<Bytes> {
       if (!programming_) return error(kErrSequence);
       return writeData(packet, false, kProgramNext, true, ecu_.maxCtoPgm, ecu_.maxBsPgm);
     }));
  on(kProgramReset, guarded([this](std::span<const uint8_t>) -> std::vector<Bytes> {
       if (!programming_) return error(kErrSequence);
       programming_ = false;
       return ok();
     }));
  on(kGetPgmProcessorInfo, guarded([this](std::span<const uint8_t>) {
       return std::vector<Bytes>{{kXcpPositiveAnswer, ecu_.pgmProperties, static_cast<uint8_t>(ecu_.sectors.size())}};
     }));
  on(kGetSectorInfo, guarded([this](std::span<const uint8_t> packet) -> std::vector<Bytes> {
       if (packet.size() < 3 || packet[1] > 2) return error(kXcpErrorSyntax);
       if (packet[2] >= ecu_.sectors.size()) return error(kErrOutOfRange);
       const XcpSector& sector = ecu_.sectors[packet[2]];
       if (packet[1] == 2) return {{kXcpPositiveAnswer, sector.nameLength}};
       Bytes answer = {kXcpPositiveAnswer, sector.clearSequence, sector.programSequence, sector.programMethod};
       put32(answer, packet[1] == 0 ? sector.start : sector.length);
       return {answer};
     }));
}

}  // namespace qor::emulator
