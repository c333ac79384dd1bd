// Cutting a text out between two markers.
#include "text/between.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "tests/text/hex.h"

namespace sonavel {
namespace {

using test::ToHex;

const Text kQuote = "#\xD2\xFD\xBA\xC5";  // "#引号", a marker's double quote

TEST(TextBetweenTest, Cases) {
  struct Case {
    Text text, front, back;
    std::int32_t start;
    bool ignoreCase;
    Text want;
  };
  const Case cases[] = {
      {"x(ab)y(cd)", "(", ")", 0, false, "ab"},
      {"x(ab)y(cd)", "(", ")", 3, false, "cd"},
      {"x(ab)y(cd)", "(", ")", 1, false, "ab"},
      {"x(ab)y(cd)", "(", ")", -4, false, "ab"},
      {"x(ab)y(cd)", "(", ")", 11, false, ""},  // start beyond the last byte
      {"", "(", ")", 0, false, ""},
      {"a)b(c", "(", ")", 0, false, ""},  // the back marker only before the front one
      {"a()b)", "(", ")", 0, false, ""},  // the back marker right after the front one
      {"ab(", "(", ")", 0, false, ""},    // the front marker ends at the last byte
      {"a(b", "(", ")", 0, false, ""},    // no back marker
      {"x(ab)", "[", ")", 0, false, ""},  // no front marker
      {"x(ab)", "(", "", 0, false, ""},   // an empty back marker
      // An empty front marker is found at 1 whenever a byte lies at or after start.
      {"ab)cd)", "", ")", 0, false, "ab"},
      {"ab)cd)", "", ")", 4, false, "ab"},
      {"ab)cd)", "", ")", 7, false, ""},
      {"abcd", "", ")", 0, false, ""},
      // The speech request's token and the cookie of a header line.
      {R"({"access_token":"24.abc-XYZ","expires_in":2592000})", "access_token\":\"", "\"", 0, false,
       "24.abc-XYZ"},
      {R"({"access_token":"24.abc"})", "access_token" + kQuote + ":" + kQuote, kQuote, 0, false,
       "24.abc"},
      {"Set-Cookie: sid=42; Path=/", "Set-Cookie:", ";", 0, false, " sid=42"},
      {"Set-Cookie: sid=42; Path=/", "set-cookie:", ";", 0, true, " sid=42"},
      {"Set-Cookie: sid=42; Path=/", "set-cookie:", ";", 0, false, ""},
      {"x=\"A\"", "x=\"", "\"", 0, true, "A"},
      // Markers only across a character boundary are not found there.
      {"\xC4\xE3\x81\x5C(ab\\)", "\\", ")", 0, false, ""},
      {"\x81\x5C"
       "a\\b)",
       "\\", ")", 0, false, "b"},
      {"(\x81\x5C)", "(", "\\", 0, false, ""},
      {"(\x81\x5C\\", "(", "\\", 0, false, "\x81\x5C"},
      {"\xC4\xE3\xBA\xC3[\xE3\xBA]", "\xE3\xBA", "]", 0, false, ""},
      {"\xC4\xE3\xBA\xC3", "\xC4\xE3", "\xC3", 0, false, ""},  // C3 only as a second byte
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(ToHex(c.text) + " [" + c.front + "|" + c.back + "] " + std::to_string(c.start));
    EXPECT_EQ(TextBetween(c.text, c.front, c.back, c.start, c.ignoreCase), c.want);
  }
}

TEST(TextBetweenTest, LeavesTheMarkersAsTheyWere) {
  const Text front = "a=" + kQuote;
  const Text back = kQuote;
  EXPECT_EQ(TextBetween("a=\"value\" b=\"x\"", front, back), "value");
  EXPECT_EQ(front, "a=" + kQuote);
  EXPECT_EQ(back, kQuote);
  EXPECT_EQ(TextBetween("x(ab)y(cd)", "(", ")"), "ab");  // start and flag omitted
}

// Markers far into a long text, found whatever lies before them.
TEST(TextBetweenTest, LongText) {
  Text text;
  for (int i = 0; i < 5000; ++i) text += "\xC4\xE3 ab\x81\x5C";
  EXPECT_EQ(TextBetween(text + "\\<x>", "<", ">"), "x");
  EXPECT_EQ(TextBetween(text + "[\xC4\xE3]", "\\[", "]"), "");
  EXPECT_EQ(TextBetween(text + "\\[\xC4\xE3]", "\\[", "]"), "\xC4\xE3");
}

}  // namespace
}  // namespace sonavel
