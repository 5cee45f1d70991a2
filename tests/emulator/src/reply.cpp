#include "qor_emulator/reply.hpp"

namespace qor::emulator {

Reply::Reply(Bytes frame) { send(std::move(frame)); }

Reply& Reply::send(Bytes bytes) {
  steps_.push_back(Step{Step::Kind::Send, std::move(bytes), {}});
  return *this;
}

Reply& Reply::wait(std::chrono::milliseconds duration) {
  steps_.push_back(Step{Step::Kind::Wait, {}, duration});
  return *this;
}

Reply& Reply::cut() {
  steps_.push_back(Step{Step::Kind::Cut, {}, {}});
  return *this;
}

}  // namespace qor::emulator
