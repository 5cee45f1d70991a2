// The UART FIFO on the whole road: two K-Line interfaces of an emulated controller on one line, and the spill
// buffer that keeps what a caller's buffer could not take.
#include <numeric>
#include <vector>

#include "kline_test_support.hpp"
#include "qor_emulator/kline_line.hpp"

namespace qor::test {
namespace {

using emulator::Bytes;

constexpr uint32_t kParameterLength = 4084;  // of the emulated model

Bytes counting(size_t count, uint8_t first = 0) {
  Bytes bytes(count);
  std::iota(bytes.begin(), bytes.end(), first);
  return bytes;
}

struct Read {
  uint32_t code;
  uint32_t state;
  Bytes bytes;
};

Read readFifo(uint32_t port, uint32_t capacity) {
  Read read{0, 0xFFFF, Bytes(capacity)};
  uint32_t length = capacity;
  read.code = Qor_KLine_Fifo_Rx_Read(port, &read.state, &length, read.bytes.data());
  read.bytes.resize(std::min(length, capacity));
  return read;
}

class KLineFifo : public KLineFixture {
 protected:
  void SetUp() override {
    KLineFixture::SetUp();
    line_ = emulator::KLineLine::attachTo(*device_);
    port_ = open(kKLineInterface);
    other_ = open(kOtherKLineInterface);
  }

