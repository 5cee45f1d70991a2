// The monitor on the whole road: what one node of the emulated K-Line sends reaches the other node's monitor, through
// the daemon and the core's monitor callback, into the library's ring.
#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "kline_test_support.hpp"
#include "qor_emulator/kline_line.hpp"

namespace qor::test {
namespace {

using namespace std::chrono_literals;
using emulator::Bytes;

constexpr uint64_t kNanosecondsPerByte = 240 * 400;  // the line's clock

std::string text(const char* bytes) { return std::string(bytes); }

struct Advanced {
  uint16_t flags;
  uint64_t timeStamp;
  std::string data;
  bool operator==(const Advanced&) const = default;
};

class KLineMonitor : public KLineFixture {
 protected:
  void SetUp() override {
    KLineFixture::SetUp();
    line_ = emulator::KLineLine::attachTo(*device_);
    port_ = open(kKLineInterface);
    other_ = open(kOtherKLineInterface);
  }

  void send(const std::string& bytes) {
    ASSERT_EQ(Qor_KLine_Fifo_Tx_Write(other_, static_cast<uint32_t>(bytes.size()),
                                      reinterpret_cast<const uint8_t*>(bytes.data())),
              0u)
        << Qor_GetLastErrorDescription();
  }

  // Reads regular items until `count` came or a while passed.
  std::vector<Qor_KLine_Monitor_RegularItem_t> regularItems(size_t count, uint32_t* code = nullptr) {
    std::vector<Qor_KLine_Monitor_RegularItem_t> items;
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    uint32_t last = 0;
    while (items.size() < count && std::chrono::steady_clock::now() < deadline) {
      std::vector<Qor_KLine_Monitor_RegularItem_t> read(count - items.size());
      uint32_t got = static_cast<uint32_t>(read.size());
      last = Qor_KLine_Monitor_GetItems_Regular(port_, &got, read.data());
      if (last != 0 && last != kMoreData) break;
      items.insert(items.end(), read.begin(), read.begin() + got);
      if (got == 0) std::this_thread::sleep_for(5ms);
    }
    if (code != nullptr) *code = last;
    return items;
  }

  std::vector<Advanced> advancedItems(size_t count, uint32_t room = 4096) {
    std::vector<Advanced> items;
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    while (items.size() < count && std::chrono::steady_clock::now() < deadline) {
      std::vector<uint8_t> buffer(room);
      uint32_t size = room;
      const uint32_t code = Qor_KLine_Monitor_GetItems_Advanced(port_, &size, buffer.data());
      if (code != 0 && code != kMoreData) break;
      for (size_t offset = 0; offset + sizeof(Qor_KLine_Monitor_AdvancedItem_t) <= size;) {
        Qor_KLine_Monitor_AdvancedItem_t head;
        std::memcpy(&head, buffer.data() + offset, sizeof head);
        const char* data = reinterpret_cast<const char*>(buffer.data() + offset + sizeof head);
        items.push_back({head.flags, head.timeStamp, std::string(data, head.dataLength)});
        EXPECT_EQ(head.itemSize, (16u + head.dataLength + 3) & ~3u);
        if (head.itemSize == 0) break;
        offset += head.itemSize;
      }
      if (size == 0) std::this_thread::sleep_for(5ms);
    }
    return items;
  }

  void configureRegular(uint32_t ringSize = 0) {
    ASSERT_EQ(Qor_KLine_Monitor_Config_Regular(port_, 0, ringSize), 0u) << Qor_GetLastErrorDescription();
    ASSERT_EQ(Qor_KLine_Monitor_Start(port_), 0u) << Qor_GetLastErrorDescription();
  }

