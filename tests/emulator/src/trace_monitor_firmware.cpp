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

}  // namespace

std::shared_ptr<TraceMonitorFirmware> TraceMonitorFirmware::attachTo(Device& device, Bus bus,
                                                                     std::vector<uint8_t> interfaces) {
  std::shared_ptr<TraceMonitorFirmware> firmware(new TraceMonitorFirmware(bus));
  for (uint8_t number : interfaces) firmware->nodes_[number];
  device.onCommand(commandsOf(bus).command,
                   [firmware](const ReceivedFrame& frame) { return firmware->answer(frame); });
  return firmware;
}

void TraceMonitorFirmware::queue(uint8_t interfaceNumber, Bytes item) {
  std::lock_guard lock(mutex_);
  nodes_.at(interfaceNumber).items.push_back(std::move(item));
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
