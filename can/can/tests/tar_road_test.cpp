// TAR units from the library through the daemon to an emulated controller: every record byte-exact (0xC0 configure,
// 0xC2 add items, 0xC3 start, 0xC4 stop, 0xC5 state), the checks that send nothing, and the state answer's decoding.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "can_command_road.hpp"
#include "qor_can_tar.h"

namespace qor::test {
namespace {

using emulator::Bytes;

constexpr uint8_t kConfigure = 0xC0;
constexpr uint8_t kAddItems = 0xC2;
constexpr uint8_t kStart = 0xC3;
constexpr uint8_t kStop = 0xC4;
constexpr uint8_t kState = 0xC5;
constexpr uint8_t kUnit = 5;

Bytes counting(size_t count, uint8_t first) {
  Bytes bytes(count);
  for (size_t index = 0; index < count; ++index) bytes[index] = static_cast<uint8_t>(first + index);
  return bytes;
}

using TarRoad = CanCommandRoad;

TEST_F(TarRoad, ConfigurationRecords) {
  device_->expect(kConfigure, {kUnit, 0, 0, 0});
  ASSERT_EQ(Qor_Can_Tar_Config_Off(port_, kUnit), 0u) << Qor_GetLastErrorDescription();

  device_->expect(kConfigure, RecordBytes().u8(kUnit).u8(1).u16(0).u32(0x11223344).u32(0xA1B2C3D4));
  ASSERT_EQ(Qor_Can_Tar_Config_Simple(port_, kUnit, 0x11223344, 0xA1B2C3D4), 0u) << Qor_GetLastErrorDescription();

  struct Standard {
    uint8_t dlc;
    Bytes record;  // after the head {unit, 2, 0, 0, first, second, dlc, option}
  };
  const Bytes data = counting(64, 0x10);
  const Bytes mask = counting(64, 0x80);
  const Standard cases[] = {
      {0, RecordBytes().u16(0).zeros(16)},
      {3, RecordBytes().u16(0).bytes({0x10, 0x11, 0x12}).zeros(5).bytes({0x80, 0x81, 0x82}).zeros(5)},
      {8, RecordBytes().u16(0).bytes(counting(8, 0x10)).bytes(counting(8, 0x80))},
      // Longer data follow their lengths: 18 + 2 x 12 = 42 bytes, byte 14 = 3.
      {9, RecordBytes().u8(3).u8(0).u8(12).bytes(counting(12, 0x10)).u8(12).bytes(counting(12, 0x80))},
      {15, RecordBytes().u8(3).u8(0).u8(64).bytes(data).u8(64).bytes(mask)},
  };
  for (const Standard& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.dlc));
    Bytes record = RecordBytes().u8(kUnit).u8(2).u16(0).u32(7).u32(0xFFFFFFFF).u8(c.dlc).u8(0x5A);
    record.insert(record.end(), c.record.begin(), c.record.end());
    device_->expect(kConfigure, record);
    EXPECT_EQ(Qor_Can_Tar_Config_Standard(port_, kUnit, 7, 0xFFFFFFFF, c.dlc, 0x5A, data.data(), mask.data()), 0u)
        << Qor_GetLastErrorDescription();
  }
  EXPECT_EQ(requestsOf(kConfigure), 2 + std::size(cases));

  // A condition without data needs no arrays.
  device_->expect(kConfigure, RecordBytes().u8(kUnit).u8(2).u16(0).u32(1).u32(2).u8(0).u8(0).zeros(18));
  EXPECT_EQ(Qor_Can_Tar_Config_Standard(port_, kUnit, 1, 2, 0, 0, nullptr, nullptr), 0u)
      << Qor_GetLastErrorDescription();
}

TEST_F(TarRoad, ConfigurationRefusalsSendNothing) {
  const uint8_t bytes[64] = {};
  EXPECT_TRUE(failedWith(Qor_Can_Tar_Config_Standard(port_, kUnit, 0, 0, 16, 0, bytes, bytes), kInvalidDlc,
                         "only values from 0 to 16 are valid"));
  EXPECT_TRUE(failedWith(Qor_Can_Tar_Config_Standard(port_, kUnit, 0, 0, 1, 0, nullptr, bytes), kInvalidParameter,
                         "'data' is NULL"));
  EXPECT_TRUE(failedWith(Qor_Can_Tar_Config_Standard(port_, kUnit, 0, 0, 9, 0, bytes, nullptr), kInvalidParameter,
                         "'mask' is NULL"));
  EXPECT_EQ(requestsOf(kConfigure), 0u);

  device_->expect(kConfigure, {kUnit, 0, 0, 0}).fail(kFirmwareError, "unit busy");
  EXPECT_EQ(Qor_Can_Tar_Config_Off(port_, kUnit), kFirmwareError);
}

