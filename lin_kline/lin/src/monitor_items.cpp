#include "monitor_items.hpp"

#include <algorithm>
#include <cstring>
#include <limits>

#include "lin_library.hpp"
#include "qor_kit/answer_reader.hpp"
#include "qor_lin_monitor.h"

namespace qor::lin {
namespace {

constexpr uint32_t kMaxDataLength = 8;

// Firmware buffer items.
enum FirmwareOffset : size_t {
  kFwFrameId = 0,
  kFwLength = 1,
  kFwState = 2,
  kFwData = 3,
  kFwTimeStamp = 12,
  kFwTime1 = 16,
  kFwTime2 = 20,
  kFwByteTimes = 32,
};
// Application buffer items.
enum ApplicationOffset : size_t {
  kAppFrameId = 0,
  kAppLength = 4,
  kAppState = 5,
  kAppZero = 6,
  kAppData = 7,
  kAppTimeStamp = 16,
  kAppTime1 = 24,
  kAppTime2 = 28,
  kAppByteTimes = 40,
};
// Firmware list answers.
enum ListAnswerOffset : size_t {
  kAnsFrameId = 0,
  kAnsPresent = 4,
  kAnsValue8 = 8,
  kAnsLength = 9,
  kAnsValue10 = 10,
  kAnsData = 11,
  kAnsTimeStamp = 20,
  kAnsTime1 = 24,
  kAnsTime2 = 28,
  kAnsByteTimes = 40,
};
// Application list items.
enum ListItemOffset : size_t {
  kListPresent = 0,
  kListValue8 = 4,
  kListFrameId = 8,
  kListValue10 = 9,
  kListLength = 10,
  kListData = 11,
  kListTimeStamp = 20,
  kListTime1 = 28,
  kListTime2 = 32,
  kListByteTimes = 44,
};

constexpr size_t kOtherTimes = 3;  // time2 to time4
constexpr size_t kByteTimeArrayBytes = QOR_LIN_MONITOR_BYTE_TIMES * sizeof(uint32_t);

constexpr ItemFormat kSmall{1, 20, sizeof(Qor_Lin_Monitor_SmallItem_t), 0};
constexpr ItemFormat kNormal{0, 68, sizeof(Qor_Lin_Monitor_NormalItem_t), 1};
constexpr ItemFormat kAdvanced{2, 140, sizeof(Qor_Lin_Monitor_AdvancedItem_t), 3};
constexpr ListFormat kListSmall{0xF4, 28, sizeof(Qor_Lin_Monitor_ListSmallItem_t), false};
constexpr ListFormat kListNormal{0xF3, 76, sizeof(Qor_Lin_Monitor_ListNormalItem_t), true};

template <class T>
void put(uint8_t* at, T value) {
  std::memcpy(at, &value, sizeof value);
}

template <class T>
T take(const uint8_t* at) {
  T value;
  std::memcpy(&value, at, sizeof value);
  return value;
}

// count times of 25-ns ticks from `from` to `to`, in ns.
void copyTimes(const uint8_t* from, uint8_t* to, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    put(to + i * sizeof(uint32_t), firmwareTimeNs(take<uint32_t>(from + i * sizeof(uint32_t))));
  }
}

}  // namespace

const ItemFormat& itemFormat(ItemKind kind) {
  switch (kind) {
    case ItemKind::Small:
      return kSmall;
    case ItemKind::Normal:
      return kNormal;
    default:
      return kAdvanced;
  }
}

const ListFormat& listFormat(ListKind kind) { return kind == ListKind::Small ? kListSmall : kListNormal; }

uint32_t firmwareTimeNs(uint32_t ticks) {
  return static_cast<uint32_t>(std::min<uint64_t>(nanosecondsOf(ticks), std::numeric_limits<uint32_t>::max()));
}

void convertBufferItem(const ItemFormat& format, const uint8_t* firmware, uint8_t* application) {
  const uint8_t length = std::min<uint8_t>(firmware[kFwLength], kMaxDataLength);
  put<uint32_t>(application + kAppFrameId, firmware[kFwFrameId]);
  application[kAppLength] = length;
  application[kAppState] = firmware[kFwState];
  application[kAppZero] = 0;
  std::memcpy(application + kAppData, firmware + kFwData, length);
  put(application + kAppTimeStamp, timeStampNs(take<uint32_t>(firmware + kFwTimeStamp)));
  put(application + kAppTime1, firmwareTimeNs(take<uint32_t>(firmware + kFwTime1)));
  if (format.byteTimeArrays == 0) return;
  copyTimes(firmware + kFwTime2, application + kAppTime2, kOtherTimes);
  for (size_t array = 0; array < format.byteTimeArrays; ++array) {
    copyTimes(firmware + kFwByteTimes + array * kByteTimeArrayBytes,
              application + kAppByteTimes + array * kByteTimeArrayBytes, length);
  }
}

void markOverflow(const ItemFormat& format, uint8_t* items, uint32_t count) {
  if (count == 0) return;
  uint8_t* last = items + size_t{count - 1} * format.applicationSize + kAppFrameId;
  put(last, take<uint32_t>(last) | QOR_LIN_MONITOR_OVERFLOW_MARK);
}

void convertListAnswer(const ListFormat& format, std::span<const uint8_t> answer, uint8_t* item) {
  const kit::AnswerReader reader(answer.first(std::min<size_t>(answer.size(), format.answerSize)));
  std::memset(item, 0, format.itemSize);
  const uint32_t present = reader.u32(kAnsPresent);
  put(item + kListPresent, present);
  put<uint32_t>(item + kListValue8, reader.u8(kAnsValue8));
  item[kListFrameId] = reader.u8(kAnsFrameId);
  if (present == 0) return;
  const uint8_t length = std::min<uint8_t>(reader.u8(kAnsLength), kMaxDataLength);
  item[kListValue10] = reader.u8(kAnsValue10);
  item[kListLength] = length;
  const std::span<const uint8_t> data = reader.bytes(kAnsData, length);
  std::copy(data.begin(), data.end(), item + kListData);
  put(item + kListTimeStamp, timeStampNs(reader.u32(kAnsTimeStamp)));
  put(item + kListTime1, firmwareTimeNs(reader.u32(kAnsTime1)));
  if (!format.withTimes) return;
  for (size_t i = 0; i < kOtherTimes; ++i) {
    put(item + kListTime2 + i * sizeof(uint32_t), firmwareTimeNs(reader.u32(kAnsTime2 + i * sizeof(uint32_t))));
  }
  for (size_t i = 0; i < length; ++i) {
    put(item + kListByteTimes + i * sizeof(uint32_t),
        firmwareTimeNs(reader.u32(kAnsByteTimes + i * sizeof(uint32_t))));
  }
}

ItemStream::ItemStream(const ItemFormat& format, uint32_t capacity)
    : format_(format), capacity_(std::max<uint32_t>(capacity, 1)), converted_(size_t{capacity_} * format.applicationSize) {
  carry_.reserve(format.firmwareSize);
}

}  // namespace qor::lin
