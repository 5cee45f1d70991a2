// The FlexRay transmit FIFOs from the library through the daemon to an emulated controller: configurations and
// writes byte-exact, writes cut by the parameter length, and refusals that send nothing.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "flexray_road.hpp"

namespace qor::test {
namespace {

constexpr uint8_t kTxFifo = 0x32;
constexpr uint32_t kFifo = 0x61;

using FlexRayTxFifoRoad = FlexRayRoad;

TEST_F(FlexRayTxFifoRoad, ConfigurationsAndDeleteGoOutByteExact) {
  const Qor_FlexRay_TxFifo_t fifo{1, 0xA1A2A3A4, 0xB1B2B3B4, 0x5C, {0, 0, 0}, 0xD1D2D3D4, 0};
  const Bytes tail = Record().u32(0xA1A2A3A4).u32(0xB1B2B3B4);
  device_->expect(kTxFifo, Record().u32(0).u8(1).zeros(3).bytes(tail).u8(0).u8(0x5C).u16(0).u32(0xD1D2D3D4).u32(0))
      .answer(Record().u32(0).u32(0x41));
  device_->expect(kTxFifo, Record().u32(0).u8(1).zeros(3).bytes(tail).u8(1).u8(0x5C).u16(0).u32(0xD1D2D3D4).u32(0))
      .answer(Record().u32(0).u32(0x42));
  device_->expect(kTxFifo, Record().u32(1).u32(1).u32(0x41)).answer(Record().u32(1));
  uint32_t fifoId = 0;
  EXPECT_EQ(Qor_FlexRay_TxFifo_Config_Pdu(port_, &fifo, &fifoId), 0u) << lastText();
  EXPECT_EQ(fifoId, 0x41u);
  EXPECT_EQ(Qor_FlexRay_TxFifo_Config_NPduPool(port_, &fifo, &fifoId), 0u) << lastText();
  EXPECT_EQ(fifoId, 0x42u);
  const Qor_FlexRay_TxFifoKey_t key{1, 0x41};
  EXPECT_EQ(Qor_FlexRay_TxFifo_Delete(port_, &key), 0u) << lastText();

  device_->expect(kTxFifo, Record().u32(0).u8(1).zeros(3).bytes(tail).u8(0).u8(0x5C).u16(0).u32(0xD1D2D3D4).u32(0))
      .answer(Record().u32(0).u16(0x43));
  fifoId = 0xEE;
  EXPECT_EQ(Qor_FlexRay_TxFifo_Config_Pdu(port_, &fifo, &fifoId), kInvalidResponseLength);
  EXPECT_EQ(fifoId, 0xEEu) << "written on success only";
}

std::vector<Qor_FlexRay_TxFifoEntry_t> entries(size_t count, uint8_t length) {
  std::vector<Qor_FlexRay_TxFifoEntry_t> list(count);
  for (size_t index = 0; index < count; ++index) {
    list[index].length = length;
    for (uint8_t offset = 0; offset < length; ++offset) list[index].data[offset] = static_cast<uint8_t>(index + offset);
  }
  return list;
}

Bytes writeOf(const std::vector<Qor_FlexRay_TxFifoEntry_t>& list, size_t first, size_t count) {
  Record record;
  record.u32(2).u32(kFifo);
  for (size_t index = first; index < first + count; ++index) {
    record.u8(list[index].length).u8(0).bytes(Bytes(list[index].data, list[index].data + list[index].length));
  }
  return record;
}

// 4084 - 8 bytes hold twenty entries of 2 + 200 bytes (4040), not twenty-one.
TEST_F(FlexRayTxFifoRoad, AWriteGoesInRecordsOfWholeEntries) {
  const std::vector<Qor_FlexRay_TxFifoEntry_t> list = entries(300, 200);
  for (size_t first = 0; first < 300; first += 20) {
    device_->expect(kTxFifo, writeOf(list, first, 20)).answer(Record().u32(2));
  }
  EXPECT_EQ(Qor_FlexRay_TxFifo_Write(port_, kFifo, 300, list.data()), 0u) << lastText();

  const std::vector<Qor_FlexRay_TxFifoEntry_t> odd = entries(3, 254);
  device_->expect(kTxFifo, writeOf(odd, 0, 3)).answer(Record().u32(2));
  EXPECT_EQ(Qor_FlexRay_TxFifo_Write(port_, kFifo, 3, odd.data()), 0u) << lastText();

  device_->expect(kTxFifo, Record().u32(2).u32(kFifo)).answer(Record().u32(2));
  EXPECT_EQ(Qor_FlexRay_TxFifo_Write(port_, kFifo, 0, nullptr), 0u) << lastText();
}

// A bad entry late in the call is found before the first record leaves, so a retry queues nothing twice; a length
// past the slot's 254 data bytes is refused instead of read beyond the slot.
TEST_F(FlexRayTxFifoRoad, WriteRefusalsSendNothing) {
  std::vector<Qor_FlexRay_TxFifoEntry_t> list = entries(300, 200);
  list[2].reserved = 1;
  EXPECT_EQ(Qor_FlexRay_TxFifo_Write(port_, kFifo, 300, list.data()), kInvalidParameter);
  EXPECT_TRUE(saysSo("reserved byte of entry with index 2 is not 0")) << lastText();

  list = entries(300, 200);
  list[299].length = 255;
  EXPECT_EQ(Qor_FlexRay_TxFifo_Write(port_, kFifo, 300, list.data()), kInvalidParameter);
  EXPECT_TRUE(saysSo("length 255 of entry with index 299 is above 254")) << lastText();

  EXPECT_EQ(Qor_FlexRay_TxFifo_Write(port_, kFifo, 1, nullptr), kInvalidParameter);
  EXPECT_EQ(Qor_FlexRay_TxFifo_Write(open(2), kFifo, 1, list.data()), kWrongInterface);
}

TEST_F(FlexRayTxFifoRoad, ConfigurationRefusalsSendNothing) {
  uint32_t fifoId = 0;
  const Refusal cases[] = {
      {"flags 2",
       [&](uint32_t p) {
         const Qor_FlexRay_TxFifo_t f{2, 0, 0, 0, {}, 0, 0};
         return Qor_FlexRay_TxFifo_Config_Pdu(p, &f, &fifoId);
       },
       kUnknownFlag, nullptr},
      {"reserved byte",
       [&](uint32_t p) {
         const Qor_FlexRay_TxFifo_t f{0, 0, 0, 0, {0, 1, 0}, 0, 0};
         return Qor_FlexRay_TxFifo_Config_NPduPool(p, &f, &fifoId);
       },
       kInvalidParameter, "reserved bytes have to be 0"},
      {"reserved word",
       [&](uint32_t p) {
         const Qor_FlexRay_TxFifo_t f{0, 0, 0, 0, {}, 0, 1};
         return Qor_FlexRay_TxFifo_Config_Pdu(p, &f, &fifoId);
       },
       kInvalidParameter, "reserved bytes have to be 0"},
      {"no identifier out",
       [](uint32_t p) {
         const Qor_FlexRay_TxFifo_t f{};
         return Qor_FlexRay_TxFifo_Config_Pdu(p, &f, nullptr);
       },
       kInvalidParameter, "'fifoId' is NULL"},
      {"delete flags 2",
       [](uint32_t p) {
         const Qor_FlexRay_TxFifoKey_t k{2, 0};
         return Qor_FlexRay_TxFifo_Delete(p, &k);
       },
       kUnknownFlag, nullptr},
  };
  expectRefusals(port_, cases);
}

}  // namespace
}  // namespace qor::test
