// The link between the stand-in libhxusb and a device emulator that plays USB devices: one Unix seqpacket
// connection per library call, carrying one request and one reply. The stand-in finds the emulator's socket in its
// own settings file; without that file it finds no device.
//
// Example, a firmware frame of 16 bytes to controller index 1 of device type 13:
//   request {operation 2 (WriteFifo), deviceType 13, index 1, argument 0, timeoutMs 0, length 16} + the 16 bytes
//   reply   {code 0, value 0, length 0, reserved 0}
// and a read of at most 4096 bytes within 100 ms that finds one frame of 24 bytes:
//   request {operation 3 (ReadFifo), 13, 1, argument 4096, timeoutMs 100, length 0}
//   reply   {code 0, value 0, length 24, reserved 0} + the 24 bytes
#pragma once

#include <cstddef>
#include <cstdint>

namespace qor::usb::link {

// The stand-in's settings: a line "emulator_socket=<absolute path>".
inline constexpr char kSettingsPath[] = "/etc/hxusb/emulator.conf";
inline constexpr char kSocketKey[] = "emulator_socket=";

enum class Operation : uint32_t {
  DriverInfo = 1,    // reply: value = number of controllers, data = one QorUSB_DriverInfo_Entry_t per controller
  WriteFifo = 2,     // data: one firmware frame
  ReadFifo = 3,      // argument: capacity; timeoutMs; reply data: one frame, none when nothing came in time
  XilinxRead = 4,    // argument: register; reply value: its content
  XilinxWrite = 5,   // argument: register; data: u32 value
  XilinxVersion = 6, // reply value: the design version
  XilinxDownload = 7, // data: the file path; reply value: status
  EnumerationStatus = 8, // USB over Ethernet: reply value: 1 done, 2 still enumerating
  ReadMonitor = 9,    // the 7140 model's monitor bytes: argument: capacity; timeoutMs; reply data: none in time
};

// The 7140 model's monitor read names only the controller index: its device type is the model's.
inline constexpr uint32_t k7140DriverType = 18;

struct Request {
  uint32_t operation;  // +0, an Operation
  uint32_t deviceType; // +4
  uint32_t index;      // +8, controller index within the device type, from 1
  uint32_t argument;   // +12
  uint32_t timeoutMs;  // +16
  uint32_t length;     // +20, bytes of data behind the record
};
static_assert(sizeof(Request) == 24);
static_assert(offsetof(Request, length) == 20);

struct Reply {
  uint32_t code;     // +0, 0 or a library code 0xE0000xxx
  uint32_t value;    // +4
  uint32_t length;   // +8, bytes of data behind the record
  uint32_t reserved; // +12, 0
};
static_assert(sizeof(Reply) == 16);
static_assert(offsetof(Reply, length) == 8);

// The most data one message carries: the longest firmware frame fits.
inline constexpr uint32_t kMaxData = 0x10000;
// The longest a read may wait at the emulator.
inline constexpr uint32_t kMaxWaitMs = 1000;

// USB over Ethernet: the stand-in libuoe_QorUSB_Platform connects by TCP to the adapter's own address (the target)
// at the port its settings file names, and carries the same records over that one connection, a request and its
// reply at a time; the connection stands for the adapter, so requests name no adapter. Without the file it finds
// no adapter.
inline constexpr char kAdapterSettingsPath[] = "/etc/uoe_QorUSB_Platform/emulator.conf";
inline constexpr char kAdapterPortKey[] = "adapter_port=";

} // namespace qor::usb::link
