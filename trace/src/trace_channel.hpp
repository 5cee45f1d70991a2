// One recorded interface of a trace: a port of its own on the interface the application named (so its polls never
// wait on the application's command lock), the firmware monitor configured at construction, and while started a
// receive thread that polls the monitor every 10 ms and hands each poll's records to the trace.
// start, stop and the destructor come from one thread at a time (the trace's channel-list lock); the receiver runs
// on the receive thread and must not throw.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "channel_kinds.hpp"
#include "poll_reader.hpp"
#include "trace_library.hpp"

namespace qor::trace {

class TraceChannel {
 public:
  using Receiver = std::function<void(PollRound& round)>;

  // Opens the own port and configures the firmware's monitor; failures throw TraceException for userPort.
  TraceChannel(const ChannelKind& kind, uint32_t userPort, uint32_t channelId, Receiver receiver);
  // Stops (failures were recorded) and closes the own port.
  ~TraceChannel();
  TraceChannel(const TraceChannel&) = delete;
  TraceChannel& operator=(const TraceChannel&) = delete;

  void start();
  // Ends the receive thread and stops the firmware's monitor. A refused stop command leaves the channel running
  // (a later stop sends it again); a poll that failed while recording is reported here once the monitor stopped.
  void stop();

  uint32_t userPort() const { return userPort_; }

 private:
  std::vector<uint8_t> record(uint8_t subFunction) const;
  uint32_t exchange(const std::vector<uint8_t>& parameters, uint8_t controlBytes, std::vector<uint8_t>& answer,
                    uint32_t capacity) const;
  [[noreturn]] void throwConfigureFailure(uint32_t code) const;
  void receiveLoop();
  // Sleeps the poll period; false when a stop was asked for meanwhile.
  bool pause();

  const ChannelKind& kind_;
  const uint32_t userPort_;
  const uint32_t channelId_;
  const Receiver receiver_;
  uint32_t ownPort_ = kNoPort;
  uint8_t instance_ = 0;
  bool running_ = false;
  std::thread thread_;
  std::mutex stopMutex_;  // guards stopRequested_ for the thread's pause
  std::condition_variable stopSignal_;
  bool stopRequested_ = false;
  std::atomic<uint32_t> pollFailure_ = 0;  // the code of the poll that ended the thread, 0 when none did
};

}  // namespace qor::trace
