#include "lin_library.hpp"

namespace qor::lin {

uint32_t checkLinInterface(const kit::Call& call) {
  return call.checkInterface(kLinInterfaceType, "LIN interface expected");
}

}  // namespace qor::lin
