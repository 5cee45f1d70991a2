// The MOST node from the library through the daemon to an emulated controller: initialisation, the node's properties
// byte-exact both ways, synchronous and through the asynchronous triple, the translation of the firmware's statuses,
// and the refusals that send nothing.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "most_road.hpp"
#include "qor_most.h"
#include "qor_test/inbox.hpp"

namespace qor::test {
namespace {

constexpr uint8_t kInit = 0x12, kNode = 0x20;
constexpr uint32_t kNoLock = 0x0204000A;
constexpr uint8_t kUnset = 0xEE;

// An answer of the properties read: the request's echo, the four modes and the address words.
Bytes propertiesAnswer(uint8_t clock, uint8_t device, uint8_t networkMaster, uint8_t addressMode) {
  return Record().u8(1).u8(0).u16(0).u8(clock).u8(device).u8(networkMaster).u8(addressMode).u16(0x1122).u16(0x3344)
      .u16(0x5566).u16(0x7788);
}
const Bytes kPropertiesRequest = {1, 0, 0, 0};

using MostNodeRoad = MostRoad;

TEST_F(MostNodeRoad, InitialisationNeedsTheInterfaceLockAndSendsNoParameters) {
  device_->expect(kInit, {});
  EXPECT_EQ(Qor_Most_InitInterface(port_), 0u) << lastError();

  ASSERT_EQ(Qor_ReleaseLock(port_), 0u) << lastError();
  EXPECT_EQ(Qor_Most_InitInterface(port_), kNoLock);
}

TEST_F(MostNodeRoad, PropertiesAreSetThroughTheCoresCheckedRecord) {
  device_->expect(kNode, Record().u32(0).u8(1).u8(2).u8(1).u8(0).u16(0x1234).u16(0xABCD)).answer({0, 0, 0, 0});
  EXPECT_EQ(Qor_Most_Node_SetProperties(port_, 1, 2, 1, 0, 0x1234, 0xABCD), 0u) << lastError();

  EXPECT_EQ(Qor_Most_Node_SetProperties(port_, 0, 3, 0, 0, 0, 0), kUnknownMode);
  expectText("Unknown deviceMode: 3");
}

TEST_F(MostNodeRoad, PropertiesAreReadAndCheckedInOrderBeforeTheyAreStored) {
  struct Case {
    const char* name;
    Bytes answer;
    uint32_t code;
    const char* text;
    uint8_t clock, device, networkMaster, addressMode;
    uint16_t firstWord;
  };
  Bytes fifteen = propertiesAnswer(1, 2, 1, 1);
  fifteen.pop_back();
  const Case cases[] = {
      {"a whole answer", propertiesAnswer(1, 2, 1, 1), 0, "", 1, 2, 1, 1, 0x1122},
      {"15 bytes", fifteen, kInvalidResponseLength, "15", kUnset, kUnset, kUnset, kUnset, 0xEEEE},
      {"clock mode 2", propertiesAnswer(2, 0, 0, 0), kInvalidResponseParameter,
       "clock mode '2' in firmware response is unknown", kUnset, kUnset, kUnset, kUnset, 0xEEEE},
      {"device mode 3 after a good clock mode", propertiesAnswer(1, 3, 0, 0), kInvalidResponseParameter,
       "device mode '3' in firmware response is unknown", 1, kUnset, kUnset, kUnset, 0xEEEE},
      {"network master mode 2", propertiesAnswer(0, 2, 2, 0), kInvalidResponseParameter,
       "network master mode '2' in firmware response is unknown", 0, 2, kUnset, kUnset, 0xEEEE},
      {"node address mode 255", propertiesAnswer(0, 1, 1, 255), kInvalidResponseParameter,
       "node address mode '255' in firmware response is unknown", 0, 1, 1, kUnset, 0xEEEE},
  };
  for (const Case& c : cases) {
    device_->expect(kNode, kPropertiesRequest).answer(c.answer);
    Qor_Most_Node_Properties_t properties;
    std::memset(&properties, kUnset, sizeof properties);
    EXPECT_EQ(Qor_Most_Node_GetProperties(port_, &properties), c.code) << c.name << ": " << lastError();
    if (*c.text != 0) expectText(c.text);
    EXPECT_EQ(properties.clockMode, c.clock) << c.name;
    EXPECT_EQ(properties.deviceMode, c.device) << c.name;
    EXPECT_EQ(properties.networkMasterMode, c.networkMaster) << c.name;
    EXPECT_EQ(properties.logicalNodeAddressMode, c.addressMode) << c.name;
    EXPECT_EQ(properties.addressWords[0], c.firstWord) << c.name;
    if (c.code == 0) {
      EXPECT_EQ(properties.addressWords[3], 0x7788u) << c.name;
    }
  }

  EXPECT_EQ(Qor_Most_Node_GetProperties(port_, nullptr), kInvalidParameter);
  expectText("'properties' is NULL");
}

TEST_F(MostNodeRoad, EveryCallButTheStatusTranslationWantsAMostPort) {
  const uint32_t canPort = open(2);
  Qor_Most_Node_Properties_t properties{};
  auto callback = [](uint32_t, const Qor_Most_Node_Properties_t*) {};
  const PortCall calls[] = {
      [](uint32_t p) { return Qor_Most_InitInterface(p); },
      [](uint32_t p) { return Qor_Most_Node_SetProperties(p, 0, 0, 0, 0, 0, 0); },
      [&](uint32_t p) { return Qor_Most_Node_GetProperties(p, &properties); },
      [](uint32_t p) { return Qor_Most_Node_GetProperties_Async(p); },
      [&](uint32_t p) { return Qor_Most_Node_GetProperties_Async_AddCallback(p, callback); },
      [](uint32_t p) { return Qor_Most_Node_GetProperties_Async_RemoveCallback(p); },
  };
  expectEachWantsAMostPort(canPort, calls);
  uint32_t status = 0;
  EXPECT_EQ(Qor_Most_TranslateStatusFromFwToApi(canPort, 0x40010, &status), 0u) << lastError();
  EXPECT_EQ(status, 0x40010u);
}

TEST_F(MostNodeRoad, KnownFirmwareStatusesPassAndOthersBecomeOne) {
  struct Case {
    uint32_t firmwareStatus;
    bool known;
  };
  const Case cases[] = {
      {0, true},        {1, true},        {2, false},       {0x10001, true},  {0x10005, true},  {0x10006, false},
      {0x10000, false}, {0x20004, true},  {0x20005, false}, {0x30006, true},  {0x30007, false}, {0x40004, true},
      {0x40005, false}, {0x40010, true},  {0x40011, false}, {0x5000B, true},  {0x5000C, false}, {0x60002, true},
      {0x60003, false}, {0x70009, true},  {0x7000A, false}, {0x80001, false}, {0x10010, false}, {0xFFFF0001, false},
  };
  for (const Case& c : cases) {
    const uint32_t firmwareStatus = c.firmwareStatus;
    uint32_t status = 0xEEEE;
    const uint32_t code = Qor_Most_TranslateStatusFromFwToApi(port_, firmwareStatus, &status);
    EXPECT_EQ(code, c.known ? 0u : kInvalidResponseParameter) << std::hex << firmwareStatus;
    EXPECT_EQ(status, c.known ? firmwareStatus : 1u) << std::hex << firmwareStatus;
  }

  uint32_t status = 0;
  EXPECT_EQ(Qor_Most_TranslateStatusFromFwToApi(port_, 0x40005, &status), kInvalidResponseParameter);
  expectText("Status '262149' is unknown");
  EXPECT_EQ(Qor_Most_TranslateStatusFromFwToApi(port_, 0xFFFFFFFF, &status), kInvalidResponseParameter);
  expectText("Status '-1' is unknown");
  EXPECT_EQ(Qor_Most_TranslateStatusFromFwToApi(port_, 0, nullptr), kInvalidParameter);
  expectText("'status' is NULL");
}

Inbox gProperties;

void propertiesArrived(uint32_t, const Qor_Most_Node_Properties_t* properties) {
  gProperties.put("properties " + std::to_string(properties->clockMode) + " " + std::to_string(properties->deviceMode) +
                  " " + std::to_string(properties->networkMasterMode) + " " +
                  std::to_string(properties->logicalNodeAddressMode) + " " +
                  std::to_string(properties->addressWords[0]) + " " + std::to_string(properties->addressWords[3]));
}
void errorArrived(uint32_t, uint32_t code, const char* text, uint32_t length) {
  gProperties.put("error " + std::to_string(code) + " " + std::string(text, length));
}

TEST_F(MostNodeRoad, AsynchronousPropertiesReachTheApplicationOrItsErrorCallback) {
  ASSERT_EQ(Qor_AsyncCommunication_Enable(port_, errorArrived), 0u) << lastError();
  EXPECT_EQ(Qor_Most_Node_GetProperties_Async_AddCallback(port_, nullptr), kInvalidParameter);
  ASSERT_EQ(Qor_Most_Node_GetProperties_Async_AddCallback(port_, propertiesArrived), 0u) << lastError();
  EXPECT_EQ(Qor_Most_Node_GetProperties_Async_AddCallback(port_, propertiesArrived), kCallbackTaken);

  const std::string function = "'Qor_Most_Node_GetProperties_Async' error" + std::string(1, '\0');
  Bytes short15 = propertiesAnswer(0, 0, 0, 0);
  short15.pop_back();
  device_->expect(kNode, kPropertiesRequest).answer(propertiesAnswer(1, 2, 0, 1));
  device_->expect(kNode, kPropertiesRequest).answer(propertiesAnswer(0, 0, 0, 2));
  device_->expect(kNode, kPropertiesRequest).answer(short15);
  for (size_t i = 1; i <= 3; ++i) {
    ASSERT_EQ(Qor_Most_Node_GetProperties_Async(port_), 0u) << lastError();
    ASSERT_TRUE(gProperties.waitFor(i));
  }
  EXPECT_EQ(gProperties.entries,
            (std::vector<std::string>{"properties 1 2 0 1 " + std::to_string(0x1122) + " " + std::to_string(0x7788),
                                      "error " + std::to_string(kInvalidResponseParameter) + " " + function,
                                      "error " + std::to_string(kInvalidResponseLength) + " " + function}));
  EXPECT_EQ(Qor_Most_Node_GetProperties_Async_RemoveCallback(port_), 0u) << lastError();
}

}  // namespace
}  // namespace qor::test
