// Trace channels of LIN, FlexRay and Ethernet interfaces end to end, against the emulated firmware's monitor with
// scripted items: the commands of each kind byte for byte, records built from what the polls return, a malformed
// item that ends a poll's walk, and a poll that fails reported at the stop. Then on emulated buses: one node sends,
// the channel on another interface records each frame's time, channel, identifier, flags and bytes.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

#include "qor_api.h"
#include "qor_emulator/ethernet_link.hpp"
#include "qor_emulator/flexray_cluster.hpp"
#include "qor_emulator/frame.hpp"
#include "qor_emulator/lin_bus.hpp"
#include "qor_emulator/trace_monitor_firmware.hpp"
#include "qor_monitor.h"
#include "qor_test/interface_fixture.hpp"
#include "qor_trace_monitor.h"

namespace qor::test {
namespace {

using namespace std::chrono_literals;
using emulator::Bytes;
using emulator::TraceMonitorFirmware;

Bytes le(uint64_t value, size_t width) {
  Bytes bytes;
  emulator::appendLittleEndian(bytes, value, width);
  return bytes;
}

Bytes join(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

Bytes linItem(uint64_t time, uint8_t identifier, Bytes bytes) {
  return join({le(20 + bytes.size(), 2), le(0, 2), le(time, 8), {0, static_cast<uint8_t>(bytes.size()), identifier, 0},
               le(1000, 4), bytes});
}

// type, then the entry's bytes from offset 12 on; the length field as given.
Bytes flexRayEntry(uint64_t time, uint16_t type, Bytes rest, uint16_t length) {
  Bytes entry = join({le(length, 2), le(type, 2), le(time, 8), rest});
  entry.resize((entry.size() + 3) & ~size_t{3}, 0);
  return entry;
}

Bytes ethernetItem(uint64_t time, Bytes frame) {
  return join({le(16 + frame.size(), 2), le(1, 2), le(time, 8), {0, 0}, le(frame.size(), 2), frame});
}

// Each record's bytes, as the reads pack them at 8-byte aligned offsets.
std::vector<Bytes> recordsOf(const std::vector<uint8_t>& buffer, uint32_t count) {
  std::vector<Bytes> records;
  size_t offset = 0;
  for (uint32_t index = 0; index < count && offset + sizeof(Qor_Trace_Entry_t) <= buffer.size(); ++index) {
    Qor_Trace_Entry_t head{};
    std::memcpy(&head, buffer.data() + offset, sizeof head);
    const size_t length = std::min<size_t>(head.length, buffer.size() - offset);
    records.emplace_back(buffer.begin() + offset, buffer.begin() + offset + length);
    offset += (length + 7) & ~size_t{7};
  }
  return records;
}

template <class Record>
Record recordIn(const Bytes& bytes) {
  Record record{};
  std::memcpy(&record, bytes.data(), std::min(sizeof record, bytes.size()));
  return record;
}

// The record's bytes behind its fixed part.
template <class Record>
Bytes tailOf(const Bytes& bytes) {
  return Bytes(bytes.begin() + std::min(sizeof(Record), bytes.size()), bytes.end());
}

// A channel on interface 1 of a trace; the firmware the case attaches serves it.
class BusTrace : public InterfaceFixture {
 protected:
  explicit BusTrace(EmulatedModel model) : InterfaceFixture(std::move(model)) {}

  virtual std::shared_ptr<TraceMonitorFirmware> attachFirmware() = 0;

  void SetUp() override {
    InterfaceFixture::SetUp();
    firmware_ = attachFirmware();
    port_ = open(1);
    instance_ = Qor_Monitor_InstanceId_Get(port_);
    ASSERT_EQ(Qor_Trace_Allocate(0, &trace_), 0u);
    const Qor_Trace_ChannelInfo_t info{0, port_, 0};
    Qor_Trace_ChannelResult_t result{};
    ASSERT_EQ(Qor_Trace_AddChannel(trace_, &info, &result), 0u) << Qor_GetLastErrorDescription();
  }

  void TearDown() override {
    Qor_Trace_Delete(trace_);
    InterfaceFixture::TearDown();
  }

  uint32_t property(uint16_t id) {
    uint32_t value = 0, length = sizeof value;
    EXPECT_EQ(Qor_Trace_Property_GetById(trace_, 0, id, &length, reinterpret_cast<uint8_t*>(&value)), 0u);
    return value;
  }

  void awaitRecords(uint32_t count) {
    const auto end = std::chrono::steady_clock::now() + 3s;
    while (property(QOR_TRACE_PROPERTY_ENTRY_COUNT) < count && std::chrono::steady_clock::now() < end) {
      std::this_thread::sleep_for(10ms);
    }
    ASSERT_EQ(property(QOR_TRACE_PROPERTY_ENTRY_COUNT), count);
  }

  std::vector<Bytes> records(bool list = false) {
    std::vector<uint8_t> buffer(1 << 16);
    uint32_t count = 0, size = static_cast<uint32_t>(buffer.size());
    const uint32_t code = list ? Qor_Trace_GetListItems(trace_, 0, 0, &count, &size, buffer.data())
                               : Qor_Trace_GetItems(trace_, 0, 0, &count, &size, buffer.data());
    EXPECT_EQ(code, 0u) << Qor_GetLastErrorDescription();
    return recordsOf(buffer, count);
  }

  template <class Record>
  std::vector<Record> items(bool list = false) {
    std::vector<Record> items;
    for (const Bytes& bytes : records(list)) items.push_back(recordIn<Record>(bytes));
    return items;
  }

  std::shared_ptr<TraceMonitorFirmware> firmware_;
  uint32_t port_ = QOR_NO_PORT;
  uint8_t instance_ = 0;
  uint32_t trace_ = 0;
};

class LinTrace : public BusTrace {
 protected:
  LinTrace() : BusTrace(linAndKLineController()) {}
  std::shared_ptr<TraceMonitorFirmware> attachFirmware() override {
    return TraceMonitorFirmware::attachTo(*device_, TraceMonitorFirmware::Bus::Lin, {1});
  }
};

TEST_F(LinTrace, RecordsTheItemsWithTheCommandsOfItsKind) {
  ASSERT_EQ(Qor_Trace_Start(trace_, 0), 0u) << Qor_GetLastErrorDescription();
  firmware_->queue(1, {linItem(5000, 0x11, {1, 2, 3}), linItem(6000, 0x22, {4, 5})});
  awaitRecords(2);
  ASSERT_EQ(Qor_Trace_Stop(trace_), 0u) << Qor_GetLastErrorDescription();

  EXPECT_EQ(firmware_->requests(1),
            (std::vector<Bytes>{{0x09, 0, 0, 0, 0x07, 0x06, 0, 0, 0, 0, 0, 0, 0x01, 0, 0, 0},
                                {0x0C, 0, 0, 0},
                                {0x0D, 0, 0, 0}}));
  const auto records = items<Qor_Trace_Entry_Lin_t>();
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0].head.busType, QOR_TRACE_BUS_LIN);
  EXPECT_EQ(records[0].head.timestamp, 5000u);
  EXPECT_EQ(records[0].identifier, 0x11);
  EXPECT_EQ(records[1].identifier, 0x22);
  EXPECT_EQ(items<Qor_Trace_Entry_Lin_t>(true).size(), 2u);
}

class FlexRayTrace : public BusTrace {
 protected:
  FlexRayTrace() : BusTrace(flexRayController()) {}
  std::shared_ptr<TraceMonitorFirmware> attachFirmware() override {
    return TraceMonitorFirmware::attachTo(*device_, TraceMonitorFirmware::Bus::FlexRay, {1});
  }
};

// An entry of length 0 would step nowhere: the poll's walk ends at it, the entry before it is marked as the last
// before a loss, and the channel goes on with the next poll.
TEST_F(FlexRayTrace, AZeroLengthEntryEndsThePollsWalk) {
  ASSERT_EQ(Qor_Trace_Stop(trace_), 0u) << Qor_GetLastErrorDescription();  // stops a channel never started, too
  EXPECT_EQ(firmware_->requests(1),
            (std::vector<Bytes>{{0x00, instance_, 0, 0, 0x3E, 0x1F, 0, 0}, {0x02, instance_, 0, 0}}));

  ASSERT_EQ(Qor_Trace_Start(trace_, 0), 0u) << Qor_GetLastErrorDescription();
  const Bytes slot5 = join({{0, 0}, le(5, 2), {3, 2}, le(0, 2), {9, 9, 9, 9}});
  // One poll: what follows the zero-length entry in it is lost.
  firmware_->queue(1, {flexRayEntry(100, 1, slot5, 24), flexRayEntry(110, 4, le(0, 4), 16),
                       flexRayEntry(120, 4, le(0, 4), 0)});
  awaitRecords(2);
  firmware_->queue(1, {flexRayEntry(200, 2, slot5, 24)});
  awaitRecords(3);
  ASSERT_EQ(Qor_Trace_Stop(trace_), 0u) << Qor_GetLastErrorDescription();

  const auto records = items<Qor_Trace_Entry_FlexRay_t>();
  ASSERT_EQ(records.size(), 3u);
  EXPECT_EQ(records[0].entryType, 1u);
  EXPECT_EQ(records[1].entryType, 0u);  // overrun: what followed it in its poll is lost
  EXPECT_EQ(records[2].head.timestamp, 200u);
  const auto list = items<Qor_Trace_Entry_FlexRay_t>(true);
  ASSERT_EQ(list.size(), 1u);  // slot 5; the type 4 entry is not listed
  EXPECT_EQ(list[0].head.relativeTimestamp, 100u);
}

class EthernetTrace : public BusTrace {
 protected:
  EthernetTrace() : BusTrace(automotiveEthernetController()) {}
  std::shared_ptr<TraceMonitorFirmware> attachFirmware() override {
    return TraceMonitorFirmware::attachTo(*device_, TraceMonitorFirmware::Bus::Ethernet, {1});
  }
};

// A poll the firmware refuses ends the recording; the stop says so rather than reporting success.
TEST_F(EthernetTrace, APollThatFailsIsReportedAtTheStop) {
  ASSERT_EQ(Qor_Trace_Start(trace_, 0), 0u) << Qor_GetLastErrorDescription();
  firmware_->queue(1, {ethernetItem(700, Bytes(60, 0xAB))});
  awaitRecords(1);
  firmware_->failPolls(1, 0x00500077);
  std::this_thread::sleep_for(100ms);
  const size_t polls = firmware_->polls(1);
  std::this_thread::sleep_for(50ms);
  EXPECT_EQ(firmware_->polls(1), polls);  // the receive thread has ended
  EXPECT_NE(Qor_Trace_Stop(trace_), 0u);
  EXPECT_NE(std::string(Qor_GetLastErrorDescription()).find("recording ended early"), std::string::npos)
      << Qor_GetLastErrorDescription();
  EXPECT_EQ(firmware_->requests(1).back(), (Bytes{0x02, instance_, 0, 0}));

  const auto records = items<Qor_Trace_Entry_Ethernet_t>();
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].head.busType, QOR_TRACE_BUS_ETHERNET);
  EXPECT_EQ(records[0].frameLength, 60u);
  EXPECT_TRUE(items<Qor_Trace_Entry_Ethernet_t>(true).empty());
  EXPECT_EQ(Qor_Trace_Stop(trace_), 0u);  // reported once
}

