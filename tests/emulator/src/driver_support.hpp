// What the emulated drivers share: the file a request's descriptor is, and sleeping on and waking a 32-bit word of
// memory that processes share (a futex on a shared mapping), how an emulated card's interrupt reaches a driver
// stand-in in another process.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace qor::emulator {

// The path of the file open on descriptor; empty when it has none.
std::string pathOfDescriptor(int descriptor);

// Sleeps while the word holds value, at most until the deadline; false when the deadline had passed. It may come
// back early, so the caller looks at the word again.
bool sleepWhileWordIs(const volatile uint32_t* word, uint32_t value, std::chrono::steady_clock::time_point deadline);

// Wakes every sleeper on the word, in any process.
void wakeWordSleepers(const volatile uint32_t* word);

}  // namespace qor::emulator
