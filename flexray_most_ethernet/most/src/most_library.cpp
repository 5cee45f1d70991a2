#include "most_library.hpp"

namespace qor::most {

uint32_t checkMostInterface(const kit::Call& call) {
  return call.checkInterface(kMostInterfaceType, "MOST Interface expected");
}

}  // namespace qor::most
