// The firmware's MOST status codes that the library passes on: 0, 1 and, by class (the high half), the numbers the
// firmware defines for it. Any other value is unknown.
#include <algorithm>
#include <cstdint>

#include "most_library.hpp"
#include "qor_most_status.h"

namespace qor::most {
namespace {

struct StatusClass {
  uint16_t statusClass;
  uint16_t highestNumber;
  bool hasNumber0x10;
};

constexpr StatusClass kKnownClasses[] = {
    {0x1, 0x05, false}, {0x2, 0x04, false}, {0x3, 0x06, false}, {0x4, 0x04, true},
    {0x5, 0x0B, false}, {0x6, 0x02, false}, {0x7, 0x09, false},
};

bool isKnown(uint32_t firmwareStatus) {
  if (firmwareStatus <= 1) return true;
  const uint32_t statusClass = firmwareStatus >> 16, number = firmwareStatus & 0xFFFFu;
  return std::ranges::any_of(kKnownClasses, [&](const StatusClass& known) {
    return known.statusClass == statusClass &&
           ((number >= 1 && number <= known.highestNumber) || (known.hasNumber0x10 && number == 0x10));
  });
}

}  // namespace

// No interface check: the other MOST calls use it after theirs.
uint32_t translateStatus(const kit::Call& call, uint32_t firmwareStatus, uint32_t* status) {
  if (uint32_t code = call.checkPointer(status, "status")) return code;
  if (isKnown(firmwareStatus)) {
    *status = firmwareStatus;
    return 0;
  }
  *status = QOR_MOST_STATUS_UNKNOWN;
  return call.fail(kit::GeneralError::InvalidResponseParameter, "Status '%d' is unknown",
                   static_cast<int32_t>(firmwareStatus));
}

}  // namespace qor::most

using qor::kit::Call;
using qor::most::kMost;

uint32_t Qor_Most_TranslateStatusFromFwToApi(uint32_t port, uint32_t firmwareStatus, uint32_t* status) try {
  return qor::most::translateStatus(Call(kMost, port), firmwareStatus, status);
} catch (...) {
  return kMost.failedCall(port);
}
