// A port's lock tables: which client process owns each controller, each interface and each interface's monitor.
// Controllers 1 to 4 and interfaces 1 to 64 have locks; any other number has none, so it can never be taken.
// Guarded by the port's table lock.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace qor::daemon {

class LockTables {
public:
  struct Grant {
    bool controller = false;
    bool interfaceLock = false;
  };

  // At connect: each lock of the application's controller and interface is granted when it is free (and then taken)
  // or already owned by pid.
  Grant grant(uint32_t pid, uint8_t controller, uint8_t interfaceNumber);

  // Messages 0x12 to 0x15: 0, or 0x1000008 when a lock is owned by another process (a controller lock owned by
  // another process stops 0x12 and 0x13 before the interface lock).
  uint32_t take(uint32_t pid, uint8_t controller, uint8_t interfaceNumber);
  uint32_t release(uint32_t pid, uint8_t controller, uint8_t interfaceNumber);
  uint32_t takeMonitor(uint32_t pid, uint8_t controller, uint8_t interfaceNumber);
  uint32_t releaseMonitor(uint32_t pid, uint8_t controller, uint8_t interfaceNumber);

  // At the close of an application: drops what pid owns of the controller (when keepController is false) and of the
  // interface and its monitor (when keepInterface is false), for locks still used by other applications of pid.
  void releaseOnClose(uint32_t pid, uint8_t controller, uint8_t interfaceNumber, bool keepController,
                      bool keepInterface);

private:
  static constexpr size_t kControllers = 4;
  static constexpr size_t kInterfaces = 64;
  uint32_t* controllerOwner(uint8_t controller);
  uint32_t* interfaceOwner(uint8_t controller, uint8_t interfaceNumber);
  uint32_t* monitorOwner(uint8_t controller, uint8_t interfaceNumber);

  std::array<uint32_t, kControllers> controllers_{};
  std::array<std::array<uint32_t, kInterfaces>, kControllers> interfaces_{};
  std::array<std::array<uint32_t, kInterfaces>, kControllers> monitors_{};
};

} // namespace qor::daemon
