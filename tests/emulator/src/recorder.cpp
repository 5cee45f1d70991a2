#include "qor_emulator/recorder.hpp"

namespace qor::emulator {

void Recorder::add(const ReceivedFrame& frame) {
  {
    std::lock_guard lock(mutex_);
    if (!enabled_) return;
    frames_.push_back(frame);
  }
  arrived_.notify_all();
}

void Recorder::clear() {
  std::lock_guard lock(mutex_);
  frames_.clear();
}

void Recorder::setEnabled(bool enabled) {
  std::lock_guard lock(mutex_);
  enabled_ = enabled;
}

size_t Recorder::count() const {
  std::lock_guard lock(mutex_);
  return frames_.size();
}

std::vector<ReceivedFrame> Recorder::frames() const {
  std::lock_guard lock(mutex_);
  return frames_;
}

std::optional<ReceivedFrame> Recorder::waitFor(size_t index, std::chrono::milliseconds timeout) const {
  std::unique_lock lock(mutex_);
  if (!arrived_.wait_for(lock, timeout, [&] { return frames_.size() > index; })) return std::nullopt;
  return frames_[index];
}

std::optional<ReceivedFrame> Recorder::waitForCommand(uint8_t command, std::chrono::milliseconds timeout,
                                                      size_t occurrence) const {
  std::optional<ReceivedFrame> found;
  const auto search = [&] {
    size_t seen = 0;
    for (const auto& frame : frames_) {
      if (frame.command() == command && seen++ == occurrence) {
        found = frame;
        return true;
      }
    }
    return false;
  };
  std::unique_lock lock(mutex_);
  arrived_.wait_for(lock, timeout, search);
  return found;
}

}  // namespace qor::emulator
