// The registration point of the program's access paths: one line per real path. A kind without a line stays
// unavailable (its opens fail with 0x100000A, its driver information is empty):
//   USB                       PathKind::Usb              map_usb.cpp
//   USB over Ethernet         PathKind::UsbOverEthernet  map_usb_over_ethernet.cpp
//   94xx cards                PathKind::Cards94xx        map_pxi94xx.cpp
//   95xx cards                PathKind::Cards95xx        map_pxi95xx.cpp
#include "map.hpp"
#include "map_ethernet.hpp"
#include "map_pxi94xx.hpp"
#include "map_pxi95xx.hpp"

namespace qor::daemon {

void installAccessPaths(DeviceAccess& access) {
  access.install(PathKind::Ethernet, makeEthernetPath());
  access.install(PathKind::Cards94xx, makePxi94xxPath());
  access.install(PathKind::Cards95xx, makePxi95xxPath());
}

} // namespace qor::daemon
