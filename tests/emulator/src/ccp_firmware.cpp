#include <algorithm>
#include <chrono>
#include <deque>

#include "qor_emulator/ccp_firmware.hpp"
#include "qor_shared/byte_reader.hpp"

namespace qor::emulator {
namespace {

enum Sub : uint8_t { kReset = 0, kInitialise = 1, kSend = 2, kState = 3, kResponse = 4, kDaq = 7, kEvents = 8 };
enum Flag : uint8_t { kRunning = 0x01, kValid = 0x02, kCounterMismatch = 0x10 };
enum FirmwareClass : uint8_t { kNoError = 0, kNegativeAcknowledge = 1, kResponseTimeout = 4 };
constexpr uint8_t kLost = 0x01, kMore = 0x02;
constexpr uint32_t kRefusal = 0x00C80001;
constexpr size_t kHeaderBytes = 4;
constexpr size_t kSendBytes = 20;
constexpr size_t kMaxQueuedMessages = 4096;

void putU32(Bytes& bytes, uint32_t value) {
  for (unsigned index = 0; index < 4; ++index) bytes.push_back(static_cast<uint8_t>(value >> (8 * index)));
}

struct Outcome {
  uint8_t flags = 0;
  Cro crm{};
  uint8_t errorClass = kNoError;
};

struct MessageQueue {
  std::deque<Cro> messages;
  bool lost = false;

  void push(const Cro& message) {
    if (messages.size() == kMaxQueuedMessages) {
      lost = true;
      return;
    }
    messages.push_back(message);
  }

  void take(size_t most, Bytes& data) {
    const size_t count = std::min(most, messages.size());
    data.push_back(static_cast<uint8_t>((lost ? kLost : 0) | (messages.size() > count ? kMore : 0)));
    data.insert(data.end(), 3, 0);
    putU32(data, static_cast<uint32_t>(count));
    for (size_t index = 0; index < count; ++index) {
      data.insert(data.end(), messages.front().begin(), messages.front().end());
      data.push_back(0x5A);  // the value byte
      data.insert(data.end(), 3, 0);
      messages.pop_front();
    }
    lost = false;
  }
};

}  // namespace

struct CcpFirmware::Channel {
  std::shared_ptr<CcpSlave> slave;
  unsigned runningReads = 0;
  unsigned staleReads = 0;
  bool keepRunning = false;
  size_t messagesPerAnswer = 64;
  std::optional<Bytes> initialisation;
  std::vector<Cro> sent;

  // The CRO in the works.
  Outcome previous;
  Outcome outcome;
  bool active = false;
  unsigned runningLeft = 0;
  unsigned staleLeft = 0;
  std::optional<Cro> crm;
  std::chrono::steady_clock::time_point deadline;

  MessageQueue daq;
  MessageQueue events;

  void send(const Cro& cro, std::optional<Cro> answer, uint32_t timeoutMs, uint8_t retries) {
    sent.push_back(cro);
    previous = current();
    active = true;
    runningLeft = runningReads;
    staleLeft = staleReads;
    crm = answer;
    deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(uint64_t{timeoutMs} * (retries + 1u));
    outcome = {};
    if (answer) {
      outcome.crm = *answer;
      outcome.flags = kValid | ((*answer)[2] != cro[1] ? kCounterMismatch : 0);
      outcome.errorClass = (*answer)[1] != 0 ? kNegativeAcknowledge : kNoError;
    } else {
      outcome.errorClass = kResponseTimeout;
    }
  }

