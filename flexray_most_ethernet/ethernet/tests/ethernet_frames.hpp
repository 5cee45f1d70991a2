// Real frames for the transmit paths' tests: Ethernet II, IPv4 (header checksum set) and UDP, as a capture tool reads
// them. Frames shorter than the minimum are padded to 60 bytes.
#pragma once

#include <cstdint>
#include <vector>

namespace qor::test {

inline void appendBigEndian(std::vector<uint8_t>& bytes, uint32_t value, int width) {
  for (int shift = (width - 1) * 8; shift >= 0; shift -= 8) bytes.push_back(static_cast<uint8_t>(value >> shift));
}

// From 02:00:00:00:00:01 192.168.0.1 port 30000 + index to 02:00:00:00:00:02 192.168.0.2 port 30490; the payload's
// bytes are index, index + 1, ...
inline std::vector<uint8_t> udpFrame(uint8_t index, uint16_t payloadBytes) {
  std::vector<uint8_t> frame{0x02, 0, 0, 0, 0, 0x02, 0x02, 0, 0, 0, 0, 0x01, 0x08, 0x00};
  const size_t ipStart = frame.size();
  frame.insert(frame.end(), {0x45, 0x00});
  appendBigEndian(frame, 20u + 8u + payloadBytes, 2);
  appendBigEndian(frame, index, 2);  // identification
  frame.insert(frame.end(), {0x40, 0x00, 64, 17, 0, 0, 192, 168, 0, 1, 192, 168, 0, 2});
  uint32_t sum = 0;
  for (size_t offset = ipStart; offset < ipStart + 20; offset += 2) sum += frame[offset] << 8 | frame[offset + 1];
  while (sum > 0xFFFF) sum = (sum & 0xFFFF) + (sum >> 16);
  frame[ipStart + 10] = static_cast<uint8_t>(~sum >> 8);
  frame[ipStart + 11] = static_cast<uint8_t>(~sum);
  appendBigEndian(frame, 30000u + index, 2);
  appendBigEndian(frame, 30490, 2);
  appendBigEndian(frame, 8u + payloadBytes, 2);
  appendBigEndian(frame, 0, 2);  // no UDP checksum
  for (uint16_t offset = 0; offset < payloadBytes; ++offset) frame.push_back(static_cast<uint8_t>(index + offset));
  if (frame.size() < 60) frame.resize(60, 0);
  return frame;
}

}  // namespace qor::test
