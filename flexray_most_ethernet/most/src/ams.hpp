// What the AMS functions share: the firmware command and its selectors, the records every selector begins with, the
// switch of the firmware's notifications, and the head of a response answer that the synchronous and asynchronous
// readers both decode.
#pragma once

#include <cstdint>

#include "most_library.hpp"
#include "qor_kit/answer_reader.hpp"
#include "qor_kit/record_writer.hpp"
#include "qor_most_ams.h"

namespace qor::most::ams {

inline constexpr uint8_t kCommand = 0x23;
inline constexpr uint8_t kControlBytes = 2;  // selector, channel

enum Selector : uint8_t {
  kAllocateChannel = 0,
  kFreeChannel = 1,
  kFirstSegment = 2,
  kNextSegment = 3,
  kState = 4,
  kResponse = 5,
  kResponsePiece = 6,
  kRxBufferConfig = 7,
  kRxBufferMessages = 8,
  kNotificationSwitch = 9,
};

enum class Notification : uint8_t { kResponses = 0, kRxBuffer = 1 };

// Flags of a response answer (selector 5).
inline constexpr uint8_t kHasMessage = 0x1, kWholeInAnswer = 0x2, kResponsePending = 0x4;
// Flag of a response piece (selector 6).
inline constexpr uint8_t kLastPiece = 0x1;

inline constexpr size_t kResponseHead = 28;  // the first chunk follows
inline constexpr size_t kPieceHead = 12;     // a continuation's piece follows

// {selector, channel, u16 0}: the four bytes every record begins with.
kit::RecordWriter record(Selector selector, uint8_t channel, uint32_t capacity = 4);

// Selector 9: the firmware's notifications of responses or of its receive buffer on the channel, on or off.
uint32_t switchNotifications(const kit::Call& call, uint8_t channel, Notification which, bool on);

// The fields of a response answer (at least kResponseHead bytes) other than state, status and data.
void decodeResponseHead(const kit::AnswerReader& answer, Qor_Most_Ams_Response_t& response);

}  // namespace qor::most::ams
