// Relays in FPGA registers: which registers a request reads and writes, and the requests refused before any write.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "fpga_relays.hpp"
#include "qor_error_codes.h"

namespace qor::daemon {
namespace {

// FPGA registers that log every access as "r3", "w3=0x1".
class RegisterDevice final : public Device {
public:
  explicit RegisterDevice(uint16_t relays) { properties.relayCount = relays; }

  PathStatus fpgaRegisterRead(uint8_t reg, uint32_t& value) override {
    log.push_back("r" + std::to_string(reg));
    value = registers[reg];
    return {};
  }
  PathStatus fpgaRegisterWrite(uint8_t reg, uint32_t value) override {
    char entry[32];
    snprintf(entry, sizeof entry, "w%u=0x%X", reg, value);
    log.push_back(entry);
    registers[reg] = value;
    return {};
  }

  std::map<uint8_t, uint32_t> registers;
  std::vector<std::string> log;
};

std::vector<uint8_t> relayList(uint32_t flags, std::vector<uint8_t> relays) {
  std::vector<uint8_t> bytes(6);
  const uint16_t count = static_cast<uint16_t>(relays.size());
  memcpy(bytes.data(), &flags, 4);
  memcpy(bytes.data() + 4, &count, 2);
  bytes.insert(bytes.end(), relays.begin(), relays.end());
  return bytes;
}

std::vector<uint8_t> counted(std::vector<uint8_t> items) {
  std::vector<uint8_t> bytes(2);
  const uint16_t count = static_cast<uint16_t>(items.size());
  memcpy(bytes.data(), &count, 2);
  bytes.insert(bytes.end(), items.begin(), items.end());
  return bytes;
}

struct RelayCase {
  const char* name;
  uint16_t relays;
  RelayRequest request;
  std::vector<uint8_t> parameters;
  std::vector<std::string> log;
  uint32_t code = 0;
  std::string text = {};
};

TEST(FpgaRelays, RequestsTouchTheRegistersOfTheirRelays) {
  const RelayCase cases[] = {
      {"set 1 and 17 of 32", 32, RelayRequest::Set, relayList(0, {1, 17}), {"r3", "r4", "w3=0x3", "w4=0x1", "w2=0x1"}},
      {"reset keeps the other bits", 32, RelayRequest::Reset, relayList(0, {2}), {"r3", "r4", "w3=0x0", "w4=0x0", "w2=0x1"}},
      {"set all of 32", 32, RelayRequest::Set, relayList(1, {}), {"w3=0xFFFFFFFF", "w4=0xFFFFFFFF", "w2=0x1"}},
      {"reset all of 64", 64, RelayRequest::Reset, relayList(1, {}), {"w3=0x0", "w4=0x0", "w5=0x0", "w6=0x0", "w2=0x1"}},
      {"relay 18 of 18 lies in a second register", 18, RelayRequest::Set, relayList(0, {18}), {"r3", "r4", "w3=0x2", "w4=0x2", "w2=0x1"}},
      {"direct bytes, two per register", 32, RelayRequest::SetDirect, counted({0x01, 0x02, 0x03}), {"w3=0x201", "w4=0x3", "w2=0x1"}},
      {"relay 33 of 32", 32, RelayRequest::Set, relayList(0, {1, 33}), {"r3", "r4"}, QOR_ERR_SERVER_INVALID_PARAMETER,
       "there are only 32 relays on the selected hardware"},
      {"relay 0", 16, RelayRequest::Reset, relayList(0, {0}), {"r3"}, QOR_ERR_SERVER_INVALID_PARAMETER,
       "invalid relay number - relay numbers are starting with '1'"},
      {"17 direct bytes", 128, RelayRequest::SetDirect, counted(std::vector<uint8_t>(17, 0xFF)), {},
       QOR_ERR_SERVER_INVALID_PARAMETER, "only 16 relay bytes are supported"},
      {"a count beyond the bytes", 32, RelayRequest::Set, {0, 0, 0, 0, 3, 0, 1}, {}, QOR_ERR_SERVER_INVALID_PARAMETER,
       "relay request of 7 bytes is incomplete"},
      {"a device without relays", 0, RelayRequest::Set, relayList(1, {}), {}, QOR_ERR_SERVER_FUNCTION_NOT_AVAILABLE},
  };
  for (const RelayCase& c : cases) {
    RegisterDevice device(c.relays);
    device.registers[3] = 0x2;
    std::vector<uint8_t> answer(64);
    uint32_t length = 0;
    const PathStatus status = switchRelays(device, c.request, c.parameters, answer, length);
    EXPECT_EQ(status.code, c.code) << c.name << ": " << status.text;
    EXPECT_EQ(status.text, c.text) << c.name;
    EXPECT_EQ(device.log, c.log) << c.name;
  }
}

TEST(FpgaRelays, StateAnswersOneBytePerRelay) {
  RegisterDevice device(32);
  device.registers[3] = 0x0001;
  device.registers[4] = 0x8000;
  std::vector<uint8_t> answer(16, 0xEE);
  uint32_t length = 0;
  ASSERT_TRUE(switchRelays(device, RelayRequest::State, counted({1, 2, 32}), answer, length).ok());
  EXPECT_EQ(length, 5u);
  EXPECT_EQ(std::vector<uint8_t>(answer.begin(), answer.begin() + length), (std::vector<uint8_t>{3, 0, 1, 0, 1}));

  const PathStatus tooHigh = switchRelays(device, RelayRequest::State, counted({40}), answer, length);
  EXPECT_EQ(tooHigh.text, "there are only 32 relays on the selected hardware");
  EXPECT_EQ(length, 0u);
}

} // namespace
} // namespace qor::daemon
