// What each feature of a port undoes at close. The open registers every feature's teardown in the order it sets the
// features up; the close walks the list backwards, so that the close itself knows none of them.
#pragma once

#include <cstdint>
#include <vector>

#include "qor_client_state.h"

namespace qor::client {

// Two steps around the end of the port's traffic; either may be absent.
struct Teardown {
  // While the port still answers, before the daemon is told: stop commands go out here. A code other than 0 ends
  // the close there, and the port stays open.
  uint32_t (*beforeDisconnect)(Qor_PortInfo_t& entry) = nullptr;
  // After the response thread ended. False when a thread of the feature did not end: the port's state is then left
  // to that thread.
  bool (*afterTraffic)(Qor_PortInfo_t& entry) = nullptr;
};

// Filled by the open before the port is published, read-only afterwards.
class TeardownList {
 public:
  void add(const Teardown& teardown) { steps_.push_back(teardown); }

  // The first steps, newest feature first, until one fails; 0 or its code.
  uint32_t beforeDisconnect(Qor_PortInfo_t& entry) const {
    for (auto step = steps_.rbegin(); step != steps_.rend(); ++step) {
      if (step->beforeDisconnect == nullptr) continue;
      if (uint32_t result = step->beforeDisconnect(entry)) return result;
    }
    return 0;
  }

  // Every second step, newest feature first; false when any of them left a thread running.
  bool afterTraffic(Qor_PortInfo_t& entry) const {
    bool ended = true;
    for (auto step = steps_.rbegin(); step != steps_.rend(); ++step) {
      if (step->afterTraffic != nullptr && !step->afterTraffic(entry)) ended = false;
    }
    return ended;
  }

 private:
  std::vector<Teardown> steps_;
};

} // namespace qor::client
