#include "usb_suspension.hpp"

#include <syslog.h>

#include <chrono>
#include <thread>

#include "qor_helpers.h"
#include "server.hpp"

namespace qor::daemon {
namespace {

// How long a suspension waits for one port's locks and for its hardware thread to go idle; a port that does not
// come within the bound is left running (and logged) rather than hanging the daemon.
constexpr Milliseconds kSuspendBound{5000};
// How long a resume waits for a hardware thread to run again.
constexpr Milliseconds kResumeBound{2000};

constexpr Milliseconds kLockStep{1};

// Takes lock within bound; the returned lock owns it or not.
std::unique_lock<std::mutex> lockWithin(std::mutex& lock, Milliseconds bound) {
  std::unique_lock held(lock, std::try_to_lock);
  for (const auto deadline = std::chrono::steady_clock::now() + bound;
       !held && std::chrono::steady_clock::now() < deadline;) {
    std::this_thread::sleep_for(kLockStep);
    held.try_lock();
  }
  return held;
}

} // namespace

UsbSuspension::UsbSuspension(Server& server) : exclusive_(server.usbSuspension()) {
  for (const auto& port : server.ports().all()) {
    if (Qor_Internal_GetHostCommunicationType(&port->descriptor) != QOR_COMMUNICATION_USB) continue;
    Suspended held{port, lockWithin(port->tableLock, kSuspendBound), lockWithin(port->fpgaLock, kSuspendBound),
                   lockWithin(port->writeLock, kSuspendBound)};
    if (!held.table || !held.fpga || !held.write) {
      syslog(LOG_WARNING, "%s : port %u not suspended (busy)\n", "Qor_Server_Communication_Suspend_Usb",
             static_cast<unsigned>(port->index));
      continue;
    }
    // A reader that has not started yet finds the port suspended before its first read.
    const auto reader = port->hardwareThread();
    if (port->device && reader && !reader->ended()) {
      port->suspended = true;
      if (!reader->waitRunning(false, kSuspendBound)) {
        syslog(LOG_WARNING, "%s : hardware thread of port %u still reading\n", "Qor_Server_Communication_Suspend_Usb",
               static_cast<unsigned>(port->index));
      }
    }
    suspended_.push_back(std::move(held));
  }
}

void UsbSuspension::followRenumbering() {
  for (Suspended& held : suspended_) {
    if (!held.port->device) continue;
    if (const uint32_t listed = held.port->device->listedDeviceNumber()) held.port->listedDeviceNumber = listed;
  }
}

UsbSuspension::~UsbSuspension() {
  for (Suspended& held : suspended_) {
    held.table.unlock();
    held.fpga.unlock();
    held.write.unlock();
    held.port->suspended = false;
    if (const auto reader = held.port->hardwareThread()) reader->waitRunning(true, kResumeBound);
  }
}

} // namespace qor::daemon
