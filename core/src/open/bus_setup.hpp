// What the bus set-up functions and their appliers share: recording refusals and sending set-up records.
#pragma once

#include <cstdint>

#include "open/bus_records.hpp"

namespace qor::client {

// Records the refusal on the port (or for the process) and returns its code.
uint32_t recordRefusal(uint32_t port, const Refusal& refusal);

// Sends a record with one control byte and waits for the answer, at most answerRoom bytes; its data are not used.
uint32_t exchangeSetupRecord(uint32_t port, uint8_t command, const void* record, uint32_t length, uint32_t answerRoom);

// Command 0x1E: the CAN controller's baud rate.
uint32_t setCanBaudRate(uint32_t port, uint32_t baudRate);

} // namespace qor::client
