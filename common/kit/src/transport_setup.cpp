#include "qor_kit/transport_setup.hpp"

#include <vector>

namespace qor::kit {

namespace {
constexpr uint8_t kSetUp = 3;
}

RecordWriter transportSetupRecord(size_t recordBytes, uint8_t channel, uint16_t protocol, uint16_t flags) {
  RecordWriter record(recordBytes);
  record.u8(kSetUp).u8(channel).u16(0).u16(protocol).u16(0).u16(flags).u16(0);
  return record;
}

uint32_t sendTransportSetup(const Call& call, uint8_t controlBytes, RecordWriter& record) {
  record.zeros(record.room());
  std::vector<uint8_t> answer;
  return call.exchange(kTransportSetupCommand, controlBytes, record, answer, kTransportSetupAnswerCapacity);
}

}  // namespace qor::kit