// The monitors of interface 1 hear what node 2 sends on an emulated LIN bus.
class LinBusTrace : public BusTrace {
 protected:
  LinBusTrace() : BusTrace(linAndKLineController()) {}
  std::shared_ptr<TraceMonitorFirmware> attachFirmware() override {
    bus_.attach(*device_, 2);
    return TraceMonitorFirmware::attachTo(*device_, bus_, {1});
  }
  emulator::LinBus bus_;
};

// Each frame's record: its time, channel, identifier, state and bytes with the checksum (enhanced with the protected
// identifier, classic for the diagnostic ids); a frame sent before the start is not recorded.
TEST_F(LinBusTrace, RecordsWhatAnotherNodeSends) {
  bus_.transmit(*device_, 2, {0x22, {0x01}});
  ASSERT_EQ(Qor_Trace_Start(trace_, 0), 0u) << Qor_GetLastErrorDescription();
  struct Case {
    emulator::LinFrame frame;
    Bytes bytes;
  };
  const Case cases[] = {
      {{0x21, {0xAA, 0xBB}, 0}, {0xAA, 0xBB, 0x38}},
      {{0x10, {0x55}, 0x04}, {0x55, 0x5A}},
      {{0x3C, {1, 2, 3, 4, 5, 6, 7, 8}, 0}, {1, 2, 3, 4, 5, 6, 7, 8, 0xDB}},
  };
  std::vector<uint64_t> times;
  for (const Case& c : cases) times.push_back(bus_.transmit(*device_, 2, c.frame).startNs);
  awaitRecords(3);
  ASSERT_EQ(Qor_Trace_Stop(trace_), 0u) << Qor_GetLastErrorDescription();

  const auto records = items<Qor_Trace_Entry_Lin_t>();
  ASSERT_EQ(records.size(), std::size(cases));
  for (size_t index = 0; index < records.size(); ++index) {
    SCOPED_TRACE(index);
    const Qor_Trace_Entry_Lin_t& record = records[index];
    EXPECT_EQ(record.head.timestamp, times[index]);
    EXPECT_EQ(record.head.channelId, 1u);
    EXPECT_EQ(record.identifier, cases[index].frame.frameId);
    EXPECT_EQ(record.status, cases[index].frame.state);
    EXPECT_EQ(Bytes(record.bytes, record.bytes + std::min<size_t>(record.byteCount, 9)), cases[index].bytes);
    EXPECT_EQ(record.bitTime, bus_.bitNs() * 8);
  }
}

