// The road of firmware frames: commands to the device (message 0x20) with their retries, the device's frames to
// the application their App byte names (message 0xF0), monitor data (0x31 to 0x33), and a failing device.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <functional>
#include <thread>

#include "in_process_daemon.hpp"
#include "qor_error_codes.h"

namespace qor::test {
namespace {

using namespace std::chrono_literals;

constexpr uint32_t kAddress = 0x0200007F;

Qor_InterfaceInfo_t device() { return descriptor(18, 1, 1, 0, 0, kAddress); }

daemon::Device::Properties withMonitor() {
  daemon::Device::Properties properties;
  properties.monitorDataSize = 256;
  return properties;
}

// The frame inside a 0xF0 message.
Frame frameIn(const Message& message) { return Frame(message.begin() + sizeof(ServerResponseHeader), message.end()); }

class Routing : public ::testing::Test {
protected:
  void SetUp() override {
    ConnectPortResponse answer;
    first = Application::connect(device(), answer, 4108, 1);
    second = Application::connect(device(), answer, 4108, 2);
    ASSERT_TRUE(first && second);
    fake = daemon.path().device(kAddress);
  }

  InProcessDaemon daemon{{daemon::PathKind::Ethernet}, withMonitor()};
  std::unique_ptr<Application> first;
  std::unique_ptr<Application> second;
  std::shared_ptr<FakeDevice> fake;
};

TEST_F(Routing, FramesGoToTheApplicationTheyName) {
  const uint8_t data[] = {1, 2, 3};
  const Frame frame = deviceFrame(second->index(), 0x42, data);
  fake->emit(frame);
  const auto message = second->receive();
  ASSERT_TRUE(message);
  EXPECT_EQ(headerOf(*message).code, QOR_MSG_FIRMWARE_TRAFFIC);
  EXPECT_EQ(headerOf(*message).length, sizeof(ServerResponseHeader) + frame.size());
  EXPECT_EQ(frameIn(*message), frame);
  EXPECT_FALSE(first->receive(100ms));
}

TEST_F(Routing, FramesThatNameNoApplicationOrAreNoFramesAreDropped) {
  Frame badMarker = deviceFrame(first->index(), 0x42, {});
  badMarker[0] = '*';
  Frame tooShort = deviceFrame(first->index(), 0x42, {});
  const uint16_t eleven = 11;
  std::memcpy(tooShort.data() + 2, &eleven, sizeof eleven);
  Frame tooLong = deviceFrame(first->index(), 0x42, {});
  const uint16_t more = 40;
  std::memcpy(tooLong.data() + 2, &more, sizeof more);
  for (const Frame& dropped : {deviceFrame(200, 0x42, {}), deviceFrame(255, 0x42, {}), badMarker, tooShort, tooLong}) {
    fake->emit(dropped);
  }
  const Frame valid = deviceFrame(first->index(), 0x43, {});
  fake->emit(valid);
  const auto message = first->receive();
  ASSERT_TRUE(message);
  EXPECT_EQ(frameIn(*message), valid) << "everything before it was dropped";
  EXPECT_FALSE(second->receive(100ms));
}

TEST_F(Routing, CommandsReachTheDeviceAndTheirAnswersTheSender) {
  const uint8_t parameters[] = {9, 8, 7, 6};
  // The App byte names the other application: the device still answers the sender.
  Message command = frameRequest(first->index(), 0x30, parameters);
  ASSERT_TRUE(second->send(command));
  ASSERT_TRUE(fake->waitWritten(1, 2000ms));
  Frame expected(command.begin() + sizeof(ServerRequestHeader), command.end());
  expected[offsetof(FirmwareMessageHeader, App)] = second->index();
  EXPECT_EQ(fake->written().front(), expected);
}

TEST_F(Routing, AWriteIsTriedElevenTimesBeforeItFails) {
  fake->failWrites(3);
  ASSERT_TRUE(first->send(frameRequest(first->index(), 0x30, {})));
  ASSERT_TRUE(fake->waitWritten(1, 2000ms)) << "a write that succeeds on a retry";
  EXPECT_FALSE(first->receive(100ms)) << "is no failure";

  fake->failWrites(11);
  const auto started = std::chrono::steady_clock::now();
  ASSERT_TRUE(first->send(frameRequest(first->index(), 0x31, {})));
  const auto report = first->receive();
  ASSERT_TRUE(report);
  EXPECT_GE(std::chrono::steady_clock::now() - started, 50ms);
  EXPECT_EQ(headerOf(*report).code, QOR_MSG_ERROR_REPORT);
  EXPECT_EQ(headerOf(*report).error, 0x1200003u);
  EXPECT_EQ(reportText(*report), "fake write failed");
  EXPECT_EQ(fake->writeCalls(), 4 + 11);
  EXPECT_FALSE(first->receive(100ms)) << "one report";
}

TEST_F(Routing, AFailingDeviceDisconnectsEveryApplication) {
  fake->failNextRead(0x1200004, "connection closed by peer");
  for (Application* app : {first.get(), second.get()}) {
    const auto message = app->receive();
    ASSERT_TRUE(message);
    EXPECT_EQ(headerOf(*message).code, QOR_MSG_DISCONNECT);
    EXPECT_EQ(headerOf(*message).length, QOR_BARE_REPLY_LENGTH);
  }
  auto pair = Pair::announce(controlPairName());
  ASSERT_TRUE(pair);
  const auto last = pair->request(bareRequest(QOR_MSG_LAST_SERVER_ERROR));
  ASSERT_TRUE(last);
  EXPECT_EQ(headerOf(*last).error, 0x1200004u);
  EXPECT_EQ(reportText(*last), "connection closed by peer");
}

TEST_F(Routing, TheNextConnectAfterAFailingDeviceStartsANewReader) {
  // The first application does not read: its queue is full while the failing reader tells the others.
  for (int i = 0; i < QOR_QUEUE_MAX_MESSAGES; ++i) fake->emit(deviceFrame(first->index(), 0x42, {}));
  while (fake->reads() <= QOR_QUEUE_MAX_MESSAGES) std::this_thread::sleep_for(1ms);
  fake->failNextRead(0x1200004, "connection closed by peer");
  std::this_thread::sleep_for(50ms); // the reader failed and is telling the applications
  // A new application connects to the same device, which is not opened again, and is served by a new reader.
  ConnectPortResponse answer;
  const auto third = Application::connect(device(), answer, 4108, 3);
  ASSERT_TRUE(third);
  EXPECT_EQ(answer.portIndex, first->port());
  EXPECT_EQ(fake->opens(), 1);
  fake->emit(deviceFrame(third->index(), 0x42, {}));
  const auto message = third->receive();
  ASSERT_TRUE(message);
  EXPECT_EQ(headerOf(*message).code, QOR_MSG_FIRMWARE_TRAFFIC);
  const auto told = second->receive();
  ASSERT_TRUE(told);
  EXPECT_EQ(headerOf(*told).code, QOR_MSG_DISCONNECT);
}

TEST_F(Routing, AnApplicationThatDoesNotReadStallsNoOther) {
  // The first application never reads: its queue fills after three frames.
  for (int i = 0; i < 10; ++i) fake->emit(deviceFrame(first->index(), 0x42, {}));
  fake->emit(deviceFrame(second->index(), 0x43, {}));
  const auto message = second->receive(2000ms);
  ASSERT_TRUE(message) << "routing went on";
  EXPECT_EQ(frameIn(*message)[offsetof(FirmwareMessageHeader, command)], 0x43);
}

TEST_F(Routing, AFullQueueHoldsNeitherTheReaderNorThePortsTurn) {
  struct Case {
    const char* what;
    std::function<void()> toFirst;  // a message to the first application while its queue is full
    std::function<void()> ofSecond; // what the second application then waits for
  };
  const Case cases[] = {
      {"a frame read for it, then one for the other application",
       [&] { fake->emit(deviceFrame(first->index(), 0x43, {})); },
       [&] {
         fake->emit(deviceFrame(second->index(), 0x44, {}));
         EXPECT_TRUE(second->receive());
       }},
      {"an answer to it within its turn, then a message of the other application",
       [&] {
         ASSERT_TRUE(first->sendBare(QOR_MSG_GET_LOCK));
         std::this_thread::sleep_for(20ms);
       },
       [&] {
         const auto answer = second->request(bareRequest(QOR_MSG_GET_LOCK, second->port(), second->index()));
         ASSERT_TRUE(answer);
         EXPECT_EQ(headerOf(*answer).code, QOR_MSG_GET_LOCK);
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    // The first application does not read for now: its queue is full.
    const int reads = fake->reads();
    for (int i = 0; i < QOR_QUEUE_MAX_MESSAGES; ++i) fake->emit(deviceFrame(first->index(), 0x42, {}));
    while (fake->reads() <= reads + QOR_QUEUE_MAX_MESSAGES) std::this_thread::sleep_for(1ms);
    c.toFirst();
    const auto started = std::chrono::steady_clock::now();
    c.ofSecond();
    EXPECT_LT(std::chrono::steady_clock::now() - started, 200ms);
    // What it could not take at once reaches it, in order, once it reads.
    for (int i = 0; i < QOR_QUEUE_MAX_MESSAGES; ++i) {
      const auto message = first->receive();
      ASSERT_TRUE(message);
      EXPECT_EQ(frameIn(*message)[offsetof(FirmwareMessageHeader, command)], 0x42);
    }
    EXPECT_TRUE(first->receive()) << "the message sent while its queue was full";
  }
}

TEST_F(Routing, WhatAnApplicationCannotTakeIsDroppedAndReported) {
  const std::vector<uint8_t> data(4000);
  constexpr int kFrames = 400; // far more than a megabyte
  for (int i = 0; i < kFrames; ++i) fake->emit(deviceFrame(first->index(), 0x42, data));
  fake->emit(deviceFrame(second->index(), 0x44, {}));
  ASSERT_TRUE(second->receive()) << "the reader went through them";
  int received = 0;
  while (first->receive(300ms)) ++received;
  EXPECT_GT(received, QOR_QUEUE_MAX_MESSAGES);
  EXPECT_LT(received, kFrames);
  auto pair = Pair::announce(controlPairName());
  ASSERT_TRUE(pair);
  const auto last = pair->request(bareRequest(QOR_MSG_LAST_SERVER_ERROR));
  ASSERT_TRUE(last);
  EXPECT_EQ(headerOf(*last).error, QOR_ERR_SERVER_WRITE_PIPE);
  // It is served again once it reads.
  fake->emit(deviceFrame(first->index(), 0x45, {}));
  const auto message = first->receive();
  ASSERT_TRUE(message);
  EXPECT_EQ(frameIn(*message)[offsetof(FirmwareMessageHeader, command)], 0x45);
}

TEST_F(Routing, AnApplicationThatReadsMoreSlowlyThanItsDeviceSendsLosesNothing) {
  constexpr int kFrames = 400; // far more than a megabyte: a stream such as a frame grabber's
  for (int i = 0; i < kFrames; ++i) {
    std::vector<uint8_t> data(4000);
    std::memcpy(data.data(), &i, sizeof i);
    fake->emit(deviceFrame(first->index(), 0x42, data));
  }
  fake->emit(deviceFrame(second->index(), 0x44, {}));
  // A pause of the reader, well within the bound of a send: the device is slowed down, not its data dropped.
  std::this_thread::sleep_for(100ms);
  for (int i = 0; i < kFrames; ++i) {
    const auto message = first->receive();
    ASSERT_TRUE(message) << "frame " << i;
    int sequence = -1;
    std::memcpy(&sequence, frameIn(*message).data() + sizeof(FirmwareMessageHeader), sizeof sequence);
    ASSERT_EQ(sequence, i);
  }
  EXPECT_TRUE(second->receive()) << "the other application's frame came after them";
}

TEST_F(Routing, WhatWasHeldBackGoesOutAsSoonAsTheApplicationReads) {
  // Rounds of a queue filled and one message more, held back; the application reads a while later.
  constexpr int kRounds = 10;
  auto waited = 0ms;
  for (int round = 0; round < kRounds; ++round) {
    for (int i = 0; i <= QOR_QUEUE_MAX_MESSAGES; ++i) fake->emit(deviceFrame(first->index(), 0x42, {}));
    std::this_thread::sleep_for(20ms);
    for (int i = 0; i < QOR_QUEUE_MAX_MESSAGES; ++i) ASSERT_TRUE(first->receive());
    const auto read = std::chrono::steady_clock::now();
    ASSERT_TRUE(first->receive()) << "round " << round;
    waited += std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - read);
  }
  EXPECT_LT(waited, 20ms * kRounds) << "held back until the daemon looked again";
}

TEST_F(Routing, MonitorDataGoToTheApplicationThatStartedTheMonitor) {
  const auto started = first->request(bareRequest(QOR_MSG_START_MONITOR));
  ASSERT_TRUE(started);
  EXPECT_EQ(headerOf(*started).code, QOR_MSG_START_MONITOR);
  EXPECT_EQ(headerOf(*started).error, 0u);

  const auto again = second->request(bareRequest(QOR_MSG_START_MONITOR));
  ASSERT_TRUE(again);
  EXPECT_EQ(headerOf(*again).code, QOR_MSG_ERROR_REPORT);
  EXPECT_EQ(headerOf(*again).error, QOR_ERR_SERVER_MONITOR_THREAD_RUNNING);

  fake->emitMonitorData({5, 6, 7});
  const auto data = first->receive();
  ASSERT_TRUE(data);
  EXPECT_EQ(headerOf(*data).code, QOR_MSG_MONITOR_DATA);
  EXPECT_EQ(frameIn(*data), (Frame{5, 6, 7}));

  const auto stopped = first->request(bareRequest(QOR_MSG_STOP_MONITOR));
  ASSERT_TRUE(stopped);
  EXPECT_EQ(headerOf(*stopped).code, QOR_MSG_STOP_MONITOR);
  EXPECT_EQ(headerOf(*stopped).error, 0u);
}

TEST(UsbSuspension, ListingUsbDevicesRestsTheUsbPortsAndResumesThem) {
  InProcessDaemon daemon({daemon::PathKind::Usb});
  ConnectPortResponse answer;
  const auto app = Application::connect(descriptor(23, 1, 1, 5), answer);
  ASSERT_TRUE(app);
  const auto fake = daemon.path(daemon::PathKind::Usb).device(5);
  // The port's hardware thread reads before the listing rests it.
  const auto firstRead = std::chrono::steady_clock::now() + 5s;
  while (fake->reads() == 0 && std::chrono::steady_clock::now() < firstRead) std::this_thread::sleep_for(1ms);
  ASSERT_GT(fake->reads(), 0);
  auto pair = Pair::announce(controlPairName());
  ASSERT_TRUE(pair);
  const auto listed = pair->request(driverInfoRequest(23, 100));
  ASSERT_TRUE(listed);
  EXPECT_EQ(headerOf(*listed).error, 0u);
  EXPECT_FALSE(daemon.path(daemon::PathKind::Usb).readWhileListing());
  fake->emit(deviceFrame(app->index(), 0x42, {}));
  EXPECT_TRUE(app->receive()) << "reading resumed";
}

} // namespace
} // namespace qor::test
