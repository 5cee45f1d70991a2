// The address and socket protocol types' translations on an open port: valid types pass unchanged, the first
// unknown one of each is reported.
#include <gtest/gtest.h>

#include <string>

#include "qor_api.h"
#include "qor_ethernet_types.h"
#include "qor_test/interface_fixture.hpp"

namespace qor::test {
namespace {

constexpr uint32_t kUnknownMode = 0x02130005, kUnknownProtocol = 0x0213000A;

class TypeTranslations : public InterfaceFixture {
 protected:
  TypeTranslations() : InterfaceFixture(automotiveEthernetController()) {}
};

TEST_F(TypeTranslations, ValidTypesPassAndTheFirstUnknownIsReported) {
  const uint32_t port = open(1);
  for (uint32_t type = 0; type <= 5; ++type) {
    uint8_t firmwareType = 0xEE;
    EXPECT_EQ(Qor_Ethernet_Internal_Translate_IpAddressType_Api2Fw(port, type, &firmwareType), 0u);
    EXPECT_EQ(firmwareType, type);
  }
  for (uint32_t type = 0; type <= 3; ++type) {
    uint8_t firmwareType = 0xEE;
    EXPECT_EQ(Qor_Ethernet_Internal_Translate_SocketProtocolType_Api2Fw(port, type, &firmwareType), 0u);
    EXPECT_EQ(firmwareType, type);
  }
  uint8_t firmwareType = 0xEE;
  EXPECT_EQ(Qor_Ethernet_Internal_Translate_IpAddressType_Api2Fw(port, 6, &firmwareType), kUnknownMode);
  EXPECT_NE(std::string(Qor_GetLastErrorDescription()).find("ip address type is unknown"), std::string::npos);
  EXPECT_EQ(Qor_Ethernet_Internal_Translate_SocketProtocolType_Api2Fw(port, 4, &firmwareType), kUnknownProtocol);
  EXPECT_NE(std::string(Qor_GetLastErrorDescription()).find("socket protocol type is unknown"), std::string::npos);
  EXPECT_EQ(firmwareType, 0xEE);
}

}  // namespace
}  // namespace qor::test
