#include <algorithm>
#include <span>
#include <vector>

#include "kline_library.hpp"
#include "qor_kit/port_table.hpp"
#include "qor_kline_fifo.h"
#include "spill_buffer.hpp"

namespace qor::kline {
namespace {

constexpr uint8_t kFifoCommand = 0x20;
constexpr uint8_t kOneControlByte = 1;
enum FifoSub : uint32_t { kReset = 0, kInit = 1, kTransmit = 2, kReceive = 3, kTransmitState = 4, kReceiveState = 5 };
constexpr size_t kTransmitHead = 8;
constexpr size_t kStateFlagsOffset = 4;
constexpr size_t kInitResultOffset = 8;
constexpr size_t kCountOffset = 8;
constexpr size_t kValue1Offset = 8;
constexpr size_t kReceivedDataOffset = 12;
constexpr size_t kValue2Offset = 12;

// The spill buffers of the ports, dropped as a port closes.
kit::PortTable<SpillBuffer>& spillBuffers() {
  static kit::PortTable<SpillBuffer> table;
  return table;
}

size_t pendingOf(uint32_t port) {
  size_t pending = 0;
  spillBuffers().ifState(port, [&](SpillBuffer& spill) { pending = spill.pending(); });
  return pending;
}

void clearSpill(uint32_t port) {
  spillBuffers().ifState(port, [](SpillBuffer& spill) { spill.clear(); });
}

uint32_t exchange(const kit::Call& call, const kit::RecordWriter& record, std::vector<uint8_t>& answer) {
  return call.exchange(kFifoCommand, kOneControlByte, record, answer);
}

uint32_t subOnly(const kit::Call& call, FifoSub sub, std::vector<uint8_t>& answer) {
  kit::RecordWriter record(4);
  record.u32(sub);
  return exchange(call, record, answer);
}

uint32_t reset(const kit::Call& call) {
  if (uint32_t code = checkKLine(call)) return code;
  std::vector<uint8_t> answer;
  if (uint32_t code = subOnly(call, kReset, answer)) return code;
  clearSpill(call.port());
  return 0;
}

uint32_t checkConfig(const kit::Call& call, const Qor_KLine_FifoConfig_t& config) {
  const uint32_t invalid = kKLine.code(kInvalidParameter);
  if (config.UartMode > 2) return call.fail(invalid, "UartMode '0x%02x' is unknown", config.UartMode);
  if (config.Parity > 1) return call.fail(invalid, "Parity '0x%02x' is unknown", config.Parity);
  if (config.StopBits > 1) return call.fail(invalid, "StopBits value '0x%02x' is unknown", config.StopBits);
  return checkReserved(call, config.reserved);
}

uint32_t init(const kit::Call& call, uint32_t flags, const Qor_KLine_FifoConfig_t* config, uint32_t* result) {
  if (uint32_t code = checkKLine(call)) return code;
  if (uint32_t code = checkPointer(call, result, "result")) return code;
  *result = 0;
  if (uint32_t code = checkPointer(call, config, "config")) return code;
  if (uint32_t code = checkCommandFlags(call, flags, 0)) return code;
  if (uint32_t code = checkConfig(call, *config)) return code;
  clearSpill(call.port());
  kit::RecordWriter record(24);
  record.u32(kInit).u32(0).u32(config->value1).u32(config->value2).u32(config->value3);
  record.u8(config->UartMode).u8(config->Parity).u8(config->StopBits).u8(0);
  std::vector<uint8_t> answer;
  if (uint32_t code = exchange(call, record, answer)) return code;
  const kit::AnswerReader reader(answer);
  const uint32_t value = reader.u32(kInitResultOffset);
  if (!reader.complete()) return shortAnswer(call, reader);
  *result = value;
  return 0;
}

uint32_t transmit(const kit::Call& call, uint32_t count, const uint8_t* data) {
  if (uint32_t code = checkKLine(call)) return code;
  if (count != 0) {
    if (uint32_t code = checkPointer(call, data, "data")) return code;
  }
  uint32_t parameterLength = 0;
  if (uint32_t code = call.parameterLength(&parameterLength)) return code;
  const uint32_t room = parameterLength > kTransmitHead ? parameterLength - static_cast<uint32_t>(kTransmitHead) : 0;
  if (count > room) return call.fail(kKLine.code(kInvalidParameter), "max number of bytes = %u", room);
  kit::RecordWriter record(kTransmitHead + count);
  record.u32(kTransmit).u32(count).bytes(data, count);
  std::vector<uint8_t> answer;
  return exchange(call, record, answer);
}

// The two state queries: the flags byte and two values, all 0 unless the answer carries them.
struct FifoState {
  uint8_t flags = 0;
  uint32_t value1 = 0;
  uint32_t value2 = 0;
};

uint32_t readState(const kit::Call& call, FifoSub sub, uint32_t* state, uint32_t* value1, uint32_t* value2,
                   FifoState& read) {
  if (uint32_t code = checkKLine(call)) return code;
  if (uint32_t code = checkPointer(call, state, "state")) return code;
  if (uint32_t code = checkPointer(call, value1, "value1")) return code;
  if (uint32_t code = checkPointer(call, value2, "value2")) return code;
  *state = *value1 = *value2 = 0;
  std::vector<uint8_t> answer;
  if (uint32_t code = subOnly(call, sub, answer)) return code;
  const kit::AnswerReader reader(answer);
  read = {reader.u8(kStateFlagsOffset), reader.u32(kValue1Offset), reader.u32(kValue2Offset)};
  return reader.complete() ? 0 : shortAnswer(call, reader);
}

uint32_t transmitState(const kit::Call& call, uint32_t* state, uint32_t* value1, uint32_t* value2) {
  FifoState read;
  if (uint32_t code = readState(call, kTransmitState, state, value1, value2, read)) return code;
  const size_t pending = pendingOf(call.port());
  *state = ((read.flags & 1) != 0 && pending == 0 ? 1u : 0u) | (read.flags & 2u);
  *value1 = read.value1;
  *value2 = read.value2 + static_cast<uint32_t>(pending);
  return 0;
}

uint32_t receiveState(const kit::Call& call, uint32_t* state, uint32_t* value1, uint32_t* value2) {
  FifoState read;
  if (uint32_t code = readState(call, kReceiveState, state, value1, value2, read)) return code;
  *state = read.flags & 7u;
  *value1 = read.value1;
  *value2 = read.value2;
  return 0;
}

// Spilled bytes first; the firmware is asked only when they all fit. What the firmware answers beyond the room
// left waits in the spill buffer. *length counts every byte put into the buffer, also when the command fails.
uint32_t receive(const kit::Call& call, uint32_t* state, uint32_t* length, uint8_t* buffer) {
  if (uint32_t code = checkKLine(call)) return code;
  if (uint32_t code = checkPointer(call, state, "state")) return code;
  if (uint32_t code = checkPointer(call, length, "length")) return code;
  if (*length != 0) {
    if (uint32_t code = checkPointer(call, buffer, "buffer")) return code;
  }
  const std::span<uint8_t> room(buffer, *length);
  size_t spilled = 0;
  bool moreWaits = false;
  if (uint32_t code = spillBuffers().withState(call.port(), [&](SpillBuffer& spill) {
        spilled = spill.deliver(room);
        moreWaits = spill.pending() != 0;
      })) {
    return code;
  }
  *length = static_cast<uint32_t>(spilled);
  if (moreWaits) return call.fail(kKLine.code(kResponseBufferTooSmall));
  *state = 0;
  std::vector<uint8_t> answer;
  if (uint32_t code = subOnly(call, kReceive, answer)) return code;
  const kit::AnswerReader reader(answer);
  const uint8_t flags = reader.u8(kStateFlagsOffset);
  const uint32_t announced = reader.u32(kCountOffset);
  if (!reader.complete()) return shortAnswer(call, reader);
  // The count that the answer announces, cut to the bytes it carries.
  const std::span<const uint8_t> carried = reader.rest(kReceivedDataOffset);
  const std::span<const uint8_t> received = carried.first(std::min<size_t>(announced, carried.size()));
  const std::span<uint8_t> left = room.subspan(spilled);
  const size_t delivered = std::min(left.size(), received.size());
  std::copy_n(received.begin(), delivered, left.begin());
  *state = flags & 3u;
  *length = static_cast<uint32_t>(spilled + delivered);
  if (delivered == received.size()) return 0;
  if (uint32_t code = spillBuffers().withState(
          call.port(), [&](SpillBuffer& spill) { spill.keep(received.subspan(delivered)); })) {
    return code;
  }
  return call.fail(kKLine.code(kResponseBufferTooSmall));
}

}  // namespace
}  // namespace qor::kline