TEST_F(TarRoad, ItemsOfEveryFormTravelInOneRecord) {
  // The short forms: eight data bytes of which the DLC's are the item's.
  const Qor_Can_Tar_SimpleItem_t simple[2] = {{0x1234, 7, 3, {1, 2, 3, 4, 5, 6, 7, 8}},
                                              {0xFFFF, 0, 8, {9, 10, 11, 12, 13, 14, 15, 16}}};
  device_->expect(kAddItems, RecordBytes()
                                 .u8(kUnit).u8(1).u16(2)
                                 .u16(0x1234).u8(7).u8(3).bytes({1, 2, 3}).zeros(5)
                                 .u16(0xFFFF).u8(0).u8(8).bytes({9, 10, 11, 12, 13, 14, 15, 16}));
  ASSERT_EQ(Qor_Can_Tar_AddTxItems_Simple(port_, kUnit, 2, simple), 0u) << Qor_GetLastErrorDescription();

  const Qor_Can_Tar_StandardItem_t standard[1] = {{0x89ABCDEF, 0x4321, 5, 1, {0xAA, 0xBB}}};
  device_->expect(kAddItems, RecordBytes()
                                 .u8(kUnit).u8(2).u16(1)
                                 .u32(0x89ABCDEF).u16(0x4321).u8(5).u8(1).u8(0xAA).zeros(7));
  ASSERT_EQ(Qor_Can_Tar_AddTxItems_Standard(port_, kUnit, 1, standard), 0u) << Qor_GetLastErrorDescription();

  // A short item of an FD DLC has only eight bytes to give: the rest of the DLC's twelve go as zeros.
  const Qor_Can_Tar_StandardItem_t fdStandard[1] = {{1, 2, 0, 9, {1, 2, 3, 4, 5, 6, 7, 8}}};
  device_->expect(kAddItems, RecordBytes()
                                 .u8(kUnit).u8(2).u16(1)
                                 .u32(1).u16(2).u8(0).u8(9).bytes({1, 2, 3, 4, 5, 6, 7, 8}).zeros(4));
  ASSERT_EQ(Qor_Can_Tar_AddTxItems_Standard(port_, kUnit, 1, fdStandard), 0u) << Qor_GetLastErrorDescription();

  // The long forms: all data bytes of a DLC above 8, eight (zero-filled) up to 8.
  Qor_Can_Tar_SimpleItem2_t simple2[2] = {};
  simple2[0] = {0x0102, 1, 9, 0, {}};
  std::memcpy(simple2[0].data, counting(64, 0x40).data(), 64);
  simple2[1] = {0x0304, 2, 2, 0, {0xC1, 0xC2, 0xC3}};
  device_->expect(kAddItems, RecordBytes()
                                 .u8(kUnit).u8(1).u16(2)
                                 .u16(0x0102).u8(1).u8(9).bytes(counting(12, 0x40))
                                 .u16(0x0304).u8(2).u8(2).bytes({0xC1, 0xC2}).zeros(6));
  ASSERT_EQ(Qor_Can_Tar_AddTxItems_Simple2(port_, kUnit, 2, simple2), 0u) << Qor_GetLastErrorDescription();

  Qor_Can_Tar_StandardItem2_t standard2[1] = {{0x0A0B0C0D, 0x0E0F, 6, 15, {}}};
  std::memcpy(standard2[0].data, counting(64, 0x20).data(), 64);
  device_->expect(kAddItems, RecordBytes()
                                 .u8(kUnit).u8(2).u16(1)
                                 .u32(0x0A0B0C0D).u16(0x0E0F).u8(6).u8(15).bytes(counting(64, 0x20)));
  ASSERT_EQ(Qor_Can_Tar_AddTxItems_Standard2(port_, kUnit, 1, standard2), 0u) << Qor_GetLastErrorDescription();
}

TEST_F(TarRoad, NoItemsSendTheHeadAlone) {
  device_->expect(kAddItems, {kUnit, 1, 0, 0});
  device_->expect(kAddItems, {kUnit, 2, 0, 0});
  device_->expect(kAddItems, {kUnit, 1, 0, 0});
  device_->expect(kAddItems, {kUnit, 2, 0, 0});
  EXPECT_EQ(Qor_Can_Tar_AddTxItems_Simple(port_, kUnit, 0, nullptr), 0u) << Qor_GetLastErrorDescription();
  EXPECT_EQ(Qor_Can_Tar_AddTxItems_Standard(port_, kUnit, 0, nullptr), 0u) << Qor_GetLastErrorDescription();
  EXPECT_EQ(Qor_Can_Tar_AddTxItems_Simple2(port_, kUnit, 0, nullptr), 0u) << Qor_GetLastErrorDescription();
  EXPECT_EQ(Qor_Can_Tar_AddTxItems_Standard2(port_, kUnit, 0, nullptr), 0u) << Qor_GetLastErrorDescription();
}

