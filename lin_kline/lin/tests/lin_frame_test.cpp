// The check that every LIN function makes first, on real ports of the emulated controller.
#include <gtest/gtest.h>

#include <string>

#include "lin_library.hpp"
#include "qor_test/interface_fixture.hpp"

namespace qor::lin {
namespace {

class LinFrame : public test::InterfaceFixture {
 protected:
  LinFrame() : InterfaceFixture(test::linAndKLineController()) {}
};

TEST_F(LinFrame, OnlyALinPortPassesTheInterfaceCheck) {
  EXPECT_EQ(checkLinInterface(kit::Call(kLin, open(1))), 0u);
  EXPECT_EQ(checkLinInterface(kit::Call(kLin, open(3))), 0x02050001u) << "a K-Line port";
  EXPECT_NE(std::string(Qor_GetLastErrorDescription()).find("LIN interface expected"), std::string::npos)
      << Qor_GetLastErrorDescription();
  EXPECT_EQ(checkLinInterface(kit::Call(kLin, 0xFFFF)), 0x0200000Au) << "the core's code for a bad handle";
}

TEST(LinTime, TicksOfTheFirmwareAreTruncated) {
  EXPECT_EQ(ticksOf(0), 0u);
  EXPECT_EQ(ticksOf(24), 0u);
  EXPECT_EQ(ticksOf(25), 1u);
  EXPECT_EQ(ticksOf(1'000'049), 40'001u);
  EXPECT_EQ(nanosecondsOf(0xFFFFFFFFull), 0xFFFFFFFFull * 25);
}

}  // namespace
}  // namespace qor::lin
