// Controller property records as sent and read answers as taken, and the refusals that need no device.
#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "controller_properties.hpp"
#include "qor_api.h"
#include "qor_common_properties.h"

namespace qor::common {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes bytesOf(const kit::RecordWriter& record) { return Bytes(record.view().begin(), record.view().end()); }

TEST(PropertyRecords, SetAndReadRecordsAreByteExact) {
  const Bytes value = {0xC0, 0xA8, 0x01, 0x3E};
  EXPECT_EQ(bytesOf(setPropertyRecord(property::kIpAddress, value)),
            (Bytes{9, 0, 0, 0, 2, 0, 4, 0, 0xC0, 0xA8, 0x01, 0x3E}));
  EXPECT_EQ(bytesOf(setPropertyRecord(0x1234, {})), (Bytes{9, 0, 0, 0, 0x34, 0x12, 0, 0}));
  EXPECT_EQ(bytesOf(readPropertyRecord(property::kFtpServerAutoStart)), (Bytes{10, 0, 0, 0, 17, 0, 0, 0}));
}

TEST(PropertyRecords, SetRecordTakesValuesUpToTheAnswerCapacity) {
  const Bytes largest(kMaxPropertyValueLength, 0x5A);
  const kit::RecordWriter record = setPropertyRecord(property::kStartFirmware, largest);
  EXPECT_FALSE(record.overflowed());
  EXPECT_EQ(record.size(), 32756u);
  EXPECT_TRUE(setPropertyRecord(property::kStartFirmware, Bytes(kMaxPropertyValueLength + 1)).overflowed());
}

struct ReadAnswer {
  const char* name;
  Bytes answer;
  std::optional<size_t> length;
};

Bytes readAnswer(uint16_t valueLength, size_t valueBytesSent) {
  Bytes answer = {10, 0, 0, 0, 2, 0, static_cast<uint8_t>(valueLength), static_cast<uint8_t>(valueLength >> 8)};
  answer.resize(answer.size() + valueBytesSent, 0x77);
  return answer;
}

TEST(PropertyRecords, ReadAnswerMustHoldTheValueItClaims) {
  const ReadAnswer cases[] = {
      {"empty", {}, std::nullopt},
      {"head cut", Bytes{10, 0, 0, 0, 2, 0, 0}, std::nullopt},
      {"empty value", readAnswer(0, 0), 8},
      {"whole value", readAnswer(4, 4), 12},
      {"value one byte short", readAnswer(4, 3), std::nullopt},
      {"bytes beyond the value", readAnswer(1, 3), 9},
      {"length beyond any answer", readAnswer(0xFFFF, 32748), std::nullopt},
  };
  for (const ReadAnswer& c : cases) EXPECT_EQ(propertyAnswerLength(c.answer), c.length) << c.name;
}

// Every exported function refuses a port that is not open before anything else, the temperature too.
TEST(PropertyFunctions, RefuseABadHandle) {
  constexpr uint32_t kClosedPort = 7;
  uint8_t bytes[4] = {};
  uint16_t length = sizeof bytes;
  uint32_t word = 0;
  uint16_t half = 0;
  float temperature = 0;
  const std::pair<const char*, std::function<uint32_t()>> calls[] = {
      {"SetById", [&] { return Qor_Common_ControllerControl_Property_SetById(kClosedPort, 0, 1, bytes); }},
      {"GetById", [&] { return Qor_Common_ControllerControl_Property_GetById(kClosedPort, 0, &length, bytes); }},
      {"GetTemperature",
       [&] {
         return Qor_Common_GetTemperature(kClosedPort, &temperature, &temperature, &temperature, &temperature);
       }},
      {"IpAddress_Set", [&] { return Qor_Common_Ethernet_IpAddress_Set(kClosedPort, &word); }},
      {"IpAddress_Get", [&] { return Qor_Common_Ethernet_IpAddress_Get(kClosedPort, &word); }},
      {"DHCP_Mode_Set", [&] { return Qor_Common_Ethernet_DHCP_Mode_Set(kClosedPort, 7); }},
      {"DHCP_Mode_Get", [&] { return Qor_Common_Ethernet_DHCP_Mode_Get(kClosedPort, bytes); }},
      {"SubNetMask_Set", [&] { return Qor_Common_Ethernet_SubNetMask_Set(kClosedPort, bytes); }},
      {"SubNetMask_Get", [&] { return Qor_Common_Ethernet_SubNetMask_Get(kClosedPort, bytes); }},
      {"TcpPort_Get", [&] { return Qor_Common_Ethernet_TcpPort_Get(kClosedPort, &half); }},
      {"DefaultGateway_Set", [&] { return Qor_Common_Ethernet_DefaultGateway_Set(kClosedPort, bytes); }},
      {"DefaultGateway_Get", [&] { return Qor_Common_Ethernet_DefaultGateway_Get(kClosedPort, bytes); }},
      {"FtpServer_AutoStart_Enable", [&] { return Qor_Common_Ethernet_FtpServer_AutoStart_Enable(kClosedPort); }},
      {"FtpServer_AutoStart_Disable", [&] { return Qor_Common_Ethernet_FtpServer_AutoStart_Disable(kClosedPort); }},
      {"FtpServer_AutoStart_GetState",
       [&] { return Qor_Common_Ethernet_FtpServer_AutoStart_GetState(kClosedPort, bytes); }},
  };
  for (const auto& [name, call] : calls) EXPECT_EQ(call(), QOR_ERR_API_INVALID_PORT_HANDLE) << name;
  EXPECT_EQ(length, sizeof bytes);
}

TEST(PropertyFunctions, AdapterListIsTheCoreLibrarys) {
  Qor_NetworkAdapter_t ours[8] = {}, cores[8] = {};
  uint32_t ourCount = 8, coreCount = 8;
  EXPECT_EQ(Qor_Common_Ethernet_GetNetworkAdapterInfo(&ourCount, ours),
            Qor_Ethernet_GetNetworkAdapterInfo(&coreCount, cores));
  ASSERT_EQ(ourCount, coreCount);
  for (uint32_t index = 0; index < ourCount && index < 8; ++index) {
    EXPECT_EQ(ours[index].address, cores[index].address);
    EXPECT_EQ(ours[index].netmask, cores[index].netmask);
  }
  EXPECT_EQ(Qor_Common_Ethernet_GetNetworkAdapterInfo(nullptr, ours),
            Qor_Ethernet_GetNetworkAdapterInfo(nullptr, cores));
}

}  // namespace
}  // namespace qor::common
