// Switching relays by number, shared by the relay functions and the pull-up resistor.
#pragma once

#include <cstdint>

#include "lin_library.hpp"

namespace qor::lin {

enum class RelaySwitch : uint8_t { Set, Reset };

// After the interface check: the flags, the numbers, the relay port and the command.
uint32_t switchRelays(const kit::Call& call, RelaySwitch how, uint32_t flags, uint8_t count, const uint8_t* relays);

}  // namespace qor::lin
