// What the library keeps for the DAQ of one (port, channel): the caller's signals and time-outs, what the slave
// reported, the lists laid out and the look-up from a DTO's identifier to its ODT. Kept per port and dropped when the
// port closes, so a port opened again under the same handle starts afresh.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "qor_common_xcp_daq.h"
#include "qor_kit/call.hpp"
#include "xcp_command_info.hpp"
#include "xcp_daq_layout.hpp"

namespace qor::common::xcp {

struct DaqRecord {
  std::mutex mutex;  // one call at a time: a reader never meets a start or a reset halfway
  bool running = false;
  bool configured = false;  // the slave holds the lists built from the signals
  std::vector<Qor_Common_Xcp_Daq_Signal_t> signals;
  std::array<uint32_t, 7> timeoutsMs = {100, 100, 100, 100, 100, 100, 100};
  uint32_t firmwareTimeoutUs = 100000;
  CommandInfo slave;  // byte order and MAX_CTO from CONNECT
  DaqLimits limits;
  std::optional<uint32_t> savedProperty0;  // channel property 0 before the start raised it
  std::vector<DaqList> lists;
  DaqLookup lookup;
};

// The record of (port, channel) after the checks of the handle and the channel; made when missing if `make`, else
// null (with code 0) when there is none.
std::shared_ptr<DaqRecord> findDaqRecord(const kit::Call& call, uint8_t channel, bool make, uint32_t& code);

}  // namespace qor::common::xcp
