// Sending the protocol parameters, for the functions that take them from a file too.
#pragma once

#include <cstdint>

#include "qor_flexray_config.h"
#include "qor_kit/call.hpp"

namespace qor::flexray {

// The configuration record (sub-function 1 and the parameters) on a port already checked.
uint32_t sendConfig(const kit::Call& call, const Qor_FlexRay_ConfigData_t& data);

}  // namespace qor::flexray
