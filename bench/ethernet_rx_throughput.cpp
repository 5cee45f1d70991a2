// Ethernet receive paths from an emulated link to the application through libqor_api_ethernet, in frames and bytes
// per second: node 2 sends real Ethernet frames (minimum and maximum size, each carrying its serial), and node 1's
// emulated firmware either cuts them into fragments for a receive FIFO, which the library reads back and joins into
// whole frames, or pushes them as monitor items into the library's host ring, which a reader thread drains. Lost and
// wrong frames are counted. Printed against the floor of the same run (the receive FIFO: one synchronous round trip
// per read answer of the same size; the monitor: the same frames through one queue hop and one TCP hop, in
// alternating blocks) and against the link rates of 100 Mbit/s and 1 Gbit/s; then the library's reassembly and
// ring ingest alone, in this process. Runs inside qor_sandbox.

#include <atomic>
#include <cstdio>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

#include "bench_support.hpp"
#include "emulated_interfaces.hpp"
#include "monitor_ring.hpp"
#include "qor_emulator/ethernet_link.hpp"
#include "qor_emulator/ethernet_monitor_firmware.hpp"
#include "qor_emulator/ethernet_rx_fifo_firmware.hpp"
#include "qor_ethernet_monitor.h"
#include "qor_ethernet_rx_fifo.h"
#include "qor_test/daemon_process.hpp"
#include "rx_fifo_fragments.hpp"

namespace {

using namespace qor::bench;
using qor::emulator::EthernetFrame;
using qor::emulator::EthernetLink;

// Per direction, with preamble, start delimiter, FCS and the inter-frame gap (20 bytes more than the frame here).
struct LinkRate {
  const char* name;
  double bitsPerSecond;
  double framesPerSecond(size_t frameBytes) const { return bitsPerSecond / (8.0 * (frameBytes + 4 + 20)); }
  double bytesPerSecond() const { return bitsPerSecond / 8; }
};
constexpr LinkRate kLinks[] = {{"100 Mbit/s", 100e6}, {"1 Gbit/s", 1e9}};

constexpr uint8_t kSender = 2;
constexpr size_t kFragmentBytes = 512;
constexpr size_t kAnswerRoom = 4000;  // the emulated firmware's read answers and monitor frames
constexpr size_t kFrameHead = 12;     // of a firmware frame
constexpr size_t kReadAnswerHead = 12;
constexpr size_t kSerialOffset = 14;  // behind the Ethernet header
constexpr int kBlocks = 3;
constexpr qor::emulator::MacAddress kSenderMac{0x02, 0, 0, 0, 0, 0x02};

EthernetFrame frameWithSerial(size_t frameBytes, uint64_t serial) {
  std::vector<uint8_t> payload(frameBytes - 14, 0x5A);
  std::memcpy(payload.data(), &serial, sizeof serial);
  return EthernetFrame::make(qor::emulator::kBroadcastMac, kSenderMac, 0x88B5, payload);
}

uint64_t serialOf(const uint8_t* frame) {
  uint64_t serial = 0;
  std::memcpy(&serial, frame + kSerialOffset, sizeof serial);
  return serial;
}

class SerialCheck {
 public:
  void take(uint64_t serial) {
    if (serial < next_) {
      ++wrong_;
      return;
    }
    lost_ += serial - next_;
    next_ = serial + 1;
    ++frames_;
  }
  uint64_t frames() const { return frames_; }
  uint64_t wrong() const { return wrong_; }
  uint64_t lost(uint64_t sent) const { return lost_ + (sent - std::min<uint64_t>(sent, next_)); }

