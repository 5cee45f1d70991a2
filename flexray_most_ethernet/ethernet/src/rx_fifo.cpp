// The receive FIFOs (command 0x27): configuring and deleting them in the firmware, and reading their frames whole
// through the fragments each port's FIFOs hold on the host.
#include <algorithm>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "ethernet_library.hpp"
#include "qor_ethernet_rx_fifo.h"
#include "qor_kit/port_table.hpp"
#include "rx_fifo_fragments.hpp"

namespace qor::ethernet {
namespace {

constexpr uint8_t kRxFifoCommand = 0x27;
constexpr uint32_t kRxFifoAnswerCapacity = 32756;
constexpr size_t kConfigureAnswerBytes = 8;
constexpr size_t kReadAnswerHeadBytes = 12;

enum RxFifoSubFunction : uint32_t { kConfigure = 0, kDelete = 1, kRead = 2 };

struct RxFifo {
  explicit RxFifo(size_t reserveBytes) : held(reserveBytes) {}
  std::mutex mutex;  // one read at a time; a delete meanwhile lets the read finish on the forgotten FIFO
  HeldFragments held;
  uint32_t backlog = 0;  // fragments waiting in the firmware after its last answer
};

using PortFifos = std::map<uint32_t, std::shared_ptr<RxFifo>>;

kit::PortTable<PortFifos>& fifos() {
  static kit::PortTable<PortFifos> table;
  return table;
}

uint32_t exchange(const kit::Call& call, const kit::RecordWriter& record, std::vector<uint8_t>& answer) {
  return call.exchange(kRxFifoCommand, 1, record, answer, kRxFifoAnswerCapacity);
}

// The firmware sizes its FIFO by the third and fourth values; the host holds at most one answer's rest plus an
// unfinished frame, so it reserves no more than two answers whatever the values say.
size_t heldReserve(const Qor_Ethernet_RxFifo_Configuration_t& configuration) {
  const uint64_t bytes = 2 * uint64_t{configuration.value3} * configuration.value4;
  return static_cast<size_t>(std::min<uint64_t>(bytes, 2 * kRxFifoAnswerCapacity));
}

uint32_t configure(const kit::Call& call, const Qor_Ethernet_RxFifo_Configuration_t* configuration, uint32_t* fifoId) {
  if (uint32_t code = checkEthernetInterface(call)) return code;
  if (uint32_t code = checkPointer(call, configuration, "configuration")) return code;
  if (uint32_t code = checkPointer(call, fifoId, "fifoId")) return code;
  if (uint32_t code = checkFlags(call, configuration->flags, QOR_ETHERNET_RX_FIFO_FLAGS)) return code;
  if (uint32_t code = checkReserved(call, configuration->reserved)) return code;
  kit::RecordWriter record(24);
  record.u32(kConfigure).u32(configuration->flags).u32(configuration->value1).u32(configuration->value2);
  record.u32(configuration->value3).u16(configuration->value4).u16(0);
  std::vector<uint8_t> answer;
  if (uint32_t code = exchange(call, record, answer)) return code;
  const kit::AnswerReader reader(answer);
  if (uint32_t code = checkAnswerLength(call, reader, kConfigureAnswerBytes)) return code;
  const uint32_t id = reader.u32(4);
  auto fifo = std::make_shared<RxFifo>(heldReserve(*configuration));
  if (uint32_t code = fifos().withState(call.port(), [&](PortFifos& port) { port[id] = std::move(fifo); })) {
    return code;
  }
  *fifoId = id;
  return 0;
}

// The host forgets a FIFO only once the firmware has deleted it: one it still runs stays readable.
uint32_t remove(const kit::Call& call, const Qor_Ethernet_RxFifo_Key_t* key) {
  if (uint32_t code = checkEthernetInterface(call)) return code;
  if (uint32_t code = checkPointer(call, key, "key")) return code;
  if (uint32_t code = checkFlags(call, key->flags, QOR_ETHERNET_RX_FIFO_DELETE_ALL)) return code;
  kit::RecordWriter record(12);
  record.u32(kDelete).u32(key->flags).u32(key->fifoId);
  std::vector<uint8_t> answer;
  if (uint32_t code = exchange(call, record, answer)) return code;
  fifos().ifState(call.port(), [&](PortFifos& port) {
    if (key->flags & QOR_ETHERNET_RX_FIFO_DELETE_ALL) {
      port.clear();
    } else {
      port.erase(key->fifoId);
    }
  });
  return 0;
}

struct ReadArguments {
  uint32_t fifoId;
  uint32_t* frameCount;
  uint32_t* size;
  uint32_t* remaining;
  uint8_t* buffer;
};

// Asks the firmware for more of the FIFO; 0, or the exchange's code or "invalid parameter" for a short answer. The
// fragments the answer holds go to the held ones; *brought: how many lay whole in the answer.
uint32_t readAnswer(const kit::Call& call, uint32_t fifoId, RxFifo& fifo, uint32_t* brought) {
  kit::RecordWriter record(12);
  record.u32(kRead).u32(fifoId).u32(0);
  std::vector<uint8_t> answer;
  if (uint32_t code = exchange(call, record, answer)) return code;
  const kit::AnswerReader reader(answer);
  if (uint32_t code = checkAnswerLength(call, reader, kReadAnswerHeadBytes)) return code;
  *brought = fifo.held.take(reader.rest(kReadAnswerHeadBytes), reader.u32(4));
  fifo.backlog = reader.u32(8);
  return 0;
}

// The held frames first, then answers while the firmware has more and the caller's buffer and count allow. The
// frames delivered leave the FIFO only when the read succeeds.
uint32_t readFrames(const kit::Call& call, RxFifo& fifo, const ReadArguments& arguments) {
  FrameDelivery delivery(fifo.held, std::span(arguments.buffer, *arguments.size), *arguments.frameCount);
  DeliveryEnd end = delivery.deliver();
  bool askFirmware = true;  // the first time the held frames run out: frames may have come in since the last read
  while (end == DeliveryEnd::NeedMore && askFirmware) {
    uint32_t brought = 0;
    if (uint32_t code = readAnswer(call, arguments.fifoId, fifo, &brought)) return code;
    end = delivery.deliver();
    // An answer that brings nothing ends the read even if the firmware claims more.
    askFirmware = fifo.backlog > 0 && brought > 0;
  }
  if (fifo.held.takeOverlongDrop()) {
    return call.fail(kEthernet.code(kRxFifoError), "frame longer than %u bytes dropped",
                     QOR_ETHERNET_RX_FIFO_MAX_FRAME_BYTES);
  }
  if (end == DeliveryEnd::FrameTooLarge) {
    return call.fail(kEthernet.code(kBufferTooSmall), "frame entry (%zu bytes) > buffer (%u bytes)",
                     delivery.entryTooLarge(), *arguments.size);
  }
  delivery.commit();
  *arguments.frameCount = delivery.frames();
  *arguments.size = static_cast<uint32_t>(delivery.bytes());
  const uint64_t pending = uint64_t{fifo.held.count()} + fifo.backlog;
  *arguments.remaining = static_cast<uint32_t>(std::min<uint64_t>(pending, UINT32_MAX));
  return 0;
}

uint32_t read(const kit::Call& call, uint32_t flags, const ReadArguments& arguments) {
  if (uint32_t code = checkEthernetInterface(call)) return code;
  if (uint32_t code = checkFlags(call, flags, 0)) return code;
  if (uint32_t code = checkPointer(call, arguments.frameCount, "frameCount")) return code;
  if (uint32_t code = checkPointer(call, arguments.size, "size")) return code;
  if (uint32_t code = checkPointer(call, arguments.remaining, "remaining")) return code;
  if (uint32_t code = checkPointer(call, arguments.buffer, "buffer")) return code;
  *arguments.remaining = 0;
  // No exchange under the table's lock: the port's close takes it with the core's locks held.
  std::shared_ptr<RxFifo> fifo;
  fifos().ifState(call.port(), [&](PortFifos& port) {
    if (const auto found = port.find(arguments.fifoId); found != port.end()) fifo = found->second;
  });
  if (!fifo) return call.fail(kEthernet.code(kRxFifoError), "RX FIFO not configured");
  std::lock_guard lock(fifo->mutex);
  return readFrames(call, *fifo, arguments);
}

}  // namespace
}  // namespace qor::ethernet

using namespace qor::ethernet;
using qor::kit::Call;

uint32_t Qor_Ethernet_RxFifo_Config(uint32_t port, const Qor_Ethernet_RxFifo_Configuration_t* configuration,
                                    uint32_t* fifoId) try {
  return configure(Call(kEthernet, port), configuration, fifoId);
} catch (...) {
  return kEthernet.failedCall(port);
}

uint32_t Qor_Ethernet_RxFifo_Delete(uint32_t port, const Qor_Ethernet_RxFifo_Key_t* key) try {
  return remove(Call(kEthernet, port), key);
} catch (...) {
  return kEthernet.failedCall(port);
}

uint32_t Qor_Ethernet_RxFifo_Read(uint32_t port, uint32_t flags, uint32_t fifoId, uint32_t* frameCount, uint32_t* size,
                                  uint32_t* remaining, uint8_t* buffer) try {
  return read(Call(kEthernet, port), flags, {fifoId, frameCount, size, remaining, buffer});
} catch (...) {
  return kEthernet.failedCall(port);
}

void Qor_Ethernet_RxFifo_DeleteAll(void) try {
  for (uint32_t port = 0; port < QOR_MAX_PORTS; ++port) fifos().erase(port);
} catch (...) {
}
