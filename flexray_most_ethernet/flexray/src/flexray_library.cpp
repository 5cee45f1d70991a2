#include "flexray_library.hpp"

namespace qor::flexray {

uint32_t checkFlexRayInterface(const kit::Call& call) {
  return call.checkInterface(kFlexRayInterfaceType, "FlexRay Interface expected!!!");
}

}  // namespace qor::flexray
