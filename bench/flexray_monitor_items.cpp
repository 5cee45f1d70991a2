// FlexRay monitor entries per second from an emulated cluster to the application through libqor_api_flexray: a node
// of the cluster transmits, the emulated firmware's monitor of the node the application opened sends the entries in
// frames, the core's bus filter puts them into the port's ring and the application reads them with
// Qor_FlexRay_Monitor_GetData and walks them. Every entry carries its serial in its data and is checked for it: lost
// and wrong entries are counted. Printed against the monitor floor of the same run (the same frames through one queue
// hop and one TCP hop, each between two processes, the slower one, in alternating blocks) and against the bus limit:
// frames of this payload on both channels at 10 Mbit/s. Runs inside qor_sandbox.

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

#include "bench_support.hpp"
#include "emulated_interfaces.hpp"
#include "qor_emulator/flexray_cluster.hpp"
#include "qor_emulator/flexray_firmware.hpp"
#include "qor_flexray_monitor.h"
#include "qor_test/daemon_process.hpp"

namespace {

using namespace qor::bench;
using qor::emulator::FlexRayCluster;
using qor::emulator::FlexRayEntry;
using qor::emulator::FlexRayFirmware;
using qor::emulator::FlexRayFrame;

constexpr uint8_t kFlexRayFirmwareInterface = 13;
constexpr uint8_t kMonitoredNode = 1;
constexpr uint8_t kOtherNode = 2;
constexpr uint32_t kRingBytes = 4 * 1024 * 1024;
constexpr size_t kEntryFieldsBeforeData = 8;  // slot, cycle, channels, words, 3 x 0
constexpr size_t kFrameHeadBytes = 12 + qor::emulator::kFlexRayMonitorFrameHeadBytes;
constexpr int kBlocks = 3;

size_t entryBytes(size_t payloadBytes) {
  return (qor::emulator::kFlexRayEntryHeadBytes + kEntryFieldsBeforeData + payloadBytes + 3) & ~size_t{3};
}

// Frames of this payload per second on both channels.
double busLimit(size_t payloadBytes) {
  return 2 * qor::emulator::kFlexRayBitsPerSecond / qor::emulator::flexRayFrameBits(payloadBytes);
}

// The entries as they are read, checked for their serials (the first four data bytes).
class EntryCheck {
 public:
  void take(std::span<const uint8_t> data) {
    whole_ = qor::emulator::walkFlexRayEntries(data,
                                               [&](const FlexRayEntry& entry) {
                                                 uint32_t serial = 0;
                                                 if (entry.kind != QOR_FLEXRAY_MONITOR_RX_FRAME ||
                                                     entry.fields.size() < kEntryFieldsBeforeData + sizeof serial) {
                                                   ++wrong_;
                                                   return;
                                                 }
                                                 std::memcpy(&serial, entry.fields.data() + kEntryFieldsBeforeData,
                                                             sizeof serial);
                                                 if (serial < next_) {
                                                   ++wrong_;
                                                   return;
                                                 }
                                                 lost_ += serial - next_;
                                                 next_ = serial + 1;
                                                 ++entries_;
                                               }) &&
             whole_;
    arrived_ = entries_ + wrong_;
  }
  uint64_t arrived() const { return arrived_; }
  uint64_t entries() const { return entries_; }
  uint64_t wrong() const { return wrong_ + (whole_ ? 0 : 1); }
  uint64_t lost(uint64_t sent) const { return lost_ + (sent - std::min<uint64_t>(sent, next_)); }

 private:
  std::atomic<uint64_t> arrived_{0};
  uint64_t next_ = 0, entries_ = 0, lost_ = 0, wrong_ = 0;
  bool whole_ = true;
};

struct Result {
  double seconds = 0;
  uint64_t entries = 0, lost = 0, wrong = 0, overflows = 0;
};

struct Configuration {
  const char* name;
  size_t payloadBytes;
  size_t entriesPerFrame;
  uint64_t entries;
};

class Bench {
 public:
  explicit Bench(EmulatedInterface& interface)
      : interface_(interface), firmware_(FlexRayFirmware::attachTo(*interface.device, cluster_, {kMonitoredNode})) {
    cluster_.attach(*interface.device, kOtherNode);
  }

