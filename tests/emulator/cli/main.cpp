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

#include "qor_emulator/can_bus.hpp"
#include "qor_emulator/can_cyclic_firmware.hpp"
#include "qor_emulator/can_monitor_firmware.hpp"
#include "qor_emulator/device.hpp"
#include "qor_emulator/discovery_responder.hpp"
#include "qor_emulator/tcp_front_end.hpp"
#include "qor_shared/host_types.hpp"

namespace {

using namespace qor::emulator;

constexpr char kUsage[] =
    "usage: qor_device_emulator_cli [--no-discovery] [BEHAVIOUR ...] --device ADDRESS:PORT:SERIAL:HOSTTYPE [--device ...]\n"
    "  ADDRESS in 127.0.0.0/8, one per device; the devices answer discovery on UDP port 1234 unless\n"
    "  --no-discovery is given. BEHAVIOUR, for every device:\n"
    "    --interface CODE:NUMBER   an interface in the identity answer (firmware interface code, number)\n"
    "    --answer COMMAND=HEX      answers the command with these data bytes\n"
    "    --echo COMMAND            answers the command with its first parameter byte\n"
    "    --refuse COMMAND=CODE:TEXT  answers the command with a negative acknowledge\n"
    "    --can-bus NUMBER,NUMBER...  joins these CAN interfaces on one emulated bus, with the firmware's cyclic\n"
    "                              messages and CAN monitor\n"
    "  Numbers are decimal or 0x-prefixed hexadecimal.\n";
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

// What every emulated device does beyond its built-in answers.
struct Behaviour {
  std::vector<InterfaceEntry> interfaces;
  std::vector<std::pair<uint8_t, Handler>> handlers;
  std::vector<uint8_t> canBus;  // interface numbers on the emulated CAN bus
};

template <class Number>
bool parseAnyNumber(std::string_view text, Number& value) {
  if (text.starts_with("0x")) {
    const auto [end, error] = std::from_chars(text.data() + 2, text.data() + text.size(), value, 16);
    return error == std::errc() && end == text.data() + text.size() && text.size() > 2;
  }
  return parseNumber(text, value);
}

bool parseHex(std::string_view text, Bytes& bytes) {
  if (text.size() % 2 != 0) return false;
  for (size_t i = 0; i < text.size(); i += 2) {
    uint8_t byte = 0;
    const auto [end, error] = std::from_chars(text.data() + i, text.data() + i + 2, byte, 16);
    if (error != std::errc() || end != text.data() + i + 2) return false;
    bytes.push_back(byte);
  }
  return true;
}

// "--answer", "--echo", "--refuse", "--interface" and "--can-bus" with their value; false for anything else or a bad
// value.
bool parseBehaviour(std::string_view option, std::string_view value, Behaviour& behaviour) {
  const size_t equals = value.find('=');
  uint8_t command = 0;
  if (option == "--can-bus") {
    for (size_t start = 0;;) {
      const size_t comma = value.find(',', start);
      uint8_t number = 0;
      if (!parseAnyNumber(value.substr(start, comma - start), number)) return false;
      behaviour.canBus.push_back(number);
      if (comma == std::string_view::npos) return true;
      start = comma + 1;
    }
  }
  if (option == "--interface") {
    const size_t colon = value.find(':');
    InterfaceEntry entry{};
    if (colon == std::string_view::npos || !parseAnyNumber(value.substr(0, colon), entry.firmwareCode) ||
        !parseAnyNumber(value.substr(colon + 1), entry.number)) {
      return false;
    }
    behaviour.interfaces.push_back(entry);
    return true;
  }
  if (option == "--echo") {
    if (!parseAnyNumber(value, command)) return false;
    behaviour.handlers.emplace_back(command, [](const ReceivedFrame& frame) -> Reply { return frame.response(Bytes{}, 1); });
    return true;
  }
  if (equals == std::string_view::npos || !parseAnyNumber(value.substr(0, equals), command)) return false;
  const std::string_view rest = value.substr(equals + 1);
  if (option == "--answer") {
    Bytes data;
    if (!parseHex(rest, data)) return false;
    behaviour.handlers.emplace_back(command, [data](const ReceivedFrame& frame) -> Reply { return frame.response(data); });
    return true;
  }
  if (option == "--refuse") {
    const size_t colon = rest.find(':');
    uint32_t code = 0;
    if (colon == std::string_view::npos || !parseAnyNumber(rest.substr(0, colon), code)) return false;
    const std::string text(rest.substr(colon + 1));
    behaviour.handlers.emplace_back(command, [code, text](const ReceivedFrame& frame) -> Reply {
      return frame.negativeAcknowledge(code, text);
    });
    return true;
  }
  return false;
}

// Members go in reverse order: the cyclic messages stop before the device, the bus outlives both.
struct Emulated {
  std::unique_ptr<CanBus> canBus;
  std::unique_ptr<Device> device;
  std::unique_ptr<TcpFrontEnd> tcp;
  std::shared_ptr<CanCyclicFirmware> cyclic;
  size_t printed = 0;
};

// The bus's nodes send cyclic messages and hear one another in their monitors.
void joinCanBus(Emulated& emulated, const std::vector<uint8_t>& interfaces) {
  if (interfaces.empty()) return;
  emulated.canBus = std::make_unique<CanBus>();
  for (uint8_t number : interfaces) emulated.canBus->attach(*emulated.device, number);
  CanMonitorFirmware::attachTo(*emulated.device, *emulated.canBus, interfaces);
  emulated.cyclic = CanCyclicFirmware::attachTo(*emulated.device, *emulated.canBus);
}

int run(const std::vector<DeviceArgument>& arguments, const Behaviour& behaviour, bool discovery) {
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
    DeviceConfig config{.serialNumber = argument.serial, .hostType = argument.hostType};
    if (!behaviour.interfaces.empty()) {
      const qor::HostType* host = qor::findHostType(argument.hostType);
      Identity identity;
      identity.deviceCode = host ? host->firmwareDeviceCodes[0] : 0;
      identity.interfaces = behaviour.interfaces;
      config.identity = identity;
    }
    emulated.device = std::make_unique<Device>(config);
    for (const auto& [command, handler] : behaviour.handlers) emulated.device->onCommand(command, handler);
    joinCanBus(emulated, behaviour.canBus);
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
  Behaviour behaviour;
  bool discovery = true;
  for (int i = 1; i < argc; ++i) {
    const std::string_view argument = argv[i];
    DeviceArgument device;
    if (argument == "--device" && i + 1 < argc && parseDevice(argv[i + 1], device)) {
      devices.push_back(device);
      ++i;
    } else if (argument == "--no-discovery") {
      discovery = false;
    } else if (i + 1 < argc && parseBehaviour(argument, argv[i + 1], behaviour)) {
      ++i;
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
    return run(devices, behaviour, discovery);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "qor_device_emulator_cli: %s\n", error.what());
    return 1;
  }
}
