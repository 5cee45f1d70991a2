// Application messages as telegrams on the MOST ring: how a message is cut, and that the joiner gives back whole
// messages only, per sender.
#include <gtest/gtest.h>

#include <optional>
#include <stdexcept>
#include <vector>

#include "qor_emulator/most_ams_telegrams.hpp"

namespace qor::emulator {
namespace {

MostControlMessage messageOf(size_t length, uint16_t source = 0x100) {
  MostControlMessage message{.sourceAddress = source, .targetAddress = 0x101, .functionId = 0x400, .data = {}};
  for (size_t i = 0; i < length; ++i) message.data.push_back(static_cast<uint8_t>(i * 13 + i / 256));
  return message;
}

// Feeds the telegrams in order; the messages the joiner completed.
std::vector<MostControlMessage> join(MostTelegramJoiner& joiner, const std::vector<MostControlMessage>& telegrams) {
  std::vector<MostControlMessage> whole;
  for (const MostControlMessage& telegram : telegrams) {
    if (std::optional<MostControlMessage> message = joiner.take(telegram)) whole.push_back(*message);
  }
  return whole;
}

TEST(MostAmsTelegrams, MessagesAreCutIntoCountedTelegramsAndJoinedWhole) {
  struct Case {
    size_t length;
    size_t telegrams;
  };
  for (const Case& c : {Case{0, 1}, Case{255, 1}, Case{256, 2}, Case{508, 2}, Case{509, 3}, Case{65536, 259}}) {
    const MostControlMessage message = messageOf(c.length);
    const std::vector<MostControlMessage> telegrams = toTelegrams(message);
    ASSERT_EQ(telegrams.size(), c.telegrams) << c.length;
    for (size_t i = 0; i < telegrams.size(); ++i) {
      const uint8_t expectedId = telegrams.size() == 1 ? 0 : i == 0 ? 1 : i + 1 == telegrams.size() ? 3 : 2;
      EXPECT_EQ(telegrams[i].telegramId, expectedId) << c.length << " telegram " << i;
      EXPECT_LE(telegrams[i].data.size(), 255u);
      if (telegrams.size() > 1) {
        EXPECT_EQ(telegrams[i].data[0], static_cast<uint8_t>(i)) << "counter wraps";
      }
    }
    MostTelegramJoiner joiner;
    const std::vector<MostControlMessage> joined = join(joiner, telegrams);
    ASSERT_EQ(joined.size(), 1u) << c.length;
    EXPECT_EQ(joined[0].data, message.data);
    EXPECT_EQ(joined[0].functionId, 0x400);
    EXPECT_EQ(joined[0].telegramId, 0);
  }
  EXPECT_THROW(toTelegrams(messageOf(65537)), std::invalid_argument);
}

TEST(MostAmsTelegrams, ALostOrRepeatedTelegramDropsTheMessageOfItsSenderOnly) {
  const std::vector<MostControlMessage> first = toTelegrams(messageOf(1000, 0x100));
  const std::vector<MostControlMessage> second = toTelegrams(messageOf(600, 0x102));
  MostTelegramJoiner joiner;

  std::vector<MostControlMessage> interleaved;
  for (size_t i = 0; i < first.size(); ++i) {
    if (i != 2) interleaved.push_back(first[i]);  // the third of the first sender's telegrams is lost
    if (i < second.size()) interleaved.push_back(second[i]);
  }
  std::vector<MostControlMessage> joined = join(joiner, interleaved);
  ASSERT_EQ(joined.size(), 1u);
  EXPECT_EQ(joined[0].sourceAddress, 0x102);

  std::vector<MostControlMessage> repeated = first;
  repeated.insert(repeated.begin() + 1, first[1]);
  EXPECT_TRUE(join(joiner, repeated).empty());

  // A new first telegram starts over; an orphaned continuation is ignored.
  std::vector<MostControlMessage> restarted = {first[0], first[1]};
  restarted.insert(restarted.end(), first.begin(), first.end());
  restarted.push_back(first.back());
  joined = join(joiner, restarted);
  ASSERT_EQ(joined.size(), 1u);
  EXPECT_EQ(joined[0].data, messageOf(1000).data);
}

}  // namespace
}  // namespace qor::emulator
