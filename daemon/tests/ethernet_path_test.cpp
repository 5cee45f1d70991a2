// The Ethernet path's device on its own, read and written by the test in the order the port's hardware and request
// threads may take: the connection it keeps to an emulated device, and the replacement of a broken one.
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <optional>
#include <vector>

#include "map_ethernet.hpp"
#include "qor_emulator/device.hpp"
#include "qor_emulator/tcp_front_end.hpp"
#include "qor_shared/protocol.hpp"
#include "raw_client.hpp"

namespace qor::test {
namespace {

using namespace std::chrono_literals;
using emulator::Bytes;
using emulator::ReceivedFrame;
using emulator::Reply;

constexpr uint32_t kEthernetModel = 58;
constexpr uint32_t kAddress = 0x0200007F; // 127.0.0.2
constexpr uint8_t kAnswered = 0x42;       // answered with {7}
constexpr uint8_t kTrailed = 0x43;        // answered with {8}, the first 13 bytes of a frame of 15 close behind
constexpr int kFrameReads = 20;

Bytes command(uint8_t code) {
  const FirmwareMessageHeader header = protocol::commandHeader(QOR_REQUEST_RAW, 1, 1, 0, 0, code, 0);
  const auto* bytes = reinterpret_cast<const uint8_t*>(&header);
  return Bytes(bytes, bytes + sizeof header);
}

// The next frame the device's reads deliver (a read finding nothing delivers none), if one comes.
std::optional<protocol::Frame> nextFrame(daemon::Device& device, Bytes& area) {
  for (int i = 0; i < kFrameReads; ++i) {
    uint32_t length = static_cast<uint32_t>(area.size());
    const daemon::PathStatus status = device.read(area, length);
    EXPECT_TRUE(status.ok()) << status.text;
    if (!status.ok()) return std::nullopt;
    if (length > 0) return protocol::parseFrame(protocol::Bytes(area.data(), length));
  }
  return std::nullopt;
}

int highestOpenDescriptor() {
  int highest = -1;
  if (DIR* directory = opendir("/proc/self/fd")) {
    while (const dirent* entry = readdir(directory)) highest = std::max(highest, atoi(entry->d_name));
    closedir(directory);
  }
  return highest;
}

// Takes every free descriptor number below the highest in use, as in a process whose lower descriptors are all
// taken: a socket made next gets the number closed last.
class TakenHoles {
public:
  TakenHoles() {
    const int highest = highestOpenDescriptor();
    for (;;) {
      const int fd = open("/dev/null", O_RDONLY | O_CLOEXEC);
      if (fd < 0) return;
      if (fd > highest) {
        close(fd);
        return;
      }
      taken_.push_back(fd);
    }
  }
  ~TakenHoles() {
    for (int fd : taken_) close(fd);
  }
  TakenHoles(const TakenHoles&) = delete;
  TakenHoles& operator=(const TakenHoles&) = delete;

private:
  std::vector<int> taken_;
};

TEST(EthernetPath, BytesOfAReplacedConnectionNeverJoinTheNewOne) {
  emulator::Device device(emulator::DeviceConfig{.serialNumber = 1000, .hostType = kEthernetModel});
  device.recorder().setEnabled(false);
  device.onCommand(kAnswered, [](const ReceivedFrame& frame) -> Reply { return frame.response(Bytes{7}); });
  device.onCommand(kTrailed, [](const ReceivedFrame& frame) -> Reply {
    Bytes sent = frame.response(Bytes{8});
    const Bytes started = emulator::firstBytes(frame.response(Bytes{1, 2, 3}), 13);
    sent.insert(sent.end(), started.begin(), started.end());
    return sent;
  });
  emulator::TcpFrontEnd network(device, "127.0.0.2", 0);
  network.start();
  daemon::PathSettings settings;
  const auto path = daemon::makeEthernetPath();
  path->start(settings);
  std::unique_ptr<daemon::Device> opened;
  const daemon::PathStatus status =
      path->open(descriptor(kEthernetModel, 1, 1, network.port(), QOR_INTERFACE_FLAG_ETHERNET, kAddress), opened);
  ASSERT_TRUE(status.ok()) << status.text;
  Bytes area(QOR_FRAME_MAX_LENGTH);

  // The reader takes the answer and the start of the frame behind it, then stops (the port's last application left).
  ASSERT_TRUE(opened->write(command(kTrailed)).ok());
  const auto trailed = nextFrame(*opened, area);
  ASSERT_TRUE(trailed);
  EXPECT_EQ(trailed->header.command, kTrailed);
  opened->wakeRead();
  uint32_t length = static_cast<uint32_t>(area.size());
  ASSERT_TRUE(opened->read(area, length).ok());
  ASSERT_EQ(length, 0u) << "the frame begun waits for its rest";

  // The device drops the connection; a write finds it broken and replaces it before the next read. The new
  // connection may get the old one's descriptor number.
  const size_t accepted = network.acceptedConnections();
  network.cutConnections();
  {
    const TakenHoles holes;
    // A send into the dropped connection may still pass; the one after it fails and is sent again on a new one.
    for (int attempt = 0; attempt < 10 && network.acceptedConnections() == accepted; ++attempt) {
      ASSERT_TRUE(opened->write(command(kAnswered)).ok());
      network.waitForAccepted(accepted + 1, 100ms);
    }
  }
  ASSERT_EQ(network.acceptedConnections(), accepted + 1);

  // The new connection's answer arrives whole and alone.
  const auto answered = nextFrame(*opened, area);
  ASSERT_TRUE(answered);
  EXPECT_EQ(answered->header.command, kAnswered);
  EXPECT_EQ(Bytes(answered->data.begin(), answered->data.end()), Bytes{7});
}

} // namespace
} // namespace qor::test
