// Relays, the pull-up resistor and the disturbance unit of emulated LIN controllers of several models, each request
// stated byte-exact. Models whose relays sit behind controller 1 get their relay commands on a controller-1 port.
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "qor_emulator/frame.hpp"
#include "qor_lin_disturbance.h"
#include "qor_lin_relays.h"

#include "lin_road.hpp"
namespace qor::test {
namespace {

using emulator::Bytes;
using emulator::words;

constexpr uint8_t kRelaysSet = 0x81;
constexpr uint8_t kRelaysReset = 0x82;
constexpr uint8_t kRelaysDirect = 0x83;
constexpr uint8_t kRelaysState = 0x84;
constexpr uint8_t kNodeProperty = 0x1A;
constexpr uint8_t kDominant = 0x17;
constexpr uint8_t kWakeUpDelay = 0x18;
constexpr uint8_t kErrorMode = 0x19;
constexpr uint8_t kRecessive = 0x1B;

// A level record: u8 1, reference point, flag, value1, two times in ticks, value2, u16 0.
Bytes levelRecord(uint8_t set, uint8_t referencePoint, uint8_t flag, uint8_t value1, uint32_t ticks1,
                       uint32_t ticks2, uint16_t value2) {
  Bytes record{set, referencePoint, flag, value1};
  emulator::appendLittleEndian(record, ticks1, 4);
  emulator::appendLittleEndian(record, ticks2, 4);
  emulator::appendLittleEndian(record, value2, 2);
  emulator::appendLittleEndian(record, 0, 2);
  return record;
}

// A model with LIN interfaces 1 to 3 on each of its controllers.
template <uint32_t HostType>
class LinModel : public InterfaceFixture {
 protected:
  LinModel() : InterfaceFixture({HostType, {{kLinFirmwareCode, 1}, {kLinFirmwareCode, 2}, {kLinFirmwareCode, 3}}}) {}

