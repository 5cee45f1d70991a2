// Network management from the library through the daemon to an emulated controller: the OSEK record sequence, the
// AUTOSAR records with their lengths by the highest flag, node lists and groups, each byte-exact; the checks that
// send nothing, and the node state's decoding. The firmware runs the protocol; what reaches it is what is checked.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "can_command_road.hpp"
#include "qor_can_nm.h"

namespace qor::test {
namespace {

using emulator::Bytes;

constexpr uint8_t kNodeOperation = 0x40;
constexpr uint8_t kConfigure = 0x41;
constexpr uint8_t kGroupStart = 0x42;
constexpr uint8_t kGroupStop = 0x43;
constexpr uint8_t kGroupBusSleep = 0x44;
constexpr uint8_t kGroupAwake = 0x45;
constexpr uint8_t kData = 0x46;

Bytes counting(size_t count, uint8_t first) {
  Bytes bytes(count);
  for (size_t index = 0; index < count; ++index) bytes[index] = static_cast<uint8_t>(first + index);
  return bytes;
}

struct Request {
  uint8_t command;
  Bytes parameters;
};

class NmRoad : public CanCommandRoad {
 protected:
  // Node operations are answered with a record that repeats the sub-function.
  void expectNodeOperation(const Bytes& record) {
    device_->expect(kNodeOperation, record).answer(Bytes{record.at(0), 0, 0, 0});
  }
  void expectRequests(const std::vector<Request>& requests) {
    for (const Request& request : requests) {
      if (request.command == kNodeOperation) {
        expectNodeOperation(request.parameters);
      } else {
        device_->expect(request.command, request.parameters);
      }
    }
  }
  // The commands the device got since the last clear, in order.
  std::vector<uint8_t> commandsSent() const {
    std::vector<uint8_t> commands;
    for (const auto& frame : device_->recorder().frames()) commands.push_back(frame.command());
    return commands;
  }
};

Qor_Can_Nm_OsekConfig_t osekConfig(uint32_t flags, uint8_t type) {
  Qor_Can_Nm_OsekConfig_t config{};
  config.commandFlags = flags;
  config.type = type;
  config.firstDataByte = 0xB1;
  config.secondDataByte = 0xB2;
  config.firstBlockWord1 = 0x11111111;
  config.firstBlockWord2 = 0x22222222;
  config.firstBlockHalf = 0x3333;
  std::memcpy(config.secondBlockBytes1, counting(16, 0x40).data(), 16);
  std::memcpy(config.secondBlockBytes2, counting(16, 0x60).data(), 16);
  config.secondBlockWord1 = 0x44444444;
  config.secondBlockWord2 = 0x55555555;
  config.thirdBlock[0] = 0x66666666;
  config.thirdBlock[1] = 0x77777777;
  config.thirdBlock[2] = 0x88888888;
  config.values[0] = 0x0A01;
  config.values[1] = 0x0A02;
  config.values[2] = 0x0A03;
  config.values[3] = 0x0A04;
  return config;
}

const Bytes kOsekValues = RecordBytes().u16(0x0A01).u16(0x0A02).u16(0x0A03).u16(0x0A04);
const Bytes kOsekFirstBlock = RecordBytes().u32(0x11111111).u32(0x22222222).u16(0x3333).u16(0);
const Request kFirstDataByte{kData, {1, 0, 0, 0, 0xB1, 0, 0, 0}};
const Request kSecondDataByte{kData, {4, 0, 0, 0, 0xB2, 0, 0, 0}};
const Request kSecondBlock{kData, RecordBytes()
                                      .u32(5)
                                      .bytes(counting(16, 0x40))
                                      .bytes(counting(16, 0x60))
                                      .u32(0x44444444)
                                      .u32(0x55555555)};
const Request kThirdBlock{kData, RecordBytes().u32(6).u32(0x66666666).u32(0x77777777).u32(0x88888888)};

TEST_F(NmRoad, OsekSendsTheConfigurationThenTheFlaggedRecordsInOrder) {
  struct Case {
    uint32_t flags;
    uint8_t type;
    std::vector<Request> requests;
  };
  const Case cases[] = {
      {0x00, 2, {{kConfigure, {3, 0, 0, 0}}}},
      {0x20, 0, {{kConfigure, RecordBytes().bytes({1, 1, 0, 0}).bytes(kOsekValues)}}},
      {0x04, 4, {{kConfigure, RecordBytes().bytes({5, 0, 1, 0}).zeros(8).bytes(kOsekFirstBlock)}}},
      {0x12, 3, {{kConfigure, {4, 0, 0, 0}}, kSecondDataByte, kThirdBlock}},
      {0x3F, 1,
       {{kConfigure, RecordBytes().bytes({2, 1, 1, 0}).bytes(kOsekValues).bytes(kOsekFirstBlock)},
        kFirstDataByte, kSecondDataByte, kSecondBlock, kThirdBlock}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.flags);
    device_->recorder().clear();
    expectRequests(c.requests);
    const Qor_Can_Nm_OsekConfig_t config = osekConfig(c.flags, c.type);
    ASSERT_EQ(Qor_Can_Nm_Config_Osek(port_, &config), 0u) << Qor_GetLastErrorDescription();
    std::vector<uint8_t> expectedOrder;
    for (const Request& request : c.requests) expectedOrder.push_back(request.command);
    EXPECT_EQ(commandsSent(), expectedOrder);
  }
}

// What the firmware refused ends the sequence; what it took before stays configured.
TEST_F(NmRoad, OsekStopsAtTheFirstRefusedRecord) {
  device_->expect(kConfigure, {1, 0, 0, 0});
  device_->expect(kData, kFirstDataByte.parameters).fail(kFirmwareError, "no NM data");
  const Qor_Can_Nm_OsekConfig_t config = osekConfig(0x03, 0);
  EXPECT_EQ(Qor_Can_Nm_Config_Osek(port_, &config), kFirmwareError);
  EXPECT_EQ(requestsOf(kData), 1u);

  device_->expect(kConfigure, {1, 0, 0, 0}).fail(kFirmwareError, "NM busy");
  EXPECT_EQ(Qor_Can_Nm_Config_Osek(port_, &config), kFirmwareError);
  EXPECT_EQ(requestsOf(kData), 1u);
}

TEST_F(NmRoad, OsekRefusalsSendNothing) {
  Qor_Can_Nm_OsekConfig_t config = osekConfig(0x40, 5);
  config.reserved18 = 1;
  EXPECT_TRUE(failedWith(Qor_Can_Nm_Config_Osek(port_, &config), kInvalidParameter, "reserved bytes have to be '0'"));
  config.reserved18 = 0;
  config.reserved7 = 1;
  EXPECT_TRUE(failedWith(Qor_Can_Nm_Config_Osek(port_, &config), kInvalidParameter, "reserved bytes have to be '0'"));
  config.reserved7 = 0;
  EXPECT_TRUE(failedWith(Qor_Can_Nm_Config_Osek(port_, &config), kUnknownFlag, "unknown command flag"));
  config.commandFlags = 0x3F;
  EXPECT_TRUE(failedWith(Qor_Can_Nm_Config_Osek(port_, &config), kInvalidParameter, "unknown NM type '0x5'"));
  EXPECT_TRUE(failedWith(Qor_Can_Nm_Config_Osek(port_, nullptr), kInvalidParameter, "'config' is NULL"));
  EXPECT_EQ(device_->recorder().count(), 0u);
}

TEST_F(NmRoad, ConfigurationOffAutosarAndData) {
  device_->expect(kConfigure, {0, 0, 0, 0});
  ASSERT_EQ(Qor_Can_Nm_Config_Off(port_), 0u) << Qor_GetLastErrorDescription();

  struct Case {
    uint16_t type;
    uint32_t flags;
    uint16_t nodes;
    Bytes record;
  };
  const Bytes values = RecordBytes().u16(0x0303).u16(0x0101).u16(0x0404).u16(0x0202);  // third, first, fourth, second
  const Case cases[] = {
      {0, 0, 0, {8, 0, 0, 0}},
      {1, 1, 0, RecordBytes().bytes({9, 1, 0, 0}).bytes(values)},
      {2, 2, 16, RecordBytes().bytes({10, 0, 1, 0}).zeros(8).u32(0x05050505).u32(15).u16(16).u16(0)},
      {0, 3, 1, RecordBytes().bytes({8, 1, 1, 0}).bytes(values).u32(0x05050505).u32(0).u16(1).u16(0)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.flags);
    device_->expect(kConfigure, c.record);
    const Qor_Can_Nm_AutosarConfig_t config{c.type, 0, c.flags, 0x0101, 0x0202, 0x0303, 0x0404, 0x05050505, c.nodes,
                                            0};
    EXPECT_EQ(Qor_Can_Nm_Config_Autosar(port_, &config), 0u) << Qor_GetLastErrorDescription();
  }

  device_->expect(kData, RecordBytes().u32(2).bytes(counting(8, 1)).bytes(counting(8, 0x81)));
  EXPECT_EQ(Qor_Can_Nm_Config_SetData(port_, counting(8, 1).data(), counting(8, 0x81).data()), 0u)
      << Qor_GetLastErrorDescription();
}

TEST_F(NmRoad, AutosarConfigurationRefusals) {
  struct Refusal {
    Qor_Can_Nm_AutosarConfig_t config;
    uint32_t code;
    const char* text;
  };
  const Refusal refusals[] = {
      {{3, 1, 4, 0, 0, 0, 0, 0, 0, 0}, kInvalidParameter, "reserved bytes have to be zero"},
      {{3, 0, 4, 0, 0, 0, 0, 0, 0, 0}, kInvalidParameter, "Type '0x03' is unknown"},
      {{2, 0, 4, 0, 0, 0, 0, 0, 0, 0}, kUnknownFlag, "unknown flag"},
      {{2, 0, 2, 0, 0, 0, 0, 0, 0, 1}, kInvalidParameter, "'NumberOfNodes' is zero"},
      {{2, 0, 2, 0, 0, 0, 0, 0, 3, 1}, kInvalidParameter, "reserved bytes have to be zero"},
  };
  for (const Refusal& r : refusals) {
    EXPECT_TRUE(failedWith(Qor_Can_Nm_Config_Autosar(port_, &r.config), r.code, r.text));
  }
  EXPECT_EQ(device_->recorder().count(), 0u);

  // Without the node count its fields go unchecked and unsent.
  device_->expect(kConfigure, {8, 0, 0, 0});
  const Qor_Can_Nm_AutosarConfig_t unused{0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFFFF};
  EXPECT_EQ(Qor_Can_Nm_Config_Autosar(port_, &unused), 0u) << Qor_GetLastErrorDescription();
}

TEST_F(NmRoad, AutosarGlobalRecordGoesAsFarAsItsHighestFlag) {
  Qor_Can_Nm_AutosarGlobal_t global{};
  global.values[0] = 0x10101010;
  global.values[1] = 0x20202020;
  global.values[2] = 0x30303030;
  global.values[3] = 0x40404040;
  global.PduNidPosition = 1;
  global.PduCbvPosition = QOR_CAN_NM_PDU_POSITION_NONE;
  global.PduStatePosition = 2;
  global.userDataLength = 3;
  std::memcpy(global.userData, counting(8, 0xE1).data(), 8);
  const Bytes values = RecordBytes().u32(0x10101010).u32(0x20202020).u32(0x30303030).u32(0x40404040);

  struct Case {
    uint32_t flags;
    uint32_t firmwareFlags;
    Bytes tail;  // after the values
  };
  const Case cases[] = {
      {0x00, 0x00, {}},
      {0x01, 0x01, {}},
      {0x02, 0x02, {1}},
      {0x05, 0x05, {1, 0xFF}},
      {0x08, 0x08, {1, 0xFF, 2}},
      {0x10, 0x30, RecordBytes().bytes({1, 0xFF, 2, 3}).bytes({0xE1, 0xE2, 0xE3}).zeros(5)},
      {0x1F, 0x3F, RecordBytes().bytes({1, 0xFF, 2, 3}).bytes({0xE1, 0xE2, 0xE3}).zeros(5)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.flags);
    expectNodeOperation(RecordBytes().u32(0).u32(c.firmwareFlags).bytes(values).bytes(c.tail));
    global.flags = c.flags;
    EXPECT_EQ(Qor_Can_Nm_Config_Autosar_Global(port_, &global), 0u) << Qor_GetLastErrorDescription();
  }
  EXPECT_EQ(requestsOf(kNodeOperation), std::size(cases));
}

TEST_F(NmRoad, AutosarGlobalRefusals) {
  struct Refusal {
    uint32_t flags;
    uint8_t nid, cbv, state, userDataLength;
    uint32_t code;
    const char* text;
  };
  const Refusal refusals[] = {
      {0x20, 0, 0, 0, 0, kUnknownFlag, "unknown flag"},
      {0x1F, 2, 0, 0, 0, kInvalidParameter, "PduNidPosition '0x02' is unknown"},
      {0x1F, 0, 0xFE, 0, 0, kInvalidParameter, "PduCbvPosition '0xfe' is unknown"},
      {0x1F, 0xFF, 1, 3, 0, kInvalidParameter, "PduStatePosition '0x03' is unknown"},
      // Past the eight bytes the record and the caller's array hold.
      {0x10, 0, 0, 0, 9, kInvalidParameter, "user data length '9' is above 8"},
  };
  for (const Refusal& r : refusals) {
    SCOPED_TRACE(r.text);
    Qor_Can_Nm_AutosarGlobal_t global{};
    global.flags = r.flags;
    global.PduNidPosition = r.nid;
    global.PduCbvPosition = r.cbv;
    global.PduStatePosition = r.state;
    global.userDataLength = r.userDataLength;
    EXPECT_TRUE(failedWith(Qor_Can_Nm_Config_Autosar_Global(port_, &global), r.code, r.text));
  }
  EXPECT_EQ(device_->recorder().count(), 0u);
}

TEST_F(NmRoad, AutosarNodeRecordGoesAsFarAsItsHighestFlag) {
  Qor_Can_Nm_AutosarNode_t node{};
  node.node = 0x2A;
  node.dataLength = 5;
  node.option = 0x0C;
  node.firstValue = 0x11223344;
  node.secondValue = 0x55667788;
  std::memcpy(node.firstData, counting(8, 0xA0).data(), 8);
  std::memcpy(node.secondData, counting(8, 0xB0).data(), 8);
  node.thirdValue = 0x99AABBCC;
  const Bytes firstData = RecordBytes().bytes(counting(5, 0xA0)).zeros(3);
  const Bytes secondData = RecordBytes().bytes(counting(5, 0xB0)).zeros(3);

  struct Case {
    uint32_t flags;
    Bytes record;
  };
  const Case cases[] = {
      {0x0, RecordBytes().u32(1).u32(0).u8(0x2A)},
      {0x1, RecordBytes().u32(1).u32(1).u8(0x2A).bytes({0, 0, 0}).u32(0x11223344)},
      {0x2, RecordBytes().u32(1).u32(2).u8(0x2A).bytes({0, 0, 0}).u32(0).u32(0x55667788)},
      {0x4, RecordBytes().u32(1).u32(12).u8(0x2A).bytes({5, 0, 0}).u32(0).u32(0).bytes(firstData).bytes(secondData)},
      {0x8, RecordBytes().u32(1).u32(16).u8(0x2A).bytes({0, 0x0C, 0}).u32(0).u32(0).zeros(16).u32(0x99AABBCC)},
      {0xF, RecordBytes()
                .u32(1).u32(31).u8(0x2A).bytes({5, 0x0C, 0}).u32(0x11223344).u32(0x55667788)
                .bytes(firstData).bytes(secondData).u32(0x99AABBCC)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.flags);
    expectNodeOperation(c.record);
    node.flags = c.flags;
    EXPECT_EQ(Qor_Can_Nm_Config_Autosar_Node(port_, &node), 0u) << Qor_GetLastErrorDescription();
  }

  node.flags = 0x10;
  EXPECT_TRUE(failedWith(Qor_Can_Nm_Config_Autosar_Node(port_, &node), kUnknownFlag, "unknown flag"));
  node.flags = 0x4;
  node.reserved7 = 1;
  EXPECT_TRUE(failedWith(Qor_Can_Nm_Config_Autosar_Node(port_, &node), kInvalidParameter,
                         "reserved bytes have to be zero"));
  node.reserved7 = 0;
  node.dataLength = 9;
  EXPECT_TRUE(failedWith(Qor_Can_Nm_Config_Autosar_Node(port_, &node), kInvalidParameter,
                         "user data length '9' is above 8"));
  EXPECT_EQ(requestsOf(kNodeOperation), std::size(cases));
}

TEST_F(NmRoad, NodeStateIsDecodedFromTheAnswer) {
  struct Answer {
    uint32_t firmwareFlags;
    uint8_t firmwareMode, firmwareState;
    uint32_t stateFlags;
    uint8_t mode, state;
  };
  const Answer answers[] = {
      {0x0, 0, 0, 0, 1, 1}, {0x1, 1, 3, 1, 2, 4}, {0x4, 2, 5, 2, 3, 6}, {0xFFFFFFFF, 3, 6, 3, 0, 0},
      {0x2, 0xFF, 0xFF, 0, 0, 0},
  };
  for (const Answer& a : answers) {
    SCOPED_TRACE(a.firmwareFlags);
    device_->expect(kNodeOperation, {2, 0, 0, 0, 0x17, 0, 0, 0})
        .answer(RecordBytes().u32(2).u32(a.firmwareFlags).u8(a.firmwareMode).u8(a.firmwareState).u16(0xEEEE));
    uint32_t stateFlags = 0xAA;
    uint8_t mode = 0xAA, state = 0xAA;
    ASSERT_EQ(Qor_Can_Nm_Autosar_Node_GetState(port_, 0x17, &stateFlags, &mode, &state), 0u)
        << Qor_GetLastErrorDescription();
    EXPECT_EQ(stateFlags, a.stateFlags);
    EXPECT_EQ(mode, a.mode);
    EXPECT_EQ(state, a.state);
  }

  // Without mode and state the answer is refused; the flags are zeroed before the request, mode and state kept.
  device_->expect(kNodeOperation, {2, 0, 0, 0, 0x17, 0, 0, 0}).answer(RecordBytes().u32(2).u32(1).u8(1));
  uint32_t stateFlags = 0xAA;
  uint8_t mode = 0xAA, state = 0xAA;
  EXPECT_TRUE(failedWith(Qor_Can_Nm_Autosar_Node_GetState(port_, 0x17, &stateFlags, &mode, &state),
                         kInvalidResponseLength));
  EXPECT_EQ(stateFlags, 0u);
  EXPECT_EQ(mode, 0xAA);
  EXPECT_EQ(state, 0xAA);
  EXPECT_TRUE(failedWith(Qor_Can_Nm_Autosar_Node_GetState(port_, 0x17, &stateFlags, nullptr, &state),
                         kInvalidParameter, "'mode' is NULL"));
}

TEST_F(NmRoad, NodeRequestsListsAndGroups) {
  expectRequests({
      {kNodeOperation, {4, 0, 0, 0, 0x21, 0, 0, 0}},
      {kNodeOperation, {5, 0, 0, 0, 0xFF, 0, 0, 0}},
      {kNodeOperation, {6, 0, 0, 0, 3, 0, 0, 0, 7, 8, 9}},
      {kNodeOperation, {7, 0, 0, 0, 1, 0, 0, 0, 7}},
      {kNodeOperation, {8, 0, 0, 0, 2, 0, 0, 0, 8, 9}},
      {kNodeOperation, {9, 0, 0, 0, 3, 0, 0, 0, 9, 8, 7}},
      {kNodeOperation, {10, 0, 0, 0, 1, 2, 0, 0, 7, 8}},
      {kNodeOperation, {10, 0, 0, 0, 0, 0, 0, 0}},
      {kGroupStart, {0, 0}},
      {kGroupStop, {1, 0}},
      {kGroupAwake, {1, 0}},
      {kGroupBusSleep, {0, 0}},
  });
  const uint8_t nodes[] = {7, 8, 9};
  const uint8_t reversed[] = {9, 8, 7};
  EXPECT_EQ(Qor_Can_Nm_Autosar_RepeatMessageRequest(port_, 0x21), 0u) << Qor_GetLastErrorDescription();
  EXPECT_EQ(Qor_Can_Nm_Autosar_RequestBusSynchronization(port_, 0xFF), 0u) << Qor_GetLastErrorDescription();
  EXPECT_EQ(Qor_Can_Nm_Nodes_Start(port_, 3, nodes), 0u) << Qor_GetLastErrorDescription();
  EXPECT_EQ(Qor_Can_Nm_Nodes_Stop(port_, 1, nodes), 0u) << Qor_GetLastErrorDescription();
  EXPECT_EQ(Qor_Can_Nm_Nodes_GoToMode_Awake(port_, 2, nodes + 1), 0u) << Qor_GetLastErrorDescription();
  EXPECT_EQ(Qor_Can_Nm_Nodes_GoToMode_BusSleep(port_, 3, reversed), 0u) << Qor_GetLastErrorDescription();
  EXPECT_EQ(Qor_Can_Nm_Nodes_ChangeGroup(port_, 1, 2, nodes), 0u) << Qor_GetLastErrorDescription();
  EXPECT_EQ(Qor_Can_Nm_Nodes_ChangeGroup(port_, 0, 0, nullptr), 0u) << Qor_GetLastErrorDescription();
  EXPECT_EQ(Qor_Can_Nm_Group_Start(port_, 0), 0u) << Qor_GetLastErrorDescription();
  EXPECT_EQ(Qor_Can_Nm_Group_Stop(port_, 1), 0u) << Qor_GetLastErrorDescription();
  EXPECT_EQ(Qor_Can_Nm_Group_GoToMode_Awake(port_, 1), 0u) << Qor_GetLastErrorDescription();
  EXPECT_EQ(Qor_Can_Nm_Group_GoToMode_BusSleep(port_, 0), 0u) << Qor_GetLastErrorDescription();
}

TEST_F(NmRoad, EmptyListsSendNothingAndGroupsAreZeroOrOne) {
  for (auto nodeList : {Qor_Can_Nm_Nodes_Start, Qor_Can_Nm_Nodes_Stop, Qor_Can_Nm_Nodes_GoToMode_Awake,
                        Qor_Can_Nm_Nodes_GoToMode_BusSleep}) {
    EXPECT_EQ(nodeList(port_, 0, nullptr), 0u) << Qor_GetLastErrorDescription();
    EXPECT_TRUE(failedWith(nodeList(port_, 1, nullptr), kInvalidParameter, "'nodes' is NULL"));
  }
  const uint8_t nodes[] = {1};
  EXPECT_TRUE(failedWith(Qor_Can_Nm_Nodes_ChangeGroup(port_, 2, 1, nodes), kInvalidGroupNumber, "2"));
  for (auto group : {Qor_Can_Nm_Group_Start, Qor_Can_Nm_Group_Stop, Qor_Can_Nm_Group_GoToMode_Awake,
                     Qor_Can_Nm_Group_GoToMode_BusSleep}) {
    EXPECT_TRUE(failedWith(group(port_, 0xFF), kInvalidGroupNumber, "255"));
  }
  EXPECT_EQ(device_->recorder().count(), 0u);
}

// The longest list: 255 nodes in a record of 263 bytes.
TEST_F(NmRoad, AFullNodeList) {
  const Bytes nodes = counting(255, 1);
  expectNodeOperation(RecordBytes().bytes({6, 0, 0, 0, 255, 0, 0, 0}).bytes(nodes));
  EXPECT_EQ(Qor_Can_Nm_Nodes_Start(port_, 255, nodes.data()), 0u) << Qor_GetLastErrorDescription();
}

TEST_F(NmRoad, EveryFunctionWantsACanInterface) {
  const uint32_t restBus = open(kRestBusInterface);
  device_->recorder().clear();
  const Qor_Can_Nm_OsekConfig_t osek{};
  const Qor_Can_Nm_AutosarConfig_t autosar{};
  const Qor_Can_Nm_AutosarGlobal_t global{};
  const Qor_Can_Nm_AutosarNode_t node{};
  const uint8_t bytes[8] = {1};
  uint32_t stateFlags = 0;
  uint8_t mode = 0, state = 0;
  const uint32_t results[] = {
      Qor_Can_Nm_Config_Off(restBus),
      Qor_Can_Nm_Config_Osek(restBus, &osek),
      Qor_Can_Nm_Config_Autosar(restBus, &autosar),
      Qor_Can_Nm_Config_Autosar_Global(restBus, &global),
      Qor_Can_Nm_Config_Autosar_Node(restBus, &node),
      Qor_Can_Nm_Config_SetData(restBus, bytes, bytes),
      Qor_Can_Nm_Autosar_Node_GetState(restBus, 1, &stateFlags, &mode, &state),
      Qor_Can_Nm_Autosar_RepeatMessageRequest(restBus, 1),
      Qor_Can_Nm_Autosar_RequestBusSynchronization(restBus, 1),
      Qor_Can_Nm_Nodes_Start(restBus, 1, bytes),
      Qor_Can_Nm_Nodes_Stop(restBus, 1, bytes),
      Qor_Can_Nm_Nodes_GoToMode_Awake(restBus, 1, bytes),
      Qor_Can_Nm_Nodes_GoToMode_BusSleep(restBus, 1, bytes),
      Qor_Can_Nm_Nodes_ChangeGroup(restBus, 0, 1, bytes),
      Qor_Can_Nm_Group_Start(restBus, 0),
      Qor_Can_Nm_Group_Stop(restBus, 0),
      Qor_Can_Nm_Group_GoToMode_Awake(restBus, 0),
      Qor_Can_Nm_Group_GoToMode_BusSleep(restBus, 0),
  };
  for (uint32_t code : results) EXPECT_EQ(code, kWrongInterfaceType);
  EXPECT_EQ(device_->recorder().count(), 0u);
}

}  // namespace
}  // namespace qor::test
