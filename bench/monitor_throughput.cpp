// Monitor data from an emulated device to the application: items and bytes per second into a monitor ring and
// into a monitor callback, for single CAN-sized items and for large frames of items. Every item carries its serial
// in its time stamp and is checked for it and for its bytes: lost and wrong items are counted. Printed against the
// bus limits a port must carry and against its floor in alternating blocks of one run: the same messages through
// one queue hop and one TCP hop, each between two processes; the daemon overlaps the hops, so the floor is the
// slower one. Runs inside qor_sandbox.

#include <algorithm>
#include <atomic>
#include <cstring>
#include <mutex>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "bench_support.hpp"
#include "emulated_interfaces.hpp"
#include "qor_test/daemon_process.hpp"

namespace {

using namespace qor::bench;

constexpr uint8_t kCanMonitor = 0xF1;
// A CAN monitor item: 64-bit time stamp, identifier, flags, length and 8 data bytes.
constexpr size_t kItemBytes = 24;
constexpr size_t kItemOffset = 4; // items start at frame byte 16, four bytes into the frame's data
constexpr double kSaturatedCanFramesPerSecond = 21000;
constexpr double kSaturatedCanFdFramesPerSecond = 13000;
constexpr uint32_t kRingBytes = 8 * 1024 * 1024;
constexpr int kBlocks = 7;
constexpr uint8_t kItemFill = 0x5A;

// The items as they arrive, checked for their serials (in the time stamp) and their bytes.
class ItemCheck {
 public:
  void take(const uint8_t* data, size_t length) {
    pending_.insert(pending_.end(), data, data + length);
    size_t used = 0;
    for (; pending_.size() - used >= kItemBytes; used += kItemBytes) {
      const uint8_t* item = pending_.data() + used;
      uint64_t serial = 0;
      memcpy(&serial, item, sizeof serial);
      const bool intact = std::all_of(item + sizeof serial, item + kItemBytes, [](uint8_t b) { return b == kItemFill; });
      if (!intact || serial < next_) {
        ++wrong_;
        continue;
      }
      lost_ += serial - next_;
      next_ = serial + 1;
      ++items_;
    }
    pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(used));
  }
  uint64_t items() const { return items_; }
  uint64_t wrong() const { return wrong_; }
  // Items that did not come, of the first sent ones.
  uint64_t lost(uint64_t sent) const { return lost_ + (sent - std::min(sent, next_)); }

 private:
  std::vector<uint8_t> pending_;
  uint64_t next_ = 0, items_ = 0, lost_ = 0, wrong_ = 0;
};

std::mutex gCheckLock;
ItemCheck* gCallbackCheck = nullptr;

struct Result {
  double seconds = 0;
  uint64_t items = 0;
  uint64_t lost = 0;
  uint64_t wrong = 0;
};

// The frames of a block: frames of itemsPerFrame items, their serials counting from 0, as the device sends them.
// Built ahead: building them is the device's work, not the road's (the floor's sender, too, sends bytes it has).
std::vector<qor::emulator::Reply> blockFrames(EmulatedInterface& interface, size_t itemsPerFrame, int frames) {
  const auto application = applicationOf(interface.port);
  std::vector<qor::emulator::Reply> built;
  std::vector<uint8_t> data(kItemOffset + itemsPerFrame * kItemBytes, kItemFill);
  uint64_t serial = 0;
  for (int i = 0; i < frames; ++i) {
    for (size_t item = 0; item < itemsPerFrame; ++item, ++serial) {
      memcpy(data.data() + kItemOffset + item * kItemBytes, &serial, sizeof serial);
    }
    auto frame = interface.device->responseFrame(application, kCanMonitor, data);
    if (!frame) return {};
    built.emplace_back(std::move(*frame));
  }
  return built;
}

