// The DAQ functions of a channel: signals and time-outs, start, stop, reset, state, and the reads that decode DTOs.
#include <algorithm>
#include <cstring>
#include <memory>
#include <type_traits>

#include "common_library.hpp"
#include "qor_common_xcp.h"
#include "qor_common_xcp_daq.h"
#include "xcp_daq_record.hpp"
#include "xcp_daq_start.hpp"

namespace qor::common::xcp {
namespace {

constexpr uint32_t kMaxFrames = 255;
constexpr uint32_t kReadBufferBytes = 65535;
constexpr uint32_t kStateDaqFlag = 0x4;
constexpr const char* kRunningText =
    "a daq is currently in progress, you need to stop the running daq for initializing a daq list";

uint32_t setTimeouts(const kit::Call& call, uint8_t channel, const Qor_Common_Xcp_Daq_Timeouts_t* timeouts) {
  if (uint32_t code = call.checkPointer(timeouts, "timeouts")) return code;
  if (timeouts->flags != 0) return call.fail(kit::GeneralError::UnknownFlag);
  uint32_t code = 0;
  auto record = findDaqRecord(call, channel, true, code);
  if (!record) return code;
  const std::lock_guard lock(record->mutex);
  std::copy(std::begin(timeouts->t), std::end(timeouts->t), record->timeoutsMs.begin());
  record->firmwareTimeoutUs = static_cast<uint32_t>(std::min<uint64_t>(uint64_t{timeouts->t[0]} * 1000, UINT32_MAX));
  return 0;
}

uint32_t setSignals(const kit::Call& call, uint8_t channel, uint32_t flags, uint32_t count,
                    const Qor_Common_Xcp_Daq_Signal_t* signals) {
  if (flags != 0) return call.fail(kit::GeneralError::UnknownFlag);
  if (count != 0) {
    if (uint32_t code = call.checkPointer(signals, "signals")) return code;
  }
  uint32_t code = 0;
  auto record = findDaqRecord(call, channel, true, code);
  if (!record) return code;
  const std::lock_guard lock(record->mutex);
  if (record->running) return call.fail(kCommon.code(kDataAcquisitionRunning), "%s", kRunningText);
  for (uint32_t index = 0; index < count; ++index) {
    const Qor_Common_Xcp_Daq_Signal_t& signal = signals[index];
    if (signal.flags != 0) {
      return call.fail(kit::GeneralError::UnknownFlag, "unknown flag in signal with index %u", index);
    }
    if (signal.reserved7 != 0 || signal.reserved10 != 0) {
      return call.fail(kit::GeneralError::InvalidParameter, "reserved bytes of signal with index %u are not zero",
                       index);
    }
    if (signal.type > QOR_COMMON_XCP_DAQ_MAX_SIGNAL_TYPE) {
      return call.fail(kit::GeneralError::InvalidParameter, "signal type of signal with index %u is unknown", index);
    }
  }
  record->signals.assign(signals, signals + count);
  return 0;
}

uint32_t start2(const kit::Call& call, uint8_t channel, const Qor_Common_Xcp_Daq_StartRequest_t* request,
                Qor_Common_Xcp_Daq_StartResult_t* result) {
  if (uint32_t code = call.checkPointer(request, "request")) return code;
  if (uint32_t code = call.checkPointer(result, "result")) return code;
  std::memset(result, 0, 8);
  constexpr uint32_t kKnown = QOR_COMMON_XCP_DAQ_TIME_STAMPS | QOR_COMMON_XCP_DAQ_KEY_GIVEN;
  if (uint32_t code = call.checkFlags(request->flags, kKnown)) return code;
  if (uint32_t code = call.checkReserved(request->reserved5, "reserved bytes have to be zero")) return code;
  if ((request->flags & QOR_COMMON_XCP_DAQ_KEY_GIVEN) != 0 && request->keyLength == 0) {
    return call.fail(kit::GeneralError::InvalidParameter, "a key of 0 bytes was given");
  }
  uint32_t code = 0;
  auto record = findDaqRecord(call, channel, false, code);
  if (code != 0) return code;
  if (!record) return call.fail(kCommon.code(kDaqNotInitialized));
  const std::lock_guard lock(record->mutex);
  if (record->signals.empty()) return call.fail(kCommon.code(kDaqNotInitialized));
  if (record->running) return call.fail(kCommon.code(kDataAcquisitionRunning), "%s", kRunningText);
  return startDaq(call, channel, *record, *request, *result);
}

uint32_t start(const kit::Call& call, uint8_t channel, uint32_t flags) {
  if (uint32_t code = call.checkFlags(flags, QOR_COMMON_XCP_DAQ_TIME_STAMPS)) return code;
  Qor_Common_Xcp_Daq_StartRequest_t request{};
  request.flags = flags;
  auto result = std::make_unique<Qor_Common_Xcp_Daq_StartResult_t>();
  return start2(call, channel, &request, result.get());
}

uint32_t stop(const kit::Call& call, uint8_t channel, uint32_t flags) {
  if (flags != 0) return call.fail(kit::GeneralError::UnknownFlag);
  uint32_t code = 0;
  auto record = findDaqRecord(call, channel, false, code);
  if (!record) return code;
  const std::lock_guard lock(record->mutex);
  if (!record->running) return 0;
  code = synchronise(call, channel, *record, false);
  record->running = false;
  return code;
}

uint32_t reset(const kit::Call& call, uint8_t channel, uint32_t flags) {
  if (flags != 0) return call.fail(kit::GeneralError::UnknownFlag);
  uint32_t code = 0;
  auto record = findDaqRecord(call, channel, false, code);
  if (!record) return code;
  const std::lock_guard lock(record->mutex);
  if (record->running) code = synchronise(call, channel, *record, false);
  record->signals.clear();
  dropLayout(call, channel, *record);
  return code;
}

uint32_t getState(const kit::Call& call, uint8_t channel, Qor_Common_Xcp_Daq_State_t* state) {
  if (uint32_t code = call.checkPointer(state, "state")) return code;
  uint32_t code = 0;
  auto record = findDaqRecord(call, channel, false, code);
  if (code != 0) return code;
  *state = Qor_Common_Xcp_Daq_State_t{};
  if (record) {
    const std::lock_guard lock(record->mutex);
    state->state = record->running ? 1 : 0;
  }
  return 0;
}

// What the two reads differ in: the frame records and where a value keeps its time stamp.
template <class Value>
struct ReadKind;
template <>
struct ReadKind<Qor_Common_Xcp_Daq_SignalValue_t> {
  using Frame = Qor_Common_Xcp_FrameInfo_t;
  static constexpr auto read = &Qor_Common_Xcp_ReadDtoRxFifo2;
  static void stamp(Qor_Common_Xcp_Daq_SignalValue_t&, const Frame&) {}
};
template <>
struct ReadKind<Qor_Common_Xcp_Daq_SignalValueTs_t> {
  using Frame = Qor_Common_Xcp_FrameInfoTs_t;
  static constexpr auto read = &Qor_Common_Xcp_ReadDtoRxFifo2Ts;
  static void stamp(Qor_Common_Xcp_Daq_SignalValueTs_t& value, const Frame& frame) {
    value.timeStamp = frame.timeStamp;
  }
};

template <class Value>
uint32_t readSignals(const kit::Call& call, uint8_t channel, uint32_t flags, uint32_t* status, uint32_t* count,
                     Value* values) {
  using Kind = ReadKind<Value>;
  if (uint32_t code = call.checkPointer(status, "status")) return code;
  if (uint32_t code = call.checkPointer(count, "count")) return code;
  if (*count != 0) {
    if (uint32_t code = call.checkPointer(values, "values")) return code;
  }
  *status = 0;
  const uint32_t capacity = *count;
  *count = 0;
  if (flags != 0) return call.fail(kit::GeneralError::UnknownFlag);
  uint32_t code = 0;
  auto record = findDaqRecord(call, channel, false, code);
  if (code != 0) return code;
  if (!record) return call.fail(kCommon.code(kDaqNotInitialized));
  const std::lock_guard lock(record->mutex);

  std::vector<uint8_t> buffer(kReadBufferBytes);
  std::vector<typename Kind::Frame> frames(kMaxFrames);
  uint32_t frameCount = kMaxFrames;
  if ((code = Kind::read(call.port(), channel, 0, kReadBufferBytes, buffer.data(), &frameCount, frames.data()))) {
    return code;
  }
  Qor_Common_Xcp_State_t state{};
  if ((code = Qor_Common_Xcp_GetState(call.port(), channel, &state))) return code;
  if ((state.flags & kStateDaqFlag) != 0) *status |= QOR_COMMON_XCP_DAQ_STATUS_STATE_FLAG;

  const size_t identifierBytes = record->limits.identifierBytes();
  for (uint32_t index = 0; index < std::min(frameCount, kMaxFrames); ++index) {
    const typename Kind::Frame& frame = frames[index];
    if ((frame.flag & 1) != 0) *status |= QOR_COMMON_XCP_DAQ_STATUS_FRAME_FLAG;
    if (frame.offset > buffer.size() || frame.length > buffer.size() - frame.offset) continue;
    const std::span<const uint8_t> packet(buffer.data() + frame.offset, frame.length);
    if (packet.empty() || packet[0] > kLastDaqPid || packet.size() < identifierBytes) continue;
    const auto found = record->lookup.find(identifierKey(packet.first(identifierBytes)));
    if (found == record->lookup.end()) continue;
    const DaqOdt& odt = record->lists[found->second.list].odts[found->second.odt];
    const std::span<const uint8_t> data = packet.subspan(identifierBytes);
    if (data.size() < odt.bytesUsed) {
      *status |= QOR_COMMON_XCP_DAQ_STATUS_SHORT_DTO;
      continue;
    }
    bool full = false;
    decodeOdt(odt, record->slave, data, [&](const DaqEntry& entry, uint32_t decoded) {
      if (*count == capacity) {
        full = true;
        return false;
      }
      Value& value = values[(*count)++];
      value = Value{};
      value.userValue = entry.userValue;
      value.address = entry.address;
      value.type = entry.type;
      value.value = decoded;
      Kind::stamp(value, frame);
      return true;
    });
    if (full) return call.fail(kit::GeneralError::ResponseBufferUndersized);
  }
  return 0;
}

}  // namespace
}  // namespace qor::common::xcp

