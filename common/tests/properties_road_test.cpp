// Controller properties and network settings from the library through the daemon to an emulated controller that
// keeps a property store (command 0x0C, set sub-function 9, read sub-function 10).
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "interface_fixture.hpp"
#include "qor_common_properties.h"
#include "qor_emulator/frame.hpp"

namespace qor::test {
namespace {

using namespace std::chrono_literals;
using emulator::Bytes;
using emulator::ReceivedFrame;
using emulator::Reply;

constexpr uint8_t kControllerControl = 0x0C;
constexpr uint32_t kSerialQuery = 5;
constexpr uint32_t kSet = 9;
constexpr uint32_t kRead = 10;
constexpr uint32_t kInvalidResponseLength = 0x02010003;
constexpr uint32_t kUnknownMode = 0x02010005;
constexpr uint32_t kBufferUndersized = 0x02010006;
constexpr uint32_t kInvalidParameter = 0x02010007;
constexpr uint32_t kFirmwareError = 0x1F;
constexpr uint32_t kEthernetParameterLength = 4084;  // the size group of the emulated Ethernet model

Bytes readAnswer(uint16_t id, uint16_t claimedLength, const Bytes& value) {
  Bytes answer(8 + value.size());
  answer[0] = 10;
  answer[4] = static_cast<uint8_t>(id);
  answer[5] = static_cast<uint8_t>(id >> 8);
  answer[6] = static_cast<uint8_t>(claimedLength);
  answer[7] = static_cast<uint8_t>(claimedLength >> 8);
  std::copy(value.begin(), value.end(), answer.begin() + 8);
  return answer;
}

std::string failureText(uint32_t code, const char* kind, const std::string& text) {
  char head[16];
  snprintf(head, sizeof head, "0x%08X", code);
  return std::string(head) + " - COMMON - " + kind + " - " + text;
}

// A controller that keeps its properties: a set stores the value, a read answers it; a read of an id without
// value, or of an id made to fail, is refused with a firmware error. Answers can be replaced per id.
class PropertyRoad : public InterfaceFixture {
 protected:
  void SetUp() override {
    InterfaceFixture::SetUp();
    device_->onCommand(kControllerControl, [this](const ReceivedFrame& frame) { return answer(frame); });
    port_ = open();
    device_->recorder().clear();
  }

  void store(uint16_t id, Bytes value) {
    std::lock_guard lock(mutex_);
    values_[id] = std::move(value);
  }
  // The whole read answer for id, as it is sent (lengths that lie included).
  void answerReadWith(uint16_t id, Bytes answer) {
    std::lock_guard lock(mutex_);
    rawAnswers_[id] = std::move(answer);
  }
  // No property has a value any more: every read is refused.
  void forgetAll() {
    std::lock_guard lock(mutex_);
    values_.clear();
    rawAnswers_.clear();
  }
  Bytes stored(uint16_t id) {
    std::lock_guard lock(mutex_);
    return values_.count(id) ? values_[id] : Bytes{};
  }

  // The parameters of every property set and read since SetUp.
  std::vector<Bytes> propertyRecords() {
    std::vector<Bytes> records;
    for (const ReceivedFrame& frame : device_->recorder().frames()) {
      if (frame.command() != kControllerControl) continue;
      records.emplace_back(frame.parameters().begin(), frame.parameters().end());
    }
    return records;
  }

  uint32_t port_ = QOR_NO_PORT;

 private:
  Reply answer(const ReceivedFrame& frame) {
    const uint32_t sub = frame.parameterWord(0);
    if (sub == kSerialQuery) {
      const Bytes serial = {5, 0, 0, 0, kDeviceSerial & 0xFF, kDeviceSerial >> 8, 0, 0};
      return frame.response(serial);
    }
    const auto parameters = frame.parameters();
    if (parameters.size() < 8) return frame.negativeAcknowledge(kFirmwareError, "short record");
    const uint16_t id = static_cast<uint16_t>(parameters[4] | parameters[5] << 8);
    std::lock_guard lock(mutex_);
    if (sub == kSet) {
      values_[id] = Bytes(parameters.begin() + 8, parameters.end());
      return frame.response(Bytes{9, 0, 0, 0});
    }
    if (rawAnswers_.count(id)) return frame.response(rawAnswers_[id]);
    if (!values_.count(id)) return frame.negativeAcknowledge(kFirmwareError, "no such property");
    return frame.response(readAnswer(id, static_cast<uint16_t>(values_[id].size()), values_[id]));
  }

