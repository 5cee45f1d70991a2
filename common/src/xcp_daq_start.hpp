// The start of a DAQ on the slave and what undoes it; the record's mutex is held by the caller.
#pragma once

#include <cstdint>

#include "qor_common_xcp_daq.h"
#include "qor_kit/call.hpp"
#include "xcp_daq_record.hpp"

namespace qor::common::xcp {

// Configures the slave unless the record is configured, then starts the selected lists. The request and the result
// are checked by the caller.
uint32_t startDaq(const kit::Call& call, uint8_t channel, DaqRecord& record,
                  const Qor_Common_Xcp_Daq_StartRequest_t& request, Qor_Common_Xcp_Daq_StartResult_t& result);
// START_STOP_SYNCH: start the selected lists (true) or stop all.
uint32_t synchronise(const kit::Call& call, uint8_t channel, const DaqRecord& record, bool start);
// Drops the lists and the look-up, restores channel property 0 when a start raised it; the record is unconfigured.
void dropLayout(const kit::Call& call, uint8_t channel, DaqRecord& record);

}  // namespace qor::common::xcp
