// What every CAN message description goes through: the flags translation and the DLC table.
#include <gtest/gtest.h>

#include <string>

#include "can_library.hpp"
#include "qor_api.h"
#include "qor_can_message.h"

namespace qor::can {
namespace {

constexpr uint32_t kNoPort = 0;
constexpr uint32_t kUnknownFlag = 0x02020004;

TEST(MessageFlags, OnlyBitsZeroAndOneReachTheFirmware) {
  for (unsigned flags = 0; flags <= 0xFF; ++flags) {
    uint8_t firmwareFlags = 0xEE;
    const uint32_t code = Qor_Can_Internal_Translate_MsgFlags_Api2Fw(kNoPort, static_cast<uint8_t>(flags),
                                                                    &firmwareFlags);
    if (flags <= 3) {
      EXPECT_EQ(code, 0u) << flags;
      EXPECT_EQ(firmwareFlags, flags);
    } else {
      EXPECT_EQ(code, kUnknownFlag) << flags;
      EXPECT_EQ(firmwareFlags, 0xEE) << "nothing written for a refused flags byte";
    }
  }
  EXPECT_EQ(Qor_Can_Internal_Translate_MsgFlags_Api2Fw(kNoPort, 4, nullptr), 0x02020007u);
}

TEST(MessageFlags, AnUnknownFlagIsNamed) {
  uint8_t firmwareFlags = 0;
  ASSERT_EQ(Qor_Can_Internal_Translate_MsgFlags_Api2Fw(kNoPort, 4, &firmwareFlags), kUnknownFlag);
  EXPECT_NE(std::string(Qor_GetLastErrorDescription()).find("CAN message flag is unknown"), std::string::npos)
      << Qor_GetLastErrorDescription();
}

TEST(DlcTable, GivesTheDataBytesOfEveryDlcAndRefusesLargerOnes) {
  const uint8_t expected[16] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 12, 16, 20, 24, 32, 48, 64};
  for (uint32_t dlc = 0; dlc <= QOR_CAN_MAX_DLC; ++dlc) {
    EXPECT_EQ(Qor_Can_Internal_DlcToNumberOfDataBytes_LUT[dlc], expected[dlc]) << dlc;
    EXPECT_EQ(dataBytesOfDlc(dlc), expected[dlc]);
    EXPECT_EQ(checkDlc(kit::Call(kCan, kNoPort), dlc), 0u);
  }
  EXPECT_EQ(checkDlc(kit::Call(kCan, kNoPort), 16), 0x02020101u);
  EXPECT_NE(std::string(Qor_GetLastErrorDescription()).find("only values from 0 to 16 are valid"), std::string::npos);
}

}  // namespace
}  // namespace qor::can