  std::shared_ptr<emulator::KLineLine> line_;
  uint32_t port_ = QOR_NO_PORT;
  uint32_t other_ = QOR_NO_PORT;
};

TEST_F(KLineMonitor, EachByteOnTheLineIsARegularItem) {
  configureRegular();
  send("abc");
  line_->feed(Bytes{0x55}, 0x96);
  const auto items = regularItems(4);
  ASSERT_EQ(items.size(), 4u);
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(items[i].data, "abc"[i]);
    EXPECT_EQ(uint64_t{items[i].timeStamp}, i * kNanosecondsPerByte);  // a copy: the field lies 4-aligned
    EXPECT_EQ(items[i].flags, 0u);
    EXPECT_EQ(items[i].reserved, 0u);
  }
  EXPECT_EQ(items[3].data, 0x55);
  EXPECT_EQ(items[3].flags, 0x0Fu);  // firmware bits 1, 2 and 4, and the overflow mark 7
  EXPECT_EQ(Qor_KLine_Monitor_Config_Off(port_), 0u) << Qor_GetLastErrorDescription();
}

// Messages arrive as advanced items, also when the firmware cuts them across several frames.
TEST_F(KLineMonitor, EachMessageIsAnAdvancedItemWhereverTheFirmwareCutsIt) {
  ASSERT_EQ(Qor_KLine_Monitor_Config_Advanced(port_, 0, 0, 0, 0), 0u) << Qor_GetLastErrorDescription();
  ASSERT_EQ(Qor_KLine_Monitor_Start(port_), 0u);
  send("hello");
  line_->setMonitorPayloadLimit(7);
  send("a message longer than a frame");
  line_->feed(Bytes{1, 2, 3, 4}, 0x02);
  const auto items = advancedItems(3);
  const std::vector<Advanced> expected = {
      {0, 0, "hello"}, {0, 5 * kNanosecondsPerByte, "a message longer than a frame"},
      {1, 34 * kNanosecondsPerByte, text("\x01\x02\x03\x04")}};
  EXPECT_EQ(items, expected);
}

TEST_F(KLineMonitor, AFullRingKeepsTheNewestAndMarksTheLoss) {
  configureRegular(48);
  send("xyz");
  auto items = regularItems(2);
  ASSERT_EQ(items.size(), 2u);
  EXPECT_EQ(items[0].data, 'y');
  EXPECT_EQ(items[0].flags, QOR_KLINE_MONITOR_OVERFLOW);
  EXPECT_EQ(items[1].data, 'z');
  EXPECT_EQ(items[1].flags, 0u);
}

// Size 0 is a ring of 20000 bytes: 833 regular items.
TEST_F(KLineMonitor, TheDefaultRingHolds833RegularItems) {
  configureRegular();
  Bytes bytes(900);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i);
  line_->feed(bytes);
  std::this_thread::sleep_for(300ms);  // every frame in
  uint32_t code = 0;
  const auto items = regularItems(833, &code);
  EXPECT_EQ(code, 0u);
  ASSERT_EQ(items.size(), 833u);
  EXPECT_EQ(items.front().data, static_cast<uint8_t>(900 - 833));
  EXPECT_EQ(items.back().data, static_cast<uint8_t>(899));
}

// One delivery carries both items: once the first is in, so is the second.
TEST_F(KLineMonitor, ReadsOfLessThanWaitsLeaveTheRest) {
  configureRegular();
  send("pq");
  Qor_KLine_Monitor_RegularItem_t item{};
  uint32_t count = 0;
  uint32_t code = 0;
  const auto deadline = std::chrono::steady_clock::now() + 5s;
  for (; count == 0 && std::chrono::steady_clock::now() < deadline; std::this_thread::sleep_for(5ms)) {
    count = 1;
    code = Qor_KLine_Monitor_GetItems_Regular(port_, &count, &item);
  }
  EXPECT_EQ(code, kMoreData);
  EXPECT_TRUE(lastTextEndsWith("not all monitor items could be read"));
  EXPECT_EQ(count, 1u);
  EXPECT_EQ(item.data, 'p');
  uint32_t last = 1;
  const auto rest = regularItems(1, &last);
  ASSERT_EQ(rest.size(), 1u);
  EXPECT_EQ(rest[0].data, 'q');
  EXPECT_EQ(last, 0u);
}

