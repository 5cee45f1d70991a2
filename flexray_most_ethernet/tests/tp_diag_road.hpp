// The transport set-up and UDS diagnostic configuration road tests of the FlexRay and Ethernet libraries: the
// records both send (the set-up head, the UDS record) and the tables of records that go out.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <span>

#include "qor_emulator/frame.hpp"
#include "road_basics.hpp"

namespace qor::test::tp_diag {

using emulator::Bytes;
using Record = emulator::RecordBytes;

inline constexpr uint8_t kTransportSetup = 0x8E, kDiagConfig = 0xA0;

// The set-up head: set-up, channel, protocol and flags.
inline Record setupHead(uint8_t channel, uint16_t protocol, uint16_t flags) {
  return std::move(Record().u8(3).u8(channel).u16(0).u16(protocol).u16(0).u16(flags).u16(0));
}

inline Bytes counting(uint8_t first, size_t count) {
  Bytes bytes;
  for (size_t i = 0; i < count; ++i) bytes.push_back(static_cast<uint8_t>(first + i));
  return bytes;
}

// The caller's UDS record (the libraries' records have the same fields): values 0x0A01 to 0x0A03, TesterPresent
// value 0x0B0B and the message bytes 0x3E, 0x3F, ...
template <class UdsConfig>
UdsConfig udsConfig(uint32_t flags, uint8_t requestMode, uint8_t length) {
  UdsConfig config{};
  config.flags = flags;
  config.value1 = 0x0A01;
  config.value2 = 0x0A02;
  config.value3 = 0x0A03;
  config.testerPresentValue = 0x0B0B;
  config.testerPresentRequestMode = requestMode;
  config.testerPresentLength = length;
  for (uint8_t i = 0; i < 8; ++i) config.testerPresentMessage[i] = static_cast<uint8_t>(0x3E + i);
  return config;
}

// The 36-byte record's head and values, up to the TesterPresent part.
inline Record udsHead(uint8_t channel, uint32_t value, uint32_t testerPresent) {
  return std::move(Record().u8(channel).u8(1).u16(0).u32(value).u32(0).u32(testerPresent).u16(0x0A01).u16(0x0A02)
                       .u16(0x0A03).u16(0));
}

// A call and the record it sends.
struct Sent {
  const char* name;
  PortCall call;
  Bytes record;
};

// The tables on a library's road fixture (port_ open on its bus).
template <class Road>
class TpDiagRoad : public Road {
 protected:
  // Each set-up goes out as its record of recordBytes, acknowledged with its first two bytes.
  void expectSetUpsSent(std::span<const Sent> cases, size_t recordBytes) {
    for (const Sent& c : cases) {
      ASSERT_EQ(c.record.size(), recordBytes) << c.name;
      this->device_->expect(kTransportSetup, c.record).answer(Bytes(c.record.begin(), c.record.begin() + 2));
    }
    for (const Sent& c : cases) EXPECT_EQ(c.call(this->port_), 0u) << c.name << ": " << lastText();
  }

  void expectDiagConfigsSent(std::span<const Sent> cases) {
    for (const Sent& c : cases) this->device_->expect(kDiagConfig, c.record);
    for (const Sent& c : cases) EXPECT_EQ(c.call(this->port_), 0u) << c.name << ": " << lastText();
  }
};

}  // namespace qor::test::tp_diag
