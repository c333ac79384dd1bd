// Through a real proxy (tinyproxy with Basic credentials), to an http and an
// https origin on loopback.
#include <gtest/gtest.h>

#include <atomic>
#include <mutex>

#include "net/http_access.h"
#include "tests/net/raw_server.h"
#include "tests/net/tiny_proxy.h"
#include "tests/support/test_ca.h"
#include "tests/support/test_server.h"
#include "text/rules.h"

namespace sonavel {
namespace {

using testing::RawResponse;
using testing::RawServer;
using testing::RecordedRequest;
using testing::TestCa;
using testing::TestServer;
using testing::TinyProxy;

constexpr const char* kUser = "alice";
constexpr const char* kPassword = "s3cret";

// An HTTPS origin that notes whether any request carried proxy credentials.
class HttpsOrigin {
 public:
  HttpsOrigin() : server_(TestCa::Local()) {
    server_->Get("/s", [this](const httplib::Request& req, httplib::Response& res) {
      requests_++;
      if (req.has_header("Proxy-Authorization")) leaked_ = true;
      res.set_content("tunnelled", "text/plain");
    });
    server_.Start();
  }
  std::string Url() const { return server_.Url("/s"); }
  int requests() const { return requests_; }
  bool leaked() const { return leaked_; }

 private:
  TestServer server_;
  std::atomic<int> requests_ = 0;
  std::atomic<bool> leaked_ = false;
};

class ProxyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!proxy_.ok()) GTEST_SKIP() << "tinyproxy is not available at " << TinyProxy::kBinary;
    if (std::string(SONAVEL_CA_BUNDLE).empty()) GTEST_SKIP() << "built without SONAVEL_CA_BUNDLE";
  }

  TinyProxy proxy_{kUser, kPassword};
  RawServer origin_{[](const RecordedRequest&) { return RawResponse(200, {}, "via proxy"); }};
  HttpsOrigin httpsOrigin_;
};

TEST_F(ProxyTest, CredentialsReachTheProxyOnly) {
  for (const bool https : {false, true}) {
    SCOPED_TRACE(https ? "https target" : "http target");
    std::int32_t status = 0;
    Text headers;
    const Bytes body = HttpAccess(https ? httpsOrigin_.Url() : origin_.Url("/p"),
                                  {.ResponseHeaders = &headers,
                                   .StatusCode = &status,
                                   .ProxyAddress = proxy_.Address(),
                                   .ProxyUser = kUser,
                                   .ProxyPassword = kPassword});
    EXPECT_EQ(status, 200) << proxy_.Log();
    EXPECT_EQ(ToText(body), https ? "tunnelled" : "via proxy");
    // The origin's headers only, not those of the proxy's CONNECT answer.
    if (https) {
      EXPECT_FALSE(ContainsText(headers, "tinyproxy", true)) << headers;
      EXPECT_TRUE(ContainsText(headers, "Content-Type: text/plain")) << headers;
    }
  }
  // The http request went through the proxy, without the credentials.
  const auto requests = origin_.Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_FALSE(requests[0].Values("Via").empty());
  EXPECT_TRUE(requests[0].Values("Proxy-Authorization").empty());
  // Inside the tunnel the proxy sees nothing, so this is the client's doing.
  EXPECT_EQ(httpsOrigin_.requests(), 1);
  EXPECT_FALSE(httpsOrigin_.leaked());
}

TEST_F(ProxyTest, RefusalsAreTheProxysAnswer) {
  const struct {
    Text user;
    Text password;
    std::int32_t basicAuth;
    std::int32_t wantStatus;
  } cases[] = {
      {"", "", 1, 407},            // no credentials
      {kUser, "wrong", 1, 401},    // tinyproxy's answer to wrong ones
      {kUser, kPassword, 0, 407},  // credentials switched off
      {kUser, kPassword, 2, 407}, {"\xD5\xC5\xC8\xFD", "", 1, 401},  // a user name in code page 936
  };
  for (const bool https : {false, true}) {
    for (const auto& c : cases) {
      SCOPED_TRACE((https ? "https " : "http ") + c.user + ":" + c.password + " auth " +
                   std::to_string(c.basicAuth));
      std::int32_t status = 0;
      Text headers;
      const Bytes body = HttpAccess(https ? httpsOrigin_.Url() : origin_.Url("/p"),
                                    {.ResponseHeaders = &headers,
                                     .StatusCode = &status,
                                     .ProxyAddress = proxy_.Address(),
                                     .ProxyUser = c.user,
                                     .ProxyPassword = c.password,
                                     .ProxyBasicAuth = c.basicAuth});
      EXPECT_EQ(status, c.wantStatus);
      EXPECT_NE(headers, "");
      // Over http the proxy's error page is the body; a refused tunnel has none.
      EXPECT_EQ(body.empty(), https);
    }
  }
  EXPECT_TRUE(origin_.Requests().empty());
  EXPECT_EQ(httpsOrigin_.requests(), 0);
}

TEST_F(ProxyTest, NoAddressMeansDirectWhateverTheUser) {
  std::int32_t status = 0;
  HttpAccess(origin_.Url("/d"),
             {.StatusCode = &status, .ProxyUser = kUser, .ProxyPassword = kPassword});
  EXPECT_EQ(status, 200);
  const auto requests = origin_.Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_TRUE(requests[0].Values("Via").empty());
  EXPECT_TRUE(requests[0].Values("Proxy-Authorization").empty());
}

TEST_F(ProxyTest, RedirectToAnotherOriginGoesThroughTheProxyToo) {
  RawServer first([&](const RecordedRequest&) {
    return RawResponse(302, {"Location: " + origin_.Url("/next")}, "");
  });
  const std::string url = first.Url("/first?client_secret=S3CR3T");
  std::int32_t status = 0;
  const Bytes body = HttpAccess(url, {.StatusCode = &status,
                                      .ProxyAddress = proxy_.Address(),
                                      .ProxyUser = kUser,
                                      .ProxyPassword = kPassword});
  EXPECT_EQ(status, 200) << proxy_.Log();
  EXPECT_EQ(ToText(body), "via proxy");
  const auto firstRequests = first.Requests();
  ASSERT_EQ(firstRequests.size(), 1u);
  EXPECT_EQ(firstRequests[0].Values("Referer"), std::vector<std::string>{url});
  const auto nextRequests = origin_.Requests();
  ASSERT_EQ(nextRequests.size(), 1u);
  for (const RecordedRequest& r : {firstRequests[0], nextRequests[0]}) {
    SCOPED_TRACE(r.requestLine);
    EXPECT_FALSE(r.Values("Via").empty());
    EXPECT_TRUE(r.Values("Proxy-Authorization").empty());
  }
  EXPECT_TRUE(nextRequests[0].Values("Referer").empty());
}

TEST(ProxyDeadTest, UnreachableProxyGetsNothing) {
  RawServer origin([](const RecordedRequest&) { return RawResponse(200, {}, "x"); });
  std::int32_t status = -1;
  const Bytes body = HttpAccess(
      origin.Url("/"), {.StatusCode = &status,
                        .ProxyAddress = "127.0.0.1:" + std::to_string(testing::UnusedPort()),
                        .ProxyUser = kUser});
  EXPECT_TRUE(body.empty());
  EXPECT_EQ(status, 0);
  EXPECT_TRUE(origin.Requests().empty());
}

}  // namespace
}  // namespace sonavel
