// HttpRequest on its own: the object's contract where HttpAccess does not
// reach it.
#include "net/request.h"

#include <gtest/gtest.h>

#include <type_traits>

#include "tests/net/raw_server.h"
#include "text/rules.h"

namespace sonavel {
namespace {

using testing::RawResponse;
using testing::RawServer;
using testing::RecordedRequest;

static_assert(std::is_default_constructible_v<HttpRequest>);
static_assert(std::is_nothrow_move_constructible_v<HttpRequest>);
static_assert(!std::is_copy_constructible_v<HttpRequest>);

TEST(HttpRequestTest, RefusesBadInput) {
  HttpRequest request;
  ASSERT_TRUE(request.IsValid());
  const struct {
    Text name;
    Text value;
    bool want;
  } headers[] = {
      {"X-A", "1", true},    {"X-A", "", true},         {"", "1", false},
      {"X A", "1", false},   {"X:A", "1", false},       {"X-A", "1\r\nX-B: 2", false},
      {"X-A", "1\n", false}, {"X\xD5\xC5", "1", false}, {"X-A", "\xD5\xC5", true},
  };
  for (const auto& h : headers) {
    SCOPED_TRACE("[" + h.name + "] [" + h.value + "]");
    EXPECT_EQ(request.SetRequestHeader(h.name, h.value), h.want);
  }
  EXPECT_FALSE(request.Open("GET", "http://127.0.0.1/", true));  // no asynchronous mode
  EXPECT_FALSE(request.Open("GE T", "http://127.0.0.1/"));
  EXPECT_FALSE(request.Open("GET", ""));
  EXPECT_FALSE(request.Option(99, 1));
  EXPECT_FALSE(request.SetProxy(HttpRequest::kProxyNamed, ""));
  EXPECT_TRUE(request.SetProxy(HttpRequest::kProxyDirect));
  // Nothing opened yet: nothing to send, nothing to read.
  EXPECT_FALSE(request.Send(Text()));
  EXPECT_EQ(request.Status(), 0);
  EXPECT_TRUE(request.ResponseBody().empty());
  EXPECT_EQ(request.GetAllResponseHeaders(), "");
}

TEST(HttpRequestTest, MovedFromObjectFailsEverything) {
  HttpRequest first;
  HttpRequest second = std::move(first);
  EXPECT_TRUE(second.IsValid());
  EXPECT_FALSE(first.IsValid());  // NOLINT(bugprone-use-after-move): the point of the test
  EXPECT_FALSE(first.SetTimeouts(1, 1, 1, 1));
  EXPECT_FALSE(first.Open("GET", "http://127.0.0.1/"));
  EXPECT_FALSE(first.Send(Bytes{}));
  EXPECT_EQ(first.Status(), 0);
  EXPECT_NE(first.ErrorText(), "");
}

TEST(HttpRequestTest, ReusedObjectSendsEachRequestsOwnHeaders) {
  RawServer server([](const RecordedRequest& r) { return RawResponse(200, {}, r.target); });
  HttpRequest request;
  ASSERT_TRUE(request.Open("GET", server.Url("/one")));
  ASSERT_TRUE(request.SetRequestHeader("X-One", "1"));
  ASSERT_TRUE(request.Send(Text()));
  EXPECT_EQ(ToText(request.ResponseBody()), "/one");

  ASSERT_TRUE(request.Open("POST", server.Url("/two")));
  ASSERT_TRUE(request.SetRequestHeader("X-Two", "2"));
  ASSERT_TRUE(request.Send(Text("body")));
  EXPECT_EQ(ToText(request.ResponseBody()), "/two");
  EXPECT_EQ(request.Status(), 200);

  const auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0].Names(), (std::vector<std::string>{"Host", "X-One"}));
  EXPECT_EQ(requests[1].Names(), (std::vector<std::string>{"Host", "X-Two", "Content-Length"}));
  EXPECT_EQ(requests[1].body, "body");
}

TEST(HttpRequestTest, FailureLeavesErrorTextAndNoResponse) {
  HttpRequest request;
  ASSERT_TRUE(request.Open(
      "GET", "http://127.0.0.1:" + std::to_string(testing::UnusedPort()) + "/?secret=1"));
  EXPECT_FALSE(request.Send(Text()));
  EXPECT_EQ(request.Status(), 0);
  EXPECT_NE(request.ErrorText(), "");
  EXPECT_FALSE(ContainsText(request.ErrorText(), "secret"));
}

}  // namespace
}  // namespace sonavel

namespace sonavel {
namespace {

TEST(HttpRequestTest, RefusedOpenSendsNothingAndDropsPendingHeaders) {
  RawServer server(
      [](const testing::RecordedRequest& r) { return RawResponse(200, {}, r.target); });
  HttpRequest request;
  ASSERT_TRUE(request.Open("GET", server.Url("/first")));
  ASSERT_TRUE(request.Send(Text()));
  // The second Open is refused: the Send must not go to /first again.
  EXPECT_FALSE(request.Open("GET", ""));
  ASSERT_TRUE(request.SetRequestHeader("X-Stale", "1"));
  EXPECT_FALSE(request.Send(Text()));
  EXPECT_EQ(request.Status(), 0);
  // Nor does the header left over reach the next request.
  ASSERT_TRUE(request.Open("GET", server.Url("/third")));
  ASSERT_TRUE(request.Send(Text()));
  const auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[1].target, "/third");
  EXPECT_TRUE(requests[1].Values("X-Stale").empty());
}

}  // namespace
}  // namespace sonavel
