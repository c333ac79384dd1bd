// HttpAccess against a recording server on loopback: what goes on the wire
// and what comes back.
#include "net/http_access.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "tests/net/raw_server.h"
#include "tests/support/scope_guard.h"
#include "text/rules.h"

namespace sonavel {
namespace {

using testing::RawAnswer;
using testing::RawHandler;
using testing::RawResponse;
using testing::RawServer;
using testing::RecordedRequest;
using Lines = std::vector<std::string>;

constexpr const char* kUa = "User-Agent: Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)";

RawHandler Answer(int status, Lines headers, std::string body) {
  return [=](const RecordedRequest&) { return RawResponse(status, headers, body); };
}

std::string Host(const RawServer& server) {
  return "Host: 127.0.0.1:" + std::to_string(server.port());
}

// The default lines the routine adds for `url`, as they reach the server.
Lines DefaultLines(const std::string& url) {
  return {"Accept: */*", "Referer: " + url, "Accept-Language: zh-cn", kUa};
}

Lines Concat(Lines a, const Lines& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

TEST(HttpAccessTest, SendsExactlyTheDefaultHeadersInOrder) {
  RawServer server(Answer(200, {"Content-Type: text/plain"}, "hello"));
  const std::string url = server.Url("/path?token=1&x=%20");
  Text headers;
  std::int32_t status = -1;
  const Bytes body = HttpAccess(url, {.ResponseHeaders = &headers, .StatusCode = &status});

  EXPECT_EQ(ToText(body), "hello");
  EXPECT_EQ(status, 200);
  EXPECT_EQ(headers, "Content-Type: text/plain\r\nContent-Length: 5\r\nConnection: close");
  const auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].requestLine, "GET /path?token=1&x=%20 HTTP/1.1");
  // Host is the client's; nothing else of libcurl's own (no Accept, Expect,
  // User-Agent or Content-Type of its making).
  EXPECT_EQ(requests[0].headerLines, Concat({Host(server)}, DefaultLines(url)));
  EXPECT_EQ(requests[0].body, "");
}

TEST(HttpAccessTest, ExtraHeadersAreSentAndWrittenBack) {
  RawServer server(Answer(204, {}, ""));
  const std::string url = server.Url("/h");
  const Text ua = kUa;
  const struct {
    Text extra;
    Lines wantSent;  // after Host
    Text wantAfter;
  } cases[] = {
      {"X-A:  1  ", Concat({"X-A: 1"}, DefaultLines(url)),
       "X-A:  1  \r\nAccept: */*\r\nReferer: " + url + "\r\nAccept-Language: zh-cn\r\n" + ua},
      // Lower-case accept does not count; X-Accept does (a plain substring test).
      {"accept: text/html", Concat({"accept: text/html"}, DefaultLines(url)),
       "accept: text/html\r\nAccept: */*\r\nReferer: " + url + "\r\nAccept-Language: zh-cn\r\n" +
           ua},
      {"X-Accept: 1",
       {"X-Accept: 1", "Referer: " + url, "Accept-Language: zh-cn", kUa},
       "X-Accept: 1\r\nReferer: " + url + "\r\nAccept-Language: zh-cn\r\n" + ua},
      // A tab after the colon stays in the value; colons after the first stay.
      {"X-T:\tv\r\nX-U: http://h:1/a", Concat({"X-T: \tv", "X-U: http://h:1/a"}, DefaultLines(url)),
       "X-T:\tv\r\nX-U: http://h:1/a\r\nAccept: */*\r\nReferer: " + url +
           "\r\nAccept-Language: zh-cn\r\n" + ua},
      // Empty pieces and lines without a name are skipped; a line break
      // inside a value is refused, not smuggled onto the wire.
      {"X-A: 1\r\n\r\nbroken\r\n: novalue\r\nX-B: 2\nX-C: 3\r\nUser-Agent: me\r\n",
       {"X-A: 1", "User-Agent: me", "Accept: */*", "Referer: " + url, "Accept-Language: zh-cn"},
       "X-A: 1\r\n\r\nbroken\r\n: novalue\r\nX-B: 2\nX-C: 3\r\nUser-Agent: me\r\n\r\nAccept: "
       "*/*\r\nReferer: " +
           url + "\r\nAccept-Language: zh-cn"},
      // An empty value goes out as an empty header.
      {"X-Empty:", Concat({"X-Empty:"}, DefaultLines(url)),
       "X-Empty:\r\nAccept: */*\r\nReferer: " + url + "\r\nAccept-Language: zh-cn\r\n" + ua},
  };
  std::size_t seen = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE("[" + c.extra + "]");
    Text extra = c.extra;
    std::int32_t status = 0;
    HttpAccess(url, {.ExtraHeaders = &extra, .StatusCode = &status});
    EXPECT_EQ(status, 204);
    EXPECT_EQ(extra, c.wantAfter);
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), ++seen);
    EXPECT_EQ(requests.back().headerLines, Concat({Host(server)}, c.wantSent));
  }
}

