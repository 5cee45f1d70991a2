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
//   DAQ lists    GET_DAQ_PROCESSOR_INFO, GET_DAQ_RESOLUTION_INFO, FREE_DAQ, ALLOC_DAQ, ALLOC_ODT, ALLOC_ODT_ENTRY,
//                SET_DAQ_PTR, WRITE_DAQ, SET_DAQ_LIST_MODE, START_STOP_DAQ_LIST (select answers the first PID: the
//                list's first absolute ODT number plus firstPid), START_STOP_SYNCH; a protected DAQ refuses them with
//                ERR_ACCESS_LOCKED, allocations beyond the limits give ERR_MEMORY_OVERFLOW, a pointer or entry
//                outside them ERR_OUT_OF_RANGE, allocations out of order ERR_SEQUENCE. While running, every
//                daqPeriod the ECU sends one DTO per ODT of its running lists (identifier of the field type of
//                daqKeyByte bits 6-7, then each entry's bytes from the memory image; a bit entry carries 0 or 1).
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <span>
#include <thread>
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
  // DAQ lists
  uint16_t maxDaq = 8;
  uint8_t minDaq = 0;
  uint8_t daqKeyByte = 0;  // bits 6-7: identification field type
  uint8_t odtEntryGranularity = 1;
  uint8_t maxOdtEntrySize = 4;
  uint8_t firstPid = 0;  // added to the absolute ODT numbers answered by START_STOP_DAQ_LIST
  std::chrono::milliseconds daqPeriod{2};
};

// The key rule of the emulated ECU: key byte i = seed byte i XOR (0x5A + i).
Bytes xcpKeyFor(std::span<const uint8_t> seed);

class EmulatedEcu : public BasicXcpSlave {
 public:
  explicit EmulatedEcu(XcpEcuSettings settings = {});
  ~EmulatedEcu() override;

  Bytes memory(uint32_t address, uint32_t length) const;
  void setMemory(uint32_t address, std::span<const uint8_t> bytes);
  uint8_t protection() const;   // resources still locked
  bool programming() const;     // inside a programming session
  unsigned prepares() const;    // PROGRAM_PREPARE packets received
  bool daqRunning() const;
  // The DTOs of one cycle of the running lists, as the ECU's clock sends them.
  std::vector<Bytes> daqPackets() const;

  void plugged(XcpSlaveOutlet* outlet) override;

 private:
  struct BlockInProgress {
    uint8_t nextCode;
    uint32_t elementsLeft;
    unsigned packets;
  };

  struct DaqEntry {
    uint8_t bitOffset;
    uint8_t size;
    uint32_t address;
  };
  struct DaqList {
    std::vector<std::vector<DaqEntry>> odts;  // entries allocated, filled by WRITE_DAQ
    std::vector<size_t> written;             // per ODT
    uint16_t eventChannel = 0;
    bool selected = false;
    bool running = false;
  };

  // Handlers that run with ecuMutex_ held.
  template <class Body>
  CommandHandler locking(Body body) {
    return [this, body](std::span<const uint8_t> packet) -> std::vector<Bytes> {
      const std::lock_guard lock(ecuMutex_);
      return body(packet);
    };
  }
  void registerCommands();
  void registerDaqCommands();
  uint16_t fromSlave16(std::span<const uint8_t> packet, size_t offset) const;
  void put16(Bytes& packet, uint16_t value) const;
  // The list a packet names in its u16 at offset 2 (ecuMutex_ held).
  std::optional<size_t> listIndex(std::span<const uint8_t> packet) const;
  uint8_t absoluteOdt(size_t list) const;                 // ecuMutex_ held
  std::vector<Bytes> packetsOfCycle() const;              // ecuMutex_ held
  void runDaqClock();
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
  std::vector<DaqList> daqLists_;
  size_t daqList_ = 0, daqOdt_ = 0, daqEntry_ = 0;  // SET_DAQ_PTR
  bool daqRunning_ = false;

  std::mutex outletMutex_;  // held while a DTO goes out, so an unplugged outlet is never used
  XcpSlaveOutlet* outlet_ = nullptr;
  std::condition_variable clockWake_;
  bool clockStopping_ = false;  // guarded by ecuMutex_
  std::thread clock_;
};

}  // namespace qor::emulator
