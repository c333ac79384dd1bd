// The local speech service over real HTTPS on loopback.
#include "service/speech_service.h"

#include <gtest/gtest.h>

#include <regex>
#include <thread>

#include "tests/service/audio_check.h"
#include "tests/service/service_fixture.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_ca.h"

namespace sonavel::testing {
namespace {

constexpr const char* kGreeting = "你好，欢迎使用语音朗读工具";  // 13 characters, 39 bytes

std::string ContentType(const httplib::Result& answer) {
  return answer ? answer->get_header_value("Content-Type") : std::string();
}

TEST(SpeechService, TokenEndpoint) {
  RunningService service;
  const std::string id = "&client_id=" + std::string(service::kDevApiKey);
  const std::string secret = "&client_secret=" + std::string(service::kDevSecretKey);
  const std::string path = "/oauth/2.0/token?";
  const struct {
    std::string target;
    int status;
    std::string body_pattern;
  } cases[] = {
      {TokenTarget(), 200, R"(\{"access_token":"[0-9a-f]{64}","expires_in":2592000\})"},
      {path + "grant_type=password" + id + secret, 400,
       R"(\{"error":"unsupported_grant_type","error_description":"[^"]+"\})"},
      {path + id.substr(1) + secret, 400,
       R"(\{"error":"invalid_request","error_description":"missing grant_type"\})"},
      {path + "grant_type=client_credentials&client_id=SomeoneElse1234567890123" + secret, 401,
       R"(\{"error":"invalid_client","error_description":"unknown client id"\})"},
      {path + "grant_type=client_credentials" + id + "&client_secret=WrongSecret", 401,
       R"(\{"error":"invalid_client","error_description":"unknown client secret"\})"},
      {"/oauth/2.0/token", 400, R"(\{"error":"invalid_request",.*\})"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.target);
    const httplib::Result answer = service.Get(c.target);
    ASSERT_TRUE(answer) << httplib::to_string(answer.error());
    EXPECT_EQ(answer->status, c.status);
    EXPECT_EQ(ContentType(answer), "application/json");
    EXPECT_TRUE(std::regex_match(answer->body, std::regex(c.body_pattern))) << answer->body;
  }
}

TEST(SpeechService, SpeechEndpointAnswersMp3ForTheToolsRequest) {
  RunningService service;
  const std::string token = service.NewToken();
  const httplib::Result answer = service.Get(SpeechTarget(kGreeting, token));
  ASSERT_TRUE(answer);
  EXPECT_EQ(answer->status, 200);
  EXPECT_EQ(ContentType(answer), "audio/mp3");
  ASSERT_TRUE(LooksLikeMp3(answer->body));
  const std::optional<Pcm> pcm = DecodeMp3(answer->body);
  ASSERT_TRUE(pcm);
  EXPECT_GT(pcm->seconds(), 1.5);
  EXPECT_GT(Rms(pcm->samples), 1000.0);

  // The same token serves again: tokens last their lifetime, not one request.
  const httplib::Result again = service.Get(SpeechTarget("abc", token));
  ASSERT_TRUE(again);
  EXPECT_EQ(again->status, 200);
  EXPECT_TRUE(LooksLikeMp3(again->body));
}

TEST(SpeechService, SpeechEndpointErrors) {
  RunningService service;
  const std::string token = service.NewToken();
  const std::string tail = "&cuid=Ab3dE6gH9k&ctp=1&lan=zh&vol=5&per=4";
  const std::string ok = "/text2audio?tex=%61&tok=" + token;
  const struct {
    std::string target;
    int status;
    int err_no;
  } cases[] = {
      {"/text2audio?tex=%61" + tail, 401, 502},
      {"/text2audio?tex=%61&tok=" + tail, 401, 502},
      {"/text2audio?tex=%61&tok=" + std::string(64, 'a') + tail, 401, 502},
      {"/text2audio?tok=" + token + tail, 400, 500},
      {"/text2audio?tex=&tok=" + token + tail, 400, 500},
      {"/text2audio?tex=" + PercentEncodeAll(std::string(1025, ' ')) + "&tok=" + token + tail, 400,
       513},
      {"/text2audio?tex=%C4%E3%BA%C3&tok=" + token + tail, 400, 500},
      {"/text2audio?tex=%61%00&tok=" + token + tail, 400, 500},
      {ok + "&cuid=Ab3dE6gH9k&ctp=2&lan=zh", 400, 501},
      {ok + "&cuid=Ab3dE6gH9k&ctp=1&lan=en", 400, 501},
      {ok + "&ctp=1&lan=zh", 400, 501},
      {ok + "&cuid=" + std::string(65, 'c') + "&ctp=1&lan=zh", 400, 501},
      {ok + tail + "&vol=16", 400, 501},
      {ok + "&cuid=Ab3dE6gH9k&ctp=1&lan=zh&per=-4", 400, 501},
      {ok + "&cuid=Ab3dE6gH9k&ctp=1&lan=zh&per=2", 400, 501},
      {ok + tail + "&tex=%62", 400, 501},
      {ok + tail + "&x=%4", 400, 501},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.target.substr(0, 150));
    const httplib::Result answer = service.Get(c.target);
    ASSERT_TRUE(answer) << httplib::to_string(answer.error());
    EXPECT_EQ(answer->status, c.status);
    EXPECT_EQ(ContentType(answer), "application/json");
    EXPECT_EQ(answer->get_header_value("Content-Type").find("audio/mp3"), std::string::npos);
    EXPECT_TRUE(std::regex_match(
        answer->body,
        std::regex("\\{\"err_no\":" + std::to_string(c.err_no) + ",\"err_msg\":\"[^\"]+\"\\}")))
        << answer->body;
  }
}

TEST(SpeechService, TheLongestTextAndRawBytesAreAccepted) {
  RunningService service;
  const std::string token = service.NewToken();
  const std::string tail = "&tok=" + token + "&cuid=Ab3dE6gH9k&ctp=1&lan=zh&vol=5&per=4";
  const std::string cases[] = {
      "/text2audio?tex=" + PercentEncodeAll(std::string(1023, ' ') + "a") + tail,  // 1024 bytes
      "/text2audio?tex=\xE4\xBD\xA0\xE5\xA5\xBD" + tail,  // UTF-8 not percent-encoded
      "/text2audio?tex=a+b" + tail,
  };
  for (const std::string& target : cases) {
    SCOPED_TRACE(target.substr(0, 60));
    const httplib::Result answer = service.Get(target);
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->status, 200) << answer->body;
    EXPECT_EQ(ContentType(answer), "audio/mp3");
    EXPECT_TRUE(DecodeMp3(answer->body).has_value());
  }
}

