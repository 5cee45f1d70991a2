// The address and socket protocol types' translations on an open port: valid types pass unchanged, the first
// unknown one of each is reported.
#include <gtest/gtest.h>

#include <string>

#include "ethernet_road.hpp"
#include "qor_ethernet_types.h"

namespace qor::test {
namespace {

using TypeTranslations = EthernetRoad;

TEST_F(TypeTranslations, ValidTypesPassAndTheFirstUnknownIsReported) {
  for (uint32_t type = 0; type <= 5; ++type) {
    uint8_t firmwareType = 0xEE;
    EXPECT_EQ(Qor_Ethernet_Internal_Translate_IpAddressType_Api2Fw(port_, type, &firmwareType), 0u);
    EXPECT_EQ(firmwareType, type);
  }
  for (uint32_t type = 0; type <= 3; ++type) {
    uint8_t firmwareType = 0xEE;
    EXPECT_EQ(Qor_Ethernet_Internal_Translate_SocketProtocolType_Api2Fw(port_, type, &firmwareType), 0u);
    EXPECT_EQ(firmwareType, type);
  }
  uint8_t firmwareType = 0xEE;
  EXPECT_EQ(Qor_Ethernet_Internal_Translate_IpAddressType_Api2Fw(port_, 6, &firmwareType), kUnknownMode);
  EXPECT_NE(lastText().find("ip address type is unknown"), std::string::npos);
  EXPECT_EQ(Qor_Ethernet_Internal_Translate_SocketProtocolType_Api2Fw(port_, 4, &firmwareType), kUnknownProtocol);
  EXPECT_NE(lastText().find("socket protocol type is unknown"), std::string::npos);
  EXPECT_EQ(firmwareType, 0xEE);
}

}  // namespace
}  // namespace qor::test
