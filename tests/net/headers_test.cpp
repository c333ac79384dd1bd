#include <gtest/gtest.h>

#include "net/http_access.h"

namespace sonavel {
namespace {

constexpr const char* kUa = "User-Agent: Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)";

TEST(HeaderLineTest, SplitsAtFirstColonAndTrims) {
  const struct {
    Text line;
    Text name;
    Text value;
  } cases[] = {
      {"X-A:  1  ", "X-A", "1"},
      {"X-A:\t1", "X-A", "\t1"},
      {"Referer: http://h:8/a?b=c", "Referer", "http://h:8/a?b=c"},
      {"no colon", "", ""},
      {"", "", ""},
      {":", "", ""},
      {" N :", "N", ""},
      {"\xA1\xA1N\xA1\xA1:\xA1\xA1v\xA1\xA1", "N", "v"},
      // 0x81 0x3A is one character: its second byte is no colon.
      {"a\x81:b:c", "a\x81:b", "c"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE("[" + c.line + "]");
    EXPECT_EQ(HeaderName(c.line), c.name);
    EXPECT_EQ(HeaderValue(c.line), c.value);
  }
}

TEST(DefaultHeadersTest, AppendsWhatIsMissing) {
  const Text url = "http://h/p?q=1";
  const Text referer = "Referer: http://h/p?q=1";
  const struct {
    Text extra;
    std::int32_t method;
    Text want;
  } cases[] = {
      {"", 0, "Accept: */*\r\n" + referer + "\r\nAccept-Language: zh-cn\r\n" + kUa},
      {"X-A: 1", 0, "X-A: 1\r\nAccept: */*\r\n" + referer + "\r\nAccept-Language: zh-cn\r\n" + kUa},
      // The tests are exact, case-sensitive substring searches.
      {"accept: text/html", 0,
       "accept: text/html\r\nAccept: */*\r\n" + referer + "\r\nAccept-Language: zh-cn\r\n" + kUa},
      {"X-Accept: 1", 0, "X-Accept: 1\r\n" + referer + "\r\nAccept-Language: zh-cn\r\n" + kUa},
      // "Accept-Language:" holds no "Accept:", but the caller's line counts for its row.
      {"Accept-Language: en", 0, "Accept-Language: en\r\nAccept: */*\r\n" + referer + "\r\n" + kUa},
      {"Referer: x\r\nUser-Agent: me", 0,
       "Referer: x\r\nUser-Agent: me\r\nAccept: */*\r\nAccept-Language: zh-cn"},
      // POST gets the form type unless the caller named one; PUT never does.
      {"", 1,
       "Accept: */*\r\n" + referer + "\r\nAccept-Language: zh-cn\r\n" + kUa +
           "\r\nContent-Type: application/x-www-form-urlencoded"},
      {"Content-Type: text/plain", 1,
       "Content-Type: text/plain\r\nAccept: */*\r\n" + referer + "\r\nAccept-Language: zh-cn\r\n" +
           kUa},
      {"", 3, "Accept: */*\r\n" + referer + "\r\nAccept-Language: zh-cn\r\n" + kUa},
      // A caller's text ending in CRLF leaves an empty piece (skipped when sent).
      {"X-A: 1\r\n", 0,
       "X-A: 1\r\n\r\nAccept: */*\r\n" + referer + "\r\nAccept-Language: zh-cn\r\n" + kUa},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE("[" + c.extra + "] method " + std::to_string(c.method));
    Text extra = c.extra;
    AppendDefaultHeaders(extra, url, c.method);
    EXPECT_EQ(extra, c.want);
  }
}

TEST(ReceivedCookiesTest, TakesNameValueOfEachSetCookieLine) {
  const struct {
    Text headers;
    Text want;
  } cases[] = {
      {"", ""},
      {"Content-Type: text/plain\r\nContent-Length: 0", ""},
      {"Set-Cookie: a=1; Path=/\r\nSet-Cookie: b=2", "a=1; b=2"},
      // No ";" and no "Set-Cookie:": the whole line is the item.
      {"Set-Cookie2: c=3", "Set-Cookie2: c=3"},
      {"Set-Cookie2: c=3; Version=1", ""},
      {"Set-Cookie:   d=4  ", "d=4"},
      {"Set-Cookie:e=5;x\r\nX: 1\r\nSet-Cookie: f=6", "e=5; f=6"},
      // A value that names the header counts too.
      {"X-Note: Set-Cookie", "X-Note: Set-Cookie"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE("[" + c.headers + "]");
    EXPECT_EQ(ReceivedCookies(c.headers), c.want);
  }
}

TEST(MethodTextTest, TableAndOutOfRange) {
  const struct {
    std::int32_t method;
    Text want;
  } cases[] = {{0, "GET"},     {1, "POST"},   {2, "HEAD"},       {3, "PUT"},
               {4, "OPTIONS"}, {5, "DELETE"}, {6, "TRACE"},      {7, "CONNECT"},
               {-1, "GET"},    {8, "GET"},    {INT32_MIN, "GET"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.method);
    EXPECT_EQ(MethodText(c.method), c.want);
  }
}

}  // namespace
}  // namespace sonavel
