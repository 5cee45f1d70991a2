#include "trace_channel.hpp"

#include <chrono>
#include <new>

#include "qor_api.h"
#include "qor_monitor.h"
#include "trace_library.hpp"

namespace qor::trace {
namespace {

constexpr uint32_t kCommandAnswerCapacity = 1012;
constexpr uint32_t kPollCapacity = 65535;
constexpr uint8_t kCommandControlBytes = 1;
constexpr uint32_t kOpenWithoutConfiguration = 5;  // no automatic configuration, no dedicated firmware
constexpr auto kPollPeriod = std::chrono::milliseconds(10);
constexpr uint32_t kErrorTextCapacity = 512;

}  // namespace

TraceChannel::TraceChannel(const ChannelKind& kind, uint32_t userPort, uint32_t channelId, Receiver receiver)
    : kind_(kind), userPort_(userPort), channelId_(channelId), receiver_(std::move(receiver)) {
  Qor_InterfaceInfo_t info{};
  if (const uint32_t code = Qor_GetInterfaceInfo(userPort, &info)) throw TraceException(userPort, code, "");
  if (const uint32_t code = Qor_OpenInterface2(kOpenWithoutConfiguration, &info, &ownPort_)) {
    ownPort_ = kNoPort;
    throw TraceException(userPort, code, "");
  }
  instance_ = Qor_Monitor_InstanceId_Get(userPort);
  std::vector<uint8_t> configure(kind.configure.begin(), kind.configure.begin() + kind.configureLength);
  if (kind.instanced) configure[1] = instance_;
  std::vector<uint8_t> answer;
  if (const uint32_t code = exchange(configure, kCommandControlBytes, answer, kCommandAnswerCapacity)) {
    throwConfigureFailure(code);
  }
}

TraceChannel::~TraceChannel() {
  try {
    stop();
  } catch (const TraceException&) {
    // recorded when it was made
  }
  if (ownPort_ != kNoPort) Qor_CloseInterface(ownPort_);
}

void TraceChannel::throwConfigureFailure(uint32_t code) const {
  std::string text;
  if (kind_.configureTextFromDevice) {
    uint32_t lastCode = 0;
    uint32_t size = kErrorTextCapacity;
    std::vector<char> buffer(kErrorTextCapacity, '\0');
    if (Qor_GetLastErrorByPortHandle(ownPort_, &lastCode, &size, buffer.data()) == 0 && lastCode == code) {
      buffer.back() = '\0';
      text = buffer.data();
    }
  }
  const uint32_t ownPort = ownPort_;
  Qor_CloseInterface(ownPort);
  throw TraceException(userPort_, code, text);
}

std::vector<uint8_t> TraceChannel::record(uint8_t subFunction) const {
  return {subFunction, kind_.instanced ? instance_ : uint8_t{0}, 0, 0};
}

uint32_t TraceChannel::exchange(const std::vector<uint8_t>& parameters, uint8_t controlBytes,
                                std::vector<uint8_t>& answer, uint32_t capacity) const {
  answer.resize(capacity);
  uint32_t size = capacity;
  const uint32_t code = Qor_CommandWithResponseEx(ownPort_, 0, kind_.command, controlBytes, parameters.data(),
                                                  static_cast<uint32_t>(parameters.size()), answer.data(), &size);
  answer.resize(code == 0 ? std::min(size, capacity) : 0);
  return code;
}

void TraceChannel::start() {
  std::vector<uint8_t> answer;
  if (const uint32_t code = exchange(record(kind_.startSub), kCommandControlBytes, answer, kCommandAnswerCapacity)) {
    throw TraceException(userPort_, code, "");
  }
  running_ = true;
  pollFailure_ = 0;
  {
    std::lock_guard lock(stopMutex_);
    stopRequested_ = false;
  }
  thread_ = std::thread([this] { receiveLoop(); });
}

void TraceChannel::stop() {
  if (!running_ && !kind_.stopsWhenNotRunning) return;
  {
    std::lock_guard lock(stopMutex_);
    stopRequested_ = true;
  }
  stopSignal_.notify_all();
  if (thread_.joinable()) thread_.join();
  std::vector<uint8_t> answer;
  if (const uint32_t code = exchange(record(kind_.stopSub), kCommandControlBytes, answer, kCommandAnswerCapacity)) {
    throw TraceException(userPort_, code, "");
  }
  running_ = false;
  if (const uint32_t failure = pollFailure_.exchange(0)) {
    throw TraceException(userPort_, failure, "recording ended early: the monitor could not be read");
  }
}

bool TraceChannel::pause() {
  std::unique_lock lock(stopMutex_);
  return !stopSignal_.wait_for(lock, kPollPeriod, [this] { return stopRequested_; });
}

void TraceChannel::receiveLoop() {
  try {
    std::vector<uint8_t> answer;
    answer.reserve(kPollCapacity);
    const std::vector<uint8_t> poll = record(kind_.pollSub);
    do {
      if (const uint32_t code = exchange(poll, kind_.pollControlBytes, answer, kPollCapacity)) {
        pollFailure_ = code;
        return;
      }
      PollRound round = readPollAnswer(kind_.busType, channelId_, answer);
      if (!round.empty()) receiver_(round);
    } while (pause());
  } catch (const std::bad_alloc&) {
    pollFailure_ = TraceException(kNoPort, kNotEnoughMemory, "could not allocate buffer for receive thread").code();
  } catch (...) {
    pollFailure_ = kTrace.failedCall(kNoPort);
  }
}

}  // namespace qor::trace