  Result measure(const Configuration& c) {
    const uint32_t port = interface_.port;
    firmware_->setEntriesPerFrame(c.entriesPerFrame);
    if (Qor_FlexRay_Monitor_Config(port, 0, kRingBytes) != 0 || Qor_FlexRay_Monitor_Start(port) != 0) return {};
    EntryCheck check;
    std::atomic<uint64_t> overflows{0};
    std::atomic<bool> reading{true};
    std::thread reader([&] {
      std::vector<uint8_t> buffer(kRingBytes);
      while (reading) {
        uint32_t size = kRingBytes;
        uint8_t overflow = 0;
        if (Qor_FlexRay_Monitor_GetData(port, &overflow, &size, buffer.data()) == 0 && size != 0) {
          overflows += overflow;
          check.take(std::span(buffer.data(), size));
        } else {
          std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
      }
    });
    // The ring holds what the reader has not taken; no more than that is sent ahead, so the run measures the rate
    // the application sustains.
    const uint64_t ringEntries = kRingBytes / entryBytes(c.payloadBytes);
    const auto waitForRoom = [&](uint64_t sent) {
      awaitRoom([&] { return uint64_t{check.arrived()}; }, sent + c.entriesPerFrame, ringEntries);
    };
    // The frames become the firmware's monitor frames first; what is timed is their road to the application.
    firmware_->holdFrames(true);
    FlexRayFrame frame{0x10, 0, qor::emulator::kFlexRayChannelsAB, qor::emulator::Bytes(c.payloadBytes, 0x5A)};
    for (uint32_t serial = 0; serial < c.entries; ++serial) {
      frame.slot = static_cast<uint16_t>(1 + serial % 2047);
      std::memcpy(frame.payload.data(), &serial, sizeof serial);
      cluster_.transmit(*interface_.device, kOtherNode, frame);
    }
    firmware_->flush();
    firmware_->holdFrames(false);
    const std::vector<FlexRayFirmware::MonitorFrame> frames = firmware_->takeHeldFrames();
    const auto start = Clock::now();
    uint64_t sent = 0;
    for (const FlexRayFirmware::MonitorFrame& held : frames) {
      waitForRoom(sent);
      interface_.device->sendToApplication(held.application, qor::emulator::Reply(held.frame));
      sent += c.entriesPerFrame;
    }
    const auto last = awaitArrivals([&] { return uint64_t{check.arrived()}; }, c.entries, std::chrono::milliseconds(1));
    reading = false;
    reader.join();
    Qor_FlexRay_Monitor_Config_Off(port);
    return {seconds(last - start), check.entries(), check.lost(c.entries), check.wrong(), overflows};
  }

 private:
  EmulatedInterface& interface_;
  FlexRayCluster cluster_;
  std::shared_ptr<FlexRayFirmware> firmware_;
};

// Blocks of the floor and the product in turn; false when an entry was lost or wrong.
bool run(Bench& bench, const Configuration& c) {
  double floorTime = 0;
  Result total;
  const size_t frames = (c.entries + c.entriesPerFrame - 1) / c.entriesPerFrame;
  for (int block = 0; block < kBlocks; ++block) {
    floorTime += monitorFloorSeconds(kFrameHeadBytes + c.entriesPerFrame * entryBytes(c.payloadBytes), frames);
    const Result result = bench.measure(c);
    total.seconds += result.seconds;
    total.entries += result.entries;
    total.lost += result.lost;
    total.wrong += result.wrong;
    total.overflows += result.overflows;
  }
  const double floorEntries =
      static_cast<double>(kBlocks) * static_cast<double>(frames * c.entriesPerFrame) / floorTime;
  const double entries = total.seconds > 0 ? static_cast<double>(total.entries) / total.seconds : 0;
  std::printf(
      "  %-38s %9.0f entries/s  %6.2f x bus limit (%6.0f/s)  floor %9.0f/s  %5.2f x floor  lost %llu, "
      "wrong %llu, overflows %llu\n",
      c.name, entries, entries / busLimit(c.payloadBytes), busLimit(c.payloadBytes), floorEntries,
      entries / floorEntries, static_cast<unsigned long long>(total.lost), static_cast<unsigned long long>(total.wrong),
      static_cast<unsigned long long>(total.overflows));
  return total.lost == 0 && total.wrong == 0 && total.overflows == 0;
}

}  // namespace

int main() {
  InterfaceKind flexRay;
  flexRay.firmwareInterface = kFlexRayFirmwareInterface;
  EmulatedInterface interface = startInterface(0, flexRay);
  qor::test::DaemonProcess daemon(QORAPID_PROGRAM);
  qor::test::connectLibraryToDaemon();
  if (!openInterface(interface)) return 1;

  std::printf("FlexRay monitor entries, emulated cluster to application (ring of %u bytes, %d blocks)\n", kRingBytes,
              kBlocks);
  std::printf("  bus limit: frames of the payload on channels A and B, 10 Mbit/s each\n");
  Bench bench(interface);
  const Configuration configurations[] = {
      {"8-byte payload, one entry per frame", 8, 1, 20000},
      {"8-byte payload, 140 entries per frame", 8, 140, 400000},
      {"254-byte payload, one entry per frame", 254, 1, 20000},
      {"254-byte payload, 14 entries per frame", 254, 14, 100000},
  };
  bool whole = true;
  for (const Configuration& c : configurations) whole = run(bench, c) && whole;
  return whole ? 0 : 1;
}
