// Traces end to end: the library's channels open ports of their own through the daemon, the emulated firmware's
// monitors turn what the nodes of an emulated CAN bus hear into items, and the trace merges the channels in time.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

#include "qor_api.h"
#include "qor_emulator/can_bus.hpp"
#include "qor_emulator/can_monitor_firmware.hpp"
#include "qor_test/interface_fixture.hpp"
#include "qor_trace_monitor.h"

namespace qor::test {
namespace {

using namespace std::chrono_literals;
using emulator::CanFrame;

constexpr uint32_t kInterfaceTypeNotSupported = 0x02140001;
constexpr uint32_t kPortRecorded = 0x02140003;
constexpr uint32_t kChannelIdUsed = 0x02140005;

struct Record {
  uint32_t channelId;
  uint64_t timestamp;
  uint64_t relativeTimestamp;
  uint32_t identifier;
};

std::vector<Record> recordsIn(const std::vector<uint8_t>& buffer, uint32_t count) {
  std::vector<Record> records;
  size_t offset = 0;
  for (uint32_t index = 0; index < count; ++index) {
    Qor_Trace_Entry_Can_t can{};
    std::memcpy(&can, buffer.data() + offset, std::min(sizeof can, buffer.size() - offset));
    records.push_back({can.head.channelId, can.head.timestamp, can.head.relativeTimestamp, can.identifier});
    offset += (can.head.length + 7) & ~size_t{7};
  }
  return records;
}

class TraceRoad : public InterfaceFixture {
 protected:
  void SetUp() override {
    InterfaceFixture::SetUp();
    bus_.attach(*device_, 1);
    bus_.attach(*device_, 2);
    firmware_ = emulator::CanMonitorFirmware::attachTo(*device_, bus_, {1, 2});
    ASSERT_EQ(Qor_Trace_Allocate(0, &trace_), 0u);
  }

  void TearDown() override {
    EXPECT_EQ(Qor_Trace_Delete(trace_), 0u) << Qor_GetLastErrorDescription();
    InterfaceFixture::TearDown();
  }

  uint32_t addChannel(uint32_t port, uint32_t channelId = 0) {
    const Qor_Trace_ChannelInfo_t info{0, port, channelId};
    Qor_Trace_ChannelResult_t result{};
    EXPECT_EQ(Qor_Trace_AddChannel(trace_, &info, &result), 0u) << Qor_GetLastErrorDescription();
    return result.channelId;
  }

  // From the node; the other node's monitor hears it.
  void transmit(uint8_t node, uint32_t identifier, uint8_t first = 0) {
    bus_.transmit(*device_, node, CanFrame{identifier, 0, 2, {first, 0xBB}});
  }

  uint32_t property(uint16_t id) {
    uint32_t value = 0, length = sizeof value;
    EXPECT_EQ(Qor_Trace_Property_GetById(trace_, 0, id, &length, reinterpret_cast<uint8_t*>(&value)), 0u);
    return value;
  }

  // Waits up to three seconds for the trace to hold count records.
  void awaitRecords(uint32_t count) {
    const auto end = std::chrono::steady_clock::now() + 3s;
    while (property(QOR_TRACE_PROPERTY_ENTRY_COUNT) < count && std::chrono::steady_clock::now() < end) {
      std::this_thread::sleep_for(10ms);
    }
  }

  std::vector<Record> items(bool list = false) {
    std::vector<uint8_t> buffer(1 << 16);
    uint32_t count = 0, size = static_cast<uint32_t>(buffer.size());
    const uint32_t code = list ? Qor_Trace_GetListItems(trace_, 0, 0, &count, &size, buffer.data())
                               : Qor_Trace_GetItems(trace_, 0, 0, &count, &size, buffer.data());
    EXPECT_EQ(code, 0u) << Qor_GetLastErrorDescription();
    return recordsIn(buffer, count);
  }