TEST(HttpAccessTest, MethodsAndBodies) {
  RawServer server(Answer(200, {}, "ok"));
  const std::string url = server.Url("/m");
  const struct {
    std::int32_t method;
    Text postText;
    Bytes postBytes;
    Text wantLine;
    Lines wantAfterDefaults;  // lines after the four default ones
    std::string wantBody;
  } cases[] = {
      {0, "", {}, "GET /m HTTP/1.1", {}, ""},
      {-1, "", {}, "GET /m HTTP/1.1", {}, ""},
      {8, "", {}, "GET /m HTTP/1.1", {}, ""},
      // A GET with a text body sends it.
      {0, "x=1", {}, "GET /m HTTP/1.1", {"Content-Length: 3"}, "x=1"},
      {1,
       "x=1",
       {},
       "POST /m HTTP/1.1",
       {"Content-Type: application/x-www-form-urlencoded", "Content-Length: 3"},
       "x=1"},
      {1,
       "",
       {},
       "POST /m HTTP/1.1",
       {"Content-Type: application/x-www-form-urlencoded", "Content-Length: 0"},
       ""},
      // PostBytes wins over PostText, zero bytes included.
      {1,
       "text",
       {'a', 0, 'b'},
       "POST /m HTTP/1.1",
       {"Content-Type: application/x-www-form-urlencoded", "Content-Length: 3"},
       std::string("a\0b", 3)},
      // PUT never gets a Content-Type of anyone's making.
      {3, "put", {}, "PUT /m HTTP/1.1", {"Content-Length: 3"}, "put"},
      {3, "", {}, "PUT /m HTTP/1.1", {"Content-Length: 0"}, ""},
      {4, "", {}, "OPTIONS /m HTTP/1.1", {}, ""},
      {5, "", {}, "DELETE /m HTTP/1.1", {}, ""},
      {5, "d", {}, "DELETE /m HTTP/1.1", {"Content-Length: 1"}, "d"},
      {6, "", {}, "TRACE /m HTTP/1.1", {}, ""},
      {7, "", {}, "CONNECT /m HTTP/1.1", {}, ""},
      // HEAD sends no body, even when given one.
      {2, "ignored", {}, "HEAD /m HTTP/1.1", {}, ""},
  };
  std::size_t seen = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.wantLine + " with [" + c.postText + "]");
    std::int32_t status = 0;
    const Bytes body = HttpAccess(url, {.Method = c.method,
                                        .PostText = c.postText,
                                        .StatusCode = &status,
                                        .PostBytes = c.postBytes});
    EXPECT_EQ(status, 200);
    EXPECT_EQ(ToText(body), c.method == 2 ? "" : "ok");
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), ++seen);
    EXPECT_EQ(requests.back().requestLine, c.wantLine);
    EXPECT_EQ(requests.back().headerLines,
              Concat(Concat({Host(server)}, DefaultLines(url)), c.wantAfterDefaults));
    EXPECT_EQ(requests.back().body, c.wantBody);
  }
}

