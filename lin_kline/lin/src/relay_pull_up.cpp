#include "lin_library.hpp"
#include "node_property.hpp"
#include "qor_api.h"
#include "qor_lin_relays.h"
#include "qor_shared/host_types.hpp"
#include "relay_switch.hpp"

namespace qor::lin {
namespace {

// A model outside the host-type table switches no pull-up.
LinPullUp pullUpWay(uint32_t hostType) {
  const HostType* host = findHostType(hostType);
  return host == nullptr ? LinPullUp::Unsupported : host->library.linPullUp;
}

uint8_t pullUpRelay(LinPullUp way, const Qor_InterfaceInfo_t& descriptor) {
  switch (way) {
    case LinPullUp::RelayByController:
      return descriptor.controllerNumber == 1 ? 9 : descriptor.controllerNumber == 2 ? 10 : 11;
    case LinPullUp::RelayByInterface:
      return descriptor.interfaceNumber == 3 ? 1 : 2;
    default:
      return 2;
  }
}

uint32_t switchPullUp(const kit::Call& call, bool enable) {
  if (uint32_t code = checkLinInterface(call)) return code;
  const uint32_t hostType = Qor_GetHostInterfaceType(call.port());
  Qor_InterfaceInfo_t descriptor{};
  if (uint32_t code = Qor_GetInterfaceInfo(call.port(), &descriptor)) return code;
  const LinPullUp way = pullUpWay(hostType);
  switch (way) {
    case LinPullUp::Unsupported:
      return call.fail(kit::GeneralError::WrongInterfaceType,
                       "host interface type '%02x' does not support this operation", hostType);
    case LinPullUp::NodeProperty:
      return kNodeProperty.set(call, kPullUpResistorProperty, enable ? 1 : 0);
    default: {
      const uint8_t relay = pullUpRelay(way, descriptor);
      return switchRelays(call, enable ? RelaySwitch::Set : RelaySwitch::Reset, 0, 1, &relay);
    }
  }
}

}  // namespace
}  // namespace qor::lin

using qor::kit::Call;
using qor::lin::kLin;

uint32_t Qor_Lin_PullUpResistor_Enable(uint32_t port) try {
  return qor::lin::switchPullUp(Call(kLin, port), true);
} catch (...) {
  return kLin.failedCall(port);
}

uint32_t Qor_Lin_PullUpResistor_Disable(uint32_t port) try {
  return qor::lin::switchPullUp(Call(kLin, port), false);
} catch (...) {
  return kLin.failedCall(port);
}
