// LVDS frame data from an emulated grabber to the application: full-HD frames at 24 bits per pixel streamed in
// chunks through TCP, the daemon and the application's queue, collected by the library and taken by the
// application. Every frame taken is checked byte for byte against the frame sent in its place; lost and wrong frames
// are counted. Printed against its floor in alternating blocks of one run: the same bytes through one message-queue
// hop and one TCP hop, each between two processes; the daemon overlaps the two hops, so the floor is the slower one.
// Runs inside qor_sandbox.

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "bench_support.hpp"
#include "emulated_interfaces.hpp"
#include "qor_test/daemon_process.hpp"

namespace {

using namespace qor::bench;

constexpr size_t kFrameBytes = 1920 * 1080 * 3;
// A model with the largest queue messages, reached over Ethernet: chunks fill its maximum parameter length.
constexpr InterfaceKind kGrabber{74, 71, 18};
constexpr size_t kChunkBytes = 32756 - sizeof(LvdsFrameChunk);
constexpr size_t kQueueMessageBytes = 32780;
constexpr int kBlocks = 8;
constexpr int kFramesPerBlock = 10;

// Every byte of a chunk tells its frame and its place in it.
uint8_t chunkByte(int frame, size_t chunk) { return static_cast<uint8_t>(frame * 31 + chunk * 7 + 1); }

std::vector<uint8_t> chunkOf(int frame, size_t offset) {
  const uint32_t length = static_cast<uint32_t>(std::min(kChunkBytes, kFrameBytes - offset));
  const LvdsFrameChunk head{QOR_LVDS_FRAME_DATA, {0, 0, 0}, length, static_cast<uint32_t>(offset),
                            static_cast<uint32_t>(kFrameBytes)};
  std::vector<uint8_t> parameters(sizeof head + length, chunkByte(frame, offset / kChunkBytes));
  memcpy(parameters.data(), &head, sizeof head);
  return parameters;
}

bool isFrame(const uint8_t* data, uint32_t length, int frame) {
  if (length != kFrameBytes) return false;
  for (size_t offset = 0; offset < kFrameBytes; offset += kChunkBytes) {
    const uint8_t expected = chunkByte(frame, offset / kChunkBytes);
    const size_t end = std::min(offset + kChunkBytes, kFrameBytes);
    if (std::any_of(data + offset, data + end, [&](uint8_t byte) { return byte != expected; })) return false;
  }
  return true;
}

struct Taken {
  int whole = 0; // frames that came in order and unchanged
  int lost = 0;
  int wrong = 0;
};

// The frames of a block as the grabber sends them, built ahead: building them is the device's work, not the road's
// (the floor's sender, too, sends bytes it has).
std::vector<qor::emulator::Reply> blockFrames(qor::emulator::Device& grabber, uint8_t application) {
  std::vector<qor::emulator::Reply> frames(kFramesPerBlock);
  for (int frame = 0; frame < kFramesPerBlock; ++frame) {
    for (size_t offset = 0; offset < kFrameBytes; offset += kChunkBytes) {
      auto chunk = grabber.responseFrame(application, QOR_LVDS_FRAME_COMMAND, chunkOf(frame, offset));
      if (!chunk) return {};
      frames[frame].send(std::move(*chunk));
    }
  }
  return frames;
}

// One block: frames sent by the grabber and taken by an application thread; seconds until the last one was taken.
double streamBlock(EmulatedInterface& grabber, uint8_t application, const std::vector<qor::emulator::Reply>& frames,
                   Taken& taken) {
  const uint32_t port = grabber.port;
  std::atomic<int> takes{0};
  std::atomic<bool> reading{true};
  std::thread applicationThread([&] {
    int next = 0;
    while (next < kFramesPerBlock) {
      uint8_t* data = nullptr;
      uint32_t length = 0;
      if (Qor_Lvds_GetFrameData(port, &data, &length) != 0) break; // nothing within the frame wait: the rest is lost
      ++takes;
      int found = next;
      while (found < kFramesPerBlock && !isFrame(data, length, found)) ++found;
      if (found == kFramesPerBlock) {
        ++taken.wrong;
      } else {
        taken.lost += found - next;
        ++taken.whole;
        next = found + 1;
      }
      Qor_Lvds_ReleaseFrameData(port);
    }
    taken.lost += kFramesPerBlock - next;
    reading = false;
  });
  // The library offers the newest whole frame: one that completes while the one before still waits untaken
  // replaces it. The grabber starts a frame once the application has taken the one before (it may still be checking
  // it), so that the run measures the rate at which the application takes every frame; frames lost even so are
  // counted.
  const auto waitForTake = [&](int frame) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(QOR_LVDS_FRAME_WAIT_MS);
    while (takes < frame && reading && Clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::microseconds(50));
    }
  };
  const auto start = Clock::now();
  for (int frame = 0; frame < kFramesPerBlock; ++frame) {
    waitForTake(frame);
    grabber.device->sendToApplication(application, frames[frame]);
  }
  applicationThread.join();
  return seconds(Clock::now() - start);
}

} // namespace

int main() {
  EmulatedInterface grabber = startInterface(0, kGrabber);
  qor::test::DaemonProcess daemon(QORAPID_PROGRAM);
  qor::test::connectLibraryToDaemon();
  if (!openInterface(grabber)) return 1;
  const uint8_t application = applicationOf(grabber.port);
  if (Qor_Lvds_InitResponseFilter(grabber.port) != 0) {
    std::printf("filter failed: %s\n", Qor_GetLastErrorDescription());
    return 1;
  }
  const auto replies = blockFrames(*grabber.device, application);
  if (replies.empty()) {
    std::printf("the grabber has no route to the application\n");
    return 1;
  }
  const size_t blockBytes = kFrameBytes * kFramesPerBlock;
  double floorSeconds = 0, roadSeconds = 0;
  // One block first, untimed: the library's frame buffers take their page faults once, as in any longer run.
  Taken warmUp;
  streamBlock(grabber, application, replies, warmUp);
  Taken taken;
  for (int block = 0; block < kBlocks; ++block) {
    const double queue = queueSeconds(kQueueMessageBytes, (blockBytes + kQueueMessageBytes - 1) / kQueueMessageBytes);
    const double tcp = tcpSeconds(blockBytes, kQueueMessageBytes);
    floorSeconds += std::max(queue, tcp);
    roadSeconds += streamBlock(grabber, application, replies, taken);
  }
  const int frames = kBlocks * kFramesPerBlock;
  const double floorRate = frames / floorSeconds;
  const double roadRate = taken.whole / roadSeconds;
  std::printf("LVDS frame data, 1920x1080 at 24 bits per pixel (%zu bytes, %d blocks of %d frames)\n", kFrameBytes,
              kBlocks, kFramesPerBlock);
  std::printf("  floor (slower of queue hop and TCP hop)  %7.1f frames/s  %8.1f MB/s\n", floorRate,
              floorRate * kFrameBytes / 1e6);
  std::printf("  device to application                    %7.1f frames/s  %8.1f MB/s  (%d of %d whole, %d lost, %d wrong)\n",
              roadRate, roadRate * kFrameBytes / 1e6, taken.whole, frames, taken.lost, taken.wrong);
  std::printf("  ratio to floor                           %7.2f x\n", roadRate / floorRate);
  if (warmUp.lost + warmUp.wrong != 0) std::printf("  warm-up block: %d lost, %d wrong\n", warmUp.lost, warmUp.wrong);
  return taken.lost + taken.wrong + warmUp.lost + warmUp.wrong == 0 ? 0 : 1;
}
