// The bit-timing calculation of the node's 16-bit register (layout in qor_can_node.h): the inputs checked, the
// settings that honour them generated for both prescaler modes, and the best one chosen. Pure: the caller records
// a failure's text for its port.
#pragma once

#include <cstdint>
#include <string>
#include <variant>

namespace qor::can {

struct BitTimingRequest {
  uint8_t timeQuanta = 0;  // 0: chosen
  uint8_t tseg1 = 0;
  uint8_t tseg2 = 0;
  uint8_t sjw = 0;
  double baudRate = 0;
  double samplePoint = 0;  // percent; 0 means 80
};

struct BitTimingRefusal {
  uint16_t error;    // a CanError
  std::string text;  // the offending value
};

// The register value, or why there is none.
std::variant<uint16_t, BitTimingRefusal> calculateBitTiming(const BitTimingRequest& request);

}  // namespace qor::can
