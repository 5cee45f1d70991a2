// The readers a buffer-mode start chooses (monitor_instances.hpp): from the core's ring of the instance, or
// directly from the firmware with one command per read.
#pragma once

#include "monitor_instances.hpp"

namespace qor::can {

// Compact items from the ring, converted; the ring's data-lost mark goes to the last item.
uint32_t readBuffered32(const kit::Call& call, uint8_t instance, uint32_t size, uint32_t* count, void* items);
// API items from the ring as they are; the same mark.
uint32_t readBuffered64(const kit::Call& call, uint8_t instance, uint32_t size, uint32_t* count, void* items);
// Items from the firmware (sub-function 16, converted, or 14); the last item gets the buffer-filled mark when the
// caller's buffer was filled.
uint32_t readDirect32(const kit::Call& call, uint8_t instance, uint32_t size, uint32_t* count, void* items);
uint32_t readDirect64(const kit::Call& call, uint8_t instance, uint32_t size, uint32_t* count, void* items);
// Large items from the firmware (sub-function 15) into 80-byte slots, as many as both *count (on entry) and size
// allow.
uint32_t readDirectLarge(const kit::Call& call, uint8_t instance, uint32_t size, uint32_t* count, void* slots);

}  // namespace qor::can
