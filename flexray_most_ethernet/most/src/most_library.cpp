#include "most_library.hpp"

namespace qor::most {

uint32_t checkMostInterface(const kit::Call& call) {
  return call.checkInterface(kMostInterfaceType, "MOST Interface expected");
}

uint32_t refuseShortAnswer(const kit::Call& call, const kit::AnswerReader& answer) {
  return call.fail(kit::GeneralError::InvalidResponseLength, "%zu", answer.size());
}

}  // namespace qor::most