// Each refusal names the item at fault; nothing of the list is sent.
TEST_F(TarRoad, AFaultyItemStopsTheWholeList) {
  Qor_Can_Tar_SimpleItem2_t simple2[3] = {{1, 0, 1, 0, {}}, {2, 0, 1, 0, {}}, {3, 0, 1, 0, {}}};
  simple2[2].reserved = 1;
  EXPECT_TRUE(failedWith(Qor_Can_Tar_AddTxItems_Simple2(port_, kUnit, 3, simple2), kInvalidParameter,
                         "reserved bytes have to be zero (item #2)"));
  simple2[1].flags = 8;
  EXPECT_TRUE(failedWith(Qor_Can_Tar_AddTxItems_Simple2(port_, kUnit, 3, simple2), kUnknownFlag,
                         "unknown flag in item #1"));

  Qor_Can_Tar_StandardItem2_t standard2[2] = {{1, 0, 0, 16, {}}, {2, 0, 0xFF, 0, {}}};
  EXPECT_TRUE(failedWith(Qor_Can_Tar_AddTxItems_Standard2(port_, kUnit, 2, standard2), kInvalidDlc,
                         "only values from 0 to 16 are valid"));
  standard2[0].dlc = 0;
  EXPECT_TRUE(failedWith(Qor_Can_Tar_AddTxItems_Standard2(port_, kUnit, 2, standard2), kUnknownFlag,
                         "unknown flag in item #1"));

  const Qor_Can_Tar_SimpleItem_t simple[1] = {{1, 8, 0, {}}};
  EXPECT_TRUE(failedWith(Qor_Can_Tar_AddTxItems_Simple(port_, kUnit, 1, simple), kUnknownFlag,
                         "unknown flag in item #0"));
  const Qor_Can_Tar_StandardItem_t standard[1] = {{1, 0, 0, 16, {}}};
  EXPECT_TRUE(failedWith(Qor_Can_Tar_AddTxItems_Standard(port_, kUnit, 1, standard), kInvalidDlc));
  EXPECT_TRUE(failedWith(Qor_Can_Tar_AddTxItems_Standard(port_, kUnit, 1, nullptr), kInvalidParameter,
                         "'items' is NULL"));
  EXPECT_EQ(requestsOf(kAddItems), 0u);
}

// The port takes 4084 bytes: 56 items of 72 bytes fill 4036 of them, a 57th would pass the end.
TEST_F(TarRoad, TheItemsMustFitThePortsParameterLength) {
  std::vector<Qor_Can_Tar_StandardItem2_t> items(57);
  for (size_t index = 0; index < items.size(); ++index) {
    items[index] = {static_cast<uint32_t>(index), 0, 0, 15, {}};
    std::memcpy(items[index].data, counting(64, static_cast<uint8_t>(index)).data(), 64);
  }
  EXPECT_TRUE(failedWith(Qor_Can_Tar_AddTxItems_Standard2(port_, kUnit, 57, items.data()), kInvalidDataLength));
  EXPECT_EQ(requestsOf(kAddItems), 0u);

  device_->expectStartingWith(kAddItems, {kUnit, 2, 56, 0});
  ASSERT_EQ(Qor_Can_Tar_AddTxItems_Standard2(port_, kUnit, 56, items.data()), 0u) << Qor_GetLastErrorDescription();
  const auto frame = device_->recorder().waitForCommand(kAddItems, std::chrono::milliseconds(0));
  ASSERT_TRUE(frame.has_value());
  const auto parameters = frame->parameters();
  ASSERT_EQ(parameters.size(), 4u + 56 * 72);
  const Bytes last(parameters.end() - 72, parameters.end());
  EXPECT_EQ(last, Bytes(RecordBytes().u32(55).u16(0).u8(0).u8(15).bytes(counting(64, 55))));
}

TEST_F(TarRoad, StartAndStop) {
  device_->expect(kStart, {kUnit, 0, 0, 0});
  device_->expect(kStart, {kUnit, 1, 0, 0});
  device_->expect(kStop, {kUnit, 0, 0, 0});
  EXPECT_EQ(Qor_Can_Tar_Start(port_, kUnit, 0), 0u) << Qor_GetLastErrorDescription();
  EXPECT_EQ(Qor_Can_Tar_Start(port_, kUnit, 1), 0u) << Qor_GetLastErrorDescription();
  EXPECT_EQ(Qor_Can_Tar_Stop(port_, kUnit), 0u) << Qor_GetLastErrorDescription();
  EXPECT_TRUE(failedWith(Qor_Can_Tar_Start(port_, kUnit, 2), kUnknownMode, "mode '2' is unknown"));
  EXPECT_EQ(requestsOf(kStart), 2u);
}