// Sends the frames from the device and measures what arrives, until all came or nothing more came for a while.
Result measure(EmulatedInterface& interface, bool callbackMode, size_t itemsPerFrame,
               const std::vector<qor::emulator::Reply>& frames) {
  const uint32_t port = interface.port;
  ItemCheck check;
  std::atomic<uint64_t> seenItems{0};
  if (callbackMode) {
    {
      std::lock_guard lock(gCheckLock);
      gCallbackCheck = &check;
    }
    Qor_Monitor_Init(port, QOR_MONITOR_CALLBACK_MODE,
                     [](uint32_t, void*, const uint8_t* data, uint32_t length) {
                       std::lock_guard lock(gCheckLock);
                       if (gCallbackCheck != nullptr) gCallbackCheck->take(data, length);
                     },
                     nullptr, 0, nullptr);
  } else {
    Qor_Monitor_Init(port, 0, nullptr, nullptr, kRingBytes, nullptr);
  }
  std::atomic<bool> reading{!callbackMode};
  std::thread reader([&] {
    std::vector<uint8_t> buffer(kRingBytes);
    while (reading) {
      uint32_t size = static_cast<uint32_t>(buffer.size());
      uint8_t lost = 0;
      if (Qor_GetMonitorItems(port, buffer.data(), &size, &lost) == 0 && size != 0) {
        check.take(buffer.data(), size);
        seenItems = check.items() + check.wrong();
      } else {
        std::this_thread::sleep_for(std::chrono::microseconds(200));
      }
    }
  });
  const auto application = applicationOf(port);
  const uint64_t sent = frames.size() * itemsPerFrame;
  const auto arrived = [&]() -> uint64_t {
    if (!callbackMode) return seenItems.load();
    std::lock_guard lock(gCheckLock);
    return check.items() + check.wrong();
  };
  // A ring holds what the application has not taken yet, and drops what does not fit, as a bus does not wait: the
  // device sends no more than the ring holds ahead of the reader, so that the run measures the rate the application
  // sustains. Items lost even so are counted. A callback runs on the library's reader and slows the device itself.
  const uint64_t ringItems = kRingBytes / kItemBytes;
  const auto waitForRoom = [&](uint64_t sentItems) {
    awaitRoom([&] { return uint64_t{arrived()}; }, sentItems + itemsPerFrame, ringItems);
  };
  const auto start = Clock::now();
  uint64_t serial = 0;
  for (const qor::emulator::Reply& frame : frames) {
    if (!callbackMode) waitForRoom(serial);
    interface.device->sendToApplication(application, frame);
    serial += itemsPerFrame;
  }
  const auto last = awaitArrivals([&] { return uint64_t{arrived()}; }, sent, std::chrono::milliseconds(1));
  reading = false;
  reader.join();
  Qor_CloseMonitor(port);
  std::lock_guard lock(gCheckLock);
  gCallbackCheck = nullptr;
  return {seconds(last - start), check.items(), check.lost(sent), check.wrong()};
}

// The slower of the two hops for frames of this many items, in seconds.
double floorSeconds(size_t itemsPerFrame, int frames) {
  return monitorFloorSeconds(12 + kItemOffset + itemsPerFrame * kItemBytes, static_cast<size_t>(frames));
}

struct Configuration {
  const char* name;
  bool callbackMode;
  size_t itemsPerFrame;
  int framesPerBlock;
};

// Blocks of the floor and the product in turn; false when an item was lost or wrong.
bool run(EmulatedInterface& interface, const Configuration& c) {
  const auto frames = blockFrames(interface, c.itemsPerFrame, c.framesPerBlock);
  if (frames.empty()) {
    std::printf("  %-30s the device has no route to the application\n", c.name);
    return false;
  }
  double floorTime = 0;
  Result total;
  for (int block = 0; block < kBlocks; ++block) {
    floorTime += floorSeconds(c.itemsPerFrame, c.framesPerBlock);
    const Result result = measure(interface, c.callbackMode, c.itemsPerFrame, frames);
    total.seconds += result.seconds;
    total.items += result.items;
    total.lost += result.lost;
    total.wrong += result.wrong;
  }
  const double floorItems = static_cast<double>(kBlocks) * c.framesPerBlock * c.itemsPerFrame / floorTime;
  const double items = static_cast<double>(total.items) / total.seconds;
  std::printf("  %-30s %10.0f items/s %7.1f MB/s  %6.1f saturated CAN buses  floor %10.0f items/s  %5.2f x floor  "
              "lost %llu, wrong %llu\n",
              c.name, items, items * kItemBytes / 1e6, items / kSaturatedCanFramesPerSecond, floorItems,
              items / floorItems, static_cast<unsigned long long>(total.lost), static_cast<unsigned long long>(total.wrong));
  return total.lost == 0 && total.wrong == 0;
}

} // namespace

int main() {
  constexpr size_t kLargeItems = 160; // about 4 KB of items, the largest frame this port's queues carry
  EmulatedInterface interface = startInterface(0);
  qor::test::DaemonProcess daemon(QORAPID_PROGRAM);
  qor::test::connectLibraryToDaemon();
  if (!openInterface(interface)) return 1;

  std::printf("monitor throughput, emulated device to application (CAN items of %zu bytes, %d blocks)\n", kItemBytes,
              kBlocks);
  std::printf("  bus limits: saturated 1 Mbit/s CAN %.0f frames/s; 10 such buses %.0f; CAN FD 8 Mbit/s %.0f frames of 64 bytes\n",
              kSaturatedCanFramesPerSecond, 10 * kSaturatedCanFramesPerSecond, kSaturatedCanFdFramesPerSecond);
  const Configuration configurations[] = {
      {"one item per frame, ring", false, 1, 30000},
      {"one item per frame, callback", true, 1, 30000},
      {"160 items per frame, ring", false, kLargeItems, 5000},
      {"160 items per frame, callback", true, kLargeItems, 5000},
  };
  bool whole = true;
  for (const Configuration& c : configurations) whole = run(interface, c) && whole;
  return whole ? 0 : 1;
}
