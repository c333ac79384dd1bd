// HttpAccess against servers and proxies that fail on purpose, on loopback.
//
// Every case ends with defined values: a request that got no complete
// response gives an empty body, empty headers and cookies, and status 0; no
// call outlives its time-outs (resolve + connect, then the idle limit); no
// descriptor stays open; memory comes back (LeakSanitizer in the sanitizer
// build, resident memory elsewhere). Time-outs are 1 or 2 seconds here.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <string>

#include "net/net.h"
#include "tests/faults/fault_server.h"
#include "tests/faults/process_state.h"
#include "tests/support/test_ca.h"
#include "text/rules.h"

namespace sonavel {
namespace {

using std::chrono::milliseconds;
using testing::FaultConnection;
using testing::FaultServer;
using testing::HttpAnswer;

struct Outcome {
  Bytes body;
  Text headers;
  Text cookies;
  std::int32_t status = -1;
  double seconds = 0;
};

Outcome Access(const Text& url, HttpAccessArgs args) {
  Outcome out;
  args.ResponseHeaders = &out.headers;
  args.CookiesReceived = &out.cookies;
  args.StatusCode = &out.status;
  const auto start = std::chrono::steady_clock::now();
  out.body = HttpAccess(url, args);
  out.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return out;
}

void ExpectNoResponse(const Outcome& out) {
  EXPECT_TRUE(out.body.empty()) << out.body.size() << " bytes";
  EXPECT_EQ(out.headers, "");
  EXPECT_EQ(out.cookies, "");
  EXPECT_EQ(out.status, 0);
}

// The longest a call with `timeoutSeconds` may block: connecting (resolve +
// connect, two limits) and one idle limit, plus room for a loaded machine.
// A hang check, not a speed check.
double HangLimit(int timeoutSeconds) { return 3.0 * timeoutSeconds + 3.0; }

std::string AsString(const Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); }

std::string Head(int status, const std::string& lines) {
  return "HTTP/1.1 " + std::to_string(status) + " X\r\n" + lines;
}

class HttpAccessFaults : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    // libcurl's and OpenSSL's one-time state, before anything is counted.
    HttpAccess("http://127.0.0.1:" + std::to_string(testing::UnusedLoopbackPort()) + "/",
               {.TimeoutSeconds = 1});
  }
  void SetUp() override { descriptors_ = testing::OpenDescriptors(); }
  void TearDown() override {
    EXPECT_EQ(testing::OpenDescriptors(), descriptors_) << "a descriptor was left open";
  }

 private:
  int descriptors_ = 0;
};

TEST_F(HttpAccessFaults, ConnectionRefused) {
  const Outcome out =
      Access("http://127.0.0.1:" + std::to_string(testing::UnusedLoopbackPort()) + "/x",
             {.TimeoutSeconds = 1});
  ExpectNoResponse(out);
  EXPECT_LT(out.seconds, HangLimit(1));
}

