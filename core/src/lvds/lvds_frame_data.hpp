// A port's LVDS frame data: the frame filter in front of the answer matching, the grabber and generator marks that
// the open finds, and the steps the close takes.
#pragma once

#include <cstddef>
#include <cstdint>

#include "ports/port_context.hpp"

namespace qor::client {

// The open marks a port on which it found a frame grabber or a frame generator. A handle of no open port is ignored.
void markFrameGrabber(uint32_t port);
void markFrameGenerator(uint32_t port);

// At close: waits up to 1000 ms while a frame is being collected; after the traffic, removes the filter and frees
// the frames, and a reader still waiting for a frame returns.
Teardown lvdsFramesTeardown();

} // namespace qor::client
