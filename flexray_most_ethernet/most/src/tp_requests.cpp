#include "tp_requests.hpp"

#include <vector>

namespace qor::most {

kit::RecordWriter tpRecord(TpSelector selector, uint8_t channel, size_t recordBytes) {
  kit::RecordWriter record(recordBytes);
  record.u8(static_cast<uint8_t>(selector)).u8(channel).u16(0);
  return record;
}

uint32_t sendTpRecord(const kit::Call& call, const kit::RecordWriter& record) {
  std::vector<uint8_t> answer;
  return call.exchange(kTpCommand, kTpControlBytes, record, answer);
}

}  // namespace qor::most
