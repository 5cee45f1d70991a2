#include "trace_monitor.hpp"

#include <chrono>
#include <ctime>
#include <exception>
#include <limits>
#include <new>

#include "pcapng_writer.hpp"
#include "qor_api.h"
#include "trace_export.hpp"

namespace qor::trace {
namespace {

constexpr auto kSortPeriod = std::chrono::milliseconds(50);
constexpr uint64_t kSortStepNs = std::chrono::nanoseconds(kSortPeriod).count();

std::string nameStemNow() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char stem[40];
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-y2k"  // the stem's two-digit year is its known format
  std::strftime(stem, sizeof stem, "Qor_Trace_%y-%m-%d-%H-%M-%S", &local);
#pragma GCC diagnostic pop
  return stem;
}

}  // namespace

TraceMonitor::TraceMonitor(uint32_t handle)
    : handle_(handle),
      nameStem_(nameStemNow()),
      store_(nameStem_),
      ascFileName_(nameStem_ + ".asc"),
      mdfFileName_(nameStem_ + ".mf4") {}

TraceMonitor::~TraceMonitor() {
  std::lock_guard channels(channelsMutex_);
  channels_.clear();
  stopSorting();
}

uint32_t TraceMonitor::freeChannelId(uint32_t userPort) const {
  uint32_t id = 1;
  for (const auto& [used, channel] : channels_) {
    if (used != id) break;
    if (id == std::numeric_limits<uint32_t>::max() - 1) {
      throw TraceException(userPort, kInvalidConfiguration, "could not set channel number - too many channels");
    }
    ++id;
  }
  return id;
}

uint32_t TraceMonitor::addChannel(uint32_t userPort, uint32_t requestedId) {
  std::lock_guard channels(channelsMutex_);
  const uint32_t id = requestedId != 0 ? requestedId : freeChannelId(userPort);
  if (channels_.contains(id)) {
    throw TraceException(userPort, kInvalidParameter, "channel id " + std::to_string(id) + " already used");
  }
  const ChannelKind* kind = channelKindFor(Qor_GetInterfaceType(userPort));
  if (kind == nullptr) throw TraceException(userPort, kInterfaceTypeNotSupported, "");
  std::unique_ptr<TraceChannel> channel;
  try {
    channel = std::make_unique<TraceChannel>(*kind, userPort, id, [this](PollRound& round) { receive(round); });
  } catch (const std::bad_alloc&) {
    throw TraceException(kNoPort, kNotEnoughMemory, "could not allocate monitor channel");
  }
  channels_.emplace(id, std::move(channel));
  std::lock_guard store(storeMutex_);
  if (memoryLimit_ == 0 || memoryLimit_ > kind->itemCap) {
    memoryLimit_ = kind->itemCap;
    store_.setMemoryLimit(memoryLimit_);
  }
  return id;
}

void TraceMonitor::removeChannel(uint32_t channelId) {
  std::lock_guard channels(channelsMutex_);
  channels_.erase(channelId);
}

void TraceMonitor::clearChannels() {
  std::lock_guard channels(channelsMutex_);
  channels_.clear();
}

bool TraceMonitor::records(uint32_t userPort) const {
  std::lock_guard channels(channelsMutex_);
  for (const auto& [id, channel] : channels_) {
    if (channel->userPort() == userPort) return true;
  }
  return false;
}

void TraceMonitor::start(uint32_t flags) {
  std::lock_guard channels(channelsMutex_);
  if (started_) return;
  if (channels_.empty()) throw TraceException(kNoPort, kInvalidConfiguration, "no bus interfaces selected");
  {
    std::lock_guard store(storeMutex_);
    if (flags & kStartLiveAsc) {
      std::lock_guard properties(propertiesMutex_);
      liveAsc_ = std::make_unique<AscWriter>(kAscSplit, ascFileName_, 0, ascMaxFileSize_);
    }
    store_.setDropOldestHalf(flags & kStartDropOldestHalf);
  }
  started_ = true;
  if (channels_.size() > 1) {
    merging_ = true;
    sortThread_ = std::thread([this] { sortLoop(); });
  }
  for (auto& [id, channel] : channels_) channel->start();
}

