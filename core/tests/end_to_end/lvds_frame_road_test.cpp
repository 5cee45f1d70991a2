// LVDS frame data end to end: frames that the device streams in chunks through TCP and the daemon, taken and
// released by the application.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "qor_test/interface_fixture.hpp"

namespace qor::test {
namespace {

using Bytes = std::vector<uint8_t>;

constexpr uint32_t kChunk = 1000;

Bytes pattern(size_t size, uint8_t seed) {
  Bytes bytes(size);
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(i * 31 + seed);
  return bytes;
}

// The frame's chunks as the grabber's answers carry them; the one at index lost left out, only the first count.
std::vector<Bytes> chunksOf(const Bytes& frame, size_t lost = SIZE_MAX, size_t count = SIZE_MAX) {
  std::vector<Bytes> chunks;
  for (uint32_t offset = 0, index = 0; offset < frame.size() && index < count; offset += kChunk, ++index) {
    if (index == lost) continue;
    const uint32_t length = std::min<uint32_t>(kChunk, static_cast<uint32_t>(frame.size()) - offset);
    const LvdsFrameChunk head{QOR_LVDS_FRAME_DATA, {0, 0, 0}, length, offset, static_cast<uint32_t>(frame.size())};
    Bytes parameters(sizeof head + length);
    memcpy(parameters.data(), &head, sizeof head);
    memcpy(parameters.data() + sizeof head, frame.data() + offset, length);
    chunks.push_back(parameters);
  }
  return chunks;
}

std::vector<Bytes> followedBy(std::vector<Bytes> first, const std::vector<Bytes>& then) {
  first.insert(first.end(), then.begin(), then.end());
  return first;
}

using LvdsFrameRoad = InterfaceFixture;

TEST_F(LvdsFrameRoad, FramesStreamedByTheDeviceAreTakenAndReleased) {
  const uint32_t port = open();
  ASSERT_EQ(Qor_Lvds_InitResponseFilter(port), 0u);
  const Bytes stale = pattern(20000, 5);
  const Bytes frame = pattern(20000, 77);
  const struct {
    const char* name;
    std::vector<Bytes> chunks;
  } cases[] = {
      {"in order", chunksOf(frame)},
      {"a chunk lost", followedBy(chunksOf(stale, 7), chunksOf(frame))},
      {"a new frame starting early", followedBy(chunksOf(stale, SIZE_MAX, 12), chunksOf(frame))},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    for (const Bytes& chunk : c.chunks) {
      ASSERT_TRUE(device_->sendToApplication(applicationOf(port), QOR_LVDS_FRAME_COMMAND, chunk));
    }
    uint8_t* data = nullptr;
    uint32_t length = 0;
    ASSERT_EQ(Qor_Lvds_GetFrameData(port, &data, &length), 0u) << Qor_GetLastErrorDescription();
    EXPECT_EQ(Bytes(data, data + length), frame);
    EXPECT_EQ(Qor_Lvds_ReleaseFrameData(port), 0u);
  }
  EXPECT_EQ(Qor_CloseInterface(port), 0u);
}

} // namespace
} // namespace qor::test
