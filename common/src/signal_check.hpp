// The layout rules of a signal in a 64-byte frame, apart from the port: the bus libraries' checks come here too.
#pragma once

#include <cstdint>

#include "qor_common_signal.h"
#include "qor_kit/call.hpp"

namespace qor::common {

// 0 when the signal fits; else the failure, recorded for the call's port.
uint32_t checkSignalLayout(const kit::Call& call, const Qor_Common_Signal_t& signal);

}  // namespace qor::common