  Qor_InterfaceInfo_t descriptor(uint8_t controller, uint8_t interfaceNumber = 1) const {
    Qor_InterfaceInfo_t info = ethernetDescriptor(kDeviceAddress, kDevicePort, interfaceNumber, HostType);
    info.controllerNumber = controller;
    return info;
  }
  uint32_t openOn(uint8_t controller, uint8_t interfaceNumber = 1) {
    const Qor_InterfaceInfo_t info = descriptor(controller, interfaceNumber);
    uint32_t port = QOR_NO_PORT;
    EXPECT_EQ(Qor_OpenInterface(&info, &port), 0u) << Qor_GetLastErrorDescription();
    return port;
  }
  // The controller that received the occurrence-th request of the command.
  uint8_t controllerOf(uint8_t command, size_t occurrence = 0) {
    const auto frame = device_->recorder().waitForCommand(command, std::chrono::seconds(1), occurrence);
    return frame ? frame->header().TAddr : 0;
  }
};

using RelaysBehindController1 = LinModel<14>;

TEST_F(RelaysBehindController1, AnotherControllersPortSwitchesThroughController1) {
  const uint32_t second = openOn(2);
  const uint32_t first = openOn(1);
  device_->expect(kDominant, {0});
  EXPECT_EQ(Qor_Lin_AdvLib_DominantLevel_Reset(second), 0u) << Qor_GetLastErrorDescription();
  EXPECT_EQ(controllerOf(kDominant), 2) << "other commands stay on the caller's port";
  const uint8_t relays[] = {3, 4};
  device_->expect(kRelaysSet, {2, 0, 0, 0, 3, 4});
  device_->expect(kRelaysReset, {0, 1, 0, 0});
  device_->expect(kRelaysSet, {1, 0, 0, 0, 3});
  EXPECT_EQ(Qor_Lin_Relays_Set(second, 0, 2, relays), 0u) << Qor_GetLastErrorDescription();
  EXPECT_EQ(controllerOf(kRelaysSet, 0), 1) << "on the open controller-1 port";
  EXPECT_EQ(Qor_Lin_Relays_Reset(second, QOR_LIN_RELAYS_ALL, 2, nullptr), 0u) << Qor_GetLastErrorDescription();
  EXPECT_EQ(controllerOf(kRelaysReset), 1);
  EXPECT_EQ(Qor_Lin_Relays_Set(first, 0, 1, relays), 0u) << Qor_GetLastErrorDescription();
  EXPECT_EQ(controllerOf(kRelaysSet, 1), 1) << "the caller's own port";

  ASSERT_EQ(Qor_CloseInterface(first), 0u);
  device_->expect(kRelaysDirect, {0x05, 0x80, 0, 0});
  device_->expect(kRelaysState, {}).answer({0x21, 0x43, 0, 0});
  EXPECT_EQ(Qor_Lin_Relays_SetDirect(second, 0x8005), 0u) << Qor_GetLastErrorDescription();
  EXPECT_EQ(controllerOf(kRelaysDirect), 1) << "on a controller-1 port opened for the call";
  uint32_t mask = 0;
  EXPECT_EQ(Qor_Lin_Relays_GetState(second, &mask), 0u) << Qor_GetLastErrorDescription();
  EXPECT_EQ(mask, 0x4321u);
  EXPECT_EQ(controllerOf(kRelaysState), 1);
  const Qor_InterfaceInfo_t controller1 = descriptor(1);
  EXPECT_EQ(Qor_IsClientConnectedToHardware(&controller1, nullptr), 0u) << "closed again";
}

TEST_F(RelaysBehindController1, FailuresOfTheRelayCommandComeBack) {
  const uint32_t second = openOn(2);
  device_->expect(kRelaysState, {}).answer({0x21});
  device_->expect(kRelaysSet, {1, 0, 0, 0, 9}).fail(0x1F, "busy");
  uint32_t mask = 7;
  EXPECT_EQ(Qor_Lin_Relays_GetState(second, &mask), kInvalidResponseLength) << "a mask of one byte";
  EXPECT_EQ(mask, 7u);
  const uint8_t relay = 9;
  EXPECT_EQ(Qor_Lin_Relays_Set(second, 0, 1, &relay), 0x1Fu);
  EXPECT_EQ(Qor_Lin_Relays_Set(second, 2, 1, &relay), kUnknownFlag);
  EXPECT_TRUE(lastTextHas("flag value '0x2' is unknown")) << Qor_GetLastErrorDescription();
  EXPECT_EQ(Qor_Lin_Relays_Set(second, 0, 1, nullptr), kInvalidParameter);
}

TEST_F(RelaysBehindController1, PullUpIsTheControllersRelay) {
  const uint32_t second = openOn(2);
  device_->expect(kRelaysSet, {1, 0, 0, 0, 10});
  device_->expect(kRelaysReset, {1, 0, 0, 0, 10});
  EXPECT_EQ(Qor_Lin_PullUpResistor_Enable(second), 0u) << Qor_GetLastErrorDescription();
  EXPECT_EQ(controllerOf(kRelaysSet), 1);
  EXPECT_EQ(Qor_Lin_PullUpResistor_Disable(second), 0u) << Qor_GetLastErrorDescription();
}

using PullUpByController = LinModel<7>;
TEST_F(PullUpByController, Controller2SetsRelay10) {
  const uint32_t second = openOn(2);
  device_->expect(kRelaysSet, {1, 0, 0, 0, 10});
  EXPECT_EQ(Qor_Lin_PullUpResistor_Enable(second), 0u) << Qor_GetLastErrorDescription();
  EXPECT_EQ(controllerOf(kRelaysSet), 1);
}

using PullUpByInterface = LinModel<9>;
TEST_F(PullUpByInterface, Interface3SetsRelay1AndOthersRelay2) {
  const uint32_t third = open(3);
  const uint32_t first = open(1);
  device_->expect(kRelaysSet, {1, 0, 0, 0, 1});
  device_->expect(kRelaysReset, {1, 0, 0, 0, 2});
  EXPECT_EQ(Qor_Lin_PullUpResistor_Enable(third), 0u) << Qor_GetLastErrorDescription();
  EXPECT_EQ(Qor_Lin_PullUpResistor_Disable(first), 0u) << Qor_GetLastErrorDescription();
}

using PullUpByProperty = LinModel<24>;
TEST_F(PullUpByProperty, NodeProperty49) {
  const uint32_t port = open(1);
  device_->expect(kNodeProperty, words({4, 49, 1})).answer(words({4, 49}));
  device_->expect(kNodeProperty, words({4, 49, 0})).fail(0x53, "not here");
  EXPECT_EQ(Qor_Lin_PullUpResistor_Enable(port), 0u) << Qor_GetLastErrorDescription();
  EXPECT_EQ(Qor_Lin_PullUpResistor_Disable(port), 0x53u);
}

using PullUpUnsupported = LinModel<58>;
TEST_F(PullUpUnsupported, ModelWithoutPullUpIsRefused) {
  const uint32_t port = open(1);
  EXPECT_EQ(Qor_Lin_PullUpResistor_Enable(port), kWrongInterface);
  EXPECT_TRUE(lastTextHas("host interface type '3a' does not support this operation"))
      << Qor_GetLastErrorDescription();
}

using Disturbance = LinModel<58>;
TEST_F(Disturbance, LevelsAndWakeUpDelay) {
  const uint32_t port = open(1);
  device_->expect(kDominant, levelRecord(1, 12, 1, 0x55, 40, 2, 0xBEEF));
  device_->expect(kDominant, {0});
  device_->expect(kRecessive, levelRecord(1, 0, 0, 0x66, 0, 1, 7));
  device_->expect(kRecessive, {0});
  device_->expect(kWakeUpDelay, {1, 0, 0, 0, 0x34, 0x12, 0x78, 0x56});
  device_->expect(kWakeUpDelay, words({0}));
  EXPECT_EQ(Qor_Lin_AdvLib_DominantLevel_Set(port, 1, 12, 0x55, 1000, 74, 0xBEEF), 0u)
      << Qor_GetLastErrorDescription();
  EXPECT_EQ(Qor_Lin_AdvLib_DominantLevel_Reset(port), 0u) << Qor_GetLastErrorDescription();
  EXPECT_EQ(Qor_Lin_AdvLib_RecessiveLevel_Set(port, 0, 0, 0x66, 24, 25, 7), 0u) << Qor_GetLastErrorDescription();
  EXPECT_EQ(Qor_Lin_AdvLib_RecessiveLevel_Reset(port), 0u) << Qor_GetLastErrorDescription();
  EXPECT_EQ(Qor_Lin_AdvLib_WakeUpDelay_Set(port, 0x1234, 0x5678), 0u) << Qor_GetLastErrorDescription();
  EXPECT_EQ(Qor_Lin_AdvLib_WakeUpDelay_Reset(port), 0u) << Qor_GetLastErrorDescription();

  EXPECT_EQ(Qor_Lin_AdvLib_DominantLevel_Set(port, 0, 13, 0, 0, 0, 0), kInvalidParameter);
  EXPECT_TRUE(lastTextHas("invalid referencePoint '0x0d'")) << Qor_GetLastErrorDescription();
  EXPECT_EQ(Qor_Lin_AdvLib_RecessiveLevel_Set(port, 2, 13, 0, 0, 0, 0), kUnknownFlag) << "flags first";
}

TEST_F(Disturbance, ErrorModes) {
  const uint32_t port = open(1);
  device_->expect(kErrorMode, {14, 1, 0x22, 0, 0x44, 0x33, 0x22, 0x11, 5, 0, 0, 0});
  device_->expect(kErrorMode, {14, 0, 0x22, 0, 0, 0, 0, 0});
  device_->expect(kErrorMode, {1, 0, 0x22, 0, 0, 0, 0, 0});
  device_->expect(kErrorMode, {2, 0, 0x22, 0, 0, 0, 0, 0});
  device_->expect(kErrorMode, {7, 0, 0x22, 0, 0, 0, 0, 0});
  device_->expect(kErrorMode, {13, 0, 0x22, 0, 1, 0, 0, 0, 9, 0, 0, 0});
  device_->expect(kErrorMode, {0, 1, 0x23, 0, 0, 0, 0, 0});
  const uint8_t extended[] = {5, 0, 0, 0};
  const uint8_t nine[] = {9, 0, 0, 0};
  EXPECT_EQ(Qor_Lin_AdvLib_ErrorMode_Set(port, 1, 2, 0x22, 0x11223344, extended), 0u) << Qor_GetLastErrorDescription();
  EXPECT_EQ(Qor_Lin_AdvLib_ErrorMode_Set(port, 0, 2, 0x22, 0, nullptr), 0u) << Qor_GetLastErrorDescription();
  EXPECT_EQ(Qor_Lin_AdvLib_ErrorMode_Set(port, 0, 0, 0x22, 0, extended), 0u) << "mode 0 takes none";
  EXPECT_EQ(Qor_Lin_AdvLib_ErrorMode_Set(port, 0, 1, 0x22, 0, nullptr), 0u) << Qor_GetLastErrorDescription();
  EXPECT_EQ(Qor_Lin_AdvLib_ErrorMode_Set(port, 0, 7, 0x22, 0, nullptr), 0u) << Qor_GetLastErrorDescription();
  EXPECT_EQ(Qor_Lin_AdvLib_ErrorMode_Set(port, 0, 13, 0x22, 1, nine), 0u) << Qor_GetLastErrorDescription();
  EXPECT_EQ(Qor_Lin_AdvLib_ErrorMode_Reset(port, 1, 0x23), 0u) << Qor_GetLastErrorDescription();

  const uint8_t reserved[] = {5, 0, 1, 0};
  EXPECT_EQ(Qor_Lin_AdvLib_ErrorMode_Set(port, 0, 13, 0, 0, reserved), kInvalidParameter);
  EXPECT_TRUE(lastTextHas("reserved bytes have to be '0'")) << Qor_GetLastErrorDescription();
  EXPECT_EQ(Qor_Lin_AdvLib_ErrorMode_Set(port, 2, 14, 0, 0, nullptr), kUnknownMode) << "mode first";
  EXPECT_TRUE(lastTextHas("mode '0x0e' is unknown")) << Qor_GetLastErrorDescription();
  EXPECT_EQ(Qor_Lin_AdvLib_ErrorMode_Set(port, 2, 1, 0, 0, nullptr), kUnknownFlag);
  EXPECT_EQ(Qor_Lin_AdvLib_ErrorMode_Reset(port, 2, 0), kUnknownFlag);
}

}  // namespace
}  // namespace qor::test
