// The monitor ids that the firmware reports: which the application may enable, and the record that enables them.
#pragma once

#include <cstdint>

#include "qor_kit/call.hpp"

namespace qor::most {

// The ids must fit into one record of the port's maximum parameter length ("invalid data length" with the count) and
// each be known ("invalid parameter" naming the first that is not).
uint32_t checkEnabledIds(const kit::Call& call, uint32_t count, const uint16_t* ids);
// Selector 1 with the ids, which checkEnabledIds passed.
kit::RecordWriter enabledIdsRecord(uint32_t count, const uint16_t* ids);

}  // namespace qor::most
