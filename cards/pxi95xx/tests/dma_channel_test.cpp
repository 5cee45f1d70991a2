// Device-to-host DMA channel buffers on emulated cards: allocation with its test pattern, the scatter-gather list,
// the channel states, the scratchpad through which the card writes data, and failures of the driver's requests.
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

#include "card_fixture.hpp"
#include "vortaq_abi.h"

namespace qor::pxi95xx::test {
namespace {

constexpr uint8_t kChannel = 2;

// In a process other than the card's: pins a buffer, lets the card write, checks what arrived and releases it. The
// exit code names the step that failed.
int receiveInThisProcess(int toCard, int fromCard) {
  uint32_t pages = 0;
  void* buffer = nullptr;
  if (QorPxi95xx_Channel_Config_Dwth(0, kChannel, 4096 * 2 + 10, &pages, &buffer) != 0 || pages != 3) return 1;
  uint64_t address = 0;
  if (QorPxi95xx_MapDmaChScratchpad(0, kChannel, &address) != 0) return 2;
  reinterpret_cast<volatile uint32_t*>(address)[1] = 4096 + 5;
  char step = 1;
  if (write(toCard, &step, 1) != 1 || read(fromCard, &step, 1) != 1) return 3;
  const auto* bytes = static_cast<const uint8_t*>(buffer);
  if (Bytes(bytes, bytes + 9) != Bytes{1, 2, 3, 4, 5, 6, 7, 8, 0xCD} || bytes[4096] != 0xCE) return 4;
  if (reinterpret_cast<volatile uint32_t*>(address)[0] != 8) return 5;
  return QorPxi95xx_Channel_Reset(0, kChannel) == 0 ? 0 : 6;
}

class DmaChannelTest : public CardFixture {
 protected:
  void SetUp() override {
    CardFixture::SetUp();
    card_ = &addCard();
    connect();
  }
  emulator::Card95xx* card_ = nullptr;
};

TEST_F(DmaChannelTest, ConfiguredBufferHoldsThePatternAndItsList) {
  constexpr uint64_t kLength = 4096 * 3 + 100;
  uint32_t pages = 0;
  void* buffer = nullptr;
  ASSERT_EQ(QorPxi95xx_Channel_Config_Dwth(0, kChannel, kLength, &pages, &buffer), 0);
  ASSERT_EQ(pages, 4u);
  EXPECT_TRUE(card_->pinned(kChannel));
  const auto* bytes = static_cast<const uint8_t*>(buffer);
  for (const auto& [offset, value] : std::vector<std::pair<uint64_t, uint8_t>>{
           {0, 0xCD}, {4095, 0xCD}, {4096, 0xCE}, {8191, 0xCE}, {8192, 0xCF}, {12287, 0xCF}, {12288, 0xCD},
           {kLength - 1, 0xCD}}) {
    EXPECT_EQ(bytes[offset], value) << offset;
  }

  // A list of exactly the page count: the request's header does not fit it, yet nothing is written beyond.
  std::vector<QorPxi95xxSgEntry_t> list(pages + 1, QorPxi95xxSgEntry_t{0xEE, 0xEE});
  uint32_t count = pages;
  ASSERT_EQ(QorPxi95xx_Dwth_SgList_Get(0, kChannel, &count, list.data()), 0);
  EXPECT_EQ(count, 4u);
  EXPECT_EQ(list[1].busAddress, list[0].busAddress + 4096);
  EXPECT_EQ(list[0].length, 4096u);
  EXPECT_EQ(list[3].length, 100u);
  EXPECT_EQ(list[4].busAddress, 0xEEu);
  count = pages - 1;
  EXPECT_EQ(QorPxi95xx_Dwth_SgList_Get(0, kChannel, &count, list.data()), QORPXI95XX_ERROR_PARAMETER);
}

TEST_F(DmaChannelTest, ChannelsMoveThroughTheirStates) {
  uint32_t pages = 0;
  void* buffer = nullptr;
  EXPECT_EQ(QorPxi95xx_Channel_Disable(0, kChannel), 0) << "a free channel stays free";
  EXPECT_EQ(QorPxi95xx_Channel_Enable(0, kChannel), QORPXI95XX_ERROR_PARAMETER);
  EXPECT_EQ(QorPxi95xx_Channel_Reset(0, kChannel), 0);
  ASSERT_EQ(QorPxi95xx_Channel_Config_Dwth(0, kChannel, 8192, &pages, &buffer), 0);
  EXPECT_EQ(QorPxi95xx_Channel_Config_Dwth(0, kChannel, 8192, &pages, &buffer), QORPXI95XX_ERROR_PARAMETER)
      << "already configured";
  ASSERT_EQ(QorPxi95xx_Channel_Enable(0, kChannel), 0);
  EXPECT_EQ(QorPxi95xx_Channel_Reset(0, kChannel), QORPXI95XX_ERROR_PARAMETER) << "enabled";
  ASSERT_EQ(QorPxi95xx_Channel_Disable(0, kChannel), 0);
  EXPECT_EQ(QorPxi95xx_UnMapDmaChScratchpad(0, kChannel), 0);
  ASSERT_EQ(QorPxi95xx_Channel_Reset(0, kChannel), 0);
  EXPECT_FALSE(card_->pinned(kChannel));
  EXPECT_EQ(QorPxi95xx_Channel_Enable(0, kChannel), QORPXI95XX_ERROR_PARAMETER) << "free again";
}

TEST_F(DmaChannelTest, ArgumentsAreChecked) {
  uint32_t pages = 0;
  void* buffer = nullptr;
  uint64_t address = 0;
  struct Case {
    const char* name;
    uint8_t card, channel;
    uint64_t length;
  };
  for (const Case& c : {Case{"NoLength", 0, 0, 0}, Case{"TooLong", 0, 0, QORPXI95XX_DMA_LENGTH_MAX + 1},
                        Case{"ChannelFour", 0, 4, 4096}, Case{"SecondCard", 1, 0, 4096}}) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(QorPxi95xx_Channel_Config_Dwth(c.card, c.channel, c.length, &pages, &buffer),
              QORPXI95XX_ERROR_PARAMETER);
  }
  EXPECT_FALSE(card_->pinned(0));
  for (uint8_t channel : {4, 255}) {
    uint32_t count = 1;
    QorPxi95xxSgEntry_t entry{};
    EXPECT_EQ(QorPxi95xx_Dwth_SgList_Get(0, channel, &count, &entry), QORPXI95XX_ERROR_PARAMETER);
    EXPECT_EQ(QorPxi95xx_MapDmaChScratchpad(0, channel, &address), QORPXI95XX_ERROR_PARAMETER);
    EXPECT_EQ(QorPxi95xx_Channel_Reset(0, channel), QORPXI95XX_ERROR_PARAMETER);
  }
}

// A failed pin leaves the channel free and nothing allocated; a failed release still frees the channel.
TEST_F(DmaChannelTest, DriverFailuresAreReportedAndLeaveNothingBehind) {
  uint32_t pages = 0;
  void* buffer = nullptr;
  for (const int error : {ENOMEM, 0}) {
    card_->failNextRequest(VORTAQ_ALLOC_DMA_MEM, error);
    EXPECT_EQ(QorPxi95xx_Channel_Config_Dwth(0, kChannel, 4096, &pages, &buffer), error != 0 ? error : EIO);
    EXPECT_EQ(QorPxi95xx_Channel_Enable(0, kChannel), QORPXI95XX_ERROR_PARAMETER) << "still free";
  }
  ASSERT_EQ(QorPxi95xx_Channel_Config_Dwth(0, kChannel, 4096, &pages, &buffer), 0);
  card_->failNextRequest(VORTAQ_GET_PAGE_TABLE, 0);
  uint32_t count = pages;
  QorPxi95xxSgEntry_t entry{};
  EXPECT_EQ(QorPxi95xx_Dwth_SgList_Get(0, kChannel, &count, &entry), EIO);
  card_->failNextRequest(VORTAQ_RELEASE_DMA_MEM, EBADF);
  EXPECT_EQ(QorPxi95xx_Channel_Reset(0, kChannel), EBADF);
  EXPECT_EQ(QorPxi95xx_Channel_Enable(0, kChannel), QORPXI95XX_ERROR_PARAMETER) << "free all the same";
  EXPECT_EQ(QorPxi95xx_Channel_Reset(0, kChannel), 0);
}

// The card writes from the write position up to the limit the application sets in the scratchpad.
TEST_F(DmaChannelTest, CardWritesUpToTheLimitInTheScratchpad) {
  uint32_t pages = 0;
  void* buffer = nullptr;
  ASSERT_EQ(QorPxi95xx_Channel_Config_Dwth(0, kChannel, 4096, &pages, &buffer), 0);
  uint64_t address = 0;
  ASSERT_EQ(QorPxi95xx_MapDmaChScratchpad(0, kChannel, &address), 0);
  auto* scratchpad = reinterpret_cast<volatile uint32_t*>(address);
  ASSERT_EQ(QorPxi95xx_Channel_Enable(0, kChannel), 0);
  const Bytes data{1, 2, 3, 4, 5, 6, 7, 8};
  EXPECT_EQ(card_->writeDma(kChannel, data), 0u) << "no room before a limit is set";
  scratchpad[1] = 6;
  EXPECT_EQ(card_->writeDma(kChannel, data), 6u);
  EXPECT_EQ(scratchpad[0], 6u);
  const auto* bytes = static_cast<const uint8_t*>(buffer);
  EXPECT_EQ(Bytes(bytes, bytes + 7), (Bytes{1, 2, 3, 4, 5, 6, 0xCD}));
}

// The driver's requests come from a process other than the card's, as from a daemon that loaded the library: the
// buffer pinned there receives what the card writes.
TEST_F(DmaChannelTest, APinnedBufferOfAnotherProcessReceivesTheCardsWrites) {
  int toCard[2];
  int fromCard[2];
  ASSERT_EQ(pipe(toCard), 0);
  ASSERT_EQ(pipe(fromCard), 0);
  const pid_t child = fork();
  if (child == 0) _exit(receiveInThisProcess(toCard[1], fromCard[0]));
  char step = 0;
  ASSERT_EQ(read(toCard[0], &step, 1), 1);
  EXPECT_TRUE(card_->pinned(kChannel));
  EXPECT_EQ(card_->writeDma(kChannel, Bytes{1, 2, 3, 4, 5, 6, 7, 8}), 8u);
  ASSERT_EQ(write(fromCard[1], &step, 1), 1);
  int status = -1;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "the step that failed";
  EXPECT_FALSE(card_->pinned(kChannel));
  for (int* end : {&toCard[0], &toCard[1], &fromCard[0], &fromCard[1]}) close(*end);
}

}  // namespace
}  // namespace qor::pxi95xx::test
