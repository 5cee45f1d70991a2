#include "monitor_records.hpp"

namespace qor::most {
namespace {

constexpr uint8_t kMonitorCommand = 0x54;

}  // namespace

uint32_t sendMonitorSetting(const kit::Call& call, const kit::RecordWriter& record) {
  std::vector<uint8_t> answer;
  return call.exchange(kMonitorCommand, 1, record, answer);
}

uint32_t readMonitorSetting(const kit::Call& call, MonitorSelector selector, std::vector<uint8_t>& answer) {
  kit::RecordWriter record(4);
  record.u8(selector).u8(0).u16(0);
  return call.exchange(kMonitorCommand, 1, record, answer);
}

}  // namespace qor::most
