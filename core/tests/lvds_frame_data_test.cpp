// LVDS frame data through a port of the library, opened against a stand-in for the daemon's side of the
// application: frames streamed in chunks are taken and released, frames with gaps are not delivered, a frame being
// read stays whole, and the other answers of the port still reach their callers.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <future>
#include <thread>

#include "fake_application.hpp"
#include "qor_api.h"

namespace {

using qor::test::FakeApplication;
using Bytes = FakeApplication::Bytes;
using Clock = std::chrono::steady_clock;

constexpr uint32_t kFirmwareHostType = 28; // 1036-byte messages: chunks of up to 996 bytes
constexpr uint32_t kChunk = 900;
constexpr uint8_t kPlainCommand = 0x10;

Bytes pattern(size_t size, uint8_t seed) {
  Bytes bytes(size);
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(i * 13 + seed);
  return bytes;
}

Bytes chunkMessage(const Bytes& frame, uint32_t offset) {
  const uint32_t length = std::min<uint32_t>(kChunk, static_cast<uint32_t>(frame.size()) - offset);
  const LvdsFrameChunk head{QOR_LVDS_FRAME_DATA, {0, 0, 0}, length, offset, static_cast<uint32_t>(frame.size())};
  Bytes parameters(sizeof head + length);
  memcpy(parameters.data(), &head, sizeof head);
  memcpy(parameters.data() + sizeof head, frame.data() + offset, length);
  return FakeApplication::firmwareAnswer(QOR_LVDS_FRAME_COMMAND, parameters);
}

// The chunks of frame, the one at index `lost` left out, only the first `count` of them.
std::vector<Bytes> chunksOf(const Bytes& frame, size_t lost = SIZE_MAX, size_t count = SIZE_MAX) {
  std::vector<Bytes> messages;
  for (uint32_t offset = 0, index = 0; offset < frame.size() && index < count; offset += kChunk, ++index) {
    if (index != lost) messages.push_back(chunkMessage(frame, offset));
  }
  return messages;
}

class LvdsPort : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(qor::test::openPort(kFirmwareHostType, port_), 0u);
    // A plain command is answered after whatever was sent before it: once its answer came, so did all of that.
    daemon_.script([](size_t, const Bytes&) {
      return std::vector<Bytes>{FakeApplication::firmwareAnswer(kPlainCommand, {0x42})};
    });
  }
  void TearDown() override { EXPECT_EQ(Qor_CloseInterface(port_), 0u); }

  void send(const std::vector<Bytes>& messages) {
    for (const Bytes& message : messages) daemon_.send(message);
  }
  // Returns once the port's response thread has handled everything sent so far.
  void settle() {
    uint8_t answer[4] = {};
    uint32_t size = sizeof answer;
    ASSERT_EQ(Qor_CommandWithResponse(port_, kPlainCommand, nullptr, 0, answer, &size), 0u);
    EXPECT_EQ(Bytes(answer, answer + size), Bytes({0x42}));
  }
  Bytes take() {
    uint8_t* data = nullptr;
    uint32_t length = 0;
    EXPECT_EQ(Qor_Lvds_GetFrameData(port_, &data, &length), 0u);
    return data ? Bytes(data, data + length) : Bytes{};
  }

  FakeApplication daemon_;
  uint32_t port_ = QOR_NO_PORT;
};

TEST_F(LvdsPort, FramesStreamedInChunksAreTakenAndReleased) {
  ASSERT_EQ(Qor_Lvds_InitResponseFilter(port_), 0u);
  const Bytes a = pattern(4000, 1);
  const Bytes b = pattern(4000, 77);
  const struct {
    const char* name;
    std::vector<Bytes> stream;
  } cases[] = {
      {"in order", chunksOf(b)},
      {"a chunk lost, then a whole frame", [&] {
         std::vector<Bytes> stream = chunksOf(a, 2);
         for (const Bytes& message : chunksOf(b)) stream.push_back(message);
         return stream;
       }()},
      {"a new frame starting early", [&] {
         std::vector<Bytes> stream = chunksOf(a, SIZE_MAX, 3);
         for (const Bytes& message : chunksOf(b)) stream.push_back(message);
         return stream;
       }()},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    send(c.stream);
    EXPECT_EQ(take(), b);
    EXPECT_EQ(Qor_Lvds_ReleaseFrameData(port_), 0u);
  }
}

TEST_F(LvdsPort, AFrameBeingReadIsNotTornByTheNextOne) {
  ASSERT_EQ(Qor_Lvds_InitResponseFilter(port_), 0u);
  const Bytes first = pattern(5000, 3);
  const Bytes second = pattern(5000, 200);
  send(chunksOf(first));
  uint8_t* data = nullptr;
  uint32_t length = 0;
  ASSERT_EQ(Qor_Lvds_GetFrameData(port_, &data, &length), 0u);
  send(chunksOf(second));
  settle(); // the answers between the chunks still reach their caller
  EXPECT_EQ(Bytes(data, data + length), first);
  uint8_t* again = nullptr;
  EXPECT_EQ(Qor_Lvds_GetFrameData(port_, &again, &length), QOR_ERR_API_OPERATION_NOT_ALLOWED);
  // Released from another thread than the one that took it.
  std::thread([&] { EXPECT_EQ(Qor_Lvds_ReleaseFrameData(port_), 0u); }).join();
  EXPECT_EQ(take(), second);
}

