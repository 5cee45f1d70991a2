// Trace capture through the daemon and the emulator, per bus: the other node of an emulated CAN bus, LIN bus,
// FlexRay cluster and Ethernet link sends, the firmware's monitor of the recorded interface turns what it hears into
// items, and a trace channel polls them into the trace. Entries per second against the floor of the same monitor
// answers (one queue hop and one TCP hop, each between two processes; the slower one) in alternating blocks of one
// run, against what one poll every 10 ms of at most 4000 bytes carries, and against a saturated bus. Every frame sent
// must be recorded. Runs inside qor_sandbox.
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "bench_support.hpp"
#include "emulated_interfaces.hpp"
#include "qor_emulator/can_bus.hpp"
#include "qor_emulator/can_monitor_firmware.hpp"
#include "qor_emulator/trace_monitor_firmware.hpp"
#include "qor_test/daemon_process.hpp"
#include "qor_trace_monitor.h"

namespace {

using namespace qor::bench;
namespace emulator = qor::emulator;

constexpr int kBlocks = 3;
constexpr uint8_t kRecorded = 1;
constexpr uint8_t kSender = 2;
constexpr uint64_t kAhead = 2000;       // frames the sender keeps ahead of the trace, more than a poll takes
constexpr size_t kAnswerRoom = 4000;    // of the emulated firmware's poll answers
constexpr size_t kAnswerHead = 12 + 8;  // frame header and the answer's head
constexpr double kPollsPerSecond = 100;

// A bus of the benchmark: what its firmware's items take, what its other node sends.
struct Bus {
  const char* name;
  size_t itemBytes;
  double saturatedPerSecond;
  uint64_t entries;
  std::function<void(const emulator::Device& device, uint64_t serial)> send;
};

struct Result {
  double seconds = 0;
  uint64_t recorded = 0;
};

uint64_t entryCount(uint32_t trace) {
  uint32_t value = 0, length = sizeof value;
  if (Qor_Trace_Property_GetById(trace, 0, QOR_TRACE_PROPERTY_ENTRY_COUNT, &length,
                                 reinterpret_cast<uint8_t*>(&value)) != 0) {
    return 0;
  }
  return value;
}

// One recording of the bus's entries by a new trace; nothing recorded when the trace refused.
Result record(const Bus& bus, EmulatedInterface& interface) {
  uint32_t trace = 0;
  if (Qor_Trace_Allocate(0, &trace) != 0) return {};
  const Qor_Trace_ChannelInfo_t info{0, interface.port, 0};
  Qor_Trace_ChannelResult_t channel{};
  if (Qor_Trace_AddChannel(trace, &info, &channel) != 0 || Qor_Trace_Start(trace, 0) != 0) {
    std::printf("  %s: %s\n", bus.name, Qor_GetLastErrorDescription());
    Qor_Trace_Delete(trace);
    return {};
  }
  const auto arrived = [trace] { return entryCount(trace); };
  const auto start = Clock::now();
  for (uint64_t serial = 0; serial < bus.entries; ++serial) {
    awaitRoom(arrived, serial + 1, kAhead);
    bus.send(*interface.device, serial);
  }
  const auto last = awaitArrivals(arrived, bus.entries, std::chrono::milliseconds(1));
  Result result{seconds(last - start), 0};
  if (Qor_Trace_Stop(trace) != 0) std::printf("  %s: %s\n", bus.name, Qor_GetLastErrorDescription());
  result.recorded = entryCount(trace);
  Qor_Trace_Delete(trace);
  return result;
}

bool run(const Bus& bus, EmulatedInterface& interface) {
  const size_t itemsPerAnswer = kAnswerRoom / bus.itemBytes;
  const size_t answers = (bus.entries + itemsPerAnswer - 1) / itemsPerAnswer;
  double floorSeconds = 0;
  Result total;
  for (int block = 0; block < kBlocks; ++block) {
    floorSeconds += monitorFloorSeconds(kAnswerHead + itemsPerAnswer * bus.itemBytes, answers);
    const Result result = record(bus, interface);
    total.seconds += result.seconds;
    total.recorded += result.recorded;
  }
  const uint64_t sent = bus.entries * kBlocks;
  const double rate = static_cast<double>(total.recorded) / total.seconds;
  const double floorRate = static_cast<double>(sent) / floorSeconds;
  const double pollLimit = static_cast<double>(itemsPerAnswer) * kPollsPerSecond;
  std::printf("  %-22s %8.0f %11.0f %8.4f %10.0f %8.3f %10.2f %8llu\n", bus.name, rate, floorRate, rate / floorRate,
              pollLimit, rate / pollLimit, rate / bus.saturatedPerSecond,
              static_cast<unsigned long long>(sent - std::min(sent, total.recorded)));
  return total.recorded == sent;
}

emulator::EthernetFrame ethernetFrame(size_t frameBytes, uint64_t serial) {
  std::vector<uint8_t> payload(frameBytes - emulator::kEthernetHeaderBytes);
  fillPattern(payload, serial);
  return emulator::EthernetFrame::make(emulator::kBroadcastMac, {0x02, 0, 0, 0, 0, kSender}, 0x88B5, payload);
}

}  // namespace

