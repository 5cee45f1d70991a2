// Every frame a device received, in order of arrival, for byte-exact assertions.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <vector>

#include "qor_emulator/frame.hpp"

namespace qor::emulator {

class Recorder {
 public:
  void add(const ReceivedFrame& frame);

  // Indices count from the last clear().
  void clear();
  // Off: frames pass without being kept (long benchmark runs).
  void setEnabled(bool enabled);

  size_t count() const;
  std::vector<ReceivedFrame> frames() const;
  // The frame with this index, waiting at most `timeout` for it to arrive.
  std::optional<ReceivedFrame> waitFor(size_t index, std::chrono::milliseconds timeout) const;
  // The occurrence-th frame (from 0) with this command byte, waiting at most `timeout`.
  std::optional<ReceivedFrame> waitForCommand(uint8_t command, std::chrono::milliseconds timeout,
                                              size_t occurrence = 0) const;

 private:
  mutable std::mutex mutex_;
  mutable std::condition_variable arrived_;
  std::vector<ReceivedFrame> frames_;
  bool enabled_ = true;
};

}  // namespace qor::emulator