TEST(SpeechService, VoicesAndVolumeReachTheAudio) {
  RunningService service;
  const std::string token = service.NewToken();
  const auto decoded = [&](int per, int vol) {
    const httplib::Result answer = service.Get(SpeechTarget(kGreeting, token, per, vol));
    EXPECT_TRUE(answer && answer->status == 200);
    return answer ? DecodeMp3(answer->body).value_or(Pcm{}) : Pcm{};
  };
  const Pcm quick = decoded(4, 5);
  const Pcm slow = decoded(3, 5);
  EXPECT_LT(quick.seconds() * 1.2, slow.seconds());
  EXPECT_GT(ZeroCrossingsPerSecond(quick), 1.2 * ZeroCrossingsPerSecond(slow));
  EXPECT_LT(Rms(decoded(4, 0).samples) * 3, Rms(decoded(4, 15).samples));
}

TEST(SpeechService, OtherPathsAndMethods) {
  RunningService service;
  const std::string token = service.NewToken();
  for (const std::string target : {"/", "/text2audio/", "/TEXT2AUDIO", "/oauth/2.0/token/x",
                                   "/text2%61udio?tex=a", "/favicon.ico"}) {
    SCOPED_TRACE(target);
    const httplib::Result answer = service.Get(target);
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->status, 404);
    EXPECT_EQ(ContentType(answer), "application/json");
    EXPECT_EQ(answer->body, R"({"error":"not_found","error_description":"no such path"})");
  }

  const auto client = service.Client();
  const httplib::Result post = client->Post(TokenTarget().c_str(), "x=1", "text/plain");
  ASSERT_TRUE(post);
  EXPECT_EQ(post->status, 405);
  EXPECT_EQ(post->get_header_value("Allow"), "GET, HEAD");
  EXPECT_EQ(ContentType(post), "application/json");
  const httplib::Result del = client->Delete("/text2audio");
  ASSERT_TRUE(del);
  EXPECT_EQ(del->status, 405);

  const httplib::Result head = client->Head(SpeechTarget("abc", token).c_str());
  ASSERT_TRUE(head);
  EXPECT_EQ(head->status, 200);
  EXPECT_EQ(ContentType(head), "audio/mp3");
  EXPECT_EQ(head->body, "");

  // Too long for the server to read: still a JSON answer.
  const httplib::Result too_long =
      service.Get("/text2audio?tex=" + PercentEncodeAll(std::string(3000, 'a')));
  ASSERT_TRUE(too_long);
  EXPECT_EQ(too_long->status, 414);
  EXPECT_EQ(ContentType(too_long), "application/json");
  EXPECT_NE(too_long->body.find("\"error\":\"invalid_request\""), std::string::npos);
}

