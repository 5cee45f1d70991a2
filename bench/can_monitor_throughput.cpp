// CAN monitor items per second from an emulated bus to the application through libqor_api_can: node 2 transmits,
// the emulated firmware's monitor of node 1 sends its items in frames as full as they go, and the library converts
// them into the application's ring or callback: classic frames as compact items (firmware of parameter width 32) and
// as API items (width 64), CAN FD frames of 64 bytes as large items (the ring) and as API items of their first 8
// bytes (the callback). Every item carries its serial in its identifier and is checked for it: lost and wrong items
// are counted. Printed against the monitor floor of the same run (the same frames through one queue hop and one TCP
// hop, in alternating blocks) and against the bus limits, with the share of the time the emulated bus and firmware
// spent sending on this process's thread; then the library's conversions alone, in this process. Runs inside
// qor_sandbox.

#include <atomic>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "bench_support.hpp"
#include "emulated_interfaces.hpp"
#include "monitor_items.hpp"
#include "monitor_large_ring.hpp"
#include "qor_can_monitor.h"
#include "qor_emulator/can_bus.hpp"
#include "qor_emulator/can_monitor_firmware.hpp"
#include "qor_test/daemon_process.hpp"

namespace {

using namespace qor::bench;
using qor::emulator::CanBus;
using qor::emulator::CanFrame;
using qor::emulator::CanMonitorFirmware;

constexpr double kSaturatedCanFramesPerSecond = 21000;   // 1 Mbit/s, DLC 0
constexpr double kSaturatedCanFdFramesPerSecond = 13000;  // 8 Mbit/s data phase, 64 bytes
constexpr uint32_t kIdentifierMask = 0x1FFFFFFF;
constexpr int kBlocks = 3;
constexpr size_t kFirmwareFrameHead = 12 + 8;  // frame header, {14, instance, u16 0, u32 count}
constexpr uint32_t kClassicBlock = 60000;
constexpr uint32_t kFdBlock = 30000;
// A read takes the whole ring or nothing: the buffer holds a whole block.
constexpr size_t kReadItems = kClassicBlock;

enum class Road { Ring, Callback, LargeItemRing };

struct Configuration {
  const char* name;
  int node;  // 0: width 32, 1: width 64
  Road road;
  size_t dataBytes;
  size_t itemBytes;  // as the firmware sends them
  uint32_t itemsPerBlock;
  double busLimit;
};

// The identifiers seen, in order: serial n has identifier n.
class SerialCheck {
 public:
  void take(uint32_t identifier) {
    if (identifier < next_) {
      ++wrong_;
      return;
    }
    lost_ += identifier - next_;
    next_ = identifier + 1;
    ++items_;
  }
  uint64_t items() const { return items_; }
  uint64_t wrong() const { return wrong_; }
  uint64_t lost(uint64_t sent) const { return lost_ + (sent - std::min<uint64_t>(sent, next_)); }