using qor::common::kCommon;
namespace xcp = qor::common::xcp;

uint32_t Qor_Common_Xcp_Daq_Reset(uint32_t port, uint8_t channel, uint32_t flags) try {
  return xcp::reset(qor::kit::Call(kCommon, port), channel, flags);
} catch (...) {
  return kCommon.failedCall(port);
}

uint32_t Qor_Common_Xcp_Daq_SetTimeouts(uint32_t port, uint8_t channel,
                                        const Qor_Common_Xcp_Daq_Timeouts_t* timeouts) try {
  return xcp::setTimeouts(qor::kit::Call(kCommon, port), channel, timeouts);
} catch (...) {
  return kCommon.failedCall(port);
}

uint32_t Qor_Common_Xcp_Daq_SetSignals(uint32_t port, uint8_t channel, uint32_t flags, uint32_t count,
                                       const Qor_Common_Xcp_Daq_Signal_t* signals) try {
  return xcp::setSignals(qor::kit::Call(kCommon, port), channel, flags, count, signals);
} catch (...) {
  return kCommon.failedCall(port);
}

uint32_t Qor_Common_Xcp_Daq_Start(uint32_t port, uint8_t channel, uint32_t flags) try {
  return xcp::start(qor::kit::Call(kCommon, port), channel, flags);
} catch (...) {
  return kCommon.failedCall(port);
}

