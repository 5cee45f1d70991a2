// LVDS frame data from an emulated grabber to the application: full-HD frames at 24 bits per pixel streamed in
// chunks through TCP, the daemon and the application's queue, collected by the library and taken by the
// application. Printed as frames per second and MB/s against a floor measured in the same run: the same bytes
// through one message-queue hop between two processes and one TCP hop on loopback. Runs inside qor_sandbox.
#include <arpa/inet.h>
#include <mqueue.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

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

// Seconds to move bytes through one queue hop between two processes, in messages of the grabber port's size.
double queueSeconds(size_t bytes) {
  const std::string name = "/qor_bench_lvds_" + std::to_string(getpid());
  mq_attr attributes{};
  attributes.mq_maxmsg = 3;
  attributes.mq_msgsize = static_cast<long>(kQueueMessageBytes);
  const mqd_t queue = mq_open(name.c_str(), O_CREAT | O_RDWR, 0600, &attributes);
  std::vector<char> buffer(kQueueMessageBytes);
  const size_t messages = (bytes + kQueueMessageBytes - 1) / kQueueMessageBytes;
  const auto start = Clock::now();
  const pid_t sender = fork();
  if (sender == 0) {
    for (size_t i = 0; i < messages; ++i) mq_send(queue, buffer.data(), buffer.size(), 0);
    _exit(0);
  }
  for (size_t i = 0; i < messages; ++i) mq_receive(queue, buffer.data(), buffer.size(), nullptr);
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  waitpid(sender, nullptr, 0);
  mq_close(queue);
  mq_unlink(name.c_str());
  return seconds;
}

// Seconds to move bytes through one TCP connection on loopback.
double tcpSeconds(size_t bytes) {
  const int listener = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address);
  socklen_t size = sizeof address;
  getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size);
  listen(listener, 1);
  std::thread sink([&] {
    const int peer = accept(listener, nullptr, nullptr);
    std::vector<char> buffer(1 << 16);
    size_t received = 0;
    while (received < bytes) {
      const ssize_t n = recv(peer, buffer.data(), buffer.size(), 0);
      if (n <= 0) break;
      received += static_cast<size_t>(n);
    }
    close(peer);
  });
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
  std::vector<char> chunk(kQueueMessageBytes);
  const auto start = Clock::now();
  for (size_t sent = 0; sent < bytes;) {
    const ssize_t n = send(fd, chunk.data(), std::min(chunk.size(), bytes - sent), 0);
    if (n <= 0) break;
    sent += static_cast<size_t>(n);
  }
  close(fd);
  sink.join();
  close(listener);
  return std::chrono::duration<double>(Clock::now() - start).count();
}

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
  const double floorSeconds = queueSeconds(kFrameBytes * kFrames) + tcpSeconds(kFrameBytes * kFrames);

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