 private:
  uint64_t next_ = 0, items_ = 0, lost_ = 0, wrong_ = 0;
};

std::mutex gCallbackLock;
SerialCheck* gCallbackCheck = nullptr;

void takeItems(uint32_t, uint32_t count, const Qor_Can_Monitor_Item_t* items) {
  std::lock_guard lock(gCallbackLock);
  if (gCallbackCheck == nullptr) return;
  for (uint32_t index = 0; index < count; ++index) gCallbackCheck->take(items[index].identifier);
}

struct Node {
  EmulatedInterface interface;
  std::shared_ptr<CanMonitorFirmware> firmware;
};

struct Result {
  double seconds = 0;
  double sendingSeconds = 0;  // of the emulated bus and firmware, which send on this process's thread
  uint64_t items = 0, lost = 0, wrong = 0;
};

uint32_t start(uint32_t port, const Configuration& c) {
  switch (c.road) {
    case Road::Ring:
      return Qor_Can_Monitor_BufferMode_Start2(port, 0, c.itemsPerBlock);
    case Road::Callback:
      return Qor_Can_Monitor_BufferMode_Async_Start(port, 0, takeItems);
    case Road::LargeItemRing:
      return Qor_Can_Monitor_BufferMode_Start2(port, QOR_CAN_MONITOR_LARGE_ITEMS | QOR_CAN_MONITOR_CAN_FD,
                                               c.itemsPerBlock);
  }
  return 1;
}

// Reads what the ring holds into check; the items read.
uint32_t readRing(uint32_t port, Road road, SerialCheck& check) {
  static std::vector<Qor_Can_Monitor_Item_t> items(kReadItems);
  static std::vector<Can_Param_Monitor_Buffer64_LargeItem_t> slots(kReadItems);
  uint32_t count = kReadItems;
  if (road == Road::LargeItemRing) {
    uint32_t flags = 0;
    if (Qor_Can_Monitor_BufferMode_GetItems_Large(port, &flags, &count, slots.data()) != 0) return 0;
    for (uint32_t index = 0; index < count; ++index) check.take(slots[index].identifier);
  } else {
    if (Qor_Can_Monitor_BufferMode_GetItems(port, kReadItems * sizeof(Qor_Can_Monitor_Item_t), &count,
                                            items.data()) != 0) {
      return 0;
    }
    for (uint32_t index = 0; index < count; ++index) check.take(items[index].identifier);
  }
  return count;
}

Result measure(CanBus& bus, Node& node, const Configuration& c) {
  const uint32_t port = node.interface.port;
  SerialCheck check;
  std::atomic<uint64_t> arrived{0};
  if (c.road == Road::Callback) {
    std::lock_guard lock(gCallbackLock);
    gCallbackCheck = &check;
  }
  if (start(port, c) != 0) {
    std::printf("  start failed: %s\n", Qor_GetLastErrorDescription());
    return {};
  }
  std::atomic<bool> reading{c.road != Road::Callback};
  std::thread reader([&] {
    while (reading) {
      if (readRing(port, c.road, check) != 0) {
        arrived = check.items() + check.wrong();
      } else {
        std::this_thread::sleep_for(std::chrono::microseconds(200));
      }
    }
  });
  const auto seen = [&]() -> uint64_t {
    if (c.road != Road::Callback) return arrived.load();
    std::lock_guard lock(gCallbackLock);
    return check.items() + check.wrong();
  };
  CanFrame frame{0, 0, static_cast<uint8_t>(c.dataBytes == 64 ? 15 : c.dataBytes), std::vector<uint8_t>(c.dataBytes, 0x5A)};
  const auto begin = Clock::now();
  for (uint32_t serial = 0; serial < c.itemsPerBlock; ++serial) {
    frame.identifier = serial & kIdentifierMask;
    bus.transmit(*node.interface.device, 2, frame);
  }
  node.firmware->flush();
  const double sending = seconds(Clock::now() - begin);
  const auto last = awaitArrivals([&] { return uint64_t{seen()}; }, c.itemsPerBlock, std::chrono::microseconds(200));
  reading = false;
  reader.join();
  if (c.road == Road::Callback) {
    Qor_Can_Monitor_BufferMode_Async_Stop(port);
  } else {
    Qor_Can_Monitor_BufferMode_Stop(port);
  }
  std::lock_guard lock(gCallbackLock);
  gCallbackCheck = nullptr;
  return {seconds(last - begin), sending, check.items(), check.lost(c.itemsPerBlock), check.wrong()};
}

bool run(CanBus& bus, Node& node, const Configuration& c) {
  const size_t itemsPerFrame = 4000 / c.itemBytes;  // the emulated firmware's frames hold up to 4000 bytes of items
  const size_t frames = (c.itemsPerBlock + itemsPerFrame - 1) / itemsPerFrame;
  double floorTime = 0;
  Result total;
  for (int block = 0; block < kBlocks; ++block) {
    floorTime += monitorFloorSeconds(kFirmwareFrameHead + itemsPerFrame * c.itemBytes, frames);
    const Result result = measure(bus, node, c);
    total.seconds += result.seconds;
    total.sendingSeconds += result.sendingSeconds;
    total.items += result.items;
    total.lost += result.lost;
    total.wrong += result.wrong;
  }
  const double floorItems = static_cast<double>(kBlocks) * c.itemsPerBlock / floorTime;
  const double items = total.seconds > 0 ? static_cast<double>(total.items) / total.seconds : 0;
  std::printf("  %-44s %9.0f items/s  %6.1f x bus limit  floor %9.0f items/s  %5.2f x floor  (sending %2.0f%% of the "
              "time)  lost %llu, wrong %llu\n",
              c.name, items, items / c.busLimit, floorItems, items / floorItems,
              total.seconds > 0 ? 100 * total.sendingSeconds / total.seconds : 0,
              static_cast<unsigned long long>(total.lost), static_cast<unsigned long long>(total.wrong));
  return total.lost == 0 && total.wrong == 0 && total.items > 0;
}

// The library's conversions alone: compact items into API items in place, and large items into the ring and out.
void conversionsAlone() {
  constexpr size_t kItems = 100000;
  constexpr int kRounds = 20;
  std::vector<uint8_t> compact(kItems * qor::can::kCompactItemBytes, 0x11);
  std::vector<uint8_t> buffer(kItems * qor::can::kItemBytes);
  auto begin = Clock::now();
  for (int round = 0; round < kRounds; ++round) {
    std::memcpy(buffer.data(), compact.data(), compact.size());
    qor::can::convertInPlace(buffer.data(), kItems);
  }
  const double converted = kRounds * kItems / seconds(Clock::now() - begin);

  std::vector<uint8_t> block;
  for (size_t index = 0; index < 48; ++index) {
    std::vector<uint8_t> item(80, 0x22);
    item[12] = 0;
    item[13] = 0;
    item[15] = 64;
    block.insert(block.end(), item.begin(), item.end());
  }
  qor::can::LargeItemRing ring(kItems);
  std::vector<Can_Param_Monitor_Buffer64_LargeItem_t> out(kItems);
  size_t moved = 0;
  begin = Clock::now();
  for (int round = 0; round < kRounds; ++round) {
    for (size_t fed = 0; fed + 48 <= kItems; fed += 48) ring.deliver(0, block);
    moved += ring.read(out.data(), kItems).count;
  }
  const double large = static_cast<double>(moved) / seconds(Clock::now() - begin);
  std::printf("  conversion alone: compact to API items %.1f M items/s (%.0f x a saturated bus); large items into the "
              "ring and out %.1f M items/s (%.0f x CAN FD)\n",
              converted / 1e6, converted / kSaturatedCanFramesPerSecond, large / 1e6,
              large / kSaturatedCanFdFramesPerSecond);
}

}  // namespace

