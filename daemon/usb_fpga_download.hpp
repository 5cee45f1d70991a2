// Loading an FPGA design file into a USB device, shared by the USB and the USB-over-Ethernet paths: the library's
// download, and the wait for another client that loads the same device.
#pragma once

#include <cstdint>
#include <functional>

#include "access_path.hpp"
#include "fpga_files.hpp"

namespace qor::daemon {

struct FpgaDesignLoader {
  const char* downloadName; // the library functions, as the failure texts name them
  const char* versionName;
  std::function<uint32_t(const char* path, uint32_t* status)> download;
  std::function<uint32_t(uint32_t* version)> designVersion;
};

// Loads file. While another client loads the device, waits up to 20 s for it to report a design (any non-zero
// version counts). 0x110000E for a failure of the library or a non-zero firmware status byte.
PathStatus loadFpgaDesign(const FpgaDesignLoader& loader, const FpgaFile& file);

} // namespace qor::daemon