int main() {
  constexpr InterfaceKind kCan{};
  constexpr InterfaceKind kLin{58, 61, 3};
  constexpr InterfaceKind kFlexRay{58, 61, 13};
  constexpr InterfaceKind kEthernet{58, 61, 24};
  EmulatedInterface can = startInterface(0, kCan), lin = startInterface(1, kLin),
                    flexRay = startInterface(2, kFlexRay), ethernet = startInterface(3, kEthernet);

  emulator::CanBus canBus;
  canBus.attach(*can.device, kRecorded);
  canBus.attach(*can.device, kSender);
  const auto canFirmware = emulator::CanMonitorFirmware::attachTo(*can.device, canBus, {kRecorded});
  emulator::LinBus linBus;
  linBus.attach(*lin.device, kSender);
  const auto linFirmware = emulator::TraceMonitorFirmware::attachTo(*lin.device, linBus, {kRecorded});
  emulator::FlexRayCluster cluster;
  cluster.attach(*flexRay.device, kSender);
  const auto flexRayFirmware = emulator::TraceMonitorFirmware::attachTo(*flexRay.device, cluster, {kRecorded});
  emulator::EthernetLink link;
  link.attach(*ethernet.device, kSender);
  const auto ethernetFirmware = emulator::TraceMonitorFirmware::attachTo(*ethernet.device, link, {kRecorded});

  qor::test::DaemonProcess daemon(QORAPID_PROGRAM);
  qor::test::connectLibraryToDaemon();
  for (EmulatedInterface* interface : {&can, &lin, &flexRay, &ethernet}) {
    if (!openInterface(*interface)) return 1;
  }

  std::vector<uint8_t> data(16);
  const Bus buses[] = {
      {"CAN, 8 bytes", 24, 1e6 / 111, 30000,
       [&](const emulator::Device& device, uint64_t serial) {
         fillPattern({data.data(), 8}, serial);
         canBus.transmit(device, kSender,
                         {static_cast<uint32_t>(serial % 0x7FF), 0, 8, {data.begin(), data.begin() + 8}});
       }},
      {"LIN, 8 bytes", 20 + 9, 20e3 / 124, 20000,
       [&](const emulator::Device& device, uint64_t serial) {
         fillPattern({data.data(), 8}, serial);
         linBus.transmit(device, kSender, {static_cast<uint8_t>(serial % 60), {data.begin(), data.begin() + 8}});
       }},
      {"FlexRay, 16 bytes", 20 + 16, emulator::kFlexRayBitsPerSecond / emulator::flexRayFrameBits(16),
       20000,
       [&](const emulator::Device& device, uint64_t serial) {
         fillPattern(data, serial);
         cluster.transmit(device, kSender,
                          {static_cast<uint16_t>(1 + serial % 60), static_cast<uint8_t>(serial % 64),
                           emulator::kFlexRayChannelA, data});
       }},
      // 100 Mbit/s: each frame with its preamble, check sum and gap.
      {"Ethernet, 64 bytes", 16 + 64, 100e6 / ((64 + 4 + 20) * 8), 10000,
       [&](const emulator::Device& device, uint64_t serial) {
         link.transmit(device, kSender, ethernetFrame(64, serial));
       }},
      {"Ethernet, 1514 bytes", 16 + 1514, 100e6 / ((1514 + 4 + 20) * 8), 400,
       [&](const emulator::Device& device, uint64_t serial) {
         link.transmit(device, kSender, ethernetFrame(1514, serial));
       }},
  };
  EmulatedInterface* interfaces[] = {&can, &lin, &flexRay, &ethernet, &ethernet};

  std::printf("Trace capture, emulated bus to trace through the daemon (%d alternating blocks)\n", kBlocks);
  std::printf("  %-22s %8s %11s %8s %10s %8s %10s %8s\n", "bus", "entries/s", "floor e/s", "x floor", "poll limit",
              "x limit", "x sat. bus", "lost");
  bool whole = true;
  for (size_t index = 0; index < std::size(buses); ++index) {
    whole = run(buses[index], *interfaces[index]) && whole;
    std::fflush(stdout);
  }
  std::printf("  poll limit: entries one poll of %zu bytes every 10 ms carries; x sat. bus: against a saturated bus "
              "(CAN 1 Mbit/s, LIN 20 kbit/s, FlexRay 10 Mbit/s, Ethernet 100 Mbit/s)\n",
              kAnswerRoom);
  return whole ? 0 : 1;
}
