// The walk over an XCP FIFO answer whose frame lengths come from the device: every frame it gives lies inside the
// answer, after its own header, and every step moves forward, so the walk ends.
#include <cstdint>
#include <cstdlib>
#include <span>

#include "xcp_fifo_frames.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace qor::common::xcp;
  const std::span<const uint8_t> answer(data, size);
  FifoFrameWalker walker(answer);
  size_t frames = 0;
  while (!walker.atEnd()) {
    const auto frame = walker.next();
    if (!frame) break;
    const bool inside = frame->data.data() >= answer.data() &&
                        frame->data.data() + frame->data.size() <= answer.data() + answer.size();
    const size_t headBytes = frame->type == kTimeStampedFrame ? kTimeStampedHeadBytes : kFrameHeadBytes;
    if (!inside || frame->data.data() < answer.data() + headBytes) std::abort();
    if (++frames > size / kFrameHeadBytes) std::abort();  // a step that did not move
  }
  return 0;
}
