#include "qor_emulator/xcp_firmware.hpp"

#include <algorithm>
#include <array>
#include <stdexcept>
#include <utility>

#include "qor_shared/byte_reader.hpp"
#include "qor_shared/xcp_protocol.hpp"

namespace qor::emulator {
namespace {

using namespace xcp_protocol;
enum PollStatus : uint8_t { kPending = 1u << 0, kValid = 1u << 1, kSlaveSilent = 1u << 2 };
enum StateFlag : uint8_t { kDtoWaiting = 1u << 0, kCtoWaiting = 1u << 1 };
enum CommandState : uint32_t { kIdle = 0, kCommandPending = 1, kAnswerReady = 2 };

constexpr size_t kAnswerCapacity = 32756;
constexpr size_t kDefaultPartBytes = 4096;
constexpr size_t kPlainHeadBytes = 4;
constexpr size_t kTimeStampedHeadBytes = 12;
constexpr uint16_t kLastProperty = 4;
constexpr uint16_t kTimeStampProperty = 4;

template <class T>
void put(Bytes& bytes, T value) {
  for (size_t index = 0; index < sizeof value; ++index) bytes.push_back(static_cast<uint8_t>(value >> (8 * index)));
}

struct FifoFrame {
  Bytes packet;
  uint8_t flags = 0;
  std::optional<uint64_t> timeStamp;  // a type-1 frame when set

  size_t size() const { return (timeStamp ? kTimeStampedHeadBytes : kPlainHeadBytes) + packet.size(); }
  void appendTo(Bytes& bytes) const {
    put(bytes, static_cast<uint16_t>(size()));
    bytes.push_back(timeStamp ? 1 : 0);
    bytes.push_back(flags);
    if (timeStamp) put(bytes, *timeStamp);
    bytes.insert(bytes.end(), packet.begin(), packet.end());
  }
};

// The packets of written FIFO frames; empty when a frame's length or type is broken.
std::optional<std::vector<Bytes>> parseWrittenFrames(std::span<const uint8_t> frames) {
  std::vector<Bytes> packets;
  while (!frames.empty()) {
    const std::optional<uint16_t> length = readAt<uint16_t>(frames, 0);
    if (!length || *length < kPlainHeadBytes || *length > frames.size() || frames[2] != 0) return std::nullopt;
    packets.emplace_back(frames.begin() + kPlainHeadBytes, frames.begin() + *length);
    frames = frames.subspan(*length);
  }
  return packets;
}

}  // namespace

struct XcpFirmware::Channel {
  ~Channel();

  std::shared_ptr<XcpSlave> slave;
  std::unique_ptr<Outlet> outlet;

  size_t partBytes = kDefaultPartBytes;
  unsigned pendingPolls = 0;
  bool keepPending = false;
  uint8_t extraFlags = 0;

  // The command of the last send.
  bool active = false;
  std::optional<Bytes> answer;
  size_t given = 0;
  unsigned pendingLeft = 0;
  std::chrono::steady_clock::time_point deadline;

  std::deque<FifoFrame> dtoReceive;
  std::deque<FifoFrame> ctoReceive;
  std::array<uint32_t, kLastProperty + 1> properties{};

  std::optional<Bytes> transport;
  unsigned resets = 0;
  std::vector<SentCommand> sent;
  std::vector<Bytes> transmittedData;
  std::vector<Bytes> transmittedCommands;
  std::map<uint8_t, unsigned> requests;

  uint32_t commandState() const {
    if (!active) return kIdle;
    return answer && pendingLeft == 0 && !keepPending ? kAnswerReady : kCommandPending;
  }

  // A send: the slave's first packet answers it, the others wait in the CTO receive FIFO.
  void begin(SentCommand command, std::vector<Bytes> packets) {
    deadline = std::chrono::steady_clock::now() + std::chrono::microseconds(command.timeoutUs);
    sent.push_back(std::move(command));
    active = true;
    given = 0;
    pendingLeft = pendingPolls;
    answer = packets.empty() ? std::nullopt : std::optional<Bytes>(std::move(packets.front()));
    for (size_t index = 1; index < packets.size(); ++index) {
      ctoReceive.push_back(FifoFrame{std::move(packets[index]), 0, std::nullopt});
    }
  }