int main() {
  CanBus bus;
  Node nodes[2] = {{startInterface(0, {58, 61, 2}), nullptr}, {startInterface(1, {22, 35, 2}), nullptr}};
  for (Node& node : nodes) {
    bus.attach(*node.interface.device, 1);
    bus.attach(*node.interface.device, 2);
    node.firmware = CanMonitorFirmware::attachTo(*node.interface.device, bus, {1});
    node.firmware->setItemsPerFrame(1000);
  }
  qor::test::DaemonProcess daemon(QORAPID_PROGRAM);
  qor::test::connectLibraryToDaemon();
  for (Node& node : nodes) {
    if (!openInterface(node.interface)) return 1;
    if (Qor_AsyncCommunication_Enable(node.interface.port, nullptr) != 0) return 1;
  }

  std::printf("CAN monitor throughput, emulated bus to application through libqor_api_can (%d blocks)\n", kBlocks);
  std::printf("  bus limits: saturated 1 Mbit/s CAN %.0f frames/s; CAN FD at 8 Mbit/s %.0f frames of 64 bytes/s\n",
              kSaturatedCanFramesPerSecond, kSaturatedCanFdFramesPerSecond);
  const Configuration configurations[] = {
      {"classic, compact items into the ring", 0, Road::Ring, 8, 20, kClassicBlock, kSaturatedCanFramesPerSecond},
      {"classic, compact items to the callback", 0, Road::Callback, 8, 20, kClassicBlock, kSaturatedCanFramesPerSecond},
      {"classic, API items into the ring", 1, Road::Ring, 8, 24, kClassicBlock, kSaturatedCanFramesPerSecond},
      {"classic, API items to the callback", 1, Road::Callback, 8, 24, kClassicBlock, kSaturatedCanFramesPerSecond},
      {"CAN FD 64 bytes, large items into the ring", 1, Road::LargeItemRing, 64, 80, kFdBlock,
       kSaturatedCanFdFramesPerSecond},
      {"CAN FD 64 bytes, API items to the callback", 1, Road::Callback, 64, 24, kFdBlock,
       kSaturatedCanFdFramesPerSecond},
  };
  bool whole = true;
  for (const Configuration& c : configurations) whole = run(bus, nodes[c.node], c) && whole;
  conversionsAlone();
  return whole ? 0 : 1;
}
