// qor_device_emulator_cli: plays Ethernet-attached devices on loopback addresses until SIGINT or SIGTERM and
// prints every frame they receive. For manual runs; tests use the library directly.
#include <signal.h>

#include <charconv>
#include <cstdio>
#include <ctime>
#include <exception>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "qor_emulator/device.hpp"
#include "qor_emulator/discovery_responder.hpp"
#include "qor_emulator/tcp_front_end.hpp"

namespace {

using namespace qor::emulator;

constexpr char kUsage[] =
    "usage: qor_device_emulator_cli [--no-discovery] --device ADDRESS:PORT:SERIAL:HOSTTYPE [--device ...]\n"
    "  ADDRESS in 127.0.0.0/8, one per device; the devices answer discovery on UDP port 1234 unless\n"
    "  --no-discovery is given.\n";
// Bytes of a frame printed before the rest is left out.
constexpr size_t kPrintedBytes = 64;
constexpr long kPollNs = 100'000'000;

struct DeviceArgument {
  std::string address;
  uint16_t port;
  uint32_t serial;
  uint32_t hostType;
};

template <class Number>
bool parseNumber(std::string_view text, Number& value) {
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return error == std::errc() && end == text.data() + text.size();
}

bool parseDevice(std::string_view text, DeviceArgument& device) {
  std::vector<std::string_view> fields;
  for (size_t start = 0;;) {
    const size_t colon = text.find(':', start);
    fields.push_back(text.substr(start, colon - start));
    if (colon == std::string_view::npos) break;
    start = colon + 1;
  }
  if (fields.size() != 4) return false;
  device.address = std::string(fields[0]);
  return parseNumber(fields[1], device.port) && parseNumber(fields[2], device.serial) &&
         parseNumber(fields[3], device.hostType);
}

void print(const std::string& address, const ReceivedFrame& frame) {
  const FirmwareMessageHeader& h = frame.header();
  std::printf("%s #%llu kind=%u ctrl=%u if=%u type=%u app=%u mod=%u cmd=0x%02X len=%u:", address.c_str(),
              static_cast<unsigned long long>(frame.connection()), h.requestKind, h.TAddr, h.TPort, h.type, h.App,
              h.Mod, h.command, h.length);
  const auto bytes = frame.bytes();
  for (size_t i = 0; i < bytes.size() && i < kPrintedBytes; ++i) std::printf(" %02x", bytes[i]);
  std::printf(bytes.size() > kPrintedBytes ? " ...\n" : "\n");
  std::fflush(stdout);
}

struct Emulated {
  std::unique_ptr<Device> device;
  std::unique_ptr<TcpFrontEnd> tcp;
  size_t printed = 0;
};

int run(const std::vector<DeviceArgument>& arguments, bool discovery) {
  // Blocked before any thread starts, so that only sigtimedwait below takes them.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

  std::vector<Emulated> devices;
  DiscoveryResponder responder;
  for (const auto& argument : arguments) {
    Emulated emulated;
    emulated.device = std::make_unique<Device>(DeviceConfig{.serialNumber = argument.serial,
                                                            .hostType = argument.hostType});
    emulated.tcp = std::make_unique<TcpFrontEnd>(*emulated.device, argument.address, argument.port);
    emulated.tcp->start();
    responder.add(*emulated.tcp);
    std::printf("device %u (host type %u, device code %u) on %s:%u\n", argument.serial, argument.hostType,
                emulated.device->identity().deviceCode, argument.address.c_str(), emulated.tcp->port());
    devices.push_back(std::move(emulated));
  }
  if (discovery) {
    responder.start();
    std::printf("answering discovery on UDP port %u\n", kDiscoveryPort);
  }
  std::fflush(stdout);

  const timespec interval{0, kPollNs};
  while (sigtimedwait(&stopSignals, nullptr, &interval) < 0) {
    for (auto& emulated : devices) {
      while (const auto frame = emulated.device->recorder().waitFor(emulated.printed, std::chrono::milliseconds(0))) {
        print(emulated.tcp->address(), *frame);
        ++emulated.printed;
      }
    }
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<DeviceArgument> devices;
  bool discovery = true;
  for (int i = 1; i < argc; ++i) {
    const std::string_view argument = argv[i];
    DeviceArgument device;
    if (argument == "--device" && i + 1 < argc && parseDevice(argv[i + 1], device)) {
      devices.push_back(device);
      ++i;
    } else if (argument == "--no-discovery") {
      discovery = false;
    } else {
      std::fputs(kUsage, stderr);
      return 2;
    }
  }
  if (devices.empty()) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  try {
    return run(devices, discovery);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "qor_device_emulator_cli: %s\n", error.what());
    return 1;
  }
}
