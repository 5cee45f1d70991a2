// The stress module's functions from the library through the daemon to an emulated module: every record byte-exact
// with the module's answer. TearDown fails a case for every request not stated and every stated request not sent.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "qor_can_stm.h"
#include "qor_emulator/frame.hpp"
#include "qor_test/interface_fixture.hpp"

namespace qor::test {
namespace {

using emulator::Bytes;

constexpr uint32_t kInvalidInterfaceType = 0x02150001;
constexpr uint32_t kUnknownFlag = 0x02150002;
constexpr uint32_t kInvalidParameter = 0x02150003;
constexpr uint8_t kNode = 0x20, kDisturbance = 0x21, kTrigger = 0x22;
constexpr uint8_t kCanInterface = 1, kStressModule = 2;

// A little-endian record written field by field.
using Record = emulator::RecordBytes;

std::string lastError() { return Qor_GetLastErrorDescription(); }

class StressModule : public InterfaceFixture {
 protected:
  StressModule() : InterfaceFixture(stressModuleController()) {}
  void SetUp() override {
    InterfaceFixture::SetUp();
    port_ = open(kStressModule);
  }
  uint32_t port_ = 0;
};

// The module's answer to a baud-rate query: the eight-byte value at 8, the values at 16 and 20, four u16 from 24,
// the third FD value at 32.
Bytes baudRateAnswer(uint32_t subFunction, uint8_t flags) {
  return Record()
      .u32(subFunction)
      .u32(flags)
      .u64(0x1122334455667788)
      .u32(500000)
      .u32(80)
      .u16(1).u16(2).u16(3).u16(4)
      .u32(2000000);
}

TEST_F(StressModule, BaudRatesGoOutAsTheirRecordsAndComeBackDecoded) {
  const Qor_CanStm_BaudRate_t baudRate{0, 500000, 0x1122334455667788, 80, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16}};
  device_->expect(kNode, Record().u32(0).u32(0).u64(0x1122334455667788).u32(500000).u32(80)
                             .u32(0x04030201).u32(0x08070605).u32(0x0C0B0A09).u32(0x100F0E0D))
      .answer(baudRateAnswer(0, 0));
  Qor_CanStm_BaudRateResult_t result{};
  ASSERT_EQ(Qor_CanStm_Node_BaudRate_Set(port_, &baudRate, &result), 0u) << lastError();
  EXPECT_EQ(result.reserved, 0u);
  EXPECT_EQ(result.firstValue, 500000u);
  EXPECT_EQ(result.eightByteValue, 0x1122334455667788u);
  EXPECT_EQ(result.secondValue, 80u);
  EXPECT_EQ(result.values[0], 1u);
  EXPECT_EQ(result.values[3], 4u);

  const Qor_CanStm_BaudRateFd_t fd{3, 500000, 80, 0xA1, 0xA2, 0x0102030405060708, {1, 2, 3, 4, 5, 6}, 2000000};
  device_->expect(kNode, Record().u32(2).u32(3).u64(0x0102030405060708).u32(500000).u32(80).u16(0xA1).u16(0xA2)
                             .u16(1).u16(2).u16(3).u16(4).u16(5).u16(6).u32(2000000))
      .answer(baudRateAnswer(2, 0xFE));
  Qor_CanStm_BaudRateFdResult_t fdResult{};
  ASSERT_EQ(Qor_CanStm_Node_BaudRateFd_Set(port_, &fd, &fdResult), 0u) << lastError();
  EXPECT_EQ(fdResult.flags, 2u) << "bits 0 and 1 of the answer's byte 4";
  EXPECT_EQ(fdResult.thirdValue, 2000000u);
  EXPECT_EQ(fdResult.values[2], 3u);

