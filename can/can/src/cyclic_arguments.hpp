// What the cyclic-message functions share: the firmware's form of a signal, ramp modes, CAN FD identifiers and the
// caller's data bytes.
#pragma once

#include <cstddef>
#include <cstdint>

#include "qor_common_signal.h"
#include "qor_kit/call.hpp"
#include "qor_kit/record_writer.hpp"

namespace qor::can {

// A signal as the firmware places it: byte and bit of its start, its size in bits, 1 for Motorola byte order.
struct FirmwareSignal {
  uint8_t byteIndex = 0;
  uint8_t bitIndex = 0;
  uint8_t size = 0;
  uint8_t motorola = 0;
};

// The common library's layout check; its code comes back unchanged.
uint32_t checkSignal(const kit::Call& call, const Qor_Common_Signal_t& signal);
// The check, then the firmware's form.
uint32_t splitSignal(const kit::Call& call, const Qor_Common_Signal_t& signal, FirmwareSignal* split);

bool isFdMessage(uint32_t identifier);

// Bytes the call reads from the caller: NULL is refused unless none are read.
uint32_t checkBytes(const kit::Call& call, const void* bytes, size_t count, const char* name);

// The first `count` bytes of data, then zeros up to `width`.
void putPadded(kit::RecordWriter& record, const uint8_t* data, size_t count, size_t width);

}  // namespace qor::can
