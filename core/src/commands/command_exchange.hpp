// The firmware command exchange: sending commands, waiting for their answers and matching the answers.
#pragma once

#include <cstdint>

#include "ports/port_context.hpp"
#include "qor_shared/protocol.hpp"

// The expected-response record armed for a scope (under the port's command lock, which keeps one exchange at a
// time): the response thread fills buffer and *size when the answer comes; the end of the scope disarms it.
class ArmedResponse {
 public:
  ArmedResponse(Qor_PortInfo_t& entry, uint8_t command, uint32_t expectedType, const uint8_t* control,
                uint8_t controlCount, void* buffer, uint32_t* size);
  ~ArmedResponse();
  ArmedResponse(const ArmedResponse&) = delete;
  ArmedResponse& operator=(const ArmedResponse&) = delete;

 private:
  Qor_PortContext& context_;
};

// Sends a complete queue message on the port's request queue; a failure records 0x2000104 for the port.
uint32_t Qor_Client_SendCommand(Qor_PortInfo_t& entry, const uint8_t* message, uint32_t length);

// Builds the command in the port's template and sends it (command lock held by the caller).
uint32_t Qor_Client_SendFwCommand(Qor_PortInfo_t& entry, uint8_t requestKind, uint8_t command, const void* parameters,
                                  uint32_t length);

// A firmware frame (message 0xF0) that no tap consumed: the answer a caller waits for, else routed as unmatched.
void Qor_Client_ReceivedFrame(Qor_PortInfo_t& entry, const qor::protocol::Frame& frame);

// True when the frame ends the wait of the port's caller (who is told); false leaves it unmatched.
bool Qor_Client_MatchFrame(Qor_PortInfo_t& entry, const qor::protocol::Frame& frame);

// The FPGA reply (message 0x40), beside the FPGA calls in fpga_access.cpp.
void Qor_Client_ReceivedResponse_Fpga(Qor_PortInfo_t& entry, const uint8_t* message, size_t length);

// A bare daemon message (locks, monitor start and stop) under the command lock: sends it and waits for event or
// the error event, at most milliseconds.
uint32_t Qor_Client_DaemonRequest(Qor_PortInfo_t& entry, uint8_t code, InternalEvent& event, uint32_t milliseconds);
