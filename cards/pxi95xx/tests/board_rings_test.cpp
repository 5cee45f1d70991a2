// Opening a card's ring channels and frames through them against emulated cards: the round trip to the firmware,
// wrap-around at the ring ends in both directions, the message-answer wait and the card checks.
#include <cerrno>

#include "card_fixture.hpp"
#include "vortaq_abi.h"

namespace qor::pxi95xx::test {
namespace {

using emulator::Reply;

constexpr uint8_t kEcho = 0x42;

class BoardRingsTest : public CardFixture {
 protected:
  // The card answers kEcho with the command's parameters.
  void echoCommands() {
    device_.onCommand(kEcho, [](const emulator::ReceivedFrame& frame) {
      return Reply(frame.response(frame.parameters()));
    });
  }
  void expectEcho(uint8_t card, const Bytes& frame) {
    ASSERT_EQ(QorPxi95xx_WriteCmd(card, frame.data(), static_cast<uint32_t>(frame.size())), 0);
    const Bytes answer = awaitResponse(card);
    ASSERT_EQ(answer.size(), frame.size());
    EXPECT_EQ(answer[11], kEcho);
    EXPECT_TRUE(std::equal(frame.begin() + 12, frame.end(), answer.begin() + 12));
  }
};

TEST_F(BoardRingsTest, CommandReachesTheFirmwareAndItsAnswerComesBack) {
  echoCommands();
  emulator::Card95xx& card = addCard();
  connect();
  ASSERT_EQ(QorPxi95xx_OpenBoard(0), 0);
  expectEcho(0, commandFrame(kEcho, 23));  // a partial last dword
  EXPECT_EQ(card.doorbells(), 1u);
  EXPECT_EQ(card.registerAt(0, V2_SCRATCH2), 6u);
  EXPECT_EQ(QorPxi95xx_CloseBoard(0), 0);
  const Bytes frame = commandFrame(kEcho, 16);
  EXPECT_EQ(QorPxi95xx_WriteCmd(0, frame.data(), 16), QORPXI95XX_ERROR_PARAMETER) << "closed";
}

// Both rings start a few dwords before their ends: commands and answers cross the ends, headers included.
TEST_F(BoardRingsTest, FramesWrapAtTheRingEndsBothWays) {
  echoCommands();
  for (const uint32_t dwordsBeforeEnd : {1u, 2u, 3u, 5u}) {
    SCOPED_TRACE(dwordsBeforeEnd);
    emulator::Card95xx& card = addCard({.firstRingIndex = QORPXI95XX_RING_DWORDS - dwordsBeforeEnd});
    connect();
    ASSERT_EQ(QorPxi95xx_OpenBoard(0), 0);
    expectEcho(0, commandFrame(kEcho, 30));
    EXPECT_LT(card.registerAt(0, V2_SCRATCH2), 8u) << "the write index wrapped";
    EXPECT_LT(card.registerAt(1, V2_SCRATCH3), 8u) << "the read index wrapped";
    expectEcho(0, commandFrame(kEcho, 13));
    moduleExit();
    cards_.clear();
  }
}

TEST_F(BoardRingsTest, WriteRefusesFramesWhoseLengthIsWrong) {
  addCard();
  connect();
  ASSERT_EQ(QorPxi95xx_OpenBoard(0), 0);
  const Bytes frame = commandFrame(kEcho, 20);
  EXPECT_EQ(QorPxi95xx_WriteCmd(0, frame.data(), 19), QORPXI95XX_ERROR_PARAMETER);
  EXPECT_EQ(QorPxi95xx_WriteCmd(0, nullptr, 20), QORPXI95XX_ERROR_PARAMETER);
  const Bytes shortFrame = emulator::withLength(Bytes(frame.begin(), frame.begin() + 8), 8);
  EXPECT_EQ(QorPxi95xx_WriteCmd(0, shortFrame.data(), 8), QORPXI95XX_ERROR_PARAMETER) << "below a header";
}

TEST_F(BoardRingsTest, ReadKeepsTheLengthOfABufferBelowAHeader) {
  addCard();
  connect();
  ASSERT_EQ(QorPxi95xx_OpenBoard(0), 0);
  Bytes buffer(64);
  uint32_t length = 11;
  EXPECT_EQ(QorPxi95xx_ReadRsp(0, buffer.data(), &length), QORPXI95XX_ERROR_PARAMETER);
  EXPECT_EQ(length, 11u);
  length = 64;
  EXPECT_EQ(QorPxi95xx_ReadRsp(0, buffer.data(), &length), 0);
  EXPECT_EQ(length, 0u) << "nothing waits";
}

// A frame larger than the reader's buffer stays for a larger one; a frame whose length lies empties the ring.
TEST_F(BoardRingsTest, ResponsesTooLargeOrInconsistentAreErrors) {
  emulator::Card95xx& card = addCard();
  connect();
  ASSERT_EQ(QorPxi95xx_OpenBoard(0), 0);
  ASSERT_TRUE(card.writeResponse(commandFrame(1, 40)));
  Bytes buffer(64);
  uint32_t length = 32;
  EXPECT_EQ(QorPxi95xx_ReadRsp(0, buffer.data(), &length), QORPXI95XX_ERROR_LENGTH);
  EXPECT_EQ(length, 0u);
  length = 64;
  ASSERT_EQ(QorPxi95xx_ReadRsp(0, buffer.data(), &length), 0);
  EXPECT_EQ(length, 40u);

  ASSERT_TRUE(card.writeResponse(emulator::withLength(commandFrame(1, 16), 400)));
  ASSERT_TRUE(card.writeResponse(commandFrame(2, 16)));
  length = 64;
  EXPECT_EQ(QorPxi95xx_ReadRsp(0, buffer.data(), &length), QORPXI95XX_ERROR_LENGTH);
  EXPECT_EQ(card.registerAt(1, V2_SCRATCH3), card.registerAt(1, V2_SCRATCH2)) << "the ring starts afresh";
  ASSERT_TRUE(card.writeResponse(commandFrame(3, 12)));
  length = 64;
  ASSERT_EQ(QorPxi95xx_ReadRsp(0, buffer.data(), &length), 0);
  EXPECT_EQ(length, 12u);
  EXPECT_EQ(buffer[11], 3);
}

TEST_F(BoardRingsTest, WaitReportsTheMessageTheTimeOutAndFailures) {
  emulator::Card95xx& card = addCard();
  connect();
  EXPECT_EQ(QorPxi95xx_WaitForRsp(0, 10), QORPXI95XX_ERROR_PARAMETER) << "not open";
  ASSERT_EQ(QorPxi95xx_OpenBoard(0), 0);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(QorPxi95xx_WaitForRsp(0, 50), 0) << "the time ran out";
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(50));
  ASSERT_TRUE(card.writeResponse(commandFrame(1, 12)));
  EXPECT_EQ(QorPxi95xx_WaitForRsp(0, 5000), 0);
  card.failNextRequest(VORTAQ_WAIT_MSG_ANSWER, EINTR);
  EXPECT_EQ(QorPxi95xx_WaitForRsp(0, 10), EINTR);
  card.failNextRequest(VORTAQ_WAIT_MSG_ANSWER, 0);
  EXPECT_EQ(QorPxi95xx_WaitForRsp(0, 10), EIO) << "a failure without errno is still a failure";
}

// A device file that cannot be opened at load time leaves that card and every later one unconnected.
TEST_F(BoardRingsTest, CardsAfterAnUnconnectedOneStayUnconnected) {
  addCard();
  addCard();
  ASSERT_EQ(unlink((cards_[0]->directory() + "vortaq").c_str()), 0);
  connect();
  EXPECT_EQ(QorPxi95xx_OpenBoard(0), QORPXI95XX_ERROR_NOT_CONNECTED);
  EXPECT_EQ(QorPxi95xx_OpenBoard(1), QORPXI95XX_ERROR_NOT_CONNECTED);
  EXPECT_EQ(QorPxi95xx_CloseBoard(1), QORPXI95XX_ERROR_NOT_CONNECTED);
  QorPxi95xxInfo_t info{};
  EXPECT_EQ(QorPxi95xx_GetInfo(&info, sizeof info), QORPXI95XX_ERROR_NO_BOARD);
  uint32_t pages = 0;
  void* buffer = nullptr;
  EXPECT_EQ(QorPxi95xx_Channel_Config_Dwth(1, 2, 4096, &pages, &buffer), QORPXI95XX_ERROR_PARAMETER);
}

struct CardCheckCase {
  const char* name;
  int cards;
  uint8_t card;
  int32_t open, write, read;
};

class CardCheckTest : public BoardRingsTest, public ::testing::WithParamInterface<CardCheckCase> {};

TEST_P(CardCheckTest, CardNumbersAreChecked) {
  for (int i = 0; i < GetParam().cards; ++i) addCard();
  connect();
  const Bytes frame = commandFrame(kEcho, 12);
  Bytes buffer(64);
  uint32_t length = 64;
  EXPECT_EQ(QorPxi95xx_OpenBoard(GetParam().card), GetParam().open);
  EXPECT_EQ(QorPxi95xx_WriteCmd(GetParam().card, frame.data(), 12), GetParam().write);
  EXPECT_EQ(QorPxi95xx_ReadRsp(GetParam().card, buffer.data(), &length), GetParam().read);
}

INSTANTIATE_TEST_SUITE_P(
    Cards, CardCheckTest,
    ::testing::Values(CardCheckCase{"NoCard", 0, 0, -10, -20, -20},
                      CardCheckCase{"BeyondTheCards", 2, 2, -10, -10, -10},
                      CardCheckCase{"BeyondTheTable", 1, 32, -10, -10, -10}, CardCheckCase{"SecondCard", 2, 1, 0, 0, 0}),
    [](const ::testing::TestParamInfo<CardCheckCase>& param) { return std::string(param.param.name); });

// The driver numbers a new card after the last one: after a removal the directories have gaps.
TEST_F(BoardRingsTest, CardsAreTakenInTheOrderOfTheirDirectories) {
  echoCommands();
  addCard({}, 3);
  addCard({}, 1);
  connect();
  ASSERT_EQ(library().count, 2u);
  for (uint8_t card : {0, 1}) {
    ASSERT_EQ(QorPxi95xx_OpenBoard(card), 0);
    expectEcho(card, commandFrame(kEcho, 20));
  }
  EXPECT_EQ(cards_[1]->doorbells(), 1u);
  EXPECT_EQ(cards_[0]->doorbells(), 1u);
}

}  // namespace
}  // namespace qor::pxi95xx::test
