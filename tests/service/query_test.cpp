#include "service/query.h"

#include <gtest/gtest.h>

namespace sonavel::service {
namespace {

TEST(DecodeComponent, DecodesEscapesPlusAndRawBytes) {
  const struct {
    std::string raw;
    std::optional<std::string> want;
  } cases[] = {
      {"", ""},
      {"abc", "abc"},
      {"%61%62%63", "abc"},
      {"%E4%BD%A0%e5%a5%bd", "\xE4\xBD\xA0\xE5\xA5\xBD"},  // 你好, either case of hex digit
      {"a+b", "a b"},
      {"%2B", "+"},
      {"%20", " "},
      {"%00", std::string(1, '\0')},
      {"\xE4\xBD\xA0", "\xE4\xBD\xA0"},  // raw bytes stay
      {"%25", "%"},
      {"%", std::nullopt},
      {"%4", std::nullopt},
      {"a%", std::nullopt},
      {"%G1", std::nullopt},
      {"%1G", std::nullopt},
      {"%%41", std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.raw);
    EXPECT_EQ(DecodeComponent(c.raw), c.want);
  }
}

TEST(ParseQuery, SplitsAtAmpersandAndFirstEquals) {
  const struct {
    std::string raw;
    std::optional<QueryParams> want;
  } cases[] = {
      {"", QueryParams{}},
      {"a=1", QueryParams{{"a", "1"}}},
      {"a=1&b=2", QueryParams{{"a", "1"}, {"b", "2"}}},
      {"a=1&&b=2&", QueryParams{{"a", "1"}, {"b", "2"}}},
      {"a", QueryParams{{"a", ""}}},
      {"a=", QueryParams{{"a", ""}}},
      {"=v", QueryParams{{"", "v"}}},
      {"a=b=c", QueryParams{{"a", "b=c"}}},
      {"a=1&a=2", QueryParams{{"a", "1"}, {"a", "2"}}},
      {"%74ok=%61", QueryParams{{"tok", "a"}}},
      {"tex=%E4%BD%A0+a&per=4", QueryParams{{"tex", "\xE4\xBD\xA0 a"}, {"per", "4"}}},
      {"tex=%26%3D", QueryParams{{"tex", "&="}}},
      {"a=1&b=%zz", std::nullopt},
      {"%=1", std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.raw);
    EXPECT_EQ(ParseQuery(c.raw), c.want);
  }
}

TEST(SplitTarget, CutsAtFirstQuestionMark) {
  const struct {
    std::string target, path, query;
  } cases[] = {
      {"/a?b=c", "/a", "b=c"}, {"/a", "/a", ""}, {"/a?", "/a", ""},
      {"/a?b?c", "/a", "b?c"}, {"", "", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.target);
    const Target target = SplitTarget(c.target);
    EXPECT_EQ(target.path, c.path);
    EXPECT_EQ(target.query, c.query);
  }
}

TEST(IsUtf8, AcceptsWellFormedOnly) {
  const struct {
    std::string bytes;
    bool want;
  } cases[] = {
      {"", true},
      {"abc", true},
      {std::string(1, '\0'), true},
      {"\xE4\xBD\xA0\xE5\xA5\xBD", true},  // 你好
      {"\xC2\x80", true},                  // U+0080
      {"\xEF\xBF\xBF", true},              // U+FFFF
      {"\xF0\x9F\x98\x80", true},          // U+1F600
      {"\xF4\x8F\xBF\xBF", true},          // U+10FFFF
      {"\x80", false},                     // stray continuation
      {"\xC0\xAF", false},                 // overlong "/"
      {"\xC1\xBF", false},                 // overlong
      {"\xE0\x80\xAF", false},             // overlong, three bytes
      {"\xF0\x80\x80\xAF", false},         // overlong, four bytes
      {"\xED\xA0\x80", false},             // U+D800, a surrogate
      {"\xF4\x90\x80\x80", false},         // above U+10FFFF
      {"\xF5\x80\x80\x80", false},
      {"\xFF", false},
      {"\xE4\xBD", false},  // cut short
      {"\xE4\xBD"
       "a",
       false},
      {"\xC4\xE3\xBA\xC3", false},  // 你好 in code page 936
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.bytes));
    EXPECT_EQ(IsUtf8(c.bytes), c.want);
  }
}

TEST(RedactTarget, HidesSecretValuesAndKeepsLogLinesPrintable) {
  const std::vector<std::string_view> keys = {"tok", "client_secret"};
  const struct {
    std::string target, want;
  } cases[] = {
      {"/t?tok=abc&x=1", "/t?tok=[redacted]&x=1"},
      {"/o?grant_type=client_credentials&client_id=K&client_secret=S",
       "/o?grant_type=client_credentials&client_id=K&client_secret=[redacted]"},
      {"/t?%74ok=abc", "/t?%74ok=[redacted]"},
      {"/t?tok=a&tok=b", "/t?tok=[redacted]&tok=[redacted]"},
      {"/t?tok", "/t?tok"},
      {"/t?tokx=abc", "/t?tokx=abc"},
      {"/t", "/t"},
      {"/t?tex=\xE4\xBD\xA0 \n", "/t?tex=%E4%BD%A0%20%0A"},
      {"/\x1B[2J", "/%1B[2J"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.target);
    EXPECT_EQ(RedactTarget(c.target, keys), c.want);
  }
}

TEST(RedactTarget, CutsLongTargets) {
  const std::string long_target = "/t?tex=" + std::string(2000, 'a');
  const std::string redacted = RedactTarget(long_target, {"tok"}, 100);
  EXPECT_EQ(redacted, long_target.substr(0, 100) + "...");
}

}  // namespace
}  // namespace sonavel::service
