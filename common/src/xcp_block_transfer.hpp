// The block modes of XCP, through the channel's CTO FIFOs: the master sends a block's packets without waiting for
// answers (DOWNLOAD, PROGRAM), the slave answers one UPLOAD with several packets. Every wait is bounded.
#pragma once

#include <cstdint>
#include <span>

#include "xcp_command_session.hpp"

namespace qor::common::xcp {

// Channel properties 1 and 3 set for a block transfer, with the values they had; restore() puts those back, and a
// transfer that fails puts them back as well.
class FifoSetUp {
 public:
  explicit FifoSetUp(const CommandSession& session) : session_(session) {}
  ~FifoSetUp();
  FifoSetUp(const FifoSetUp&) = delete;
  FifoSetUp& operator=(const FifoSetUp&) = delete;

  // Saves properties 1 and 3, sets both to value and empties the CTO receive FIFO (within 1000 ms).
  uint32_t begin(uint32_t value);
  uint32_t restore();

 private:
  const CommandSession& session_;
  bool saved_ = false;
  uint32_t first_ = 0;
  uint32_t third_ = 0;
};

struct BlockCodes {
  uint8_t first;  // DOWNLOAD or PROGRAM
  uint8_t next;   // DOWNLOAD_NEXT or PROGRAM_NEXT
};

// One block of master block mode: all parts but the last into the CTO transmit FIFO (MIN_ST apart), the last one
// with its answer. partBytes: data per packet, whole elements.
uint32_t sendBlock(const CommandSession& session, BlockCodes codes, uint32_t partBytes,
                   std::span<const uint8_t> block);

// Elements per block of master block mode: MAX_BS packets of partBytes, at most 255 elements.
uint32_t blockElements(const CommandSession& session, uint8_t maxBs, uint32_t partBytes);

// The data with the codes, packet by packet or in blocks of master block mode.
uint32_t sendData(const CommandSession& session, BlockCodes codes, uint8_t maxCto, bool masterBlockMode,
                  uint8_t maxBs, std::span<const uint8_t> data);

// UPLOAD of `data.size()` bytes at the MTA in slave block mode.
uint32_t uploadInBlocks(const CommandSession& session, std::span<uint8_t> data);

}  // namespace qor::common::xcp
