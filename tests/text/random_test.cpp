// Random numbers from the cycle counter and random texts.
#include "text/random.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <set>
#include <string>

namespace sonavel {
namespace {

constexpr int kDraws = 5000;
constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();

TEST(RandomInRangeTest, StaysInRange) {
  struct Case {
    std::int32_t lower, upper;
    std::int32_t low, high;  // the bounds the draws keep to
  };
  const Case cases[] = {
      {5, 5, 5, 5},
      {1, 3, 1, 3},
      {48, 57, 48, 57},
      {0, 0, 0, 32767},       // 0 as upper stands for 2147483647
      {0, 100000, 0, 32767},  // a draw never exceeds lower + 32767
      {-5, 5, -5, 5},
      {-5, 0, -5, -5 + 32767},  // not -5..0: upper 0 is 2147483647
      {1000000, 2000000, 1000000, 1000000 + 32767},
      // The whole 32-bit range: the count of values wraps to 0, which must
      // not be divided by.
      {kMin, std::numeric_limits<std::int32_t>::max(), kMin, kMin + 32767},
      {kMin, 0, kMin, kMin + 32767},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.lower) + ".." + std::to_string(c.upper));
    for (int i = 0; i < kDraws; ++i) {
      const std::int32_t v = RandomInRange(c.lower, c.upper);
      ASSERT_GE(v, c.low);
      ASSERT_LE(v, c.high);
    }
  }
  for (int i = 0; i < kDraws; ++i) {
    const std::int32_t v = RandomInRange();
    ASSERT_GE(v, 0);
    ASSERT_LE(v, 32767);
  }
}

TEST(RandomInRangeTest, ReachesEveryValueOfASmallRange) {
  std::set<std::int32_t> seen;
  for (int i = 0; i < kDraws; ++i) seen.insert(RandomInRange(1, 3));
  EXPECT_EQ(seen, (std::set<std::int32_t>{1, 2, 3}));
  std::set<std::int32_t> quirk;
  for (int i = 0; i < kDraws; ++i) quirk.insert(RandomInRange(-5, 0));
  EXPECT_GT(*quirk.rbegin(), 0);  // the -5..0 quirk shows
}

TEST(RandomAlnumTextTest, DigitsAndLatinLetters) {
  for (const std::int32_t count : {0, -1, -100}) EXPECT_EQ(RandomAlnumText(count), "");
  for (const std::int32_t count : {1, 8, 10, 1000}) {
    SCOPED_TRACE(count);
    const Text t = RandomAlnumText(count);
    ASSERT_EQ(t.size(), static_cast<std::size_t>(count));
    for (const char c : t) {
      const auto b = static_cast<std::uint8_t>(c);
      EXPECT_TRUE((b >= '0' && b <= '9') || (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z'))
          << int{b};
    }
  }
  // All three classes turn up.
  bool digit = false, upper = false, lower = false;
  for (const char c : RandomAlnumText(3000)) {
    const auto b = static_cast<std::uint8_t>(c);
    digit |= b >= '0' && b <= '9';
    upper |= b >= 'A' && b <= 'Z';
    lower |= b >= 'a' && b <= 'z';
  }
  EXPECT_TRUE(digit && upper && lower);
}

}  // namespace
}  // namespace sonavel
