// The card paths through the daemon against references and floors measured in the same run, on emulated cards
// played in this process (their firmware looks at the command ring every kCommandPoll, as the emulated cards poll
// their doorbells; a test's cards look every millisecond):
// - a command round trip through each card path, 94xx and 95xx, against the Ethernet path's (an emulated device on
//   loopback, served by a process of its own), in alternating blocks;
// - the 94xx round trip against the same ring round trip of a second card driven from this process with the card
//   library alone;
// - monitor data the 94xx card writes into its response ring, delivered to the application's monitor ring, against the
//   slower of two floors: the same frames through a card's ring read here with the card library, and the queue hop
//   from the daemon to the library. The card writes no more than the application's ring holds ahead of its reader;
//   what is lost even so is counted.
// Runs inside qor_sandbox as root (the 94xx driver's nodes under /dev/plx, the 95xx cards' /proc root under /run):
// `cmake --build <dir> --target bench`.
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <thread>
#include <vector>

#include "Pxi94xx.h"
#include "bench_support.hpp"
#include "driver_request.hpp"
#include "emulated_interfaces.hpp"
#include "qor_api.h"
#include "qor_emulator/card94xx.hpp"
#include "qor_emulator/card95xx.hpp"
#include "qor_emulator/frame.hpp"
#include "qor_emulator/plx_driver.hpp"
#include "qor_monitor.h"
#include "qor_test/daemon_process.hpp"

namespace {

using namespace qor::bench;
using qor::emulator::Bytes;
using qor::emulator::ReceivedFrame;
using qor::emulator::Reply;

constexpr uint32_t kPxi9440 = 24;
constexpr uint32_t kPxie9510 = 81;
constexpr uint8_t kCommand = 0x42;
constexpr uint8_t kCanMonitor = 0xF1;
constexpr uint8_t kCanMonitorControl = 0x50;
constexpr std::chrono::microseconds kCommandPoll{20};
constexpr int kBlocks = 10;
constexpr int kRoundsPerBlock = 100;
constexpr size_t kParameterBytes = 8;
constexpr size_t kItemBytes = 1024; // monitor items per frame, behind 4 bytes of frame data
constexpr size_t kMonitorFrames = 20000;
constexpr uint32_t kMonitorRingBytes = 4 * 1024 * 1024;
// Frames the card may write ahead of the application's reader: half its ring, the rest for the ring's own records.
constexpr uint64_t kFramesAhead = kMonitorRingBytes / kItemBytes / 2;
constexpr uint8_t kDaemonCard = 1;
constexpr uint8_t kFloorCard = 2;

struct EmulatedCard {
  std::unique_ptr<qor::emulator::Device> device;
  std::unique_ptr<qor::emulator::Card94xx> card;
};

EmulatedCard makeCard(uint16_t deviceNumber, uint32_t identifier) {
  qor::emulator::Identity identity;
  identity.deviceCode = 0x24;
  identity.interfaces = {{2, 1}};
  EmulatedCard made;
  made.device = std::make_unique<qor::emulator::Device>(qor::emulator::DeviceConfig{identifier, kPxi9440, identity});
  qor::emulator::answerIdentification(*made.device, {.identifier = identifier, .position = static_cast<uint8_t>(deviceNumber)});
  made.device->onCommand(kCommand, [](const ReceivedFrame& frame) { return Reply(frame.response(frame.parameters())); });
  made.device->onCommand(kCanMonitorControl, [](const ReceivedFrame& frame) { return Reply(frame.response(Bytes{}, 1)); });
  made.card = std::make_unique<qor::emulator::Card94xx>(*made.device,
                                                        qor::emulator::Card94xxConfig{.deviceNumber = deviceNumber,
                                                                                      .commandPoll = kCommandPoll});
  return made;
}

Bytes frameFor(uint8_t card, uint8_t application, uint8_t command, uint8_t type, Bytes data) {
  FirmwareMessageHeader header{QOR_FRAME_MARKER, QOR_REQUEST_NO_ACKNOWLEDGE, 0, 1, 1, 0, 0, type, application, card,
                               command};
  return qor::emulator::answerFrame(header, type, data);
}

// The floor's round trip: the command into the second card's ring, its answer read back, waiting on its interrupt.
class RingFloor {
public:
  RingFloor() {
    qor::pxi94xx::setDriverRequestFunction(qor::emulator::PlxDriver::request);
    driver_.addCardNodes();
    Pxi94xx__Init();
    Pxi94xx__IsDeviceNumberValid(kFloorCard, nullptr, &bar0_, &device_);
    const uint8_t flags[] = {1};
    Pxi94xx__NotificationInit(device_, flags, &notification_);
  }
  ~RingFloor() { Pxi94xx__Close(); }

