// A condition variable on the monotonic clock with its mutex, owned by a C++ object; the internal events of a port
// point into one. Waits on it are bounded by deadlines on that clock: a step of the wall clock neither cuts nor
// stretches them.
#pragma once

#include <pthread.h>

#include "qor_helpers.h"

namespace qor {

// A condition variable on the monotonic clock alone, for a waiter that shares another object's mutex but must not be
// woken by that object's broadcasts.
class MonotonicCondition {
 public:
  MonotonicCondition() {
    pthread_condattr_t attributes;
    if (pthread_condattr_init(&attributes) != 0) return;
    created_ = pthread_condattr_setclock(&attributes, CLOCK_MONOTONIC) == 0 &&
               pthread_cond_init(&condition_, &attributes) == 0;
    pthread_condattr_destroy(&attributes);
  }
  ~MonotonicCondition() {
    if (created_) pthread_cond_destroy(&condition_);
  }
  MonotonicCondition(const MonotonicCondition&) = delete;
  MonotonicCondition& operator=(const MonotonicCondition&) = delete;

  bool created() const { return created_; }
  pthread_cond_t& native() { return condition_; }

 private:
  pthread_cond_t condition_{};
  bool created_ = false;
};

class WaitPair {
 public:
  WaitPair() {
    pthread_condattr_t attributes;
    if (pthread_condattr_init(&attributes) != 0) return;
    const bool condition = pthread_condattr_setclock(&attributes, CLOCK_MONOTONIC) == 0 &&
                           pthread_cond_init(&condition_, &attributes) == 0;
    pthread_condattr_destroy(&attributes);
    if (!condition) return;
    if (pthread_mutex_init(&mutex_, nullptr) != 0) {
      pthread_cond_destroy(&condition_);
      return;
    }
    created_ = true;
  }
  ~WaitPair() {
    if (!created_) return;
    pthread_cond_destroy(&condition_);
    pthread_mutex_destroy(&mutex_);
  }
  WaitPair(const WaitPair&) = delete;
  WaitPair& operator=(const WaitPair&) = delete;

  // False when the system refused the condition variable or the mutex: nothing may wait on the pair then.
  bool created() const { return created_; }
  pthread_cond_t& condition() { return condition_; }
  pthread_mutex_t& mutex() { return mutex_; }
  InternalEvent event() { return InternalEvent{&condition_, &mutex_, 0}; }

 private:
  pthread_cond_t condition_{};
  pthread_mutex_t mutex_{};
  bool created_ = false;
};

} // namespace qor