TEST_F(TarRoad, StateAnswers) {
  struct Answer {
    uint8_t firmwareRunState;
    uint8_t flagsByte;
    uint8_t runState;
    uint32_t stateFlags;
  };
  const Answer answers[] = {{0, 0x00, 1, 0}, {1, 0x01, 2, 1}, {2, 0x02, 3, 2}, {3, 0x03, 0, 3}, {0xFF, 0xFC, 0, 0}};
  for (const Answer& a : answers) {
    SCOPED_TRACE(static_cast<int>(a.firmwareRunState));
    device_->expect(kState, {kUnit, 0, 0, 0})
        .answer(RecordBytes().u8(0xEE).u8(a.firmwareRunState).u8(0xEE).u8(a.flagsByte).u32(0x01020304).u32(99));
    uint8_t runState = 0xAA;
    uint32_t stateFlags = 0xAA, first = 0, second = 0;
    ASSERT_EQ(Qor_Can_Tar_GetState(port_, kUnit, &runState, &stateFlags, &first, &second), 0u)
        << Qor_GetLastErrorDescription();
    EXPECT_EQ(runState, a.runState);
    EXPECT_EQ(stateFlags, a.stateFlags);
    EXPECT_EQ(first, 0x01020304u);
    EXPECT_EQ(second, 99u);
  }
}

TEST_F(TarRoad, AShortStateAnswerIsRefusedAndWritesNothing) {
  device_->expect(kState, {kUnit, 0, 0, 0}).answer(Bytes(11, 0x01));
  device_->expect(kState, {kUnit, 0, 0, 0}).fail(kFirmwareError, "no such unit");
  uint8_t runState = 0xAA;
  uint32_t stateFlags = 0xAA, first = 0xAA, second = 0xAA;
  EXPECT_TRUE(failedWith(Qor_Can_Tar_GetState(port_, kUnit, &runState, &stateFlags, &first, &second),
                         kInvalidResponseLength));
  EXPECT_EQ(Qor_Can_Tar_GetState(port_, kUnit, &runState, &stateFlags, &first, &second), kFirmwareError);
  EXPECT_EQ(runState, 0xAA);
  EXPECT_EQ(stateFlags, 0xAAu);
  EXPECT_EQ(first, 0xAAu);
  EXPECT_EQ(second, 0xAAu);
  EXPECT_TRUE(failedWith(Qor_Can_Tar_GetState(port_, kUnit, &runState, nullptr, &first, &second), kInvalidParameter,
                         "'stateFlags' is NULL"));
}

TEST_F(TarRoad, EveryFunctionWantsACanInterface) {
  const uint32_t restBus = open(kRestBusInterface);
  device_->recorder().clear();
  const Qor_Can_Tar_SimpleItem_t simple[1] = {};
  const Qor_Can_Tar_StandardItem_t standard[1] = {};
  const Qor_Can_Tar_SimpleItem2_t simple2[1] = {};
  const Qor_Can_Tar_StandardItem2_t standard2[1] = {};
  const uint8_t bytes[8] = {};
  uint8_t runState = 0;
  uint32_t words[3] = {};
  const uint32_t results[] = {
      Qor_Can_Tar_Config_Off(restBus, kUnit),
      Qor_Can_Tar_Config_Simple(restBus, kUnit, 0, 0),
      Qor_Can_Tar_Config_Standard(restBus, kUnit, 0, 0, 8, 0, bytes, bytes),
      Qor_Can_Tar_AddTxItems_Simple(restBus, kUnit, 1, simple),
      Qor_Can_Tar_AddTxItems_Standard(restBus, kUnit, 1, standard),
      Qor_Can_Tar_AddTxItems_Simple2(restBus, kUnit, 1, simple2),
      Qor_Can_Tar_AddTxItems_Standard2(restBus, kUnit, 1, standard2),
      Qor_Can_Tar_Start(restBus, kUnit, 0),
      Qor_Can_Tar_Stop(restBus, kUnit),
      Qor_Can_Tar_GetState(restBus, kUnit, &runState, &words[0], &words[1], &words[2]),
  };
  for (uint32_t code : results) EXPECT_EQ(code, kWrongInterfaceType);
  EXPECT_NE(std::string(Qor_GetLastErrorDescription()).find("CAN Interface expected"), std::string::npos);
  EXPECT_EQ(device_->recorder().count(), 0u);
}

}  // namespace
}  // namespace qor::test