 private:
  uint64_t next_ = 0, frames_ = 0, lost_ = 0, wrong_ = 0;
};

struct Result {
  double seconds = 0;
  double floorSeconds = 0;
  uint64_t frames = 0, lost = 0, wrong = 0;
};

void print(const char* name, size_t frameBytes, const Result& total) {
  const double frames = total.seconds > 0 ? static_cast<double>(total.frames) / total.seconds : 0;
  const double bytes = frames * static_cast<double>(frameBytes);
  const double floorFrames = total.floorSeconds > 0 ? static_cast<double>(total.frames) / total.floorSeconds : 0;
  std::printf("  %-36s %9.0f frames/s %7.1f MB/s  floor %9.0f frames/s  %5.2f x floor", name, frames, bytes / 1e6,
              floorFrames, floorFrames > 0 ? frames / floorFrames : 0);
  for (const LinkRate& link : kLinks) {
    std::printf("  %5.2f x %s (%.2f x bytes)", frames / link.framesPerSecond(frameBytes), link.name,
                bytes / link.bytesPerSecond());
  }
  std::printf("  lost %llu, wrong %llu\n", static_cast<unsigned long long>(total.lost),
              static_cast<unsigned long long>(total.wrong));
}

// ---------------------------------------------------------------- receive FIFO

// Seconds of the round trips that carry the answers the firmware gives for these frames.
double fifoFloorSeconds(RoundTripFloor& floor, size_t frameBytes, size_t frames) {
  std::vector<size_t> fragments;
  for (size_t frame = 0; frame < frames; ++frame) {
    for (size_t offset = 0; offset < frameBytes; offset += kFragmentBytes) {
      fragments.push_back(4 + std::min(kFragmentBytes, frameBytes - offset));
    }
  }
  const auto begin = Clock::now();
  uint64_t serial = 0;
  for (size_t next = 0; next < fragments.size();) {
    size_t answer = 0;
    for (size_t count = 0; next < fragments.size() && (count == 0 || answer + fragments[next] <= kAnswerRoom);
         ++count) {
      answer += fragments[next++];
    }
    floor.round(kReadAnswerHead + answer, serial++);
  }
  return seconds(Clock::now() - begin);
}

Result fifoBlock(EthernetLink& link, EmulatedInterface& node, uint32_t fifoId, size_t frameBytes, size_t frames) {
  for (uint64_t serial = 0; serial < frames; ++serial) {
    link.transmit(*node.device, kSender, frameWithSerial(frameBytes, serial));
  }
  SerialCheck check;
  std::vector<uint8_t> buffer(256 * 1024);
  const auto begin = Clock::now();
  uint32_t remaining = 1;
  while (check.frames() + check.wrong() < frames && remaining > 0) {
    uint32_t count = 0, size = static_cast<uint32_t>(buffer.size());
    if (Qor_Ethernet_RxFifo_Read(node.port, 0, fifoId, &count, &size, &remaining, buffer.data()) != 0) {
      std::printf("  read failed: %s\n", Qor_GetLastErrorDescription());
      break;
    }
    for (size_t offset = 0, frame = 0; frame < count; ++frame) {
      Qor_Ethernet_RxFifo_FrameHead_t head;
      std::memcpy(&head, buffer.data() + offset, sizeof head);
      if (head.dataLength == frameBytes) {
        check.take(serialOf(buffer.data() + offset + sizeof head));
      } else {
        check.take(UINT64_MAX - 1);
      }
      offset += head.entrySize;
    }
  }
  return {seconds(Clock::now() - begin), 0, check.frames(), check.lost(frames), check.wrong()};
}

bool receiveFifo(EthernetLink& link, EmulatedInterface& node, RoundTripFloor& floor) {
  const Qor_Ethernet_RxFifo_Configuration_t configuration{0, 0, 0, 64, kFragmentBytes, 0};
  uint32_t fifoId = 0;
  if (Qor_Ethernet_RxFifo_Config(node.port, &configuration, &fifoId) != 0) {
    std::printf("  configuration failed: %s\n", Qor_GetLastErrorDescription());
    return false;
  }
  bool whole = true;
  const struct {
    const char* name;
    size_t frameBytes;
    size_t frames;
  } runs[] = {{"receive FIFO, 60-byte frames", 60, 30000},
              {"receive FIFO, 1514-byte frames (3 fragments)", 1514, 10000}};
  for (const auto& run : runs) {
    Result total;
    for (int block = 0; block < kBlocks; ++block) {
      total.floorSeconds += fifoFloorSeconds(floor, run.frameBytes, run.frames);
      const Result result = fifoBlock(link, node, fifoId, run.frameBytes, run.frames);
      total.seconds += result.seconds;
      total.frames += result.frames;
      total.lost += result.lost;
      total.wrong += result.wrong;
    }
    print(run.name, run.frameBytes, total);
    whole = whole && total.lost == 0 && total.wrong == 0;
  }
  const Qor_Ethernet_RxFifo_Key_t key{0, fifoId};
  Qor_Ethernet_RxFifo_Delete(node.port, &key);
  return whole;
}

// ---------------------------------------------------------------- monitor into the host ring

Result monitorBlock(EthernetLink& link, EmulatedInterface& node, qor::emulator::EthernetMonitorFirmware& firmware,
                    size_t frameBytes, size_t frames) {
  SerialCheck check;
  std::atomic<uint64_t> arrived{0};
  std::atomic<bool> reading{true};
  std::thread reader([&] {
    std::vector<uint8_t> buffer(1 << 20);
    while (reading) {
      uint16_t items = 0;
      uint32_t size = static_cast<uint32_t>(buffer.size());
      if (Qor_Ethernet_Monitor_GetData(node.port, &items, &size, buffer.data()) != 0 || items == 0) {
        std::this_thread::sleep_for(std::chrono::microseconds(200));
        continue;
      }
      for (size_t offset = 0, item = 0; item < items; ++item) {
        Ethernet_Param_Monitor_Item_t head;
        std::memcpy(&head, buffer.data() + offset, sizeof head);
        if (head.itemBytes == frameBytes + sizeof head) {
          check.take(serialOf(buffer.data() + offset + sizeof head));
        } else {
          check.take(UINT64_MAX - 1);
        }
        offset += head.itemBytes;
      }
      arrived = check.frames() + check.wrong();
    }
  });
  const auto begin = Clock::now();
  for (uint64_t serial = 0; serial < frames; ++serial) {
    link.transmit(*node.device, kSender, frameWithSerial(frameBytes, serial));
  }
  firmware.flush();
  const auto last = awaitArrivals([&] { return uint64_t{arrived}; }, frames, std::chrono::microseconds(200));
  reading = false;
  reader.join();
  return {seconds(last - begin), 0, check.frames(), check.lost(frames), check.wrong()};
}

bool monitorRing(EthernetLink& link, EmulatedInterface& node, qor::emulator::EthernetMonitorFirmware& firmware) {
  if (Qor_Ethernet_Monitor_Config(node.port, QOR_ETHERNET_MONITOR_HOST_RING) != 0 ||
      Qor_Ethernet_Monitor_Start(node.port) != 0) {
    std::printf("  monitor start failed: %s\n", Qor_GetLastErrorDescription());
    return false;
  }
  bool whole = true;
  const struct {
    const char* name;
    size_t frameBytes;
    size_t frames;
  } runs[] = {{"monitor ring, 60-byte frames", 60, 60000}, {"monitor ring, 1514-byte frames", 1514, 20000}};
  for (const auto& run : runs) {
    const size_t itemBytes = 12 + run.frameBytes;
    const size_t itemsPerFrame = std::max<size_t>(1, (kAnswerRoom - 8) / itemBytes);
    firmware.setItemsPerFrame(itemsPerFrame);
    const size_t firmwareFrames = (run.frames + itemsPerFrame - 1) / itemsPerFrame;
    Result total;
    for (int block = 0; block < kBlocks; ++block) {
      total.floorSeconds += monitorFloorSeconds(kFrameHead + 8 + itemsPerFrame * itemBytes, firmwareFrames);
      const Result result = monitorBlock(link, node, firmware, run.frameBytes, run.frames);
      total.seconds += result.seconds;
      total.frames += result.frames;
      total.lost += result.lost;
      total.wrong += result.wrong;
    }
    print(run.name, run.frameBytes, total);
    whole = whole && total.lost == 0 && total.wrong == 0;
  }
  Qor_Ethernet_Monitor_Reset(node.port);
  return whole;
}

// ---------------------------------------------------------------- the library alone

// Answers of fragments as the firmware gives them, joined and delivered into a buffer of 64 KiB per read.
void reassemblyAlone(size_t frameBytes) {
  constexpr int kRounds = 200;
  std::vector<uint8_t> area;
  uint32_t fragments = 0;
  size_t frames = 0;
  for (; area.size() + frameBytes + 4 * ((frameBytes + kFragmentBytes - 1) / kFragmentBytes) <= 32744; ++frames) {
    const EthernetFrame frame = frameWithSerial(frameBytes, frames);
    for (size_t offset = 0; offset < frameBytes; offset += kFragmentBytes, ++fragments) {
      const size_t length = std::min(kFragmentBytes, frameBytes - offset);
      area.push_back(static_cast<uint8_t>(length));
      area.push_back(static_cast<uint8_t>(length >> 8));
      area.push_back(0);
      area.push_back(offset + length < frameBytes ? qor::ethernet::kFragmentContinues : 0);
      area.insert(area.end(), frame.bytes.begin() + offset, frame.bytes.begin() + offset + length);
    }
  }
  qor::ethernet::HeldFragments held(2 * 32756);
  std::vector<uint8_t> buffer(64 * 1024);
  size_t delivered = 0;
  const auto begin = Clock::now();
  for (int round = 0; round < kRounds; ++round) {
    held.take(area, fragments);
    qor::ethernet::FrameDelivery delivery(held, buffer, 0);
    delivery.deliver();
    delivery.commit();
    delivered += delivery.frames();
  }
  const double rate = static_cast<double>(delivered) / seconds(Clock::now() - begin);
  std::printf(
      "  reassembly alone, %4zu-byte frames: %.2f M frames/s, %.0f MB/s (%.1f x 1 Gbit/s frames, %.1f x "
      "bytes)\n",
      frameBytes, rate / 1e6, rate * frameBytes / 1e6, rate / kLinks[1].framesPerSecond(frameBytes),
      rate * frameBytes / kLinks[1].bytesPerSecond());
}

// Blocks of items into the ring and out again into a 1 MiB buffer, once around the whole ring: the first time
// through fresh memory (every page touched first), then again through memory in use.
void ringAlone(size_t frameBytes) {
  const size_t itemBytes = 12 + frameBytes;
  std::vector<uint8_t> block = {3, 0, 0, 0, 0, 0, 0, 0};
  while (block.size() + itemBytes <= 32756) {
    std::vector<uint8_t> item(itemBytes, 0x5A);
    item[0] = static_cast<uint8_t>(itemBytes);
    item[1] = static_cast<uint8_t>(itemBytes >> 8);
    block.insert(block.end(), item.begin(), item.end());
  }
  qor::ethernet::MonitorRing ring(QOR_ETHERNET_MONITOR_RING_BYTES);
  std::vector<uint8_t> out(1 << 20);
  const size_t rounds = QOR_ETHERNET_MONITOR_RING_BYTES / block.size() + 1;
  double rates[2] = {};
  for (double& rate : rates) {
    size_t moved = 0;
    const auto begin = Clock::now();
    for (size_t round = 0; round < rounds; ++round) {
      ring.deliver(block);
      moved += ring.read(out, UINT16_MAX).items;
    }
    rate = static_cast<double>(moved) / seconds(Clock::now() - begin);
  }
  for (int pass = 0; pass < 2; ++pass) {
    std::printf(
        "  ring ingest and read alone, %4zu-byte frames, %s: %.2f M frames/s, %.0f MB/s (%.1f x 1 Gbit/s "
        "frames, %.1f x bytes)\n",
        frameBytes, pass == 0 ? "fresh memory" : "memory in use", rates[pass] / 1e6, rates[pass] * frameBytes / 1e6,
        rates[pass] / kLinks[1].framesPerSecond(frameBytes), rates[pass] * frameBytes / kLinks[1].bytesPerSecond());
  }
}

}  // namespace

