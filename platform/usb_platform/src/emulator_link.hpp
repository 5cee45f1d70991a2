// The stand-in's back end: the device emulator named in its settings file (qor_usb_emulator_link.hpp).
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "qor_usb_emulator_link.hpp"

namespace qor::usb {

// The emulator's socket from the settings file; none when there is no file or no such line.
std::optional<std::string> emulatorSocket();

struct LinkAnswer {
  uint32_t code = 0;
  uint32_t value = 0;
  std::vector<uint8_t> data;
};

struct LinkCall {
  link::Operation operation;
  uint32_t deviceType = 0;
  uint32_t index = 0;
  uint32_t argument = 0;
  uint32_t timeoutMs = 0;
  std::span<const uint8_t> data = {};
};

// One request and its reply; QOR_USB_NO_DEVICE when the emulator cannot be reached or answers out of form.
// Never throws.
LinkAnswer callEmulator(const std::string& socket, const LinkCall& call);

// Fills the device list of Driver_Info from the emulator's answer to a DriverInfo request: the header with the
// emulator's count and as many entries as size holds. QOR_USB_NO_DEVICE for a list without controllers, the
// answer's code when it failed. buffer holds at least a header.
uint32_t fillDeviceList(const LinkAnswer& answer, void* buffer, uint32_t size, uint32_t version);

} // namespace qor::usb
