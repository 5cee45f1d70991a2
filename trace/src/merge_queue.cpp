#include "merge_queue.hpp"

namespace qor::trace {

std::vector<SharedEntry> MergeQueue::release(uint64_t step) {
  std::vector<SharedEntry> leaving;
  if (!watermark_) {
    if (!queue_.empty()) watermark_ = queue_.begin()->first;
    return leaving;
  }
  *watermark_ = *watermark_ > UINT64_MAX - step ? UINT64_MAX : *watermark_ + step;
  const auto end = queue_.upper_bound(*watermark_);
  for (auto position = queue_.begin(); position != end; ++position) leaving.push_back(position->second);
  queue_.erase(queue_.begin(), end);
  return leaving;
}

std::vector<SharedEntry> MergeQueue::drain() {
  std::vector<SharedEntry> leaving;
  leaving.reserve(queue_.size());
  for (auto& [timestamp, entry] : queue_) leaving.push_back(std::move(entry));
  clear();
  return leaving;
}

void MergeQueue::clear() {
  queue_.clear();
  watermark_.reset();
}

}  // namespace qor::trace
