// What the network management sources share: the AUTOSAR node operations' command and the group check.
#pragma once

#include <cstdint>
#include <vector>

#include "can_library.hpp"

namespace qor::can {

// Command 0x40: a sub-function record, answered by a record that repeats its first byte.
uint32_t nmNodeOperation(const kit::Call& call, const kit::RecordWriter& record, std::vector<uint8_t>& answer);
uint32_t nmNodeOperation(const kit::Call& call, const kit::RecordWriter& record);

// Groups 0 and 1: "invalid group number" naming the group for others.
uint32_t checkNmGroup(const kit::Call& call, uint8_t group);

}  // namespace qor::can
