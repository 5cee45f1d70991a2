// An ECU behind an emulated XCP channel: BasicXcpSlave grown by a memory image, seed & key, the memory transfer
// commands with their block modes, and flash programming. Plug it into an XcpFirmware channel like any slave; failNext
// and answerNext of BasicXcpSlave still script single answers (an error packet, silence).
//
//   memory       SET_MTA, UPLOAD, SHORT_UPLOAD, DOWNLOAD (+ DOWNLOAD_NEXT), SHORT_DOWNLOAD, BUILD_CHECKSUM
//                (ADD_14: the bytes summed into a u32, unless checksumType says otherwise); outside the image:
//                ERR_ACCESS_DENIED.
//   seed & key   GET_SEED answers `seed` for a protected resource (length 0 for a free one) in parts of MAX_CTO - 2;
//                UNLOCK frees the resource when the key is xcpKeyFor(seed), else ERR_ACCESS_LOCKED and the seed must
//                be asked again. A protected resource refuses its commands with ERR_ACCESS_LOCKED.
//   programming  PROGRAM_START (PGM unlocked), PROGRAM_CLEAR (absolute: fills the range at the MTA with 0xFF),
//                PROGRAM (+ PROGRAM_NEXT), PROGRAM_RESET, GET_PGM_PROCESSOR_INFO, GET_SECTOR_INFO; outside a
//                programming session ERR_SEQUENCE. PROGRAM_PREPARE is accepted anywhere: the master sends it before
//                calibration data as well.
//   block modes  master block mode (DOWNLOAD, PROGRAM): the block's first packet names all its elements, the NEXT
//                packets follow without answers, the last one is answered; more than MAX_BS packets:
//                ERR_OUT_OF_RANGE; a NEXT packet with the wrong count: ERR_SEQUENCE. Slave block mode (commModeBasic
//                bit 6): UPLOAD of up to 255 elements answered in as many packets as needed.
// DAQ lists are not spoken yet; they join as further commands registered with on().
#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <span>
#include <vector>

#include "qor_emulator/xcp_slave.hpp"

namespace qor::emulator {

struct XcpSector {
  uint32_t start = 0;
  uint32_t length = 0;
  uint8_t clearSequence = 0;
  uint8_t programSequence = 0;
  uint8_t programMethod = 0;
  uint8_t nameLength = 0;
};

struct XcpEcuSettings {
  XcpSlaveSettings slave{.resource = 0x1D};  // CAL/PAG, DAQ, STIM, PGM
  // GET_COMM_MODE_INFO
  uint8_t commModeOptional = 0;  // bit 0 master block mode
  uint8_t maxBs = 4;
  uint8_t minSt = 0;
  uint8_t queueSize = 0;
  uint8_t driverVersion = 0x10;
  // The memory image (addresses of bytes, extension ignored).
  uint32_t memoryBase = 0x4000;
  uint32_t memorySize = 0x1000;
  // Seed & key: resources (RESOURCE byte bits) protected at the start.
  uint8_t protectedResources = 0;
  Bytes seed = {0x11, 0x22, 0x33, 0x44};
  uint8_t checksumType = 0x03;  // ADD_14: bytes summed into a u32
  // Programming
  uint8_t pgmCommMode = 0;      // PROGRAM_START byte 2: bit 0 master block mode
  uint8_t maxCtoPgm = 8;
  uint8_t maxBsPgm = 4;
  uint8_t pgmProperties = 0x01;
  std::vector<XcpSector> sectors = {{0x4000, 0x800, 1, 2, 0, 5}, {0x4800, 0x800, 3, 4, 0, 6}};
};

// The key rule of the emulated ECU: key byte i = seed byte i XOR (0x5A + i).
Bytes xcpKeyFor(std::span<const uint8_t> seed);

class EmulatedEcu : public BasicXcpSlave {
 public:
  explicit EmulatedEcu(XcpEcuSettings settings = {});

  Bytes memory(uint32_t address, uint32_t length) const;
  void setMemory(uint32_t address, std::span<const uint8_t> bytes);
  uint8_t protection() const;   // resources still locked
  bool programming() const;     // inside a programming session
  unsigned prepares() const;    // PROGRAM_PREPARE packets received

 private:
  struct BlockInProgress {
    uint8_t nextCode;
    uint32_t elementsLeft;
    unsigned packets;
  };

  void registerCommands();
  std::vector<Bytes> locked(uint8_t resource) const;  // empty when the resource is free (mutex_ held)
  uint32_t fromSlave32(std::span<const uint8_t> packet, size_t offset) const;
  void put32(Bytes& packet, uint32_t value) const;
  bool inImage(uint32_t address, uint32_t length) const;
  size_t dataOffset() const { return granularity_ > 2 ? 4 : 2; }
  // DOWNLOAD/PROGRAM and their NEXT packets; maxCto and maxBs of the mode in force (mutex_ held).
  std::vector<Bytes> writeData(std::span<const uint8_t> packet, bool first, uint8_t nextCode, bool blockMode,
                               uint8_t maxCto, uint8_t maxBs);
  std::vector<Bytes> upload(uint32_t elements);  // at the MTA (mutex_ held)

  const XcpEcuSettings ecu_;
  const uint8_t granularity_;
  mutable std::mutex ecuMutex_;  // guards what follows
  Bytes image_;
  uint32_t mta_ = 0;
  uint8_t locked_;
  std::optional<uint8_t> seedResource_;
  size_t seedGiven_ = 0;
  Bytes keyReceived_;
  size_t keyLength_ = 0;
  bool programming_ = false;
  unsigned prepares_ = 0;
  std::optional<BlockInProgress> block_;
};

}  // namespace qor::emulator
