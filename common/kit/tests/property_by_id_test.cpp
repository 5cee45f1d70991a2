// Properties by id on a real port: the records as the device receives them and the values read from its answers.
#include <gtest/gtest.h>

#include "qor_api.h"
#include "qor_emulator/frame.hpp"
#include "qor_kit/property_by_id.hpp"
#include "qor_test/interface_fixture.hpp"

namespace qor::kit {
namespace {

using emulator::words;

constexpr Library kLibrary{0x02};
constexpr uint32_t kInvalidResponseLength = 0x02020003;
constexpr uint32_t kFirmwareBusy = 0x1F;

// A node property: {u32 sub, u32 id[, u32 value]}, the value at 8 of the answer.
constexpr PropertyById kNodeProperty{0x1E, 5, 6, PropertyById::IdField::Word, 28, 8};
// A property of a handle's object: {u32 sub, u32 handle, u16 id, u16 0[, u32 value]}, the value at 12.
constexpr PropertyById kHandleProperty{0x79, 5, 6, PropertyById::IdField::HalfWordAndReserved, 32756, 12};

using PropertyByIdRoad = qor::test::InterfaceFixture;

TEST_F(PropertyByIdRoad, RecordsAndValuesAsTheCommandLaysThemOut) {
  device_->expect(0x1E, words({5, 14, 3})).answer(words({5}));
  device_->expect(0x1E, words({6, 14})).answer(words({6, 14, 3}));
  device_->expect(0x79, words({5, 0x4711, 2, 99})).answer(words({5}));
  device_->expect(0x79, words({6, 0x4711, 2})).answer(words({6, 0x4711, 2, 99}));
  const Call call(kLibrary, open());

  uint32_t value = 0;
  EXPECT_EQ(kNodeProperty.set(call, 14, 3), 0u) << Qor_GetLastErrorDescription();
  EXPECT_EQ(kNodeProperty.read(call, 14, &value), 0u) << Qor_GetLastErrorDescription();
  EXPECT_EQ(value, 3u);
  EXPECT_EQ(kHandleProperty.set(call, 2, 99, {0x4711}), 0u) << Qor_GetLastErrorDescription();
  EXPECT_EQ(kHandleProperty.read(call, 2, &value, {0x4711}), 0u) << Qor_GetLastErrorDescription();
  EXPECT_EQ(value, 99u);
}

TEST_F(PropertyByIdRoad, AnAnswerWithoutTheValueOrAFirmwareErrorLeavesTheValueAlone) {
  device_->expect(0x1E, words({6, 1})).answer(words({6, 1}, {0x10, 0x20, 0x30}));  // one byte short
  device_->expect(0x1E, words({6, 1})).fail(kFirmwareBusy, "busy");
  const Call call(kLibrary, open());

  uint32_t value = 0xEEEE;
  EXPECT_EQ(kNodeProperty.read(call, 1, &value), kInvalidResponseLength);
  EXPECT_EQ(kNodeProperty.read(call, 1, &value), kFirmwareBusy);
  EXPECT_EQ(value, 0xEEEEu);
}

}  // namespace
}  // namespace qor::kit
