#include "xcp_daq_record.hpp"

#include "qor_kit/port_table.hpp"
#include "xcp_channel.hpp"

namespace qor::common::xcp {
namespace {

struct PortDaqRecords {
  // Shared: a call in progress keeps its record while the port closes.
  std::array<std::shared_ptr<DaqRecord>, kChannels> channels;
};

kit::PortTable<PortDaqRecords>& table() {
  static kit::PortTable<PortDaqRecords> records;
  return records;
}

}  // namespace

std::shared_ptr<DaqRecord> findDaqRecord(const kit::Call& call, uint8_t channel, bool make, uint32_t& code) {
  code = 0;
  if (call.port() >= QOR_MAX_PORTS) {
    code = call.fail(kit::GeneralError::InvalidParameter, "invalid 'portHandle'");
    return nullptr;
  }
  if ((code = call.checkPort()) != 0) return nullptr;
  if (channel >= kChannels) {
    code = call.fail(kit::GeneralError::InvalidParameter, "invalid 'channel'");
    return nullptr;
  }
  std::shared_ptr<DaqRecord> record;
  auto take = [&](PortDaqRecords& port) {
    std::shared_ptr<DaqRecord>& entry = port.channels[channel];
    if (!entry && make) entry = std::make_shared<DaqRecord>();
    record = entry;
  };
  if (make) {
    code = table().withState(call.port(), take);
  } else {
    table().ifState(call.port(), take);
  }
  return record;
}

}  // namespace qor::common::xcp
