// Application messages on the MOST ring: a message of up to 65536 data bytes goes as control message telegrams. One
// that fits a telegram goes as it is (telegram id 0); a longer one as a first, middle and last telegram (ids 1, 2, 3),
// each carrying a counter byte (0, 1, ... wrapping at 256) and up to 254 data bytes.
//
//   for (const MostControlMessage& telegram : toTelegrams(message)) ring.transmit(device, interface, telegram);
//   ...
//   if (std::optional<MostControlMessage> whole = joiner.take(telegram)) ...
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <vector>

#include "qor_emulator/most_ring.hpp"

namespace qor::emulator {

inline constexpr size_t kMostApplicationMessageMax = 65536;

// The telegrams of a message (its data at most kMostApplicationMessageMax bytes, its telegram id ignored).
std::vector<MostControlMessage> toTelegrams(const MostControlMessage& message);

// Joins the telegrams each sender sends, one message at a time per sender.
class MostTelegramJoiner {
 public:
  // The message this telegram completes (telegram id 0), if any. A telegram that does not continue its sender's
  // message in order drops that message, as does a message grown past the limit.
  std::optional<MostControlMessage> take(const MostControlMessage& telegram);

 private:
  struct Joining {
    MostControlMessage message;
    uint8_t nextCounter;
  };
  std::map<uint16_t, Joining> joining_;  // by source address
};

}  // namespace qor::emulator