TEST(HttpAccessTest, HeadDoesNotWaitForTheBody) {
  // The answer announces 100 bytes and keeps the connection open.
  RawServer server([](const RecordedRequest&) {
    return RawAnswer{"HTTP/1.1 200 OK\r\nContent-Length: 100\r\nX-H: 1\r\n\r\n", false};
  });
  Text headers;
  std::int32_t status = 0;
  const Bytes body = HttpAccess(
      server.Url("/head"),
      {.Method = 2, .ResponseHeaders = &headers, .StatusCode = &status, .TimeoutSeconds = 3});
  EXPECT_EQ(status, 200);
  EXPECT_TRUE(body.empty());
  EXPECT_EQ(headers, "Content-Length: 100\r\nX-H: 1");
}

TEST(HttpAccessTest, BinaryBodyComesBackWhole) {
  const std::string payload("\x00\x01\xFF\x80zero\x00end", 11);
  RawServer server(Answer(200, {"Content-Type: audio/mp3"}, payload));
  const Bytes body = HttpAccess(server.Url("/bin"));
  EXPECT_EQ(std::string(body.begin(), body.end()), payload);
}

TEST(HttpAccessTest, CookiesSent) {
  RawServer server(Answer(200, {}, ""));
  const std::string url = server.Url("/c");
  const struct {
    std::optional<Text> sent;
    Lines wantBeforeDefaults;  // after Host
  } cases[] = {
      {"a=1; b=2", {"Cookie: a=1; b=2"}},
      {"", {}},
      {std::nullopt, {}},
  };
  std::size_t seen = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.sent.value_or("(absent)"));
    Text sent = c.sent.value_or("");
    HttpAccess(url, {.CookiesSent = c.sent ? &sent : nullptr, .AutoMergeCookies = false});
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), ++seen);
    EXPECT_EQ(requests.back().headerLines,
              Concat(Concat({Host(server)}, c.wantBeforeDefaults), DefaultLines(url)));
  }
}

TEST(HttpAccessTest, ReceivedCookiesFromEveryCaseOfSetCookie) {
  RawServer server(Answer(200,
                          {"Set-Cookie: a=1; Path=/", "set-cookie: b=2", "SET-COOKIE:c=3;HttpOnly",
                           "Set-Cookie2: d=4", "X-Other: 5"},
                          ""));
  Text headers;
  Text received;
  HttpAccess(server.Url("/"), {.CookiesReceived = &received, .ResponseHeaders = &headers});
  EXPECT_EQ(received, "a=1; b=2; c=3; Set-Cookie2: d=4");
  EXPECT_EQ(headers,
            "Set-Cookie: a=1; Path=/\r\nSet-Cookie: b=2\r\nSet-Cookie:c=3;HttpOnly\r\n"
            "Set-Cookie2: d=4\r\nX-Other: 5\r\nContent-Length: 0\r\nConnection: close");
}

TEST(HttpAccessTest, MergesCookiesThroughTheRoutine) {
  RawServer server(
      Answer(200, {"Set-Cookie: b=3; Path=/", "Set-Cookie: c=deleted", "Set-Cookie: b=3"}, ""));
  const std::string url = server.Url("/");
  const struct {
    std::optional<Text> sent;
    bool autoMerge;
    Text wantReceived;
    std::optional<Text> wantSent;
  } cases[] = {
      {"a=1; b=2", true, "b=3; a=1", "b=3; a=1"},
      // Given but empty: merging still drops "=deleted" and repeats.
      {"", true, "b=3", "b=3"},
      // Absent, or merging off: the response's cookies as they came.
      {std::nullopt, true, "b=3; c=deleted; b=3", std::nullopt},
      {"a=1; b=2", false, "b=3; c=deleted; b=3", "a=1; b=2"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.sent.value_or("(absent)") + (c.autoMerge ? " merged" : " unmerged"));
    Text sent = c.sent.value_or("");
    Text received = "stale";
    HttpAccess(url, {.CookiesSent = c.sent ? &sent : nullptr,
                     .CookiesReceived = &received,
                     .AutoMergeCookies = c.autoMerge});
    EXPECT_EQ(received, c.wantReceived);
    if (c.wantSent) {
      EXPECT_EQ(sent, *c.wantSent);
    }
  }
}

