// libQorPxi95xx_API over the emulated Vortaq driver, for a process that loads the card library by name (the daemon,
// or a test with the daemon inside) while it or another process plays the cards below Card95xx::kSandboxProcRoot,
// reached through the cards' shared files.
// Test tooling only, never shipped.
#include "driver_access.hpp"
#include "qor_emulator/card95xx.hpp"

namespace {

// Before the library's own constructor finds and connects the cards.
__attribute__((constructor(101))) void standInForTheDriver() {
  qor::pxi95xx::useDriver(qor::emulator::Card95xx::kSandboxProcRoot, qor::emulator::Card95xx::request);
}

}  // namespace
