// The device-access table: the interface every access path of the daemon implements (Ethernet over TCP, USB, USB
// over Ethernet, 94xx and 95xx cards), and the one object a port holds for its opened device. The rest of the daemon
// reaches hardware only through these two classes.
//
// Threads and locks, per operation of an opened Device (the port's locks are those of port.hpp):
//
//   operation        caller                                 thread             lock held             may block
//   write            a command (message 0x20), 11 attempts  request thread     port write lock       yes, bounded
//   read             the port's hardware thread             hardware thread    none                  <= ~500 ms
//   wakeRead         the stop of the hardware thread        any daemon thread  port lifecycle lock   no
//   flushResponse    the connect, once after the open       connecting thread  port lifecycle lock   bounded
//   initMonitor      monitor start (0x31), when flagged     request thread     port table lock       bounded
//   readMonitor      the port's monitor thread              monitor thread     none                  <= ~100 ms
//   stopMonitor      monitor stop (0x32), application close request/any        port table lock       bounded
//   fpga*            host-side FPGA access (0x40)           request thread     port FPGA lock        bounded
//   destructor       the close of the port                  any daemon thread  table, FPGA, write    bounded
//
// So read, readMonitor, write, the FPGA group and the monitor control group may run at the same time on one device,
// each group never twice at once; wakeRead may come at any time, also while read runs. The destructor runs alone:
// the daemon has joined the port's hardware and monitor threads and holds the table, FPGA and write locks.
//
// Codes: every operation returns a PathStatus: 0, or a code with the text that becomes the text of the daemon's
// error report to the application (message 0x11): the path's own codes (its group of the error table), 0x100000A
// for a device that cannot be reached, 0x1000003 for memory. An operation a path does not provide keeps the default
// here: "function not available" (0x100000C) with an empty text. A failing write is retried by the daemon and then
// reported to the sender; a failing read ends a blocking hardware thread; a failing readMonitor ends the monitor.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "qor_protocol.h"
#include "qor_shared/protocol.hpp"
#include "qor_types.h"

namespace qor::daemon {

using protocol::Bytes;
using protocol::Buffer;

// The outcome of an access-path operation.
struct PathStatus {
  uint32_t code = 0;
  std::string text; // empty on success
  bool ok() const { return code == 0; }
};

// A failure with its text formatted like printf (cut at 4095 bytes); code 0 gives success and no text.
PathStatus pathError(uint32_t code, const char* format, ...) __attribute__((format(printf, 2, 3)));

// The default of every operation: 0x100000C with an empty text.
PathStatus functionNotAvailable();

// One opened device. The path's open creates it and fills properties; destroying it closes the device.
class Device {
public:
  // Set by the path's open; monitorDataSize and monitorPollIntervalMs may also change in initMonitor.
  struct Properties {
    uint32_t deviceIdentifier = 0;   // returned to the client in ConnectPortResponse
    uint8_t module = 0;              // ditto; the client copies it into every frame's Mod byte
    bool flushAfterOpen = false;     // the connect calls flushResponse once after the open
    bool monitorNeedsInit = false;   // monitor start calls initMonitor
    bool monitorNeedsStop = false;   // monitor stop and application close call stopMonitor
    uint32_t monitorDataSize = 0;    // the longest monitor data readMonitor delivers
    uint8_t monitorPollIntervalMs = 1; // pause of the monitor thread between reads
    uint16_t relayCount = 0;         // relays in FPGA registers (message 0x40, sub-functions 6 to 9); 0: none
  };
  Properties properties;

  virtual ~Device() = default;

  // Writes one firmware frame (header and parameters, already checked: marker '#', 12 <= length <= 0xFFFF).
  virtual PathStatus write(Bytes frame);

