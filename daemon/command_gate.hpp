// The turns that the messages of one port's applications take: a message waits up to a bound for its turn and is then
// handled anyway, without the turn, so that one slow message delays the others but never blocks them. Only the holder
// of the turn gives it back.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace qor::daemon {

class CommandGate {
public:
  class Turn {
  public:
    Turn(CommandGate& gate, std::chrono::milliseconds bound) : gate_(gate), held_(gate.enter(bound)) {}
    ~Turn() {
      if (held_) gate_.leave();
    }
    Turn(const Turn&) = delete;
    Turn& operator=(const Turn&) = delete;

  private:
    CommandGate& gate_;
    bool held_;
  };

private:
  bool enter(std::chrono::milliseconds bound) {
    std::unique_lock lock(mutex_);
    if (!free_.wait_for(lock, bound, [&] { return !busy_; })) return false;
    busy_ = true;
    return true;
  }
  void leave() {
    {
      std::lock_guard lock(mutex_);
      busy_ = false;
    }
    free_.notify_one();
  }

  std::mutex mutex_;
  std::condition_variable free_;
  bool busy_ = false;
};

} // namespace qor::daemon
