#include "qor_emulator/trace_monitor_firmware.hpp"

#include "qor_emulator/frame.hpp"

namespace qor::emulator {
namespace {

constexpr size_t kItemRoom = 4000;
constexpr size_t kHeadBytes = 4;

struct Commands {
  uint8_t command;
  uint8_t start;
  uint8_t stop;
  uint8_t poll;
  bool counted;
};

Commands commandsOf(TraceMonitorFirmware::Bus bus) {
  switch (bus) {
    case TraceMonitorFirmware::Bus::Lin: return {0x50, 12, 13, 14, true};
    case TraceMonitorFirmware::Bus::FlexRay: return {0x21, 1, 2, 3, false};
    case TraceMonitorFirmware::Bus::Ethernet: return {0x50, 1, 2, 3, true};
  }
  return {};
}

// The LIN checksum: the inverted sum with carries of the data, and of the protected identifier for ids below 60.
uint8_t linChecksum(const LinFrame& frame) {
  const uint8_t id = frame.frameId & 0x3F;
  auto bit = [id](int index) { return (id >> index) & 1; };
  const uint8_t parity = static_cast<uint8_t>((bit(0) ^ bit(1) ^ bit(2) ^ bit(4)) << 6 |
                                              (1 ^ bit(1) ^ bit(3) ^ bit(4) ^ bit(5)) << 7);
  unsigned sum = id < 60 ? (id | parity) : 0;
  for (uint8_t byte : frame.data) {
    sum += byte;
    if (sum > 0xFF) sum -= 0xFF;
  }
  return static_cast<uint8_t>(~sum);
}

Bytes linItem(const LinFrame& frame, const LinTiming& timing, uint32_t bitNs) {
  Bytes bytes = frame.data;
  bytes.push_back(linChecksum(frame));
  return RecordBytes()
      .u16(20 + bytes.size())
      .u16(0)
      .u64(timing.startNs)
      .u8(frame.state)
      .u8(bytes.size())
      .u8(frame.frameId)
      .u8(0)
      .u32(uint64_t{bitNs} * 8)
      .bytes(bytes);
}

Bytes flexRayItem(const FlexRayFrame& frame, uint64_t busTimeNs) {
  const uint8_t channel = frame.channels == kFlexRayChannelsAB ? 2 : frame.channels == kFlexRayChannelB ? 1 : 0;
  return RecordBytes()
      .u16(20 + frame.payload.size())
      .u16(1)
      .u64(busTimeNs)
      .u8(channel)
      .u8(0)
      .u16(frame.slot)
      .u8(frame.cycle)
      .u8(frame.payload.size() / 2)
      .u16(0)
      .bytes(frame.payload);
}

Bytes ethernetItem(std::span<const uint8_t> frame, uint64_t linkTimeNs) {
  return RecordBytes()
      .u16(16 + frame.size())
      .u16(1)
      .u64(linkTimeNs)
      .u8(0)
      .u8(0)
      .u16(frame.size())
      .bytes(Bytes(frame.begin(), frame.end()));
}

}  // namespace

std::shared_ptr<TraceMonitorFirmware> TraceMonitorFirmware::attachTo(Device& device, Bus bus,
                                                                     std::vector<uint8_t> interfaces) {
  std::shared_ptr<TraceMonitorFirmware> firmware(new TraceMonitorFirmware(bus));
  for (uint8_t number : interfaces) firmware->nodes_[number];
  device.onCommand(commandsOf(bus).command,
                   [firmware](const ReceivedFrame& frame) { return firmware->answer(frame); });
  return firmware;
}

std::shared_ptr<TraceMonitorFirmware> TraceMonitorFirmware::attachTo(Device& device, LinBus& bus,
                                                                     std::vector<uint8_t> interfaces) {
  auto firmware = attachTo(device, Bus::Lin, interfaces);
  const std::weak_ptr<TraceMonitorFirmware> weak = firmware;
  for (uint8_t number : interfaces) {
    bus.attach(device, number);
    bus.listen(device, number, [weak, number, bitNs = bus.bitNs()](const LinFrame& frame, const LinTiming& timing) {
      if (auto alive = weak.lock()) alive->heard(number, linItem(frame, timing, bitNs));
    });
  }
  return firmware;
}

std::shared_ptr<TraceMonitorFirmware> TraceMonitorFirmware::attachTo(Device& device, FlexRayCluster& cluster,
                                                                     std::vector<uint8_t> interfaces) {
  auto firmware = attachTo(device, Bus::FlexRay, interfaces);
  const std::weak_ptr<TraceMonitorFirmware> weak = firmware;
  for (uint8_t number : interfaces) {
    cluster.attach(device, number);
    cluster.listen(device, number, [weak, number](const FlexRayFrame& frame, uint64_t busTimeNs) {
      if (auto alive = weak.lock()) alive->heard(number, flexRayItem(frame, busTimeNs));
    });
  }
  return firmware;
}

std::shared_ptr<TraceMonitorFirmware> TraceMonitorFirmware::attachTo(Device& device, EthernetLink& link,
                                                                     std::vector<uint8_t> interfaces) {
  auto firmware = attachTo(device, Bus::Ethernet, interfaces);
  const std::weak_ptr<TraceMonitorFirmware> weak = firmware;
  for (uint8_t number : interfaces) {
    link.attach(device, number);
    link.addListener(device, number, [weak, number](std::span<const uint8_t> frame, uint64_t linkTimeNs) {
      if (auto alive = weak.lock()) alive->heard(number, ethernetItem(frame, linkTimeNs));
    });
  }
  return firmware;
}

void TraceMonitorFirmware::heard(uint8_t interfaceNumber, Bytes item) {
  std::lock_guard lock(mutex_);
  Node& node = nodes_.at(interfaceNumber);
  if (node.started) node.items.push_back(std::move(item));
}

void TraceMonitorFirmware::queue(uint8_t interfaceNumber, std::vector<Bytes> items) {
  std::lock_guard lock(mutex_);
  auto& queued = nodes_.at(interfaceNumber).items;
  for (Bytes& item : items) queued.push_back(std::move(item));
}

void TraceMonitorFirmware::failPolls(uint8_t interfaceNumber, uint32_t code) {
  std::lock_guard lock(mutex_);
  nodes_.at(interfaceNumber).pollFailure = code;
}

std::vector<Bytes> TraceMonitorFirmware::requests(uint8_t interfaceNumber) const {
  std::lock_guard lock(mutex_);
  return nodes_.at(interfaceNumber).requests;
}

size_t TraceMonitorFirmware::polls(uint8_t interfaceNumber) const {
  std::lock_guard lock(mutex_);
  return nodes_.at(interfaceNumber).polls;
}

Reply TraceMonitorFirmware::answer(const ReceivedFrame& frame) {
  const Commands commands = commandsOf(bus_);
  const auto parameters = frame.parameters();
  std::lock_guard lock(mutex_);
  const auto node = nodes_.find(frame.header().TPort);
  if (node == nodes_.end() || parameters.size() < kHeadBytes) {
    return Reply(frame.negativeAcknowledge(kTraceMonitorRefusal, "trace monitor request refused"));
  }
  Node& state = node->second;
  Bytes data(parameters.begin(), parameters.begin() + kHeadBytes);
  const uint8_t subFunction = parameters[0];
  if (subFunction != commands.poll) {
    state.requests.emplace_back(parameters.begin(), parameters.end());
    if (subFunction == commands.start) state.started = true;
    if (subFunction == commands.stop) state.started = false;
    return Reply(frame.response(data));
  }
  ++state.polls;
  if (state.pollFailure) return Reply(frame.negativeAcknowledge(*state.pollFailure, "trace monitor poll failed"));
  Bytes items;
  uint16_t count = 0;
  while (state.started && !state.items.empty() && items.size() + state.items.front().size() <= kItemRoom) {
    items.insert(items.end(), state.items.front().begin(), state.items.front().end());
    state.items.pop_front();
    ++count;
  }
  appendLittleEndian(data, commands.counted ? count : 0, 2);
  appendLittleEndian(data, 0, 2);
  data.insert(data.end(), items.begin(), items.end());
  return Reply(frame.response(data));
}

}  // namespace qor::emulator