TEST(HttpAccessTest, RedirectsFollowedOrNot) {
  RawServer server([](const RecordedRequest& request) {
    if (request.target == "/from")
      return RawResponse(302, {"Location: /to", "Set-Cookie: r=1"}, "moved");
    return RawResponse(200, {"X-Final: 1"}, "final");
  });
  {
    SCOPED_TRACE("NoRedirect");
    Text headers;
    Text cookies;
    std::int32_t status = 0;
    const Bytes body = HttpAccess(server.Url("/from"), {.CookiesReceived = &cookies,
                                                        .ResponseHeaders = &headers,
                                                        .StatusCode = &status,
                                                        .NoRedirect = true});
    EXPECT_EQ(status, 302);
    EXPECT_EQ(ToText(body), "moved");
    EXPECT_EQ(headers,
              "Location: /to\r\nSet-Cookie: r=1\r\nContent-Length: 5\r\nConnection: close");
    EXPECT_EQ(cookies, "r=1");
    EXPECT_EQ(server.Requests().size(), 1u);
  }
  {
    SCOPED_TRACE("followed");
    Text headers;
    Text cookies;
    std::int32_t status = 0;
    const Bytes body = HttpAccess(
        server.Url("/from"),
        {.CookiesReceived = &cookies, .ResponseHeaders = &headers, .StatusCode = &status});
    EXPECT_EQ(status, 200);
    EXPECT_EQ(ToText(body), "final");
    // Only the final response's headers.
    EXPECT_EQ(headers, "X-Final: 1\r\nContent-Length: 5\r\nConnection: close");
    EXPECT_EQ(cookies, "");
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[2].requestLine, "GET /to HTTP/1.1");
  }
}

TEST(HttpAccessTest, EndlessRedirectsStopAndFail) {
  RawServer server(Answer(302, {"Location: /again"}, ""));
  std::int32_t status = -1;
  const Bytes body = HttpAccess(server.Url("/again"), {.StatusCode = &status});
  EXPECT_EQ(status, 0);
  EXPECT_TRUE(body.empty());
  EXPECT_EQ(server.Requests().size(), 11u);  // the first and ten redirects
}

TEST(HttpAccessTest, ErrorStatusKeepsItsBody) {
  RawServer server(Answer(404, {"Content-Type: text/plain"}, "nope"));
  std::int32_t status = 0;
  Text headers;
  const Bytes body =
      HttpAccess(server.Url("/missing"), {.ResponseHeaders = &headers, .StatusCode = &status});
  EXPECT_EQ(status, 404);
  EXPECT_EQ(ToText(body), "nope");
  EXPECT_EQ(headers, "Content-Type: text/plain\r\nContent-Length: 4\r\nConnection: close");
}

// Requests that get no (complete) response: empty outputs and status 0.
struct NoResponse {
  Bytes body{'x'};
  Text headers = "stale";
  Text cookies = "stale";
  Text extra = "X-A: 1";
  std::int32_t status = -1;

  void Run(const std::string& url, HttpAccessArgs args = {}) {
    Text sent = "s=1";
    args.CookiesSent = &sent;
    args.CookiesReceived = &cookies;
    args.ExtraHeaders = &extra;
    args.ResponseHeaders = &headers;
    args.StatusCode = &status;
    body = HttpAccess(url, args);
    EXPECT_EQ(sent, "s=1");  // merged with nothing received
  }
  void ExpectEmpty() const {
    EXPECT_TRUE(body.empty());
    EXPECT_EQ(headers, "");
    EXPECT_EQ(status, 0);
    EXPECT_EQ(cookies, "s=1");
    EXPECT_TRUE(ContainsText(extra, "X-A: 1\r\nAccept: */*"));
  }
};

TEST(HttpAccessTest, ConnectionRefused) {
  NoResponse r;
  r.Run("http://127.0.0.1:" + std::to_string(testing::UnusedPort()) + "/");
  r.ExpectEmpty();
}

TEST(HttpAccessTest, UrlsThatAreNotHttpFetchNothing) {
  for (const std::string url : {"file:///etc/hostname", "ftp://127.0.0.1/", "http://[", "", "x"}) {
    SCOPED_TRACE(url);
    NoResponse r;
    r.Run(url);
    r.ExpectEmpty();
  }
}

