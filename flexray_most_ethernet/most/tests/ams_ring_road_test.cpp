// Application messages on an emulated MOST ring, from one port's library through the daemon, the ring and back up
// another port's library: a message of several segments and telegrams arrives whole at the other node's receive
// buffer and shows on its monitor telegram by telegram; a request is answered by the other node's application, by
// polling and through the response callback; messages and responses of the greatest length pass whole.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <future>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "most_ring_road.hpp"
#include "qor_emulator/most_ams_firmware.hpp"

namespace qor::test {
namespace {

using emulator::kMostMonitorControlMessageId;

constexpr uint8_t kFblock = 0x52, kInstance = 0x01;
constexpr uint16_t kFunction = 0x0A10;
constexpr uint8_t kGet = 0x1, kSet = 0x0, kStatus = 0xC;
constexpr uint32_t kResponseTimeOut = 5'000'000;  // µs

Bytes pattern(size_t length, uint8_t seed) {
  Bytes bytes(length);
  for (size_t i = 0; i < length; ++i) bytes[i] = static_cast<uint8_t>(i * 7 + seed + i / 251);
  return bytes;
}

// A received message as the receive buffer hands it over: the 12-byte header, then the data.
struct Received {
  uint8_t channel;
  uint32_t state;
  uint16_t source;
  uint8_t fblock, instance;
  uint16_t function;
  uint8_t operationType;
  Bytes data;
};

// What the callbacks delivered, for the test thread to wait on.
template <typename T>
struct Arrivals {
  std::mutex mutex;
  std::condition_variable arrived;
  std::vector<T> items;

  void put(T item) {
    std::lock_guard lock(mutex);
    items.push_back(std::move(item));
    arrived.notify_all();
  }
  // The first item that came within the time, taken out.
  std::optional<T> take(std::chrono::milliseconds within = std::chrono::seconds(5)) {
    std::unique_lock lock(mutex);
    if (!arrived.wait_for(lock, within, [&] { return !items.empty(); })) return std::nullopt;
    T item = std::move(items.front());
    items.erase(items.begin());
    return item;
  }
};

Arrivals<Received> gMessages;
Arrivals<std::shared_ptr<Qor_Most_Ams_Response_t>> gResponses;
Arrivals<uint32_t> gErrors;

void messageArrived(uint32_t, uint8_t channel, const uint8_t* message, uint32_t state) {
  uint16_t source = 0, function = 0;
  uint32_t length = 0;
  std::memcpy(&source, message, 2);
  std::memcpy(&function, message + 4, 2);
  std::memcpy(&length, message + 8, 4);
  gMessages.put(Received{channel, state, source, message[2], message[3], function, message[6],
                         Bytes(message + 12, message + 12 + length)});
}
void responseArrived(uint32_t, uint8_t, const Qor_Most_Ams_Response_t* response) {
  gResponses.put(std::make_shared<Qor_Most_Ams_Response_t>(*response));
}
void errorArrived(uint32_t, uint32_t code, const char*, uint32_t) { gErrors.put(code); }

std::unique_ptr<Qor_Most_Ams_Message_t> amsMessage(uint16_t target, uint8_t operationType, uint32_t timeoutUs,
                                                   const Bytes& data) {
  auto message = std::make_unique<Qor_Most_Ams_Message_t>();
  message->timeout = timeoutUs;
  message->targetAddress = target;
  message->fblockId = kFblock;
  message->instanceId = kInstance;
  message->functionId = kFunction;
  message->operationType = operationType;
  message->dataLength = static_cast<uint32_t>(data.size());
  std::memcpy(message->data, data.data(), data.size());
  return message;
}

class AmsRingRoad : public MostRingRoad {
 protected:
  void SetUp() override {
    MostRingRoad::SetUp();
    ams_ = emulator::MostAmsFirmware::attachTo(*device_, ring_, {1, 2});
    gMessages.items.clear();
    gResponses.items.clear();
    gErrors.items.clear();
    for (uint32_t port : {first_, second_}) {
      ASSERT_EQ(Qor_AsyncCommunication_Enable(port, errorArrived), 0u) << lastError();
    }
    ASSERT_EQ(Qor_Most_Ams_GetChannel(first_, &firstChannel_), 0u) << lastError();
    ASSERT_EQ(Qor_Most_Ams_GetChannel(second_, &secondChannel_), 0u) << lastError();
    ASSERT_EQ(Qor_Most_Ams_RxMsgBuffer_GetMsgs_Async_AddCallback(second_, secondChannel_, messageArrived), 0u)
        << lastError();
    ASSERT_EQ(Qor_Most_Ams_RxMsgBuffer_GetMsgs_Async_Enable(second_, secondChannel_), 0u) << lastError();
  }
  void TearDown() override {
    EXPECT_TRUE(gErrors.items.empty()) << "first error " << std::hex << gErrors.items.front();
    MostRingRoad::TearDown();
  }

