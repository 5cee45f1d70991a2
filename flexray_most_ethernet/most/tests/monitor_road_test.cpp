// The MOST monitor from the library through the daemon to an emulated controller whose monitor data pass the core's
// filter: starting and stopping byte-exact, the refusals that send nothing, the settings both ways and the readers'
// checks of what the firmware answers.
#include <gtest/gtest.h>

#include <vector>

#include "most_road.hpp"
#include "qor_most.h"

namespace qor::test {
namespace {

constexpr uint8_t kMonitor = 0x54;
constexpr uint32_t kNotInitialized = 0x02040501;

Bytes idsRecord(const std::vector<uint16_t>& ids) {
  Record record;
  record.u8(1).zeros(7).u32(ids.size());
  for (uint16_t id : ids) record.u16(id);
  return record;
}
Bytes switchRecord(uint32_t on) { return Record().u8(12).zeros(7).u32(on); }
Bytes echo(const Bytes& request) { return Bytes(request.begin(), request.begin() + 4); }
Bytes readRequest(uint8_t selector) { return {selector, 0, 0, 0}; }

class MostMonitorRoad : public MostRoad {
 protected:
  MostMonitorRoad() : MostRoad(mostMonitorController()) {}
  void expectSetting(const Bytes& record) { device_->expect(kMonitor, record).answer(echo(record)); }
  void expectStart(const std::vector<uint16_t>& ids) {
    expectSetting(idsRecord({}));
    expectSetting(switchRecord(1));
    expectSetting(idsRecord(ids));
  }
  void expectStop() {
    expectSetting(switchRecord(0));
    expectSetting(idsRecord({}));  // the core's own stop of the firmware's monitor
  }
};

TEST_F(MostMonitorRoad, StartingSwitchesTheFirmwareOnAndEnablesTheIdsStoppingSwitchesItOff) {
  expectStart({0, 3, 13, 15, 17});
  const uint16_t ids[] = {0, 3, 13, 15, 17};
  ASSERT_EQ(Qor_Most_Monitor_Start(port_, 0, 0, 5, ids), 0u) << lastError();
  uint8_t overflow = 0xEE;
  uint8_t buffer[64];
  uint32_t size = sizeof buffer;
  EXPECT_EQ(Qor_Most_Monitor_GetData(port_, &overflow, &size, buffer), 0u) << lastError();
  EXPECT_EQ(size, 0u);
  EXPECT_EQ(overflow, 0u);

  expectSetting(idsRecord({1, 2}));
  const uint16_t changed[] = {1, 2};
  EXPECT_EQ(Qor_Most_Monitor_EnabledIds_Change(port_, 0, 2, changed), 0u) << lastError();
  EXPECT_EQ(Qor_Most_Monitor_EnabledIds_Change(port_, 1, 2, changed), kUnknownFlag);
  const uint16_t unknown[] = {1, 18};
  EXPECT_EQ(Qor_Most_Monitor_EnabledIds_Change(port_, 0, 2, unknown), kInvalidParameter);
  expectText("monitor id '0x0012' is unknown");

  expectStop();
  EXPECT_EQ(Qor_Most_Monitor_Stop(port_), 0u) << lastError();
  EXPECT_EQ(Qor_Most_Monitor_GetData(port_, &overflow, &size, buffer), kNotInitialized);
}

TEST_F(MostMonitorRoad, AStartThatCannotSucceedSendsNothing) {
  const uint16_t withFourteen[] = {3, 14};
  EXPECT_EQ(Qor_Most_Monitor_Start(port_, 0, 0, 2, withFourteen), kInvalidParameter);
  expectText("monitor id '0x000e' is unknown");
  EXPECT_EQ(Qor_Most_Monitor_Start(port_, 1, 0, 0, nullptr), kUnknownFlag);
  EXPECT_EQ(Qor_Most_Monitor_Start(port_, 0, 0, 1, nullptr), kInvalidParameter);
  // The ids must fit into one record of the port's parameter length (4084 bytes): 12 + 2 x 2036.
  const std::vector<uint16_t> many(2037, 1);
  EXPECT_EQ(Qor_Most_Monitor_Start(port_, 0, 0, 2037, many.data()), kInvalidDataLength);
  expectText("2037");
  EXPECT_EQ(Qor_Most_Monitor_Start(port_, 0, 0, 0xFFFFFFFF, many.data()), kInvalidDataLength);
  EXPECT_EQ(Qor_Most_Monitor_EnabledIds_Change(port_, 0, 1, many.data()), kNotInitialized);
  uint8_t overflow = 0;
  uint32_t size = 0;
  EXPECT_EQ(Qor_Most_Monitor_GetData(port_, &overflow, &size, nullptr), kNotInitialized);

  const std::vector<uint16_t> fitting(many.begin(), many.end() - 1);
  expectStart(fitting);
  expectStop();
  EXPECT_EQ(Qor_Most_Monitor_Start(port_, 0, 0, 2036, fitting.data()), 0u) << lastError();
  EXPECT_EQ(Qor_Most_Monitor_Stop(port_), 0u) << lastError();
}

TEST_F(MostMonitorRoad, AFirmwareRefusingTheIdsClosesTheMonitorAgain) {
  expectSetting(idsRecord({}));
  expectSetting(switchRecord(1));
  device_->expect(kMonitor, idsRecord({5})).fail(0x1F, "busy");
  expectSetting(idsRecord({}));  // the core's stop as the monitor closes
  const uint16_t ids[] = {5};
  EXPECT_EQ(Qor_Most_Monitor_Start(port_, 0, 0, 1, ids), 0x1Fu);
  uint8_t overflow = 0;
  uint32_t size = 0;
  EXPECT_EQ(Qor_Most_Monitor_GetData(port_, &overflow, &size, nullptr), kNotInitialized);

  // A stop the firmware refuses leaves the monitor open.
  expectStart({});
  device_->expect(kMonitor, switchRecord(0)).fail(0x1F, "busy");
  expectStop();
  ASSERT_EQ(Qor_Most_Monitor_Start(port_, 0, 0, 0, nullptr), 0u) << lastError();
  EXPECT_EQ(Qor_Most_Monitor_Stop(port_), 0x1Fu);
  size = 0;
  EXPECT_EQ(Qor_Most_Monitor_GetData(port_, &overflow, &size, nullptr), 0u) << lastError();
  EXPECT_EQ(Qor_Most_Monitor_Stop(port_), 0u) << lastError();
}

TEST_F(MostMonitorRoad, EnabledIdsAreReadBackWithinTheBytesReceived) {
  struct Case {
    const char* name;
    Bytes answer;
    uint32_t capacity;
    uint32_t code;
    std::vector<uint16_t> ids;  // written, in order
  };
  const auto answer = [](uint32_t count, const std::vector<uint16_t>& ids) {
    Record record;
    record.u32(2).u32(0).u32(count);
    for (uint16_t id : ids) record.u16(id);
    return Bytes(record);
  };
  const Case cases[] = {
      {"14 is read as 13", answer(3, {3, 14, 17}), 3, 0, {3, 13, 17}},
      {"more than the room", answer(3, {3, 14, 17}), 2, kBufferUndersized, {}},
      {"a count beyond the ids sent", answer(5, {1, 2}), 2, 0, {1, 2}},
      {"an unknown id stops", answer(3, {4, 18, 5}), 3, kInvalidResponseParameter, {4}},
      {"11 bytes", Record().u32(2).zeros(7), 3, kInvalidResponseLength, {}},
  };
  for (const Case& c : cases) {
    device_->expect(kMonitor, readRequest(2)).answer(c.answer);
    uint32_t flags = 0xEE, count = c.capacity;
    std::vector<uint16_t> ids(c.capacity, 0xEEEE);
    EXPECT_EQ(Qor_Most_Monitor_EnabledIds_Get(port_, &flags, &count, ids.data()), c.code) << c.name << lastError();
    for (size_t i = 0; i < c.ids.size(); ++i) EXPECT_EQ(ids[i], c.ids[i]) << c.name << " id " << i;
    if (c.code == 0) {
      EXPECT_EQ(flags, 0u) << c.name;
      EXPECT_EQ(count, c.ids.size()) << c.name;
    }
    if (c.ids.empty()) {
      EXPECT_EQ(ids[0], 0xEEEE) << c.name;
    }
    if (c.code == kBufferUndersized) expectText("not enough buffer for configured ids");
  }
}

TEST_F(MostMonitorRoad, StreamingDataSelectionGoesBothWays) {
  expectSetting(Record().u8(5).zeros(3).u8(0x1F).zeros(3).u8(3).zeros(3).bytes({7, 8, 9}));
  const uint8_t bytes[] = {7, 8, 9};
  EXPECT_EQ(Qor_Most_Monitor_StreamingDataConfig_Set(port_, 0x1F, 3, bytes), 0u) << lastError();
  EXPECT_EQ(Qor_Most_Monitor_StreamingDataConfig_Set(port_, 0x20, 3, bytes), kUnknownFlag);
  EXPECT_EQ(Qor_Most_Monitor_StreamingDataConfig_Set(port_, 0, 3, nullptr), kInvalidParameter);

  struct Case {
    const char* name;
    Bytes answer;
    uint8_t capacity;
    uint32_t code;
    uint32_t flags;
    Bytes bytes;
  };
  const auto answer = [](uint8_t flags, uint8_t count, const Bytes& selected) {
    return Bytes(Record().u32(6).u8(flags).zeros(3).u8(count).zeros(3).bytes(selected));
  };
  const Case cases[] = {
      {"three bytes", answer(0xE5, 3, {7, 8, 9}), 4, 0, 0x05, {7, 8, 9}},
      {"a count beyond the bytes sent", answer(1, 200, {7, 8}), 4, 0, 1, {7, 8}},
      {"more than the room", answer(1, 3, {7, 8, 9}), 2, kBufferUndersized, 0xEE, {}},
      {"11 bytes", Record().u32(6).zeros(7), 4, kInvalidResponseLength, 0xEE, {}},
  };
  for (const Case& c : cases) {
    device_->expect(kMonitor, readRequest(6)).answer(c.answer);
    uint32_t flags = 0xEE;
    uint8_t count = c.capacity;
    Bytes read(c.capacity, 0xEE);
    EXPECT_EQ(Qor_Most_Monitor_StreamingDataConfig_Get(port_, &flags, &count, read.data()), c.code)
        << c.name << lastError();
    EXPECT_EQ(flags, c.flags) << c.name;
    if (c.code == 0) {
      EXPECT_EQ(count, c.bytes.size()) << c.name;
      EXPECT_EQ(Bytes(read.begin(), read.begin() + count), c.bytes) << c.name;
    }
  }
  device_->expect(kMonitor, readRequest(6)).answer(answer(1, 3, {7, 8, 9}));
  uint32_t flags = 0;
  uint8_t count = 2, read[2];
  EXPECT_EQ(Qor_Most_Monitor_StreamingDataConfig_Get(port_, &flags, &count, read), kBufferUndersized);
  expectText("'3' bytes are nedded for configured streaming data bytes");
}

TEST_F(MostMonitorRoad, InputAndHoldTimeGoBothWaysAndShortAnswersAreRefused) {
  expectSetting(Record().u8(8).zeros(3).u8(1).zeros(3));
  EXPECT_EQ(Qor_Most_Monitor_InputSelection_Set(port_, 1), 0u) << lastError();
  EXPECT_EQ(Qor_Most_Monitor_InputSelection_Set(port_, 2), kInvalidParameter);
  expectText("unknown input");
  expectSetting(Record().u8(10).zeros(3).u16(0xBEEF).u16(0));
  EXPECT_EQ(Qor_Most_Monitor_DataHoldTime_Set(port_, 0xBEEF), 0u) << lastError();

  device_->expect(kMonitor, readRequest(9)).answer({9, 0, 0, 0, 1});
  device_->expect(kMonitor, readRequest(9)).answer({9, 0, 0, 0, 2});
  device_->expect(kMonitor, readRequest(9)).answer({9, 0, 0, 0});
  uint32_t input = 0xEE;
  EXPECT_EQ(Qor_Most_Monitor_InputSelection_Get(port_, &input), 0u) << lastError();
  EXPECT_EQ(input, 1u);
  EXPECT_EQ(Qor_Most_Monitor_InputSelection_Get(port_, &input), kInvalidResponseParameter);
  expectText("input '2' is unknown");
  EXPECT_EQ(Qor_Most_Monitor_InputSelection_Get(port_, &input), kInvalidResponseLength);
  expectText("4");

  device_->expect(kMonitor, readRequest(11)).answer({11, 0, 0, 0, 0xEF, 0xBE});
  device_->expect(kMonitor, readRequest(11)).answer({11, 0, 0, 0, 0xEF});
  uint16_t time = 0;
  EXPECT_EQ(Qor_Most_Monitor_DataHoldTime_Get(port_, &time), 0u) << lastError();
  EXPECT_EQ(time, 0xBEEF);
  EXPECT_EQ(Qor_Most_Monitor_DataHoldTime_Get(port_, &time), kInvalidResponseLength);
  expectText("5");
}

TEST_F(MostMonitorRoad, EveryCallWantsAMostPort) {
  const uint32_t canPort = open(3);
  uint32_t word = 0, count = 0;
  uint16_t id = 0, time = 0;
  uint8_t byte = 0, small = 0;
  ExternalEvent event{};
  const PortCall calls[] = {
      [](uint32_t p) { return Qor_Most_Monitor_Start(p, 0, 0, 0, nullptr); },
      [](uint32_t p) { return Qor_Most_Monitor_Stop(p); },
      [&](uint32_t p) { return Qor_Most_Monitor_GetData(p, &byte, &word, &byte); },
      [&](uint32_t p) { return Qor_Most_Monitor_EnableEvent(p, &event); },
      [](uint32_t p) { return Qor_Most_Monitor_DisableEvent(p); },
      [&](uint32_t p) { return Qor_Most_Monitor_EnabledIds_Change(p, 0, 1, &id); },
      [&](uint32_t p) { return Qor_Most_Monitor_EnabledIds_Get(p, &word, &count, &id); },
      [&](uint32_t p) { return Qor_Most_Monitor_StreamingDataConfig_Set(p, 0, 1, &byte); },
      [&](uint32_t p) { return Qor_Most_Monitor_StreamingDataConfig_Get(p, &word, &small, &byte); },
      [](uint32_t p) { return Qor_Most_Monitor_InputSelection_Set(p, 0); },
      [&](uint32_t p) { return Qor_Most_Monitor_InputSelection_Get(p, &word); },
      [](uint32_t p) { return Qor_Most_Monitor_DataHoldTime_Set(p, 1); },
      [&](uint32_t p) { return Qor_Most_Monitor_DataHoldTime_Get(p, &time); },
  };
  expectEachWantsAMostPort(canPort, calls);
}

}  // namespace
}  // namespace qor::test