TEST(HttpAccessTest, TimeoutAgainstAServerThatNeverAnswers) {
  RawServer server([](const RecordedRequest&) { return RawAnswer{"", false}; });
  NoResponse r;
  const auto start = std::chrono::steady_clock::now();
  r.Run(server.Url("/slow"), {.TimeoutSeconds = 1});
  const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
  RecordProperty("seconds", std::to_string(took.count()));
  r.ExpectEmpty();
}

TEST(HttpAccessTest, StallMidBodyDiscardsThePartialResponse) {
  RawServer server([](const RecordedRequest&) {
    return RawAnswer{"HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nhalf", false};
  });
  NoResponse r;
  r.Run(server.Url("/stall"), {.TimeoutSeconds = 1});
  r.ExpectEmpty();
}

TEST(HttpAccessTest, ReadsNoProxyEnvironment) {
  RawServer server(Answer(200, {}, "direct"));
  const std::string dead = "http://127.0.0.1:" + std::to_string(testing::UnusedPort());
  const char* names[] = {"http_proxy", "HTTP_PROXY", "https_proxy", "HTTPS_PROXY",
                         "all_proxy",  "ALL_PROXY",  "no_proxy",    "NO_PROXY"};
  std::vector<std::pair<std::string, std::optional<std::string>>> saved;
  for (const char* name : names) {
    const char* value = std::getenv(name);
    saved.emplace_back(name, value ? std::optional<std::string>(value) : std::nullopt);
  }
  auto restore = testing::MakeScopeGuard([&] {
    for (const auto& [name, value] : saved) {
      if (value) {
        ::setenv(name.c_str(), value->c_str(), 1);
      } else {
        ::unsetenv(name.c_str());
      }
    }
  });
  for (const char* name : names) ::setenv(name, dead.c_str(), 1);
  ::unsetenv("no_proxy");
  ::unsetenv("NO_PROXY");

  std::int32_t status = 0;
  const Bytes body = HttpAccess(server.Url("/"), {.StatusCode = &status});
  EXPECT_EQ(status, 200);
  EXPECT_EQ(ToText(body), "direct");
}

TEST(HttpAccessTest, LentObjectKeepsItsSettingsButNotItsHeaders) {
  RawServer server([](const RecordedRequest& request) {
    if (request.target == "/from") return RawResponse(302, {"Location: /to"}, "moved");
    return RawResponse(200, {}, "final");
  });
  HttpRequest object;
  ASSERT_TRUE(object.Option(HttpRequest::kOptionEnableRedirects, 0));
  std::int32_t status = 0;
  Text extra = "X-Once: 1";
  HttpAccess(server.Url("/from"),
             {.ExtraHeaders = &extra, .StatusCode = &status, .RequestObject = &object});
  EXPECT_EQ(status, 302);  // the object's own setting holds
  HttpAccess(server.Url("/from"), {.StatusCode = &status, .RequestObject = &object});
  EXPECT_EQ(status, 302);
  const auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[1].headerLines, Concat({Host(server)}, DefaultLines(server.Url("/from"))));
  // The object is the caller's and still usable.
  EXPECT_TRUE(object.IsValid());
}

TEST(HttpAccessTest, TimeoutMinusOneLeavesTheObjectsTimeouts) {
  RawServer server([](const RecordedRequest&) { return RawAnswer{"", false}; });
  HttpRequest object;
  ASSERT_TRUE(object.SetTimeouts(1000, 1000, 1000, 1000));
  NoResponse r;
  r.Run(server.Url("/slow"), {.TimeoutSeconds = -1, .RequestObject = &object});
  r.ExpectEmpty();
}

TEST(HttpAccessTest, EmptyLentObjectFailsQuietly) {
  RawServer server(Answer(200, {}, "x"));
  HttpRequest original;
  HttpRequest moved = std::move(original);
  NoResponse r;
  r.Run(server.Url("/"), {.RequestObject = &original});
  r.ExpectEmpty();
  EXPECT_TRUE(server.Requests().empty());
}

}  // namespace
}  // namespace sonavel