class FlexRayClusterTrace : public BusTrace {
 protected:
  FlexRayClusterTrace() : BusTrace(flexRayNodes()) {}
  std::shared_ptr<TraceMonitorFirmware> attachFirmware() override {
    cluster_.attach(*device_, 2);
    return TraceMonitorFirmware::attachTo(*device_, cluster_, {1});
  }
  emulator::FlexRayCluster cluster_;
};

// Each frame's record: its time, channel, slot, cycle, channels and payload.
TEST_F(FlexRayClusterTrace, RecordsWhatAnotherNodeSends) {
  ASSERT_EQ(Qor_Trace_Start(trace_, 0), 0u) << Qor_GetLastErrorDescription();
  const emulator::FlexRayFrame frames[] = {
      {0x12, 5, emulator::kFlexRayChannelA, {0xAA, 0xBB, 0xCC, 0xDD}},
      {0x7FF, 63, emulator::kFlexRayChannelB, {}},
      {0x40, 0, emulator::kFlexRayChannelsAB, Bytes(254, 0x5C)},
  };
  constexpr uint8_t kChannelCodes[] = {0, 1, 2};
  std::vector<uint64_t> times;
  for (const auto& frame : frames) times.push_back(cluster_.transmit(*device_, 2, frame));
  awaitRecords(3);
  ASSERT_EQ(Qor_Trace_Stop(trace_), 0u) << Qor_GetLastErrorDescription();

  const auto all = records();
  ASSERT_EQ(all.size(), std::size(frames));
  for (size_t index = 0; index < all.size(); ++index) {
    SCOPED_TRACE(index);
    const auto record = recordIn<Qor_Trace_Entry_FlexRay_t>(all[index]);
    EXPECT_EQ(record.head.timestamp, times[index]);
    EXPECT_EQ(record.timestamp, times[index]);
    EXPECT_EQ(record.head.channelId, 1u);
    EXPECT_EQ(record.entryType, 1u);
    EXPECT_EQ(record.channel, kChannelCodes[index]);
    EXPECT_EQ(record.slot, frames[index].slot);
    EXPECT_EQ(record.cycle, frames[index].cycle);
    EXPECT_EQ(record.payloadWords, frames[index].payload.size() / 2);
    EXPECT_EQ(tailOf<Qor_Trace_Entry_FlexRay_t>(all[index]), frames[index].payload);
  }
}

