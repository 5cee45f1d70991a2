// The node's MTU and data rate from the library through the daemon to an emulated Ethernet controller: every request
// byte-exact, the value read from its place in the answer, and what is refused.
#include <gtest/gtest.h>

#include <string>

#include "ethernet_road.hpp"
#include "qor_ethernet_node.h"

namespace qor::test {
namespace {

constexpr uint8_t kNode = 0x20;

using NodePropertiesRoad = EthernetRoad;

TEST_F(NodePropertiesRoad, SetsAndGetsGoOutByIdentifier) {
  device_->expect(kNode, Record().u32(6).u16(0).u16(0).u32(1500)).answer(Record().u32(6));
  device_->expect(kNode, Record().u32(6).u16(1).u16(0).u32(1000)).answer(Record().u32(6));
  device_->expect(kNode, Record().u32(7).u16(0).u16(0)).answer(Record().u32(7).u32(9000));
  device_->expect(kNode, Record().u32(7).u16(1).u16(0)).answer(Record().u32(7).u32(100).u32(0xFFFF));
  EXPECT_EQ(Qor_Ethernet_Node_Mtu_Set(port_, 1500), 0u) << lastText();
  EXPECT_EQ(Qor_Ethernet_Node_DataRate_Set(port_, 1000), 0u) << lastText();
  uint32_t mtu = 0, dataRate = 0;
  EXPECT_EQ(Qor_Ethernet_Node_Mtu_Get(port_, &mtu), 0u) << lastText();
  EXPECT_EQ(mtu, 9000u);
  EXPECT_EQ(Qor_Ethernet_Node_DataRate_Get(port_, &dataRate), 0u) << lastText();
  EXPECT_EQ(dataRate, 100u);
}

TEST_F(NodePropertiesRoad, AShortAnswerOrNoOutputIsRefused) {
  device_->expect(kNode, Record().u32(7).u16(0).u16(0)).answer(Record().u32(7));
  uint32_t mtu = 0xEEEEEEEE;
  EXPECT_EQ(Qor_Ethernet_Node_Mtu_Get(port_, &mtu), kInvalidParameter);
  EXPECT_NE(lastText().find("response of 4 bytes, 8 expected"), std::string::npos) << lastText();
  EXPECT_EQ(mtu, 0xEEEEEEEEu);
  EXPECT_EQ(Qor_Ethernet_Node_DataRate_Get(port_, nullptr), kInvalidParameter);
  EXPECT_NE(lastText().find("'value' is NULL"), std::string::npos) << lastText();
  EXPECT_EQ(Qor_Ethernet_Node_Mtu_Set(open(2), 1500), kWrongInterfaceType);
}

}  // namespace
}  // namespace qor::test
