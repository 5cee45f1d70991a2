// The transmit trace's download records byte for byte, and the state the caller gets.
#include <gtest/gtest.h>

#include <vector>

#include "tx_trace_records.hpp"

namespace qor::can {
namespace {

using Bytes = std::vector<uint8_t>;

Qor_Can_TxTrace_Item_t item(uint8_t dlc) {
  Qor_Can_TxTrace_Item_t item{};
  item.firstValue = 0x01020304;
  item.identifier = 0x123;
  item.dlc = dlc;
  item.option1 = 0x0A;
  item.option2 = 0x0B;
  item.option3 = 0x0C;
  for (uint8_t index = 0; index < 64; ++index) item.data[index] = static_cast<uint8_t>(0x40 + index);
  return item;
}

Bytes recordOf(const Qor_Can_TxTrace_Item_t& item) {
  kit::RecordWriter record(kLongestTraceRecordBytes);
  appendTraceRecord(record, item);
  EXPECT_FALSE(record.overflowed());
  EXPECT_EQ(record.size(), traceRecordBytes(item.dlc));
  return Bytes(record.view().begin(), record.view().end());
}

TEST(TxTraceRecords, UpToEightDataBytesMakeTwentyBytesWithTheSecondAndThirdOptionSwapped) {
  EXPECT_EQ(recordOf(item(3)), (Bytes{0x04, 0x03, 0x02, 0x01, 0x23, 0x01, 0, 0, 3, 0x0A, 0x0C, 0x0B,
                                      0x40, 0x41, 0x42, 0, 0, 0, 0, 0}));
  EXPECT_EQ(recordOf(item(0)).size(), 20u);
  EXPECT_EQ(recordOf(item(8)).size(), 20u);
}

TEST(TxTraceRecords, LongerDataSetBitThirtyAndTakeTheirOwnLength) {
  const Bytes record = recordOf(item(9));
  ASSERT_EQ(record.size(), 24u);
  EXPECT_EQ(Bytes(record.begin() + 4, record.begin() + 8), (Bytes{0x23, 0x01, 0, 0x40}));
  EXPECT_EQ(record[8], 9);
  EXPECT_EQ(record[23], 0x4B) << "the twelfth data byte last";
  const struct {
    uint8_t dlc;
    size_t bytes;
  } sizes[] = {{10, 28}, {11, 32}, {12, 36}, {13, 44}, {14, 60}, {15, 76}};
  for (const auto& s : sizes) EXPECT_EQ(recordOf(item(s.dlc)).size(), s.bytes) << int{s.dlc};
}

TEST(TxTraceState, BitsZeroAndOneCountAndBitTwoAddsFour) {
  const struct {
    uint32_t bits;
    uint32_t state;
  } cases[] = {{0, 0}, {1, 1}, {2, 2}, {3, 3}, {4, 4}, {7, 7}, {0x8, 0}, {0xFFFFFFF9, 1}};
  for (const auto& c : cases) EXPECT_EQ(traceStateOfBits(c.bits), c.state) << c.bits;
}

}  // namespace
}  // namespace qor::can
