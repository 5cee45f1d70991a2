// A card for the driver's user-space tests: configuration space, BAR0 behind the simulated engine, a plain memory
// BAR1, the adapter record with its channels discovered, and each channel's interrupt on a vector of its own.
#pragma once

#include <cstdlib>
#include <cstring>
#include <memory>

#include "engine_simulator.hpp"

struct SimulatedCard {
  static constexpr std::uint32_t kBar0Address = 0xF0000000u;
  static constexpr std::uint32_t kBar1Address = 0xE0000000u;
  static constexpr std::uint32_t kBar1Length = 0x1000u;

  SimulatedCard(EngineSimulator::Generation generation, std::uint32_t windows,
                const std::vector<std::uint32_t>& present, std::uint32_t srcElements = 16,
                std::uint32_t dstElements = 16)
      : engine(generation, windows, present) {
    auto* header = reinterpret_cast<PCI_CONFIG_HEADER*>(pci->config);
    header->VendorId = generation == EngineSimulator::Generation::second ? VORTAQ_CARD_VENDOR_ID
                                                                          : VORTAQ_ENGINE_VENDOR_ID;
    header->DeviceId = generation == EngineSimulator::Generation::second ? VORTAQ_CARD_DEVICE_ID_A
                                                                          : VORTAQ_REFERENCE_DEVICE_ID_A;
    header->BarCfg[0] = kBar0Address;
    header->BarCfg[1] = kBar1Address;
    VortaqAdapterInit(adapter.get(), pci.get());
    adapter->busAddr[0] = {engine.bar0(), kBar0Address, engine.bar0Length()};
    adapter->busAddr[1] = {bar1.data(), kBar1Address, kBar1Length};
    adapter->numBusAddr = 2;
    GetPCIConfig(adapter.get());
    discovery = VortaqDmaInit(adapter.get(), srcElements, dstElements);
    engine.onInterrupt([this](std::uint32_t index) {
      if (DMA_CHANNEL_EXTENSION* channel = adapter->pDMAChExt[index])
        VortaqChannelInterrupt(channel);
    });
  }

  ~SimulatedCard() {
    engine.stop();
    for (std::uint32_t slot = 0; slot < VORTAQ_PIN_SLOTS; ++slot)
      Release_DmaMem(adapter.get(), slot);
    VortaqDmaRelease(adapter.get());
  }

  DMA_CHANNEL_EXTENSION* open(std::uint32_t index) {
    DMA_CHANNEL_EXTENSION* channel = adapter->pDMAChExt[index];
    channel->fbOpen = true;
    return channel;
  }

  EngineSimulator engine;
  std::vector<std::uint8_t> bar1 = std::vector<std::uint8_t>(kBar1Length); // plain card memory
  std::unique_ptr<vq_pci_dev> pci = std::make_unique<vq_pci_dev>();
  std::unique_ptr<DEVICE_EXTENSION> adapter = std::make_unique<DEVICE_EXTENSION>();
  int discovery = 0;
};

// Page-aligned host memory, as a user buffer is.
struct HostBuffer {
  explicit HostBuffer(std::size_t pages)
      : bytes(pages * PAGE_SIZE), data(static_cast<std::uint8_t*>(std::aligned_alloc(PAGE_SIZE, bytes))) {
    std::memset(data, 0, bytes);
  }
  ~HostBuffer() { std::free(data); }
  HostBuffer(const HostBuffer&) = delete;
  HostBuffer& operator=(const HostBuffer&) = delete;
  std::uint64_t address(std::size_t offset = 0) const { return reinterpret_cast<std::uintptr_t>(data + offset); }
  std::size_t bytes;
  std::uint8_t* data;
};

// Resets the OS layer's injected faults around each test.
struct FaultScope {
  FaultScope() { vq_faults = {}; }
  ~FaultScope() { vq_faults = {}; }
};