  emulator::CanBus bus_;
  std::shared_ptr<emulator::CanMonitorFirmware> firmware_;
  uint32_t trace_ = 0;
};

// Node 1's channel records what node 2 sends and the other way round; the two interleave in bus time, and once the
// trace stopped all of them are in it in that order, also those the merge still held.
TEST_F(TraceRoad, TwoChannelsMergeInTimeOrderAndStopLosesNone) {
  const uint32_t first = open(1), second = open(2);
  ASSERT_EQ(addChannel(first), 1u);
  ASSERT_EQ(addChannel(second), 2u);
  ASSERT_EQ(Qor_Trace_Start(trace_, 0), 0u) << Qor_GetLastErrorDescription();
  constexpr uint32_t kFrames = 40;
  for (uint32_t index = 0; index < kFrames; ++index) {
    transmit(index % 2 == 0 ? 2 : 1, 0x100 + index);
    std::this_thread::sleep_for(3ms);
  }
  std::this_thread::sleep_for(50ms);  // the last polls; the merge still holds the newest
  ASSERT_EQ(Qor_Trace_Stop(trace_), 0u) << Qor_GetLastErrorDescription();

  const std::vector<Record> records = items();
  ASSERT_EQ(records.size(), kFrames);
  for (uint32_t index = 0; index < kFrames; ++index) {
    EXPECT_EQ(records[index].identifier, 0x100 + index);
    EXPECT_EQ(records[index].channelId, index % 2 == 0 ? 1u : 2u);
    if (index > 0) {
      EXPECT_LT(records[index - 1].timestamp, records[index].timestamp);
    }
    EXPECT_EQ(records[index].relativeTimestamp, 0u);
  }
}

// One channel stores straight away; the list view keeps the latest frame per identifier with the time since the one
// before, and the live ASC file is complete once the trace stopped.
TEST_F(TraceRoad, OneChannelListViewAndLiveAscFile) {
  const uint32_t port = open(1);
  ASSERT_EQ(addChannel(port, 5), 5u);
  EXPECT_EQ(property(QOR_TRACE_PROPERTY_MEMORY_LIMIT), 9'000'000u);
  const char liveName[] = "/tmp/live.asc";  // the sandbox's /tmp; its working directory is read-only
  ASSERT_EQ(Qor_Trace_Property_SetById(trace_, 0, QOR_TRACE_PROPERTY_ASC_FILE_NAME, 0,
                                       reinterpret_cast<const uint8_t*>(liveName)),
            0u);
  ASSERT_EQ(Qor_Trace_Start(trace_, QOR_TRACE_START_LIVE_ASC), 0u) << Qor_GetLastErrorDescription();
  EXPECT_EQ(Qor_Trace_Start(trace_, 8), 0x02140002u);
  transmit(2, 0x100, 1);
  transmit(2, 0x200, 2);
  transmit(2, 0x100, 3);
  awaitRecords(3);
  ASSERT_EQ(Qor_Trace_Stop(trace_), 0u) << Qor_GetLastErrorDescription();

  const std::vector<Record> all = items();
  ASSERT_EQ(all.size(), 3u);
  const std::vector<Record> list = items(true);
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[0].identifier, 0x100u);
  EXPECT_EQ(list[0].timestamp, all[2].timestamp);
  EXPECT_EQ(list[0].relativeTimestamp, all[2].timestamp - all[0].timestamp);
  EXPECT_EQ(list[1].identifier, 0x200u);
  EXPECT_EQ(list[1].relativeTimestamp, 0u);
  EXPECT_EQ(property(QOR_TRACE_PROPERTY_LIST_ENTRY_COUNT), 2u);

  std::ifstream live(liveName);
  std::stringstream text;
  text << live.rdbuf();
  EXPECT_NE(text.str().find("End Triggerblock"), std::string::npos) << text.str();

  ASSERT_EQ(Qor_Trace_Property_SetById(trace_, 0, QOR_TRACE_PROPERTY_DISCARD_TRACE, 0, nullptr), 0u);
  EXPECT_EQ(property(QOR_TRACE_PROPERTY_ENTRY_COUNT), 0u);
  EXPECT_EQ(property(QOR_TRACE_PROPERTY_LIST_ENTRY_COUNT), 2u);
}

// A channel added while one channel records starts with the next start; until then the first channel's records
// still reach the trace at once rather than waiting for a merge that is not running.
TEST_F(TraceRoad, AChannelAddedWhileRecordingLeavesTheRecordsFlowing) {
  const uint32_t first = open(1), second = open(2);
  addChannel(first);
  ASSERT_EQ(Qor_Trace_Start(trace_, 0), 0u) << Qor_GetLastErrorDescription();
  addChannel(second);
  transmit(2, 0x100);
  transmit(1, 0x200);  // heard by the channel that has not started
  transmit(2, 0x101);
  awaitRecords(2);
  EXPECT_EQ(property(QOR_TRACE_PROPERTY_ENTRY_COUNT), 2u);
  ASSERT_EQ(Qor_Trace_Stop(trace_), 0u) << Qor_GetLastErrorDescription();
  EXPECT_EQ(items().size(), 2u);
}

// A port is recorded by one trace at a time; channel numbers fill the first gap; other interfaces are refused.
TEST_F(TraceRoad, ChannelsAndTheirPorts) {
  const uint32_t first = open(1), second = open(2), restBus = open(3);
  ASSERT_EQ(addChannel(first, 1), 1u);
  ASSERT_EQ(addChannel(second, 3), 3u);
  uint32_t other = 0;
  ASSERT_EQ(Qor_Trace_Allocate(0, &other), 0u);
  const Qor_Trace_ChannelInfo_t again{0, first, 0};
  Qor_Trace_ChannelResult_t result{};
  EXPECT_EQ(Qor_Trace_AddChannel(other, &again, &result), kPortRecorded);
  EXPECT_NE(std::string(Qor_GetLastErrorDescription()).find("interface already used for monitor trace with handle 0x" +
                                                            std::to_string(trace_)),
            std::string::npos);
  EXPECT_EQ(Qor_Trace_Delete(other), 0u);

  EXPECT_EQ(Qor_Trace_RemoveChannel(trace_, 1), 0u);
  const Qor_Trace_ChannelInfo_t taken{0, first, 3};
  EXPECT_EQ(Qor_Trace_AddChannel(trace_, &taken, &result), kChannelIdUsed);
  EXPECT_NE(std::string(Qor_GetLastErrorDescription()).find("channel id 3 already used"), std::string::npos);
  const Qor_Trace_ChannelInfo_t wrongType{0, restBus, 0};
  EXPECT_EQ(Qor_Trace_AddChannel(trace_, &wrongType, &result), kInterfaceTypeNotSupported);
  EXPECT_EQ(addChannel(first), 1u);
  EXPECT_EQ(Qor_Trace_ClearChannelList(trace_), 0u);
  EXPECT_EQ(property(QOR_TRACE_PROPERTY_MEMORY_LIMIT), 9'000'000u);
}

}  // namespace
}  // namespace qor::test
