#include "xcp_block_transfer.hpp"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <memory>
#include <thread>

#include "qor_common_xcp.h"
#include "qor_kit/poll.hpp"

namespace qor::common::xcp {
namespace {

using Clock = std::chrono::steady_clock;

constexpr uint16_t kFirstFifoProperty = 1;
constexpr uint16_t kThirdFifoProperty = 3;
constexpr uint32_t kBlockFifoValue = 50;
constexpr uint32_t kUploadFifoValue = 255;
constexpr uint32_t kStateCtoWaiting = 1u << 1;
constexpr uint32_t kStateCtoSending = 1u << 3;
constexpr uint32_t kFifoWaitMs = 1000;
constexpr uint32_t kUploadBlockWaitMs = 5000;
constexpr uint32_t kFifoFrames = 255;
constexpr uint32_t kMaxBlockElements = 255;
constexpr uint32_t kMoreFrames = kCommon.code(kit::GeneralError::ResponseBufferUndersized);

uint32_t readProperty(const CommandSession& session, uint16_t id, uint32_t& value) {
  const Qor_Common_Xcp_PropertyRequest_t request{id, 0};
  Qor_Common_Xcp_Property_t property{};
  if (uint32_t code = Qor_Common_Xcp_Property_GetById(session.call().port(), session.channel(), &request, &property)) {
    return code;
  }
  value = property.value;
  return 0;
}

uint32_t writeProperties(const CommandSession& session, uint32_t first, uint32_t third) {
  const Qor_Common_Xcp_Property_t firstProperty{kFirstFifoProperty, 0, first};
  const Qor_Common_Xcp_Property_t thirdProperty{kThirdFifoProperty, 0, third};
  if (uint32_t code = Qor_Common_Xcp_Property_SetById(session.call().port(), session.channel(), &firstProperty)) {
    return code;
  }
  return Qor_Common_Xcp_Property_SetById(session.call().port(), session.channel(), &thirdProperty);
}

uint32_t readState(const CommandSession& session, uint32_t& flags) {
  Qor_Common_Xcp_State_t state{};
  if (uint32_t code = Qor_Common_Xcp_GetState(session.call().port(), session.channel(), &state)) return code;
  flags = state.flags;
  return 0;
}

// Frames of the CTO receive FIFO; frames beyond the capacity of one read stay for the next.
uint32_t readCommandFrames(const CommandSession& session, std::span<Qor_Common_Xcp_CtoFrame_t> frames,
                           uint32_t& count) {
  count = static_cast<uint32_t>(frames.size());
  const uint32_t code = Qor_Common_Xcp_ReadCtoRxFifo(session.call().port(), session.channel(), &count, frames.data());
  return code == kMoreFrames ? 0 : code;
}

std::unique_ptr<Qor_Common_Xcp_CtoFrame_t[]> frameArea() {
  return std::make_unique<Qor_Common_Xcp_CtoFrame_t[]>(kFifoFrames);
}

// Until the CTO transmit FIFO has sent everything (within 1000 ms).
uint32_t waitUntilSent(const CommandSession& session) {
  const std::optional<uint32_t> result = kit::pollUntil(kFifoWaitMs, 1, [&]() -> std::optional<uint32_t> {
    uint32_t flags = 0;
    if (uint32_t code = readState(session, flags)) return code;
    return (flags & kStateCtoSending) == 0 ? std::optional<uint32_t>(0) : std::nullopt;
  });
  if (result) return *result;
  return session.call().fail(kCommon.code(kXcpResponseTimeout), "the cto tx fifo did not drain");
}

// The slave's packets to the block so far: an error packet ends the block. Packets still coming after 1000 ms are
// left for the last part's exchange.
uint32_t checkBlockAnswers(const CommandSession& session, std::span<Qor_Common_Xcp_CtoFrame_t> frames) {
  const std::optional<uint32_t> result = kit::pollUntil(kFifoWaitMs, 1, [&]() -> std::optional<uint32_t> {
    uint32_t flags = 0;
    if (uint32_t code = readState(session, flags)) return code;
    if ((flags & kStateCtoWaiting) == 0) return 0;
    uint32_t count = 0;
    if (uint32_t code = readCommandFrames(session, frames, count)) return code;
    for (uint32_t index = 0; index < count; ++index) {
      const std::span<const uint8_t> packet(frames[index].data, std::min<size_t>(frames[index].length, 256));
      if (!packet.empty() && packet[0] == kErrorPacket) return session.slaveError(packet);
    }
    return std::nullopt;
  });
  return result.value_or(0);
}

}  // namespace

FifoSetUp::~FifoSetUp() {
  if (saved_) writeProperties(session_, first_, third_);
}

uint32_t FifoSetUp::begin(uint32_t value) {
  if (uint32_t code = readProperty(session_, kFirstFifoProperty, first_)) return code;
  if (uint32_t code = readProperty(session_, kThirdFifoProperty, third_)) return code;
  saved_ = true;
  if (uint32_t code = writeProperties(session_, value, value)) return code;
  auto frames = frameArea();
  uint32_t flags = 0;
  const std::optional<uint32_t> emptied = kit::pollUntil(kFifoWaitMs, 1, [&]() -> std::optional<uint32_t> {
    if (uint32_t code = readState(session_, flags)) return code;
    if ((flags & kStateCtoWaiting) == 0) return 0;
    uint32_t count = 0;
    if (uint32_t code = readCommandFrames(session_, std::span(frames.get(), 10), count)) return code;
    return std::nullopt;
  });
  if (emptied) return *emptied;
  return session_.call().fail(kCommon.code(kInitializationFailed), "could not empty cto rx fifo");
}

uint32_t FifoSetUp::restore() {
  saved_ = false;
  return writeProperties(session_, first_, third_);
}

uint32_t blockElements(const CommandSession& session, uint8_t maxBs, uint32_t partBytes) {
  return std::min(kMaxBlockElements, uint32_t{maxBs} * partBytes / session.info.granularity);
}

uint32_t sendBlock(const CommandSession& session, BlockCodes codes, uint32_t partBytes,
                   std::span<const uint8_t> block) {
  FifoSetUp fifo(session);
  if (uint32_t code = fifo.begin(kBlockFifoValue)) return code;
  const uint8_t granularity = session.info.granularity;
  auto frames = frameArea();
  auto frame = std::make_unique<Qor_Common_Xcp_TxCtoFrame_t>();
  for (size_t offset = 0; offset < block.size();) {
    const size_t part = std::min<size_t>(block.size() - offset, partBytes);
    const Packet packet = session.dataPacket(offset == 0 ? codes.first : codes.next,
                                             static_cast<uint32_t>((block.size() - offset) / granularity),
                                             block.subspan(offset, part));
    offset += part;
    if (offset == block.size()) {
      if (uint32_t code = waitUntilSent(session)) return code;
      if (uint32_t code = checkBlockAnswers(session, std::span(frames.get(), kFifoFrames))) return code;
      if (uint32_t code = session.command(packet)) return code;
      break;
    }
    *frame = Qor_Common_Xcp_TxCtoFrame_t{};
    frame->length = static_cast<uint16_t>(packet.size());
    std::copy(packet.begin(), packet.end(), frame->data);
    if (uint32_t code = Qor_Common_Xcp_WriteCtoTxFifo(session.call().port(), session.channel(), 1, frame.get())) {
      return code;
    }
    if (session.info.minSt != 0) {
      if (uint32_t code = waitUntilSent(session)) return code;
      std::this_thread::sleep_for(std::chrono::microseconds(100 * session.info.minSt));
    }
  }
  return fifo.restore();
}

uint32_t sendData(const CommandSession& session, BlockCodes codes, uint8_t maxCto, bool masterBlockMode,
                  uint8_t maxBs, std::span<const uint8_t> data) {
  const uint32_t partBytes = session.dataPerPacket(maxCto);
  const uint8_t granularity = session.info.granularity;
  const size_t chunk = masterBlockMode ? size_t{blockElements(session, maxBs, partBytes)} * granularity : partBytes;
  if (chunk == 0) {
    return session.call().fail(kit::GeneralError::InvalidResponseParameter, "the slave's packets hold no data");
  }
  for (size_t offset = 0; offset < data.size();) {
    const std::span<const uint8_t> piece = data.subspan(offset, std::min(chunk, data.size() - offset));
    offset += piece.size();
    if (masterBlockMode) {
      if (uint32_t code = sendBlock(session, codes, partBytes, piece)) return code;
      continue;
    }
    if (uint32_t code = session.command(
            session.dataPacket(codes.first, static_cast<uint32_t>(piece.size() / granularity), piece))) {
      return code;
    }
  }
  return 0;
}

uint32_t uploadInBlocks(const CommandSession& session, std::span<uint8_t> data) {
  FifoSetUp fifo(session);
  if (uint32_t code = fifo.begin(kUploadFifoValue)) return code;
  const uint8_t granularity = session.info.granularity;
  auto frames = frameArea();
  // The data of one packet of the slave (PID and alignment first), at most what the block still misses.
  const auto take = [&](std::span<const uint8_t> packet, std::span<uint8_t>& missing) {
    if (packet.size() <= granularity) return;
    const size_t bytes = std::min(packet.size() - granularity, missing.size());
    std::memcpy(missing.data(), packet.data() + granularity, bytes);
    missing = missing.subspan(bytes);
  };
  for (size_t offset = 0; offset < data.size();) {
    std::span<uint8_t> missing = data.subspan(offset, std::min<size_t>(data.size() - offset,
                                                                       size_t{granularity} * kMaxBlockElements));
    offset += missing.size();
    Packet answer;
    if (uint32_t code = session.command(Packet{kUpload, static_cast<uint8_t>(missing.size() / granularity)}, answer)) {
      return code;
    }
    take(answer, missing);
    const Clock::time_point start = Clock::now();
    while (!missing.empty()) {
      uint32_t count = 0;
      if (uint32_t code = readCommandFrames(session, std::span(frames.get(), kFifoFrames), count)) return code;
      for (uint32_t index = 0; index < count; ++index) {
        const std::span<const uint8_t> packet(frames[index].data, std::min<size_t>(frames[index].length, 256));
        if (!packet.empty() && packet[0] == kErrorPacket) return session.slaveError(packet);
        take(packet, missing);
      }
      if (missing.empty()) break;
      if (Clock::now() - start > std::chrono::milliseconds(kUploadBlockWaitMs)) {
        return session.call().fail(kCommon.code(kXcpResponseTimeout), "not all data was received within timeout");
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }
  return fifo.restore();
}

}  // namespace qor::common::xcp
