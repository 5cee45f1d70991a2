// One trace: the channels that record interfaces, the merge of their records into one time-ordered trace, the list
// view of the latest record per key, the entry store with its swap file, live ASC output and the trace's
// properties. Applications reach it through the monitor pool's exported functions; any thread may call it.
//
// Locks, taken in this order: channels (the channel set, start and stop), store (the store and the live writer),
// merge queue; the list lock and the properties lock are innermost. Receive threads never take the channel lock, so
// a stop that joins them cannot wait on them.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "asc_writer.hpp"
#include "entry_store.hpp"
#include "list_view.hpp"
#include "merge_queue.hpp"
#include "trace_channel.hpp"

namespace qor::trace {

// Start flags: bit 0 live ASC output, bit 1 drop the oldest half at the memory limit, bit 2 accepted, no effect.
inline constexpr uint32_t kStartLiveAsc = 0x1;
inline constexpr uint32_t kStartDropOldestHalf = 0x2;
inline constexpr uint32_t kStartFlagsDefined = 0x7;

class TraceMonitor {
 public:
  explicit TraceMonitor(uint32_t handle);
  // Deletes the channels and the swap file; the monitor is stopped first by its owner.
  ~TraceMonitor();
  TraceMonitor(const TraceMonitor&) = delete;
  TraceMonitor& operator=(const TraceMonitor&) = delete;

  uint32_t handle() const { return handle_; }

  // requestedId 0 takes the smallest free channel id; returns the channel's id. A channel added while recording
  // starts with the next start.
  uint32_t addChannel(uint32_t userPort, uint32_t requestedId);
  // Unknown ids are ignored. The memory limit keeps its value.
  void removeChannel(uint32_t channelId);
  void clearChannels();
  bool records(uint32_t userPort) const;

  // Does nothing while recording. A channel that cannot start leaves the monitor recording with the channels before
  // it; stop ends that state.
  void start(uint32_t flags);
  // Stops every channel, then stores what waits for the merge, so nothing recorded stays out of the trace. Reports
  // the last channel's failure.
  void stop();

  void getItems(uint32_t start, uint32_t& count, uint32_t& size, uint8_t* buffer);
  void getListItems(uint32_t start, uint32_t& count, uint32_t& size, uint8_t* buffer);
  void exportToAsc(uint32_t flags, const std::string& fileName, uint64_t startTime, uint32_t maxFileSize);
  void exportToPcapng(uint32_t flags, const std::string& fileName, uint64_t startTime);

  // Properties 0 to 12 (trace_properties.cpp). data: at least length bytes; a string set reads up to its NUL, and
  // with a length not 0 at most that many bytes.
  void getProperty(uint16_t id, uint32_t& length, uint8_t* data);
  void setProperty(uint16_t id, uint32_t length, const uint8_t* data);

  // A channel's poll; the list view first, so every record is complete before the trace or a file holds it.
  void receive(PollRound& round);

 private:
  uint32_t freeChannelId(uint32_t userPort) const;
  void store(const std::vector<SharedEntry>& entries);  // under the store lock
  void discardTrace();
  void sortLoop();
  void stopSorting();

  const uint32_t handle_;
  const std::string nameStem_;

  mutable std::mutex channelsMutex_;
  std::map<uint32_t, std::unique_ptr<TraceChannel>> channels_;
  std::atomic<bool> started_ = false;

  std::mutex storeMutex_;
  EntryStore store_;
  std::unique_ptr<AscWriter> liveAsc_;
  uint32_t memoryLimit_ = 0;

  std::mutex mergeMutex_;
  MergeQueue merge_;
  std::atomic<bool> merging_ = false;  // rounds go to the merge queue: set while the sort thread runs
  std::thread sortThread_;
  std::mutex sortWaitMutex_;
  std::condition_variable sortWake_;

  std::mutex listMutex_;
  ListView list_;

  std::mutex propertiesMutex_;
  std::string ascFileName_;
  uint32_t ascMaxFileSize_ = 524'288'000;
  std::string mdfFileName_;
  uint32_t mdfValue_ = 0x200000;
  std::string mdfTexts_[4];  // author, department, project, subject
};

}  // namespace qor::trace