TEST_F(KLineMonitor, AnAdvancedReadWithoutRoomTakesNothingAndTheMonitorGoesOn) {
  ASSERT_EQ(Qor_KLine_Monitor_Config_Advanced(port_, 0, 0, 0, 0), 0u);
  ASSERT_EQ(Qor_KLine_Monitor_Start(port_), 0u);
  send("12345");
  uint8_t buffer[23];  // the item takes 24
  uint32_t size = 0;
  uint32_t code = 0;
  const auto deadline = std::chrono::steady_clock::now() + 5s;
  for (; code != kMoreData && std::chrono::steady_clock::now() < deadline; std::this_thread::sleep_for(5ms)) {
    size = sizeof buffer;
    code = Qor_KLine_Monitor_GetItems_Advanced(port_, &size, buffer);
  }
  EXPECT_EQ(code, kMoreData);
  EXPECT_EQ(size, 0u);
  send("6");
  EXPECT_EQ(advancedItems(2, 44), (std::vector<Advanced>{{0, 0, "12345"}, {0, 5 * kNanosecondsPerByte, "6"}}));
}

TEST_F(KLineMonitor, ConfigurationErrors) {
  uint32_t count = 1;
  Qor_KLine_Monitor_RegularItem_t item{};
  EXPECT_EQ(Qor_KLine_Monitor_Start(port_), kMonitorNotConfigured);
  EXPECT_EQ(Qor_KLine_Monitor_Stop(port_), 0u);
  EXPECT_EQ(Qor_KLine_Monitor_GetItems_Regular(port_, &count, &item), kMonitorNotConfigured);
  EXPECT_EQ(Qor_KLine_Monitor_Config_Regular(port_, 1, 0), kUnknownFlag);
  EXPECT_EQ(Qor_KLine_Monitor_Config_Advanced(port_, 8, 0, 0, 0), kUnknownFlag);
  EXPECT_TRUE(lastTextEndsWith("command flag value '0x0008' is unknown"));
  EXPECT_EQ(Qor_KLine_Monitor_Config_Regular(port_, 0, 40), kInvalidParameter);
  EXPECT_TRUE(lastTextEndsWith("buffer size (40 byte) < minimum buffer size (48 byte)"));
  EXPECT_EQ(Qor_KLine_Monitor_Config_Advanced(port_, 0, 0, 0, 31), kInvalidParameter);
  EXPECT_TRUE(lastTextEndsWith("buffer size (31 byte) < minimum buffer size (32 byte)"));
  EXPECT_EQ(Qor_KLine_Monitor_Start(port_), kMonitorNotConfigured);

  ASSERT_EQ(Qor_KLine_Monitor_Config_Advanced(port_, 0, 0, 0, 32), 0u) << Qor_GetLastErrorDescription();
  EXPECT_EQ(Qor_KLine_Monitor_Config_Regular(port_, 0, 0), kMonitorAlreadyConfigured);
  EXPECT_EQ(Qor_KLine_Monitor_GetItems_Regular(port_, &count, &item), kMonitorNotConfigured);
  EXPECT_TRUE(lastTextEndsWith("monitor is not started"));
  ASSERT_EQ(Qor_KLine_Monitor_Start(port_), 0u);
  EXPECT_EQ(Qor_KLine_Monitor_GetItems_Regular(port_, &count, &item), kMonitorNotConfigured);
  EXPECT_TRUE(lastTextEndsWith("monitor is configurated for advanced items"));
  EXPECT_EQ(Qor_KLine_Monitor_GetItems_Regular(port_, nullptr, &item), kInvalidParameter);
  EXPECT_EQ(Qor_KLine_Monitor_Stop(port_), 0u);
  EXPECT_EQ(Qor_KLine_Monitor_Config_Off(port_), 0u);
  ASSERT_EQ(Qor_KLine_Monitor_Config_Regular(port_, 0, 48), 0u) << Qor_GetLastErrorDescription();
  ASSERT_EQ(Qor_KLine_Monitor_Start(port_), 0u);
  uint32_t size = 100;
  uint8_t buffer[100];
  EXPECT_EQ(Qor_KLine_Monitor_GetItems_Advanced(port_, &size, buffer), kMonitorNotConfigured);
  EXPECT_TRUE(lastTextEndsWith("monitor is configurated for regular items"));
}