  void reset() {
    ++resets;
    active = false;
    answer.reset();
    dtoReceive.clear();
    ctoReceive.clear();
  }

  // {u8 status, 3 x 0, u32 firmware code 0, u16 d, u16 more, d bytes} appended to data.
  void poll(Bytes& data) {
    uint8_t status = 0;
    std::span<const uint8_t> part;
    bool more = false;
    if (!active) {
      status = 0;
    } else if (keepPending || pendingLeft > 0) {
      if (pendingLeft > 0) --pendingLeft;
      status = kPending;
    } else if (!answer) {
      status = std::chrono::steady_clock::now() < deadline ? kPending : kSlaveSilent;
    } else {
      part = std::span<const uint8_t>(*answer).subspan(given, std::min(partBytes, answer->size() - given));
      given += part.size();
      more = given < answer->size();
      status = kValid;
    }
    data.push_back(status);
    data.insert(data.end(), 3, 0);
    put(data, uint32_t{0});
    put(data, static_cast<uint16_t>(part.size()));
    put(data, static_cast<uint16_t>(more ? 1 : 0));
    data.insert(data.end(), part.begin(), part.end());
    if (status == kValid && !more) {
      active = false;
      answer.reset();
    }
  }

  void state(Bytes& data) const {
    uint8_t flags = extraFlags;
    if (!dtoReceive.empty()) flags |= kDtoWaiting;
    if (!ctoReceive.empty()) flags |= kCtoWaiting;
    data.push_back(flags);
    data.insert(data.end(), 3, 0);
    put(data, commandState());
  }

  // As many frames as one answer holds.
  static void take(std::deque<FifoFrame>& fifo, Bytes& data) {
    while (!fifo.empty() && data.size() + fifo.front().size() <= kAnswerCapacity) {
      fifo.front().appendTo(data);
      fifo.pop_front();
    }
  }
};

class XcpFirmware::Outlet : public XcpSlaveOutlet {
 public:
  Outlet(std::weak_ptr<XcpFirmware> firmware, uint8_t channel) : firmware_(std::move(firmware)), channel_(channel) {}
  void sendData(Bytes packet, uint8_t flags) override {
    if (auto firmware = firmware_.lock()) firmware->receiveData(channel_, std::move(packet), flags);
  }
  void sendCommandPacket(Bytes packet) override {
    if (auto firmware = firmware_.lock()) firmware->receiveCommandPacket(channel_, std::move(packet));
  }

