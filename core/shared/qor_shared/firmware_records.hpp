// Records that controllers' firmware sends in answer data (the bytes behind the 12-byte frame header) and the
// parameters that ask for them. Offsets are from the first data byte. The library parses them, the daemon asks the
// serial number with them, the emulator builds them.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "qor_types.h"

namespace qor::firmware {

// ---- identity: command 0xFF ----
inline constexpr uint8_t kIdentityCommand = 0xFF;

// The fixed head of the identity answer; interfaceCount entries follow it.
struct IdentityHead {
  uint32_t reserved0;      // +0
  uint32_t bootLoader;     // +4: bit 0 set while the controller's boot loader runs
  uint32_t controllerKind; // +8: controller type and subtype
  uint8_t reserved12[16];  // +12
  uint32_t deviceCode;     // +28: the firmware's device code, translated to a host interface type
  uint32_t reserved32;     // +32
  uint32_t interfaceCount; // +36
};
static_assert(sizeof(IdentityHead) == 40, "the identity head is 40 bytes");
static_assert(offsetof(IdentityHead, bootLoader) == 4, "boot loader word at 4");
static_assert(offsetof(IdentityHead, controllerKind) == 8, "controller kind at 8");
static_assert(offsetof(IdentityHead, deviceCode) == 28, "device code at 28");
static_assert(offsetof(IdentityHead, interfaceCount) == 36, "interface count at 36");

inline constexpr uint32_t kBootLoaderRunning = 1u << 0;

// One interface of the controller, from +40.
struct IdentityEntry {
  uint8_t firmwareCode; // +0: the firmware's interface code, translated to a Qor_InterfaceType
  uint8_t number;       // +1: the interface number
};
static_assert(sizeof(IdentityEntry) == 2, "an identity entry is 2 bytes");

// ---- serial number: command 0x0C, sub-function 5 ----
inline constexpr uint8_t kControllerControlCommand = 0x0C;
inline constexpr uint32_t kSerialNumberSubFunction = 5;

struct SerialNumberQuery {
  uint32_t subFunction; // +0: kSerialNumberSubFunction
};
static_assert(sizeof(SerialNumberQuery) == 4, "the serial-number query is 4 bytes");

struct SerialNumberAnswer {
  uint32_t subFunction;  // +0: the sub-function asked
  uint32_t serialNumber; // +4
};
static_assert(sizeof(SerialNumberAnswer) == 8, "the serial-number answer is 8 bytes");
static_assert(offsetof(SerialNumberAnswer, serialNumber) == 4, "serial number at 4");

// ---- error text: command 0xFD ----
inline constexpr uint8_t kErrorTextCommand = 0xFD;

struct ErrorTextQuery {
  uint32_t code; // +0: the firmware's error code
};
static_assert(sizeof(ErrorTextQuery) == 4, "the error-text query is 4 bytes");

// The answer: this head, then the text up to its NUL or the answer's end.
struct ErrorTextHead {
  uint32_t code; // +0: the code asked
};
static_assert(sizeof(ErrorTextHead) == 4, "the error text starts at 4");

// ---- monitor frames ----
// A frame that a bus's monitor takes out of the answer stream. A frame whose command, type and sub-function (data
// byte 0) match a row belongs to the monitor, the first such row counting; it is delivered from dataOffset on.
struct MonitorFilter {
  uint8_t interfaceType;  // Qor_InterfaceType of the port
  uint8_t command;
  bool responsesOnly;     // only frames of type response
  int16_t subFunction;    // data byte 0; kAnySubFunction: not looked at
  bool instanceFromData;  // data byte 1 names the monitor instance (a frame without it is nobody's); else 0
  uint8_t dataOffset;     // frame byte (from the frame header) where the monitor data begin
  bool alsoAnswer;        // the frame goes on to the command matching as well
};

inline constexpr int16_t kAnySubFunction = -1;
inline constexpr size_t kMonitorInstanceByte = 1;

inline constexpr std::array<MonitorFilter, 10> kMonitorFilters = {{
    {QOR_INTERFACE_CAN, 0xF1, true, kAnySubFunction, false, 16, false},
    {QOR_INTERFACE_CAN, 0x50, false, 14, true, 20, false},
    {QOR_INTERFACE_CAN, 0x50, false, 15, true, 16, false},
    {QOR_INTERFACE_LIN, 0xF1, false, kAnySubFunction, false, 16, false},
    {QOR_INTERFACE_KLINE, 0x54, true, 5, false, 12, true},
    {QOR_INTERFACE_KLINE, 0x54, true, 6, false, 12, true},
    {QOR_INTERFACE_MOST, 0x55, false, kAnySubFunction, false, 12, false},
    {QOR_INTERFACE_FLEXRAY, 0xF1, false, kAnySubFunction, false, 12, false},
    {QOR_INTERFACE_FLEXRAY, 0x21, false, 3, true, 20, false},
    {QOR_INTERFACE_ETHERNET, 0x50, false, 3, true, 12, false},
}};

} // namespace qor::firmware