  std::mutex mutex_;
  std::map<uint16_t, Bytes> values_;
  std::map<uint16_t, Bytes> rawAnswers_;
};

// ---- general access by id ----

TEST_F(PropertyRoad, GeneralIdsAreWrittenAndReadBackOthersRefusedUnsent) {
  struct Id {
    uint16_t id;
    bool general;
  };
  const Id ids[] = {{0, true},   {1, true},   {2, true},   {3, true},  {35, true},  {36, true},  {37, true},
                    {4, false},  {5, false},  {8, false},  {17, false}, {34, false}, {38, false}, {0xFFFF, false}};
  for (const Id& c : ids) {
    SCOPED_TRACE(c.id);
    device_->recorder().clear();
    const Bytes value = {static_cast<uint8_t>(c.id), 0xA5, 0x5A};
    Bytes read(8, 0xEE);
    uint16_t length = static_cast<uint16_t>(read.size());
    if (c.general) {
      ASSERT_EQ(Qor_Common_ControllerControl_Property_SetById(port_, c.id, 3, value.data()), 0u)
          << Qor_GetLastErrorDescription();
      ASSERT_EQ(Qor_Common_ControllerControl_Property_GetById(port_, c.id, &length, read.data()), 0u)
          << Qor_GetLastErrorDescription();
      EXPECT_EQ(length, 3u);
      EXPECT_EQ(Bytes(read.begin(), read.begin() + 3), value);
      const uint8_t lo = static_cast<uint8_t>(c.id);
      EXPECT_EQ(propertyRecords(), (std::vector<Bytes>{{9, 0, 0, 0, lo, 0, 3, 0, lo, 0xA5, 0x5A},
                                                       {10, 0, 0, 0, lo, 0, 0, 0}}));
      continue;
    }
    char text[32];
    snprintf(text, sizeof text, "id '0x%04x' is unknown", c.id);
    EXPECT_EQ(Qor_Common_ControllerControl_Property_SetById(port_, c.id, 3, value.data()), kInvalidParameter);
    EXPECT_EQ(Qor_GetLastErrorDescription(), failureText(kInvalidParameter, "invalid parameter", text));
    EXPECT_EQ(Qor_Common_ControllerControl_Property_GetById(port_, c.id, &length, read.data()), kInvalidParameter);
    EXPECT_EQ(Qor_GetLastErrorDescription(), failureText(kInvalidParameter, "invalid parameter", text));
    EXPECT_EQ(length, 0u);
    EXPECT_TRUE(propertyRecords().empty());
  }
}

// The general limit is 32748 bytes; an Ethernet port takes at most its parameter length of 4084 (8 + 4076), so the
// largest value reachable here is 4076 bytes, and 32748 passes the library's check but the port refuses it.
TEST_F(PropertyRoad, ValueLengthsUpToTheLimitAndThePortsParameterLength) {
  uint32_t parameterLength = 0;
  ASSERT_EQ(Qor_GetParamSize(port_, &parameterLength), 0u);
  ASSERT_EQ(parameterLength, kEthernetParameterLength);

  Bytes largest(kEthernetParameterLength - 8);
  for (size_t index = 0; index < largest.size(); ++index) largest[index] = static_cast<uint8_t>(index * 7);
  ASSERT_EQ(Qor_Common_ControllerControl_Property_SetById(port_, 0, static_cast<uint16_t>(largest.size()),
                                                          largest.data()),
            0u)
      << Qor_GetLastErrorDescription();
  EXPECT_EQ(stored(0), largest);

  const Bytes tooLong(32749);
  device_->recorder().clear();
  EXPECT_EQ(Qor_Common_ControllerControl_Property_SetById(port_, 0, 32749, tooLong.data()), kInvalidParameter);
  EXPECT_EQ(Qor_GetLastErrorDescription(), failureText(kInvalidParameter, "invalid parameter",
                                                       "maximum length = 32748 bytes"));
  EXPECT_EQ(Qor_Common_ControllerControl_Property_SetById(port_, 0, 32748, tooLong.data()),
            QOR_ERR_API_INVALID_COMMAND_LENGTH);
  EXPECT_EQ(Qor_Common_ControllerControl_Property_SetById(port_, 0, static_cast<uint16_t>(largest.size() + 1),
                                                          tooLong.data()),
            QOR_ERR_API_INVALID_COMMAND_LENGTH);
  EXPECT_TRUE(propertyRecords().empty());
  EXPECT_EQ(stored(0), largest);
}

TEST_F(PropertyRoad, ReadNeedsRoomForTheWholeValue) {
  const Bytes value = {1, 2, 3, 4, 5};
  store(2, value);
  Bytes read(8, 0xEE);
  uint16_t length = 5;
  ASSERT_EQ(Qor_Common_ControllerControl_Property_GetById(port_, 2, &length, read.data()), 0u);
  EXPECT_EQ(length, 5u);
  EXPECT_EQ(Bytes(read.begin(), read.begin() + 5), value);

  std::fill(read.begin(), read.end(), 0xEE);
  length = 4;
  EXPECT_EQ(Qor_Common_ControllerControl_Property_GetById(port_, 2, &length, read.data()), kBufferUndersized);
  EXPECT_EQ(Qor_GetLastErrorDescription(),
            failureText(kBufferUndersized, "response buffer undersized", "received 5 bytes"));
  EXPECT_EQ(length, 4u);
  EXPECT_EQ(read, Bytes(8, 0xEE));
}

TEST_F(PropertyRoad, FailedReadsGiveNoLengthAndNoBytes) {
  struct Case {
    const char* name;
    Bytes answer;  // empty: the controller refuses the read
    uint32_t code;
  } cases[] = {
      {"firmware error", {}, kFirmwareError},
      {"value shorter than its length", readAnswer(1, 8, {1, 2, 3, 4}), kInvalidResponseLength},
      {"length beyond any answer", readAnswer(1, 0xFFFF, Bytes(16, 9)), kInvalidResponseLength},
      {"head cut", Bytes{10, 0, 0, 0, 1, 0}, kInvalidResponseLength},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (!c.answer.empty()) answerReadWith(1, c.answer);
    Bytes read(0xFFFF, 0xEE);
    uint16_t length = 0xFFFF;
    EXPECT_EQ(Qor_Common_ControllerControl_Property_GetById(port_, 1, &length, read.data()), c.code)
        << Qor_GetLastErrorDescription();
    EXPECT_EQ(length, 0u);
    EXPECT_EQ(read, Bytes(0xFFFF, 0xEE));
  }
}

// ---- temperatures ----

Bytes u32Bytes(std::initializer_list<uint32_t> words) {
  Bytes bytes;
  for (uint32_t word : words) {
    for (int shift = 0; shift < 32; shift += 8) bytes.push_back(static_cast<uint8_t>(word >> shift));
  }
  return bytes;
}

constexpr float kUntouched = -999.0f;

struct Temperatures {
  float first = kUntouched, second = kUntouched, third = kUntouched, fourth = kUntouched;
};

TEST_F(PropertyRoad, TemperaturesAreScaledAndPropertyThirtyFiveOverridesTheFirst) {
  store(1, u32Bytes({320, 24}));            // 10 and 3 degrees
  store(35, u32Bytes({40 * 256}));          // 40
  store(36, u32Bytes({41 * 256 + 128}));    // 41.5
  store(37, u32Bytes({0xFFFFFFFF}));        // unsigned: no negative temperature
  Temperatures t;
  ASSERT_EQ(Qor_Common_GetTemperature(port_, &t.first, &t.second, &t.third, &t.fourth), 0u);
  EXPECT_EQ(t.first, 40.0f);
  EXPECT_EQ(t.second, 41.5f);
  EXPECT_EQ(t.third, static_cast<float>(4294967295.0 / 256));
  EXPECT_EQ(t.fourth, 3.0f);
  EXPECT_EQ(propertyRecords(), (std::vector<Bytes>{{10, 0, 0, 0, 1, 0, 0, 0},
                                                   {10, 0, 0, 0, 35, 0, 0, 0},
                                                   {10, 0, 0, 0, 36, 0, 0, 0},
                                                   {10, 0, 0, 0, 37, 0, 0, 0}}));
}

TEST_F(PropertyRoad, TemperatureStopsAfterPropertyThirtyFiveFails) {
  store(1, u32Bytes({320, 24}));
  store(36, u32Bytes({256}));
  store(37, u32Bytes({256}));
  Temperatures t;
  EXPECT_EQ(Qor_Common_GetTemperature(port_, &t.first, &t.second, &t.third, &t.fourth), 0u);
  EXPECT_EQ(t.first, 10.0f);
  EXPECT_EQ(t.fourth, 3.0f);
  EXPECT_EQ(t.second, kUntouched);
  EXPECT_EQ(t.third, kUntouched);
  EXPECT_EQ(propertyRecords(), (std::vector<Bytes>{{10, 0, 0, 0, 1, 0, 0, 0}, {10, 0, 0, 0, 35, 0, 0, 0}}));
}

TEST_F(PropertyRoad, TemperatureWritesOnlyWhatTheControllerGave) {
  struct Case {
    const char* name;
    std::map<uint16_t, Bytes> values;  // ids without an entry fail
    Temperatures expected;
  } cases[] = {
      {"pair fails, the rest given", {{35, u32Bytes({512})}, {36, u32Bytes({768})}, {37, u32Bytes({1024})}},
       {2.0f, 3.0f, 4.0f, kUntouched}},
      {"empty values", {{1, {}}, {35, {}}, {36, {}}, {37, u32Bytes({1024})}},
       {kUntouched, kUntouched, 4.0f, kUntouched}},
      {"second fails, third given", {{35, u32Bytes({512})}, {37, u32Bytes({1024})}},
       {2.0f, kUntouched, 4.0f, kUntouched}},
      {"short values are not used", {{1, u32Bytes({320})}, {35, u32Bytes({512})}, {36, {1, 2}}},
       {2.0f, kUntouched, kUntouched, kUntouched}},
      {"short property 35 ends the call", {{1, u32Bytes({320, 24})}, {35, {1, 2, 3}}, {36, u32Bytes({768})}},
       {10.0f, kUntouched, kUntouched, 3.0f}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    forgetAll();
    for (const auto& [id, value] : c.values) store(id, value);
    Temperatures t;
    EXPECT_EQ(Qor_Common_GetTemperature(port_, &t.first, &t.second, &t.third, &t.fourth), 0u);
    EXPECT_EQ(t.first, c.expected.first);
    EXPECT_EQ(t.second, c.expected.second);
    EXPECT_EQ(t.third, c.expected.third);
    EXPECT_EQ(t.fourth, c.expected.fourth);
  }
}

TEST_F(PropertyRoad, TemperatureRefusesBadHandleAndMissingOutputs) {
  Temperatures t;
  EXPECT_EQ(Qor_Common_GetTemperature(QOR_NO_PORT - 1, &t.first, &t.second, &t.third, &t.fourth),
            QOR_ERR_API_INVALID_PORT_HANDLE);
  EXPECT_EQ(Qor_Common_GetTemperature(port_, &t.first, nullptr, &t.third, &t.fourth), kInvalidParameter);
  EXPECT_TRUE(propertyRecords().empty());
}

// ---- network settings ----

TEST_F(PropertyRoad, NetworkSettersSendTheirRecords) {
  const uint32_t address = 0x3E01A8C0;  // 192.168.1.62 as it lies in memory
  const uint8_t mask[4] = {255, 255, 252, 0};
  const uint8_t gateway[4] = {192, 168, 1, 1};
  struct Case {
    const char* name;
    std::function<uint32_t()> call;
    Bytes record;
  } cases[] = {
      {"IP address", [&] { return Qor_Common_Ethernet_IpAddress_Set(port_, &address); },
       {9, 0, 0, 0, 2, 0, 4, 0, 0xC0, 0xA8, 0x01, 0x3E}},
      {"DHCP off", [&] { return Qor_Common_Ethernet_DHCP_Mode_Set(port_, 0); }, {9, 0, 0, 0, 3, 0, 1, 0, 0}},
      {"DHCP on", [&] { return Qor_Common_Ethernet_DHCP_Mode_Set(port_, 1); }, {9, 0, 0, 0, 3, 0, 1, 0, 1}},
      {"subnet mask", [&] { return Qor_Common_Ethernet_SubNetMask_Set(port_, mask); },
       {9, 0, 0, 0, 4, 0, 4, 0, 255, 255, 252, 0}},
      {"default gateway", [&] { return Qor_Common_Ethernet_DefaultGateway_Set(port_, gateway); },
       {9, 0, 0, 0, 8, 0, 4, 0, 192, 168, 1, 1}},
      {"FTP auto-start on", [&] { return Qor_Common_Ethernet_FtpServer_AutoStart_Enable(port_); },
       {9, 0, 0, 0, 17, 0, 1, 0, 1}},
      {"FTP auto-start off", [&] { return Qor_Common_Ethernet_FtpServer_AutoStart_Disable(port_); },
       {9, 0, 0, 0, 17, 0, 1, 0, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    device_->recorder().clear();
    ASSERT_EQ(c.call(), 0u) << Qor_GetLastErrorDescription();
    EXPECT_EQ(propertyRecords(), std::vector<Bytes>{c.record});
  }
}

TEST_F(PropertyRoad, NetworkGettersReadTheirProperty) {
  store(2, {0xC0, 0xA8, 0x01, 0x3E});
  store(3, {1});
  store(4, {255, 255, 252, 0});
  store(5, {0x0E, 0x14});  // 5134
  store(8, {192, 168, 1, 1});
  store(17, {1});
  uint32_t address = 0;
  uint8_t mode = 0xEE, mask[4] = {}, gateway[4] = {}, state = 0xEE;
  uint16_t tcpPort = 0;
  ASSERT_EQ(Qor_Common_Ethernet_IpAddress_Get(port_, &address), 0u) << Qor_GetLastErrorDescription();
  EXPECT_EQ(address, 0x3E01A8C0u);
  ASSERT_EQ(Qor_Common_Ethernet_DHCP_Mode_Get(port_, &mode), 0u) << Qor_GetLastErrorDescription();
  EXPECT_EQ(mode, 1u);
  ASSERT_EQ(Qor_Common_Ethernet_SubNetMask_Get(port_, mask), 0u) << Qor_GetLastErrorDescription();
  EXPECT_EQ(Bytes(mask, mask + 4), (Bytes{255, 255, 252, 0}));
  ASSERT_EQ(Qor_Common_Ethernet_TcpPort_Get(port_, &tcpPort), 0u) << Qor_GetLastErrorDescription();
  EXPECT_EQ(tcpPort, 5134u);
  ASSERT_EQ(Qor_Common_Ethernet_DefaultGateway_Get(port_, gateway), 0u) << Qor_GetLastErrorDescription();
  EXPECT_EQ(Bytes(gateway, gateway + 4), (Bytes{192, 168, 1, 1}));
  ASSERT_EQ(Qor_Common_Ethernet_FtpServer_AutoStart_GetState(port_, &state), 0u) << Qor_GetLastErrorDescription();
  EXPECT_EQ(state, 1u);
  std::vector<Bytes> reads;
  for (uint8_t id : {2, 3, 4, 5, 8, 17}) reads.push_back({10, 0, 0, 0, id, 0, 0, 0});
  EXPECT_EQ(propertyRecords(), reads);
}

TEST_F(PropertyRoad, SubnetMaskSetReachesAnIdTheGeneralSetRefuses) {
  const uint8_t mask[4] = {255, 0, 0, 0};
  EXPECT_EQ(Qor_Common_ControllerControl_Property_SetById(port_, 4, 4, mask), kInvalidParameter);
  EXPECT_EQ(Qor_Common_Ethernet_SubNetMask_Set(port_, mask), 0u);
  EXPECT_EQ(stored(4), Bytes(mask, mask + 4));
}

TEST_F(PropertyRoad, DhcpModesOtherThanOffAndOnAreRefused) {
  EXPECT_EQ(Qor_Common_Ethernet_DHCP_Mode_Set(port_, 2), kUnknownMode);
  EXPECT_EQ(Qor_GetLastErrorDescription(), failureText(kUnknownMode, "unknown mode", "mode '0x02' is unknown"));
  EXPECT_EQ(Qor_Common_Ethernet_DHCP_Mode_Set(port_, 0xFF), kUnknownMode);
  EXPECT_TRUE(propertyRecords().empty());

  store(3, {2});
  uint8_t mode = 0xEE;
  EXPECT_EQ(Qor_Common_Ethernet_DHCP_Mode_Get(port_, &mode), kUnknownMode);
  EXPECT_EQ(Qor_GetLastErrorDescription(),
            failureText(kUnknownMode, "unknown mode", "DHCP mode ''0x0002' is unknown"));
  EXPECT_EQ(mode, 0xEE);
}

// A getter reads only bytes the answer holds: a value shorter than the setting, or a length that lies, is refused
// and the output stays as it was; a refused read comes back unchanged.
TEST_F(PropertyRoad, NetworkGettersRefuseShortAnswers) {
  uint32_t address = 0xEEEEEEEE;
  uint8_t bytes[4] = {0xEE, 0xEE, 0xEE, 0xEE};
  uint16_t tcpPort = 0xEEEE;
  const std::pair<const char*, std::function<uint32_t()>> getters[] = {
      {"IP address", [&] { return Qor_Common_Ethernet_IpAddress_Get(port_, &address); }},
      {"DHCP mode", [&] { return Qor_Common_Ethernet_DHCP_Mode_Get(port_, bytes); }},
      {"subnet mask", [&] { return Qor_Common_Ethernet_SubNetMask_Get(port_, bytes); }},
      {"TCP port", [&] { return Qor_Common_Ethernet_TcpPort_Get(port_, &tcpPort); }},
      {"default gateway", [&] { return Qor_Common_Ethernet_DefaultGateway_Get(port_, bytes); }},
      {"FTP auto-start", [&] { return Qor_Common_Ethernet_FtpServer_AutoStart_GetState(port_, bytes); }},
  };
  const uint16_t ids[] = {2, 3, 4, 5, 8, 17};
  const size_t lengths[] = {4, 1, 4, 2, 4, 1};
  for (size_t index = 0; index < std::size(ids); ++index) {
    SCOPED_TRACE(getters[index].first);
    const uint16_t id = ids[index];
    const Bytes shortValue(lengths[index] - 1, 1);
    const std::pair<const char*, Bytes> answers[] = {
        {"value shorter than the setting", readAnswer(id, static_cast<uint16_t>(shortValue.size()), shortValue)},
        {"length that lies", readAnswer(id, static_cast<uint16_t>(lengths[index] + 1), Bytes(lengths[index], 1))},
    };
    for (const auto& [name, answer] : answers) {
      SCOPED_TRACE(name);
      answerReadWith(id, answer);
      EXPECT_EQ(getters[index].second(), kInvalidResponseLength);
    }
    forgetAll();
    EXPECT_EQ(getters[index].second(), kFirmwareError);
  }
  EXPECT_EQ(address, 0xEEEEEEEEu);
  EXPECT_EQ(Bytes(bytes, bytes + 4), Bytes(4, 0xEE));
  EXPECT_EQ(tcpPort, 0xEEEEu);
}

TEST_F(PropertyRoad, MissingPointersAreRefusedUnsent) {
  uint8_t value[1] = {};
  uint16_t length = sizeof value;
  const std::pair<const char*, std::function<uint32_t()>> calls[] = {
      {"SetById", [&] { return Qor_Common_ControllerControl_Property_SetById(port_, 0, 1, nullptr); }},
      {"GetById length", [&] { return Qor_Common_ControllerControl_Property_GetById(port_, 0, nullptr, value); }},
      {"GetById value", [&] { return Qor_Common_ControllerControl_Property_GetById(port_, 0, &length, nullptr); }},
      {"IpAddress_Set", [&] { return Qor_Common_Ethernet_IpAddress_Set(port_, nullptr); }},
      {"IpAddress_Get", [&] { return Qor_Common_Ethernet_IpAddress_Get(port_, nullptr); }},
      {"DHCP_Mode_Get", [&] { return Qor_Common_Ethernet_DHCP_Mode_Get(port_, nullptr); }},
      {"SubNetMask_Set", [&] { return Qor_Common_Ethernet_SubNetMask_Set(port_, nullptr); }},
      {"SubNetMask_Get", [&] { return Qor_Common_Ethernet_SubNetMask_Get(port_, nullptr); }},
      {"TcpPort_Get", [&] { return Qor_Common_Ethernet_TcpPort_Get(port_, nullptr); }},
      {"DefaultGateway_Set", [&] { return Qor_Common_Ethernet_DefaultGateway_Set(port_, nullptr); }},
      {"DefaultGateway_Get", [&] { return Qor_Common_Ethernet_DefaultGateway_Get(port_, nullptr); }},
      {"FtpServer_AutoStart_GetState",
       [&] { return Qor_Common_Ethernet_FtpServer_AutoStart_GetState(port_, nullptr); }},
  };
  for (const auto& [name, call] : calls) EXPECT_EQ(call(), kInvalidParameter) << name;
  EXPECT_TRUE(propertyRecords().empty());
}

}  // namespace
}  // namespace qor::test
