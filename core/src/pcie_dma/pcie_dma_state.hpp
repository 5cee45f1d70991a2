// A port's device-to-host DMA channel, under the channel's section: none until a configuration.
#pragma once

#include <cstdint>
#include <memory>

#include "qor_shared/scoped_lock.hpp"

namespace qor::client {

struct DmaChannel; // pcie_dma.hpp
// Made and freed by the library alone: the port's state is also made where DmaChannel is unknown.
using DmaChannelPtr = std::unique_ptr<DmaChannel, void (*)(DmaChannel*)>;

struct PcieDma {
  qor::CriticalSection section;
  DmaChannelPtr channel{nullptr, nullptr};
};

} // namespace qor::client
