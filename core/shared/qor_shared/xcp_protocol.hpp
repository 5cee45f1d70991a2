// XCP as the library's master and the emulated firmware and ECU both speak it: the firmware's XCP channel command
// with its sub-functions, and the packet identifiers, command codes, resource bits and error codes of the XCP
// standard that the system uses. One place for both sides.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qor::xcp_protocol {

// ---- the firmware's XCP channels: command 0xC9, every request and answer headed {sub-function, channel, u16 0} ----
inline constexpr uint8_t kChannelCommand = 0xC9;
inline constexpr size_t kChannelHeaderBytes = 4;

enum ChannelSubFunction : uint8_t {
  kReset = 0,
  kInitialise = 1,
  kSend = 2,
  kPoll = 3,
  kState = 4,
  kReadProperty = 5,
  kWriteProperty = 6,
  kReadDtoReceive = 7,
  kReadCtoReceive = 8,
  kWriteDtoTransmit = 9,
  kWriteCtoTransmit = 10,
};

// ---- packets ----
inline constexpr uint8_t kPositiveAnswer = 0xFF;
inline constexpr uint8_t kErrorPacket = 0xFE;

enum Command : uint8_t {
  kConnect = 0xFF,
  kDisconnect = 0xFE,
  kGetStatus = 0xFD,
  kGetCommModeInfo = 0xFB,
  kGetSeed = 0xF8,
  kUnlock = 0xF7,
  kSetMta = 0xF6,
  kUpload = 0xF5,
  kShortUpload = 0xF4,
  kBuildChecksum = 0xF3,
  kDownload = 0xF0,
  kDownloadNext = 0xEF,
  kShortDownload = 0xED,
  kSetDaqPtr = 0xE2,
  kWriteDaq = 0xE1,
  kSetDaqListMode = 0xE0,
  kStartStopDaqList = 0xDE,
  kStartStopSynch = 0xDD,
  kGetDaqProcessorInfo = 0xDA,
  kGetDaqResolutionInfo = 0xD9,
  kFreeDaq = 0xD6,
  kAllocDaq = 0xD5,
  kAllocOdt = 0xD4,
  kAllocOdtEntry = 0xD3,
  kProgramStart = 0xD2,
  kProgramClear = 0xD1,
  kProgram = 0xD0,
  kProgramReset = 0xCF,
  kGetPgmProcessorInfo = 0xCE,
  kGetSectorInfo = 0xCD,
  kProgramPrepare = 0xCC,
  kProgramNext = 0xCA,
};

// CONNECT's resource byte, and the resources that GET_SEED and UNLOCK name.
enum Resource : uint8_t { kResourceCalPag = 0x01, kResourceDaq = 0x04, kResourcePgm = 0x10 };

// Error codes of error packets.
enum ErrorCode : uint8_t {
  kErrUnknownCommand = 0x20,
  kErrSyntax = 0x21,
  kErrOutOfRange = 0x22,
  kErrAccessDenied = 0x24,
  kErrAccessLocked = 0x25,
  kErrSequence = 0x29,
  kErrMemoryOverflow = 0x30,
};

}  // namespace qor::xcp_protocol
