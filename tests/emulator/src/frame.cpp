#include "qor_emulator/frame.hpp"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "qor_shared/byte_reader.hpp"
#include "qor_shared/protocol.hpp"

namespace qor::emulator {

std::optional<ReceivedFrame> ReceivedFrame::parse(std::span<const uint8_t> bytes, uint64_t connection) {
  const auto frame = protocol::parseFrame(bytes);
  if (!frame) return std::nullopt;
  return ReceivedFrame(frame->header, Bytes(frame->bytes.begin(), frame->bytes.end()), connection);
}

ReceivedFrame::ReceivedFrame(FirmwareMessageHeader header, Bytes bytes, uint64_t connection)
    : header_(header), bytes_(std::move(bytes)), connection_(connection) {}

std::span<const uint8_t> ReceivedFrame::parameters() const {
  return std::span<const uint8_t>(bytes_).subspan(QOR_FRAME_HEADER_SIZE);
}

uint32_t ReceivedFrame::parameterWord(size_t offset) const {
  return readU32LE(parameters(), offset).value_or(0);
}

Bytes ReceivedFrame::response(std::span<const uint8_t> data, size_t echoedControlBytes) const {
  const auto echoed = parameters().first(std::min(echoedControlBytes, parameters().size()));
  Bytes body(echoed.begin(), echoed.end());
  body.insert(body.end(), data.begin(), data.end());
  return answerFrame(header_, QOR_FRAME_RESPONSE, body);
}

Bytes ReceivedFrame::acknowledge() const {
  const uint8_t ok[4] = {0, 0, 0, 0};
  return answerFrame(header_, QOR_FRAME_ACKNOWLEDGE, ok);
}

Bytes ReceivedFrame::negativeAcknowledge(uint32_t code, std::string_view text) const {
  Bytes body(sizeof code);
  std::memcpy(body.data(), &code, sizeof code);
  body.insert(body.end(), text.begin(), text.end());
  body.push_back(0);
  return answerFrame(header_, QOR_FRAME_ACKNOWLEDGE, body);
}

Bytes answerFrame(const FirmwareMessageHeader& header, uint8_t type, std::span<const uint8_t> data) {
  if (data.size() > QOR_FRAME_MAX_LENGTH - QOR_FRAME_HEADER_SIZE) {
    throw std::length_error("answer data beyond the frame's 16-bit length");
  }
  FirmwareMessageHeader answer = header;
  answer.type = type;
  answer.length = static_cast<uint16_t>(QOR_FRAME_HEADER_SIZE + data.size());
  Bytes frame(answer.length);
  protocol::writeRecord(protocol::Buffer(frame), answer);
  std::copy(data.begin(), data.end(), frame.begin() + QOR_FRAME_HEADER_SIZE);
  return frame;
}

Bytes withLength(Bytes frame, uint16_t length) {
  if (frame.size() >= offsetof(FirmwareMessageHeader, length) + sizeof length) {
    std::memcpy(frame.data() + offsetof(FirmwareMessageHeader, length), &length, sizeof length);
  }
  return frame;
}

Bytes firstBytes(std::span<const uint8_t> frame, size_t count) {
  const auto part = frame.first(std::min(count, frame.size()));
  return Bytes(part.begin(), part.end());
}

Bytes words(std::initializer_list<uint32_t> values, const Bytes& tail) {
  Bytes bytes;
  for (uint32_t value : values) appendLittleEndian(bytes, value, sizeof value);
  bytes.insert(bytes.end(), tail.begin(), tail.end());
  return bytes;
}

void appendLittleEndian(Bytes& bytes, uint64_t value, size_t width) {
  for (size_t i = 0; i < width; ++i) bytes.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

}  // namespace qor::emulator
