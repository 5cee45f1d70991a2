// The Ethernet monitor (command 0x50): its configuration, which also chooses the port's reader and sets up the host's
// ring in the core's monitor instance, start and stop, the firmware's time, user events and properties.
#include <memory>
#include <span>
#include <utility>
#include <vector>

#include "ethernet_library.hpp"
#include "monitor_readers.hpp"
#include "monitor_ring.hpp"
#include "qor_ethernet_monitor.h"
#include "qor_kit/monitor_session.hpp"
#include "qor_monitor.h"

namespace qor::ethernet {
namespace {

constexpr size_t kTimeAnswerBytes = 24;
constexpr size_t kPropertyAnswerBytes = 12;

enum MonitorSubFunction : uint32_t {
  kConfigure = 0,
  kStart = 1,
  kStop = 2,
  kTime = 4,
  kUserEvent = 5,
  kPropertySet = 6,
  kPropertyGet = 7,
};

uint32_t command(const kit::Call& call, MonitorSubFunction subFunction) {
  if (uint32_t code = checkEthernetInterface(call)) return code;
  kit::RecordWriter record(4);
  record.u32(subFunction);
  std::vector<uint8_t> answer;
  return monitorExchange(call, record, answer);
}

// What the core's monitor instance holds: it feeds the port's ring with every block, and lets it go when the
// instance ends, whoever ends it (Reset, the port's close, a new configuration).
class RingFeed : public kit::MonitorSession {
 public:
  explicit RingFeed(std::shared_ptr<MonitorRing> ring) : ring_(std::move(ring)) {}
  void deliver(uint32_t, std::span<const uint8_t> block) override { ring_->deliver(block); }
  const MonitorRing* ring() const { return ring_.get(); }

 private:
  std::shared_ptr<MonitorRing> ring_;
};

uint32_t setUpRing(const kit::Call& call) {
  void* context = nullptr;
  if (uint32_t code = Qor_Monitor_Init(call.port(), QOR_MONITOR_CALLBACK_MODE, Qor_Ethernet_Monitor_Callback,
                                       Qor_Ethernet_Monitor_Callback_CleanUp, kit::kMonitorSessionContextBytes,
                                       &context)) {
    return code;
  }
  auto ring = std::make_shared<MonitorRing>(QOR_ETHERNET_MONITOR_RING_BYTES);
  kit::installSession(context, std::make_unique<RingFeed>(ring));
  return useRing(call.port(), std::move(ring));
}

uint32_t configure(const kit::Call& call, uint32_t flags) {
  if (uint32_t code = checkEthernetInterface(call)) return code;
  if (uint32_t code = checkFlags(call, flags, QOR_ETHERNET_MONITOR_CONFIG_FLAGS)) return code;
  const bool ring = (flags & QOR_ETHERNET_MONITOR_HOST_RING) != 0;
  // A ring left running would take the answers of the firmware reader's reads (the core's filter takes them).
  if (!ring && monitorReaderOf(call.port()) == MonitorReader::Ring) Qor_CloseMonitor(call.port());
  if (uint32_t code = ring ? setUpRing(call) : useFirmwareReader(call.port())) return code;
  kit::RecordWriter record(8);
  record.u32(kConfigure).u32(flags);
  std::vector<uint8_t> answer;
  const uint32_t code = monitorExchange(call, record, answer);
  if (code != 0 && ring) Qor_CloseMonitor(call.port());  // no ring for a monitor the firmware did not take
  return code;
}

uint32_t time(const kit::Call& call, uint32_t* flags, uint64_t* first, uint64_t* second) {
  if (uint32_t code = checkEthernetInterface(call)) return code;
  if (uint32_t code = checkPointer(call, flags, "flags")) return code;
  if (uint32_t code = checkPointer(call, first, "first")) return code;
  if (uint32_t code = checkPointer(call, second, "second")) return code;
  *flags = 0;
  *first = *second = 0;
  kit::RecordWriter record(4);
  record.u32(kTime);
  std::vector<uint8_t> answer;
  if (uint32_t code = monitorExchange(call, record, answer)) return code;
  const kit::AnswerReader reader(answer);
  if (uint32_t code = checkAnswerLength(call, reader, kTimeAnswerBytes)) return code;
  *flags = reader.u32(4) & 0x01;
  *first = reader.u64(8);
  *second = reader.u64(16);
  return 0;
}

uint32_t userEvent(const kit::Call& call, uint8_t eventValue, uint8_t length, const uint8_t* data) {
  if (uint32_t code = checkEthernetInterface(call)) return code;
  if (length != 0) {
    if (uint32_t code = checkPointer(call, data, "data")) return code;
  }
  kit::RecordWriter record(8 + length);
  record.u32(kUserEvent).u8(eventValue).u8(0).u8(length).u8(0).bytes(std::span(data, length));
  std::vector<uint8_t> answer;
  return monitorExchange(call, record, answer);
}

uint32_t checkPropertyId(const kit::Call& call, uint32_t id) {
  if (id <= QOR_ETHERNET_MONITOR_MAX_PROPERTY_ID) return 0;
  return call.fail(kEthernet.code(kInvalidParameter), "id '%u' is unknown", id);
}

uint32_t setProperty(const kit::Call& call, uint32_t id, uint32_t value) {
  if (uint32_t code = checkEthernetInterface(call)) return code;
  if (uint32_t code = checkPropertyId(call, id)) return code;
  kit::RecordWriter record(12);
  record.u32(kPropertySet).u16(static_cast<uint16_t>(id)).u16(0).u32(value);
  std::vector<uint8_t> answer;
  return monitorExchange(call, record, answer);
}

uint32_t getProperty(const kit::Call& call, uint32_t id, uint32_t* value) {
  if (uint32_t code = checkEthernetInterface(call)) return code;
  if (uint32_t code = checkPointer(call, value, "value")) return code;
  if (uint32_t code = checkPropertyId(call, id)) return code;
  kit::RecordWriter record(8);
  record.u32(kPropertyGet).u16(static_cast<uint16_t>(id)).u16(0);
  std::vector<uint8_t> answer;
  if (uint32_t code = monitorExchange(call, record, answer)) return code;
  const kit::AnswerReader reader(answer);
  if (uint32_t code = checkAnswerLength(call, reader, kPropertyAnswerBytes)) return code;
  *value = reader.u32(8);
  return 0;
}

uint32_t reset(const kit::Call& call) {
  if (uint32_t code = checkEthernetInterface(call)) return code;
  return Qor_CloseMonitor(call.port());
}

}  // namespace
}  // namespace qor::ethernet