  // The second node's application: takes the next request from its receive buffer and answers its sender with a
  // status of these data. Returns the request.
  std::future<std::optional<Received>> answerNextRequest(Bytes data) {
    return std::async(std::launch::async, [this, data = std::move(data)]() -> std::optional<Received> {
      std::optional<Received> request = gMessages.take();
      if (!request) return std::nullopt;
      uint32_t flag = 0;
      const auto answer = amsMessage(request->source, kStatus, 0, data);
      EXPECT_EQ(Qor_Most_Ams_QueueRequest(second_, secondChannel_, answer.get(), &flag), 0u) << lastError();
      EXPECT_EQ(flag, 1u) << "the answer went out";
      return request;
    });
  }

  std::shared_ptr<emulator::MostAmsFirmware> ams_;
  uint8_t firstChannel_ = 0, secondChannel_ = 0;
};

TEST_F(AmsRingRoad, AMessageOfSeveralSegmentsArrivesWholeAndShowsOnTheReceiversMonitor) {
  const uint16_t controlMessages[] = {kMostMonitorControlMessageId};
  ASSERT_EQ(Qor_Most_Monitor_Start(second_, 0, 0, 1, controlMessages), 0u) << lastError();
  // 4056 bytes go in the first segment, the rest in a second; on the ring they are 20 telegrams of up to 254 bytes.
  const Bytes data = pattern(5000, 3);
  const auto message = amsMessage(kSecondAddress, kSet, 0, data);
  uint32_t flag = 0;
  ASSERT_EQ(Qor_Most_Ams_QueueRequest(first_, firstChannel_, message.get(), &flag), 0u) << lastError();
  EXPECT_EQ(flag, 1u);

  const std::optional<Received> received = gMessages.take();
  ASSERT_TRUE(received);
  EXPECT_EQ(received->channel, secondChannel_);
  EXPECT_EQ(received->state, QOR_MOST_AMS_RX_STATE_LAST);
  EXPECT_EQ(received->source, kFirstAddress);
  EXPECT_EQ(received->fblock, kFblock);
  EXPECT_EQ(received->instance, kInstance);
  EXPECT_EQ(received->function, kFunction);
  EXPECT_EQ(received->operationType, kSet);
  EXPECT_EQ(received->data, data);

  const std::vector<Item> items = monitorItems(second_, 20);
  ASSERT_EQ(items.size(), 20u);
  Bytes joined;
  for (size_t i = 0; i < items.size(); ++i) {
    EXPECT_EQ(items[i].telegramId, i == 0 ? 1 : i + 1 == items.size() ? 3 : 2) << i;
    EXPECT_EQ(items[i].source, kFirstAddress);
    EXPECT_EQ(items[i].target, kSecondAddress);
    EXPECT_EQ(items[i].function, kFunction);
    ASSERT_FALSE(items[i].data.empty());
    EXPECT_EQ(items[i].data[0], i) << "message counter";
    joined.insert(joined.end(), items[i].data.begin() + 1, items[i].data.end());
  }
  EXPECT_EQ(joined, data);
  EXPECT_EQ(Qor_Most_Monitor_Stop(second_), 0u) << lastError();
}

TEST_F(AmsRingRoad, MessagesKeptWhileNotificationsAreOffArriveInOrderOnceTheyAreOn) {
  ASSERT_EQ(Qor_Most_Ams_RxMsgBuffer_GetMsgs_Async_Disable(second_, secondChannel_), 0u) << lastError();
  // Notified together: the small ones share a notification with pieces of the long one, which spans three.
  const std::vector<Bytes> sent = {pattern(10, 1), pattern(5000, 2), pattern(3, 3)};
  for (const Bytes& data : sent) {
    uint32_t flag = 0;
    const auto message = amsMessage(kSecondAddress, kSet, 0, data);
    ASSERT_EQ(Qor_Most_Ams_QueueRequest(first_, firstChannel_, message.get(), &flag), 0u) << lastError();
  }
  EXPECT_FALSE(gMessages.take(std::chrono::milliseconds(100))) << "kept while notifications are off";

  ASSERT_EQ(Qor_Most_Ams_RxMsgBuffer_GetMsgs_Async_Enable(second_, secondChannel_), 0u) << lastError();
  for (size_t i = 0; i < sent.size(); ++i) {
    const std::optional<Received> received = gMessages.take();
    ASSERT_TRUE(received) << i;
    EXPECT_EQ(received->data, sent[i]) << i;
    const uint32_t more = i + 1 < sent.size() ? QOR_MOST_AMS_RX_STATE_PENDING : 0;
    EXPECT_EQ(received->state, QOR_MOST_AMS_RX_STATE_LAST | more) << i;
  }
}

TEST_F(AmsRingRoad, ARequestIsAnsweredByTheOtherNodesApplication) {
  // Polled: the response is longer than one answer, so it is read in pieces.
  const Bytes question = pattern(300, 1), answer = pattern(9000, 2);
  std::future<std::optional<Received>> answering = answerNextRequest(answer);
  const auto request = amsMessage(kSecondAddress, kGet, kResponseTimeOut, question);
  auto response = std::make_unique<Qor_Most_Ams_Response_t>();
  ASSERT_EQ(Qor_Most_Ams_Request(first_, firstChannel_, request.get(), response.get()), 0u) << lastError();
  const std::optional<Received> asked = answering.get();
  ASSERT_TRUE(asked);
  EXPECT_EQ(asked->operationType, kGet);
  EXPECT_EQ(asked->data, question);
  EXPECT_EQ(response->state, QOR_MOST_AMS_STATE_COMPLETE);
  EXPECT_EQ(response->status, 0u);
  EXPECT_EQ(response->sourceAddress, kSecondAddress);
  EXPECT_EQ(response->fblockId, kFblock);
  EXPECT_EQ(response->functionId, kFunction);
  EXPECT_EQ(response->operationType, kStatus);
  ASSERT_EQ(response->dataLength, answer.size());
  EXPECT_EQ(Bytes(response->data, response->data + response->dataLength), answer);
  uint32_t status = 1, state = 9;
  ASSERT_EQ(Qor_Most_Ams_GetState(first_, firstChannel_, &status, &state), 0u) << lastError();
  EXPECT_EQ(state, 0u) << "the response was read";

  // Through the callback: the firmware hands the response over in pieces as it arrives.
  ASSERT_EQ(Qor_Most_Ams_GetResponse_Async_AddCallback(first_, firstChannel_, responseArrived), 0u) << lastError();
  ASSERT_EQ(Qor_Most_Ams_GetResponse_Async_Enable(first_, firstChannel_), 0u) << lastError();
  answering = answerNextRequest(answer);
  uint32_t flag = 0;
  ASSERT_EQ(Qor_Most_Ams_QueueRequest(first_, firstChannel_, request.get(), &flag), 0u) << lastError();
  ASSERT_TRUE(answering.get());
  const auto delivered = gResponses.take();
  ASSERT_TRUE(delivered);
  EXPECT_EQ((*delivered)->state, QOR_MOST_AMS_STATE_COMPLETE);
  EXPECT_EQ((*delivered)->sourceAddress, kSecondAddress);
  ASSERT_EQ((*delivered)->dataLength, answer.size());
  EXPECT_EQ(Bytes((*delivered)->data, (*delivered)->data + answer.size()), answer);
  EXPECT_EQ(Qor_Most_Ams_GetResponse_Async_Disable(first_, firstChannel_), 0u) << lastError();
  EXPECT_EQ(Qor_Most_Ams_GetResponse_Async_RemoveCallback(first_, firstChannel_), 0u) << lastError();
}

TEST_F(AmsRingRoad, ARequestNobodyAnswersIsAwaitedForItsTimeOutOnly) {
  const auto request = amsMessage(0x1FF, kGet, 30'000, {1, 2, 3});
  uint32_t flag = 0, status = 1, state = 0;
  ASSERT_EQ(Qor_Most_Ams_QueueRequest(first_, firstChannel_, request.get(), &flag), 0u) << lastError();
  ASSERT_EQ(Qor_Most_Ams_GetState(first_, firstChannel_, &status, &state), 0u) << lastError();
  EXPECT_EQ(state, 2u) << "awaited";
  std::this_thread::sleep_for(std::chrono::milliseconds(60));
  auto response = std::make_unique<Qor_Most_Ams_Response_t>();
  ASSERT_EQ(Qor_Most_Ams_GetResponse(first_, firstChannel_, response.get()), 0u) << lastError();
  EXPECT_EQ(response->state, 0u) << "neither there nor awaited";
  EXPECT_EQ(response->dataLength, 0u);
}

TEST_F(AmsRingRoad, MessagesAndResponsesOfTheGreatestLengthPassWhole) {
  const Bytes longest = pattern(QOR_MOST_AMS_MAX_DATA, 5), almost = pattern(QOR_MOST_AMS_MAX_DATA - 1, 6);
  std::future<std::optional<Received>> answering = answerNextRequest(almost);
  const auto request = amsMessage(kSecondAddress, kGet, kResponseTimeOut, longest);
  auto response = std::make_unique<Qor_Most_Ams_Response_t>();
  ASSERT_EQ(Qor_Most_Ams_Request(first_, firstChannel_, request.get(), response.get()), 0u) << lastError();
  const std::optional<Received> asked = answering.get();
  ASSERT_TRUE(asked);
  EXPECT_EQ(asked->data, longest);
  EXPECT_EQ(response->state, QOR_MOST_AMS_STATE_COMPLETE);
  ASSERT_EQ(response->dataLength, almost.size());
  EXPECT_EQ(Bytes(response->data, response->data + response->dataLength), almost);
}

}  // namespace
}  // namespace qor::test
