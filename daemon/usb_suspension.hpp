// A USB suspension: while one lives, the hardware threads of USB ports are idle and their devices untouched (their
// table, FPGA and write locks are held), so that the USB library may be called for something other than a port's own
// traffic: opening a device, listing devices, rescanning. One suspension at a time; never made while holding a
// port's table, FPGA or write lock.
#pragma once

#include <memory>
#include <mutex>
#include <vector>

#include "port.hpp"

namespace qor::daemon {

class Server;

class UsbSuspension {
public:
  explicit UsbSuspension(Server& server);
  ~UsbSuspension();

  // After a rescan of the USB devices: the ports take the device numbers their devices are listed under now, so that
  // a connect to a device finds its port.
  void followRenumbering();
  UsbSuspension(const UsbSuspension&) = delete;
  UsbSuspension& operator=(const UsbSuspension&) = delete;

private:
  struct Suspended {
    std::shared_ptr<Port> port;
    std::unique_lock<std::mutex> table, fpga, write;
  };
  std::unique_lock<std::mutex> exclusive_;
  std::vector<Suspended> suspended_;
};

} // namespace qor::daemon
