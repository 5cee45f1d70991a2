// The K-Line monitor's deliveries as the firmware may send them, broken in any way, into a small ring: the parser and
// the ring never touch memory outside their own, every item the ring gives is whole (an application item of no more
// than its node's bytes), and a read empties the ring.
// Input: byte 0 chooses the ring (bit 0 advanced items, the rest its size), then deliveries, each a u16 length and
// its bytes.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "monitor_deliveries.hpp"
#include "monitor_items.hpp"
#include "monitor_ring.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace qor::kline;
  if (size == 0) return 0;
  const bool advanced = (data[0] & 1) != 0;
  const size_t ringSize = 32 + size_t{data[0]} * 4;
  MonitorRing ring(ringSize, advanced ? kAdvancedFlagOffset : kRegularFlagOffset);
  DeliveryParser parser(advanced);
  std::span<const uint8_t> input(data + 1, size - 1);
  while (input.size() >= 2) {
    const size_t length = std::min<size_t>(input[0] | input[1] << 8, input.size() - 2);
    parser.take(input.subspan(2, length), ring);
    input = input.subspan(2 + length);
  }
  size_t items = 0;
  std::vector<uint8_t> out;
  while (ring.holdsItems()) {
    const std::span<const uint8_t> item = ring.oldest();
    if (item.empty() || item.size() + kRingNodeHead > ringSize) std::abort();
    if (advanced) {
      out.assign(advancedItemSize(item), 0xCC);
      if (out.size() > item.size() + 4 + 3) std::abort();  // 16-byte head for the firmware's 12, padding
      writeAdvancedItem(item, out.data());
    } else if (item.size() != kRegularItemSize) {
      std::abort();
    } else {
      (void)regularItem(item);
    }
    ring.dropOldest();
    if (++items > ringSize / kRingNodeHead) std::abort();  // more items than the ring can hold
  }
  return 0;
}