  bool round(uint64_t serial) {
    Bytes parameters(kParameterBytes);
    fillPattern(parameters, serial);
    const Bytes frame = frameFor(kFloorCard, 1, kCommand, QOR_FRAME_COMMAND, parameters);
    if (Pxi94xx__WriteInstruction(frame.data(), static_cast<uint16_t>(frame.size())) != 0) return false;
    for (int wait = 0; wait < 50; ++wait) {
      uint32_t length = 0;
      if (Pxi94xx__ReadResponse(kFloorCard, answer_.data(), &length) != 0) return false;
      if (length != 0) return hasPattern({answer_.data() + 12, length - 12}, serial);
      *reinterpret_cast<volatile uint32_t*>(bar0_ + PXI94XX_INTERRUPT_CONTROL_WORD) = PXI94XX_INTERRUPT_RESPONSE;
      if (Pxi94xx__ReadResponse(kFloorCard, answer_.data(), &length) != 0) return false;
      if (length != 0) return hasPattern({answer_.data() + 12, length - 12}, serial);
      Pxi94xx__NotificationWait(device_, &notification_, 100);
    }
    return false;
  }

  // Seconds to take the frames through the card's response ring, written by another thread as the card would.
  double monitorSeconds(qor::emulator::Card94xx& card, const Bytes& frame, size_t frames) {
    const auto start = Clock::now();
    std::thread writer([&] {
      for (size_t sent = 0; sent < frames;) {
        if (card.writeResponse(frame)) ++sent;
        else std::this_thread::yield();
      }
    });
    for (size_t taken = 0; taken < frames;) {
      uint32_t length = 0;
      if (Pxi94xx__ReadResponse(kFloorCard, answer_.data(), &length) != 0) break;
      if (length != 0) ++taken;
    }
    writer.join();
    return seconds(Clock::now() - start);
  }

private:
  qor::emulator::PlxDriver driver_;
  volatile uint8_t* bar0_ = nullptr;
  PlxDeviceObject_t* device_ = nullptr;
  Pxi94xxNotification_t notification_{};
  std::vector<uint8_t> answer_ = std::vector<uint8_t>(0x10000);
};

bool cardCommand(uint32_t port, uint64_t serial) {
  uint8_t parameters[kParameterBytes];
  fillPattern(parameters, serial);
  uint8_t response[64];
  uint32_t size = sizeof response;
  return Qor_CommandWithResponse(port, kCommand, parameters, sizeof parameters, response, &size) == 0 &&
         size == kParameterBytes && hasPattern({response, size}, serial);
}

uint32_t openPort(Qor_InterfaceInfo_t info, const char* what) {
  uint32_t port = QOR_NO_PORT;
  if (Qor_OpenInterface(&info, &port) != 0) std::printf("%s: open failed: %s\n", what, Qor_GetLastErrorDescription());
  return port;
}

Qor_InterfaceInfo_t cardInfo(uint32_t hostType) {
  Qor_InterfaceInfo_t info{};
  info.hostInterfaceType = hostType;
  info.controllerNumber = 1;
  info.interfaceNumber = 1;
  info.deviceNumber = 1; // the first card of the type by position
  return info;
}

struct MonitorRun {
  double seconds = 0;
  uint64_t received = 0;    // item bytes the application read
  uint64_t lossReports = 0; // reads that said data were lost
};

// The frames through the daemon into the application's monitor ring, paced to what the ring holds ahead of the
// reader; timed until the last bytes arrived.
MonitorRun monitorThroughDaemon(uint32_t port, qor::emulator::Card94xx& card, const Bytes& frame, size_t frames) {
  std::atomic<uint64_t> received{0};
  MonitorRun run;
  const auto start = Clock::now();
  std::thread writer([&] {
    for (uint64_t sent = 0; sent < frames; ++sent) {
      awaitRoom([&] { return received.load() / kItemBytes; }, sent + 1, kFramesAhead);
      while (!card.writeResponse(frame)) std::this_thread::yield();
    }
  });
  std::vector<uint8_t> buffer(1 << 20);
  auto last = Clock::now();
  while (received < frames * kItemBytes && Clock::now() - last < std::chrono::seconds(2)) {
    uint32_t length = static_cast<uint32_t>(buffer.size());
    uint8_t lost = 0;
    if (Qor_Monitor_Read(port, 0, buffer.data(), &length, &lost) != 0) break;
    if (lost != 0) ++run.lossReports;
    if (length != 0) {
      received += length;
      last = Clock::now();
    } else {
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
  }
  writer.join();
  run.seconds = seconds(last - start);
  run.received = received;
  return run;
}

} // namespace

int main() {
  const EchoDevices ethernetDevice(1, kCommand); // first: it forks
  EmulatedCard daemonCard = makeCard(0, 9440001);
  EmulatedCard floorCard = makeCard(1, 9440002);
  qor::emulator::Device device95xx(qor::emulator::DeviceConfig{.hostType = kPxie9510});
  device95xx.onCommand(kCommand, [](const ReceivedFrame& frame) { return Reply(frame.response(frame.parameters())); });
  std::filesystem::create_directories(qor::emulator::Card95xx::kSandboxProcRoot);
  const qor::emulator::Card95xx card95xx(device95xx, qor::emulator::Card95xx::kSandboxProcRoot, 0,
                                         {.commandPoll = kCommandPoll});
  // The daemon loads both card libraries by name: these reach the cards through the emulated drivers.
  setenv("LD_LIBRARY_PATH", PXI94XX_OVER_EMULATED_DRIVER ":" PXI95XX_OVER_EMULATED_DRIVER, 1);
  qor::test::DaemonProcess daemon(QORAPID_PROGRAM);
  qor::test::connectLibraryToDaemon();
  RingFloor floor;
  const uint32_t ethernetPort = openPort(interfaceInfo("127.0.0.2"), "Ethernet");
  const uint32_t port = openPort(cardInfo(kPxi9440), "94xx");
  const uint32_t port95xx = openPort(cardInfo(kPxie9510), "95xx");
  if (ethernetPort == QOR_NO_PORT || port == QOR_NO_PORT || port95xx == QOR_NO_PORT) return 1;

  uint64_t serial = 0;
  const auto ethernetRound = [&] { return echoRound(ethernetPort, kCommand, kParameterBytes, ++serial); };
  const AlternatedRounds through94xx =
      alternateRounds(kBlocks, kRoundsPerBlock, ethernetRound, [&] { return cardCommand(port, ++serial); });
  const AlternatedRounds through95xx =
      alternateRounds(kBlocks, kRoundsPerBlock, ethernetRound, [&] { return cardCommand(port95xx, ++serial); });
  const AlternatedRounds rings = alternateRounds(
      kBlocks, kRoundsPerBlock, [&] { return floor.round(++serial); }, [&] { return cardCommand(port, ++serial); });
  std::printf("command round trip through each card path against the Ethernet path as the floor (%d blocks of %d "
              "rounds, %zu parameter bytes, cards polled every %lld us)\n",
              kBlocks, kRoundsPerBlock, kParameterBytes, static_cast<long long>(kCommandPoll.count()));
  printAlternatedRounds(through94xx, "Ethernet path", "94xx card path");
  printAlternatedRounds(through95xx, "Ethernet path", "95xx card path");
  std::printf("94xx card command round trip against the card's rings alone\n");
  printAlternatedRounds(rings, "floor (the card's rings alone)", "through the daemon");

  if (Qor_Monitor_Init(port, 0, nullptr, nullptr, kMonitorRingBytes, nullptr) != 0) {
    std::printf("monitor start failed: %s\n", Qor_GetLastErrorDescription());
    return 1;
  }
  const auto application = daemonCard.device->lastApplicationOn(1, 1);
  Bytes data(4 + kItemBytes);
  fillPattern(data, 7);
  const Bytes daemonFrame = frameFor(kDaemonCard, application.value_or(0), kCanMonitor, QOR_FRAME_RESPONSE, data);
  const Bytes floorFrame = frameFor(kFloorCard, 1, kCanMonitor, QOR_FRAME_RESPONSE, data);
  const double ringFloor = floor.monitorSeconds(*floorCard.card, floorFrame, kMonitorFrames);
  const double queueFloor = queueSeconds(12 + daemonFrame.size(), kMonitorFrames);
  const MonitorRun road = monitorThroughDaemon(port, *daemonCard.card, daemonFrame, kMonitorFrames);
  const uint64_t sentBytes = kMonitorFrames * kItemBytes;
  const double megabytes = static_cast<double>(sentBytes) / 1e6;
  const double roadRate = static_cast<double>(road.received) / 1e6 / road.seconds;
  const double floorRate = megabytes / std::max(ringFloor, queueFloor);
  std::printf("94xx card monitor data (%zu frames of %zu item bytes, at most %llu frames ahead of the reader)\n",
              kMonitorFrames, kItemBytes, static_cast<unsigned long long>(kFramesAhead));
  std::printf("  floor: card ring alone %8.1f MB/s, queue hop %8.1f MB/s\n", megabytes / ringFloor,
              megabytes / queueFloor);
  // Only what reached the application counts.
  std::printf("  through the daemon        %8.1f MB/s   bytes missing %llu   loss reports %llu\n", roadRate,
              static_cast<unsigned long long>(sentBytes - road.received),
              static_cast<unsigned long long>(road.lossReports));
  std::printf("  ratio to the slower floor %8.2f x (throughput)\n", roadRate / floorRate);
  Qor_CloseMonitor(port);
  for (const uint32_t open : {ethernetPort, port, port95xx}) Qor_CloseInterface(open);
  const bool clean = through94xx.floorFailures + through94xx.productFailures + through95xx.floorFailures +
                         through95xx.productFailures + rings.floorFailures + rings.productFailures ==
                     0;
  return clean && road.received == sentBytes && road.lossReports == 0 ? 0 : 1;
}
