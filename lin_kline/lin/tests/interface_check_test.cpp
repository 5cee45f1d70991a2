// Every node, schedule, frame response and event-frame function refuses a port that is not LIN before anything else,
// and a handle that is no port with the core's code; nothing reaches the device.
#include <functional>
#include <utility>

#include "lin_road.hpp"
#include "qor_lin.h"

namespace qor::test {
namespace {

constexpr uint32_t kInvalidPortHandle = 0x0200000A;

std::pair<const char*, std::function<uint32_t(uint32_t)>> calls[] = {
    {"InitInterface", [](uint32_t p) { return Qor_Lin_InitInterface(p, 0); }},
    {"Node_Config2",
     [](uint32_t p) {
       const Qor_Lin_NodeConfig_t c{};
       return Qor_Lin_Node_Config2(p, &c);
     }},
    {"Node_Config", [](uint32_t p) { return Qor_Lin_Node_Config(p, 1, 19200); }},
    {"Node_SetBaudRate", [](uint32_t p) { return Qor_Lin_Node_SetBaudRate(p, 19200); }},
    {"Node_SetChecksumModel", [](uint32_t p) { return Qor_Lin_Node_SetChecksumModel(p, 1, 0, 0, nullptr); }},
    {"Node_SendWakeUp", [](uint32_t p) { return Qor_Lin_Node_SendWakeUp(p, 1000); }},
    {"Node_SendGoToSleep", [](uint32_t p) { return Qor_Lin_Node_SendGoToSleep(p); }},
    {"Node_Property_Set", [](uint32_t p) { return Qor_Lin_Node_Property_Set(p, 1, 1); }},
    {"Node_Property_Get",
     [](uint32_t p) {
       uint32_t v;
       return Qor_Lin_Node_Property_Get(p, 1, &v);
     }},
    {"Node_InternalVBat_Enable", [](uint32_t p) { return Qor_Lin_Node_InternalVBat_Enable(p); }},
    {"Node_InternalVBat_Disable", [](uint32_t p) { return Qor_Lin_Node_InternalVBat_Disable(p); }},
    {"Nm_WakeUp_SendImmediately",
     [](uint32_t p) {
       uint32_t s, r;
       return Qor_Lin_Nm_WakeUp_SendImmediately(p, 0, &s, &r);
     }},
    {"Nm_WakeUp_SendAutomatically",
     [](uint32_t p) {
       uint32_t s, r1, r2;
       return Qor_Lin_Nm_WakeUp_SendAutomatically(p, 0, 0, 0, 0, &s, &r1, &r2);
     }},
    {"BusIdleDetection_SetThreshold", [](uint32_t p) { return Qor_Lin_BusIdleDetection_SetThreshold(p, 0, 1); }},
    {"BusIdleDetection_GetState",
     [](uint32_t p) {
       uint32_t s, v;
       return Qor_Lin_BusIdleDetection_GetState(p, &s, &v);
     }},
    {"MasterTask_FillScheduleTable_WithFrameType",
     [](uint32_t p) { return Qor_Lin_MasterTask_FillScheduleTable_WithFrameType(p, 0, 0, 0, nullptr); }},
    {"MasterTask_FillScheduleTable",
     [](uint32_t p) { return Qor_Lin_MasterTask_FillScheduleTable(p, 0, 0, 0, nullptr); }},
    {"MasterTask_ClearScheduleTable", [](uint32_t p) { return Qor_Lin_MasterTask_ClearScheduleTable(p, 0); }},
    {"MasterTask_ChangeScheduleTable", [](uint32_t p) { return Qor_Lin_MasterTask_ChangeScheduleTable(p, 0, 0, 0); }},
    {"MasterTask_GetSchedulerState",
     [](uint32_t p) {
       uint32_t s;
       uint16_t a, b, c, d;
       return Qor_Lin_MasterTask_GetSchedulerState(p, &s, &a, &b, &c, &d);
     }},
    {"MasterTask_Start", [](uint32_t p) { return Qor_Lin_MasterTask_Start(p, 0); }},
    {"MasterTask_Stop", [](uint32_t p) { return Qor_Lin_MasterTask_Stop(p); }},
    {"MasterTask_SetWakeUpDelimiterTime", [](uint32_t p) { return Qor_Lin_MasterTask_SetWakeUpDelimiterTime(p, 1); }},
    {"MasterTask_SendHeader", [](uint32_t p) { return Qor_Lin_MasterTask_SendHeader(p, 0, 1); }},
    {"SlaveTask_SetSlaveCommunicationState",
     [](uint32_t p) { return Qor_Lin_SlaveTask_SetSlaveCommunicationState(p, 0); }},
    {"SlaveTask_SetBreakDetectionThreshold",
     [](uint32_t p) { return Qor_Lin_SlaveTask_SetBreakDetectionThreshold(p, 0); }},
    {"FrameResponses_DefineFrameResponse",
     [](uint32_t p) { return Qor_Lin_FrameResponses_DefineFrameResponse(p, 1, 0, 0, 0, 0, nullptr); }},
    {"FrameResponses_DeleteFrameResponse", [](uint32_t p) { return Qor_Lin_FrameResponses_DeleteFrameResponse(p, 1); }},
    {"FrameResponses_DeleteAllFrameResponses",
     [](uint32_t p) { return Qor_Lin_FrameResponses_DeleteAllFrameResponses(p); }},
    {"FrameResponses_ChangeProperties",
     [](uint32_t p) { return Qor_Lin_FrameResponses_ChangeProperties(p, 1, 0, 0, 0); }},
    {"FrameResponses_StartGroup", [](uint32_t p) { return Qor_Lin_FrameResponses_StartGroup(p, 1); }},
    {"FrameResponses_StopGroup", [](uint32_t p) { return Qor_Lin_FrameResponses_StopGroup(p, 1); }},
    {"FrameResponses_ChangeData",
     [](uint32_t p) { return Qor_Lin_FrameResponses_ChangeData(p, 1, 0, 0, nullptr, nullptr); }},
    {"FrameResponses_Suspend", [](uint32_t p) { return Qor_Lin_FrameResponses_Suspend(p, 1, 0); }},
    {"FrameResponses_Disturb", [](uint32_t p) { return Qor_Lin_FrameResponses_Disturb(p, 1, 0, 0, nullptr, nullptr); }},
    {"FrameResponses_GetState",
     [](uint32_t p) {
       Qor_Lin_FrameResponseState_t s;
       return Qor_Lin_FrameResponses_GetState(p, 1, &s);
     }},
    {"FrameResponses_Ramp_Define",
     [](uint32_t p) {
       const Qor_Lin_Ramp_t r{};
       return Qor_Lin_FrameResponses_Ramp_Define(p, &r);
     }},
    {"FrameResponses_Ramp_Delete",
     [](uint32_t p) {
       return Qor_Lin_FrameResponses_Ramp_Delete(p, 1, {8, 0, 0});
     }},
    {"FrameResponses_Ramp_ResetRampSum",
     [](uint32_t p) {
       return Qor_Lin_FrameResponses_Ramp_ResetRampSum(p, 1, {8, 0, 0});
     }},
    {"FrameResponses_Ramp_GetState",
     [](uint32_t p) {
       uint32_t s, v;
       return Qor_Lin_FrameResponses_Ramp_GetState(p, 1, {8, 0, 0}, &s, &v);
     }},
    {"FrameResponses_MultiplexBytes_Define",
     [](uint32_t p) {
       const uint8_t m[8] = {};
       return Qor_Lin_FrameResponses_MultiplexBytes_Define(p, 1, 0, 0, m, nullptr);
     }},
    {"FrameResponses_MultiplexBytes_Stop",
     [](uint32_t p) {
       const uint8_t m[8] = {};
       return Qor_Lin_FrameResponses_MultiplexBytes_Stop(p, 1, m, m);
     }},
    {"EventTriggeredFrames_Define",
     [](uint32_t p) { return Qor_Lin_EventTriggeredFrames_Define(p, 1, 0, 0, 0, 0, nullptr); }},
    {"EventTriggeredFrames_Delete", [](uint32_t p) { return Qor_Lin_EventTriggeredFrames_Delete(p, 1); }},
    {"EventTriggeredFrames_Activate", [](uint32_t p) { return Qor_Lin_EventTriggeredFrames_Activate(p, 1, 0); }},
    {"EventTriggeredFrames_Deactivate", [](uint32_t p) { return Qor_Lin_EventTriggeredFrames_Deactivate(p, 1, 0); }},
    {"EventTriggeredFrames_GetState",
     [](uint32_t p) {
       uint32_t s;
       return Qor_Lin_EventTriggeredFrames_GetState(p, 1, 0, &s);
     }},
    {"EventTriggeredFrames_SetCollisionResolvingTable",
     [](uint32_t p) { return Qor_Lin_EventTriggeredFrames_SetCollisionResolvingTable(p, 1, 0); }},
    {"SporadicFrames_Define", [](uint32_t p) { return Qor_Lin_SporadicFrames_Define(p, 1, 0, nullptr); }},
    {"SporadicFrames_Delete", [](uint32_t p) { return Qor_Lin_SporadicFrames_Delete(p, 1); }},
    {"SporadicFrames_Activate", [](uint32_t p) { return Qor_Lin_SporadicFrames_Activate(p, 1, 0); }},
    {"SporadicFrames_Deactivate", [](uint32_t p) { return Qor_Lin_SporadicFrames_Deactivate(p, 1, 0); }},
    {"SporadicFrames_GetState",
     [](uint32_t p) {
       uint32_t s;
       return Qor_Lin_SporadicFrames_GetState(p, 1, 0, &s);
     }},
};

using LinInterfaceCheck = LinRoad;

TEST_F(LinInterfaceCheck, OnlyALinPortIsServed) {
  const uint32_t kLinePort = open(3);
  for (const auto& [name, call] : calls) {
    EXPECT_EQ(call(kLinePort), kWrongInterface) << name;
    EXPECT_EQ(lastText(), described(kWrongInterface, "LIN interface expected")) << name;
    EXPECT_EQ(call(0xFFFF), kInvalidPortHandle) << name;
  }
  // Nothing but the opens' serial and identity queries reached the device.
  for (const auto& frame : device_->recorder().frames()) {
    EXPECT_TRUE(frame.command() == 0x0C || frame.command() == 0xFF) << int{frame.command()};
  }
}

}  // namespace
}  // namespace qor::test