void TraceMonitor::stop() {
  std::lock_guard channels(channelsMutex_);
  std::exception_ptr failure;
  for (auto& [id, channel] : channels_) {
    try {
      channel->stop();
    } catch (const TraceException&) {
      failure = std::current_exception();
    }
  }
  started_ = false;
  stopSorting();
  {
    std::lock_guard store(storeMutex_);
    {
      std::lock_guard merge(mergeMutex_);
      this->store(merge_.drain());
    }
    try {
      if (liveAsc_) liveAsc_->finish();
    } catch (const TraceException&) {
      failure = std::current_exception();
    }
    liveAsc_.reset();
    store_.setDropOldestHalf(false);
  }
  if (failure) std::rethrow_exception(failure);
}

void TraceMonitor::stopSorting() {
  {
    std::lock_guard wait(sortWaitMutex_);
    merging_ = false;
  }
  sortWake_.notify_all();
  if (sortThread_.joinable()) sortThread_.join();
}

void TraceMonitor::sortLoop() try {
  for (;;) {
    {
      std::unique_lock wait(sortWaitMutex_);
      if (sortWake_.wait_for(wait, kSortPeriod, [this] { return !merging_; })) return;
    }
    std::lock_guard store(storeMutex_);
    std::lock_guard merge(mergeMutex_);
    this->store(merge_.release(kSortStepNs));
  }
} catch (...) {
  kTrace.failedCall(kNoPort);  // what still waits is stored at the stop
}

void TraceMonitor::store(const std::vector<SharedEntry>& entries) {
  if (entries.empty()) return;
  for (const SharedEntry& entry : entries) {
    store_.store(entry);
    if (!liveAsc_) continue;
    try {
      liveAsc_->writeEntry(*entry);
    } catch (const TraceException&) {
      liveAsc_.reset();  // recorded; the trace goes on without its live file
    }
  }
  try {
    store_.checkMemory();
  } catch (const TraceException&) {
    // recorded; the records stay in memory and the next round tries the swap again
  }
}

void TraceMonitor::receive(PollRound& round) {
  if (!round.list.empty()) {
    std::lock_guard list(listMutex_);
    for (const auto& occurrence : round.list) list_.update(occurrence);
  }
  if (merging_) {
    std::lock_guard merge(mergeMutex_);
    merge_.add(round.batch);
    return;
  }
  std::vector<SharedEntry> entries;
  entries.reserve(round.batch.size());
  for (auto& [timestamp, entry] : round.batch) entries.push_back(entry);
  std::lock_guard store(storeMutex_);
  this->store(entries);
}

void TraceMonitor::getItems(uint32_t start, uint32_t& count, uint32_t& size, uint8_t* buffer) {
  std::lock_guard store(storeMutex_);
  store_.getItems(start, count, size, buffer);
}

void TraceMonitor::getListItems(uint32_t start, uint32_t& count, uint32_t& size, uint8_t* buffer) {
  std::lock_guard list(listMutex_);
  list_.getItems(start, count, size, buffer);
}

void TraceMonitor::exportToAsc(uint32_t flags, const std::string& fileName, uint64_t startTime,
                               uint32_t maxFileSize) {
  TraceSnapshot snapshot = [&] {
    std::lock_guard store(storeMutex_);
    return store_.snapshot();
  }();
  trace::exportToAsc(snapshot, flags, fileName, startTime, maxFileSize);
}

void TraceMonitor::exportToPcapng(uint32_t flags, const std::string& fileName, uint64_t startTime) {
  TraceSnapshot snapshot = [&] {
    std::lock_guard store(storeMutex_);
    return store_.snapshot();
  }();
  trace::exportToPcapng(snapshot, flags, fileName, startTime);
}

void TraceMonitor::discardTrace() {
  std::lock_guard store(storeMutex_);
  std::lock_guard merge(mergeMutex_);
  store_.flush();
  merge_.clear();
}

}  // namespace qor::trace
