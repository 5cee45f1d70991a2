// Trigger output and input from the library through the daemon to an emulated LIN controller, each request stated
// byte-exact with the controller's answer.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "qor_emulator/frame.hpp"
#include "qor_lin_triggers.h"

#include "lin_road.hpp"
namespace qor::test {
namespace {

using emulator::Bytes;
using emulator::words;

constexpr uint8_t kOutputConfig = 0x53;
constexpr uint8_t kOutputControl = 0x5F;
constexpr uint8_t kInputConfig = 0x5A;
constexpr uint8_t kInputState = 0x5C;
constexpr uint8_t kInputProperty = 0x5E;

using LinTrigger = LinRoad;

TEST_F(LinTrigger, OutputConfigurationCarriesUpTo64FrameIds) {
  std::vector<uint8_t> ids(65);
  for (size_t i = 0; i < ids.size(); ++i) ids[i] = static_cast<uint8_t>(i);
  Bytes sixtyFour{7, 64, 1, 0};
  sixtyFour.insert(sixtyFour.end(), ids.begin(), ids.begin() + 64);
  device_->expect(kOutputConfig, sixtyFour);
  device_->expect(kOutputConfig, {23, 0, 0, 0});
  EXPECT_EQ(Qor_Lin_Trigger_Output_Config(port_, 1, 7, 64, ids.data()), 0u) << Qor_GetLastErrorDescription();
  EXPECT_EQ(Qor_Lin_Trigger_Output_Config(port_, 0, 23, 0, nullptr), 0u) << Qor_GetLastErrorDescription();

  EXPECT_EQ(Qor_Lin_Trigger_Output_Config(port_, 0, 7, 65, ids.data()), kInvalidParameter);
  EXPECT_TRUE(lastTextHas("maximum number of ids = 64")) << Qor_GetLastErrorDescription();
  EXPECT_EQ(Qor_Lin_Trigger_Output_Config(port_, 0, 24, 65, ids.data()), kUnknownMode) << "type before count";
  EXPECT_EQ(Qor_Lin_Trigger_Output_Config(port_, 2, 7, 1, ids.data()), kUnknownFlag);
  EXPECT_EQ(Qor_Lin_Trigger_Output_Config(port_, 0, 7, 1, nullptr), kInvalidParameter) << "ids missing";
}

TEST_F(LinTrigger, OutputChannelIsCountedFromOneByTheApplication) {
  device_->expect(kOutputControl, words({2})).answer(words({2}));
  device_->expect(kOutputControl, words({0, 0, 2})).answer(words({0, 0}));
  device_->expect(kOutputControl, words({0, 1, 77})).answer(words({0, 1}));
  device_->expect(kOutputControl, words({1, 0})).answer(words({1, 0, 2}));
  device_->expect(kOutputControl, words({1, 1})).answer(words({1, 1, 9}));
  device_->expect(kOutputControl, words({1, 0})).answer(words({1, 0}));
  EXPECT_EQ(Qor_Lin_Trigger_Output_Deactivate(port_), 0u) << Qor_GetLastErrorDescription();
  EXPECT_EQ(Qor_Lin_Trigger_Output_Property_SetById(port_, 1, 3), 0u) << Qor_GetLastErrorDescription();
  EXPECT_EQ(Qor_Lin_Trigger_Output_Property_SetById(port_, 2, 77), 0u) << Qor_GetLastErrorDescription();
  uint32_t value = 0;
  EXPECT_EQ(Qor_Lin_Trigger_Output_Property_GetById(port_, 1, &value), 0u) << Qor_GetLastErrorDescription();
  EXPECT_EQ(value, 3u);
  EXPECT_EQ(Qor_Lin_Trigger_Output_Property_GetById(port_, 2, &value), 0u) << Qor_GetLastErrorDescription();
  EXPECT_EQ(value, 9u);
  value = 55;
  EXPECT_EQ(Qor_Lin_Trigger_Output_Property_GetById(port_, 1, &value), kInvalidResponseLength) << "no value came";
  EXPECT_EQ(value, 55u);

  EXPECT_EQ(Qor_Lin_Trigger_Output_Property_SetById(port_, 1, 0), kInvalidParameter);
  EXPECT_TRUE(lastTextHas("channel index must not be zero")) << Qor_GetLastErrorDescription();
  EXPECT_EQ(Qor_Lin_Trigger_Output_Property_SetById(port_, 3, 1), kInvalidParameter);
  EXPECT_TRUE(lastTextHas("property id is unknown")) << Qor_GetLastErrorDescription();
  EXPECT_EQ(Qor_Lin_Trigger_Output_Property_GetById(port_, 0, &value), kInvalidParameter);
}

TEST_F(LinTrigger, InputConfigurationMapsTheModes) {
  device_->expect(kInputConfig, {3, 1, 2, 1});
  device_->expect(kInputConfig, {1, 0, 0, 0});
  device_->expect(kInputConfig, {0, 0, 0, 0});
  EXPECT_EQ(Qor_Lin_Trigger_Input_Config(port_, 2, 1, 2, 1), 0u) << Qor_GetLastErrorDescription();
  EXPECT_EQ(Qor_Lin_Trigger_Input_Config(port_, 0, 0, 0, 0), 0u) << Qor_GetLastErrorDescription();
  EXPECT_EQ(Qor_Lin_Trigger_Input_Deactivate(port_), 0u) << Qor_GetLastErrorDescription();

  struct Refusal {
    uint8_t mode, input, edge, level;
    uint32_t code;
    const char* text;
  };
  for (const Refusal& r : {Refusal{3, 0, 0, 0, kUnknownMode, "mode '0x03' is unknwown"},
                           Refusal{0, 2, 0, 0, kInvalidParameter, "invalid inputSelection"},
                           Refusal{0, 0, 3, 0, kInvalidParameter, "invalid edgeSelection"},
                           Refusal{0, 0, 0, 2, kInvalidParameter, "invalid levelSelection"}}) {
    EXPECT_EQ(Qor_Lin_Trigger_Input_Config(port_, r.mode, r.input, r.edge, r.level), r.code) << r.text;
    EXPECT_TRUE(lastTextHas(r.text)) << Qor_GetLastErrorDescription();
  }
}

TEST_F(LinTrigger, InputStateLevelIsZeroOrOne) {
  device_->expect(kInputState, words({0})).answer({0, 1, 0, 0, 0x78, 0x56, 0x34, 0x12});
  device_->expect(kInputState, words({0})).answer({0, 2, 0, 0, 1, 0, 0, 0});
  device_->expect(kInputState, words({0})).answer({0, 1, 0, 0, 1});
  device_->expect(kInputState, words({0})).fail(0x1F, "busy");
  uint8_t level = 9;
  uint32_t value = 9;
  EXPECT_EQ(Qor_Lin_Trigger_Input_GetState(port_, &level, &value), 0u) << Qor_GetLastErrorDescription();
  EXPECT_EQ(level, 1);
  EXPECT_EQ(value, 0x12345678u);
  EXPECT_EQ(Qor_Lin_Trigger_Input_GetState(port_, &level, &value), kInvalidResponseParameter);
  EXPECT_TRUE(lastTextHas("trigger level '0x02' is unknown")) << Qor_GetLastErrorDescription();
  EXPECT_EQ(level, 0);
  EXPECT_EQ(value, 0u);
  level = 9;
  EXPECT_EQ(Qor_Lin_Trigger_Input_GetState(port_, &level, &value), kInvalidResponseLength) << "value cut off";
  EXPECT_EQ(level, 0);
  level = 9;
  EXPECT_EQ(Qor_Lin_Trigger_Input_GetState(port_, &level, &value), 0x1Fu);
  EXPECT_EQ(level, 0);
}

TEST_F(LinTrigger, InputChannelIsTheOnlyInputProperty) {
  device_->expect(kInputProperty, words({0, 0, 4})).answer(words({0, 0}));
  device_->expect(kInputProperty, words({1, 0})).answer(words({1, 0, 4}));
  EXPECT_EQ(Qor_Lin_Trigger_Input_Property_SetById(port_, 1, 5), 0u) << Qor_GetLastErrorDescription();
  uint32_t value = 0;
  EXPECT_EQ(Qor_Lin_Trigger_Input_Property_GetById(port_, 1, &value), 0u) << Qor_GetLastErrorDescription();
  EXPECT_EQ(value, 5u);
  EXPECT_EQ(Qor_Lin_Trigger_Input_Property_SetById(port_, 2, 5), kInvalidParameter);
  EXPECT_TRUE(lastTextHas("property id is unknown")) << Qor_GetLastErrorDescription();
  EXPECT_EQ(Qor_Lin_Trigger_Input_Property_SetById(port_, 1, 0), kInvalidParameter);
  EXPECT_TRUE(lastTextHas("channel index must not be zero")) << Qor_GetLastErrorDescription();
  EXPECT_EQ(Qor_Lin_Trigger_Input_Property_GetById(port_, 2, &value), kInvalidParameter);
}

TEST_F(LinTrigger, AKLinePortIsRefused) {
  const uint32_t kLine = open(3);
  uint32_t value = 0;
  EXPECT_EQ(Qor_Lin_Trigger_Output_Deactivate(kLine), 0x02050001u);
  EXPECT_EQ(Qor_Lin_Trigger_Input_Property_GetById(kLine, 1, &value), 0x02050001u);
}

}  // namespace
}  // namespace qor::test
