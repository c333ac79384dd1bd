// Redirects: which headers go to which origin, which hops are followed, what
// becomes of the method and body, and where a chain of redirects ends.
// Two recording servers on different ports are two origins.
#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "net/http_access.h"
#include "net/request.h"
#include "tests/net/raw_server.h"
#include "tests/support/test_ca.h"
#include "tests/support/test_server.h"
#include "text/rules.h"

namespace sonavel {
namespace {

using testing::RawHandler;
using testing::RawResponse;
using testing::RawServer;
using testing::RecordedRequest;
using testing::TestCa;
using testing::TestServer;
using Lines = std::vector<std::string>;

constexpr const char* kUa = "User-Agent: Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)";

// "/rNNN?...to=URL" answers NNN with "Location: URL" (URL is everything after
// the first "to=", unencoded); any other target answers 200 "<name> <target>".
RawHandler Route(std::string name) {
  return [name](const RecordedRequest& r) {
    const auto to = r.target.find("to=");
    if (r.target.starts_with("/r") && r.target.size() > 5 && r.target[5] == '?' &&
        to != std::string::npos) {
      return RawResponse(std::stoi(r.target.substr(2, 3)), {"Location: " + r.target.substr(to + 3)},
                         "redirect");
    }
    return RawResponse(200, {"X-Served: " + name}, name + " " + r.target);
  };
}

std::string HostLine(std::string_view host, int port) {
  return "Host: " + std::string(host) + ":" + std::to_string(port);
}

Lines Concat(Lines a, const Lines& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

TEST(RedirectTest, HeadersThatCarryTheUrlOrCredentialsStayWithTheFirstOrigin) {
  RawServer a(Route("a"));
  RawServer b(Route("b"));
  const std::string at = "http://127.0.0.1:" + std::to_string(a.port());
  const std::string bt = "http://127.0.0.1:" + std::to_string(b.port());
  // What the caller gives: a cookie, a credential, a header of no concern.
  const Text extraIn = "Authorization: Bearer t0k\r\nX-Keep: 1";
  const Lines callers = {"Cookie: c=1", "Authorization: Bearer t0k", "X-Keep: 1"};
  const struct {
    std::string name;
    int status;      // of a's redirect
    std::string to;  // its Location
    bool servedByB;
    std::string wantHost;  // of the final request
    bool wantSensitive;    // Referer, Cookie and Authorization in the final request
    std::size_t wantA, wantB;
  } cases[] = {
      {"relative, same origin", 302, "/final", false, "127.0.0.1", true, 2, 0},
      {"absolute, same origin", 301, at + "/final", false, "127.0.0.1", true, 2, 0},
      {"other port", 302, bt + "/final", true, "127.0.0.1", false, 1, 1},
      {"other port, 303", 303, bt + "/final", true, "127.0.0.1", false, 1, 1},
      {"other port, 307", 307, bt + "/final", true, "127.0.0.1", false, 1, 1},
      {"other port, 308", 308, bt + "/final", true, "127.0.0.1", false, 1, 1},
      // The same server under another name is another origin.
      {"other host name", 302, "http://localhost:" + std::to_string(a.port()) + "/final", false,
       "localhost", false, 2, 0},
      // Back on the first origin, which had them in the first place.
      {"there and back", 302, bt + "/r303?to=" + at + "/final", false, "127.0.0.1", true, 2, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::size_t seenA = a.Requests().size();
    const std::size_t seenB = b.Requests().size();
    const std::string url =
        at + "/r" + std::to_string(c.status) + "?client_secret=S3CR3T&to=" + c.to;
    Text extra = extraIn;
    Text cookies = "c=1";
    Text headers;
    std::int32_t status = 0;
    const Bytes body = HttpAccess(url, {.CookiesSent = &cookies,
                                        .ExtraHeaders = &extra,
                                        .ResponseHeaders = &headers,
                                        .StatusCode = &status,
                                        .AutoMergeCookies = false});
    EXPECT_EQ(status, 200);
    const std::string server = c.servedByB ? "b" : "a";
    EXPECT_EQ(ToText(body), server + " /final");
    EXPECT_EQ(headers, "X-Served: " + server + "\r\nContent-Length: " +
                           std::to_string(body.size()) + "\r\nConnection: close");
    // The caller's header text still holds the default Referer line.
    EXPECT_TRUE(ContainsText(extra, "\r\nReferer: " + url + "\r\n")) << extra;

    const auto requestsA = a.Requests();
    const auto requestsB = b.Requests();
    ASSERT_EQ(requestsA.size() - seenA, c.wantA);
    ASSERT_EQ(requestsB.size() - seenB, c.wantB);
    // The first request carries everything.
    EXPECT_EQ(requestsA[seenA].headerLines,
              Concat(Concat({HostLine("127.0.0.1", a.port())}, callers),
                     {"Accept: */*", "Referer: " + url, "Accept-Language: zh-cn", kUa}));
    const RecordedRequest& last = c.servedByB ? requestsB.back() : requestsA.back();
    EXPECT_EQ(last.target, "/final");
    const Lines wantLast =
        c.wantSensitive
            ? Concat(Concat({HostLine(c.wantHost, (c.servedByB ? b : a).port())}, callers),
                     {"Accept: */*", "Referer: " + url, "Accept-Language: zh-cn", kUa})
            : Lines{HostLine(c.wantHost, (c.servedByB ? b : a).port()), "X-Keep: 1", "Accept: */*",
                    "Accept-Language: zh-cn", kUa};
    EXPECT_EQ(last.headerLines, wantLast);
    // No request to b ever saw the secret, in the Referer or anywhere else.
    for (std::size_t i = seenB; i < requestsB.size(); ++i) {
      for (const std::string& line : requestsB[i].headerLines)
        EXPECT_FALSE(ContainsText(line, "S3CR3T")) << line;
      EXPECT_TRUE(requestsB[i].Values("Cookie").empty());
    }
  }
}

TEST(RedirectTest, CallersOwnRefererAndHostStayWithTheFirstOrigin) {
  RawServer a(Route("a"));
  RawServer b(Route("b"));
  const std::string url = a.Url("/r302?to=" + b.Url("/final"));
  // Any spelling of the names counts.
  Text extra = "referer: http://mine/?k=1\r\nHOST: first.example\r\nCOOKIE: x=2";
  std::int32_t status = 0;
  HttpAccess(url, {.ExtraHeaders = &extra, .StatusCode = &status});
  EXPECT_EQ(status, 200);
  ASSERT_EQ(a.Requests().size(), 1u);
  EXPECT_EQ(a.Requests()[0].Values("Host"), Lines{"first.example"});
  // "referer:" is not "Referer:", so the default line goes too.
  EXPECT_EQ(a.Requests()[0].Values("Referer"), (Lines{"http://mine/?k=1", url}));
  ASSERT_EQ(b.Requests().size(), 1u);
  const RecordedRequest second = b.Requests()[0];
  EXPECT_EQ(second.Values("Host"), Lines{"127.0.0.1:" + std::to_string(b.port())});
  EXPECT_TRUE(second.Values("Referer").empty());
  EXPECT_TRUE(second.Values("Cookie").empty());
}

// An HTTPS server with a CA made for the test; requests go through a lent
// object that accepts it (the trust question is not the point here).
class SecureOrigin {
 public:
  SecureOrigin() : server_(ca_) {
    server_->Get(R"(/go/(.*))", [](const httplib::Request& req, httplib::Response& res) {
      res.status = 302;
      res.set_header("Location", req.matches[1].str());
      res.set_content("moved", "text/plain");
    });
    server_->Get("/final", [this](const httplib::Request& req, httplib::Response& res) {
      std::lock_guard lock(mutex_);
      referers_.push_back(req.get_header_value("Referer"));
      res.set_content("secure final", "text/plain");
    });
    server_.Start();
  }
  std::string Url(std::string_view path) const { return server_.Url(path); }
  Lines Referers() const {
    std::lock_guard lock(mutex_);
    return referers_;
  }

 private:
  TestCa ca_;
  TestServer server_;
  mutable std::mutex mutex_;
  Lines referers_;
};

TEST(RedirectTest, HttpsNeverRedirectsToPlainHttp) {
  SecureOrigin secure;
  RawServer plain(Route("plain"));
  const struct {
    std::string name;
    std::string url;
    std::int32_t wantStatus;
    std::string wantBody;
    Lines wantSecureReferers;  // what the https /final saw
  } cases[] = {
      {"https to http", secure.Url("/go/") + plain.Url("/final"), 302, "moved", {}},
      {"https to https to http",
       secure.Url("/go/") + secure.Url("/go/") + plain.Url("/final"),
       302,
       "moved",
       {}},
      {"https to https",
       secure.Url("/go/") + secure.Url("/final"),
       200,
       "secure final",
       {secure.Url("/go/") + secure.Url("/final")}},
      // Upgrading is followed; the new origin gets no Referer.
      {"http to https", plain.Url("/r302?to=") + secure.Url("/final"), 200, "secure final", {""}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::size_t seenPlain = plain.Requests().size();
    const std::size_t seenSecure = secure.Referers().size();
    HttpRequest object;
    ASSERT_TRUE(object.Option(HttpRequest::kOptionSslErrorIgnoreFlags, 0x3300));
    Text headers;
    std::int32_t status = 0;
    const Bytes body = HttpAccess(
        c.url, {.ResponseHeaders = &headers, .StatusCode = &status, .RequestObject = &object});
    EXPECT_EQ(status, c.wantStatus);
    EXPECT_EQ(ToText(body), c.wantBody);
    if (c.wantStatus == 302) {
      // The redirect answer itself, as with NoRedirect.
      EXPECT_TRUE(ContainsText(headers, "Location: " + plain.Url("/final"))) << headers;
      EXPECT_EQ(plain.Requests().size(), seenPlain);
    }
    const Lines referers = secure.Referers();
    EXPECT_EQ(Lines(referers.begin() + static_cast<std::ptrdiff_t>(seenSecure), referers.end()),
              c.wantSecureReferers);
  }
}

TEST(RedirectTest, MethodAndBodyAfterARedirect) {
  RawServer server(Route("a"));
  const struct {
    std::int32_t method;
    Text postText;
    int status;
    std::string wantLine;  // of the second request
    std::string wantBody;
  } cases[] = {
      // POST becomes GET without a body after 301, 302 and 303.
      {1, "x=1", 301, "GET /final HTTP/1.1", ""},
      {1, "x=1", 302, "GET /final HTTP/1.1", ""},
      {1, "x=1", 303, "GET /final HTTP/1.1", ""},
      // 307 and 308 keep method and body.
      {1, "x=1", 307, "POST /final HTTP/1.1", "x=1"},
      {1, "x=1", 308, "POST /final HTTP/1.1", "x=1"},
      {3, "p", 307, "PUT /final HTTP/1.1", "p"},
      // Other methods keep theirs after 301 and 302; 303 asks for a GET.
      {3, "p", 302, "PUT /final HTTP/1.1", "p"},
      {3, "p", 303, "GET /final HTTP/1.1", ""},
      {5, "", 303, "GET /final HTTP/1.1", ""},
      {0, "g", 303, "GET /final HTTP/1.1", ""},
      {2, "", 302, "HEAD /final HTTP/1.1", ""},
      {2, "", 303, "HEAD /final HTTP/1.1", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(MethodText(c.method) + " " + std::to_string(c.status));
    std::int32_t status = 0;
    HttpAccess(server.Url("/r" + std::to_string(c.status) + "?to=/final"),
               {.Method = c.method, .PostText = c.postText, .StatusCode = &status});
    EXPECT_EQ(status, 200);
    const auto requests = server.Requests();
    ASSERT_GE(requests.size(), 2u);
    const RecordedRequest& second = requests.back();
    EXPECT_EQ(second.requestLine, c.wantLine);
    EXPECT_EQ(second.body, c.wantBody);
    EXPECT_EQ(second.Values("Content-Length"),
              c.wantBody.empty() && second.method != "POST" && second.method != "PUT"
                  ? Lines{}
                  : Lines{std::to_string(c.wantBody.size())});
    EXPECT_TRUE(second.Values("Expect").empty());
  }
}

TEST(RedirectTest, ChainsEndAfterTenRedirects) {
  // "/nK" redirects to "/n(K-1)", alternating between the two servers; "/n0" answers.
  std::atomic<int> ports[2] = {0, 0};
  auto chain = [&ports](int self) {
    return [&ports, self](const RecordedRequest& r) {
      const int left = std::stoi(r.target.substr(2));
      if (left == 0) return RawResponse(200, {}, "end");
      return RawResponse(302,
                         {"Location: http://127.0.0.1:" + std::to_string(ports[1 - self]) + "/n" +
                          std::to_string(left - 1)},
                         "");
    };
  };
  RawServer a(chain(0));
  RawServer b(chain(1));
  ports[0] = a.port();
  ports[1] = b.port();
  const struct {
    int redirects;
    std::int32_t wantStatus;
    std::string wantBody;
    std::size_t wantRequests;
  } cases[] = {
      {10, 200, "end", 11},
      {11, 0, "", 11},  // the eleventh redirect is not followed: no response
      {100, 0, "", 11},
  };
  std::size_t seen = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.redirects);
    std::int32_t status = -1;
    const Bytes body = HttpAccess(a.Url("/n" + std::to_string(c.redirects) + "?secret=1"),
                                  {.StatusCode = &status});
    EXPECT_EQ(status, c.wantStatus);
    EXPECT_EQ(ToText(body), c.wantBody);
    const std::size_t all = a.Requests().size() + b.Requests().size();
    EXPECT_EQ(all - seen, c.wantRequests);
    seen = all;
  }
  for (const RecordedRequest& r : b.Requests()) EXPECT_TRUE(r.Values("Referer").empty());
}

TEST(RedirectTest, RedirectsToOtherSchemesFetchNothing) {
  RawServer server(Route("a"));
  for (const std::string to : {"file:///etc/hostname", "ftp://127.0.0.1/x", "gopher://h/"}) {
    SCOPED_TRACE(to);
    std::int32_t status = -1;
    Text headers = "stale";
    const Bytes body = HttpAccess(server.Url("/r302?to=" + to),
                                  {.ResponseHeaders = &headers, .StatusCode = &status});
    EXPECT_EQ(status, 0);
    EXPECT_TRUE(body.empty());
    EXPECT_EQ(headers, "");
  }
}

TEST(RedirectTest, RequestObjectFollowsAndReportsTheFinalAnswer) {
  RawServer a(Route("a"));
  RawServer b(Route("b"));
  HttpRequest request;
  ASSERT_TRUE(request.Open("POST", a.Url("/r303?to=" + b.Url("/final"))));
  ASSERT_TRUE(request.SetRequestHeader("Referer", "r"));
  ASSERT_TRUE(request.SetRequestHeader("X-A", "1"));
  ASSERT_TRUE(request.Send(Text("body")));
  EXPECT_EQ(request.Status(), 200);
  EXPECT_EQ(ToText(request.ResponseBody()), "b /final");
  EXPECT_EQ(request.GetAllResponseHeaders(),
            "X-Served: b\r\nContent-Length: 8\r\nConnection: close");
  ASSERT_EQ(b.Requests().size(), 1u);
  EXPECT_EQ(b.Requests()[0].Names(), (Lines{"Host", "X-A"}));

  // Switched off, the first answer is the response.
  ASSERT_TRUE(request.Option(HttpRequest::kOptionEnableRedirects, 0));
  ASSERT_TRUE(request.Open("GET", a.Url("/r302?to=" + b.Url("/final"))));
  ASSERT_TRUE(request.Send(Text()));
  EXPECT_EQ(request.Status(), 302);
  EXPECT_EQ(ToText(request.ResponseBody()), "redirect");
  EXPECT_EQ(b.Requests().size(), 1u);
}

}  // namespace
}  // namespace sonavel
