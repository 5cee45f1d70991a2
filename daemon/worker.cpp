#include "worker.hpp"

#include <pthread.h>
#include <syslog.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <exception>
#include <system_error>

namespace qor::daemon {
namespace {

// The longest a destroyed server waits for a thread it failed to stop; beyond it something is stuck for good.
constexpr Milliseconds kFinalJoinBound{30000};

} // namespace

void Worker::setRunning(bool running) {
  {
    std::lock_guard lock(mutex_);
    running_ = running;
    started_ = started_ || running;
  }
  changed_.notify_all();
}

bool Worker::ended() const {
  std::lock_guard lock(mutex_);
  return ended_;
}

bool Worker::waitStarted(Milliseconds bound) const {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, bound, [&] { return started_ || ended_; }) && started_;
}

bool Worker::waitRunning(bool wanted, Milliseconds bound) const {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, bound, [&] { return running_ == wanted || ended_; }) && running_ == wanted;
}

bool Worker::waitEnded(Milliseconds bound) const {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, bound, [&] { return ended_; });
}

void Worker::finish() {
  {
    std::lock_guard lock(mutex_);
    running_ = false;
    ended_ = true;
  }
  changed_.notify_all();
}

Workers::~Workers() {
  if (!joinAll(kFinalJoinBound)) {
    syslog(LOG_CRIT, "%s : threads did not end, aborting\n", "qorapid");
    std::abort();
  }
}

std::shared_ptr<Worker> Workers::start(const char* name, std::function<void(Worker&)> body) {
  auto worker = std::make_shared<Worker>();
  std::lock_guard lock(mutex_);
  try {
    worker->thread_ = std::thread([worker = worker.get(), name, body = std::move(body)]() mutable {
      worker->id_ = std::this_thread::get_id();
      if (name != nullptr) pthread_setname_np(pthread_self(), name);
      try {
        body(*worker);
      } catch (const std::exception& failure) {
        syslog(LOG_ERR, "%s : %s\n", name != nullptr ? name : "thread", failure.what());
      }
      // What the body holds goes before the end is reported, so a join never waits for it.
      body = nullptr;
      worker->finish();
    });
  } catch (const std::system_error& failure) {
    errno = failure.code().value();
    return nullptr;
  }
  workers_.push_back(worker);
  return worker;
}

void Workers::reap() {
  std::lock_guard lock(mutex_);
  std::erase_if(workers_, [](const std::shared_ptr<Worker>& worker) {
    if (!worker->ended()) return false;
    worker->thread_.join();
    return true;
  });
}

bool Workers::joinAll(Milliseconds bound) {
  const auto deadline = std::chrono::steady_clock::now() + bound;
  std::vector<std::shared_ptr<Worker>> pending;
  {
    std::lock_guard lock(mutex_);
    pending = workers_;
  }
  bool allEnded = true;
  for (const auto& worker : pending) {
    const auto left = std::chrono::duration_cast<Milliseconds>(deadline - std::chrono::steady_clock::now());
    allEnded = worker->waitEnded(std::max(left, Milliseconds{0})) && allEnded;
  }
  reap();
  return allEnded;
}

} // namespace qor::daemon
