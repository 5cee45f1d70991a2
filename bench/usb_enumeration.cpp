// What an enumeration of the USB devices costs a running USB port: the round trip of a command with its response
// (library, daemon started with "usb", the stand-in libhxusb, the emulator's USB face, an emulated device's
// firmware and back), alone, against the same while another thread asks for the USB driver information back to
// back (each such request loads the platform library, lists the devices and suspends the USB ports), in
// alternating blocks of one run. Every answer is checked. Runs inside qor_sandbox (the udev rule and the
// stand-in's settings are written under /etc).
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

#include "bench_support.hpp"
#include "emulated_interfaces.hpp"
#include "qor_api.h"
#include "qor_emulator/device.hpp"
#include "qor_emulator/usb_front_end.hpp"
#include "qor_test/daemon_process.hpp"

namespace {

using namespace qor::bench;
using qor::emulator::ReceivedFrame;
using qor::emulator::Reply;

constexpr char kRuleFile[] = "/etc/udev/rules.d/90-hxusb.rules";
constexpr char kSocket[] = "/tmp/usb_bench.sock";
constexpr uint32_t kCrxHostType = 17; // one firmware controller
constexpr uint32_t kCrxDriverType = 13;
constexpr uint8_t kCrxFirmwareCode = 28;
constexpr uint8_t kCanFirmwareCode = 2;
constexpr uint8_t kCommand = 0x42;
constexpr int kBlocks = 10;
constexpr int kRoundsPerBlock = 200;
constexpr size_t kParameterBytes = 8;

// Asks for the USB driver information back to back while running is set; idle tells that none is in flight.
class Enumerations {
public:
  Enumerations()
      : thread_([this] {
          std::vector<uint8_t> table(4108);
          while (!ending_) {
            if (!running_) {
              idle_ = true;
              std::this_thread::sleep_for(std::chrono::microseconds(100));
              continue;
            }
            idle_ = false;
            uint32_t size = static_cast<uint32_t>(table.size());
            if (Qor_GetDriverInfo(kCrxHostType, table.data(), &size) != 0) ++failures_;
            ++count_;
          }
        }) {}
  ~Enumerations() {
    ending_ = true;
    thread_.join();
  }

  // Before a block without enumerations: the one in flight ends first, untimed but for that block's first round.
  void stop() {
    running_ = false;
    while (!idle_) std::this_thread::sleep_for(std::chrono::microseconds(100));
  }
  void start() { running_ = true; }
  uint64_t count() const { return count_; }
  uint64_t failures() const { return failures_; }

private:
  std::atomic<bool> running_{false}, idle_{true}, ending_{false};
  std::atomic<uint64_t> count_{0}, failures_{0};
  std::thread thread_;
};

} // namespace

int main() {
  std::filesystem::create_directories(std::filesystem::path(kRuleFile).parent_path());
  std::ofstream(kRuleFile) << "# the platform library's devices\n";
  qor::emulator::Identity identity;
  identity.deviceCode = kCrxFirmwareCode;
  identity.interfaces = {{kCanFirmwareCode, 1}};
  qor::emulator::Device firmware({100, kCrxHostType, identity});
  firmware.onCommand(kCommand, [](const ReceivedFrame& frame) { return Reply(frame.response(frame.parameters().subspan(1), 1)); });
  qor::emulator::UsbFrontEnd usb(kSocket);
  usb.plugIn({kCrxDriverType, {{100, &firmware}}});
  usb.start();
  usb.announce();

  qor::test::DaemonProcess daemon(QORAPID_PROGRAM, {"usb"});
  qor::test::connectLibraryToDaemon();
  Qor_InterfaceInfo_t info{};
  info.hostInterfaceType = kCrxHostType;
  info.controllerNumber = 1;
  info.interfaceNumber = 1;
  info.deviceNumber = 1;
  uint32_t port = QOR_NO_PORT;
  if (Qor_OpenInterface(&info, &port) != 0) {
    std::printf("open failed: %s\n", Qor_GetLastErrorDescription());
    return 1;
  }

  uint64_t serial = 0;
  Enumerations enumerations;
  bool during = false; // whether the enumerations run in the current block
  const AlternatedRounds rounds = alternateRounds(
      kBlocks, kRoundsPerBlock,
      [&] {
        if (during) enumerations.stop();
        during = false;
        return echoRound(port, kCommand, kParameterBytes, ++serial);
      },
      [&] {
        if (!during) enumerations.start();
        during = true;
        return echoRound(port, kCommand, kParameterBytes, ++serial);
      });
  enumerations.stop();
  std::printf("USB port's command round trip with and without enumerations (%d blocks of %d rounds each, %zu "
              "parameter bytes; %llu enumerations, %llu failed)\n",
              kBlocks, kRoundsPerBlock, kParameterBytes, static_cast<unsigned long long>(enumerations.count()),
              static_cast<unsigned long long>(enumerations.failures()));
  printAlternatedRounds(rounds, "round trip alone", "round trip while enumerating");
  std::printf("  %-30s median %8.1f us   p99 %8.1f us\n", "added by the enumerations",
              rounds.product.median - rounds.floor.median, rounds.product.p99 - rounds.floor.p99);
  Qor_CloseInterface(port);
  return rounds.floorFailures + rounds.productFailures + enumerations.failures() == 0 ? 0 : 1;
}
