// The MOST monitor's settings that the library passes through: the streaming-data selection, the input and the data
// hold time.
#include <algorithm>
#include <cstring>
#include <vector>

#include "most_library.hpp"
#include "monitor_records.hpp"
#include "qor_most_monitor.h"

namespace qor::most {
namespace {

constexpr size_t kStreamingHeadBytes = 12;
constexpr size_t kInputAnswerBytes = 5;
constexpr size_t kHoldTimeAnswerBytes = 6;

uint32_t setStreamingData(const kit::Call& call, uint32_t flags, uint8_t count, const uint8_t* bytes) {
  if (uint32_t code = checkMostInterface(call)) return code;
  if (uint32_t code = call.checkFlags(flags, QOR_MOST_MONITOR_STREAMING_FLAGS)) return code;
  if (count > 0) {
    if (uint32_t code = call.checkPointer(bytes, "bytes")) return code;
  }
  kit::RecordWriter record(kStreamingHeadBytes + count);
  record.u8(kStreamingData).zeros(3).u8(static_cast<uint8_t>(flags)).zeros(3).u8(count).zeros(3).bytes(bytes, count);
  return sendMonitorSetting(call, record);
}

uint32_t getStreamingData(const kit::Call& call, uint32_t* flags, uint8_t* count, uint8_t* bytes) {
  if (uint32_t code = checkMostInterface(call)) return code;
  if (uint32_t code = call.checkPointer(flags, "flags")) return code;
  if (uint32_t code = call.checkPointer(count, "count")) return code;
  if (*count > 0) {
    if (uint32_t code = call.checkPointer(bytes, "bytes")) return code;
  }
  std::vector<uint8_t> received;
  if (uint32_t code = readMonitorSetting(call, kReadStreamingData, received)) return code;
  const kit::AnswerReader answer(received);
  if (!answer.has(kStreamingHeadBytes)) return shortAnswer(call, answer.size());
  const auto selected = static_cast<uint8_t>(answer.itemsThatFit(answer.u8(8), kStreamingHeadBytes, 1));
  if (selected > *count) {
    return call.fail(kit::GeneralError::ResponseBufferUndersized,
                     "'%u' bytes are nedded for configured streaming data bytes", selected);
  }
  *flags = answer.u8(4) & QOR_MOST_MONITOR_STREAMING_FLAGS;
  std::ranges::copy(answer.bytes(kStreamingHeadBytes, selected), bytes);
  *count = selected;
  return 0;
}

uint32_t setInput(const kit::Call& call, uint32_t input) {
  if (uint32_t code = checkMostInterface(call)) return code;
  if (input > QOR_MOST_MONITOR_INPUT_MAX) return call.fail(kit::GeneralError::InvalidParameter, "unknown input");
  kit::RecordWriter record(8);
  record.u8(kInputSelection).zeros(3).u8(static_cast<uint8_t>(input)).zeros(3);
  return sendMonitorSetting(call, record);
}

uint32_t getInput(const kit::Call& call, uint32_t* input) {
  if (uint32_t code = checkMostInterface(call)) return code;
  if (uint32_t code = call.checkPointer(input, "input")) return code;
  std::vector<uint8_t> received;
  if (uint32_t code = readMonitorSetting(call, kReadInputSelection, received)) return code;
  const kit::AnswerReader answer(received);
  if (!answer.has(kInputAnswerBytes)) return shortAnswer(call, answer.size());
  const uint8_t value = answer.u8(4);
  if (value > QOR_MOST_MONITOR_INPUT_MAX) {
    return call.fail(kit::GeneralError::InvalidResponseParameter, "input '%u' is unknown", value);
  }
  *input = value;
  return 0;
}

uint32_t setHoldTime(const kit::Call& call, uint16_t time) {
  if (uint32_t code = checkMostInterface(call)) return code;
  kit::RecordWriter record(8);
  record.u8(kDataHoldTime).zeros(3).u16(time).u16(0);
  return sendMonitorSetting(call, record);
}

uint32_t getHoldTime(const kit::Call& call, uint16_t* time) {
  if (uint32_t code = checkMostInterface(call)) return code;
  if (uint32_t code = call.checkPointer(time, "time")) return code;
  std::vector<uint8_t> received;
  if (uint32_t code = readMonitorSetting(call, kReadDataHoldTime, received)) return code;
  const kit::AnswerReader answer(received);
  if (!answer.has(kHoldTimeAnswerBytes)) return shortAnswer(call, answer.size());
  *time = answer.u16(4);
  return 0;
}

}  // namespace
}  // namespace qor::most

using qor::kit::Call;
using qor::most::kMost;

uint32_t Qor_Most_Monitor_StreamingDataConfig_Set(uint32_t port, uint32_t flags, uint8_t count,
                                                  const uint8_t* bytes) try {
  return qor::most::setStreamingData(Call(kMost, port), flags, count, bytes);
} catch (...) {
  return kMost.failedCall(port);
}

uint32_t Qor_Most_Monitor_StreamingDataConfig_Get(uint32_t port, uint32_t* flags, uint8_t* count, uint8_t* bytes) try {
  return qor::most::getStreamingData(Call(kMost, port), flags, count, bytes);
} catch (...) {
  return kMost.failedCall(port);
}

uint32_t Qor_Most_Monitor_InputSelection_Set(uint32_t port, uint32_t input) try {
  return qor::most::setInput(Call(kMost, port), input);
} catch (...) {
  return kMost.failedCall(port);
}

uint32_t Qor_Most_Monitor_InputSelection_Get(uint32_t port, uint32_t* input) try {
  return qor::most::getInput(Call(kMost, port), input);
} catch (...) {
  return kMost.failedCall(port);
}

uint32_t Qor_Most_Monitor_DataHoldTime_Set(uint32_t port, uint16_t time) try {
  return qor::most::setHoldTime(Call(kMost, port), time);
} catch (...) {
  return kMost.failedCall(port);
}

uint32_t Qor_Most_Monitor_DataHoldTime_Get(uint32_t port, uint16_t* time) try {
  return qor::most::getHoldTime(Call(kMost, port), time);
} catch (...) {
  return kMost.failedCall(port);
}