using qor::kit::Call;
using qor::kline::kKLine;

uint32_t Qor_KLine_Fifo_Reset(uint32_t port) try {
  return qor::kline::reset(Call(kKLine, port));
} catch (...) {
  return kKLine.failedCall(port);
}

uint32_t Qor_KLine_Fifo_Init(uint32_t port, uint32_t flags, const Qor_KLine_FifoConfig_t* config,
                             uint32_t* result) try {
  return qor::kline::init(Call(kKLine, port), flags, config, result);
} catch (...) {
  return kKLine.failedCall(port);
}

uint32_t Qor_KLine_Fifo_Tx_Write(uint32_t port, uint32_t n, const uint8_t* data) try {
  return qor::kline::transmit(Call(kKLine, port), n, data);
} catch (...) {
  return kKLine.failedCall(port);
}

uint32_t Qor_KLine_Fifo_Tx_GetState(uint32_t port, uint32_t* state, uint32_t* value1, uint32_t* value2) try {
  return qor::kline::transmitState(Call(kKLine, port), state, value1, value2);
} catch (...) {
  return kKLine.failedCall(port);
}

uint32_t Qor_KLine_Fifo_Rx_Read(uint32_t port, uint32_t* state, uint32_t* length, uint8_t* buffer) try {
  return qor::kline::receive(Call(kKLine, port), state, length, buffer);
} catch (...) {
  return kKLine.failedCall(port);
}

uint32_t Qor_KLine_Fifo_Rx_GetState(uint32_t port, uint32_t* state, uint32_t* value1, uint32_t* value2) try {
  return qor::kline::receiveState(Call(kKLine, port), state, value1, value2);
} catch (...) {
  return kKLine.failedCall(port);
}