TEST(SpeechService, TokensExpire) {
  RunningService service({.token_ttl = std::chrono::seconds(1)});
  const httplib::Result answer = service.Get(TokenTarget());
  ASSERT_TRUE(answer);
  EXPECT_NE(answer->body.find("\"expires_in\":1}"), std::string::npos);
  const std::string token = service.NewToken();
  const httplib::Result fresh = service.Get(SpeechTarget("a", token));
  ASSERT_TRUE(fresh);
  EXPECT_EQ(fresh->status, 200);

  std::this_thread::sleep_for(std::chrono::milliseconds(1100));
  const httplib::Result stale = service.Get(SpeechTarget("a", token));
  ASSERT_TRUE(stale);
  EXPECT_EQ(stale->status, 401);
  EXPECT_EQ(stale->body, R"({"err_no":502,"err_msg":"token missing, unknown or expired"})");
}

TEST(SpeechService, AnotherServicesTokensAreUnknown) {
  RunningService first;
  RunningService second;
  const httplib::Result answer = second.Get(SpeechTarget("a", first.NewToken()));
  ASSERT_TRUE(answer);
  EXPECT_EQ(answer->status, 401);
}

TEST(SpeechService, ServesConcurrentRequests) {
  RunningService service;
  const std::optional<Pcm> reference = [&] {
    const httplib::Result answer = service.Get(SpeechTarget(kGreeting, service.NewToken()));
    return answer ? DecodeMp3(answer->body) : std::nullopt;
  }();
  ASSERT_TRUE(reference);

  constexpr int kThreads = 4;
  constexpr int kRounds = 3;
  std::vector<std::vector<std::string>> bodies(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      const auto client = service.Client();
      client->set_keep_alive(true);  // the server closes after 5 requests; the client reconnects
      for (int round = 0; round < kRounds; ++round) {
        const httplib::Result token = client->Get(TokenTarget().c_str());
        std::smatch match;
        const std::string body = token ? token->body : "";
        if (!std::regex_search(body, match, std::regex("\"access_token\":\"([0-9a-f]+)\""))) {
          bodies[t].push_back("no token");
          continue;
        }
        const httplib::Result speech = client->Get(SpeechTarget(kGreeting, match[1].str()).c_str());
        bodies[t].push_back(speech && speech->status == 200 ? speech->body : "failed");
      }
    });
  }
  for (std::thread& thread : threads) thread.join();

  for (int t = 0; t < kThreads; ++t) {
    ASSERT_EQ(bodies[t].size(), static_cast<std::size_t>(kRounds));
    for (const std::string& body : bodies[t]) {
      SCOPED_TRACE(t);
      ASSERT_TRUE(LooksLikeMp3(body)) << body.substr(0, 40);
      const std::optional<Pcm> pcm = DecodeMp3(body);
      ASSERT_TRUE(pcm);
      // Whole and unmixed: as long as the same speech made alone.
      EXPECT_NEAR(pcm->seconds(), reference->seconds(), 0.05);
    }
  }
}

