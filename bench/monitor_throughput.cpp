// Monitor data from an emulated device to the application: items and bytes per second into a monitor ring and
// into a monitor callback, with the loss, for single CAN-sized items and for large frames of items. Printed
// against the bus limits a port must carry and against the same bytes through one message-queue hop between two
// processes, measured in the same run. Runs inside qor_sandbox.

#include <atomic>
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
constexpr double kDrainWaitMs = 2000;

std::atomic<uint64_t> gCallbackBytes{0};

struct Result {
  double itemsPerSecond;
  double bytesPerSecond;
  double loss;
};

// The same bytes through one queue hop between two processes, in bytes per second.
double queueBytesPerSecond(size_t messageBytes, int messages) {
  return static_cast<double>(messageBytes) * messages / queueSeconds(messageBytes, static_cast<size_t>(messages));
}

// Sends frames of itemsPerFrame items from the device and measures what arrives.
Result measure(EmulatedInterface& interface, bool callbackMode, size_t itemsPerFrame, int frames) {
  const uint32_t port = interface.port;
  gCallbackBytes = 0;
  if (callbackMode) {
    Qor_Monitor_Init(port, QOR_MONITOR_CALLBACK_MODE,
                     [](uint32_t, void*, const uint8_t*, uint32_t length) { gCallbackBytes += length; }, nullptr, 0,
                     nullptr);
  } else {
    Qor_Monitor_Init(port, 0, nullptr, nullptr, kRingBytes, nullptr);
  }
  std::atomic<bool> reading{true};
  std::atomic<uint64_t> ringBytes{0};
  std::thread reader([&] {
    std::vector<uint8_t> buffer(kRingBytes);
    while (reading) {
      uint32_t size = static_cast<uint32_t>(buffer.size());
      uint8_t lost = 0;
      if (Qor_GetMonitorItems(port, buffer.data(), &size, &lost) == 0 && size != 0) {
        ringBytes += size;
      } else {
        std::this_thread::sleep_for(std::chrono::microseconds(200));
      }
    }
  });
  const std::vector<uint8_t> data(kItemOffset + itemsPerFrame * kItemBytes, 0x5A);
  const uint8_t application = [&] {
    uint32_t value = 0;
    Qor_GetPropertyById(port, 4, &value);
    return static_cast<uint8_t>(value);
  }();
  const uint64_t expected = static_cast<uint64_t>(frames) * itemsPerFrame * kItemBytes;
  const auto received = [&] { return callbackMode ? gCallbackBytes.load() : ringBytes.load(); };
  const auto start = Clock::now();
  for (int i = 0; i < frames; ++i) interface.device->sendToApplication(application, kCanMonitor, data);
  auto last = Clock::now();
  uint64_t seen = received();
  // Done when everything came, or when nothing more came for a while.
  while (seen < expected) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    if (received() != seen) {
      seen = received();
      last = Clock::now();
    } else if (std::chrono::duration<double, std::milli>(Clock::now() - last).count() > kDrainWaitMs) {
      break;
    }
  }
  const double seconds = std::chrono::duration<double>(last - start).count();
  reading = false;
  reader.join();
  Qor_CloseMonitor(port);
  const double items = static_cast<double>(seen) / kItemBytes;
  return {items / seconds, static_cast<double>(seen) / seconds, 1.0 - static_cast<double>(seen) / static_cast<double>(expected)};
}

void report(const char* name, const Result& result, double floorBytesPerSecond) {
  std::printf("  %-34s %10.0f items/s %8.1f MB/s  loss %5.2f%%  %6.1f saturated CAN buses  %5.2f x floor\n", name,
              result.itemsPerSecond, result.bytesPerSecond / 1e6, 100 * result.loss,
              result.itemsPerSecond / kSaturatedCanFramesPerSecond, result.bytesPerSecond / floorBytesPerSecond);
}

} // namespace

int main() {
  constexpr size_t kLargeItems = 160; // about 4 KB of items, the largest frame this port's queues carry
  const double smallFloor = queueBytesPerSecond(12 + 12 + kItemOffset + kItemBytes, 200000);
  const double largeFloor = queueBytesPerSecond(12 + 12 + kItemOffset + kLargeItems * kItemBytes, 20000);

  EmulatedInterface interface = startInterface(0);
  qor::test::DaemonProcess daemon(QORAPID_PROGRAM);
  qor::test::connectLibraryToDaemon();
  if (!openInterface(interface)) return 1;

  std::printf("monitor throughput, emulated device to application (CAN items of %zu bytes)\n", kItemBytes);
  std::printf("  bus limits: saturated 1 Mbit/s CAN %.0f frames/s; 10 such buses %.0f; CAN FD 8 Mbit/s %.0f frames of 64 bytes\n",
              kSaturatedCanFramesPerSecond, 10 * kSaturatedCanFramesPerSecond, kSaturatedCanFdFramesPerSecond);
  std::printf("  floor (one queue hop): single items %.1f MB/s, large frames %.1f MB/s\n", smallFloor / 1e6,
              largeFloor / 1e6);
  report("one item per frame, ring", measure(interface, false, 1, 100000), smallFloor);
  report("one item per frame, callback", measure(interface, true, 1, 100000), smallFloor);
  report("160 items per frame, ring", measure(interface, false, kLargeItems, 20000), largeFloor);
  report("160 items per frame, callback", measure(interface, true, kLargeItems, 20000), largeFloor);
  return 0;
}
