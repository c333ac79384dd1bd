// The shared text rules: double-byte-aware search from a 1-based start,
// ASCII-only case folding, replace, the two spaces, split, parts, numbers.
#include "text/rules.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <iterator>
#include <limits>
#include <random>
#include <string>

#include "tests/text/hex.h"

namespace sonavel {
namespace {

using test::HexString;
using test::ToHex;

// Code page 936 texts used below.
const Text kNi = "\xC4\xE3";     // 你
const Text kHao = "\xBA\xC3";    // 好
const Text kCheng = "\x81\x5C";  // 乗: a backslash as its second byte
const Text kWideSpace = "\xA1\xA1";

TEST(FindTextTest, Positions) {
  struct Case {
    Text text, needle;
    std::int32_t start;
    bool ignoreCase;
    std::int32_t want;
  };
  const Case cases[] = {
      // 1-based results counted from the start of the whole text.
      {"x(ab)y(cd)", "(", 1, false, 2},
      {"x(ab)y(cd)", "(", 3, false, 7},
      {"x(ab)y(cd)", ")", 6, false, 10},
      {"x(ab)y(cd)", "(cd)", 1, false, 7},
      // 0 and negative starts mean the first byte; past the last byte finds nothing.
      {"x(ab)y(cd)", "(", 0, false, 2},
      {"x(ab)y(cd)", "(", -7, false, 2},
      {"x(ab)y(cd)", ")", 10, false, 10},
      {"x(ab)y(cd)", ")", 11, false, -1},
      {"abc", "abcd", 1, false, -1},
      {"", "a", 1, false, -1},
      // An empty needle is found at 1 whenever a byte lies at or after start.
      {"abc", "", 1, false, 1},
      {"abc", "", 3, false, 1},
      {"abc", "", 4, false, -1},
      {"", "", 1, false, -1},
      // A match never begins on the second byte of a two-byte character.
      {kCheng + "\\", "\\", 1, false, 3},
      {kCheng, "\\", 1, false, -1},
      {"a" + kCheng + kCheng + "\\x", "\\", 1, false, 6},
      {kNi + kHao, "\xE3\xBA", 1, false, -1},
      {kNi + kHao, kHao, 1, false, 3},
      {"\xB0\xB0\xA1", "\xB0\xA1", 1, false, -1},  // B0 B0 | A1: the pair lies across
      {"a\x81", "\x81", 1, false, 2},              // a lead byte at the end stands alone
      // Characters are counted from the start byte, even inside a pair.
      {kNi + "\\", "\\", 2, false, -1},
      {kNi + "\\", "\\", 3, false, 3},
      {kNi + kHao, "\xE3\xBA", 2, false, 2},
      // Case folding: only A-Z, on request, on every byte.
      {"Set-Cookie: a=1", "set-cookie:", 1, true, 1},
      {"Set-Cookie: a=1", "set-cookie:", 1, false, -1},
      {"xSET-COOKIE:", "Set-Cookie:", 1, true, 2},
      {"[", "{", 1, true, -1},
      {"@", "`", 1, true, -1},
      {"\xC0", "\xE0", 1, true, -1},
      {"\x81\x41", "\x81\x61", 1, true, 1},
      {"\x81\x41", "\x81\x61", 1, false, -1},
      {kNi + "a", "A", 1, true, 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(ToHex(c.text) + " / " + ToHex(c.needle) + " from " + std::to_string(c.start));
    EXPECT_EQ(FindText(c.text, c.needle, c.start, c.ignoreCase), c.want);
    if (c.start == 1 && !c.ignoreCase) {
      EXPECT_EQ(ContainsText(c.text, c.needle), c.want != -1);
    }
  }
}

// Long runs exercise the word-wise skipping: the answer must not depend on
// how far a run of double-byte characters reaches back.
TEST(FindTextTest, LongDoubleByteRuns) {
  for (int pairs : {0, 1, 7, 8, 9, 31, 64}) {
    SCOPED_TRACE(pairs);
    Text run;
    for (int i = 0; i < pairs; ++i) run += kNi;
    const Text odd = "\xB0" + run;  // B0 C4 | E3 C4 | ...: everything shifted by one
    const auto after = static_cast<std::int32_t>(run.size());
    EXPECT_EQ(FindText("x" + run + "\\", "\\"), after + 2);
    EXPECT_EQ(FindText("x" + run + kCheng, "\\"), -1);
    EXPECT_EQ(FindText(run + "\xE3\xC4", "\xE3\xC4"), after + 1);
    EXPECT_EQ(FindText("x" + odd + "a", kNi), -1);
    EXPECT_EQ(FindText("x" + odd + "\\", "\\"), -1);
    EXPECT_EQ(FindText("x" + odd + "\\\\", "\\"), after + 4);
    EXPECT_EQ(FindText(run + "\\", "\\"), after + 1);
  }
}

// The rule written plainly: walk character by character from the start and
// compare at each one.
std::int32_t PlainFind(const Text& text, const Text& needle, std::int32_t start, bool ignoreCase) {
  const auto fold = [ignoreCase](char c) {
    const auto b = static_cast<std::uint8_t>(c);
    return ignoreCase && b >= 'A' && b <= 'Z' ? b + 0x20 : b;
  };
  const std::size_t from = start < 1 ? 0 : static_cast<std::size_t>(start) - 1;
  if (from >= text.size()) return -1;
  if (needle.empty()) return 1;
  for (std::size_t pos = from; pos < text.size();) {
    bool match = pos + needle.size() <= text.size();
    for (std::size_t i = 0; match && i < needle.size(); ++i)
      match = fold(text[pos + i]) == fold(needle[i]);
    if (match) return static_cast<std::int32_t>(pos + 1);
    pos += static_cast<std::uint8_t>(text[pos]) >= 0x80 && pos + 1 < text.size() ? 2 : 1;
  }
  return -1;
}

// Random texts over a small alphabet of lead bytes, trail bytes that are
// also ASCII, and letters of both cases, long enough for every scanning path.
TEST(FindTextTest, AgreesWithThePlainRule) {
  const char alphabet[] = {'a', 'A', 'b', '\\', '\x81', '\xC4', '\xE3', '\xBA', '\xA1'};
  std::mt19937 random(2024);
  int checked = 0;
  for (int round = 0; round < 3000; ++round) {
    Text text(random() % 300, 'a');
    for (char& c : text) c = alphabet[random() % std::size(alphabet)];
    Text needle(1 + random() % 4, 'a');
    for (char& c : needle) c = alphabet[random() % std::size(alphabet)];
    const auto start = static_cast<std::int32_t>(random() % (text.size() + 3)) - 1;
    for (const bool ignoreCase : {false, true}) {
      SCOPED_TRACE(ToHex(text) + " / " + ToHex(needle) + " from " + std::to_string(start));
      ASSERT_EQ(FindText(text, needle, start, ignoreCase),
                PlainFind(text, needle, start, ignoreCase));
      ++checked;
    }
  }
  EXPECT_EQ(checked, 6000);
}

TEST(EqualTextTest, BytewiseWithAsciiFolding) {
  struct Case {
    Text a, b;
    bool ignoreCase, want;
  };
  const Case cases[] = {
      {"", "", false, true},
      {"a", "a", false, true},
      {"a", "A", false, false},
      {"a", "A", true, true},
      {"ab", "a", true, false},
      {"\xC4\xE3", "\xC4\xE3", false, true},
      {"\x81\x41", "\x81\x61", true, true},
      {"\xE4", "\xC4", true, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(ToHex(c.a) + " vs " + ToHex(c.b));
    EXPECT_EQ(EqualText(c.a, c.b, c.ignoreCase), c.want);
  }
}

TEST(ReplaceTextTest, LeftToRightWithoutOverlap) {
  struct Case {
    Text text, from, to;
    bool ignoreCase;
    Text want;
  };
  const Case cases[] = {
      {"a-b-c", "-", "+", false, "a+b+c"},
      {"aaa", "aa", "b", false, "ba"},
      {"abc", "", "x", false, "abc"},
      {"", "a", "b", false, ""},
      {"abc", "abc", "", false, ""},
      {"AbAB", "ab", "x", true, "xx"},
      {"AbAB", "ab", "x", false, "AbAB"},
      {kCheng + "\\", "\\", "/", false, kCheng + "/"},
      {kNi + kHao, "\xE3\xBA", "!", false, kNi + kHao},
      {"#\xD2\xFD\xBA\xC5x#\xD2\xFD\xBA\xC5", "#\xD2\xFD\xBA\xC5", "\"", false, "\"x\""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(ToHex(c.text) + " / " + ToHex(c.from));
    EXPECT_EQ(ReplaceText(c.text, c.from, c.to, c.ignoreCase), c.want);
  }
}

TEST(SpacesTest, TrimAndRemove) {
  struct Case {
    Text text, trimmed, removed;
  };
  const Case cases[] = {
      {" a b" + kWideSpace, "a b", "ab"},
      {kWideSpace + " x " + kWideSpace, "x", "x"},
      {"\t a \n", "\t a \n", "\ta\n"},  // tab, CR and LF are not spaces
      {"   ", "", ""},
      {"", "", ""},
      {kNi + kWideSpace, kNi, kNi},
      // A1 A1 across a character boundary is no space: B0A1 | A1 41.
      {"\xB0\xA1\xA1\x41", "\xB0\xA1\xA1\x41", "\xB0\xA1\xA1\x41"},
      {"\xB0\xA1\xA1", "\xB0\xA1\xA1", "\xB0\xA1\xA1"},  // B0A1 | lone A1
      {kWideSpace + "\xA1", "\xA1", "\xA1"},
      {"a " + kCheng + " ", "a " + kCheng, "a" + kCheng},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(ToHex(c.text));
    EXPECT_EQ(TrimSpaces(c.text), c.trimmed);
    EXPECT_EQ(RemoveSpaces(c.text), c.removed);
  }
  EXPECT_TRUE(IsSpaceAt(kWideSpace, 0));
  EXPECT_FALSE(IsSpaceAt("\xA1", 0));
  EXPECT_FALSE(IsSpaceAt("\t", 0));
}

TEST(SplitTextTest, Pieces) {
  struct Case {
    Text text, separator;
    TextArray want;
  };
  const Case cases[] = {
      {";a;;b;", ";", {"", "a", "", "b"}},
      {"", ";", {}},
      {"abc", ";", {"abc"}},
      {"abc", "", {"abc"}},
      {"a;", ";", {"a"}},
      {";", ";", {""}},
      {"a;;", ";", {"a", ""}},
      {"k=v\r\nx=y\r\n", "\r\n", {"k=v", "x=y"}},
      {"a::b:c", "::", {"a", "b:c"}},
      {kCheng + "\\x", "\\", {kCheng, "x"}},
      {kNi + kHao + "|" + kHao, kHao, {kNi, "|"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(ToHex(c.text) + " at " + ToHex(c.separator));
    EXPECT_EQ(SplitText(c.text, c.separator), c.want);
  }
}

TEST(PartsTest, LeftRightMiddle) {
  EXPECT_EQ(LeftPart("abc", 2), "ab");
  EXPECT_EQ(LeftPart("abc", 5), "abc");
  EXPECT_EQ(LeftPart("abc", 0), "");
  EXPECT_EQ(LeftPart("abc", -1), "");
  EXPECT_EQ(LeftPart(kNi, 1), "\xC4");  // counts bytes, may cut a character
  EXPECT_EQ(RightPart("abc", 2), "bc");
  EXPECT_EQ(RightPart("abc", 5), "abc");
  EXPECT_EQ(RightPart("abc", 0), "");
  EXPECT_EQ(RightPart("abc", -3), "");
  struct Case {
    std::int32_t start, count;
    Text want;
  };
  const Case cases[] = {{2, 3, "bcd"}, {2, 10, "bcde"}, {5, 1, "e"}, {1, 0, ""},
                        {1, -2, ""},   {0, 2, ""},      {-1, 2, ""}, {6, 1, ""}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.start) + "," + std::to_string(c.count));
    EXPECT_EQ(MiddlePart("abcde", c.start, c.count), c.want);
  }
}

TEST(NumbersTest, DecimalAndHex) {
  const std::pair<std::int64_t, Text> decimals[] = {
      {0, "0"},
      {7, "7"},
      {-40, "-40"},
      {1234567, "1234567"},
      {std::numeric_limits<std::int64_t>::min(), "-9223372036854775808"}};
  for (const auto& [value, want] : decimals) EXPECT_EQ(DecimalText(value), want);
  const std::pair<std::uint64_t, Text> hexes[] = {
      {0, "0"},
      {10, "A"},
      {255, "FF"},
      {0x1A2B, "1A2B"},
      {std::numeric_limits<std::uint64_t>::max(), "FFFFFFFFFFFFFFFF"}};
  for (const auto& [value, want] : hexes) EXPECT_EQ(HexText(value), want);
}

TEST(BytesTextTest, StopsAtTheFirstZeroByte) {
  EXPECT_EQ(ToText(Bytes{0x61, 0x62, 0x00, 0x63}), "ab");
  EXPECT_EQ(ToText(Bytes{0x00, 0x61}), "");
  EXPECT_EQ(ToText(Bytes{}), "");
  EXPECT_EQ(ToText(Bytes{0xC4, 0xE3}), kNi);
  EXPECT_EQ(ToText(std::string_view("a\0b", 3)), "a");
  EXPECT_EQ(ToBytes("ab"), (Bytes{0x61, 0x62}));
  EXPECT_EQ(ToBytes(""), Bytes{});
  EXPECT_EQ(HexString("61 62"), "ab");
}

}  // namespace
}  // namespace sonavel
