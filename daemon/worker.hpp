// The daemon's threads: each is asked to stop through a flag, says when it runs, and is joined by the server once it
// has ended, so nothing it uses is freed under it and no thread is left behind unjoined.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace qor::daemon {

using Milliseconds = std::chrono::milliseconds;

class Worker {
public:
  void requestStop() { stop_ = true; }
  bool stopRequested() const { return stop_; }

  // The thread reports whether it is doing its work (a suspended hardware thread is not).
  void setRunning(bool running);
  bool ended() const;

  // Waits until the thread has reported running once; false when it ended first or bound passed.
  bool waitStarted(Milliseconds bound) const;
  // Waits until running() equals wanted or the thread has ended; false when bound passed first.
  bool waitRunning(bool wanted, Milliseconds bound) const;
  // Waits until the thread has ended; false when bound passed first.
  bool waitEnded(Milliseconds bound) const;

  bool isCurrentThread() const { return std::this_thread::get_id() == id_; }

private:
  friend class Workers;
  void finish();

  std::thread thread_;
  std::atomic<std::thread::id> id_{};
  std::atomic<bool> stop_{false};
  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  bool running_ = false;
  bool started_ = false;
  bool ended_ = false;
};

class Workers {
public:
  Workers() = default;
  Workers(const Workers&) = delete;
  Workers& operator=(const Workers&) = delete;
  // Every worker must have ended by now (the server stops them first).
  ~Workers();

  // Runs body on a new thread, named name when given; nullptr with errno set when no thread could be created.
  std::shared_ptr<Worker> start(const char* name, std::function<void(Worker&)> body);

  // Joins the workers that have ended.
  void reap();

  // Waits until every worker has ended, within bound, and joins them; false if some are still running.
  bool joinAll(Milliseconds bound);

private:
  std::mutex mutex_;
  std::vector<std::shared_ptr<Worker>> workers_;
};

} // namespace qor::daemon
