// LIN monitor items that the emulated firmware's monitor made of the other node's frames on an emulated LIN bus, from
// the device through the daemon and the LIN library to the application: items per second read in buffer mode and handed to a callback, for one
// item per monitor frame and for full frames. Every item carries its serial in its data and id and is checked for
// it: lost and wrong items are counted. Printed against the floor of the same monitor frames (one queue hop and one
// TCP hop, each between two processes; the slower one) in alternating blocks of one run. Runs inside qor_sandbox.

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "bench_support.hpp"
#include "emulated_interfaces.hpp"
#include "qor_async.h"
#include "qor_emulator/lin_bus.hpp"
#include "qor_emulator/lin_monitor_firmware.hpp"
#include "qor_lin_monitor.h"
#include "qor_test/daemon_process.hpp"

namespace {

using namespace qor::bench;
using qor::emulator::LinBus;
using qor::emulator::LinFrame;
using qor::emulator::LinMonitorFirmware;

constexpr uint8_t kLinFirmwareInterface = 3;
constexpr uint8_t kOtherNode = 2;
constexpr size_t kFirmwareItemBytes = 140;  // advanced items
constexpr size_t kFrameHeadBytes = 12 + 4;  // frame header and the item count
constexpr uint32_t kRingItems = 32 * 1024;
constexpr uint32_t kReadItems = 4096;
constexpr double kSaturatedLinFramesPerSecond = 370;  // 20 kbit/s, one data byte a frame
constexpr int kBlocks = 3;

// The items as they arrive, checked for their serials (in the data, and in the id modulo 64).
class ItemCheck {
 public:
  void take(const Qor_Lin_Monitor_AdvancedItem_t* items, uint32_t count) {
    std::lock_guard lock(mutex_);
    for (uint32_t i = 0; i < count; ++i) {
      const Qor_Lin_Monitor_SmallItem_t& item = items[i].normal.head;
      uint64_t serial = 0;
      std::memcpy(&serial, item.data, sizeof serial);
      if (item.dataLength != 8 || item.frameId != serial % 64 || serial < next_) {
        ++wrong_;
        continue;
      }
      lost_ += serial - next_;
      next_ = serial + 1;
      ++items_;
    }
  }
  uint64_t arrived() const {
    std::lock_guard lock(mutex_);
    return items_ + wrong_;
  }
  uint64_t items() const { return items_; }
  uint64_t wrong() const { return wrong_; }
  uint64_t lost(uint64_t sent) const { return lost_ + (sent - std::min(sent, next_)); }

 private:
  mutable std::mutex mutex_;
  uint64_t next_ = 0, items_ = 0, lost_ = 0, wrong_ = 0;
};

std::atomic<ItemCheck*> gCallbackCheck{nullptr};

struct Result {
  double seconds = 0;
  uint64_t items = 0, lost = 0, wrong = 0;
};

struct Configuration {
  const char* name;
  bool callback;
  uint32_t itemsPerFrame;
  uint64_t items;
};

class Bench {
 public:
  Bench(EmulatedInterface& interface)
      : interface_(interface), firmware_(LinMonitorFirmware::attachTo(*interface.device, bus_, {1})) {
    bus_.attach(*interface.device, kOtherNode);
  }

