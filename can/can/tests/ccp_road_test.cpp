// The CCP master's commands from the library through the daemon to an emulated CAN controller whose firmware drives
// an emulated ECU: the firmware records byte-exact, a calibration session, every CRO, byte orders, refusals that send
// nothing, negative acknowledges, a silent ECU, a firmware that never finishes and responses of an earlier CRO.
#include <gtest/gtest.h>

#include <chrono>
#include <cstddef>
#include <functional>
#include <vector>

#include "ccp_road.hpp"

namespace qor::test {
namespace {

using Clock = std::chrono::steady_clock;

TEST_F(CcpRecords, TheMastersOwnRequestsAreByteExact) {
  // Requests without answer data are answered with their control bytes.
  device_->expect(kCcp, RecordBytes().u8(0).u8(3).u16(0)).answer(RecordBytes().u8(0).u8(3));
  device_->expect(kCcp, RecordBytes().u8(1).u8(3).u16(0).u8(1).u8(0).u16(0).u16(1).u16(0x5555).u32(0x11111111)
                            .u32(0x22222222).u32(0x33333333).u16(0x4444).u16(7).u16(9).u16(0)).answer(RecordBytes().u8(1).u8(3));
  device_->expect(kCcp, RecordBytes().u8(2).u8(3).u16(0).u32(250).bytes({0x01, 0x05, 0x39, 0x00, 0, 0, 0, 0}).u8(4)
                            .u8(1).u16(0)).answer(RecordBytes().u8(2).u8(3));
  // Flags with bit 5 (not passed on), a CRM, value byte 0x66 and firmware class 1: a negative acknowledge.
  device_->expect(kCcp, RecordBytes().u8(4).u8(3).u16(0))
      .answer(RecordBytes().u8(4).u8(3).u16(0).u8(0x32).zeros(3).bytes({0xFF, 0x35, 0x05, 1, 2, 3, 4, 5}).u8(0x66)
                  .u8(1).u16(0));
  device_->expect(kCcp, RecordBytes().u8(3).u8(3).u16(0))
      .answer(RecordBytes().u8(3).u8(3).u16(0).u8(0xFD).zeros(3).u8(0xA1).u8(0xB2).u8(2).u8(0));

  EXPECT_EQ(Qor_Can_Ccp_Reset(port_, 3), 0u) << lastError();
  const Qor_Can_Ccp_Config_t motorola = config(1, 7, 9);
  EXPECT_EQ(Qor_Can_Ccp_Init(port_, 3, &motorola), 0u) << lastError();
  Qor_Can_Ccp_Command_t connect = cro({0x01, 0x05, 0x39, 0x00, 0, 0, 0, 0}, 250, 4);
  EXPECT_EQ(Qor_Can_Ccp_Command(port_, 3, &connect), 0u) << lastError();
  Qor_Can_Ccp_Response_t response;
  std::memset(&response, 0xEE, sizeof response);
  ASSERT_EQ(Qor_Can_Ccp_GetResponse(port_, 3, &response), 0u) << lastError();
  EXPECT_EQ(response.state, 0x12u);
  EXPECT_EQ(response.errorClass, QOR_CAN_CCP_ERROR_NEGATIVE_ACKNOWLEDGE);
  EXPECT_EQ(response.valueByte, 0x66);
  EXPECT_EQ(Bytes(response.reserved, response.reserved + 3), Bytes(3, 0));
  EXPECT_EQ(Bytes(response.crm, response.crm + 8), (Bytes{0xFF, 0x35, 0x05, 1, 2, 3, 4, 5}));
  EXPECT_STREQ(Qor_Can_Ccp_GetCcpErrorDescription(&response), "negative acknowledge - access locked");
  Qor_Can_Ccp_CommandState_t state;
  ASSERT_EQ(Qor_Can_Ccp_GetCommandState(port_, 3, &state), 0u) << lastError();
  EXPECT_EQ(state.state, 5u);
  EXPECT_EQ(state.errorClass, QOR_CAN_CCP_ERROR_UNKNOWN);  // firmware class 2
  EXPECT_EQ(state.stateByte1, 0xA1);
  EXPECT_EQ(state.stateByte2, 0xB2);
  EXPECT_EQ(state.reserved, 0);
}

TEST_F(CcpRecords, ShortResponsesAreRefusedNotTakenWithStaleBytes) {
  device_->expect(kCcp, RecordBytes().u8(4).u8(0).u16(0)).answer(RecordBytes().u8(4).u8(0).u16(0).u8(2).zeros(12));
  device_->expect(kCcp, RecordBytes().u8(3).u8(0).u16(0)).answer(RecordBytes().u8(3).u8(0).u16(0).u8(2).zeros(5));
  Qor_Can_Ccp_Response_t response;
  EXPECT_TRUE(failedWith(Qor_Can_Ccp_GetResponse(port_, 0, &response), kInvalidResponseLength));
  Qor_Can_Ccp_CommandState_t state;
  EXPECT_TRUE(failedWith(Qor_Can_Ccp_GetCommandState(port_, 0, &state), kInvalidResponseLength));
}

TEST_F(CcpSession, ACalibrationSessionReadsAndWritesTheEcusMemory) {
  ASSERT_EQ(Qor_Can_Ccp_Command_Connect(port_, kChannel, kStation), 0u) << lastError();
  Qor_Can_Ccp_ExchangeId_t id{};
  const uint8_t master[6] = {'M', 'A', 'S', 'T', 'E', 'R'};
  ASSERT_EQ(Qor_Can_Ccp_Command_ExchangeId(port_, kChannel, master, &id), 0u) << lastError();
  EXPECT_EQ(id.idLength, 4);
  EXPECT_EQ(id.availabilityMask, 0x43);
  EXPECT_EQ(id.protectionMask, 0x43);
  uint8_t slaveId[5] = {};
  ASSERT_EQ(Qor_Can_Ccp_Command_Upload(port_, kChannel, 4, slaveId), 0u) << lastError();
  EXPECT_EQ(Bytes(slaveId, slaveId + 4), (Bytes{'E', 'C', 'U', '1'}));

  uint8_t seed[5];
  ASSERT_EQ(Qor_Can_Ccp_Command_GetSeed(port_, kChannel, 0x01, seed), 0u) << lastError();
  EXPECT_EQ(Bytes(seed, seed + 5), (Bytes{1, 0x11, 0x22, 0x33, 0x44}));
  const uint8_t key[6] = {0x11 ^ 0x5A, 0x22 ^ 0x5A, 0x33 ^ 0x5A, 0x44 ^ 0x5A, 0, 0};
  uint8_t privileges = 0;
  ASSERT_EQ(Qor_Can_Ccp_Command_Unlock(port_, kChannel, key, &privileges), 0u) << lastError();
  EXPECT_EQ(privileges, 0x01);

  ASSERT_EQ(Qor_Can_Ccp_Command_SetMta(port_, kChannel, 0, 0, 0x1234), 0u) << lastError();
  EXPECT_EQ(lastCro()[0], 0x02);
  EXPECT_EQ(croParameters(), (Bytes{0, 0, 0x34, 0x12, 0, 0}));
  const uint8_t data[5] = {0xD1, 0xD2, 0xD3, 0xD4, 0xD5};
  Qor_Can_Ccp_Mta_t mta{};
  ASSERT_EQ(Qor_Can_Ccp_Command_Download(port_, kChannel, 5, data, &mta), 0u) << lastError();
  EXPECT_EQ(mta.address, 0x1239u);
  const uint8_t six[6] = {0xE1, 0xE2, 0xE3, 0xE4, 0xE5, 0xE6};
  ASSERT_EQ(Qor_Can_Ccp_Command_Download6(port_, kChannel, six, &mta), 0u) << lastError();
  EXPECT_EQ(mta.address, 0x123Fu);
  EXPECT_EQ(slave_->read(0x1234, 11), (Bytes{0xD1, 0xD2, 0xD3, 0xD4, 0xD5, 0xE1, 0xE2, 0xE3, 0xE4, 0xE5, 0xE6}));

  uint8_t readBack[5] = {};
  ASSERT_EQ(Qor_Can_Ccp_Command_ShortUp(port_, kChannel, 3, 0, 0x1236, readBack), 0u) << lastError();
  EXPECT_EQ(Bytes(readBack, readBack + 3), (Bytes{0xD3, 0xD4, 0xD5}));

  ASSERT_EQ(Qor_Can_Ccp_Command_SetMta(port_, kChannel, 0, 0, 0x1234), 0u) << lastError();
  Qor_Can_Ccp_Checksum_t checksum{};
  ASSERT_EQ(Qor_Can_Ccp_Command_BuildChksum(port_, kChannel, 2, &checksum), 0u) << lastError();
  EXPECT_EQ(checksum.size, 2);
  EXPECT_EQ(Bytes(checksum.checksum, checksum.checksum + 2), (Bytes{0x01, 0xA3}));  // 0xD1 + 0xD2

  ASSERT_EQ(Qor_Can_Ccp_Command_SetSessionStatus(port_, kChannel, 0x81), 0u) << lastError();
  Qor_Can_Ccp_SessionStatus_t status{};
  ASSERT_EQ(Qor_Can_Ccp_Command_GetSessionStatus(port_, kChannel, &status), 0u) << lastError();
  EXPECT_EQ(status.status, 0x81);
  Qor_Can_Ccp_ShortResult_t version{};
  ASSERT_EQ(Qor_Can_Ccp_Command_GetCcpVersion(port_, kChannel, 2, 1, &version), 0u) << lastError();
  EXPECT_EQ(version.first, 2);
  EXPECT_EQ(version.second, 1);
  ASSERT_EQ(Qor_Can_Ccp_Command_Disconnect(port_, kChannel, 1, kStation), 0u) << lastError();
  EXPECT_EQ(croParameters(), (Bytes{1, 0, 0x39, 0x00, 0, 0}));

  // Every CRO carried the next command counter.
  const std::vector<Cro> sent = firmware_->sentCros(kChannel);
  for (size_t index = 1; index < sent.size(); ++index) {
    EXPECT_EQ(static_cast<uint8_t>(sent[index][1] - sent[index - 1][1]), 1) << index;
  }
}

TEST_F(CcpSession, EveryCommandFunctionSendsItsCroInIntelOrder) {
  connectAndUnlock(0x01);
  connectAndUnlock(0x02);
  connectAndUnlock(0x40);
  const uint8_t six[6] = {0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6};
  const uint8_t four[4] = {0xB1, 0xB2, 0xB3, 0xB4};
  uint8_t data[5];
  Qor_Can_Ccp_Mta_t mta;
  Qor_Can_Ccp_ShortResult_t result;
  Qor_Can_Ccp_SessionStatus_t status;
  Qor_Can_Ccp_Checksum_t checksum;
  Qor_Can_Ccp_ExchangeId_t id;
  struct Case {
    const char* name;
    std::function<uint32_t()> call;
    Bytes cro;  // code, then bytes 2 to 7
  };
  const Case cases[] = {
      {"Connect", [&] { return Qor_Can_Ccp_Command_Connect(port_, kChannel, 0x0039); }, {0x01, 0x39, 0, 0, 0, 0, 0}},
      {"SetMta", [&] { return Qor_Can_Ccp_Command_SetMta(port_, kChannel, 1, 7, 0x00001234); },
       {0x02, 1, 7, 0x34, 0x12, 0, 0}},
      {"Download", [&] { return Qor_Can_Ccp_Command_Download(port_, kChannel, 2, six, &mta); },
       {0x03, 2, 0xA1, 0xA2, 0, 0, 0}},
      {"Upload", [&] { return Qor_Can_Ccp_Command_Upload(port_, kChannel, 5, data); }, {0x04, 5, 0, 0, 0, 0, 0}},
      {"Test", [&] { return Qor_Can_Ccp_Command_Test(port_, kChannel, 0x0039); }, {0x05, 0x39, 0, 0, 0, 0, 0}},
      {"StartStop", [&] { return Qor_Can_Ccp_Command_StartStop(port_, kChannel, 2, 3, 4, 5, 0x0102); },
       {0x06, 2, 3, 4, 5, 0x02, 0x01}},
      {"StartStopAll", [&] { return Qor_Can_Ccp_Command_StartStopAll(port_, kChannel, 1); }, {0x08, 1, 0, 0, 0, 0, 0}},
      {"GetActiveCalPage", [&] { return Qor_Can_Ccp_Command_GetActiveCalPage(port_, kChannel, &mta); },
       {0x09, 0, 0, 0, 0, 0, 0}},
      {"SetSessionStatus", [&] { return Qor_Can_Ccp_Command_SetSessionStatus(port_, kChannel, 0xC7); },
       {0x0C, 0xC7, 0, 0, 0, 0, 0}},
      {"GetSessionStatus", [&] { return Qor_Can_Ccp_Command_GetSessionStatus(port_, kChannel, &status); },
       {0x0D, 0, 0, 0, 0, 0, 0}},
      {"BuildChksum", [&] { return Qor_Can_Ccp_Command_BuildChksum(port_, kChannel, 0x10, &checksum); },
       {0x0E, 0x10, 0, 0, 0, 0, 0}},
      {"ShortUp", [&] { return Qor_Can_Ccp_Command_ShortUp(port_, kChannel, 4, 9, 0x00002345, data); },
       {0x0F, 4, 9, 0x45, 0x23, 0, 0}},
      {"ClearMemory", [&] { return Qor_Can_Ccp_Command_ClearMemory(port_, kChannel, 0x0203); },
       {0x10, 0x03, 0x02, 0, 0, 0, 0}},
      {"SelectCalPage", [&] { return Qor_Can_Ccp_Command_SelectCalPage(port_, kChannel); }, {0x11, 0, 0, 0, 0, 0, 0}},
      {"GetSeed", [&] { return Qor_Can_Ccp_Command_GetSeed(port_, kChannel, 0x40, data); }, {0x12, 0x40, 0, 0, 0, 0, 0}},
      {"Unlock", [&] { return Qor_Can_Ccp_Command_Unlock(port_, kChannel, six, data); },
       {0x13, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6}},
      {"GetDaqSize", [&] { return Qor_Can_Ccp_Command_GetDaqSize(port_, kChannel, 2, 0x12345678, &result); },
       {0x14, 2, 0, 0x78, 0x56, 0x34, 0x12}},
      {"SetDaqPtr", [&] { return Qor_Can_Ccp_Command_SetDaqPtr(port_, kChannel, 2, 1, 3); }, {0x15, 2, 1, 3, 0, 0, 0}},
      {"WriteDaq", [&] { return Qor_Can_Ccp_Command_WriteDaq(port_, kChannel, 1, 0, 0x4000); },
       {0x16, 2, 0, 0x00, 0x40, 0, 0}},
      {"ExchangeId", [&] { return Qor_Can_Ccp_Command_ExchangeId(port_, kChannel, nullptr, &id); },
       {0x17, 0, 0, 0, 0, 0, 0}},
      {"Program", [&] { return Qor_Can_Ccp_Command_Program(port_, kChannel, 1, six, &mta); },
       {0x18, 1, 0xA1, 0, 0, 0, 0}},
      {"Move", [&] { return Qor_Can_Ccp_Command_Move(port_, kChannel, 2); }, {0x19, 2, 0, 0, 0, 0, 0}},
      {"GetCcpVersion", [&] { return Qor_Can_Ccp_Command_GetCcpVersion(port_, kChannel, 2, 1, &result); },
       {0x1B, 2, 1, 0, 0, 0, 0}},
      {"DiagService", [&] { return Qor_Can_Ccp_Command_DiagService(port_, kChannel, 0x0102, four, &result); },
       {0x20, 0x02, 0x01, 0xB1, 0xB2, 0xB3, 0xB4}},
      {"ActionService", [&] { return Qor_Can_Ccp_Command_ActionService(port_, kChannel, 0x0304, nullptr, &result); },
       {0x21, 0x04, 0x03, 0, 0, 0, 0}},
      {"Program6", [&] { return Qor_Can_Ccp_Command_Program6(port_, kChannel, six, &mta); },
       {0x22, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6}},
      {"Download6", [&] { return Qor_Can_Ccp_Command_Download6(port_, kChannel, six, &mta); },
       {0x23, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6}},
      {"Disconnect", [&] { return Qor_Can_Ccp_Command_Disconnect(port_, kChannel, 0, 0x0039); },
       {0x07, 0, 0, 0x39, 0, 0, 0}},
  };
  for (const Case& c : cases) {
    c.call();  // the ECU may refuse some of them; the CRO is what counts here
    Bytes sent = croParameters();
    sent.insert(sent.begin(), lastCro()[0]);
    EXPECT_EQ(sent, c.cro) << c.name;
  }
}

TEST(CcpRecordLayout, FieldsSitAtTheirOffsets) {
  struct Case {
    const char* field;
    size_t offset, expected;
  };
  const Case cases[] = {
      {"Config.value1", offsetof(Qor_Can_Ccp_Config_t, value1), 4},
      {"Config.value4", offsetof(Qor_Can_Ccp_Config_t, value4), 16},
      {"Config.maxDaqMessages", offsetof(Qor_Can_Ccp_Config_t, maxDaqMessages), 18},
      {"Config.maxEventMessages", offsetof(Qor_Can_Ccp_Config_t, maxEventMessages), 20},
      {"Config.value5", offsetof(Qor_Can_Ccp_Config_t, value5), 22},
      {"Command.timeout", offsetof(Qor_Can_Ccp_Command_t, timeout), 4},
      {"Command.retries", offsetof(Qor_Can_Ccp_Command_t, retries), 8},
      {"Command.cro", offsetof(Qor_Can_Ccp_Command_t, cro), 12},
      {"Response.errorClass", offsetof(Qor_Can_Ccp_Response_t, errorClass), 4},
      {"Response.valueByte", offsetof(Qor_Can_Ccp_Response_t, valueByte), 8},
      {"Response.crm", offsetof(Qor_Can_Ccp_Response_t, crm), 12},
      {"CommandState.stateByte1", offsetof(Qor_Can_Ccp_CommandState_t, stateByte1), 8},
      {"CommandState.stateByte2", offsetof(Qor_Can_Ccp_CommandState_t, stateByte2), 9},
      {"Message.data", offsetof(Qor_Can_Ccp_Message_t, data), 4},
      {"Mta.address", offsetof(Qor_Can_Ccp_Mta_t, address), 4},
      {"SessionStatus.info", offsetof(Qor_Can_Ccp_SessionStatus_t, info), 4},
      {"Checksum.checksum", offsetof(Qor_Can_Ccp_Checksum_t, checksum), 4},
      {"ExchangeId.protectionMask", offsetof(Qor_Can_Ccp_ExchangeId_t, protectionMask), 3},
  };
  for (const Case& c : cases) EXPECT_EQ(c.offset, c.expected) << c.field;
}

TEST_F(CcpSession, ALockedResourceIsANegativeAcknowledgeInWords) {
  ASSERT_EQ(Qor_Can_Ccp_Command_Connect(port_, kChannel, kStation), 0u) << lastError();
  const uint8_t data[1] = {0xAB};
  Qor_Can_Ccp_Mta_t mta{0x77, {}, 0x77777777};
  EXPECT_TRUE(failedWith(Qor_Can_Ccp_Command_Download(port_, kChannel, 1, data, &mta), kCcpError,
                         "negative acknowledge - access locked"));
  EXPECT_EQ(mta.address, 0x77777777u);  // results only from a valid CRM
  EXPECT_TRUE(failedWith(Qor_Can_Ccp_Command_Move(port_, kChannel, 4), kCcpError, "access locked"));
}

TEST_F(CcpSession, RefusedArgumentsSendNoCro) {
  uint8_t buffer[8] = {};
  Qor_Can_Ccp_Mta_t mta{};
  struct Case {
    const char* name;
    std::function<uint32_t()> call;
    uint32_t code;
    const char* text;
  };
  const Case cases[] = {
      {"mta 2", [&] { return Qor_Can_Ccp_Command_SetMta(port_, kChannel, 2, 0, 0); }, kInvalidParameter,
       "'mtaNumber' value '0x02' is unknown"},
      {"download of 6", [&] { return Qor_Can_Ccp_Command_Download(port_, kChannel, 6, buffer, &mta); },
       kInvalidParameter, "data size has to be <= 5"},
      {"program of 6", [&] { return Qor_Can_Ccp_Command_Program(port_, kChannel, 6, buffer, &mta); },
       kInvalidParameter, "data size has to be <= 5"},
      {"upload of 6 (a CRM holds five)", [&] { return Qor_Can_Ccp_Command_Upload(port_, kChannel, 6, buffer); },
       kInvalidParameter, "data size has to be <= 5"},
      {"short upload of 255", [&] { return Qor_Can_Ccp_Command_ShortUp(port_, kChannel, 255, 0, 0, buffer); },
       kInvalidParameter, "data size has to be <= 5"},
      {"start/stop mode 3", [&] { return Qor_Can_Ccp_Command_StartStop(port_, kChannel, 3, 0, 0, 0, 1); },
       kUnknownMode, "mode value '0x03' is unknown"},
      {"prescaler 0", [&] { return Qor_Can_Ccp_Command_StartStop(port_, kChannel, 1, 0, 0, 0, 0); },
       kInvalidParameter, "'transmissionRatePrescaler' has to be >= 1"},
      {"disconnect mode 2", [&] { return Qor_Can_Ccp_Command_Disconnect(port_, kChannel, 2, kStation); },
       kUnknownMode, "mode value '0x02' is unknown"},
      {"start/stop all mode 2", [&] { return Qor_Can_Ccp_Command_StartStopAll(port_, kChannel, 2); }, kUnknownMode,
       "mode value '0x02' is unknown"},
      {"session status bit 3", [&] { return Qor_Can_Ccp_Command_SetSessionStatus(port_, kChannel, 0x08); },
       kUnknownFlag, "'statusFlag' value '0x08' is unknown"},
      {"no resource", [&] { return Qor_Can_Ccp_Command_GetSeed(port_, kChannel, 0, buffer); }, kInvalidParameter,
       "no resource or function was selected"},
      {"two resources", [&] { return Qor_Can_Ccp_Command_GetSeed(port_, kChannel, 3, buffer); }, kInvalidParameter,
       "only one resource or function may be requested"},
      {"element size 3", [&] { return Qor_Can_Ccp_Command_WriteDaq(port_, kChannel, 3, 0, 0); }, kInvalidParameter,
       "'sizeOfDaqElement' value is invalid"},
      {"no key", [&] { return Qor_Can_Ccp_Command_Unlock(port_, kChannel, nullptr, buffer); }, kInvalidParameter,
       "key"},
      {"CRO flags 2",
       [&] {
         Qor_Can_Ccp_Command_t command = cro({});
         command.flags = 2;
         return Qor_Can_Ccp_Command(port_, kChannel, &command);
       },
       kUnknownFlag, "flag value '0x0002' is unknown"},
      {"CRO reserved byte",
       [&] {
         Qor_Can_Ccp_Command_t command = cro({});
         command.reserved[2] = 1;
         Qor_Can_Ccp_Response_t response;
         return Qor_Can_Ccp_CommandWithResponse(port_, kChannel, &command, &response);
       },
       kInvalidParameter, "reserved bytes have to be zero"},
  };
  const size_t before = requestsOf(kCcp);
  for (const Case& c : cases) EXPECT_TRUE(failedWith(c.call(), c.code, c.text)) << c.name;
  EXPECT_EQ(requestsOf(kCcp), before);
}

TEST(CcpErrorDescription, ClassesAndReturnCodesInWords) {
  struct Case {
    uint32_t errorClass;
    uint8_t returnCode;
    const char* text;
  };
  const Case cases[] = {
      {0, 0x35, "no error"},
      {1, 0, "unknown CCP error"},
      {2, 0x01, "negative acknowledge - DAQ processor overload"},
      {2, 0x33, "negative acknowledge - access denied"},
      {2, 0x36, "negative acknowledge - resource or function not available"},
      {2, 0x99, "negative acknowledge"},
      {3, 0, "invalid DAQ list number"},
      {4, 0, "response timeout"},
      {5, 0, "transmit timeout"},
      {6, 0, "unknown state"},
      {7, 0, "internal error"},
      {8, 0, "unknown CCP error"},
  };
  for (const Case& c : cases) {
    Qor_Can_Ccp_Response_t response{};
    response.errorClass = c.errorClass;
    response.crm[1] = c.returnCode;
    EXPECT_STREQ(Qor_Can_Ccp_GetCcpErrorDescription(&response), c.text) << c.errorClass;
  }
  EXPECT_STREQ(Qor_Can_Ccp_GetCcpErrorDescription(nullptr), "unknown CCP error");
}

class CcpMotorolaSession : public CcpSession {
 protected:
  void SetUp() override {
    CanCommandRoad::SetUp();
    startEcu({.motorola = true});
  }
};

TEST_F(CcpMotorolaSession, AddressesAndSizesGoMostSignificantByteFirst) {
  connectAndUnlock();
  ASSERT_EQ(Qor_Can_Ccp_Command_SetMta(port_, kChannel, 1, 0x02, 0x00002000), 0u) << lastError();
  EXPECT_EQ(croParameters(), (Bytes{1, 2, 0x00, 0x00, 0x20, 0x00}));
  ASSERT_EQ(Qor_Can_Ccp_Command_SetMta(port_, kChannel, 0, 0, 0x00001000), 0u) << lastError();
  ASSERT_EQ(Qor_Can_Ccp_Command_Move(port_, kChannel, 3), 0u) << lastError();
  EXPECT_EQ(croParameters(), (Bytes{0, 0, 0, 3, 0, 0}));
  EXPECT_EQ(slave_->read(0x2000, 3), slave_->read(0x1000, 3));
  const uint8_t data[2] = {0xAA, 0xBB};
  Qor_Can_Ccp_Mta_t mta{};
  ASSERT_EQ(Qor_Can_Ccp_Command_Download(port_, kChannel, 2, data, &mta), 0u) << lastError();
  EXPECT_EQ(mta.address, 0x1002u);
  Qor_Can_Ccp_ShortResult_t service{};
  ASSERT_EQ(Qor_Can_Ccp_Command_DiagService(port_, kChannel, 0x0102, nullptr, &service), 0u) << lastError();
  EXPECT_EQ(croParameters(), (Bytes{0x01, 0x02, 0, 0, 0, 0}));
  EXPECT_EQ(service.first, 4);
}

TEST_F(CcpSession, AResponseOfTheEarlierCroIsNotTakenForTheNewOnes) {
  connectAndUnlock();
  slave_->write(0x3000, {0x31, 0x32, 0x33});
  ASSERT_EQ(Qor_Can_Ccp_Command_SetMta(port_, kChannel, 0, 0, 0x3000), 0u) << lastError();
  firmware_->setStaleReads(kChannel, 3);
  uint8_t data[5] = {};
  ASSERT_EQ(Qor_Can_Ccp_Command_Upload(port_, kChannel, 3, data), 0u) << lastError();
  EXPECT_EQ(Bytes(data, data + 3), (Bytes{0x31, 0x32, 0x33}));
}

TEST_F(CcpSession, ASilentEcuEndsWithTheFirmwaresResponseTimeout) {
  ASSERT_EQ(Qor_Can_Ccp_Command_Connect(port_, kChannel, kStation), 0u) << lastError();
  slave_->goSilent(true);
  firmware_->setRunningReads(kChannel, 2);
  Qor_Can_Ccp_Command_t version = cro({0x1B, 0x21, 2, 1, 0, 0, 0, 0}, 20, 2);
  Qor_Can_Ccp_Response_t response{};
  const auto start = Clock::now();
  ASSERT_EQ(Qor_Can_Ccp_CommandWithResponse(port_, kChannel, &version, &response), 0u) << lastError();
  EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(60));  // the firmware's three tries
  EXPECT_EQ(response.state & QOR_CAN_CCP_STATE_VALID_CRM, 0u);
  EXPECT_EQ(response.errorClass, QOR_CAN_CCP_ERROR_RESPONSE_TIMEOUT);
  EXPECT_STREQ(Qor_Can_Ccp_GetCcpErrorDescription(&response), "response timeout");