TEST_F(LvdsPort, TheFilterAndTheFramesItKeeps) {
  uint8_t* data = nullptr;
  uint32_t length = 0;
  EXPECT_EQ(Qor_Lvds_GetFrameData(port_, &data, &length), QOR_ERR_API_NOT_INITIALIZED);
  EXPECT_FALSE(Qor_Lvds_IsAutoEmptyEnabled(port_));
  ASSERT_EQ(Qor_Lvds_InitResponseFilter(port_), 0u);
  EXPECT_TRUE(Qor_Lvds_IsAutoEmptyEnabled(port_));

  const Bytes frame = pattern(2000, 9);
  send(chunksOf(frame));
  settle();
  EXPECT_EQ(Qor_Lvds_InitResponseFilter(port_), 0u) << "a second installation keeps the frame";
  EXPECT_EQ(take(), frame);
  EXPECT_EQ(Qor_Lvds_ReleaseFrameData(port_), 0u);

  // A frame from before a new capture is not taken; the wait for another one ends.
  send(chunksOf(frame));
  settle();
  EXPECT_EQ(Qor_Lvds_ResetResponseEvent(port_), 0u);
  const auto start = Clock::now();
  EXPECT_EQ(Qor_Lvds_GetFrameData(port_, &data, &length), QOR_ERR_API_EVENT_TIMEOUT);
  EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(QOR_LVDS_FRAME_WAIT_MS - 50));

  EXPECT_EQ(Qor_Lvds_ResetResponseFilter(port_), 0u);
  EXPECT_FALSE(Qor_Lvds_IsAutoEmptyEnabled(port_));
  EXPECT_EQ(Qor_Lvds_GetFrameData(port_, &data, &length), QOR_ERR_API_NOT_INITIALIZED);
  send(chunksOf(frame)); // chunks without the filter take the ordinary way
  settle();

  EXPECT_EQ(Qor_Lvds_LvdsChannel_Set(port_, 3), 0u);
  EXPECT_EQ(Qor_Lvds_LvdsChannel_Get(port_), 3u);
  EXPECT_FALSE(Qor_Lvds_IsGrabber(port_));
  EXPECT_FALSE(Qor_Lvds_IsGenerator(port_));
}

TEST_F(LvdsPort, ClosingThePortEndsTheWaitForAFrame) {
  ASSERT_EQ(Qor_Lvds_InitResponseFilter(port_), 0u);
  const auto start = Clock::now();
  auto waiting = std::async(std::launch::async, [&] {
    uint8_t* data = nullptr;
    uint32_t length = 0;
    return Qor_Lvds_GetFrameData(port_, &data, &length);
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(Qor_CloseInterface(port_), 0u);
  EXPECT_EQ(waiting.get(), QOR_ERR_API_NOT_INITIALIZED);
  EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(QOR_LVDS_FRAME_WAIT_MS));
  port_ = QOR_NO_PORT; // closed
}

TEST(LvdsFrameData, HandlesOfNoOpenPort) {
  uint8_t* data = nullptr;
  uint32_t length = 0;
  for (uint32_t port : {200u, 255u, 1000u}) {
    SCOPED_TRACE(port);
    EXPECT_EQ(Qor_Lvds_InitResponseFilter(port), QOR_ERR_API_INVALID_PORT_HANDLE);
    EXPECT_EQ(Qor_Lvds_ResetResponseFilter(port), QOR_ERR_API_INVALID_PORT_HANDLE);
    EXPECT_EQ(Qor_Lvds_GetFrameData(port, &data, &length), QOR_ERR_API_INVALID_PORT_HANDLE);
    EXPECT_EQ(Qor_Lvds_ReleaseFrameData(port), QOR_ERR_API_INVALID_PORT_HANDLE);
    EXPECT_EQ(Qor_Lvds_ResetResponseEvent(port), QOR_ERR_API_INVALID_PORT_HANDLE);
    EXPECT_EQ(Qor_Lvds_LvdsChannel_Set(port, 1), QOR_ERR_API_INVALID_PORT_HANDLE);
    EXPECT_FALSE(Qor_Lvds_IsAutoEmptyEnabled(port));
    EXPECT_FALSE(Qor_Lvds_IsGrabber(port));
    EXPECT_FALSE(Qor_Lvds_IsGenerator(port));
    EXPECT_EQ(Qor_Lvds_LvdsChannel_Get(port), 0u);
  }
}

} // namespace
