#include "app/speak_text.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "app/access_token.h"
#include "app/main_window.h"
#include "tests/app/scripted_service.h"
#include "tests/support/temp_dir.h"

namespace sonavel {
namespace {

using testing::Answer;
using testing::QueryValue;
using testing::RecordingPlayer;
using testing::ScriptedService;
using testing::TempDir;

// `count` letters and digits, nothing else.
bool IsAlnum(std::string_view text, std::size_t count) {
  if (text.size() != count) return false;
  for (const char c : text) {
    const auto b = static_cast<unsigned char>(c);
    if (!((b >= '0' && b <= '9') || (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z'))) return false;
  }
  return true;
}

// `folder` + "plorix_yuyin_" + 8 letters and digits + ".mp3".
bool IsAudioFileName(std::string_view path, std::string_view folder) {
  constexpr std::string_view kPrefix = "plorix_yuyin_";
  constexpr std::string_view kSuffix = ".mp3";
  if (path.size() != folder.size() + kPrefix.size() + 8 + kSuffix.size()) return false;
  return path.substr(0, folder.size()) == folder &&
         path.substr(folder.size(), kPrefix.size()) == kPrefix &&
         IsAlnum(path.substr(folder.size() + kPrefix.size(), 8), 8) &&
         path.substr(path.size() - kSuffix.size()) == kSuffix;
}

// TMPDIR points at a private folder for the length of a test.
class TemporaryFolderScope {
 public:
  explicit TemporaryFolderScope(const std::filesystem::path& folder) {
    if (const char* old = getenv("TMPDIR")) saved_ = old;
    setenv("TMPDIR", folder.c_str(), 1);
  }
  ~TemporaryFolderScope() {
    if (saved_) {
      setenv("TMPDIR", saved_->c_str(), 1);
    } else {
      unsetenv("TMPDIR");
    }
  }

 private:
  std::optional<std::string> saved_;
};

class SpeakTextTest : public ::testing::Test {
 protected:
  void SetUp() override { AccessToken = "left over"; }

  TempDir temp_;
  TemporaryFolderScope scope_{temp_.path()};
  ScriptedService service_;
  RecordingPlayer player_;
};

TEST_F(SpeakTextTest, RequestsCarryTheKeysTheTextTheTokenAndTheVoice) {
  struct Case {
    Text text;
    std::int32_t speaker;
    std::string tex;
    std::string per;
  };
  const std::vector<Case> cases = {
      {"abc", 4, "%61%62%63", "4"},
      {"\xC4\xE3\xBA\xC3", 4, "%E4%BD%A0%E5%A5%BD", "4"},  // 你好
      {"   ", 4, "%20%20%20", "4"},
      {kEmptyBoxPrompt, 4,
       "%E8%AF%B7%E8%BE%93%E5%85%A5%E6%82%A8%E6%83%B3%E6%92%AD%E6%94%BE%E7%9A%84%E5%86%85%E5%AE%B9",
       "4"},
      {"a&b=c#d", -40, "%61%26%62%3D%63%23%64", "-40"},
      {"", 0, "", "0"},
  };
  const std::string tokenTarget = std::string("/oauth/2.0/token?grant_type=client_credentials") +
                                  "&client_id=" + testing::kTestApiKey +
                                  "&client_secret=" + testing::kTestSecretKey;
  for (std::size_t i = 0; i < cases.size(); ++i) {
    const Case& c = cases[i];
    SCOPED_TRACE(c.tex);
    SpeakText(c.text, c.speaker, player_, service_.Service());

    const auto tokens = service_.TokenRequests();
    const auto speech = service_.SpeechRequests();
    ASSERT_EQ(tokens.size(), i + 1);
    ASSERT_EQ(speech.size(), i + 1);
    EXPECT_EQ(tokens.back().method, "GET");
    EXPECT_EQ(tokens.back().target, tokenTarget);
    const std::string token = "tok-" + std::to_string(i + 1);
    EXPECT_EQ(AccessToken, token);

    const std::string cuid = QueryValue(speech.back().target, "cuid");
    EXPECT_TRUE(IsAlnum(cuid, 10)) << cuid;
    EXPECT_EQ(speech.back().method, "GET");
    EXPECT_EQ(speech.back().target, "/text2audio?tex=" + c.tex + "&tok=" + token + "&cuid=" + cuid +
                                        "&ctp=1&lan=zh&vol=5&per=" + c.per);
  }
}

TEST_F(SpeakTextTest, BothRequestsCarryTheDefaultHeadersAndNothingElse) {
  SpeakText("abc", 4, player_, service_.Service());
  const std::string origin = "https://127.0.0.1:" + std::to_string(service_.port());
  std::vector<testing::SeenRequest> seen = service_.TokenRequests();
  const auto speech = service_.SpeechRequests();
  seen.insert(seen.end(), speech.begin(), speech.end());
  ASSERT_EQ(seen.size(), 2u);
  for (const auto& request : seen) {
    SCOPED_TRACE(request.target);
    const auto header = [&](const char* name) {
      return request.headers.count(name) == 1
                 ? request.headers.find(name)->second
                 : std::string("(") + std::to_string(request.headers.count(name)) + " times)";
    };
    EXPECT_EQ(header("Accept"), "*/*");
    // The server decodes %XX in header values (all but Location) before we see them.
    EXPECT_EQ(header("Referer"), httplib::detail::decode_url(origin + request.target, false));
    EXPECT_EQ(header("Accept-Language"), "zh-cn");
    EXPECT_EQ(header("User-Agent"), "Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)");
    EXPECT_EQ(request.headers.count("Cookie"), 0u);
    EXPECT_EQ(request.headers.count("Content-Type"), 0u);
  }
}

TEST_F(SpeakTextTest, EveryCallAsksForANewTokenAndUsesANewClientIdAndFile) {
  constexpr int kCalls = 4;
  for (int i = 0; i < kCalls; ++i) SpeakText("abc", 4, player_, service_.Service());
  const auto speech = service_.SpeechRequests();
  ASSERT_EQ(service_.TokenRequests().size(), std::size_t{kCalls});
  ASSERT_EQ(speech.size(), std::size_t{kCalls});
  std::set<std::string> cuids;
  for (int i = 0; i < kCalls; ++i) {
    EXPECT_EQ(QueryValue(speech[i].target, "tok"), "tok-" + std::to_string(i + 1));
    cuids.insert(QueryValue(speech[i].target, "cuid"));
  }
  EXPECT_EQ(cuids.size(), std::size_t{kCalls});
  std::set<std::string> paths;
  for (const auto& event : player_.events) {
    if (event.what == "open") paths.insert(event.path);
  }
  EXPECT_EQ(paths.size(), std::size_t{kCalls});
}

TEST_F(SpeakTextTest, TheTokenIsCutOutOfTheAnswer) {
  struct Case {
    std::string body;
    std::string token;
  };
  const std::vector<Case> cases = {
      {R"({"access_token":"24.6c5e1ff107f0e8bcef8c46d3424a0e78.2592000.1","expires_in":2592000})",
       "24.6c5e1ff107f0e8bcef8c46d3424a0e78.2592000.1"},
      {R"({"refresh_token":"r1","access_token":"t2","scope":"audio_tts_post"})", "t2"},
      {R"({"access_token": "spaced"})", ""},
      {R"({"access_token":""})", ""},
      {R"({"Access_Token":"case"})", ""},
      {R"({"access_token":"unterminated)", ""},
      {R"({"error":"invalid_client","error_description":"unknown client id"})", ""},
      {"", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.body);
    service_.SetTokenAnswer({200, "application/json", c.body, {}});
    SpeakText("abc", 4, player_, service_.Service());
    EXPECT_EQ(AccessToken, c.token);
    const std::string target = service_.SpeechRequests().back().target;
    EXPECT_EQ(QueryValue(target, "tok"), c.token);
    if (c.token.empty()) {
      EXPECT_NE(target.find("&tok=&cuid="), std::string::npos) << target;
    }
  }
}

TEST_F(SpeakTextTest, WithoutATokenTheSpeechRequestIsSentAnyway) {
  struct Case {
    const char* name;
    Answer answer;
  };
  const std::vector<Case> cases = {
      {"not found", {404, "text/html", "<h1>not found</h1>", {}}},
      {"server error", {500, "", "", {}}},
      {"empty body", {200, "application/json", "", {}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    service_.SetTokenAnswer(c.answer);
    player_.events.clear();
    SpeakText("abc", 4, player_, service_.Service());
    EXPECT_EQ(AccessToken, "");
    const std::string target = service_.SpeechRequests().back().target;
    EXPECT_NE(target.find("&tok=&cuid="), std::string::npos) << target;
    ASSERT_EQ(player_.events.size(), 2u);  // the speech answer is audio, so it plays
  }
}

TEST_F(SpeakTextTest, TokenAndSpeechHostsAreUsedEachForItsOwnRequest) {
  int closedPort = 0;
  {
    testing::TestServer gone(testing::TestCa::Local());
    gone.Start();
    closedPort = gone.port();
  }
  ScriptedService other;
  SpeechService split = service_.Service();
  split.tokenHost = other.Service().tokenHost;
  SpeechService noTokenHost = service_.Service();
  noTokenHost.tokenHost = "127.0.0.1:" + std::to_string(closedPort);

  SpeakText("abc", 4, player_, split);
  EXPECT_EQ(other.TokenRequests().size(), 1u);
  EXPECT_EQ(other.SpeechRequests().size(), 0u);
  EXPECT_EQ(service_.TokenRequests().size(), 0u);
  ASSERT_EQ(service_.SpeechRequests().size(), 1u);
  EXPECT_EQ(QueryValue(service_.SpeechRequests()[0].target, "tok"), "tok-1");

  SpeakText("abc", 4, player_, noTokenHost);
  EXPECT_EQ(AccessToken, "");
  ASSERT_EQ(service_.SpeechRequests().size(), 2u);
  EXPECT_NE(service_.SpeechRequests()[1].target.find("&tok=&cuid="), std::string::npos);
}

TEST_F(SpeakTextTest, AnAudioAnswerIsWrittenOpenedPlayedAndRemoved) {
  SpeakText("abc", 4, player_, service_.Service());
  ASSERT_EQ(player_.events.size(), 2u);
  const auto& open = player_.events[0];
  EXPECT_EQ(open.what, "open");
  EXPECT_TRUE(IsAudioFileName(open.path, temp_.path().string() + "/")) << open.path;
  EXPECT_TRUE(open.existed);
  EXPECT_EQ(open.mode, 0600u);
  EXPECT_EQ(open.size, ScriptedService::kSpeechBody.size());
  EXPECT_EQ(open.head, ScriptedService::kSpeechBody);
  EXPECT_EQ(player_.events[1].what, "play");
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(open.path)));
  EXPECT_TRUE(temp_.Files().empty());
}

TEST_F(SpeakTextTest, TheMarkerCountsAnywhereInTheHeaderTextInExactCaseOnly) {
  struct Case {
    const char* name;
    Answer answer;
    bool plays;
  };
  const std::string json = R"({"err_no":502,"err_msg":"token invalid","err_subcode":16})";
  const std::vector<Case> cases = {
      {"content type", {200, "audio/mp3", "mp3", {}}, true},
      {"with parameters", {200, "audio/mp3;codec=mpeg", "mp3", {}}, true},
      {"another header", {200, "application/octet-stream", "x", {{"X-Kind", "audio/mp3"}}}, true},
      {"error status", {500, "audio/mp3", "x", {}}, true},
      {"capitals", {200, "Audio/MP3", "x", {}}, false},
      {"all capitals", {200, "AUDIO/MP3", "x", {}}, false},
      {"mpeg", {200, "audio/mpeg", "x", {}}, false},
      {"spaced", {200, "audio/ mp3", "x", {}}, false},
      {"json error", {200, "application/json", json, {}}, false},
      {"json error 500", {500, "application/json", json, {}}, false},
      {"no content type", {200, "", "ID3", {}}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    service_.SetSpeechAnswer(c.answer);
    player_.events.clear();
    SpeakText("abc", 4, player_, service_.Service());
    EXPECT_EQ(player_.events.size(), c.plays ? 2u : 0u);
    EXPECT_TRUE(temp_.Files().empty());
  }
}

TEST_F(SpeakTextTest, EmptyAndHugeBodiesAreWrittenAsTheyAre) {
  struct Case {
    const char* name;
    std::size_t size;
  };
  for (const Case& c : {Case{"empty", 0}, Case{"50 MB", std::size_t{50} << 20}}) {
    SCOPED_TRACE(c.name);
    service_.SetSpeechAnswer({200, "audio/mp3", std::string(c.size, '\xFF'), {}});
    player_.events.clear();
    SpeakText("abc", 4, player_, service_.Service());
    ASSERT_EQ(player_.events.size(), 2u);
    EXPECT_TRUE(player_.events[0].existed);
    EXPECT_EQ(player_.events[0].size, c.size);
    EXPECT_TRUE(temp_.Files().empty());
  }
}

TEST_F(SpeakTextTest, WithoutATemporaryFolderTheFileGoesToTheCurrentDirectory) {
  TempDir current;
  const std::filesystem::path saved = std::filesystem::current_path();
  std::filesystem::current_path(current.path());
  {
    TemporaryFolderScope missing(temp_.path() / "missing");
    SpeakText("abc", 4, player_, service_.Service());
  }
  std::filesystem::current_path(saved);
  ASSERT_EQ(player_.events.size(), 2u);
  EXPECT_TRUE(IsAudioFileName(player_.events[0].path, "")) << player_.events[0].path;
  EXPECT_TRUE(player_.events[0].existed);
  EXPECT_TRUE(current.Files().empty());
}

// A TCP port on 127.0.0.1 that takes connections into its backlog and never
// reads or answers them.
class SilentPort {
 public:
  SilentPort() : fd_(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (fd_ < 0 || ::bind(fd_, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        ::listen(fd_, 16) != 0 ||
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
      ADD_FAILURE() << "cannot listen on 127.0.0.1";
      return;
    }
    port_ = ntohs(address.sin_port);
  }
  ~SilentPort() {
    if (fd_ >= 0) ::close(fd_);
  }
  SilentPort(const SilentPort&) = delete;
  SilentPort& operator=(const SilentPort&) = delete;
  int port() const { return port_; }

 private:
  int fd_;
  int port_ = 0;
};

TEST(SpeakTextSilentService, GivesUpAfterTheTimeoutsAndLeavesNothingBehind) {
  TempDir temp;
  TemporaryFolderScope scope(temp.path());
  SilentPort silent;
  const std::string host = "127.0.0.1:" + std::to_string(silent.port());
  RecordingPlayer player;
  AccessToken = "left over";
  SpeakText("abc", 4, player, {host, host, testing::kTestApiKey, testing::kTestSecretKey});
  EXPECT_EQ(AccessToken, "");
  EXPECT_TRUE(player.events.empty());
  EXPECT_TRUE(temp.Files().empty());
}

}  // namespace
}  // namespace sonavel