class EthernetLinkTrace : public BusTrace {
 protected:
  EthernetLinkTrace() : BusTrace(automotiveEthernetController()) {}
  std::shared_ptr<TraceMonitorFirmware> attachFirmware() override {
    link_.attach(*device_, 2);
    return TraceMonitorFirmware::attachTo(*device_, link_, {1});
  }
  emulator::EthernetLink link_;
};

// Each frame's record: its time, channel, the flag of a frame heard, and the frame whole, from the shortest to the
// longest.
TEST_F(EthernetLinkTrace, RecordsWhatAnotherNodeSends) {
  ASSERT_EQ(Qor_Trace_Start(trace_, 0), 0u) << Qor_GetLastErrorDescription();
  const emulator::MacAddress source{0x02, 0, 0, 0, 0, 0x02};
  std::vector<emulator::EthernetFrame> frames;
  for (size_t payload : {0, 100, 1500}) {
    Bytes bytes(payload);
    for (size_t index = 0; index < payload; ++index) bytes[index] = static_cast<uint8_t>(index * 7 + payload);
    frames.push_back(emulator::EthernetFrame::make(emulator::kBroadcastMac, source, 0x88B5, bytes));
  }
  std::vector<uint64_t> times;
  for (const auto& frame : frames) times.push_back(link_.transmit(*device_, 2, frame));
  awaitRecords(3);
  ASSERT_EQ(Qor_Trace_Stop(trace_), 0u) << Qor_GetLastErrorDescription();

  const auto all = records();
  ASSERT_EQ(all.size(), frames.size());
  for (size_t index = 0; index < all.size(); ++index) {
    SCOPED_TRACE(index);
    const auto record = recordIn<Qor_Trace_Entry_Ethernet_t>(all[index]);
    EXPECT_EQ(record.head.timestamp, times[index]);
    EXPECT_EQ(record.head.channelId, 1u);
    EXPECT_EQ(record.itemType, 1u);
    EXPECT_EQ(record.flags, 0u);
    EXPECT_EQ(record.frameLength, frames[index].bytes.size());
    EXPECT_EQ(tailOf<Qor_Trace_Entry_Ethernet_t>(all[index]), frames[index].bytes);
  }
}

}  // namespace
}  // namespace qor::test
