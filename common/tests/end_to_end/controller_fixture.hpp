// The common library's road: one emulated controller of a chosen model on loopback, the daemon as a process, and the
// library of this test process. The model fixes the port's sizes (the maximum parameter length, the queue's message).
#pragma once

#include <cstdint>

#include "qor_test/interface_fixture.hpp"

namespace qor::test {

struct Model {
  uint32_t hostType;
  uint8_t deviceCode;  // the firmware's code of the model, so that the port is not reopened under another type
};

// Maximum parameter length 1012; not of the groups whose monitors run in the daemon.
inline constexpr Model kModelOf1012{11, 27};
// Maximum parameter length 32756, and messages that carry answers of that size.
inline constexpr Model kModelOf32756{74, 71};

class ControllerFixture : public InterfaceFixture {
 protected:
  explicit ControllerFixture(Model model) : model_(model) {}

  void SetUp() override;
  // Opens the controller's first interface; fails the test when the open fails.
  uint32_t openController();

  const Model model_;
};

}  // namespace qor::test
