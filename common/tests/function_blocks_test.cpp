// The last-error answer of a function block, decoded from answers of every shape: what the record holds is bounded by
// the lengths the answer gives, by the record and by the bytes that arrived.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "function_blocks.hpp"

namespace qor::common {
namespace {

using Bytes = std::vector<uint8_t>;

// {sub 7, words 0x11, 0x22, 0x33, a, b} followed by `sent` text bytes 'A', 'B', ...
Bytes lastErrorAnswer(uint16_t a, uint16_t b, size_t sent) {
  Bytes answer{7, 0, 0, 0, 0x11, 0, 0, 0, 0x22, 0, 0, 0, 0x33, 0, 0, 0};
  for (uint16_t length : {a, b}) {
    answer.push_back(static_cast<uint8_t>(length));
    answer.push_back(static_cast<uint8_t>(length >> 8));
  }
  for (size_t i = 0; i < sent; ++i) answer.push_back(static_cast<uint8_t>('A' + i % 26));
  return answer;
}

struct Shape {
  const char* name;
  uint16_t a;
  uint16_t b;
  size_t sent;    // text bytes in the answer
  size_t copied;  // text bytes the record holds
};

const Shape kShapes[] = {
    {"both parts", 3, 4, 7, 7},
    {"no text", 0, 0, 0, 0},
    {"more sent than announced", 2, 0, 10, 2},
    {"whole record", 4000, 96, 4096, 4096},
    {"a + b above the record", 4000, 1000, 5000, 4096},
    {"a alone above the record", 65535, 65535, 6000, 4096},
    {"fewer sent than announced", 100, 100, 50, 50},
    {"announced, nothing sent", 10, 10, 0, 0},
};

TEST(FunctionBlockLastError, TextIsBoundedByLengthsRecordAndAnswer) {
  for (const Shape& shape : kShapes) {
    const Bytes answer = lastErrorAnswer(shape.a, shape.b, shape.sent);
    const auto error = decodeLastError(kit::AnswerReader(answer));
    ASSERT_TRUE(error) << shape.name;
    EXPECT_EQ(error->firstWord, 0x11u) << shape.name;
    EXPECT_EQ(error->secondWord, 0x22u) << shape.name;
    EXPECT_EQ(error->thirdWord, 0x33u) << shape.name;
    EXPECT_EQ(error->textLengthA, shape.a) << shape.name;
    EXPECT_EQ(error->textLengthB, shape.b) << shape.name;
    const auto* text = error->text;
    EXPECT_TRUE(std::equal(text, text + shape.copied, answer.begin() + 20)) << shape.name;
    EXPECT_TRUE(std::all_of(text + shape.copied, std::end(error->text), [](uint8_t byte) { return byte == 0; }))
        << shape.name;
  }
}

TEST(FunctionBlockLastError, AnswerEndingBeforeTheTextIsRefused) {
  const Bytes whole = lastErrorAnswer(0, 0, 0);
  for (size_t length : {size_t{0}, size_t{4}, size_t{16}, size_t{19}}) {
    const Bytes answer(whole.begin(), whole.begin() + static_cast<long>(length));
    EXPECT_FALSE(decodeLastError(kit::AnswerReader(answer))) << length << " bytes";
  }
  EXPECT_TRUE(decodeLastError(kit::AnswerReader(whole)));
}

}  // namespace
}  // namespace qor::common
