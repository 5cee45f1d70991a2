// One XCP command function at work on (port, channel): the record of what the slave reported, the exchange of single
// packets and the checks on the answers, which come from the slave and are read only as far as they reach.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "common_library.hpp"
#include "qor_kit/call.hpp"
#include "qor_shared/xcp_protocol.hpp"
#include "xcp_command_info.hpp"

namespace qor::common::xcp {

using namespace qor::xcp_protocol;

using Packet = std::vector<uint8_t>;

class CommandSession {
 public:
  CommandSession(const kit::Call& call, uint8_t channel) : call_(call), channel_(channel) {}

  // Loads the record; the first thing after the checks of the caller's records.
  uint32_t open() { return loadCommandInfo(call_, channel_, info); }
  // Keeps what the answers changed for the next command.
  void store() const { storeCommandInfo(call_.port(), channel_, info); }

  // One packet sent and its answer (PID first) collected; every failure of the exchange comes back unchanged.
  uint32_t command(std::span<const uint8_t> packet, Packet& answer) const;
  uint32_t command(std::span<const uint8_t> packet) const {
    Packet ignored;
    return command(packet, ignored);
  }
  // 0 when the answer holds at least `bytes` bytes, else "invalid response length".
  uint32_t expectAnswer(const Packet& answer, size_t bytes) const;
  // "the slave returned error code ..." for an error packet received outside an exchange.
  uint32_t slaveError(std::span<const uint8_t> packet) const;

  // SET_MTA {0xF6, 0, 0, extension, address}.
  uint32_t setMta(uint32_t address, uint8_t extension) const;
  // PROGRAM_PREPARE {0xCC, 0, elements}, which precedes the data of DOWNLOAD and PROGRAM.
  uint32_t prepare(uint32_t length) const;

  // 0 when length is a whole number of elements that a u16 can count, else "invalid parameter".
  uint32_t checkTransferLength(uint32_t length) const;
  // Bytes of data in one DOWNLOAD or PROGRAM packet of at most maxCto bytes: whole elements after the code, the
  // element count and, for granularity 4, two alignment bytes.
  uint32_t dataPerPacket(uint8_t maxCto) const;
  // {code, elements, [alignment], data}.
  Packet dataPacket(uint8_t code, uint32_t elements, std::span<const uint8_t> data) const;

  const kit::Call& call() const { return call_; }
  uint8_t channel() const { return channel_; }

  CommandInfo info;

 private:
  const kit::Call& call_;
  uint8_t channel_;
};

}  // namespace qor::common::xcp
