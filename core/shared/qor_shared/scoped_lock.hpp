// Scope-bound holds of the system's critical sections and of the plain mutexes beside its condition variables: no
// return and no exception leaves one held. Both are lockables, so a condition_variable_any can wait with them.
#pragma once

#include <pthread.h>

#include "qor_helpers.h"

namespace qor {

// A recursive critical section owned by a C++ object: made with it, deleted with it.
class CriticalSection {
 public:
  CriticalSection() { Qor_InitializeCriticalSection(&section_); }
  ~CriticalSection() { Qor_DeleteCriticalSection(&section_); }
  CriticalSection(const CriticalSection&) = delete;
  CriticalSection& operator=(const CriticalSection&) = delete;
  operator Qor_CriticalSection_t&() { return section_; }

 private:
  Qor_CriticalSection_t section_{};
};

// Holds a critical section from construction to the end of the scope; unlock() and lock() leave it and take it
// again inside the scope (a callback that runs without the section).
class SectionLock {
 public:
  explicit SectionLock(Qor_CriticalSection_t& section) : section_(section) { lock(); }
  ~SectionLock() {
    if (held_) Qor_LeaveCriticalSection(&section_);
  }
  SectionLock(const SectionLock&) = delete;
  SectionLock& operator=(const SectionLock&) = delete;

  void lock() {
    Qor_EnterCriticalSection(&section_);
    held_ = true;
  }
  void unlock() {
    held_ = false;
    Qor_LeaveCriticalSection(&section_);
  }

 private:
  Qor_CriticalSection_t& section_;
  bool held_ = false;
};

// What read() gives, read under the section: a copy taken out of the state that the section guards.
template <class Read>
auto underSection(Qor_CriticalSection_t& section, Read read) {
  SectionLock lock(section);
  return read();
}

// The same over a pthread mutex, for the waits on the condition variable that shares it.
class MutexLock {
 public:
  explicit MutexLock(pthread_mutex_t& mutex) : mutex_(mutex) { lock(); }
  ~MutexLock() {
    if (held_) pthread_mutex_unlock(&mutex_);
  }
  MutexLock(const MutexLock&) = delete;
  MutexLock& operator=(const MutexLock&) = delete;

  void lock() {
    pthread_mutex_lock(&mutex_);
    held_ = true;
  }
  void unlock() {
    held_ = false;
    pthread_mutex_unlock(&mutex_);
  }
  // For pthread_cond_(timed)wait, which leaves and retakes the mutex itself.
  pthread_mutex_t* native() { return &mutex_; }

 private:
  pthread_mutex_t& mutex_;
  bool held_ = false;
};

} // namespace qor