TEST_F(HttpAccessFaults, NoAnswer) {
  const struct {
    const char* name;
    bool accept;
    bool https;
    testing::FaultScript script;
  } cases[] = {
      {"listens, never accepts", false, false, nullptr},
      {"accepts, reads, never answers", true, false,
       [](FaultConnection& c) {
         c.ReadRequest();
         c.Hold();
       }},
      {"accepts, never reads", true, false,
       [](FaultConnection& c) { c.Pause(milliseconds(60000)); }},
      {"https, accepts, never shakes hands", true, true, [](FaultConnection& c) { c.Hold(); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    FaultServer server(c.script, nullptr, c.accept);
    const Text url = Text(c.https ? "https://" : "http://") + server.Address() + "/x";
    const Outcome out = Access(url, {.TimeoutSeconds = 1});
    ExpectNoResponse(out);
    EXPECT_LT(out.seconds, HangLimit(1));
  }
}

TEST_F(HttpAccessFaults, StopsInTheHeaders) {
  const std::string partial = Head(200, "Content-Type: text/plain\r\nSet-Cookie: a=1\r\nX-Par");
  const struct {
    const char* name;
    testing::FaultScript script;
  } cases[] = {
      {"closes in the status line",
       [](FaultConnection& c) {
         c.ReadRequest();
         c.Send("HTTP/1.1 20");
       }},
      {"holds the line after some header lines",
       [&](FaultConnection& c) {
         c.ReadRequest();
         c.Send(partial);
         c.Hold();
       }},
      {"resets after some header lines",
       [&](FaultConnection& c) {
         c.ReadRequest();
         c.Send(partial);
         c.Reset();
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    FaultServer server(c.script);
    const Outcome out = Access(server.Url("/x"), {.TimeoutSeconds = 1});
    ExpectNoResponse(out);
    EXPECT_LT(out.seconds, HangLimit(1));
  }
}

// libcurl ends such a transfer without an error; a header block that never
// reached its blank line is still no response (no status, no cookies).
TEST_F(HttpAccessFaults, ClosesAfterSomeHeaderLines) {
  const std::string partial = Head(200, "Content-Type: text/plain\r\nSet-Cookie: a=1\r\nX-Par");
  FaultServer server([&](FaultConnection& c) {
    c.ReadRequest();
    c.Send(partial);
  });
  const Outcome out = Access(server.Url("/x"), {.TimeoutSeconds = 1});
  ExpectNoResponse(out);
}

TEST_F(HttpAccessFaults, StopsInTheBody) {
  const std::string cut =
      Head(200, "Content-Length: 1000\r\nSet-Cookie: a=1; Path=/\r\n\r\n") + "0123456789";
  const std::string chunked =
      Head(200, "Transfer-Encoding: chunked\r\nSet-Cookie: a=1\r\n\r\n") + "10\r\n0123";
  const struct {
    const char* name;
    testing::FaultScript script;
  } cases[] = {
      {"closes after 10 of 1000 bytes",
       [&](FaultConnection& c) {
         c.ReadRequest();
         c.Send(cut);
       }},
      {"holds the line after 10 of 1000 bytes",
       [&](FaultConnection& c) {
         c.ReadRequest();
         c.Send(cut);
         c.Hold();
       }},
      {"resets after 10 of 1000 bytes",
       [&](FaultConnection& c) {
         c.ReadRequest();
         c.Send(cut);
         c.Reset();
       }},
      {"closes inside a chunk",
       [&](FaultConnection& c) {
         c.ReadRequest();
         c.Send(chunked);
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    FaultServer server(c.script);
    const Outcome out = Access(server.Url("/x"), {.TimeoutSeconds = 1});
    ExpectNoResponse(out);
    EXPECT_LT(out.seconds, HangLimit(1));
  }
}

// A trickle that pauses 1.5 s between pieces, under the idle limit of 2 s,
// is a slow answer, not a dead one: it must arrive whole.
constexpr int kTrickleTimeout = 2;
constexpr milliseconds kUnderIdle(1500);

void ExpectTrickleArrives(const std::string& answer, std::size_t piece) {
  FaultServer server([&](FaultConnection& c) {
    c.ReadRequest();
    c.Trickle(answer, piece, kUnderIdle);
  });
  const Outcome out = Access(server.Url("/x"), {.TimeoutSeconds = kTrickleTimeout});
  EXPECT_EQ(out.status, 200);
  EXPECT_EQ(AsString(out.body), "abcd");
  EXPECT_EQ(out.cookies, "t=1");
}

TEST_F(HttpAccessFaults, TrickleOfBodyBytesUnderTheIdleLimit) {
  const std::string head = Head(200, "Content-Length: 4\r\nSet-Cookie: t=1\r\n\r\n");
  FaultServer server([&](FaultConnection& c) {
    c.ReadRequest();
    c.Send(head);
    c.Trickle("abcd", 1, kUnderIdle);
  });
  const Outcome out = Access(server.Url("/x"), {.TimeoutSeconds = kTrickleTimeout});
  EXPECT_EQ(out.status, 200);
  EXPECT_EQ(AsString(out.body), "abcd");
  EXPECT_EQ(out.cookies, "t=1");
}

TEST_F(HttpAccessFaults, TrickleOfHeaderLinesUnderTheIdleLimit) {
  // One whole line per pause; the blank line comes with the body.
  const std::string answer =
      Head(200, "Set-Cookie: t=1\r\nX-A: 1\r\nContent-Length: 4\r\n\r\nabcd");
  std::vector<std::string> pieces;
  for (std::size_t at = 0;;) {
    const std::size_t end = answer.find("\r\n", at) + 2;
    if (end == at + 2) {
      pieces.push_back(answer.substr(at));
      break;
    }
    pieces.push_back(answer.substr(at, end - at));
    at = end;
  }
  FaultServer server([&](FaultConnection& c) {
    c.ReadRequest();
    for (std::size_t i = 0; i < pieces.size(); ++i) {
      if ((i > 0 && !c.Pause(kUnderIdle)) || !c.Send(pieces[i])) return;
    }
  });
  const Outcome out = Access(server.Url("/x"), {.TimeoutSeconds = kTrickleTimeout});
  EXPECT_EQ(out.status, 200);
  EXPECT_EQ(AsString(out.body), "abcd");
  EXPECT_EQ(out.cookies, "t=1");
}

// Bytes that arrive inside a header line are progress too: the pauses
// between them must not add up to the idle limit.
TEST_F(HttpAccessFaults, TrickleInsideAHeaderLineUnderTheIdleLimit) {
  // Pieces of 12 bytes: every pause falls inside a line.
  ExpectTrickleArrives(Head(200, "Set-Cookie: t=1\r\nContent-Length: 4\r\n\r\nabcd"), 12);
}

TEST_F(HttpAccessFaults, TrickleOverTheIdleLimitEnds) {
  const std::string head = Head(200, "Content-Length: 4\r\n\r\n");
  FaultServer server([&](FaultConnection& c) {
    c.ReadRequest();
    c.Send(head);
    c.Trickle("abcd", 1, milliseconds(2500));
  });
  const Outcome out = Access(server.Url("/x"), {.TimeoutSeconds = 1});
  ExpectNoResponse(out);
  EXPECT_LT(out.seconds, HangLimit(1));
}

template <typename Call>
void ExpectMemoryComesBack(Call call, int times) {
  std::string report;
  EXPECT_TRUE(testing::MemoryComesBack(call, times, &report)) << report;
}

TEST_F(HttpAccessFaults, HundredMegabyteBody) {
  std::string body(100u << 20, '\0');
  for (std::size_t i = 0; i < body.size(); ++i) body[i] = static_cast<char>(i * 7 + i / 4096);
  const std::string head = Head(200, "Content-Type: application/octet-stream\r\nContent-Length: " +
                                         std::to_string(body.size()) + "\r\n\r\n");
  FaultServer server([&](FaultConnection& c) {
    while (!c.ReadRequest().empty()) {
      if (!c.Send(head) || !c.Send(body)) return;
    }
  });
  ExpectMemoryComesBack(
      [&] {
        const Outcome out = Access(server.Url("/big"), {.TimeoutSeconds = 2});
        EXPECT_EQ(out.status, 200);
        ASSERT_EQ(out.body.size(), body.size());
        EXPECT_EQ(std::memcmp(out.body.data(), body.data(), body.size()), 0);
      },
      2);
}

TEST_F(HttpAccessFaults, TenThousandHeaderLines) {
  std::string lines;
  for (int i = 0; i < 10000; ++i) lines += "Set-Cookie: c" + std::to_string(i) + "=1\r\n";
  const std::string answer = Head(200, lines + "Content-Length: 2\r\n\r\nok");
  FaultServer server([&](FaultConnection& c) {
    while (!c.ReadRequest().empty()) {
      if (!c.Send(answer)) return;
    }
  });
  ExpectMemoryComesBack(
      [&] {
        Text sent;  // given and empty: the received cookies are merged
        Outcome out = Access(server.Url("/many"), {.CookiesSent = &sent, .TimeoutSeconds = 2});
        EXPECT_EQ(out.status, 200);
        EXPECT_EQ(AsString(out.body), "ok");
        EXPECT_EQ(SplitText(out.headers, "\r\n").size(), 10001u);
        const TextArray cookies = SplitText(out.cookies, "; ");
        ASSERT_EQ(cookies.size(), 10000u);
        EXPECT_EQ(cookies.front(), "c0=1");
        EXPECT_EQ(cookies.back(), "c9999=1");
        EXPECT_EQ(sent, out.cookies);
      },
      2);
}

TEST_F(HttpAccessFaults, MegabyteHeaderLine) {
  const std::string answer =
      Head(200, "X-Big: " + std::string(1u << 20, 'a') + "\r\nContent-Length: 2\r\n\r\nok");
  FaultServer server([&](FaultConnection& c) {
    while (!c.ReadRequest().empty()) {
      if (!c.Send(answer)) return;
    }
  });
  ExpectMemoryComesBack(
      [&] {
        const Outcome out = Access(server.Url("/wide"), {.TimeoutSeconds = 2});
        ExpectNoResponse(out);
        EXPECT_LT(out.seconds, HangLimit(2));
      },
      2);
}

TEST_F(HttpAccessFaults, RedirectLoop) {
  FaultServer server([](FaultConnection& c) {
    if (!c.ReadRequest().empty()) c.Send(HttpAnswer(302, {"Location: /loop"}, "again"));
  });
  const Outcome out = Access(server.Url("/loop"), {.TimeoutSeconds = 1});
  ExpectNoResponse(out);
  EXPECT_LE(server.Requests().size(), 11u) << "at most 10 redirects are followed";

  const Outcome once = Access(server.Url("/loop"), {.NoRedirect = true, .TimeoutSeconds = 1});
  EXPECT_EQ(once.status, 302);
  EXPECT_EQ(AsString(once.body), "again");
}

TEST_F(HttpAccessFaults, RedirectBetweenTwoServers) {
  std::string otherUrl;
  FaultServer b([&](FaultConnection& c) {
    if (!c.ReadRequest().empty()) c.Send(HttpAnswer(302, {"Location: " + otherUrl}, ""));
  });
  FaultServer a([&](FaultConnection& c) {
    if (!c.ReadRequest().empty()) c.Send(HttpAnswer(302, {"Location: " + b.Url("/b")}, ""));
  });
  otherUrl = a.Url("/a");
  const Outcome out = Access(a.Url("/a"), {.TimeoutSeconds = 1});
  ExpectNoResponse(out);
  EXPECT_LE(a.Requests().size() + b.Requests().size(), 11u);
}

TEST_F(HttpAccessFaults, RedirectToHttpsWithAnUntrustedCertificate) {
  const testing::TestCa untrusted;
  FaultServer secure(
      [](FaultConnection& c) {
        if (!c.ReadRequest().empty()) c.Send(HttpAnswer(200, {}, "secret"));
      },
      &untrusted);
  FaultServer plain([&](FaultConnection& c) {
    if (!c.ReadRequest().empty()) c.Send(HttpAnswer(302, {"Location: " + secure.Url("/s")}, ""));
  });
  const Outcome out = Access(plain.Url("/p"), {.TimeoutSeconds = 1});
  ExpectNoResponse(out);
  EXPECT_TRUE(secure.Requests().empty()) << "no request may reach an untrusted server";
}

TEST_F(HttpAccessFaults, ProxyRefuses) {
  const std::string refusal =
      HttpAnswer(407, {"Proxy-Authenticate: Basic realm=\"p\"", "Set-Cookie: p=1"}, "denied");
  FaultServer proxy([&](FaultConnection& c) {
    if (!c.ReadRequest().empty()) c.Send(refusal);
  });
  FaultServer target([](FaultConnection& c) {
    if (!c.ReadRequest().empty()) c.Send(HttpAnswer(200, {}, "target"));
  });
  for (const Text& url : {target.Url("/t"), "https://" + target.Address() + "/t"}) {
    SCOPED_TRACE(url);
    const Outcome out = Access(url, {.ProxyAddress = proxy.Address(),
                                     .TimeoutSeconds = 1,
                                     .ProxyUser = "alice",
                                     .ProxyPassword = "wrong"});
    // The proxy's refusal is the answer: its status and headers, never the target's.
    EXPECT_EQ(out.status, 407);
    EXPECT_NE(FindText(out.headers, "Proxy-Authenticate: Basic"), -1);
    EXPECT_NE(AsString(out.body), "target");
    ASSERT_FALSE(proxy.Requests().empty());
    EXPECT_NE(FindText(proxy.Requests().back(), "\r\nProxy-Authorization: Basic YWxpY2U6d3Jvbmc="),
              -1);
  }
  EXPECT_TRUE(target.Requests().empty());
}

TEST_F(HttpAccessFaults, ProxyClosesOrNeverAnswers) {
  const struct {
    const char* name;
    testing::FaultScript script;
  } cases[] = {
      {"closes at once", [](FaultConnection&) {}},
      {"reads, then closes", [](FaultConnection& c) { c.ReadRequest(); }},
      {"reads, then resets",
       [](FaultConnection& c) {
         c.ReadRequest();
         c.Reset();
       }},
      {"reads, never answers",
       [](FaultConnection& c) {
         c.ReadRequest();
         c.Hold();
       }},
  };
  for (const auto& c : cases) {
    FaultServer proxy(c.script);
    for (const Text url : {"http://127.0.0.1:1/t", "https://127.0.0.1:1/t"}) {
      SCOPED_TRACE(std::string(c.name) + ", " + url);
      const Outcome out = Access(url, {.ProxyAddress = proxy.Address(), .TimeoutSeconds = 1});
      ExpectNoResponse(out);
      EXPECT_LT(out.seconds, HangLimit(1));
    }
  }
}

TEST_F(HttpAccessFaults, ZeroBytesAndInvalidUtf8InTheBody) {
  using namespace std::string_literals;
  const std::string body = "\0\xFF\xFE{\"access_token\":\"a\0b\xC3\x28\"}"s;
  const std::string answer = HttpAnswer(200, {"Set-Cookie: k=v; Path=/"}, body);
  FaultServer server([&](FaultConnection& c) {
    if (!c.ReadRequest().empty()) c.Send(answer);
  });
  const Outcome out = Access(server.Url("/z"), {.TimeoutSeconds = 1});
  EXPECT_EQ(out.status, 200);
  EXPECT_EQ(AsString(out.body), body) << "a body is bytes: zeros and all";
  EXPECT_EQ(out.cookies, "k=v");
}

// A header value that ends in a byte of 0x80 or above must not take the CR
// of the line break with it under the code page 936 rules, or the next
// header line (a Set-Cookie line, say) would be read as part of it.
TEST_F(HttpAccessFaults, HeaderValuesEndingInHighBytes) {
  // Header values in UTF-8 or Latin-1 end in bytes that code page 936 reads
  // as lead bytes. The header text must still be one line per header: no
  // value may take the CR of the line break with it, and no received
  // cookie may hold another header line.
  const struct {
    const char* name;
    std::string line;
    std::string cookie;
    std::string want;  // the cookie received
  } cases[] = {
      {"invalid UTF-8", "X-Bad: \xC3\x28\xFF", "k=1; Path=/", "k=1"},
      {"UTF-8", "X-Name: \xE5\xA5\xBD\xE4\xBD\xA0", "k=1; Path=/", "k=1"},
      {"Latin-1", "Content-Disposition: attachment; filename=caf\xE9", "k=1", "k=1"},
      {"a cookie value", "X-A: 1", "k=caf\xE9; Path=/", "k=caf?"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string answer =
        HttpAnswer(200, {c.line, "Set-Cookie: " + c.cookie, "X-After: Set-Cookie"}, "ok");
    FaultServer server([&](FaultConnection& conn) {
      if (!conn.ReadRequest().empty()) conn.Send(answer);
    });
    const Outcome out = Access(server.Url("/h"), {.TimeoutSeconds = 1});
    EXPECT_EQ(out.status, 200);
    // The three lines, Content-Length and Connection.
    const TextArray lines = SplitText(out.headers, "\r\n");
    EXPECT_EQ(lines.size(), 5u) << out.headers;
    const TextArray cookies = SplitText(out.cookies, "; ");
    ASSERT_EQ(cookies.size(), 2u) << out.cookies;  // k=..., and the text of X-After's line
    EXPECT_EQ(cookies[0], c.want);
    EXPECT_EQ(out.cookies.find_first_of("\r\n"), Text::npos) << out.cookies;
  }
}

TEST_F(HttpAccessFaults, ZeroByteInAHeaderLine) {
  // libcurl refuses an answer whose header holds a zero byte: no response.
  using namespace std::string_literals;
  const std::string answer = HttpAnswer(200, {"Set-Cookie: k=v\0x; Path=/"s}, "ok");
  FaultServer server([&](FaultConnection& c) {
    if (!c.ReadRequest().empty()) c.Send(answer);
  });
  ExpectNoResponse(Access(server.Url("/z"), {.TimeoutSeconds = 1}));
}

}  // namespace
}  // namespace sonavel
