// The node configuration command 0x1E: a u32 sub-function first, its low byte the one control byte that keys the
// answer, which repeats it; answers have at most 28 bytes. Properties of the node are read and set through it by a
// u32 id: set {u32 5, u32 id, u32 value}, read {u32 6, u32 id}, the value at 8 of the answer.
#pragma once

#include <cstdint>
#include <vector>

#include "qor_bus_configuration.h"
#include "qor_kit/call.hpp"
#include "qor_kit/property_by_id.hpp"

namespace qor::can {

enum NodeConfiguration : uint32_t {
  kSetBaudRate = QOR_CAN_BAUD_RATE_SET,
  kGetBaudRate = 4,
  kSetProperty = 5,
  kGetProperty = 6,
  kSetBaudRateFd = 7,
  kGetBaudRateFd = 8,
  kBusTerminationOn = 9,
  kBusTerminationOff = 10,
  kInternalVBatOn = 11,
  kInternalVBatOff = 12,
};

inline constexpr uint8_t kNodeConfigurationCommand = QOR_CAN_COMMAND_BAUD_RATE;
inline constexpr uint32_t kNodeConfigurationAnswerSize = QOR_CAN_BAUD_RATE_ANSWER_SIZE;

// The node's numbered properties.
enum NodeProperty : uint32_t {
  kBusIdleTime = 1,
  kFdValue = 14,
  kTxBrsGlobal = 15,
  kTxBrsInitValue = 16,
  kTxEsiGlobal = 17,
  kTxEsiInitValue = 18,
  kFdFrameFormatSpec = 19,
  kFdFlag = 20,
  kFdWord = 21,
};

inline constexpr kit::PropertyById kNodeProperties{kNodeConfigurationCommand,
                                                   kSetProperty,
                                                   kGetProperty,
                                                   kit::PropertyById::IdField::Word,
                                                   kNodeConfigurationAnswerSize,
                                                   8};

// Sends a record that begins with its sub-function; answer gets the response.
inline uint32_t configureNode(const kit::Call& call, const kit::RecordWriter& record, std::vector<uint8_t>& answer) {
  constexpr uint8_t kSubFunctionKey = 1;
  return call.exchange(kNodeConfigurationCommand, kSubFunctionKey, record, answer, kNodeConfigurationAnswerSize);
}

}  // namespace qor::can