  const uint32_t noFlags = 0;
  device_->expect(kNode, Record().u32(1).u32(0)).answer(baudRateAnswer(1, 0));
  EXPECT_EQ(Qor_CanStm_Node_BaudRate_Get(port_, &noFlags, &result), 0u) << lastError();
  device_->expect(kNode, Record().u32(3).u32(0)).answer(baudRateAnswer(3, 1));
  EXPECT_EQ(Qor_CanStm_Node_BaudRateFd_Get(port_, &noFlags, &fdResult), 0u) << lastError();
  EXPECT_EQ(fdResult.flags, 1u);
}

TEST_F(StressModule, AnswersTooShortForTheirFieldsAreRefusedAndLeaveResultsAlone) {
  const uint32_t noFlags = 0;
  Qor_CanStm_BaudRateResult_t result{};
  result.firstValue = 7;
  device_->expect(kNode, Record().u32(1).u32(0)).answer(Record().u32(1).zeros(27));
  EXPECT_EQ(Qor_CanStm_Node_BaudRate_Get(port_, &noFlags, &result), kInvalidParameter);
  EXPECT_EQ(result.firstValue, 7u);

  Qor_CanStm_BaudRateFdResult_t fdResult{};
  device_->expect(kNode, Record().u32(3).u32(0)).answer(Record().u32(3).zeros(31));
  EXPECT_EQ(Qor_CanStm_Node_BaudRateFd_Get(port_, &noFlags, &fdResult), kInvalidParameter) << "no third value";

  const Qor_CanStm_NodePropertyId_t id{2, 0};
  Qor_CanStm_NodeProperty_t property{};
  device_->expect(kNode, Record().u32(5).u16(2).u16(0)).answer(Record().u32(5).u16(2).u16(0));
  EXPECT_EQ(Qor_CanStm_Node_Property_GetById(port_, &id, &property), kInvalidParameter);
}

TEST_F(StressModule, NodePropertiesAreCheckedThenSetAndRead) {
  const Qor_CanStm_NodeProperty_t set{5, 0, 0xCAFE};
  device_->expect(kNode, Record().u32(4).u16(5).u16(0).u32(0xCAFE)).answer(Record().u32(4));
  EXPECT_EQ(Qor_CanStm_Node_Property_SetById(port_, &set), 0u) << lastError();

  const Qor_CanStm_NodePropertyId_t id{3, 0};
  Qor_CanStm_NodeProperty_t read{};
  device_->expect(kNode, Record().u32(5).u16(3).u16(0)).answer(Record().u32(5).u16(3).u16(0).u32(42));
  ASSERT_EQ(Qor_CanStm_Node_Property_GetById(port_, &id, &read), 0u) << lastError();
  EXPECT_EQ(read.property, 3u);
  EXPECT_EQ(read.value, 42u);

  const Qor_CanStm_NodeProperty_t unknown{6, 0, 1};
  EXPECT_EQ(Qor_CanStm_Node_Property_SetById(port_, &unknown), kInvalidParameter);
  EXPECT_NE(lastError().find("property ID is unknown"), std::string::npos) << lastError();
  const Qor_CanStm_NodeProperty_t reserved{1, 1, 1};
  EXPECT_EQ(Qor_CanStm_Node_Property_SetById(port_, &reserved), kInvalidParameter);
  EXPECT_NE(lastError().find("reserved bytes have to be zero"), std::string::npos) << lastError();
}

TEST_F(StressModule, CallsAreRefusedBeforeAnythingIsSent) {
  const uint32_t flags = 1;
  Qor_CanStm_BaudRateResult_t result{};
  Qor_CanStm_BaudRateFdResult_t fdResult{};
  const Qor_CanStm_BaudRate_t baudRate{1, 0, 0, 0, {}};
  const Qor_CanStm_BaudRateFd_t fd{4, 0, 0, 0, 0, 0, {}, 0};
  const Qor_CanStm_IdListWrite_t write{2, 0, 0, nullptr};
  const Qor_CanStm_IdListRead_t read{1, 0, 0};
  Qor_CanStm_IdListResult_t listResult{};
  const Qor_CanStm_PropertyList_t reserved{0, {0, 1, 0}, nullptr};
  const Qor_CanStm_PropertyValue_t badEntries[] = {{0, 1}, {6, 2}};
  const Qor_CanStm_PropertyList_t badDisturbance{2, {}, badEntries};
  const Qor_CanStm_PropertyValue_t triggerEntries[] = {{10, 1}, {11, 2}};
  const Qor_CanStm_PropertyList_t badTrigger{2, {}, triggerEntries};
  const Qor_CanStm_PropertyList_t noEntries{1, {}, nullptr};
  struct Case {
    const char* name;
    uint32_t code;
    std::function<uint32_t()> call;
  };
  const uint32_t port = port_;
  const Case cases[] = {
      {"baud rate flags", kUnknownFlag, [&] { return Qor_CanStm_Node_BaudRate_Set(port, &baudRate, &result); }},
      {"FD flags above 3", kUnknownFlag, [&] { return Qor_CanStm_Node_BaudRateFd_Set(port, &fd, &fdResult); }},
      {"get flags", kUnknownFlag, [&] { return Qor_CanStm_Node_BaudRate_Get(port, &flags, &result); }},
      {"get FD flags", kUnknownFlag, [&] { return Qor_CanStm_Node_BaudRateFd_Get(port, &flags, &fdResult); }},
      {"identifier list write flags", kUnknownFlag, [&] { return Qor_CanStm_Trigger_IdList_Write(port, &write); }},
      {"identifier list read flags", kUnknownFlag,
       [&] { return Qor_CanStm_Trigger_IdList_Read(port, &read, &listResult); }},
      {"reserved bytes of a list", kInvalidParameter,
       [&] { return Qor_CanStm_Disturbance_Properties_SetById(port, &reserved); }},
      {"disturbance property 6", kInvalidParameter,
       [&] { return Qor_CanStm_Disturbance_Properties_SetById(port, &badDisturbance); }},
      {"trigger property 11 after 10", kInvalidParameter,
       [&] { return Qor_CanStm_Trigger_Properties_SetById(port, &badTrigger); }},
      {"entries missing", kInvalidParameter, [&] { return Qor_CanStm_Trigger_Properties_SetById(port, &noEntries); }},
      {"no record", kInvalidParameter, [&] { return Qor_CanStm_Node_Property_SetById(port, nullptr); }},
  };
  for (const Case& c : cases) EXPECT_EQ(c.call(), c.code) << c.name << ": " << lastError();
}

TEST_F(StressModule, ACanPortIsNoStressModule) {
  const uint32_t canPort = open(kCanInterface);
  const Qor_CanStm_NodeProperty_t property{0, 0, 0};
  EXPECT_EQ(Qor_CanStm_Node_Property_SetById(canPort, &property), kInvalidInterfaceType);
  EXPECT_NE(lastError().find("CAN STM Interface expected"), std::string::npos) << lastError();
  EXPECT_EQ(Qor_CanStm_Trigger_IdList_Write(0xFFFF, nullptr), 0x0200000Au) << "the core's code for a bad handle";
}

TEST_F(StressModule, PropertyListsAreSentWholeAndReadAsFarAsAskedAndAnswered) {
  const Qor_CanStm_PropertyList_t none{0, {}, nullptr};
  device_->expect(kDisturbance, Record().u32(0).u32(0)).answer(Record().u32(0));
  EXPECT_EQ(Qor_CanStm_Disturbance_Properties_SetById(port_, &none), 0u) << "the head alone: " << lastError();

  const Qor_CanStm_PropertyValue_t entries[] = {{5, 0x55}, {10, 0xAA}};
  const Qor_CanStm_PropertyList_t trigger{2, {}, entries};
  device_->expect(kTrigger, Record().u32(0).u8(2).zeros(3).u32(5).u32(0x55).u32(10).u32(0xAA)).answer(Record().u32(0));
  EXPECT_EQ(Qor_CanStm_Trigger_Properties_SetById(port_, &trigger), 0u) << lastError();

  const uint32_t ids[] = {1, 4};
  const Qor_CanStm_PropertyIdList_t ask{2, {}, ids};
  const Bytes request = Record().u32(1).u8(2).zeros(3).u32(1).u32(4);
  struct Answered {
    const char* name;
    Bytes answer;
    uint32_t code;
    uint8_t count;
  };
  const Answered answers[] = {
      {"as asked", Record().u32(1).u8(2).zeros(3).u32(11).u32(44), 0, 2},
      {"more than asked is cut to what was asked", Record().u32(1).u8(3).zeros(3).u32(11).u32(44).u32(99), 0, 2},
      {"fewer than asked", Record().u32(1).u8(1).zeros(3).u32(11), 0, 1},
      {"a count the bytes do not hold", Record().u32(1).u8(2).zeros(3).u32(11), kInvalidParameter, 0},
      {"no count", Record().u32(1), kInvalidParameter, 0},
  };
  for (const Answered& a : answers) {
    device_->expect(kDisturbance, request).answer(a.answer);
    uint32_t values[2] = {0xEEEEEEEE, 0xEEEEEEEE};
    Qor_CanStm_PropertyValues_t result{0xFF, {}, values};
    ASSERT_EQ(Qor_CanStm_Disturbance_Properties_GetById(port_, &ask, &result), a.code) << a.name;
    if (a.code != 0) {
      EXPECT_EQ(result.count, 0xFF) << a.name << ": result untouched";
      continue;
    }
    EXPECT_EQ(result.count, a.count) << a.name;
    EXPECT_EQ(values[0], 11u) << a.name;
    EXPECT_EQ(values[1], a.count == 2 ? 44u : 0xEEEEEEEEu) << a.name << ": nothing past the count";
  }
}

TEST_F(StressModule, IdentifierListsAreWrittenAndReadWithinTheAnswer) {
  const uint32_t identifiers[] = {0x100, 0x7FF, 0x1FFFFFFF};
  const Qor_CanStm_IdListWrite_t write{1, 2, 3, identifiers};
  device_->expect(kTrigger, Record().u32(3).u32(1).u16(2).u16(3).u32(0x100).u32(0x7FF).u32(0x1FFFFFFF))
      .answer(Record().u32(3));
  EXPECT_EQ(Qor_CanStm_Trigger_IdList_Write(port_, &write), 0u) << lastError();

  const Qor_CanStm_IdListRead_t read{0, 2, 8};
  uint32_t received[4] = {};
  Qor_CanStm_IdListResult_t result{7, 0, 0, received};
  device_->expect(kTrigger, Record().u32(4).u32(0).u16(2).u16(8))
      .answer(Record().u32(4).u32(0).u16(9).u16(2).u32(0x123).u32(0x456));
  ASSERT_EQ(Qor_CanStm_Trigger_IdList_Read(port_, &read, &result), 0u) << lastError();
  EXPECT_EQ(result.reserved, 0u);
  EXPECT_EQ(result.value, 9u);
  EXPECT_EQ(result.count, 2u);
  EXPECT_EQ(received[1], 0x456u);

  device_->expect(kTrigger, Record().u32(4).u32(0).u16(2).u16(8))
      .answer(Record().u32(4).u32(0).u16(9).u16(1000).u32(0x123));
  received[0] = 0;
  EXPECT_EQ(Qor_CanStm_Trigger_IdList_Read(port_, &read, &result), kInvalidParameter)
      << "a count of 1000 in an answer of one identifier";
  EXPECT_EQ(received[0], 0u) << "nothing copied";
}

class SmallStressModule : public InterfaceFixture {
 protected:
  SmallStressModule() : InterfaceFixture(stressModuleOfParameterLength1012()) {}
};

// With records of at most 1012 bytes: 125 properties to set, 251 to read, 250 identifiers.
TEST_F(SmallStressModule, ListsLongerThanOneRecordAreRefusedWithTheLimit) {
  const uint32_t port = open(kStressModule);
  std::vector<Qor_CanStm_PropertyValue_t> entries(126, Qor_CanStm_PropertyValue_t{1, 2});
  Qor_CanStm_PropertyList_t set{126, {}, entries.data()};
  EXPECT_EQ(Qor_CanStm_Disturbance_Properties_SetById(port, &set), kInvalidParameter);
  EXPECT_NE(lastError().find("maxium number of properties = 125\n"), std::string::npos) << lastError();
  set.count = 125;
  Record full;
  full.u32(0).u8(125).zeros(3);
  for (int i = 0; i < 125; ++i) full.u32(1).u32(2);
  device_->expect(kDisturbance, full).answer(Record().u32(0));
  EXPECT_EQ(Qor_CanStm_Disturbance_Properties_SetById(port, &set), 0u) << lastError();

  std::vector<uint32_t> ids(252, 0);
  std::vector<uint32_t> values(252);
  const Qor_CanStm_PropertyIdList_t ask{252, {}, ids.data()};
  Qor_CanStm_PropertyValues_t result{0, {}, values.data()};
  EXPECT_EQ(Qor_CanStm_Trigger_Properties_GetById(port, &ask, &result), kInvalidParameter);
  EXPECT_NE(lastError().find("maxium number of properties = 251\n"), std::string::npos) << lastError();

  std::vector<uint32_t> identifiers(251, 0x10);
  const Qor_CanStm_IdListWrite_t write{0, 0, 251, identifiers.data()};
  EXPECT_EQ(Qor_CanStm_Trigger_IdList_Write(port, &write), kInvalidParameter);
  EXPECT_NE(lastError().find("maxium number of IDs = 250\n"), std::string::npos) << lastError();
}

}  // namespace
}  // namespace qor::test
