#include "cyclic_road.hpp"

#include <algorithm>
#include <set>

namespace qor::can::test {

Bytes cat(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

Bytes u16(uint16_t value) { return {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8)}; }

Bytes u32(uint32_t value) { return emulator::words({value}); }

Bytes zeros(size_t count) { return Bytes(count, 0); }

Bytes counting(size_t count, uint8_t first) {
  Bytes bytes(count);
  for (size_t index = 0; index < count; ++index) bytes[index] = static_cast<uint8_t>(first + index);
  return bytes;
}

std::string lastText() { return Qor_GetLastErrorDescription(); }

void CyclicRoad::SetUp() {
  InterfaceFixture::SetUp();
  port_ = open();
  device_->recorder().clear();
}

size_t CyclicRoad::cyclicRequests() const {
  static const std::set<uint8_t> kCommands = {0x22, 0x23, 0x25, 0x27, 0x28, 0x29, 0x2A, 0x2B, 0x2C, 0x2E, 0x2F, 0x32,
                                              0x33, 0x36, 0x37, 0x38, 0x39, 0x3A, 0x3B, 0x61, 0x62, 0x63, 0xF5, 0xF8};
  const auto frames = device_->recorder().frames();
  return static_cast<size_t>(std::count_if(frames.begin(), frames.end(), [](const emulator::ReceivedFrame& frame) {
    return kCommands.contains(frame.command());
  }));
}

}  // namespace qor::can::test