// The monitor goes with its port: a port opened again under the handle configures afresh.
TEST_F(KLineMonitor, AClosedPortTakesItsMonitorAlong) {
  configureRegular();
  send("a");
  ASSERT_EQ(Qor_CloseInterface(port_), 0u);
  port_ = open(kKLineInterface);
  uint32_t count = 1;
  Qor_KLine_Monitor_RegularItem_t item{};
  EXPECT_EQ(Qor_KLine_Monitor_Start(port_), kMonitorNotConfigured);
  EXPECT_EQ(Qor_KLine_Monitor_GetItems_Regular(port_, &count, &item), kMonitorNotConfigured);
  configureRegular();
  send("b");
  const auto items = regularItems(1);
  ASSERT_EQ(items.size(), 1u);
  EXPECT_EQ(items[0].data, 'b');
}

TEST_F(KLineMonitor, EventsOfTheCoresMonitor) {
  configureRegular();
  ExternalEvent event{};
  pthread_mutex_init(&event.mutex, nullptr);
  pthread_cond_init(&event.condition, nullptr);
  EXPECT_EQ(Qor_KLine_Monitor_EnableEvent(port_, &event), 0u) << Qor_GetLastErrorDescription();
  send("e");
  EXPECT_EQ(regularItems(1).size(), 1u);
  EXPECT_EQ(event.signalled, 1u);
  EXPECT_EQ(Qor_KLine_Monitor_DisableEvent(port_), 0u) << Qor_GetLastErrorDescription();
  EXPECT_EQ(Qor_KLine_Monitor_Config_Off(port_), 0u);
  pthread_cond_destroy(&event.condition);
  pthread_mutex_destroy(&event.mutex);
}

// Without the line: the records byte-exact, and failures of the firmware.
using KLineMonitorRequests = KLineFixture;

TEST_F(KLineMonitorRequests, RecordsAndFailures) {
  const uint32_t port = open(kKLineInterface);
  device_->expect(0x54, {2, 0, 0, 0, 15, 0, 0, 0, 0, 0, 0, 0, 0x12, 0, 0, 0, 0x78, 0x56, 0x34, 0x12})
      .answer({2, 0, 0, 0});
  device_->expect(0x54, {3, 0, 0, 0}).answer({3, 0, 0, 0});
  device_->expect(0x54, {4, 0, 0, 0}).fail(kFirmwareError, "cannot stop");
  device_->expect(0x54, {0, 0, 0, 0}).answer({0, 0, 0, 0});  // the core's stop as the monitor closes
  device_->expect(0x54, {1, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0}).fail(kFirmwareError, "no monitor");
  device_->expect(0x54, {0, 0, 0, 0}).answer({0, 0, 0, 0});
  device_->expect(0x54, {2, 0, 0, 0, 3, 0, 0, 0, 0, 0, 0, 0, 0x12, 0, 0, 0, 0, 0, 0, 0}).answer({2, 0, 0, 0});
  device_->expect(0x54, {0, 0, 0, 0}).answer({0, 0, 0, 0});
  EXPECT_EQ(Qor_KLine_Monitor_Config_Advanced(port, 7, 0x12, 0x12345678, 0), 0u) << Qor_GetLastErrorDescription();
  EXPECT_EQ(Qor_KLine_Monitor_Start(port), 0u);
  // A stop that fails still closes the monitor.
  EXPECT_EQ(Qor_KLine_Monitor_Config_Off(port), kFirmwareError);
  EXPECT_EQ(Qor_KLine_Monitor_Start(port), kMonitorNotConfigured);
  // A configuration that the firmware refuses leaves no monitor behind.
  EXPECT_EQ(Qor_KLine_Monitor_Config_Regular(port, 0, 0), kFirmwareError);
  EXPECT_EQ(Qor_KLine_Monitor_Start(port), kMonitorNotConfigured);
  EXPECT_EQ(Qor_KLine_Monitor_Config_Advanced(port, 1, 0x12, 0x12345678, 0), 0u) << Qor_GetLastErrorDescription();
}

}  // namespace
}  // namespace qor::test
