// libPxi94xx over the emulated bridge driver, for a process that loads the card library by name (the daemon) while
// another process plays the cards behind their nodes under "/dev/plx/". Before the library opens the cards, its
// driver requests go to an emulated driver that serves every card node found. Test tooling only, never shipped.
#include "driver_request.hpp"
#include "qor_emulator/plx_driver.hpp"

namespace {

__attribute__((constructor(101))) void standInForTheDriver() {
  static qor::emulator::PlxDriver driver;
  driver.addCardNodes();
  qor::pxi94xx::setDriverRequestFunction(qor::emulator::PlxDriver::request);
}

}  // namespace