using namespace qor::ethernet;
using qor::kit::Call;

uint32_t Qor_Ethernet_Monitor_Config(uint32_t port, uint32_t flags) try {
  return configure(Call(kEthernet, port), flags);
} catch (...) {
  return kEthernet.failedCall(port);
}

uint32_t Qor_Ethernet_Monitor_Start(uint32_t port) try {
  return command(Call(kEthernet, port), kStart);
} catch (...) {
  return kEthernet.failedCall(port);
}

uint32_t Qor_Ethernet_Monitor_Stop(uint32_t port) try {
  return command(Call(kEthernet, port), kStop);
} catch (...) {
  return kEthernet.failedCall(port);
}

uint32_t Qor_Ethernet_Monitor_Reset(uint32_t port) try {
  return reset(Call(kEthernet, port));
} catch (...) {
  return kEthernet.failedCall(port);
}

uint32_t Qor_Ethernet_Monitor_GetData(uint32_t port, uint16_t* itemCount, uint32_t* size, uint8_t* buffer) try {
  return readMonitorData(Call(kEthernet, port), itemCount, size, buffer);
} catch (...) {
  return kEthernet.failedCall(port);
}

uint32_t Qor_Ethernet_Monitor_GetTime(uint32_t port, uint32_t* flags, uint64_t* first, uint64_t* second) try {
  return time(Call(kEthernet, port), flags, first, second);
} catch (...) {
  return kEthernet.failedCall(port);
}

uint32_t Qor_Ethernet_Monitor_WriteUserEvent(uint32_t port, uint8_t eventValue, uint8_t length,
                                             const uint8_t* data) try {
  return userEvent(Call(kEthernet, port), eventValue, length, data);
} catch (...) {
  return kEthernet.failedCall(port);
}

uint32_t Qor_Ethernet_Monitor_Property_SetById(uint32_t port, uint32_t id, uint32_t value) try {
  return setProperty(Call(kEthernet, port), id, value);
} catch (...) {
  return kEthernet.failedCall(port);
}

uint32_t Qor_Ethernet_Monitor_Property_GetById(uint32_t port, uint32_t id, uint32_t* value) try {
  return getProperty(Call(kEthernet, port), id, value);
} catch (...) {
  return kEthernet.failedCall(port);
}

void Qor_Ethernet_Monitor_DeleteAll(void) try {
  forgetMonitorReaders();
} catch (...) {
}

// On the core's delivering thread, under its monitor section.
void Qor_Ethernet_Monitor_Callback(uint32_t port, void* context, const uint8_t* data, uint32_t length) try {
  qor::kit::deliverToSession(port, context, data, length);
} catch (...) {
}

void Qor_Ethernet_Monitor_Callback_CleanUp(uint32_t port, void* context) try {
  std::unique_ptr<qor::kit::MonitorSession> session = qor::kit::takeSession(context);
  if (const auto* feed = dynamic_cast<const RingFeed*>(session.get())) ringClosed(port, feed->ring());
} catch (...) {
}
