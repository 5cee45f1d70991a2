// Where a signal may lie in a 64-byte frame: one table of layouts with the code and text each gives.
#include <gtest/gtest.h>

#include <string>

#include "common_library.hpp"
#include "qor_api.h"
#include "signal_check.hpp"

namespace qor::common {
namespace {

constexpr uint32_t kInvalidParameter = 0x02010007;

struct Layout {
  uint8_t size;
  uint8_t byteOrder;
  uint16_t startBit;
  const char* failure;  // nullptr: fits
};

const Layout kLayouts[] = {
    {64, QOR_COMMON_SIGNAL_INTEL, 448, nullptr},
    {64, QOR_COMMON_SIGNAL_INTEL, 449, "signal size value too high"},
    {1, QOR_COMMON_SIGNAL_INTEL, 511, nullptr},
    {8, QOR_COMMON_SIGNAL_MOTOROLA, 0, nullptr},
    {9, QOR_COMMON_SIGNAL_MOTOROLA, 0, "signal size value too high"},
    {16, QOR_COMMON_SIGNAL_MOTOROLA, 8, nullptr},
    {8, QOR_COMMON_SIGNAL_MOTOROLA, 7, "signal size value too high"},
    {64, QOR_COMMON_SIGNAL_MOTOROLA, 511, nullptr},
    {0, QOR_COMMON_SIGNAL_INTEL, 0, "signal size < 1"},
    {65, QOR_COMMON_SIGNAL_INTEL, 0, "signal size > 64"},
    {8, QOR_COMMON_SIGNAL_INTEL, 512, "signal offset > 511"},
    {8, 2, 0, "invalid byte order"},
    {0, 2, 0, "signal size < 1"},  // the byte order is looked at only for a valid size and start
    {8, 2, 600, "signal offset > 511"},
};

TEST(SignalLayout, FitsOrFailsWithItsReason) {
  const kit::Call call(kCommon, QOR_NO_PORT);
  for (const Layout& layout : kLayouts) {
    const Qor_Common_Signal_t signal{layout.size, layout.byteOrder, layout.startBit};
    const std::string name = "size " + std::to_string(layout.size) + ", order " + std::to_string(layout.byteOrder) +
                             ", start " + std::to_string(layout.startBit);
    if (layout.failure == nullptr) {
      EXPECT_EQ(checkSignalLayout(call, signal), 0u) << name;
      continue;
    }
    EXPECT_EQ(checkSignalLayout(call, signal), kInvalidParameter) << name;
    EXPECT_EQ(Qor_GetLastErrorDescription(), "0x02010007 - COMMON - invalid parameter - " + std::string(layout.failure))
        << name;
  }
}

TEST(SignalLayout, ExportedFunctionsCheckTheHandleFirst) {
  const Qor_Common_Signal_t outside{0, 7, 9999};
  uint8_t byteIndex = 0xEE, bitIndex = 0xEE, size = 0xEE, motorola = 0xEE;
  EXPECT_EQ(Qor_Common_Signal_Check(7, &outside), QOR_ERR_API_INVALID_PORT_HANDLE);
  EXPECT_EQ(Qor_Common_Signal_CheckAndTranslate(7, &outside, &byteIndex, &bitIndex, &size, &motorola),
            QOR_ERR_API_INVALID_PORT_HANDLE);
  EXPECT_EQ(byteIndex, 0xEE);
}

}  // namespace
}  // namespace qor::common
