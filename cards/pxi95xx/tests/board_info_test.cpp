// Library and driver versions, the card count and the board records of emulated cards.
#include <cerrno>

#include "card_fixture.hpp"
#include "vortaq_abi.h"

namespace qor::pxi95xx::test {
namespace {

constexpr uint32_t kDriverVersion = 2019 * 100 + 1 * 10 + 9;

using BoardInfoTest = CardFixture;

TEST_F(BoardInfoTest, InfoGivesTheVersionsAndTheCardCount) {
  addCard();
  addCard();
  connect();
  uint8_t output[20];
  std::memset(output, 0xEE, sizeof output);
  ASSERT_EQ(QorPxi95xx_GetInfo(output, sizeof output), 0);
  QorPxi95xxInfo_t info{};
  std::memcpy(&info, output, sizeof info);
  EXPECT_EQ(info.libraryVersion, QORPXI95XX_LIBRARY_VERSION);
  EXPECT_EQ(info.driverVersion, kDriverVersion);
  EXPECT_EQ(info.cardCount, 2u);
  EXPECT_EQ(output[19], 0) << "the rest is zeroed";
  EXPECT_EQ(QorPxi95xx_GetInfo(output, 11), QORPXI95XX_ERROR_PARAMETER) << "too small for the record";
  cards_[0]->failNextRequest(VORTAQ_GET_BOARD_CONFIG, 0);
  EXPECT_EQ(QorPxi95xx_GetInfo(output, sizeof output), EIO) << "a failure without errno is still a failure";
}

TEST_F(BoardInfoTest, WithoutCardsThereIsNoBoard) {
  connect();
  QorPxi95xxBoardInfo_t board{};
  board.cardCount = 7;
  QorPxi95xxInfo_t info{};
  EXPECT_EQ(QorPxi95xx_GetInfo(&info, sizeof info), QORPXI95XX_ERROR_NO_BOARD);
  EXPECT_EQ(info.libraryVersion, QORPXI95XX_LIBRARY_VERSION);
  EXPECT_EQ(QorPxi95xx_GetBoardInfo(0, &board, sizeof board), QORPXI95XX_ERROR_NO_BOARD);
  EXPECT_EQ(board.cardCount, 0u);
}

TEST_F(BoardInfoTest, BoardRecordCarriesConfigurationSerialNumberAndBars) {
  addCard({.pciDeviceId = 0x9511});
  addCard({.pciDeviceId = 0x9522, .serialNumber = 0xCAFE0042, .dmaChannels = 2});
  connect();
  QorPxi95xxBoardInfo_t board{};
  ASSERT_EQ(QorPxi95xx_GetBoardInfo(1, &board, sizeof board), 0);
  EXPECT_EQ(board.libraryVersion, QORPXI95XX_LIBRARY_VERSION);
  EXPECT_EQ(board.driverVersion, kDriverVersion);
  EXPECT_EQ(board.cardCount, 2u);
  EXPECT_EQ(board.dmaChannelCount, 2u);
  EXPECT_EQ(board.sortKey, 1u);
  EXPECT_EQ(board.serialNumberLow, 0xCAFE0042u);
  uint16_t deviceId = 0;
  std::memcpy(&deviceId, board.configHeader + 2, 2);
  EXPECT_EQ(deviceId, 0x9522);
  QORPXI95XX_BARMEM_INFO bars{};
  std::memcpy(&bars, board.barInformation, sizeof bars);
  EXPECT_EQ(bars.BarLength[0], 4096u);
  EXPECT_EQ(QorPxi95xx_GetBoardInfo(1, &board, 287), QORPXI95XX_ERROR_PARAMETER);
  EXPECT_EQ(QorPxi95xx_GetBoardInfo(2, &board, sizeof board), QORPXI95XX_ERROR_PARAMETER);
}

TEST_F(BoardInfoTest, ShortRecordAsksForNoBars) {
  emulator::Card95xx& card = addCard();
  connect();
  std::vector<uint8_t> output(QORPXI95XX_BOARD_INFO_SIZE, 0xEE);
  card.failNextRequest(VORTAQ_GET_BARMEM_INFO, EIO);
  ASSERT_EQ(QorPxi95xx_GetBoardInfo(0, output.data(), QORPXI95XX_BOARD_INFO_MIN), 0);
  EXPECT_EQ(output[QORPXI95XX_BOARD_INFO_MIN], 0xEE) << "nothing written beyond the length";
  EXPECT_EQ(QorPxi95xx_GetBoardInfo(0, output.data(), QORPXI95XX_BOARD_INFO_SIZE), EIO);
}

// The capability list comes from the card: a list that loops, leaves the space or breaks off ends the walk.
TEST_F(BoardInfoTest, CapabilityWalkEndsOnEveryList) {
  struct Case {
    const char* name;
    std::vector<std::pair<uint32_t, uint32_t>> dwords;  // offset, value
    uint32_t serial;
  };
  const Case cases[] = {
      {"SerialSecond", {{0x100, 1 | (1u << 16) | (0x140u << 20)}, {0x140, 3 | (0x0u << 20)}, {0x144, 77}}, 77},
      {"Loop", {{0x100, 1 | (0x100u << 20)}}, 0},
      {"NextBelowTheSpace", {{0x100, 1 | (0x40u << 20)}}, 0},
      {"SerialAtTheEnd", {{0x100, 1 | (0xFF8u << 20)}, {0xFF8, 3}}, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    emulator::Card95xx& card = addCard({.serialNumber = 0});
    connect();
    for (const auto& [offset, value] : c.dwords) card.setConfigDword(offset, value);
    QorPxi95xxBoardInfo_t board{};
    ASSERT_EQ(QorPxi95xx_GetBoardInfo(0, &board, sizeof board), 0);
    EXPECT_EQ(board.serialNumberLow, c.serial);
    moduleExit();
    cards_.clear();
  }
}

}  // namespace
}  // namespace qor::pxi95xx::test
