// The registration point of the program's access paths: one line per real path. A kind without a line stays
// unavailable (its opens fail with 0x100000A, its driver information is empty).
#include "map.hpp"
#include "map_ethernet.hpp"
#include "map_pxi94xx.hpp"
#include "map_pxi95xx.hpp"
#include "map_usb.hpp"
#include "map_usb_over_ethernet.hpp"

namespace qor::daemon {

void installAccessPaths(DeviceAccess& access, const std::string& executableDirectory) {
  access.install(PathKind::Usb, makeUsbPath(executableDirectory));
  access.install(PathKind::Ethernet, makeEthernetPath());
  access.install(PathKind::Cards94xx, makePxi94xxPath());
  access.install(PathKind::UsbOverEthernet, makeUsbOverEthernetPath(executableDirectory));
  access.install(PathKind::Cards95xx, makePxi95xxPath());
}

} // namespace qor::daemon
