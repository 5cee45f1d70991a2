// The firmware's answers about the controller, its interfaces and transceivers, turned into the caller's records.
// One place for the synchronous calls and the asynchronous relays; every count is cut to the bytes that arrived
// and to the record's room. A decoder returns false for an answer too short for its fixed part.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "qor_common_controller.h"

namespace qor::common {

// Fixed parts of the answers.
inline constexpr size_t kControllerAnswerHead = 40;  // command 0xFF {u32 0}; pairs follow
inline constexpr size_t kInterfaceAnswerHead = 24;   // command 0xFE; pairs follow
inline constexpr size_t kTransceiverAnswerHead = 4;  // command 0xFF {2}; records follow
inline constexpr size_t kCurrentTransceiverEnd = 17; // the interface answer up to its transceiver flags
inline constexpr uint32_t kInterfaceAnswerCapacity = 88;

// Code of a feature pair of an interface of this Qor_InterfaceType; 0 without one.
uint32_t featureCode(uint8_t interfaceType, uint8_t kind, uint8_t value);
// Code of a transceiver type and subtype; 0 without one.
uint16_t transceiverCode(uint8_t type, uint8_t subtype);
// The firmware's interface type of a Qor_InterfaceType; 0 without one.
uint8_t firmwareInterfaceType(uint32_t interfaceType);
// The year of the version text's "date: Mmm dd yyyy", when the text has one with a number there.
std::optional<uint32_t> firmwareYear(std::string_view versionText);

bool decodeControllerInfo(std::span<const uint8_t> answer, uint32_t hostInterfaceType,
                          Qor_Common_ControllerInfo_t& info);
bool decodeInterfaceInfo(std::span<const uint8_t> answer, Qor_Common_InterfaceInfo_t& info);
bool decodeTransceiverInfo(std::span<const uint8_t> answer, Qor_Common_TransceiverInfo_t& info);
// The interface answer's transceiver; empty when the answer is short. valid tells whether it holds one.
struct CurrentTransceiver {
  bool valid;
  Qor_Common_CurrentTransceiver_t record;
};
std::optional<CurrentTransceiver> decodeCurrentTransceiver(std::span<const uint8_t> answer);

}  // namespace qor::common
