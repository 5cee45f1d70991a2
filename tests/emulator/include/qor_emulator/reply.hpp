// What a device does in answer to one frame: steps played in order on the connection that carried the frame.
#pragma once

#include <chrono>
#include <functional>
#include <vector>

#include "qor_emulator/frame.hpp"

namespace qor::emulator {

class Reply {
 public:
  struct Step {
    // Send: the bytes as they are (whole frames, parts of one, lying lengths); Wait: the duration; Cut: closes
    // the connection, dropping the steps that follow.
    enum class Kind { Send, Wait, Cut };
    Kind kind;
    Bytes bytes;
    std::chrono::milliseconds duration{0};
  };

  Reply() = default;  // silence
  Reply(Bytes frame);  // one frame; implicit, so that handlers return frames as they are

  Reply& send(Bytes bytes);
  Reply& wait(std::chrono::milliseconds duration);
  Reply& cut();

  const std::vector<Step>& steps() const { return steps_; }

 private:
  std::vector<Step> steps_;
};

// Gets every frame with its command byte and returns the device's whole answer (an empty Reply is silence).
using Handler = std::function<Reply(const ReceivedFrame&)>;

}  // namespace qor::emulator
