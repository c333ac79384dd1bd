#include "net/cookies.h"

#include <gtest/gtest.h>

namespace sonavel {
namespace {

struct MergeCase {
  Text sent;
  Text received;
  Text want;
  Text wantReceivedAfter;  // the received variable: its input without spaces
};

TEST(MergeCookiesTest, MergesAsDescribed) {
  const MergeCase cases[] = {
      // The two worked examples.
      {"a=1; b=2", "b=3; c=deleted", "b=3; a=1", "b=3;c=deleted"},
      {"a=1; b=2; a=9", "a=deleted; d=4; d=4", "d=4; b=2", "a=deleted;d=4;d=4"},
      // Both empty; one side empty.
      {"", "", "", ""},
      {"a=1; a=2; x=deleted", "", "a=1", ""},
      {"", "b=3; b=3; b=4", "b=3; b=4", "b=3;b=3;b=4"},
      // Names are case-sensitive and trimmed; spaces anywhere vanish.
      {"SID=1", "sid=2", "sid=2; SID=1", "sid=2"},
      {"a=hello world", "", "a=helloworld", ""},
      {"a = 1", "a=2", "a=2", "a=2"},
      {"a=1\xA1\xA1; b=2", "", "a=1; b=2", ""},
      // A tab is no space.
      {"a=1\t;b=2", "", "a=1\t; b=2", ""},
      // An item without "=" is all name.
      {"flag", "flag=1", "flag=1", "flag=1"},
      // Only the exact lower-case "=deleted" ending is dropped.
      {"x=Deleted; y=deleted; =deleted", "", "x=Deleted", ""},
      {"deleted; z=1", "", "deleted; z=1", ""},
      // Separators at the end, empty items.
      {"a=1;", "", "a=1", ""},
      {"a=1;;b=2", "", "a=1; ; b=2", ""},
      {"a=1;;;b=2", "", "a=1; ; b=2", ""},
      {";a=1", "", "; a=1", ""},
      {"a=1;;", "", "a=1", ""},
      // Received items never replace one another; old ones fill in behind.
      {"c=1; a=1", "a=2; b=2", "a=2; b=2; c=1", "a=2;b=2"},
      // Values with "=" inside keep them.
      {"t=a=b", "u=1", "u=1; t=a=b", "u=1"},
      // Code page 936 names are bytes like any other.
      {"\xD5\xC5=1", "\xD5\xC5=2", "\xD5\xC5=2", "\xD5\xC5=2"},
  };
  for (const MergeCase& c : cases) {
    SCOPED_TRACE("sent [" + c.sent + "] received [" + c.received + "]");
    Text sent = c.sent;
    Text received = c.received;
    EXPECT_EQ(MergeCookies(sent, received), c.want);
    EXPECT_EQ(sent, c.want);
    EXPECT_EQ(received, c.wantReceivedAfter);
  }
}

TEST(MergeCookiesTest, ManyCookiesKeepOrderAndMeaning) {
  // Linear-time merging must give what the item-by-item rule gives.
  Text sent;
  Text received;
  for (int i = 0; i < 2000; ++i)
    sent += "k" + std::to_string(i % 1500) + "=" + std::to_string(i) + "; ";
  for (int i = 1000; i < 1200; ++i) received += "k" + std::to_string(i) + "=r; ";
  received += "k5=deleted";
  Text want;
  for (int i = 1000; i < 1200; ++i) want += "k" + std::to_string(i) + "=r; ";
  for (int i = 0; i < 1500; ++i) {
    if (i == 5 || (i >= 1000 && i < 1200)) continue;
    want += "k" + std::to_string(i) + "=" + std::to_string(i) + "; ";
  }
  want.resize(want.size() - 2);
  EXPECT_EQ(MergeCookies(sent, received), want);
}

TEST(CookieNameTest, NameBeforeFirstEquals) {
  const struct {
    Text item;
    Text want;
  } cases[] = {
      {"a=1", "a"},
      {" a = 1", "a"},
      {"flag", "flag"},
      {"=x", ""},
      {"", ""},
      {"t=a=b", "t"},
      {"\xA1\xA1n\xA1\xA1=v", "n"},
      {"a\t=1", "a\t"},
      {"\xD5\xC5=1", "\xD5\xC5"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE("[" + c.item + "]");
    EXPECT_EQ(CookieName(c.item), c.want);
  }
}

TEST(HasCookieNameTest, ComparesNamesExactly) {
  const TextArray items = {"a=1", " b = 2", "flag", ""};
  const struct {
    Text name;
    bool want;
  } cases[] = {{"a", true},  {"b", true},  {"flag", true}, {"", true},
               {"A", false}, {"c", false}, {"a=1", false}};
  for (const auto& c : cases) {
    SCOPED_TRACE("[" + c.name + "]");
    EXPECT_EQ(HasCookieName(items, c.name), c.want);
  }
  EXPECT_FALSE(HasCookieName({}, ""));
  EXPECT_FALSE(HasCookieName({}, "a"));
}

TEST(JoinDistinctTest, DropsRepeatsKeepsOrder) {
  const struct {
    Text text;
    Text separator;
    Text want;
  } cases[] = {
      {"", "; ", ""},
      {"abc", "; ", "abc"},
      {"a; b; ", "; ", "a; b"},
      {"d=4; d=4; b=2", "; ", "d=4; b=2"},
      {"b; a; b; a; c", "; ", "b; a; c"},
      {"; ; a", "; ", "; a"},
      {"x,,y,,x", ",", "x,,y"},
      {"a--b--a--", "--", "a--b"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE("[" + c.text + "] by [" + c.separator + "]");
    EXPECT_EQ(JoinDistinct(c.text, c.separator), c.want);
  }
}

TEST(IndexOfTextTest, FirstEqualItemOneBased) {
  const TextArray items = {"a", "", "b", "a"};
  const struct {
    Text text;
    std::int32_t want;
  } cases[] = {{"a", 1}, {"", 2}, {"b", 3}, {"A", -1}, {"c", -1}};
  for (const auto& c : cases) {
    SCOPED_TRACE("[" + c.text + "]");
    EXPECT_EQ(IndexOfText(items, c.text), c.want);
  }
  EXPECT_EQ(IndexOfText({}, ""), -1);
}

}  // namespace
}  // namespace sonavel