  // Not connected to another station either: a CONNECT for it stays unanswered.
  slave_->goSilent(false);
  Qor_Can_Ccp_Command_t otherStation = cro({0x01, 0x22, 0x40, 0x00, 0, 0, 0, 0}, 10, 0);
  ASSERT_EQ(Qor_Can_Ccp_CommandWithResponse(port_, kChannel, &otherStation, &response), 0u) << lastError();
  EXPECT_EQ(response.errorClass, QOR_CAN_CCP_ERROR_RESPONSE_TIMEOUT);
}

TEST_F(CcpSession, AFirmwareThatNeverFinishesEndsTheWaitWithTheGeneralTimeout) {
  firmware_->keepRunning(kChannel, true);
  Qor_Can_Ccp_Command_t connect = cro({0x01, 0x22, 0x39, 0x00, 0, 0, 0, 0}, 100, 4);
  Qor_Can_Ccp_Response_t response{};
  const auto start = Clock::now();
  EXPECT_TRUE(failedWith(Qor_Can_Ccp_CommandWithResponse(port_, kChannel, &connect, &response), kGeneralTimeout));
  const auto waited = Clock::now() - start;
  EXPECT_GE(waited, std::chrono::milliseconds(5500));
  EXPECT_LT(waited, std::chrono::milliseconds(9000));
}

}  // namespace
}  // namespace qor::test
