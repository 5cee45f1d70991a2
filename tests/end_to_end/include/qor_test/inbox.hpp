// What asynchronous callbacks deliver, in the order it came, as text: callbacks put, the test waits (bounded) for a
// count of entries and then compares the list.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

namespace qor::test {

struct Inbox {
  std::mutex mutex;
  std::condition_variable arrived;
  std::vector<std::string> entries;

  void put(std::string entry) {
    std::lock_guard lock(mutex);
    entries.push_back(std::move(entry));
    arrived.notify_all();
  }
  // False when fewer than count came within the time.
  bool waitFor(size_t count, std::chrono::milliseconds within = std::chrono::seconds(3)) {
    std::unique_lock lock(mutex);
    return arrived.wait_for(lock, within, [&] { return entries.size() >= count; });
  }
};

}  // namespace qor::test
