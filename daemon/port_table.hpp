// The daemon's 255 port records and the order in which they were taken. A connect looks here for an open port of
// the same device before it takes a free record.
#pragma once

#include <array>
#include <memory>
#include <mutex>
#include <vector>

#include "port.hpp"

namespace qor::daemon {

// Whether a connect for request names the device that port has open.
bool sameDevice(const Qor_InterfaceInfo_t& port, const Qor_InterfaceInfo_t& request);

class PortTable {
public:
  // The first port (in the order taken) of the device request names, else a new record in the first free slot;
  // nullptr when all 255 are taken.
  std::shared_ptr<Port> take(const Qor_InterfaceInfo_t& request);
  // Takes the record out of the table; its port counts as released from now on.
  void release(Port& port);

  std::shared_ptr<Port> at(uint8_t index) const;
  std::vector<std::shared_ptr<Port>> all() const; // in the order taken

private:
  mutable std::mutex mutex_;
  std::array<std::shared_ptr<Port>, kSlots> ports_;
  std::vector<uint8_t> order_;
};

} // namespace qor::daemon