  Result measure(const Configuration& c) {
    const uint32_t port = interface_.port;
    firmware_->setItemsPerFrame(1, c.itemsPerFrame);
    ItemCheck check;
    std::atomic<bool> reading{!c.callback};
    std::thread reader;
    if (c.callback) {
      gCallbackCheck = &check;
      Qor_Lin_Monitor_BufferMode_Advanced_Async_Start(port, 0, [](uint32_t, uint32_t count, const void* items) {
        if (ItemCheck* target = gCallbackCheck.load()) {
          target->take(static_cast<const Qor_Lin_Monitor_AdvancedItem_t*>(items), count);
        }
      });
    } else {
      Qor_Lin_Monitor_BufferMode_Advanced_Start(port, 0, kRingItems * sizeof(Qor_Lin_Monitor_AdvancedItem_t));
      reader = std::thread([&] {
        std::vector<Qor_Lin_Monitor_AdvancedItem_t> buffer(kReadItems);
        while (reading) {
          uint32_t count = 0;
          if (Qor_Lin_Monitor_BufferMode_Advanced_GetItems(
                  port, static_cast<uint32_t>(buffer.size() * sizeof buffer[0]), &count, buffer.data()) == 0 &&
              count != 0) {
            check.take(buffer.data(), count);
          } else {
            std::this_thread::sleep_for(std::chrono::microseconds(200));
          }
        }
      });
    }
    // The ring holds what the reader has not taken; the node sends no more than that ahead, as in the CAN monitor's
    // benchmark, so the run measures the rate the application sustains.
    const auto waitForRoom = [&](uint64_t sent) {
      awaitRoom([&] { return uint64_t{check.arrived()}; }, sent + c.itemsPerFrame, kRingItems);
    };
    // The node's frames become the firmware's monitor frames first; what is timed is their road to the application.
    firmware_->holdFrames(1, true);
    LinFrame frame;
    frame.data.resize(8);
    for (uint64_t serial = 0; serial < c.items; ++serial) {
      frame.frameId = static_cast<uint8_t>(serial % 64);
      std::memcpy(frame.data.data(), &serial, sizeof serial);
      bus_.transmit(*interface_.device, kOtherNode, frame);
    }
    firmware_->holdFrames(1, false);
    const std::vector<qor::emulator::Bytes> frames = firmware_->takeHeldFrames(1);
    const uint8_t application = firmware_->application(1);
    const auto start = Clock::now();
    uint64_t sent = 0;
    for (const qor::emulator::Bytes& data : frames) {
      waitForRoom(sent);
      interface_.device->sendToApplication(application, qor::emulator::kLinMonitorData, data);
      sent += c.itemsPerFrame;
    }
    const auto last = awaitArrivals([&] { return uint64_t{check.arrived()}; }, c.items, std::chrono::milliseconds(1));
    reading = false;
    if (reader.joinable()) reader.join();
    if (c.callback) {
      Qor_Lin_Monitor_BufferMode_Advanced_Async_Stop(port);
      gCallbackCheck = nullptr;
    } else {
      Qor_Lin_Monitor_BufferMode_Advanced_Stop(port);
    }
    return {seconds(last - start), check.items(), check.lost(c.items), check.wrong()};
  }

 private:
  EmulatedInterface& interface_;
  LinBus bus_;
  std::shared_ptr<LinMonitorFirmware> firmware_;
};

// Blocks of the floor and the product in turn; false when an item was lost or wrong.
bool run(Bench& bench, const Configuration& c) {
  double floorTime = 0;
  Result total;
  const size_t frames = c.items / c.itemsPerFrame;
  for (int block = 0; block < kBlocks; ++block) {
    floorTime += monitorFloorSeconds(kFrameHeadBytes + c.itemsPerFrame * kFirmwareItemBytes, frames);
    const Result result = bench.measure(c);
    total.seconds += result.seconds;
    total.items += result.items;
    total.lost += result.lost;
    total.wrong += result.wrong;
  }
  const double floorItems = static_cast<double>(kBlocks) * static_cast<double>(frames * c.itemsPerFrame) / floorTime;
  const double items = static_cast<double>(total.items) / total.seconds;
  std::printf("  %-34s %9.0f items/s  %8.0f saturated LIN buses  floor %9.0f items/s  %5.2f x floor  lost %llu, "
              "wrong %llu\n",
              c.name, items, items / kSaturatedLinFramesPerSecond, floorItems, items / floorItems,
              static_cast<unsigned long long>(total.lost), static_cast<unsigned long long>(total.wrong));
  return total.lost == 0 && total.wrong == 0;
}

}  // namespace

int main() {
  InterfaceKind lin;
  lin.firmwareInterface = kLinFirmwareInterface;
  EmulatedInterface interface = startInterface(0, lin);
  qor::test::DaemonProcess daemon(QORAPID_PROGRAM);
  qor::test::connectLibraryToDaemon();
  if (!openInterface(interface)) return 1;
  if (Qor_AsyncCommunication_Enable(interface.port, nullptr) != 0) return 1;

  std::printf("LIN monitor items, emulated bus to application (advanced items of %zu bytes, %d blocks)\n",
              sizeof(Qor_Lin_Monitor_AdvancedItem_t), kBlocks);
  std::printf("  bus limit: a saturated 20 kbit/s LIN bus carries about %.0f frames/s\n", kSaturatedLinFramesPerSecond);
  Bench bench(interface);
  const Configuration configurations[] = {
      {"one item per frame, buffer mode", false, 1, 20000},
      {"one item per frame, callback", true, 1, 20000},
      {"25 items per frame, buffer mode", false, 25, 200000},
      {"25 items per frame, callback", true, 25, 200000},
  };
  bool whole = true;
  for (const Configuration& c : configurations) whole = run(bench, c) && whole;
  return whole ? 0 : 1;
}
