// Frame triggers, L-PDUs, PDUs, their search and the N-PDU pools, from the library through the daemon to an emulated
// FlexRay controller: every record byte-exact, refusals that send nothing and answers read only when whole.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>

#include "flexray_road.hpp"

namespace qor::test {
namespace {

constexpr uint8_t kTxPool = 0x30, kRxPool = 0x31;

using PduRoad = FlexRayRoad;

TEST_F(PduRoad, LayoutRecordsGoOutByteExact) {
  struct Case {
    const char* name;
    std::function<uint32_t(uint32_t)> call;
    Bytes record;
  };
  const Case cases[] = {
      {"frame trigger, flag 4 as firmware bit 5",
       [](uint32_t p) {
         const Qor_FlexRay_FrameTrigger_t t{0x13, 0xA1A2A3A4, 0x0123, 4, 5, 2, 0x66, 0};
         return Qor_FlexRay_FrameTrigger_Config(p, &t);
       },
       Record().u32(37).u8(0x23).zeros(3).u32(0xA1A2A3A4).u16(0x0123).u8(4).u8(5).u8(2).u8(0x66).u16(0)},
      {"frame trigger, flags 0 to 3 unchanged",
       [](uint32_t p) {
         const Qor_FlexRay_FrameTrigger_t t{0x0F, 1, 2, 3, 4, 3, 5, 0};
         return Qor_FlexRay_FrameTrigger_Config(p, &t);
       },
       Record().u32(37).u8(0x0F).zeros(3).u32(1).u16(2).u8(3).u8(4).u8(3).u8(5).u16(0)},
      {"frame trigger delete",
       [](uint32_t p) {
         const Qor_FlexRay_FrameTriggerKey_t k{0, 0x0123, 7, 1};
         return Qor_FlexRay_FrameTrigger_Delete(p, &k);
       },
       Record().u32(38).zeros(4).u16(0x0123).u8(7).u8(1)},
      {"L-PDU",
       [](uint32_t p) {
         const Qor_FlexRay_LPdu_t l{3, 0xB1B2B3B4, {7, 8, 9}, 0};
         return Qor_FlexRay_LPdu_Config(p, &l);
       },
       Record().u32(33).u8(3).zeros(3).u32(0xB1B2B3B4).u8(7).u8(8).u8(9).u8(0)},
      {"L-PDU delete",
       [](uint32_t p) {
         const Qor_FlexRay_IdentifierKey_t k{0, 0xB1B2B3B4};
         return Qor_FlexRay_LPdu_Delete(p, &k);
       },
       Record().u32(34).zeros(4).u32(0xB1B2B3B4)},
      {"PDU",
       [](uint32_t p) {
         const Qor_FlexRay_Pdu_t d{0, 0xC1C2C3C4, 0x55, {0, 0, 0}};
         return Qor_FlexRay_Pdu_Config(p, &d);
       },
       Record().u32(31).zeros(4).u32(0xC1C2C3C4).u8(0x55).zeros(3)},
      {"PDU delete",
       [](uint32_t p) {
         const Qor_FlexRay_IdentifierKey_t k{0, 0xC1C2C3C4};
         return Qor_FlexRay_Pdu_Delete(p, &k);
       },
       Record().u32(32).zeros(4).u32(0xC1C2C3C4)},
      {"PDU in L-PDU",
       [](uint32_t p) {
         const Qor_FlexRay_PduInLPdu_t place{1, 0xB1B2B3B4, 0xC1C2C3C4, 0x0A0B, 0x0C, 0};
         return Qor_FlexRay_PduInLPdu_Config(p, &place);
       },
       Record().u32(35).u8(1).zeros(3).u32(0xB1B2B3B4).u32(0xC1C2C3C4).u16(0x0A0B).u8(0x0C).u8(0)},
      {"PDU in L-PDU delete: its last four bytes zero",
       [](uint32_t p) {
         const Qor_FlexRay_PduInLPduKey_t k{0, 0xB1B2B3B4, 0xC1C2C3C4};
         return Qor_FlexRay_PduInLPdu_Delete(p, &k);
       },
       Record().u32(36).zeros(4).u32(0xB1B2B3B4).u32(0xC1C2C3C4).zeros(4)},
  };
  for (const Case& c : cases) {
    device_->expect(kController, c.record).answer(Bytes(c.record.begin(), c.record.begin() + 4));
    EXPECT_EQ(c.call(port_), 0u) << c.name << ": " << lastText();
  }
}

Bytes searchRecord() { return Record().u32(41).zeros(4).u16(0x0123).u8(2).u8(4).u8(5).zeros(3); }

// An answer of 45 bytes with this channel code.
Bytes searchAnswer(uint8_t channel) {
  return Record().u32(41).u32(0xFFFFFFFF).u16(0x0123).u8(4).u8(5).u8(channel).u8(0x66).u16(0xEEEE)
      .u32(0xFFFFFFFE).u32(0xB1B2B3B4).u8(7).u8(8).u8(9).u8(0xEE)
      .u32(0xFFFFFFFF).u16(0x0A0B).u8(0x0C).u8(0xEE)
      .u32(0xFFFFFFFE).u32(0xC1C2C3C4).u8(0x55);
}

TEST_F(PduRoad, ASearchFillsTheResultOnlyFromAWholeAnswer) {
  const Qor_FlexRay_PduSearchKey_t key{0, 0x0123, 2, 4, 5, {0, 0, 0}};
  device_->expect(kController, searchRecord()).answer(searchAnswer(3));
  Qor_FlexRay_PduSearchResult_t result;
  memset(&result, 0xEE, sizeof result);
  ASSERT_EQ(Qor_FlexRay_Pdu_Search(port_, &key, &result), 0u) << lastText();
  EXPECT_EQ(result.frameTriggerFlags, 0x1Fu);
  EXPECT_EQ(result.slotIdentifier, 0x0123);
  EXPECT_EQ(result.selector1, 4);
  EXPECT_EQ(result.selector2, 5);
  EXPECT_EQ(result.channel, 3);
  EXPECT_EQ(result.frameTriggerValue, 0x66);
  EXPECT_EQ(result.reserved1, 0);
  EXPECT_EQ(result.lPduFlags, 2u);
  EXPECT_EQ(result.lPduIdentifier, 0xB1B2B3B4u);
  EXPECT_EQ(result.lPduValues[2], 9);
  EXPECT_EQ(result.reserved2, 0);
  EXPECT_EQ(result.pduInLPduFlag, 1u);
  EXPECT_EQ(result.pduInLPduValue16, 0x0A0B);
  EXPECT_EQ(result.pduInLPduValue8, 0x0C);
  EXPECT_EQ(result.reserved3, 0);
  EXPECT_EQ(result.pduFlag, 0u);
  EXPECT_EQ(result.pduIdentifier, 0xC1C2C3C4u);
  EXPECT_EQ(result.pduValue, 0x55);
  EXPECT_EQ(result.reserved4[2], 0);

  const Bytes whole = searchAnswer(1);
  device_->expect(kController, searchRecord()).answer(Bytes(whole.begin(), whole.end() - 1));
  device_->expect(kController, searchRecord()).answer(searchAnswer(4));
  memset(&result, 0xEE, sizeof result);
  EXPECT_EQ(Qor_FlexRay_Pdu_Search(port_, &key, &result), kInvalidResponseLength);
  EXPECT_TRUE(saysSo("response of 44 bytes is too short")) << lastText();
  EXPECT_EQ(Qor_FlexRay_Pdu_Search(port_, &key, &result), kInvalidResponseParameter);
  EXPECT_TRUE(saysSo("channel value '04' is unknown")) << lastText();
  EXPECT_EQ(result.frameTriggerFlags, 0xEEEEEEEEu) << "nothing written";
}

// The search checks the port's interface type as every function does: on another controller, command 0x20 would be
// that controller's own command.
TEST_F(PduRoad, ASearchOnAnotherBusSendsNothing) {
  const uint32_t canPort = open(2);
  const Qor_FlexRay_PduSearchKey_t key{0, 0x0123, 2, 4, 5, {0, 0, 0}};
  Qor_FlexRay_PduSearchResult_t result{};
  EXPECT_EQ(Qor_FlexRay_Pdu_Search(canPort, &key, &result), kWrongInterface);
  EXPECT_TRUE(saysSo("FlexRay Interface expected!!!")) << lastText();
}

Bytes poolAnswer(uint32_t pool, uint8_t subFunction) { return Record().u32(pool).u8(subFunction); }

TEST_F(PduRoad, PoolRecordsGoOutByteExactWithTheirFiveControlBytes) {
  const Qor_FlexRay_NPdu_t withFlag{1, 0x0123, 4, 5, 2, {7, 8, 9}, 0xABCD, 0};
  const Qor_FlexRay_NPdu_t reservedSet{0, 0x0123, 4, 5, 2, {7, 8, 9}, 0xABCD, 0x1111};
  const Qor_FlexRay_PoolPdu_t pdu{0, 0xC1C2C3C4};
  const Bytes nPduTail = Record().u16(0x0123).u8(4).u8(5).u8(2).u8(7).u8(8).u8(9);
  device_->expect(kTxPool, Record().u32(0x77).u32(0).u32(1).bytes(nPduTail).u16(0xABCD).u16(0))
      .answer(poolAnswer(0x77, 0));
  device_->expect(kTxPool, Record().u32(0x77).u32(0).u32(0).bytes(nPduTail).u16(0xABCD).u16(0))
      .answer(poolAnswer(0x77, 0));
  device_->expect(kTxPool, Record().u32(0x77).u32(1).u32(0).u32(0xC1C2C3C4)).answer(poolAnswer(0x77, 1));
  device_->expect(kTxPool, Record().u32(0x77).u32(2)).answer(poolAnswer(0x77, 2));
  device_->expect(kRxPool, Record().u32(0x88).u32(0).u32(1).bytes(nPduTail).u16(0xABCD).u16(0))
      .answer(poolAnswer(0x88, 0));
  device_->expect(kRxPool, Record().u32(0x88).u32(1).u32(0).u32(0xC1C2C3C4)).answer(poolAnswer(0x88, 1));
  device_->expect(kRxPool, Record().u32(0x88).u32(2)).answer(poolAnswer(0x88, 2));
  EXPECT_EQ(Qor_FlexRay_NPduPool_Tx_AddNPdu(port_, 0x77, &withFlag), 0u) << lastText();
  EXPECT_EQ(Qor_FlexRay_NPduPool_Tx_AddNPdu(port_, 0x77, &reservedSet), 0u) << "flags 0: reserved unread";
  EXPECT_EQ(Qor_FlexRay_NPduPool_Tx_AddPdu(port_, 0x77, &pdu), 0u) << lastText();
  EXPECT_EQ(Qor_FlexRay_NPduPool_Tx_DeletePool(port_, 0x77), 0u) << lastText();
  EXPECT_EQ(Qor_FlexRay_NPduPool_Rx_AddNPdu(port_, 0x88, &withFlag), 0u) << lastText();
  EXPECT_EQ(Qor_FlexRay_NPduPool_Rx_AddPdu(port_, 0x88, &pdu), 0u) << lastText();
  EXPECT_EQ(Qor_FlexRay_NPduPool_Rx_DeletePool(port_, 0x88), 0u) << lastText();

  // Without flag bit 0 a receive N-PDU's flag and value go as 0.
  const Qor_FlexRay_NPdu_t plain{0, 0x0123, 4, 5, 2, {7, 8, 9}, 0xABCD, 0};
  device_->expect(kRxPool, Record().u32(0x88).u32(0).u32(0).bytes(nPduTail).u16(0).u16(0)).answer(poolAnswer(0x88, 0));
  EXPECT_EQ(Qor_FlexRay_NPduPool_Rx_AddNPdu(port_, 0x88, &plain), 0u) << lastText();
}

TEST_F(PduRoad, RefusalsSendNothingAndSayWhy) {
  Qor_FlexRay_PduSearchResult_t result{};
  const Refusal cases[] = {
      {"frame trigger flags 0x20",
       [](uint32_t p) {
         const Qor_FlexRay_FrameTrigger_t t{0x20, 0, 0, 0, 0, 0, 0, 0};
         return Qor_FlexRay_FrameTrigger_Config(p, &t);
       },
       kUnknownFlag, nullptr},
      {"frame trigger reserved",
       [](uint32_t p) {
         const Qor_FlexRay_FrameTrigger_t t{0, 0, 0, 0, 0, 0, 0, 1};
         return Qor_FlexRay_FrameTrigger_Config(p, &t);
       },
       kInvalidParameter, "reserved bytes have to be zero"},
      {"frame trigger channel 4",
       [](uint32_t p) {
         const Qor_FlexRay_FrameTrigger_t t{0, 0, 0, 0, 0, 4, 0, 0};
         return Qor_FlexRay_FrameTrigger_Config(p, &t);
       },
       kInvalidParameter, "channel value '04' is unknown"},
      {"frame trigger key flags",
       [](uint32_t p) {
         const Qor_FlexRay_FrameTriggerKey_t k{1, 0, 0, 0};
         return Qor_FlexRay_FrameTrigger_Delete(p, &k);
       },
       kUnknownFlag, nullptr},
      {"L-PDU flags 4",
       [](uint32_t p) {
         const Qor_FlexRay_LPdu_t l{4, 0, {}, 0};
         return Qor_FlexRay_LPdu_Config(p, &l);
       },
       kUnknownFlag, nullptr},
      {"L-PDU reserved",
       [](uint32_t p) {
         const Qor_FlexRay_LPdu_t l{0, 0, {}, 1};
         return Qor_FlexRay_LPdu_Config(p, &l);
       },
       kInvalidParameter, "reserved bytes have to be zero"},
      {"PDU flags",
       [](uint32_t p) {
         const Qor_FlexRay_Pdu_t d{1, 0, 0, {}};
         return Qor_FlexRay_Pdu_Config(p, &d);
       },
       kUnknownFlag, nullptr},
      {"PDU reserved",
       [](uint32_t p) {
         const Qor_FlexRay_Pdu_t d{0, 0, 0, {0, 0, 1}};
         return Qor_FlexRay_Pdu_Config(p, &d);
       },
       kInvalidParameter, "reserved bytes have to be zero"},
      {"PDU in L-PDU flags 2",
       [](uint32_t p) {
         const Qor_FlexRay_PduInLPdu_t place{2, 0, 0, 0, 0, 0};
         return Qor_FlexRay_PduInLPdu_Config(p, &place);
       },
       kUnknownFlag, nullptr},
      {"PDU in L-PDU reserved",
       [](uint32_t p) {
         const Qor_FlexRay_PduInLPdu_t place{0, 0, 0, 0, 0, 1};
         return Qor_FlexRay_PduInLPdu_Config(p, &place);
       },
       kInvalidParameter, "reserved bytes have to be zero"},
      {"L-PDU key flags",
       [](uint32_t p) {
         const Qor_FlexRay_IdentifierKey_t k{1, 0};
         return Qor_FlexRay_LPdu_Delete(p, &k);
       },
       kUnknownFlag, nullptr},
      {"search flags",
       [&](uint32_t p) {
         const Qor_FlexRay_PduSearchKey_t k{1, 0, 0, 0, 0, {}};
         return Qor_FlexRay_Pdu_Search(p, &k, &result);
       },
       kUnknownFlag, nullptr},
      {"search reserved",
       [&](uint32_t p) {
         const Qor_FlexRay_PduSearchKey_t k{0, 0, 0, 0, 0, {0, 1, 0}};
         return Qor_FlexRay_Pdu_Search(p, &k, &result);
       },
       kInvalidParameter, "reserved bytes must be zero"},
      {"search channel",
       [&](uint32_t p) {
         const Qor_FlexRay_PduSearchKey_t k{0, 0, 9, 0, 0, {}};
         return Qor_FlexRay_Pdu_Search(p, &k, &result);
       },
       kInvalidParameter, "channel value '09' is unknown"},
      {"transmit N-PDU flags 2",
       [](uint32_t p) {
         const Qor_FlexRay_NPdu_t n{2, 0, 0, 0, 0, {}, 0, 0};
         return Qor_FlexRay_NPduPool_Tx_AddNPdu(p, 1, &n);
       },
       kUnknownFlag, nullptr},
      {"transmit N-PDU reserved with a flag",
       [](uint32_t p) {
         const Qor_FlexRay_NPdu_t n{1, 0, 0, 0, 0, {}, 0, 1};
         return Qor_FlexRay_NPduPool_Tx_AddNPdu(p, 1, &n);
       },
       kInvalidParameter, "reserved bytes have to be '0'"},
      {"receive N-PDU reserved without a flag",
       [](uint32_t p) {
         const Qor_FlexRay_NPdu_t n{0, 0, 0, 0, 0, {}, 0, 1};
         return Qor_FlexRay_NPduPool_Rx_AddNPdu(p, 1, &n);
       },
       kInvalidParameter, "reserved bytes must be zero"},
      {"receive N-PDU channel",
       [](uint32_t p) {
         const Qor_FlexRay_NPdu_t n{0, 0, 0, 0, 5, {}, 0, 0};
         return Qor_FlexRay_NPduPool_Rx_AddNPdu(p, 1, &n);
       },
       kInvalidParameter, "channel value '05' is unknown"},
      {"pool PDU flags",
       [](uint32_t p) {
         const Qor_FlexRay_PoolPdu_t d{1, 0};
         return Qor_FlexRay_NPduPool_Rx_AddPdu(p, 1, &d);
       },
       kUnknownFlag, nullptr},
      {"no frame trigger", [](uint32_t p) { return Qor_FlexRay_FrameTrigger_Config(p, nullptr); }, kInvalidParameter,
       "'trigger' is NULL"},
      {"no search result",
       [](uint32_t p) {
         const Qor_FlexRay_PduSearchKey_t k{};
         return Qor_FlexRay_Pdu_Search(p, &k, nullptr);
       },
       kInvalidParameter, "'result' is NULL"},
  };
  expectRefusals(port_, cases);
  EXPECT_EQ(Qor_FlexRay_NPduPool_Tx_DeletePool(open(2), 1), kWrongInterface);
}

}  // namespace
}  // namespace qor::test