  std::shared_ptr<emulator::KLineLine> line_;
  uint32_t port_ = QOR_NO_PORT;
  uint32_t other_ = QOR_NO_PORT;
};

// 25 bytes wait in the firmware; reads of 10 take them in order, the surplus from the spill buffer first.
TEST_F(KLineFifo, WhatABufferCannotTakeWaitsForTheNextReads) {
  line_->feed(counting(25));
  const Bytes all = counting(32);
  struct Step {
    Bytes fed;  // put on the line before the read
    uint32_t code;
    Bytes delivered;
  };
  const Step steps[] = {
      {{}, kMoreData, Bytes(all.begin(), all.begin() + 10)},
      {{}, kMoreData, Bytes(all.begin() + 10, all.begin() + 20)},
      {counting(7, 25), kMoreData, Bytes(all.begin() + 20, all.begin() + 30)},  // 5 spilled, 5 new, 2 spilled again
      {{}, 0, Bytes(all.begin() + 30, all.end())},
      {{}, 0, {}},
  };
  for (size_t i = 0; i < std::size(steps); ++i) {
    SCOPED_TRACE(i);
    if (!steps[i].fed.empty()) line_->feed(steps[i].fed);
    const Read read = readFifo(port_, 10);
    EXPECT_EQ(read.code, steps[i].code) << Qor_GetLastErrorDescription();
    EXPECT_EQ(read.bytes, steps[i].delivered);
  }
  EXPECT_EQ(line_->receiveWaiting(kKLineInterface), 0u);
}

TEST_F(KLineFifo, AReadOfNothingSpillsEverythingReceived) {
  line_->feed(counting(6));
  uint32_t state = 0, length = 0;
  EXPECT_EQ(Qor_KLine_Fifo_Rx_Read(port_, &state, &length, nullptr), kMoreData);
  EXPECT_EQ(length, 0u);
  EXPECT_EQ(line_->receiveWaiting(kKLineInterface), 0u);
  const Read read = readFifo(port_, 100);
  EXPECT_EQ(read.code, 0u);
  EXPECT_EQ(read.bytes, counting(6));
}

// What a node writes reaches the other node, not itself; the largest write fills a record of the port's length.
TEST_F(KLineFifo, WritesCrossTheLineToTheOtherNode) {
  const Bytes longest = counting(kParameterLength - 8);
  EXPECT_EQ(Qor_KLine_Fifo_Tx_Write(other_, 5, counting(5, 'a').data()), 0u) << Qor_GetLastErrorDescription();
  EXPECT_EQ(Qor_KLine_Fifo_Tx_Write(other_, static_cast<uint32_t>(longest.size()), longest.data()), 0u)
      << Qor_GetLastErrorDescription();
  EXPECT_EQ(Qor_KLine_Fifo_Tx_Write(other_, kParameterLength - 7, longest.data()), kInvalidParameter);
  EXPECT_TRUE(lastTextEndsWith("max number of bytes = 4076"));
  EXPECT_EQ(Qor_KLine_Fifo_Tx_Write(other_, 1, nullptr), kInvalidParameter);
  EXPECT_EQ(Qor_KLine_Fifo_Tx_Write(other_, 0, nullptr), 0u);
  EXPECT_EQ(line_->receiveWaiting(kOtherKLineInterface), 0u);

  Bytes received;
  for (Read read = readFifo(port_, 1000);; read = readFifo(port_, 1000)) {
    received.insert(received.end(), read.bytes.begin(), read.bytes.end());
    if (read.code != kMoreData) {
      EXPECT_EQ(read.code, 0u);
      break;
    }
  }
  Bytes expected = counting(5, 'a');
  expected.insert(expected.end(), longest.begin(), longest.end());
  EXPECT_EQ(received, expected);
}

TEST_F(KLineFifo, TheTransmitStateCountsTheSpilledBytes) {
  uint32_t state = 9, value1 = 9, value2 = 9;
  EXPECT_EQ(Qor_KLine_Fifo_Tx_GetState(port_, &state, &value1, &value2), 0u) << Qor_GetLastErrorDescription();
  EXPECT_EQ(state, 1u);
  EXPECT_EQ(value2, 0u);
  line_->feed(counting(12));
  EXPECT_EQ(readFifo(port_, 4).code, kMoreData);
  EXPECT_EQ(Qor_KLine_Fifo_Tx_GetState(port_, &state, &value1, &value2), 0u);
  EXPECT_EQ(state, 0u);
  EXPECT_EQ(value1, 0u);
  EXPECT_EQ(value2, 8u);
  line_->feed(counting(3));
  EXPECT_EQ(Qor_KLine_Fifo_Rx_GetState(port_, &state, &value1, &value2), 0u) << Qor_GetLastErrorDescription();
  EXPECT_EQ(state, 1u);
  EXPECT_EQ(value1, 3u);
  EXPECT_EQ(value2, emulator::kReceiveFifoRoom);
}

TEST_F(KLineFifo, InitChecksTheConfigurationAndEmptiesTheSpillBuffer) {
  line_->feed(counting(12));
  EXPECT_EQ(readFifo(port_, 4).code, kMoreData);
  struct Case {
    uint32_t flags;
    Qor_KLine_FifoConfig_t config;
    uint32_t code;
    const char* text;
  };
  const Case cases[] = {
      {1, {}, kUnknownFlag, "command flag value '0x0001' is unknown"},
      {0, {1, 2, 3, 3, 0, 0, 0}, kInvalidParameter, "UartMode '0x03' is unknown"},
      {0, {1, 2, 3, 0, 2, 0, 0}, kInvalidParameter, "Parity '0x02' is unknown"},
      {0, {1, 2, 3, 0, 0, 2, 0}, kInvalidParameter, "StopBits value '0x02' is unknown"},
      {0, {1, 2, 3, 0, 0, 0, 1}, kInvalidParameter, "reserved bytes have to be zero"},
  };
  for (const Case& c : cases) {
    uint32_t result = 7;
    EXPECT_EQ(Qor_KLine_Fifo_Init(port_, c.flags, &c.config, &result), c.code);
    EXPECT_TRUE(lastTextEndsWith(c.text));
    EXPECT_EQ(result, 0u);
  }
  const Qor_KLine_FifoConfig_t config{10400, 2, 3, 2, 1, 1, 0};
  uint32_t result = 0;
  EXPECT_EQ(Qor_KLine_Fifo_Init(port_, 0, &config, &result), 0u) << Qor_GetLastErrorDescription();
  EXPECT_EQ(result, emulator::kInitResult);
  EXPECT_EQ(readFifo(port_, 100).bytes, Bytes{});
}

TEST_F(KLineFifo, AResetEmptiesTheSpillBuffer) {
  line_->feed(counting(12));
  EXPECT_EQ(readFifo(port_, 4).code, kMoreData);
  EXPECT_EQ(Qor_KLine_Fifo_Reset(port_), 0u) << Qor_GetLastErrorDescription();
  const Read read = readFifo(port_, 100);
  EXPECT_EQ(read.code, 0u);
  EXPECT_EQ(read.bytes, Bytes{});
}

// Spilled bytes belong to their port: another port does not get them, and they go with the port as it closes.
TEST_F(KLineFifo, SpilledBytesStayWithTheirPort) {
  line_->feed(counting(12));
  EXPECT_EQ(readFifo(port_, 4).code, kMoreData);
  EXPECT_EQ(readFifo(other_, 4).bytes, counting(4));  // its own copy of the line's bytes, from its own FIFO
  EXPECT_EQ(readFifo(other_, 100).bytes, counting(8, 4));
  EXPECT_EQ(readFifo(port_, 2).bytes, counting(2, 4));
  ASSERT_EQ(Qor_CloseInterface(port_), 0u);
  port_ = open(kKLineInterface);
  const Read read = readFifo(port_, 100);
  EXPECT_EQ(read.code, 0u);
  EXPECT_EQ(read.bytes, Bytes{});
}

// An answer that announces more bytes than it carries delivers the bytes it carries.
TEST_F(KLineFifo, AnAnnouncedCountIsCutToTheBytesReceived) {
  line_->setReceiveCountSurplus(1000);
  line_->feed(counting(5));
  const Read read = readFifo(port_, 100);
  EXPECT_EQ(read.code, 0u);
  EXPECT_EQ(read.bytes, counting(5));
  line_->feed(counting(5));
  EXPECT_EQ(readFifo(port_, 3).code, kMoreData);
  EXPECT_EQ(readFifo(port_, 100).bytes, counting(2, 3));
}

// Without the line: the requests byte-exact, and a receive that fails after spilled bytes were delivered.
using KLineFifoRequests = KLineFixture;

TEST_F(KLineFifoRequests, RecordsAndAFailedReceive) {
  const uint32_t port = open(kKLineInterface);
  Bytes receiveAnswer = {3, 0, 0, 0, 2, 0, 0, 0, 15, 0, 0, 0};
  const Bytes fifteen = counting(15, 0x40);
  receiveAnswer.insert(receiveAnswer.end(), fifteen.begin(), fifteen.end());
  device_->expect(0x20, {1, 0, 0, 0, 0, 0, 0, 0, 0x28, 0x29, 0, 0, 2, 0, 0, 0, 3, 0, 0, 0, 2, 1, 0, 0})
      .answer({1, 0, 0, 0, 0, 0, 0, 0, 0x11, 0, 0, 0});
  device_->expect(0x20, {2, 0, 0, 0, 3, 0, 0, 0, 'a', 'b', 'c'}).answer({2, 0, 0, 0});
  device_->expect(0x20, {3, 0, 0, 0}).answer(receiveAnswer);
  device_->expect(0x20, {3, 0, 0, 0}).fail(kFirmwareError, "UART broken");
  device_->expect(0x20, {0, 0, 0, 0}).answer({0, 0, 0, 0});
  device_->expect(0x20, {4, 0, 0, 0}).answer({4, 0, 0, 0, 3});  // short
  const Qor_KLine_FifoConfig_t config{10536, 2, 3, 2, 1, 0, 0};
  uint32_t result = 0;
  EXPECT_EQ(Qor_KLine_Fifo_Init(port, 0, &config, &result), 0u) << Qor_GetLastErrorDescription();
  EXPECT_EQ(result, 0x11u);
  EXPECT_EQ(Qor_KLine_Fifo_Tx_Write(port, 3, reinterpret_cast<const uint8_t*>("abc")), 0u);
  Read read = readFifo(port, 10);
  EXPECT_EQ(read.code, kMoreData);
  EXPECT_EQ(read.state, 2u);
  EXPECT_EQ(read.bytes, Bytes(fifteen.begin(), fifteen.begin() + 10));
  read = readFifo(port, 10);
  EXPECT_EQ(read.code, kFirmwareError);
  EXPECT_EQ(read.bytes, Bytes(fifteen.begin() + 10, fifteen.end()));  // delivered, and counted
  EXPECT_EQ(Qor_KLine_Fifo_Reset(port), 0u);
  uint32_t state = 7, value1 = 7, value2 = 7;
  EXPECT_EQ(Qor_KLine_Fifo_Tx_GetState(port, &state, &value1, &value2), kInvalidParameter);
  EXPECT_EQ(state + value1 + value2, 0u);
}

}  // namespace
}  // namespace qor::test
