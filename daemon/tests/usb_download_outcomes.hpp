// What an open makes of each download outcome of the emulated USB devices, on host USB and behind an adapter alike.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "qor_emulator/usb_front_end.hpp"
#include "qor_error_codes.h"

namespace qor::test {

// The version of the newest design file beside the daemon, which every successful open leaves in the device.
inline constexpr uint32_t kNewestDesignVersion = 9;
// Older than that: every open downloads.
inline constexpr uint32_t kOutdatedDesignVersion = 3;

struct UsbDownloadCase {
  const char* name;
  emulator::UsbDownloadOutcome outcome;
  uint32_t pathCode;    // the open's code in the daemon
  const char* pathText; // in the daemon's text
  uint32_t version;     // the device's design version afterwards
};

inline constexpr UsbDownloadCase kUsbDownloadCases[] = {
    {"done", emulator::UsbDownloadOutcome::Done, 0, "", kNewestDesignVersion},
    {"loaded by another client, the version late", emulator::UsbDownloadOutcome::LoadedByAnother, 0, "",
     kNewestDesignVersion},
    {"a firmware error in the status byte", emulator::UsbDownloadOutcome::FirmwareError, QOR_ERR_USB_FPGA_IMAGE,
     "' failed with USB controller firmware error 0x3C", kOutdatedDesignVersion},
};

// What the library of an application makes of the daemon's code: its own, naming the daemon's in its text.
inline uint32_t libraryResult(const UsbDownloadCase& c) {
  return c.pathCode == 0 ? 0 : QOR_ERR_SERVER_DEVICE_NOT_CONNECTED;
}
inline std::string libraryText(const UsbDownloadCase& c) {
  char text[32] = "";
  if (c.pathCode != 0) snprintf(text, sizeof text, "ERRORCODE 0x%x", c.pathCode);
  return text;
}

} // namespace qor::test
