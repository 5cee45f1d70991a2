// LVDS frame data from an emulated grabber to the application: full-HD frames at 24 bits per pixel streamed in
// chunks through TCP, the daemon and the application's queue, collected by the library and taken by the
// application. Printed as frames per second and MB/s against a floor measured in the same run: the same bytes
// through one message-queue hop between two processes and one TCP hop on loopback. Runs inside qor_sandbox.

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
constexpr int kFrames = 40;

std::vector<std::vector<uint8_t>> chunksOf(size_t frameBytes) {
  std::vector<std::vector<uint8_t>> chunks;
  for (size_t offset = 0; offset < frameBytes; offset += kChunkBytes) {
    const uint32_t length = static_cast<uint32_t>(std::min(kChunkBytes, frameBytes - offset));
    const LvdsFrameChunk head{QOR_LVDS_FRAME_DATA, {0, 0, 0}, length, static_cast<uint32_t>(offset),
                              static_cast<uint32_t>(frameBytes)};
    std::vector<uint8_t> parameters(sizeof head + length, static_cast<uint8_t>(offset));
    memcpy(parameters.data(), &head, sizeof head);
    chunks.push_back(std::move(parameters));
  }
  return chunks;
}

} // namespace

int main() {
  const size_t bytes = kFrameBytes * kFrames;
  const double floorSeconds = queueSeconds(kQueueMessageBytes, (bytes + kQueueMessageBytes - 1) / kQueueMessageBytes) +
                              tcpSeconds(bytes, kQueueMessageBytes);

  EmulatedInterface grabber = startInterface(0, kGrabber);
  qor::test::DaemonProcess daemon(QORAPID_PROGRAM);
  qor::test::connectLibraryToDaemon();
  if (!openInterface(grabber)) return 1;
  const uint32_t port = grabber.port;
  uint32_t application = 0;
  Qor_GetPropertyById(port, 4, &application);
  if (Qor_Lvds_InitResponseFilter(port) != 0) {
    std::printf("filter failed: %s\n", Qor_GetLastErrorDescription());
    return 1;
  }
  const auto chunks = chunksOf(kFrameBytes);
  std::atomic<int> taken{0};
  std::atomic<bool> streaming{true};
  std::thread application_([&] {
    while (streaming || taken < kFrames) {
      uint8_t* data = nullptr;
      uint32_t length = 0;
      if (Qor_Lvds_GetFrameData(port, &data, &length) != 0) break;
      if (length == kFrameBytes) ++taken;
      Qor_Lvds_ReleaseFrameData(port);
    }
  });
  const auto start = Clock::now();
  for (int frame = 0; frame < kFrames; ++frame) {
    for (const auto& chunk : chunks) {
      grabber.device->sendToApplication(static_cast<uint8_t>(application), QOR_LVDS_FRAME_COMMAND, chunk);
    }
  }
  streaming = false;
  application_.join();
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();

  const double megabytes = static_cast<double>(kFrameBytes) * taken / 1e6;
  std::printf("LVDS frame data, 1920x1080 at 24 bits per pixel (%zu bytes, %zu chunks per frame)\n", kFrameBytes,
              chunks.size());
  std::printf("  floor (one queue hop + one TCP hop)  %7.1f frames/s  %8.1f MB/s\n", kFrames / floorSeconds,
              kFrameBytes * kFrames / floorSeconds / 1e6);
  std::printf("  device to application                %7.1f frames/s  %8.1f MB/s  (%d of %d frames taken whole)\n",
              taken / seconds, megabytes / seconds, taken.load(), kFrames);
  std::printf("  ratio to floor                       %7.2f x\n", (taken / seconds) / (kFrames / floorSeconds));
  return 0;
}