int main() {
  constexpr qor::bench::InterfaceKind kEthernetNode{58, 61, 24};
  EmulatedInterface fifoNode = startInterface(0, kEthernetNode);
  EmulatedInterface monitorNode = startInterface(1, kEthernetNode);
  EthernetLink fifoLink, monitorLink;
  for (uint8_t number : {uint8_t{1}, kSender}) {
    fifoLink.attach(*fifoNode.device, number);
    monitorLink.attach(*monitorNode.device, number);
  }
  auto fifoFirmware = qor::emulator::EthernetRxFifoFirmware::attachTo(*fifoNode.device, fifoLink, {1});
  fifoFirmware->setAnswerRoom(kAnswerRoom);
  auto monitorFirmware = qor::emulator::EthernetMonitorFirmware::attachTo(*monitorNode.device, monitorLink, {1});
  qor::test::DaemonProcess daemon(QORAPID_PROGRAM);
  qor::test::connectLibraryToDaemon();
  if (!openInterface(fifoNode) || !openInterface(monitorNode)) return 1;
  RoundTripFloor floor(kAnswerRoom + kReadAnswerHead);

  std::printf("Ethernet receive throughput, emulated link to application through libqor_api_ethernet (%d blocks)\n",
              kBlocks);
  for (const LinkRate& link : kLinks) {
    std::printf("  %s per direction: %.0f frames of 60 bytes/s, %.0f frames of 1514 bytes/s, %.1f MB/s\n", link.name,
                link.framesPerSecond(60), link.framesPerSecond(1514), link.bytesPerSecond() / 1e6);
  }
  bool whole = receiveFifo(fifoLink, fifoNode, floor);
  whole = monitorRing(monitorLink, monitorNode, *monitorFirmware) && whole;
  for (size_t frameBytes : {size_t{60}, size_t{1514}}) reassemblyAlone(frameBytes);
  for (size_t frameBytes : {size_t{60}, size_t{1514}}) ringAlone(frameBytes);
  return whole ? 0 : 1;
}
