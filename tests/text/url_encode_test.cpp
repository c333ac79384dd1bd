// Percent-encoding of a text for a query value.
#include "text/url_encode.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/text/hex.h"
#include "tests/text/reference_files.h"
#include "text/charset.h"
#include "text/rules.h"

namespace sonavel {
namespace {

using test::ToHex;

TEST(UrlEncodeTest, Cases) {
  struct Case {
    Text text;
    bool keepSafe, asUtf8;
    Text want;
  };
  const Case cases[] = {
      {"", false, false, ""},
      {"", true, true, ""},
      {"a b", false, true, "%61%20%62"},  // the call that asks for speech
      {"a b", true, false, "a%20b"},
      {"-._~*/+", true, false, "-.%5F%7E%2A%2F%2B"},
      {"09AZaz", true, false, "09AZaz"},
      {",:;@", true, false, "%2C%3A%3B%40"},
      {"\xC4\xE3", false, true, "%E4%BD%A0"},
      {"\xC4\xE3", true, true, "%E4%BD%A0"},
      {"\xC4\xE3", false, false, "%C4%E3"},
      {"\xC4\xE3", true, false, "%C4%E3"},
      {"\n", true, false, "%0A"},
      {"\xFF", true, false, "%FF"},
      {"\xFF", false, true, "%EF%BF%BD"},  // not code page 936: U+FFFD
      {"\x81\x5C", true, false, "%81%5C"},
      {"\x81\x5C", true, true, "%E4%B9%97"},
      // "请输入您想播放的内容", as the speech request sends it.
      {"\xC7\xEB\xCA\xE4\xC8\xEB\xC4\xFA\xCF\xEB\xB2\xA5\xB7\xC5\xB5\xC4\xC4\xDA\xC8\xDD", false,
       true,
       "%E8%AF%B7%E8%BE%93%E5%85%A5%E6%82%A8%E6%83%B3%E6%92%AD%E6%94%BE%E7%9A%84%E5%86%85%E5%AE%"
       "B9"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(ToHex(c.text) + (c.keepSafe ? " keepSafe" : "") + (c.asUtf8 ? " asUtf8" : ""));
    EXPECT_EQ(UrlEncode(c.text, c.keepSafe, c.asUtf8), c.want);
    if (!c.keepSafe && !c.asUtf8) {
      EXPECT_EQ(UrlEncode(c.text), c.want);
    }
  }
}

TEST(UrlEncodeTest, EveryByte) {
  for (int b = 1; b <= 0xFF; ++b) {
    SCOPED_TRACE(b);
    const Text text(1, static_cast<char>(b));
    const bool safe = b == '-' || b == '.' || (b >= '0' && b <= '9') || (b >= 'A' && b <= 'Z') ||
                      (b >= 'a' && b <= 'z');
    char escaped[4];
    std::snprintf(escaped, sizeof escaped, "%%%02X", b);
    EXPECT_EQ(UrlEncode(text), escaped);
    EXPECT_EQ(UrlEncode(text, true), safe ? text : Text(escaped));
  }
}

// The WHATWG cases where they apply: an input that code page 936 holds (it
// comes back from UTF-8 unchanged) and an expected output that keeps no byte
// outside our safe set, which is narrower than WHATWG's.
TEST(UrlEncodeTest, PercentEncodingReference) {
  const auto cases = test::ReadPercentEncodingJson();
  if (!cases) GTEST_SKIP() << "percent-encoding.json not found in " SONAVEL_REFS_DIR;
  ASSERT_FALSE(cases->empty());
  int applied = 0;
  for (const test::PercentCase& c : *cases) {
    SCOPED_TRACE(ToHex(c.input) + " -> " + c.utf8);
    const Text text = Utf8ToAnsi(ToBytes(c.input));
    if (AnsiToUtf8(text) != c.input) continue;  // not in code page 936
    bool keepsOnlySafe = true;
    for (std::size_t i = 0; i < c.utf8.size(); ++i) {
      const char k = c.utf8[i];
      if (k == '%') {
        i += 2;
      } else if (UrlEncode(Text(1, k), true) != Text(1, k)) {
        keepsOnlySafe = false;
      }
    }
    if (!keepsOnlySafe) continue;
    ++applied;
    EXPECT_EQ(UrlEncode(text, true, true), c.utf8);
  }
  EXPECT_GE(applied, 1);
}

}  // namespace
}  // namespace sonavel