uint32_t Qor_Common_Xcp_Daq_Start2(uint32_t port, uint8_t channel, const Qor_Common_Xcp_Daq_StartRequest_t* request,
                                   Qor_Common_Xcp_Daq_StartResult_t* result) try {
  return xcp::start2(qor::kit::Call(kCommon, port), channel, request, result);
} catch (...) {
  return kCommon.failedCall(port);
}

uint32_t Qor_Common_Xcp_Daq_Stop(uint32_t port, uint8_t channel, uint32_t flags) try {
  return xcp::stop(qor::kit::Call(kCommon, port), channel, flags);
} catch (...) {
  return kCommon.failedCall(port);
}

uint32_t Qor_Common_Xcp_Daq_GetState(uint32_t port, uint8_t channel, Qor_Common_Xcp_Daq_State_t* state) try {
  return xcp::getState(qor::kit::Call(kCommon, port), channel, state);
} catch (...) {
  return kCommon.failedCall(port);
}

uint32_t Qor_Common_Xcp_Daq_ReadRxSignals(uint32_t port, uint8_t channel, uint32_t flags, uint32_t* status,
                                          uint32_t* count, Qor_Common_Xcp_Daq_SignalValue_t* values) try {
  return xcp::readSignals(qor::kit::Call(kCommon, port), channel, flags, status, count, values);
} catch (...) {
  return kCommon.failedCall(port);
}

uint32_t Qor_Common_Xcp_Daq_ReadRxSignalsTs(uint32_t port, uint8_t channel, uint32_t flags, uint32_t* status,
                                            uint32_t* count, Qor_Common_Xcp_Daq_SignalValueTs_t* values) try {
  return xcp::readSignals(qor::kit::Call(kCommon, port), channel, flags, status, count, values);
} catch (...) {
  return kCommon.failedCall(port);
}
