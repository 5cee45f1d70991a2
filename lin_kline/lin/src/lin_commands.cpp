#include "lin_commands.hpp"

namespace qor::lin {

uint32_t sendWord(const kit::Call& call, uint8_t command, uint32_t value) {
  kit::RecordWriter record(sizeof value);
  record.u32(value);
  return call.send(command, record);
}

uint32_t sendByteRecord(const kit::Call& call, uint8_t command, uint8_t value) {
  kit::RecordWriter record(4);
  record.u8(value).zeros(3);
  return call.send(command, record);
}

}  // namespace qor::lin
