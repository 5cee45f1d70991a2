// The access path of the USB devices behind USB-over-Ethernet adapters (host type 32, found by Ethernet discovery):
// the platform library libuoe_QorUSB_Platform, loaded by name, lists the devices behind one adapter (the target, its
// IPv4 address) and reaches their FPGA registers. Only the FPGA models are served, with FPGA register read and
// write and the design version.
#pragma once

#include <memory>
#include <string>

#include "access_path.hpp"
#include "usb_over_ethernet_library.hpp"

namespace qor::daemon {

// fpgaDirectory: where the directory "FpgaFiles" lies (the daemon's own directory); libraryName: the platform
// library's, loaded by name.
std::unique_ptr<AccessPath> makeUsbOverEthernetPath(std::string fpgaDirectory,
                                                    std::string libraryName = kUsbOverEthernetLibraryName);

} // namespace qor::daemon
