// The fixture of the road tests on an emulated MOST ring: the controller's MOST interfaces 1 and 2 (ports first_ and
// second_) and a peer device's interface 1 as nodes, each served by the ring's control message firmware, and a reader
// of the monitor items that firmware reports.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <optional>
#include <span>
#include <thread>
#include <vector>

#include "most_road.hpp"
#include "qor_emulator/most_ring.hpp"
#include "qor_emulator/most_ring_firmware.hpp"
#include "qor_kit/monitor_items.hpp"
#include "qor_most.h"

namespace qor::test {

using emulator::kMostMonitorItemHeadBytes;

inline constexpr uint16_t kFirstAddress = 0x100, kSecondAddress = 0x101, kPeerAddress = 0x102;

inline uint16_t u16At(const std::vector<uint8_t>& bytes, size_t offset) {
  return static_cast<uint16_t>(bytes[offset] | bytes[offset + 1] << 8);
}

// A monitor item as the ring's firmware reports control messages.
struct Item {
  uint16_t monitorId;
  uint16_t source, target, function;
  uint8_t operationType;
  uint8_t telegramId;
  std::vector<uint8_t> data;
};

class MostRingRoad : public InterfaceFixture {
 protected:
  MostRingRoad() : InterfaceFixture(mostMonitorController()) {}
  void SetUp() override {
    InterfaceFixture::SetUp();
    ring_.attach(*device_, 1, kFirstAddress);
    ring_.attach(*device_, 2, kSecondAddress);
    ring_.attach(peer_, 1, kPeerAddress);
    firmware_ = emulator::MostRingFirmware::attachTo(*device_, ring_, {1, 2});
    peerFirmware_ = emulator::MostRingFirmware::attachTo(peer_, ring_, {1});
    first_ = open(1);
    second_ = open(2);
  }

  // Reads what the port's monitor kept until count items came or the time ran out, and walks them.
  std::vector<Item> monitorItems(uint32_t port, size_t count,
                                 std::chrono::milliseconds within = std::chrono::seconds(3)) {
    std::vector<Item> items;
    std::vector<uint8_t> kept;
    const auto until = std::chrono::steady_clock::now() + within;
    while (items.size() < count && std::chrono::steady_clock::now() < until) {
      std::vector<uint8_t> buffer(65536);  // the monitor hands over all it kept or nothing
      uint32_t size = static_cast<uint32_t>(buffer.size());
      uint8_t overflow = 0;
      EXPECT_EQ(Qor_Most_Monitor_GetData(port, &overflow, &size, buffer.data()), 0u) << lastError();
      EXPECT_EQ(overflow, 0u);
      kept.insert(kept.end(), buffer.begin(), buffer.begin() + size);
      items.clear();
      const kit::WalkEnd end = kit::walkItems(
          kept, kMostMonitorItemHeadBytes,
          [](std::span<const uint8_t> rest) -> std::optional<kit::ItemExtent> {
            const size_t bytes = rest[0] | rest[1] << 8;
            return kit::ItemExtent{bytes, (bytes + 3) & ~size_t{3}};
          },
          [&](std::span<const uint8_t> item) {
            const std::vector<uint8_t> bytes(item.begin(), item.end());
            items.push_back(Item{u16At(bytes, 2), u16At(bytes, 16), u16At(bytes, 18), u16At(bytes, 22), bytes[24], bytes[27],
                                 std::vector<uint8_t>(bytes.begin() + 28, bytes.end())});
            return true;
          });
      EXPECT_EQ(end, kit::WalkEnd::Complete);
      if (items.size() < count) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return items;
  }

  emulator::Device peer_{emulator::DeviceConfig{.serialNumber = 2, .hostType = 40}};
  emulator::MostRing ring_;
  std::shared_ptr<emulator::MostRingFirmware> firmware_, peerFirmware_;
  uint32_t first_ = 0, second_ = 0;
};

}  // namespace qor::test