 private:
  std::weak_ptr<XcpFirmware> firmware_;
  uint8_t channel_;
};

XcpFirmware::XcpFirmware() : start_(std::chrono::steady_clock::now()) {}

std::shared_ptr<XcpFirmware> XcpFirmware::attachTo(Device& device) {
  std::shared_ptr<XcpFirmware> firmware(new XcpFirmware());
  device.onCommand(kXcpCommand, [firmware](const ReceivedFrame& frame) { return firmware->answer(frame); });
  return firmware;
}

XcpFirmware::Channel& XcpFirmware::channel(uint8_t number) {
  std::unique_ptr<Channel>& entry = channels_[number];
  if (!entry) {
    entry = std::make_unique<Channel>();
    entry->outlet = std::make_unique<Outlet>(weak_from_this(), number);
  }
  return *entry;
}

const XcpFirmware::Channel* XcpFirmware::findChannel(uint8_t number) const {
  const auto found = channels_.find(number);
  return found == channels_.end() ? nullptr : found->second.get();
}

// A slave that sends on its own lets go of the outlet before it goes.
XcpFirmware::Channel::~Channel() {
  if (slave) slave->plugged(nullptr);
}

void XcpFirmware::plugSlave(uint8_t number, std::shared_ptr<XcpSlave> slave) {
  std::shared_ptr<XcpSlave> previous;
  XcpSlaveOutlet* outlet = nullptr;
  {
    const std::lock_guard lock(mutex_);
    Channel& entry = channel(number);
    previous = std::exchange(entry.slave, slave);
    outlet = entry.outlet.get();
  }
  if (previous) previous->plugged(nullptr);
  if (slave) slave->plugged(outlet);
}

std::shared_ptr<XcpSlave> XcpFirmware::slaveOf(uint8_t number) {
  const std::lock_guard lock(mutex_);
  return channel(number).slave;
}

std::vector<Bytes> XcpFirmware::askSlave(uint8_t number, std::span<const uint8_t> packet) {
  const std::shared_ptr<XcpSlave> slave = slaveOf(number);
  return slave ? slave->command(packet) : std::vector<Bytes>{};
}

void XcpFirmware::setPollPartBytes(uint8_t number, size_t bytes) {
  const std::lock_guard lock(mutex_);
  channel(number).partBytes = std::clamp<size_t>(bytes, 1, kAnswerCapacity - 16);
}

void XcpFirmware::setPendingPolls(uint8_t number, unsigned polls) {
  const std::lock_guard lock(mutex_);
  channel(number).pendingPolls = polls;
}

void XcpFirmware::keepPending(uint8_t number, bool forever) {
  const std::lock_guard lock(mutex_);
  channel(number).keepPending = forever;
}

void XcpFirmware::setStateFlags(uint8_t number, uint8_t flags) {
  const std::lock_guard lock(mutex_);
  channel(number).extraFlags = flags;
}

void XcpFirmware::receiveData(uint8_t number, Bytes packet, uint8_t flags, std::optional<uint64_t> timeStamp) {
  if (kChannelHeaderBytes + kTimeStampedHeadBytes + packet.size() > kAnswerCapacity) {
    throw std::length_error("DTO packet too long for a FIFO answer");
  }
  const std::lock_guard lock(mutex_);
  Channel& entry = channel(number);
  FifoFrame frame{std::move(packet), flags, std::nullopt};
  if (entry.properties[kTimeStampProperty] == 1) {
    const auto sinceStart = std::chrono::steady_clock::now() - start_;
    frame.timeStamp = timeStamp.value_or(
        static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::microseconds>(sinceStart).count()));
  }
  entry.dtoReceive.push_back(std::move(frame));
}

void XcpFirmware::receiveCommandPacket(uint8_t number, Bytes packet) {
  if (kChannelHeaderBytes + kPlainHeadBytes + packet.size() > kAnswerCapacity) {
    throw std::length_error("CTO packet too long for a FIFO answer");
  }
  const std::lock_guard lock(mutex_);
  channel(number).ctoReceive.push_back(FifoFrame{std::move(packet), 0, std::nullopt});
}

std::optional<Bytes> XcpFirmware::transport(uint8_t number) const {
  const std::lock_guard lock(mutex_);
  const Channel* entry = findChannel(number);
  return entry ? entry->transport : std::nullopt;
}

unsigned XcpFirmware::resets(uint8_t number) const {
  const std::lock_guard lock(mutex_);
  const Channel* entry = findChannel(number);
  return entry ? entry->resets : 0;
}

std::vector<XcpFirmware::SentCommand> XcpFirmware::sentCommands(uint8_t number) const {
  const std::lock_guard lock(mutex_);
  const Channel* entry = findChannel(number);
  return entry ? entry->sent : std::vector<SentCommand>{};
}

uint32_t XcpFirmware::property(uint8_t number, uint16_t id) const {
  const std::lock_guard lock(mutex_);
  const Channel* entry = findChannel(number);
  return entry && id <= kLastProperty ? entry->properties[id] : 0;
}

std::vector<Bytes> XcpFirmware::transmittedData(uint8_t number) const {
  const std::lock_guard lock(mutex_);
  const Channel* entry = findChannel(number);
  return entry ? entry->transmittedData : std::vector<Bytes>{};
}

std::vector<Bytes> XcpFirmware::transmittedCommands(uint8_t number) const {
  const std::lock_guard lock(mutex_);
  const Channel* entry = findChannel(number);
  return entry ? entry->transmittedCommands : std::vector<Bytes>{};
}

