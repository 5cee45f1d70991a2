// What the DMA channel's functions and the firmware's DMA test share, and the step the close takes.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <span>
#include <vector>

#include "QorPxi95xx_API.h"
#include "pcie_dma/pcie_dma_state.hpp"
#include "ports/port_table.hpp"
#include "qor_error_codes.h"

namespace qor::client {

// The firmware's records: u32 values in the host's order.
inline std::vector<uint8_t>& appendU32(std::vector<uint8_t>& bytes, std::initializer_list<uint32_t> values) {
  for (uint32_t value : values) {
    const auto* raw = reinterpret_cast<const uint8_t*>(&value);
    bytes.insert(bytes.end(), raw, raw + sizeof value);
  }
  return bytes;
}

// The card library's functions the channel uses, bound by name.
struct DmaCardFunctions {
  decltype(&QorPxi95xx_Channel_Config_Dwth) configure = nullptr;
  decltype(&QorPxi95xx_Channel_Reset) reset = nullptr;
  decltype(&QorPxi95xx_Channel_Enable) enable = nullptr;
  decltype(&QorPxi95xx_Channel_Disable) disable = nullptr;
  decltype(&QorPxi95xx_Dwth_SgList_Get) scatterGatherList = nullptr;
  decltype(&QorPxi95xx_MapDmaChScratchpad) mapScratchpad = nullptr;
  decltype(&QorPxi95xx_UnMapDmaChScratchpad) unmapScratchpad = nullptr;
};

// The card library loaded for a channel, its functions and the channel's registers.
struct DmaChannel {
  void* library = nullptr; // dlopen handle
  DmaCardFunctions functions;
  uint8_t card = 0;
  uint8_t channel = 0;
  bool configured = false; // the firmware has the buffers
  bool enabled = false;
  // The channel's registers: u32 write position at +0 (the firmware's), u32 write limit at +4 (ours).
  volatile uint32_t* scratchpad = nullptr;
  bool bufferPinned = false; // the card library holds the channel's buffers
};

// Firmware command 0x0E {u32 selector, u8 sub-function, u8 channel, u16 0, data}: 0, the command's error, or
// 0x2000202 for data beyond the command's room.
uint32_t sendDmaCommand(PortRef& ref, uint32_t selector, uint8_t subFunction, uint8_t channel,
                        std::span<const uint8_t> data = {});

// The port's configured channel (channel section held); else 0x200010C with notConfiguredText, or "PCIe DMA not
// initialized" without any channel, recorded for the port.
uint32_t configuredChannel(PortRef& ref, const char* notConfiguredText, DmaChannel*& channel);

// action(ref, dma) on the port's DMA state, with the channel section held: its code, or that of the port's check.
template <class Action>
uint32_t onPortDma(uint32_t port, Action action) {
  PortRef ref = checkedPort(port);
  if (!ref) return QOR_ERR_API_INVALID_PORT_HANDLE;
  PcieDma& dma = ref.context().pcieDma;
  qor::SectionLock lock(dma.section);
  return action(ref, dma);
}

// action(ref, channel) on the port's configured channel, with the channel section held: its code, or that of the
// port's or the channel's check.
template <class Action>
uint32_t onConfiguredChannel(uint32_t port, const char* notConfiguredText, Action action) {
  return onPortDma(port, [&](PortRef& ref, PcieDma&) {
    DmaChannel* channel = nullptr;
    if (uint32_t result = configuredChannel(ref, notConfiguredText, channel)) return result;
    return action(ref, *channel);
  });
}

// At close: resets the port's channel; its code ends the close and the port stays open.
Teardown pcieDmaTeardown();

} // namespace qor::client
