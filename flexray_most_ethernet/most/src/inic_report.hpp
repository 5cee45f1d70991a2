// The INIC's report (command 0x21, selector 2): the answer to the last request, which request waits on.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "qor_kit/call.hpp"

namespace qor::most {

inline constexpr uint8_t kInicCommand = 0x21;

struct InicReport {
  uint32_t state;           // flag bits 0 to 4
  uint32_t firmwareStatus;  // not translated
  uint16_t functionId;
  uint8_t operationType;
  uint8_t instanceId;
  std::span<const uint8_t> data;  // within the answer's bytes
};

// Reads the report into answer and report; an answer shorter than its head or than the data it announces is a short
// answer. No interface check.
uint32_t readInicReport(const kit::Call& call, std::vector<uint8_t>& answer, InicReport& report);

}  // namespace qor::most