namespace sonavel {
namespace {

TEST(HttpAccessTest, ConnectionClosedInsideTheHeadersIsNoResponse) {
  RawServer server([](const testing::RecordedRequest&) {
    return testing::RawAnswer{"HTTP/1.1 200 OK\r\nSet-Cookie: a=1\r\nX-Par", true};
  });
  Text headers = "stale";
  Text cookies = "stale";
  std::int32_t status = -1;
  const Bytes body = HttpAccess(server.Url("/"), {.CookiesReceived = &cookies,
                                                  .ResponseHeaders = &headers,
                                                  .StatusCode = &status,
                                                  .TimeoutSeconds = 1});
  EXPECT_TRUE(body.empty());
  EXPECT_EQ(headers, "");
  EXPECT_EQ(cookies, "");
  EXPECT_EQ(status, 0);
}

TEST(HttpAccessTest, PausesInsideAHeaderLineCountAsProgress) {
  // Two pauses under the 1 s idle limit inside one header line: no stall.
  RawServer server([](const testing::RecordedRequest&) {
    return testing::RawAnswer{
        "HTTP/1.1 200 OK\r\nSet-Cookie: t",
        false,
        {"=1", "; Path=/\r\nContent-Length: 2\r\nConnection: close\r\n\r\nok"},
        std::chrono::milliseconds(700)};
  });
  Text cookies;
  std::int32_t status = 0;
  const Bytes body = HttpAccess(
      server.Url("/"), {.CookiesReceived = &cookies, .StatusCode = &status, .TimeoutSeconds = 1});
  EXPECT_EQ(status, 200);
  EXPECT_EQ(ToText(body), "ok");
  EXPECT_EQ(cookies, "t=1");
}

TEST(HttpAccessTest, HeaderBytesAreMadeWholeCodePage936Lines) {
  const struct {
    std::string line;  // as sent
    Text want;         // as in ResponseHeaders
  } cases[] = {
      // A trailing lead byte would take the CR of the line break with it.
      {"X-Latin1: caf\xE9", "X-Latin1: caf?"},
      {"X-Bad: \xC3\x28\xFF", "X-Bad: ?(?"},
      {"X-Euro: \x80", "X-Euro: ?"},
      // Well-formed pairs stay as they are (UTF-8 read as code page 936 included).
      {"X-Gbk: \xC4\xE3\xBA\xC3", "X-Gbk: \xC4\xE3\xBA\xC3"},
      {"X-Utf8: \xE5\xA5\xBD\xE4\xBD\xA0", "X-Utf8: \xE5\xA5\xBD\xE4\xBD\xA0"},
      // A lead byte before ";" is no character: the cookie ends at the ";".
      {"Set-Cookie: k=caf\xE9; Path=/", "Set-Cookie: k=caf?; Path=/"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.want);
    RawServer server(Answer(200, {c.line, "Set-Cookie: after=1"}, ""));
    Text headers;
    Text cookies;
    HttpAccess(server.Url("/"), {.CookiesReceived = &cookies, .ResponseHeaders = &headers});
    EXPECT_EQ(headers,
              c.want + "\r\nSet-Cookie: after=1\r\nContent-Length: 0\r\nConnection: close");
    EXPECT_EQ(cookies.find_first_of("\r\n"), Text::npos);
    EXPECT_TRUE(cookies.ends_with("after=1")) << cookies;
  }
}

}  // namespace
}  // namespace sonavel

namespace sonavel {
namespace {

TEST(HttpAccessTest, LargeBodyGoesAtOnceWithoutExpect) {
  RawServer server([](const testing::RecordedRequest& r) {
    return RawResponse(200, {}, std::to_string(r.body.size()));
  });
  Bytes payload(1500000);  // above 1 MiB, where libcurl would ask for 100-continue
  for (std::size_t i = 0; i < payload.size(); ++i) payload[i] = static_cast<std::uint8_t>(i * 31);
  for (const std::int32_t method : {1, 3}) {
    SCOPED_TRACE(MethodText(method));
    const Bytes body = HttpAccess(server.Url("/big"), {.Method = method, .PostBytes = payload});
    EXPECT_EQ(ToText(body), "1500000");
    const auto request = server.Requests().back();
    EXPECT_TRUE(request.Values("Expect").empty());
    EXPECT_EQ(request.Values("Content-Length"), std::vector<std::string>{"1500000"});
    EXPECT_EQ(request.body, std::string(payload.begin(), payload.end()));
  }
}

}  // namespace
}  // namespace sonavel
