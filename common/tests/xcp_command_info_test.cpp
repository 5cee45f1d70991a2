// Multi-byte fields of XCP packets in the slave's byte order, both ways.
#include <gtest/gtest.h>

#include <vector>

#include "xcp_command_info.hpp"

namespace qor::common::xcp {
namespace {

TEST(XcpByteOrder, FieldsGoOutAndComeBackInTheSlavesOrder) {
  struct Case {
    bool bigEndian;
    std::vector<uint8_t> packed16;
    std::vector<uint8_t> packed32;
  };
  const Case cases[] = {{false, {0x34, 0x12}, {0x78, 0x56, 0x34, 0x12}},
                        {true, {0x12, 0x34}, {0x12, 0x34, 0x56, 0x78}}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.bigEndian);
    CommandInfo info;
    info.bigEndian = c.bigEndian;
    std::vector<uint8_t> packet = {0xAA};
    info.append16(packet, 0x1234);
    info.append32(packet, 0x12345678);
    std::vector<uint8_t> expected = {0xAA};
    expected.insert(expected.end(), c.packed16.begin(), c.packed16.end());
    expected.insert(expected.end(), c.packed32.begin(), c.packed32.end());
    EXPECT_EQ(packet, expected);
    EXPECT_EQ(info.read16(packet, 1), 0x1234);
    EXPECT_EQ(info.read32(packet, 3), 0x12345678u);
  }
}

}  // namespace
}  // namespace qor::common::xcp