  // Reads one firmware frame into frame (the bytes behind a prepared 0xF0 header, so the daemon sends it without
  // copying). In: length = frame.size(); out: the bytes read, 0 when nothing came within the path's own wait
  // (about 100 ms, at most about 500 ms on a path whose wakeRead ends it; the daemon checks its stop flag between
  // reads). A failure ends a blocking hardware thread and tells every application of the port (message 0x05); a
  // polling one retries. A dropped connection, or a stream that lost its framing, that the path can repair is no
  // failure.
  virtual PathStatus read(Buffer frame, uint32_t& length);

  // Called right after the hardware thread was asked to stop: the read in progress, or else the next one, returns
  // at once with length 0, so that a stop never waits out a long read. A path whose read returns within about
  // 100 ms may keep the default, which does nothing.
  virtual void wakeRead();

  // Drops whatever answers the device still holds.
  virtual PathStatus flushResponse();

  // Monitors (messages 0x31 and 0x32) of the controller of the starting or stopping application.
  virtual PathStatus initMonitor(uint8_t controller);
  // Fills data with one piece of monitor data; length out, 0 when there is none.
  virtual PathStatus readMonitor(Buffer data, uint32_t& length);
  virtual PathStatus stopMonitor(uint8_t controller, uint8_t application);

  // Host-side FPGA access (message 0x40). Parameters and data come from a client: check them.
  virtual PathStatus fpgaRegisterRead(uint8_t reg, uint32_t& value);
  virtual PathStatus fpgaRegisterWrite(uint8_t reg, uint32_t value);
  virtual PathStatus fpgaDesignVersion(uint32_t& version);
  virtual PathStatus fpgaReconfigure(Bytes parameters);
  // Reads at most data.size() bytes within timeoutMs; length out.
  virtual PathStatus fpgaFifoRead(Buffer data, uint32_t& length, uint32_t timeoutMs);
  virtual PathStatus fpgaFifoWrite(Bytes data);

  // The device number the device is listed under after a rescan of its path (message 0x19, the driver information
  // of a USB type), asked inside the USB suspension; 0 when the path does not renumber its devices.
  virtual uint32_t listedDeviceNumber() const;
};

// What the daemon tells every path.
struct PathSettings {
  // How long an Ethernet open waits for its TCP connection; message 0x1B changes it at any time.
  std::atomic<uint32_t> connectionTimeoutMs{500};
};

// One access path, process-wide: its start and shutdown, the open of its devices and its part of the driver
// information. Called by the daemon's control threads (open, driver information, refresh, board requests) and by
// its start and stop; opens of different devices may run at the same time.
class AccessPath {
public:
  virtual ~AccessPath() = default;

  // Once, before any other call; the path may keep the reference to settings. The daemon ignores the result (a
  // path that could not start answers its opens with its own failure).
  virtual PathStatus start(const PathSettings& settings);
  // Once, at the daemon's stop, after every device of the path has been destroyed.
  virtual void shutdown();

  // Opens the device the descriptor names (host interface type, controller and interface number, flags, device
  // number, IPv4 address as a binary u32 with flag bit 0). On success device holds the opened device.
  virtual PathStatus open(const Qor_InterfaceInfo_t& descriptor, std::unique_ptr<Device>& device) = 0;

  // The driver information of one host interface type (message 0x17): writes at most out.size() bytes and sets
  // written; request holds the type-specific request data (network adapters for Ethernet discovery, the adapter
  // address for USB over Ethernet). Data that do not fit give 0x1000009.
  virtual PathStatus driverInfo(uint32_t hostInterfaceType, Buffer out, uint32_t& written, Bytes request);

  // Rescans the devices of the path (message 0x19); flag is bit 1 of the request.
  virtual PathStatus refresh(bool flag);

  // A 95xx board request (message 0x52): fills out with at most out.size() bytes and sets length. device is the
  // named port's device when that port is open, else nullptr; the daemon holds that port's write lock.
  virtual PathStatus boardRequest(const BoardRequest95xx& request, Device* device, Buffer out, uint32_t& length);
};

} // namespace qor::daemon
