// A port of the daemon (one opened device) and the applications connected to it. Records are shared: every thread
// that works on one holds it, so a record lives until the last of them has let go.
//
// Lock order, outermost first: Port::lifecycle, the server's USB suspension, Port::tableLock, Port::fpgaLock,
// Port::writeLock, an application's response queue. The server's port table and error record and a port's
// application slots and thread handles are leaves: nothing else is taken while one of them is held.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "access_path.hpp"
#include "client_process.hpp"
#include "client_queue.hpp"
#include "command_gate.hpp"
#include "lock_tables.hpp"
#include "qor_shared/host_types.hpp"
#include "worker.hpp"

namespace qor::daemon {

inline constexpr size_t kSlots = 255; // port and application indices 0 to 254; 255 names none
inline constexpr uint8_t kNone = 255;

class Application {
public:
  Application(uint8_t slot, ClientProcess process, uint32_t portId, uint8_t controllerNumber, uint8_t interfaceNo,
              uint32_t messageSize)
      : index(slot), client(std::move(process)), clientPortId(portId), controller(controllerNumber),
        interfaceNumber(interfaceNo), queueMessageSize(messageSize) {}

  // "/Qor_API_<pid>_<client port id>_<application index>_<kind>"
  std::string queueName(const char* kind) const;

  const uint8_t index;
  const ClientProcess client;
  const uint32_t clientPortId;
  const uint8_t controller;
  const uint8_t interfaceNumber;
  const uint32_t queueMessageSize; // of both application queues

  ReplyQueue response{ReplyQueue::WhenFull::HoldBack}; // the daemon's end of the response queue
  std::atomic<bool> inUse{true};       // admitted and not yet closed
  std::atomic<bool> closing{false};    // its request thread ends
  // Sets closing from another thread than its request thread, and wakes that thread to see it.
  void endRequestThread() {
    closing = true;
    response.wakeRequestReader();
  }
  std::atomic<uint32_t> queueResult{0}; // the request thread's queue creation: 0 or the recorded code
  bool monitorStarted = false;         // it started the port's monitor; under the port's table lock
  std::shared_ptr<Worker> requestThread; // set by the connect, under the port's lifecycle lock
};

class Port {
public:
  Port(uint8_t slot, const Qor_InterfaceInfo_t& connected);

  const uint8_t index;
  const Qor_InterfaceInfo_t descriptor; // as connected; host type 18 carries the Ethernet flag
  // The number a rescan of the USB devices gave the port's device since it connected; 0: the descriptor's.
  std::atomic<uint32_t> listedDeviceNumber{0};
  // The descriptor with the device number the device is listed under now: connects compare against it.
  Qor_InterfaceInfo_t currentDescriptor() const;
  const HostType& hostType;

  // Connect and close of this port: device open and close, thread start and stop, admission and retirement.
  std::mutex lifecycle;
  // The record has left the server's port table (set under lifecycle): a connect that waited for lifecycle starts
  // over.
  std::atomic<bool> released{false};

  // The opened device; replaced only under lifecycle with the table, FPGA and write locks held.
  std::unique_ptr<Device> device;
  std::mutex tableLock; // lock tables, monitor start and stop
  std::mutex fpgaLock;  // host-side FPGA access
  std::mutex writeLock; // writes to the device
  CommandGate gate;           // the applications' messages take turns
  LockTables locks;           // under tableLock

  // The port's threads; replaced under lifecycle (hardware) or tableLock (monitor), read anywhere.
  std::shared_ptr<Worker> hardwareThread() const;
  void setHardwareThread(std::shared_ptr<Worker> worker);
  // A hardware thread that stopped reading for good gives up its place: the next connect starts a new one.
  void releaseHardwareThread(const Worker& worker);
  // Asks the hardware thread reader to stop and ends the device's read in progress, so that it stops at once; under
  // lifecycle.
  void stopHardwareThread(Worker& reader);
  std::shared_ptr<Worker> monitorThread() const;
  void setMonitorThread(std::shared_ptr<Worker> worker);
  std::atomic<bool> suspended{false};   // USB traffic suspended
  std::atomic<double> lastCommandMs{0}; // tick of the last successful write

  // The application in a slot, nullptr when the slot is free.
  std::shared_ptr<Application> application(uint8_t slot) const;
  std::vector<std::shared_ptr<Application>> applications() const;
  size_t applicationCount() const;
  // Takes the next free slot, searching on from the one after the last taken, and puts make(slot) there; nullptr
  // when every slot is taken.
  std::shared_ptr<Application> admit(const std::function<std::shared_ptr<Application>(uint8_t)>& make);
  // Frees the slot of app; false when the slot does not hold it (any more).
  bool remove(const Application& app);

private:
  mutable std::mutex threadsLock_;
  std::shared_ptr<Worker> hardwareThread_;
  std::shared_ptr<Worker> monitorThread_;
  mutable std::mutex slotsLock_;
  std::array<std::shared_ptr<Application>, kSlots> slots_;
  size_t count_ = 0;
  uint8_t nextSlot_ = kNone; // kNone: the search starts at 0
};

// The table, FPGA and write locks of a port, in order: nothing can touch the device while they are held.
class DeviceLocks {
public:
  explicit DeviceLocks(Port& port) : table_(port.tableLock), fpga_(port.fpgaLock), write_(port.writeLock) {}

private:
  std::lock_guard<std::mutex> table_;
  std::lock_guard<std::mutex> fpga_;
  std::lock_guard<std::mutex> write_;
};

} // namespace qor::daemon
