// The firmware's XCP channels behind command 0xC9, as an emulated device runs them. Every request and answer begins
// with {sub-function, channel, u16 0}; channels are made on first use, each with its own slave, properties and FIFOs.
//
//   sub  request after the header                       answer after the header
//   0    reset: drops the pending command and the FIFOs  -
//   1    initialise: the transport record, kept          -
//   2    send {u32 time-out us, u8 0, u8 kind, u16 n, n bytes}: the packet goes to the slave      -
//   3    poll                                            u8 status, 3 x 0, u32 firmware code, u16 d, u16 more, d bytes
//   4    state                                           u8 state flags, 3 x 0, u32 command state
//   5    read property {u16 id, u16 0}                   u16 id, u16 0, u32 value
//   6    write property {u16 id, u16 0, u32 value}       -
//   7/8  read the DTO / CTO receive FIFO                 frames
//   9/10 write the DTO / CTO transmit FIFO: frames       -
// Frames: {u16 frame length (header included), u8 type (0 plain, 1 with a u64 time stamp), u8 flags, [time stamp],
// packet}. Received DTO frames carry time stamps while property 4 is 1.
//
// Poll status: bit 0 pending, bit 1 answer valid, bit 2 the slave did not answer within the request's time-out. An
// answer longer than the part size comes in several polls ("more" is 1 until the last part). Command state: 0 idle,
// 1 pending, 2 answer ready. State flags: bit 0 DTO frames wait, bit 1 CTO frames wait, others as a test sets them.
// Refused requests (unknown sub-function or property, broken frames, short records) get a negative acknowledge with
// kXcpFirmwareRefusal.
#pragma once

#include "qor_shared/xcp_protocol.hpp"

#include <chrono>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "qor_emulator/device.hpp"
#include "qor_emulator/xcp_slave.hpp"

namespace qor::emulator {

inline constexpr uint8_t kXcpCommand = xcp_protocol::kChannelCommand;
inline constexpr uint32_t kXcpFirmwareRefusal = 0x00C90001;

class XcpFirmware : public std::enable_shared_from_this<XcpFirmware> {
 public:
  // A command as sub-function 2 handed it to the slave.
  struct SentCommand {
    uint32_t timeoutUs;
    uint8_t kind;
    Bytes packet;
  };

  // Answers command 0xC9 of the device from now on; the device's handler keeps the firmware alive.
  static std::shared_ptr<XcpFirmware> attachTo(Device& device);

  // The slave behind a channel (none: every command stays unanswered).
  void plugSlave(uint8_t channel, std::shared_ptr<XcpSlave> slave);

  // ---- the firmware's own behaviour ----
  // Bytes of answer per poll (at least 1); 4096 unless set.
  void setPollPartBytes(uint8_t channel, size_t bytes);
  // Polls that report "pending" before the answer is given.
  void setPendingPolls(uint8_t channel, unsigned polls);
  // A firmware that never finishes a command: every poll reports "pending".
  void keepPending(uint8_t channel, bool forever);
  // State flag bits reported besides those of the FIFOs.
  void setStateFlags(uint8_t channel, uint8_t flags);
  // A received DTO packet as the link delivers it (it must fit one FIFO answer); the time stamp (used while property 4
  // is 1) defaults to the microseconds since the firmware started.
  void receiveData(uint8_t channel, Bytes packet, uint8_t flags = 0, std::optional<uint64_t> timeStamp = std::nullopt);
  void receiveCommandPacket(uint8_t channel, Bytes packet);

  // ---- what the host did ----
  // The last transport record of sub-function 1 (after the header); empty before any.
  std::optional<Bytes> transport(uint8_t channel) const;
  unsigned resets(uint8_t channel) const;
  std::vector<SentCommand> sentCommands(uint8_t channel) const;
  uint32_t property(uint8_t channel, uint16_t id) const;
  std::vector<Bytes> transmittedData(uint8_t channel) const;      // packets of the DTO transmit FIFO
  std::vector<Bytes> transmittedCommands(uint8_t channel) const;  // packets of the CTO transmit FIFO
  // Requests per sub-function, e.g. how many FIFO writes carried the frames.
  unsigned requests(uint8_t channel, uint8_t subFunction) const;

 private:
  struct Channel;
  class Outlet;

  XcpFirmware();
  Reply answer(const ReceivedFrame& frame);
  Channel& channel(uint8_t number);  // with mutex_ held
  const Channel* findChannel(uint8_t number) const;
  std::shared_ptr<XcpSlave> slaveOf(uint8_t number);
  std::vector<Bytes> askSlave(uint8_t number, std::span<const uint8_t> packet);
  // Sub-functions 2 and 9/10; false for a broken request.
  bool sendCommand(uint8_t number, std::span<const uint8_t> body);
  bool writeFifo(uint8_t number, bool commands, std::span<const uint8_t> frames);

  const std::chrono::steady_clock::time_point start_;
  mutable std::mutex mutex_;  // guards the channels; never held while a slave runs
  std::map<uint8_t, std::unique_ptr<Channel>> channels_;
};

}  // namespace qor::emulator
