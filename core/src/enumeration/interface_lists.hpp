// The interface lists of the access paths, collected before they are copied out to the caller.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "qor_interface_list.h"

namespace qor::client {

// The records that one list collects at most.
inline constexpr size_t kListRoom = 1024;

uint32_t collectPciPxi(std::vector<Qor_InterfaceData_t>& list);
uint32_t collectUsb(std::vector<Qor_InterfaceData_t>& list);
// flags as Qor_Interface_GetInterfaceList_Ethernet's; adapter is used without QOR_ETHERNET_LIST_SETTINGS_ADAPTERS.
uint32_t collectEthernet(uint32_t flags, const Qor_NetworkAdapter_t* adapter, std::vector<Qor_InterfaceData_t>& list);

// The network settings of a card or USB device that carries them, read through a port of its controller 1.
uint32_t readNetworkSettings(Qor_InterfaceData_t& device);

// The checks every list makes before it asks anything: 0, or the code recorded for the process and *count 0.
uint32_t checkListArguments(uint32_t* count, const void* array, uint32_t elementSize);

// Writes the first *count records, each cut to elementSize bytes, and sets *count to the records written; fails
// with 0x2000201 when the list holds more.
uint32_t copyOut(std::span<const Qor_InterfaceData_t> list, uint32_t* count, void* array, uint32_t elementSize);

} // namespace qor::client
