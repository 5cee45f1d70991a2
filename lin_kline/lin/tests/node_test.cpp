// The LIN node's calls, each request byte-exact: initialisation and node configuration, baud rate, checksum model,
// wake-up and sleep, properties, network-management wake-up and bus-idle detection.
#include <functional>
#include <optional>
#include <string>

#include "lin_road.hpp"
#include "qor_lin_node.h"

namespace qor::test {
namespace {

using LinNode = LinRoad;
using emulator::words;

constexpr uint8_t kInitInterface = 0x12;
constexpr uint8_t kNodeConfig = 0x14;
constexpr uint8_t kChecksumModel = 0x15;
constexpr uint8_t kProperty = 0x1A;
constexpr uint8_t kWakeUp = 0x24;
constexpr uint8_t kGoToSleep = 0x26;
constexpr uint8_t kBaudRate = 0x40;
constexpr uint8_t kBusIdle = 0x48;
constexpr uint8_t kNmWakeUp = 0x49;

// The core's node record: tasks, baud rate, three master times in ticks, detection, slave baud rate and two times.
Bytes nodeRecord(uint8_t master, uint8_t slave, uint32_t baudRate, uint32_t breakTicks, uint32_t delimiterTicks,
                 uint32_t slaveBaudRate) {
  return Bytes{master, slave, 0, 0} +
         emulator::words({baudRate, breakTicks, delimiterTicks, 0, 0, slaveBaudRate, 0, 0});
}

TEST_F(LinNode, InitInterfaceNeedsTheInterfaceLockThenKnownFlags) {
  device_->expect(kInitInterface, {0, 0, 0, 0});
  device_->expect(kInitInterface, {0, 1, 0, 1});
  device_->expect(kInitInterface, {0, 1, 1, 1}).fail(kFirmwareBusy, "busy");
  EXPECT_EQ(Qor_Lin_InitInterface(port_, 0), 0u) << lastText();
  EXPECT_EQ(Qor_Lin_InitInterface(port_, 5), 0u) << lastText();
  EXPECT_EQ(Qor_Lin_InitInterface(port_, 7), kFirmwareBusy);
  EXPECT_EQ(Qor_Lin_InitInterface(port_, 8), kUnknownFlag);

  ASSERT_EQ(Qor_ReleaseLock(port_), 0u);
  EXPECT_EQ(Qor_Lin_InitInterface(port_, 8), kNoLock) << "the lock is checked before the flags";
  EXPECT_EQ(Qor_Lin_InitInterface(port_, 0), kNoLock);
  const Qor_Lin_NodeConfig_t config{};
  EXPECT_EQ(Qor_Lin_Node_Config2(port_, &config), kNoLock);
  EXPECT_EQ(Qor_Lin_Node_Config(port_, 1, 19200), kNoLock);
}

TEST_F(LinNode, NodeConfigTimesABreakOf13BitsAndADelimiterOfOne) {
  struct Case {
    uint32_t flags;
    uint32_t baudRate;
    std::optional<Bytes> record;  // none: refused
    uint32_t code;
  } cases[] = {
      // 677083 ns and 52083 ns in ticks of 25 ns
      {1, 19200, nodeRecord(1, 0, 19200, 27083, 2083, 0), 0},
      // the slave's baud rate leads when both tasks run; the slave's times are 0
      {3, 19200, nodeRecord(1, 1, 19200, 27083, 2083, 19200), 0},
      {1, 0, nodeRecord(1, 0, 0, 0, 0, 0), 0},
      // 13e9 / 4 still fits 32 bits of ns; at 3 baud the break would wrap
      {1, 4, nodeRecord(1, 0, 4, 130'000'000, 10'000'000, 0), 0},
      {1, 3, std::nullopt, kInvalidParameter},
      {8, 19200, std::nullopt, kUnknownFlag},
  };
  for (const Case& c : cases) {
    if (c.record) device_->expect(kNodeConfig, *c.record);
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(c.baudRate);
    EXPECT_EQ(Qor_Lin_Node_Config(port_, c.flags, c.baudRate), c.code) << lastText();
  }
  EXPECT_EQ(Qor_Lin_Node_Config(port_, 1, 3), kInvalidParameter);
  EXPECT_EQ(lastText(), described(kInvalidParameter, "baud rate 3 is too low for a break of 13 bit times"));
}

TEST_F(LinNode, NodeConfig2HandsTheRecordOnAfterItsChecks) {
  const Qor_Lin_NodeConfig_t slave{QOR_LIN_NODE_SLAVE_TASK, 0, {0, 0, 0}, 10417, {2500, 50}};
  device_->expect(kNodeConfig, Bytes{0, 1, 0, 0} + words({10417, 0, 0, 0, 0, 10417, 100, 2}));
  EXPECT_EQ(Qor_Lin_Node_Config2(port_, &slave), 0u) << lastText();

  Qor_Lin_NodeConfig_t unknown = slave;
  unknown.flags = 0x10;
  EXPECT_EQ(Qor_Lin_Node_Config2(port_, &unknown), kUnknownFlag);
  EXPECT_EQ(Qor_Lin_Node_Config2(port_, nullptr), kInvalidParameter);
}

TEST_F(LinNode, SingleCommandsSendTheirRecords) {
  const uint8_t ids[] = {0x10, 0x11, 0x3C};
  struct Case {
    const char* name;
    std::function<uint32_t(uint32_t)> call;
    uint8_t command;
    Bytes record;
  } cases[] = {
      {"baud rate", [](uint32_t port) { return Qor_Lin_Node_SetBaudRate(port, 19200); }, kBaudRate, u32le(19200)},
      {"wake-up drops the remainder", [](uint32_t port) { return Qor_Lin_Node_SendWakeUp(port, 1'000'024); }, kWakeUp,
       u32le(40000)},
      {"go to sleep", [](uint32_t port) { return Qor_Lin_Node_SendGoToSleep(port); }, kGoToSleep, {}},
      {"checksum model of every frame: no ids",
       [&ids](uint32_t port) { return Qor_Lin_Node_SetChecksumModel(port, 1, 1, 3, ids); },
       kChecksumModel,
       {1, 3, 1, 0}},
      {"checksum model of three frames",
       [&ids](uint32_t port) { return Qor_Lin_Node_SetChecksumModel(port, 0, 0, 3, ids); },
       kChecksumModel,
       {0, 3, 0, 0, 0x10, 0x11, 0x3C}},
      {"every frame needs no ids",
       [](uint32_t port) { return Qor_Lin_Node_SetChecksumModel(port, 1, 0, 9, nullptr); },
       kChecksumModel,
       {0, 9, 1, 0}},
  };
  for (const Case& c : cases) device_->expect(c.command, c.record);
  for (const Case& c : cases) EXPECT_EQ(c.call(port_), 0u) << c.name << ": " << lastText();

  device_->expect(kBaudRate, u32le(9600)).fail(kFirmwareBusy, "busy");
  EXPECT_EQ(Qor_Lin_Node_SetBaudRate(port_, 9600), kFirmwareBusy);
}

TEST_F(LinNode, ChecksumModelRefusesUnknownFlagsModelsAndMissingIds) {
  const uint8_t ids[] = {1};
  EXPECT_EQ(Qor_Lin_Node_SetChecksumModel(port_, 2, 0, 1, ids), kUnknownFlag);
  EXPECT_EQ(lastText(), described(kUnknownFlag, "0x2"));
  EXPECT_EQ(Qor_Lin_Node_SetChecksumModel(port_, 0, 2, 1, ids), kInvalidParameter);
  EXPECT_EQ(lastText(), described(kInvalidParameter, "checksum model '0x2' is unknown"));
  EXPECT_EQ(Qor_Lin_Node_SetChecksumModel(port_, 0, 0, 1, nullptr), kInvalidParameter);
}

Bytes propertyRecord(uint8_t subFunction, uint16_t id) { return Bytes{subFunction, 0, 0, 0} + u16le(id) + Bytes{0, 0}; }

TEST_F(LinNode, PropertiesAreSetAndReadByKnownIds) {
  device_->expect(kProperty, propertyRecord(4, 7) + u32le(0x11223344)).answer(propertyRecord(4, 7));
  device_->expect(kProperty, propertyRecord(5, 52)).answer(propertyRecord(5, 52) + u32le(0xA5A5));
  device_->expect(kProperty, propertyRecord(5, 0xFFFF)).answer(propertyRecord(5, 0xFFFF) + u32le(3));
  EXPECT_EQ(Qor_Lin_Node_Property_Set(port_, 7, 0x11223344), 0u) << lastText();
  uint32_t value = 0;
  EXPECT_EQ(Qor_Lin_Node_Property_Get(port_, 52, &value), 0u) << lastText();
  EXPECT_EQ(value, 0xA5A5u);
  EXPECT_EQ(Qor_Lin_Node_Property_Get(port_, 0xFFFF, &value), 0u) << lastText();
  EXPECT_EQ(value, 3u);

  EXPECT_EQ(Qor_Lin_Node_Property_Set(port_, 53, 1), kInvalidParameter);
  value = 0xEE;
  EXPECT_EQ(Qor_Lin_Node_Property_Get(port_, 53, &value), kInvalidParameter);
  EXPECT_EQ(lastText(), described(kInvalidParameter, "property id '0x35' is unknown"));
  EXPECT_EQ(value, 0u);
}

TEST_F(LinNode, FailedPropertyReadsGiveZero) {
  device_->expect(kProperty, propertyRecord(5, 1)).fail(kFirmwareBusy, "busy");
  device_->expect(kProperty, propertyRecord(5, 1)).answer(propertyRecord(5, 1) + Bytes{1, 2, 3});
  uint32_t value = 0xEE;
  EXPECT_EQ(Qor_Lin_Node_Property_Get(port_, 1, &value), kFirmwareBusy);
  EXPECT_EQ(value, 0u);
  value = 0xEE;
  EXPECT_EQ(Qor_Lin_Node_Property_Get(port_, 1, &value), kInvalidResponseLength) << "the value is cut short";
  EXPECT_EQ(value, 0u);
  EXPECT_EQ(Qor_Lin_Node_Property_Get(port_, 1, nullptr), kInvalidParameter);
}

TEST_F(LinNode, InternalBatteryVoltageIsProperty50) {
  device_->expect(kProperty, propertyRecord(4, 50) + u32le(1)).answer(propertyRecord(4, 50));
  device_->expect(kProperty, propertyRecord(4, 50) + u32le(0)).answer(propertyRecord(4, 50));
  device_->expect(kProperty, propertyRecord(4, 50) + u32le(1)).fail(0x53, "not on this device");
  device_->expect(kProperty, propertyRecord(4, 50) + u32le(0)).fail(kFirmwareBusy, "busy");
  EXPECT_EQ(Qor_Lin_Node_InternalVBat_Enable(port_), 0u) << lastText();
  EXPECT_EQ(Qor_Lin_Node_InternalVBat_Disable(port_), 0u) << lastText();
  EXPECT_EQ(Qor_Lin_Node_InternalVBat_Enable(port_), kOperationNotAllowed);
  EXPECT_EQ(lastText(), described(kOperationNotAllowed, "operation not allowed on this device type"));
  EXPECT_EQ(Qor_Lin_Node_InternalVBat_Disable(port_), kFirmwareBusy);
}

TEST_F(LinNode, NetworkManagementWakeUpReadsStateAndResults) {
  device_->expect(kNmWakeUp, words({0, 0xABCD})).answer(words({0, 0xFF, 0x1234}));
  device_->expect(kNmWakeUp, words({1, 1, 10, 20, 30})).answer(words({1, 0xFE, 0x55, 0x66}));
  uint32_t state = 9, first = 9, second = 9;
  EXPECT_EQ(Qor_Lin_Nm_WakeUp_SendImmediately(port_, 0xABCD, &state, &first), 0u) << lastText();
  EXPECT_EQ(state, 1u);
  EXPECT_EQ(first, 0x1234u);
  EXPECT_EQ(Qor_Lin_Nm_WakeUp_SendAutomatically(port_, 1, 10, 20, 30, &state, &first, &second), 0u) << lastText();
  EXPECT_EQ(state, 0u);
  EXPECT_EQ(first, 0x55u);
  EXPECT_EQ(second, 0x66u);
}

TEST_F(LinNode, NetworkManagementWakeUpFailuresGiveZeroes) {
  // answers one word shorter than what is read of them
  device_->expect(kNmWakeUp, words({0, 7})).answer(words({0, 1}));
  device_->expect(kNmWakeUp, words({1, 0, 1, 2, 3})).answer(words({1, 1, 0x55}));
  device_->expect(kNmWakeUp, words({0, 8})).fail(kFirmwareBusy, "busy");
  uint32_t state = 9, first = 9, second = 9;
  EXPECT_EQ(Qor_Lin_Nm_WakeUp_SendImmediately(port_, 7, &state, &first), kInvalidResponseLength);
  EXPECT_EQ(state + first, 0u);
  state = first = second = 9;
  EXPECT_EQ(Qor_Lin_Nm_WakeUp_SendAutomatically(port_, 0, 1, 2, 3, &state, &first, &second), kInvalidResponseLength);
  EXPECT_EQ(state + first + second, 0u);
  state = first = 9;
  EXPECT_EQ(Qor_Lin_Nm_WakeUp_SendImmediately(port_, 8, &state, &first), kFirmwareBusy);
  EXPECT_EQ(state + first, 0u);
  state = first = second = 9;
  EXPECT_EQ(Qor_Lin_Nm_WakeUp_SendAutomatically(port_, 2, 1, 2, 3, &state, &first, &second), kUnknownFlag);
  EXPECT_EQ(state + first + second, 0u);
}

TEST_F(LinNode, BusIdleDetection) {
  device_->expect(kBusIdle, words({0, 1, 500})).answer(words({0}));
  device_->expect(kBusIdle, words({1})).answer(words({1, 0xFE, 777}));
  device_->expect(kBusIdle, words({1})).answer(words({1, 3}));
  EXPECT_EQ(Qor_Lin_BusIdleDetection_SetThreshold(port_, 1, 500), 0u) << lastText();
  EXPECT_EQ(Qor_Lin_BusIdleDetection_SetThreshold(port_, 2, 500), kUnknownFlag);
  uint32_t state = 9, value = 9;
  EXPECT_EQ(Qor_Lin_BusIdleDetection_GetState(port_, &state, &value), 0u) << lastText();
  EXPECT_EQ(state, 2u);
  EXPECT_EQ(value, 777u);
  EXPECT_EQ(Qor_Lin_BusIdleDetection_GetState(port_, &state, &value), kInvalidResponseLength);
  EXPECT_EQ(state, 2u) << "untouched";
  EXPECT_EQ(value, 777u);
}

}  // namespace
}  // namespace qor::test
