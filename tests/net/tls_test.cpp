// HTTPS: certificates and host names are verified; the build's CA is
// trusted; a lent object with Option 4 can accept an untrusted server.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "net/http_access.h"
#include "net/request.h"
#include "tests/support/scope_guard.h"
#include "tests/support/test_ca.h"
#include "tests/support/test_server.h"
#include "text/rules.h"

namespace sonavel {
namespace {

using testing::TestCa;
using testing::TestServer;

void ServeHello(TestServer& server) {
  server->Get("/hello", [](const httplib::Request&, httplib::Response& res) {
    res.set_header("Set-Cookie", "t=1; Secure");
    res.set_content("secure hello", "text/plain");
  });
  server.Start();
}

TEST(TlsTest, TrustsTheBuildsCa) {
  if (std::string(SONAVEL_CA_BUNDLE).empty()) GTEST_SKIP() << "built without SONAVEL_CA_BUNDLE";
  TestServer server(TestCa::Local());
  ServeHello(server);
  std::int32_t status = 0;
  Text cookies;
  const Bytes body =
      HttpAccess(server.Url("/hello"), {.CookiesReceived = &cookies, .StatusCode = &status});
  EXPECT_EQ(status, 200);
  EXPECT_EQ(ToText(body), "secure hello");
  EXPECT_EQ(cookies, "t=1");
}

TEST(TlsTest, UntrustedCertificateGetsNothing) {
  const TestCa untrusted;
  TestServer server(untrusted);
  ServeHello(server);
  std::int32_t status = -1;
  Text headers = "stale";
  const Bytes body =
      HttpAccess(server.Url("/hello"), {.ResponseHeaders = &headers, .StatusCode = &status});
  EXPECT_EQ(status, 0);
  EXPECT_TRUE(body.empty());
  EXPECT_EQ(headers, "");
}

TEST(TlsTest, HostNameIsChecked) {
  if (std::string(SONAVEL_CA_BUNDLE).empty()) GTEST_SKIP() << "built without SONAVEL_CA_BUNDLE";
  // A trusted certificate for localhost and 127.0.0.1, served on 127.0.0.2.
  const TestCa& local = TestCa::Local();
  httplib::SSLServer server(local.cert_file().c_str(), local.key_file().c_str());
  server.Get("/hello", [](const httplib::Request&, httplib::Response& res) {
    res.set_content("secure hello", "text/plain");
  });
  const int port = server.bind_to_any_port("127.0.0.2");
  if (port <= 0) GTEST_SKIP() << "cannot bind 127.0.0.2";
  std::thread thread([&] { server.listen_after_bind(); });
  auto stop = testing::MakeScopeGuard([&] {
    server.stop();
    thread.join();
  });
  while (!server.is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));

  const std::string url = "https://127.0.0.2:" + std::to_string(port) + "/hello";
  std::int32_t status = -1;
  EXPECT_TRUE(HttpAccess(url, {.StatusCode = &status}).empty());
  EXPECT_EQ(status, 0);

  // A lent object that ignores name mismatches only gets through.
  HttpRequest object;
  ASSERT_TRUE(
      object.Option(HttpRequest::kOptionSslErrorIgnoreFlags, HttpRequest::kIgnoreCertCnInvalid));
  EXPECT_EQ(ToText(HttpAccess(url, {.StatusCode = &status, .RequestObject = &object})),
            "secure hello");
  EXPECT_EQ(status, 200);
}

TEST(TlsTest, LentObjectWithOptionFourAcceptsAnUntrustedServer) {
  const TestCa untrusted;
  TestServer server(untrusted);
  ServeHello(server);
  const struct {
    std::int32_t flags;
    std::int32_t wantStatus;
  } cases[] = {
      {0x3300, 200},
      {HttpRequest::kIgnoreUnknownCa, 200},
      // Ignoring a name mismatch alone does not accept an unknown CA.
      {HttpRequest::kIgnoreCertCnInvalid, 0},
      {0, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.flags);
    HttpRequest object;
    ASSERT_TRUE(object.Option(HttpRequest::kOptionSslErrorIgnoreFlags, c.flags));
    std::int32_t status = -1;
    const Bytes body =
        HttpAccess(server.Url("/hello"), {.StatusCode = &status, .RequestObject = &object});
    EXPECT_EQ(status, c.wantStatus);
    EXPECT_EQ(ToText(body), c.wantStatus == 200 ? "secure hello" : "");
  }
}

TEST(TlsTest, OptionFourStaysOnTheObjectOnly) {
  const TestCa untrusted;
  TestServer server(untrusted);
  ServeHello(server);
  HttpRequest object;
  ASSERT_TRUE(object.Option(HttpRequest::kOptionSslErrorIgnoreFlags, 0x3300));
  std::int32_t status = -1;
  HttpAccess(server.Url("/hello"), {.StatusCode = &status, .RequestObject = &object});
  EXPECT_EQ(status, 200);
  // A call without the object verifies again.
  HttpAccess(server.Url("/hello"), {.StatusCode = &status});
  EXPECT_EQ(status, 0);
}

}  // namespace
}  // namespace sonavel
