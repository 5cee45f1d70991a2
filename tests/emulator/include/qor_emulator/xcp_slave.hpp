// The XCP slaves that the emulated firmware's XCP channels (xcp_firmware.hpp) talk to: a packet of the master goes in,
// the slave's packets come out. The firmware owns the transport (polls, FIFOs, time-outs, time stamps); a slave only
// speaks XCP.
//
// Growing it: a fuller slave is a BasicXcpSlave with more commands registered through on() (EmulatedEcu in
// xcp_ecu.hpp: memory, seed & key, flash programming, block modes; DAQ lists join it the same way), or an XcpSlave
// of its own; the channel does not change. A slave that sends on its own (DAQ DTOs after START_STOP_SYNCH, events)
// keeps the XcpSlaveOutlet that the channel hands it when it is plugged in, and may use it from any thread.
#pragma once

#include "qor_shared/xcp_protocol.hpp"

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <span>
#include <vector>

#include "qor_emulator/frame.hpp"

namespace qor::emulator {

// What a slave can send without being asked, through the channel it is plugged into.
class XcpSlaveOutlet {
 public:
  virtual ~XcpSlaveOutlet() = default;
  // A DTO packet (PID first) into the DTO receive FIFO; flags bit 0 is reported with the frame.
  virtual void sendData(Bytes packet, uint8_t flags = 0) = 0;
  // A CTO packet (event, service request, a late answer) into the CTO receive FIFO.
  virtual void sendCommandPacket(Bytes packet) = 0;
};

class XcpSlave {
 public:
  virtual ~XcpSlave() = default;
  // A command packet of the master (command code first), sent with send-and-poll or through the CTO transmit FIFO.
  // The packets returned are the slave's, in order: the first answers a send-and-poll command, all others (and every
  // answer to a FIFO command) go to the CTO receive FIFO. None: the slave stays silent and the master times out.
  virtual std::vector<Bytes> command(std::span<const uint8_t> packet) = 0;
  // A packet of the DTO transmit FIFO (STIM).
  virtual void stimulus(std::span<const uint8_t> packet) { (void)packet; }
  // The channel's outlet while the slave is plugged in; nullptr when it is unplugged.
  virtual void plugged(XcpSlaveOutlet* outlet) { (void)outlet; }
};

// XCP packet codes the emulator speaks.
inline constexpr uint8_t kXcpPositiveAnswer = xcp_protocol::kPositiveAnswer;
inline constexpr uint8_t kXcpErrorPacket = xcp_protocol::kErrorPacket;
inline constexpr uint8_t kXcpConnect = xcp_protocol::kConnect;
inline constexpr uint8_t kXcpGetStatus = xcp_protocol::kGetStatus;
inline constexpr uint8_t kXcpErrorUnknownCommand = xcp_protocol::kErrUnknownCommand;
inline constexpr uint8_t kXcpErrorSyntax = xcp_protocol::kErrSyntax;

// What BasicXcpSlave answers to CONNECT and GET_STATUS.
struct XcpSlaveSettings {
  uint8_t resource = 0x05;      // CONNECT byte 1: CAL/PAG and DAQ
  uint8_t commModeBasic = 0x00; // byte 2: little endian, byte granularity
  uint8_t maxCto = 8;
  uint16_t maxDto = 8;          // sent in the slave's byte order
  uint8_t protocolVersion = 1;
  uint8_t transportVersion = 1;
  uint8_t sessionStatus = 0;    // GET_STATUS byte 1
  uint8_t protection = 0;       // GET_STATUS byte 2
  uint16_t sessionConfigurationId = 0;
};

// A slave that answers CONNECT and GET_STATUS from its settings and every other command with ERR_CMD_UNKNOWN,
// unless a handler was registered for it. Tests script single answers on top: failNext, answerNext.
class BasicXcpSlave : public XcpSlave {
 public:
  // The packets a command gets; the packet handed in is at least one byte long.
  using CommandHandler = std::function<std::vector<Bytes>(std::span<const uint8_t> packet)>;

  explicit BasicXcpSlave(XcpSlaveSettings settings = {});

  // The handler of one command code, replacing the built-in answer or an earlier handler.
  void on(uint8_t commandCode, CommandHandler handler);
  // The next command gets these packets instead (none: silence).
  void answerNext(std::vector<Bytes> packets);
  // The next command gets the error packet {0xFE, errorCode}.
  void failNext(uint8_t errorCode) { answerNext({{kXcpErrorPacket, errorCode}}); }

  std::vector<Bytes> commands() const;  // every command packet received, in order

  std::vector<Bytes> command(std::span<const uint8_t> packet) override;

  // Answers from the settings, usable by handlers that extend them.
  Bytes connectAnswer() const;
  Bytes statusAnswer() const;

 private:
  bool bigEndian() const { return (settings_.commModeBasic & 1) != 0; }

  const XcpSlaveSettings settings_;
  mutable std::mutex mutex_;  // guards what follows
  std::map<uint8_t, CommandHandler> handlers_;
  std::vector<std::vector<Bytes>> scripted_;
  std::vector<Bytes> commands_;
};

}  // namespace qor::emulator
