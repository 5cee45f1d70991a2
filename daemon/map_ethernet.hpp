// The access path of Ethernet-attached devices: discovery by UDP broadcast, firmware frames over one TCP
// connection per port.
#pragma once

#include <memory>

#include "access_path.hpp"

namespace qor::daemon {

std::unique_ptr<AccessPath> makeEthernetPath();

} // namespace qor::daemon