unsigned XcpFirmware::requests(uint8_t number, uint8_t subFunction) const {
  const std::lock_guard lock(mutex_);
  const Channel* entry = findChannel(number);
  if (!entry) return 0;
  const auto found = entry->requests.find(subFunction);
  return found == entry->requests.end() ? 0 : found->second;
}

Reply XcpFirmware::answer(const ReceivedFrame& frame) {
  const std::span<const uint8_t> parameters = frame.parameters();
  if (parameters.size() < kChannelHeaderBytes) return frame.negativeAcknowledge(kXcpFirmwareRefusal, "short request");
  const uint8_t subFunction = parameters[0];
  const uint8_t number = parameters[1];
  const std::span<const uint8_t> body = parameters.subspan(kChannelHeaderBytes);
  Bytes data(parameters.begin(), parameters.begin() + kChannelHeaderBytes);
  const auto refuse = [&](const char* text) { return Reply(frame.negativeAcknowledge(kXcpFirmwareRefusal, text)); };
  {
    const std::lock_guard lock(mutex_);
    ++channel(number).requests[subFunction];
  }

  // These hand packets to the slave, which runs without the lock.
  if (subFunction == kSend) return sendCommand(number, body) ? Reply(frame.response(data)) : refuse("short command");
  if (subFunction == kWriteDtoTransmit || subFunction == kWriteCtoTransmit) {
    return writeFifo(number, subFunction == kWriteCtoTransmit, body) ? Reply(frame.response(data))
                                                                     : refuse("broken frame");
  }

  const std::lock_guard lock(mutex_);
  Channel& entry = channel(number);
  switch (subFunction) {
    case kReset:
      entry.reset();
      break;
    case kInitialise:
      entry.transport = Bytes(body.begin(), body.end());
      break;
    case kPoll:
      entry.poll(data);
      break;
    case kState:
      entry.state(data);
      break;
    case kReadProperty:
    case kWriteProperty: {
      const std::optional<uint16_t> id = readAt<uint16_t>(body, 0);
      if (!id || *id > kLastProperty) return refuse("unknown property");
      if (subFunction == kReadProperty) {
        put(data, *id);
        put(data, uint16_t{0});
        put(data, entry.properties[*id]);
        break;
      }
      const std::optional<uint32_t> value = readAt<uint32_t>(body, 4);
      if (!value) return refuse("short property");
      entry.properties[*id] = *value;
      break;
    }
    case kReadDtoReceive:
      Channel::take(entry.dtoReceive, data);
      break;
    case kReadCtoReceive:
      Channel::take(entry.ctoReceive, data);
      break;
    default:
      return refuse("unknown sub-function");
  }
  return frame.response(data);
}

bool XcpFirmware::sendCommand(uint8_t number, std::span<const uint8_t> body) {
  const std::optional<uint16_t> length = readAt<uint16_t>(body, 6);
  if (!length || body.size() < size_t{8} + *length) return false;
  const std::span<const uint8_t> packet = body.subspan(8, *length);
  std::vector<Bytes> packets = askSlave(number, packet);
  const std::lock_guard lock(mutex_);
  channel(number).begin(SentCommand{*readAt<uint32_t>(body, 0), body[5], Bytes(packet.begin(), packet.end())},
                        std::move(packets));
  return true;
}

bool XcpFirmware::writeFifo(uint8_t number, bool commands, std::span<const uint8_t> frames) {
  std::optional<std::vector<Bytes>> packets = parseWrittenFrames(frames);
  if (!packets) return false;
  const std::shared_ptr<XcpSlave> slave = slaveOf(number);
  for (const Bytes& packet : *packets) {
    if (!commands) {
      if (slave) slave->stimulus(packet);
      continue;
    }
    std::vector<Bytes> answers = slave ? slave->command(packet) : std::vector<Bytes>{};
    for (Bytes& answer : answers) receiveCommandPacket(number, std::move(answer));
  }
  const std::lock_guard lock(mutex_);
  std::vector<Bytes>& log = commands ? channel(number).transmittedCommands : channel(number).transmittedData;
  log.insert(log.end(), packets->begin(), packets->end());
  return true;
}

}  // namespace qor::emulator
