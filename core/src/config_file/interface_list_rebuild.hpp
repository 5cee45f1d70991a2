// Rebuilding the interface list of the interface configuration file from a list of connected interfaces.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "qor_interface_list.h"

namespace qor::client {

// Marks each "Interface" of the file at path available when connected lists it (same type, controller, interface
// and serial number) and unavailable otherwise, and adds the connected interfaces that the file lacks in the order
// of their device's elements; creates the file when it does not exist. Interfaces of a type without identifier are
// not added. On failure, text tells why; the file is then unchanged.
uint32_t rebuildInterfaceList(const char* path, std::span<const Qor_InterfaceData_t> connected, std::string& text);

} // namespace qor::client
