// Firmware frames as the emulated devices see them: a received command with the answers built from it, and the
// helpers that make broken frames for fault tests.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "qor_protocol.h"

namespace qor::emulator {

using Bytes = std::vector<uint8_t>;

// A well-formed frame that reached a device (marker '#', length of at least 12 that matches the bytes).
class ReceivedFrame {
 public:
  // Empty when the bytes are no frame; bytes beyond the frame's length are not part of it.
  static std::optional<ReceivedFrame> parse(std::span<const uint8_t> bytes, uint64_t connection);

  const FirmwareMessageHeader& header() const { return header_; }
  uint8_t command() const { return header_.command; }
  std::span<const uint8_t> bytes() const { return bytes_; }
  std::span<const uint8_t> parameters() const;
  // The u32 at this parameter offset; 0 when the parameters are too short for it.
  uint32_t parameterWord(size_t offset) const;
  // The connection that carried the frame, numbered by the front end from 1 in the order of acceptance.
  uint64_t connection() const { return connection_; }

  // Answers: this frame's header with the type, the length and the data replaced, so that TAddr, TPort, App,
  // Mod and the command byte travel back unchanged.
  // A response (type 1) whose data begin with the first `echoedControlBytes` parameter bytes.
  Bytes response(std::span<const uint8_t> data, size_t echoedControlBytes = 0) const;
  Bytes acknowledge() const;
  Bytes negativeAcknowledge(uint32_t code, std::string_view text) const;

 private:
  ReceivedFrame(FirmwareMessageHeader header, Bytes bytes, uint64_t connection);

  FirmwareMessageHeader header_;
  Bytes bytes_;
  uint64_t connection_;
};

// A frame with the addressing of `header` (its command byte included) and the given type and data.
// Throws std::length_error when the frame would not fit the 16-bit length.
Bytes answerFrame(const FirmwareMessageHeader& header, uint8_t type, std::span<const uint8_t> data);

// The frame with a length field that lies: the bytes stay as they are.
Bytes withLength(Bytes frame, uint16_t length);

// The first `count` bytes of a frame (all of it when shorter), to send a frame cut short.
Bytes firstBytes(std::span<const uint8_t> frame, size_t count);

// Records as tests write them out: little-endian u32 words, then the tail's bytes as they are.
Bytes words(std::initializer_list<uint32_t> values, const Bytes& tail = {});
// The low `width` bytes of value, little endian, appended.
void appendLittleEndian(Bytes& bytes, uint64_t value, size_t width);

// A record as tests write it out field by field: little-endian fields of the given widths.
class RecordBytes {
 public:
  RecordBytes& u8(uint64_t value) { return add(value, 1); }
  RecordBytes& u16(uint64_t value) { return add(value, 2); }
  RecordBytes& u32(uint64_t value) { return add(value, 4); }
  RecordBytes& u64(uint64_t value) { return add(value, 8); }
  RecordBytes& bytes(const Bytes& values) {
    bytes_.insert(bytes_.end(), values.begin(), values.end());
    return *this;
  }
  RecordBytes& zeros(size_t count) {
    bytes_.resize(bytes_.size() + count, 0);
    return *this;
  }
  operator Bytes() const { return bytes_; }

 private:
  RecordBytes& add(uint64_t value, size_t width) {
    appendLittleEndian(bytes_, value, width);
    return *this;
  }
  Bytes bytes_;
};

}  // namespace qor::emulator
