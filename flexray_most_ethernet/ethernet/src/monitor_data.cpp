// The Ethernet monitor's items for the application: from the firmware on demand or from the host's ring.
#include <algorithm>
#include <cstring>
#include <memory>
#include <utility>

#include "ethernet_library.hpp"
#include "monitor_items.hpp"
#include "monitor_readers.hpp"
#include "monitor_ring.hpp"
#include "qor_kit/port_table.hpp"

namespace qor::ethernet {
namespace {

constexpr uint8_t kMonitorCommand = 0x50;
constexpr uint32_t kMonitorAnswerCapacity = 32756;
constexpr uint32_t kReadData = 3;
constexpr size_t kItemCountOffset = 4;
constexpr uint32_t kMostItemsPerRead = UINT16_MAX;

struct PortMonitor {
  MonitorReader reader = MonitorReader::None;
  std::shared_ptr<MonitorRing> ring;  // while the core's instance feeds it
};

kit::PortTable<PortMonitor>& monitors() {
  static kit::PortTable<PortMonitor> table;
  return table;
}

// The items that lie whole in data, at most announced.
uint16_t wholeItems(std::span<const uint8_t> data, uint16_t announced) {
  uint16_t count = 0;
  walkMonitorItems(data, [&](std::span<const uint8_t>) { return ++count < announced; });
  return std::min(count, announced);
}

uint32_t readFromFirmware(const kit::Call& call, uint16_t* itemCount, uint32_t* size, uint8_t* buffer) {
  kit::RecordWriter record(4);
  record.u32(kReadData);
  std::vector<uint8_t> answer;
  if (uint32_t code = monitorExchange(call, record, answer)) return code;
  const kit::AnswerReader reader(answer);
  if (uint32_t code = checkAnswerLength(call, reader, kMonitorBlockHeadBytes)) return code;
  const std::span<const uint8_t> data = reader.rest(kMonitorBlockHeadBytes);
  *itemCount = wholeItems(data, reader.u16(kItemCountOffset));
  if (data.size() > *size) {
    std::memcpy(buffer, data.data(), *size);
    return call.fail(kEthernet.code(kBufferTooSmall), "monitor data (%zu bytes) > buffer (%u bytes)", data.size(),
                     *size);
  }
  std::memcpy(buffer, data.data(), data.size());
  *size = static_cast<uint32_t>(data.size());
  return 0;
}

uint32_t readFromRing(const kit::Call& call, uint16_t* itemCount, uint32_t* size, uint8_t* buffer) {
  std::shared_ptr<MonitorRing> ring;
  monitors().ifState(call.port(), [&](PortMonitor& state) { ring = state.ring; });
  if (!ring) return call.fail(kEthernet.code(kNotInitialized), "monitor not initialized");
  const MonitorRing::Taken taken = ring->read(std::span(buffer, *size), kMostItemsPerRead);
  if (taken.tooLargeItemBytes != 0) {
    const uint32_t capacity = std::exchange(*size, 0);
    return call.fail(kEthernet.code(kBufferTooSmall), "monitor item (%u bytes) > buffer (%u bytes)",
                     taken.tooLargeItemBytes, capacity);
  }
  *itemCount = static_cast<uint16_t>(taken.items);
  *size = taken.bytes;
  return 0;
}

}  // namespace

uint32_t useFirmwareReader(uint32_t port) {
  return monitors().withState(port, [](PortMonitor& state) {
    state.reader = MonitorReader::Firmware;
    state.ring.reset();
  });
}

uint32_t useRing(uint32_t port, std::shared_ptr<MonitorRing> ring) {
  return monitors().withState(port, [&](PortMonitor& state) {
    state.reader = MonitorReader::Ring;
    state.ring = std::move(ring);
  });
}

MonitorReader monitorReaderOf(uint32_t port) {
  MonitorReader reader = MonitorReader::None;
  monitors().ifState(port, [&](PortMonitor& state) { reader = state.reader; });
  return reader;
}

// Under the core's monitor section (the instance's clean-up): takes the table's lock, never the other way round.
void ringClosed(uint32_t port, const MonitorRing* ring) {
  monitors().ifState(port, [&](PortMonitor& state) {
    if (state.ring.get() == ring) state.ring.reset();
  });
}

void forgetMonitorReaders() {
  for (uint32_t port = 0; port < QOR_MAX_PORTS; ++port) monitors().erase(port);
}

uint32_t monitorExchange(const kit::Call& call, const kit::RecordWriter& record, std::vector<uint8_t>& answer) {
  return call.exchange(kMonitorCommand, 1, record, answer, kMonitorAnswerCapacity);
}

uint32_t readMonitorData(const kit::Call& call, uint16_t* itemCount, uint32_t* size, uint8_t* buffer) {
  if (uint32_t code = checkEthernetInterface(call)) return code;
  if (uint32_t code = checkPointer(call, itemCount, "itemCount")) return code;
  if (uint32_t code = checkPointer(call, size, "size")) return code;
  if (uint32_t code = checkPointer(call, buffer, "buffer")) return code;
  *itemCount = 0;
  switch (monitorReaderOf(call.port())) {
    case MonitorReader::Firmware:
      return readFromFirmware(call, itemCount, size, buffer);
    case MonitorReader::Ring:
      return readFromRing(call, itemCount, size, buffer);
    case MonitorReader::None:
      break;
  }
  return call.fail(kEthernet.code(kNotInitialized), "monitor is not initialized");
}

}  // namespace qor::ethernet