  // What a response read reports now.
  Outcome current() {
    if (!active) return outcome;
    if (staleLeft > 0) {
      --staleLeft;
      return previous;
    }
    if (keepRunning || runningLeft > 0 || (!crm && std::chrono::steady_clock::now() < deadline)) {
      if (runningLeft > 0) --runningLeft;
      return Outcome{kRunning, {}, kNoError};
    }
    active = false;
    return outcome;
  }
};

std::shared_ptr<CcpFirmware> CcpFirmware::attachTo(Device& device) {
  std::shared_ptr<CcpFirmware> firmware(new CcpFirmware());
  device.onCommand(kCcpCommand, [firmware](const ReceivedFrame& frame) { return firmware->answer(frame); });
  return firmware;
}

CcpFirmware::Channel& CcpFirmware::channel(uint8_t number) {
  std::unique_ptr<Channel>& entry = channels_[number];
  if (!entry) entry = std::make_unique<Channel>();
  return *entry;
}

void CcpFirmware::plugSlave(uint8_t number, std::shared_ptr<CcpSlave> slave) {
  const std::lock_guard lock(mutex_);
  channel(number).slave = std::move(slave);
}

void CcpFirmware::setRunningReads(uint8_t number, unsigned reads) {
  const std::lock_guard lock(mutex_);
  channel(number).runningReads = reads;
}

void CcpFirmware::setStaleReads(uint8_t number, unsigned reads) {
  const std::lock_guard lock(mutex_);
  channel(number).staleReads = reads;
}

void CcpFirmware::keepRunning(uint8_t number, bool forever) {
  const std::lock_guard lock(mutex_);
  channel(number).keepRunning = forever;
}

void CcpFirmware::setMessagesPerAnswer(uint8_t number, size_t messages) {
  const std::lock_guard lock(mutex_);
  channel(number).messagesPerAnswer = std::max<size_t>(messages, 1);
}

void CcpFirmware::raiseEvent(uint8_t number, const Cro& message) {
  const std::lock_guard lock(mutex_);
  channel(number).events.push(message);
}

void CcpFirmware::loseMessages(uint8_t number) {
  const std::lock_guard lock(mutex_);
  channel(number).daq.lost = true;
  channel(number).events.lost = true;
}

std::vector<Cro> CcpFirmware::sentCros(uint8_t number) const {
  const std::lock_guard lock(mutex_);
  const auto found = channels_.find(number);
  return found == channels_.end() ? std::vector<Cro>{} : found->second->sent;
}

std::optional<Bytes> CcpFirmware::initialisation(uint8_t number) const {
  const std::lock_guard lock(mutex_);
  const auto found = channels_.find(number);
  return found == channels_.end() ? std::nullopt : found->second->initialisation;
}

Reply CcpFirmware::answer(const ReceivedFrame& frame) {
  const std::span<const uint8_t> parameters = frame.parameters();
  if (parameters.size() < kHeaderBytes) return frame.negativeAcknowledge(kRefusal, "short request");
  const uint8_t sub = parameters[0];
  const uint8_t number = parameters[1];
  Bytes data(parameters.begin(), parameters.begin() + kHeaderBytes);
  std::shared_ptr<CcpSlave> slave;
  {
    const std::lock_guard lock(mutex_);
    slave = channel(number).slave;
  }
  std::optional<Cro> crm;
  std::vector<Cro> sampled;
  Cro cro{};
  if (sub == kSend) {
    if (parameters.size() < kSendBytes) return frame.negativeAcknowledge(kRefusal, "short CRO");
    std::copy_n(parameters.begin() + 8, cro.size(), cro.begin());
    if (slave) crm = slave->command(cro);
  }
  if (sub == kDaq && slave) sampled = slave->sampleDaq();

  const std::lock_guard lock(mutex_);
  Channel& entry = channel(number);
  for (const Cro& dto : sampled) entry.daq.push(dto);
  switch (sub) {
    case kReset:
      entry.active = false;
      entry.outcome = {};
      entry.daq = {};
      entry.events = {};
      break;
    case kInitialise:
      entry.initialisation = Bytes(parameters.begin() + kHeaderBytes, parameters.end());
      break;
    case kSend:
      entry.send(cro, crm, *readAt<uint32_t>(parameters, 4), parameters[16]);
      break;
    case kState: {
      const Outcome now = entry.current();
      data.push_back(now.flags & 0x07);
      data.insert(data.end(), 3, 0);
      data.insert(data.end(), {0xA1, 0xB2, now.errorClass, 0});
      break;
    }
    case kResponse: {
      const Outcome now = entry.current();
      data.push_back(now.flags);
      data.insert(data.end(), 3, 0);
      data.insert(data.end(), now.crm.begin(), now.crm.end());
      data.insert(data.end(), {0x77, now.errorClass, 0, 0});
      break;
    }
    case kDaq:
      entry.daq.take(entry.messagesPerAnswer, data);
      break;
    case kEvents:
      entry.events.take(entry.messagesPerAnswer, data);
      break;
    default:
      return frame.negativeAcknowledge(kRefusal, "unknown sub-command");
  }
  return frame.response(data);
}

}  // namespace qor::emulator
