#include <algorithm>
#include <iterator>

#include "lin_library.hpp"
#include "node_property.hpp"
#include "qor_api.h"
#include "qor_lin_relays.h"
#include "relay_switch.hpp"

namespace qor::lin {
namespace {

// How a model switches the bus pull-up resistor.
enum class PullUpWay : uint8_t {
  Unsupported,
  RelayByController,  // relay 9 for controller 1, 10 for controller 2, 11 for any other
  RelayByInterface,   // relay 1 for interface 3, else relay 2
  Relay2,
  NodeProperty,  // node property 49
};

struct PullUpRow {
  uint32_t firstHostType;
  uint32_t lastHostType;
  PullUpWay way;
};

constexpr PullUpRow kPullUpWays[] = {
    {6, 7, PullUpWay::RelayByController},    {8, 9, PullUpWay::RelayByInterface},
    {13, 14, PullUpWay::RelayByController},  {15, 16, PullUpWay::RelayByInterface},
    {17, 17, PullUpWay::Relay2},             {22, 27, PullUpWay::NodeProperty},
    {28, 28, PullUpWay::RelayByInterface},   {29, 32, PullUpWay::NodeProperty},
    {34, 35, PullUpWay::NodeProperty},       {38, 38, PullUpWay::NodeProperty},
    {40, 41, PullUpWay::NodeProperty},       {44, 52, PullUpWay::NodeProperty},
    {72, 72, PullUpWay::NodeProperty},       {74, 74, PullUpWay::NodeProperty},
    {78, 86, PullUpWay::NodeProperty},
};

PullUpWay pullUpWay(uint32_t hostType) {
  const auto row = std::find_if(std::begin(kPullUpWays), std::end(kPullUpWays), [&](const PullUpRow& r) {
    return hostType >= r.firstHostType && hostType <= r.lastHostType;
  });
  return row == std::end(kPullUpWays) ? PullUpWay::Unsupported : row->way;
}

uint8_t pullUpRelay(PullUpWay way, const Qor_InterfaceInfo_t& descriptor) {
  switch (way) {
    case PullUpWay::RelayByController:
      return descriptor.controllerNumber == 1 ? 9 : descriptor.controllerNumber == 2 ? 10 : 11;
    case PullUpWay::RelayByInterface:
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
  const PullUpWay way = pullUpWay(hostType);
  switch (way) {
    case PullUpWay::Unsupported:
      return call.fail(kit::GeneralError::WrongInterfaceType,
                       "host interface type '%02x' does not support this operation", hostType);
    case PullUpWay::NodeProperty:
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
