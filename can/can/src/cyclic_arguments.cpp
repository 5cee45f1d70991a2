#include "cyclic_arguments.hpp"

#include <algorithm>

#include "qor_can_cyclic.h"

namespace qor::can {

uint32_t checkSignal(const kit::Call& call, const Qor_Common_Signal_t& signal) {
  return Qor_Common_Signal_Check(call.port(), &signal);
}

uint32_t splitSignal(const kit::Call& call, const Qor_Common_Signal_t& signal, FirmwareSignal* split) {
  return Qor_Common_Signal_CheckAndTranslate(call.port(), &signal, &split->byteIndex, &split->bitIndex, &split->size,
                                             &split->motorola);
}

bool isFdMessage(uint32_t identifier) { return (identifier & QOR_CAN_CYCLIC_FD_MESSAGE) != 0; }

uint32_t checkBytes(const kit::Call& call, const void* bytes, size_t count, const char* name) {
  return count == 0 ? 0 : call.checkPointer(bytes, name);
}

void putPadded(kit::RecordWriter& record, const uint8_t* data, size_t count, size_t width) {
  const size_t copied = std::min(count, width);
  record.bytes(data, copied).zeros(width - copied);
}

}  // namespace qor::can
