// A port's device-to-host DMA channel, under the channel's section: none until a configuration.
#pragma once

#include <cstdint>
#include <memory>

#include "qor_shared/scoped_lock.hpp"

namespace qor::client {

struct DmaChannel; // pcie_dma.hpp
struct DmaChannelDeleter {
  void operator()(DmaChannel* channel) const;
};

struct PcieDma {
  qor::CriticalSection section;
  std::unique_ptr<DmaChannel, DmaChannelDeleter> channel;
};

} // namespace qor::client