TEST(SpeechService, LogsOneLinePerRequestWithoutSecrets) {
  RunningService service;
  const std::string token = service.NewToken();
  ASSERT_TRUE(service.Get(SpeechTarget("abc", token)));
  ASSERT_TRUE(service.Get("/text2audio?tex=%61&tok=" + token));
  ASSERT_TRUE(service.Get("/nowhere"));
  service.Stop();
  const std::vector<std::string> lines = service.LogLines();
  ASSERT_EQ(lines.size(), 4u);
  const std::regex kLine(R"(127\.0\.0\.1 GET /\S* \d{3} \d+ bytes \d+\.\d ms)");
  for (const std::string& line : lines) {
    SCOPED_TRACE(line);
    EXPECT_TRUE(std::regex_match(line, kLine));
    EXPECT_EQ(line.find(token), std::string::npos);
    EXPECT_EQ(line.find(service::kDevSecretKey), std::string::npos);
  }
  EXPECT_NE(lines[0].find("/oauth/2.0/token?grant_type=client_credentials&client_id=" +
                          std::string(service::kDevApiKey) + "&client_secret=[redacted] 200 "),
            std::string::npos);
  EXPECT_NE(lines[1].find("tok=[redacted]&cuid=Ab3dE6gH9k&ctp=1&lan=zh&vol=5&per=4 200 "),
            std::string::npos);
  EXPECT_NE(lines[2].find(" 400 "), std::string::npos);
  EXPECT_NE(lines[3].find("/nowhere 404 "), std::string::npos);
}

TEST(SpeechService, PlainHttpWhenAsked) {
  RunningService service({.plain_http = true});
  httplib::Client client("127.0.0.1", service.port());
  const httplib::Result answer = client.Get(TokenTarget().c_str());
  ASSERT_TRUE(answer);
  EXPECT_EQ(answer->status, 200);
}

TEST(SpeechService, RefusesToStartWithoutUsableCertificates) {
  TempDir dir;
  WriteFile(dir.path() / "bad.pem", "not a certificate");
  const TestCa& ca = TestCa::Local();
  const struct {
    std::string cert, key, want;
  } cases[] = {
      {"", "", "HTTPS needs a certificate and a key"},
      {(dir.path() / "none.pem").string(), ca.key_file(),
       "cannot read the certificate " + (dir.path() / "none.pem").string()},
      {ca.cert_file(), (dir.path() / "none.key").string(),
       "cannot read the key " + (dir.path() / "none.key").string()},
      {(dir.path() / "bad.pem").string(), ca.key_file(), "cannot load the certificate"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.cert);
    service::SpeechService service({.port = 0, .cert_file = c.cert, .key_file = c.key},
                                   SharedSynthesizer());
    std::string error;
    EXPECT_FALSE(service.Start(&error));
    EXPECT_EQ(error.rfind(c.want, 0), 0u) << error;
  }
}

TEST(SpeechService, ASecondServiceCannotTakeTheSamePort) {
  RunningService first;
  const TestCa& ca = TestCa::Local();
  service::SpeechService second(
      {.port = first.port(), .cert_file = ca.cert_file(), .key_file = ca.key_file()},
      SharedSynthesizer());
  std::string error;
  EXPECT_FALSE(second.Start(&error));
  EXPECT_EQ(error, "cannot listen on 127.0.0.1:" + std::to_string(first.port()));
}

}  // namespace
}  // namespace sonavel::testing
