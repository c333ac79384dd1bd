// The built tool end to end: its window under a private X server, its sound
// recorded from a private sound server, its requests answered by the local
// speech service. xdotool clicks and types as a person would.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "tests/e2e/audio.h"
#include "tests/e2e/local_service.h"
#include "tests/e2e/tool_session.h"
#include "tests/e2e/x_server.h"
#include "tests/support/test_ca.h"
#include "text/rules.h"
#include "text/types.h"

namespace sonavel::e2e {
namespace {

using namespace std::chrono_literals;

// What the window shows in its edit box at start-up, and what an empty box is
// replaced by.
constexpr char kGreeting[] = "你好！请在这里输入想要朗读的文字。";
constexpr char kPrompt[] = "请输入您想播放的内容";

// A request as the service logged it: its path and its query keys and values,
// in the order they were sent.
struct LoggedRequest {
  std::string path;
  std::vector<std::pair<std::string, std::string>> query;
  int status = 0;
  std::string line;

  std::optional<std::string> Value(const std::string& key) const {
    for (const auto& [k, v] : query) {
      if (k == key) return v;
    }
    return std::nullopt;
  }
  std::vector<std::string> Keys() const {
    std::vector<std::string> keys;
    for (const auto& entry : query) keys.push_back(entry.first);
    return keys;
  }
};

std::optional<LoggedRequest> ParseRequest(const std::string& line);

bool IsDigits(const std::string& text) {
  return std::all_of(text.begin(), text.end(), [](char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte >= 0x30 && byte <= 0x39;
  });
}

std::vector<LoggedRequest> Requests(const std::vector<std::string>& log, size_t from = 0) {
  std::vector<LoggedRequest> requests;
  for (size_t i = from; i < log.size(); ++i) {
    if (auto request = ParseRequest(log[i])) requests.push_back(std::move(*request));
  }
  return requests;
}

// The tool's two requests for one click of the button: a token request with
// the build's key pair, then the speech request for `text` at the tool's
// settings, in the tool's order.
void ExpectClickRequests(const std::vector<LoggedRequest>& requests, const std::string& text,
                         int speech_status) {
  ASSERT_EQ(requests.size(), 2u);
  const LoggedRequest& token = requests[0];
  SCOPED_TRACE(token.line);
  EXPECT_EQ(token.path, "/oauth/2.0/token");
  EXPECT_EQ(token.Keys(), (std::vector<std::string>{"grant_type", "client_id", "client_secret"}));
  EXPECT_EQ(token.Value("grant_type"), "client_credentials");
  EXPECT_EQ(token.Value("client_id"), Build().api_key);

  const LoggedRequest& speech = requests[1];
  SCOPED_TRACE(speech.line);
  EXPECT_EQ(speech.path, "/text2audio");
  EXPECT_EQ(speech.Keys(),
            (std::vector<std::string>{"tex", "tok", "cuid", "ctp", "lan", "vol", "per"}));
  EXPECT_EQ(speech.Value("tex"), HttpsClient::EncodeAll(text));
  const std::string cuid = speech.Value("cuid").value_or("");
  EXPECT_EQ(cuid.size(), 10u);
  EXPECT_TRUE(std::all_of(cuid.begin(), cuid.end(), [](char c) {
    const auto byte = static_cast<unsigned char>(c);
    return (byte >= 0x30 && byte <= 0x39) || (byte >= 0x41 && byte <= 0x5A) ||
           (byte >= 0x61 && byte <= 0x7A);
  })) << cuid;
  EXPECT_EQ(speech.Value("ctp"), "1");
  EXPECT_EQ(speech.Value("lan"), "zh");
  EXPECT_EQ(speech.Value("vol"), "5");
  EXPECT_EQ(speech.Value("per"), "4");
  EXPECT_EQ(speech.status, speech_status);
}

// The recording holds the reference audio, after the click, at about its own
// loudness and length. The loudness contours are compared piece by piece,
// so that a pause a busy machine put into the playback costs little.
void ExpectHeard(const Audio& heard, const Audio& reference, const Recording& recording,
                 ToolSession::Clock::time_point click) {
  const auto first = FirstLoudSample(heard, kLoudSample);
  ASSERT_TRUE(first) << "the recording is silent";
  EXPECT_GT(recording.SampleTime(*first), click);
  const EnvelopeMatch whole = MatchEnvelope(heard, reference, kLoudWindow);
  const EnvelopeMatch pieces = MatchPieces(heard, reference, kLoudWindow);
  EXPECT_GT(pieces.correlation, 0.9);
  EXPECT_GT(pieces.gain, 0.7);
  EXPECT_LT(pieces.gain, 1.4);
  const double wanted = LoudSeconds(reference, kLoudSample, kLoudWindow);
  const double got = LoudSeconds(heard, kLoudSample, kLoudWindow);
  EXPECT_NEAR(got, wanted, 0.1 * wanted + 0.05);
  std::printf(
      "heard: correlation %.3f by pieces, %.3f whole, gain %.2f, loud %.2f s of %.2f s, "
      "first sound %.0f ms after the click\n",
      pieces.correlation, whole.correlation, pieces.gain, got, wanted,
      std::chrono::duration<double, std::milli>(recording.SampleTime(*first) - click).count());
}

TEST(ToolTest, OpensItsWindowCentredAtItsFixedSize) {
  ToolSession session(std::nullopt);
  session.StartTool();
  const Environment& env = session.environment();
  EXPECT_EQ(WindowTitle(env, session.window()), "SonavelV1.0");
  // No window manager, so no frame: the window is its outer size.
  const Geometry g = WindowGeometry(env, session.window());
  EXPECT_EQ(g.width, 364);
  EXPECT_EQ(g.height, 179);
  EXPECT_EQ(g.x, (1024 - 364) / 2);
  EXPECT_EQ(g.y, (768 - 179) / 2);
  // It asks any window manager for a fixed size.
  const CommandResult hints =
      RunCommand({"xprop", "-id", session.window(), "WM_NORMAL_HINTS"}, env);
  EXPECT_NE(hints.out.find("minimum size: 364 by 179"), std::string::npos) << hints.out;
  EXPECT_NE(hints.out.find("maximum size: 364 by 179"), std::string::npos) << hints.out;
  EXPECT_EQ(session.CloseTool(), 0);
}

TEST(ToolTest, SpeaksWhatTheBoxHolds) {
  const struct {
    std::optional<std::string> typed;  // nullopt: the box is left as it is
    std::string spoken;
  } cases[] = {
      {std::nullopt, kGreeting},
      {"", kPrompt},
      {"你好，世界", "你好，世界"},
      {"abc", "abc"},
  };
  ToolSession session;
  session.StartTool();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.typed.value_or("(the greeting)"));
    const Audio reference = session.Reference(c.spoken);
    if (c.typed) session.ReplaceText(*c.typed);
    const size_t logged = session.service().Log().size();
    const size_t speech_requests = session.SpeechRequests();

    session.Record();
    const auto click = session.ClickButton();
    ASSERT_TRUE(session.WaitForSpeechRequests(speech_requests + 1, 20s));
    EXPECT_TRUE(session.WaitForSound(reference, 20s));
    const Audio heard = session.StopRecording();

    ExpectClickRequests(Requests(session.service().Log(), logged), c.spoken, 200);
    ExpectHeard(heard, reference, session.recording(), click);
    EXPECT_EQ(session.TempFiles(), std::vector<std::string>{});
  }
  EXPECT_TRUE(session.tool().Running());
  EXPECT_EQ(session.CloseTool(), 0);
  EXPECT_EQ(session.TempFiles(), std::vector<std::string>{});
}

TEST(ToolTest, AnErrorAnswerPlaysNothing) {
  const struct {
    std::string why;
    std::vector<std::string> service_arguments;
    std::optional<std::string> typed;
    int token_status;
    int speech_status;
  } cases[] = {
      // The service knows another secret: the token request fails, and the
      // speech request goes out with an empty token.
      {"wrong secret",
       {"--secret-key", "SomeOtherSecretKey12345678901234"},
       std::nullopt,
       401,
       401},
      // 1,100 bytes: over the service's limit of 1,024.
      {"text too long", {}, std::string(1100, 'a'), 200, 400},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.why);
    ToolSession session(c.service_arguments);
    session.StartTool();
    if (c.typed) session.ReplaceText(*c.typed, 2);
    session.ClickButton();
    ASSERT_TRUE(session.WaitForSpeechRequests(1, 20s));
    std::this_thread::sleep_for(1500ms);  // far longer than the tool takes to start playing
    const Audio heard = session.StopRecording();
    EXPECT_EQ(FirstLoudSample(heard, 0.001f), std::nullopt);
    EXPECT_EQ(session.TempFiles(), std::vector<std::string>{});
    EXPECT_TRUE(session.tool().Running());

    const auto requests = Requests(session.service().Log());
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].path, "/oauth/2.0/token");
    EXPECT_EQ(requests[0].status, c.token_status);
    EXPECT_EQ(requests[1].path, "/text2audio");
    EXPECT_EQ(requests[1].status, c.speech_status);
    EXPECT_EQ(session.CloseTool(), 0);
  }
}

TEST(ToolTest, AStoppedServiceLeavesTheToolAliveAndSilent) {
  ToolSession session;
  session.StartTool();
  session.ReplaceText("你好");
  const Audio reference = session.Reference("你好");

  // Heard while the service runs,
  auto click = session.ClickButton();
  ASSERT_TRUE(session.WaitForSound(reference, 20s));
  ExpectHeard(session.StopRecording(), reference, session.recording(), click);

  // silent while it is gone, and the window stays,
  EXPECT_EQ(session.StopService(), 0);  // it stops cleanly on SIGTERM
  session.Record();
  session.ClickButton();
  std::this_thread::sleep_for(2s);
  EXPECT_EQ(FirstLoudSample(session.StopRecording(), 0.001f), std::nullopt);
  EXPECT_TRUE(session.tool().Running());
  EXPECT_TRUE(WindowViewable(session.environment(), session.window()));
  EXPECT_EQ(session.TempFiles(), std::vector<std::string>{});

  // and heard again once it is back.
  session.StartService();
  session.Record();
  click = session.ClickButton();
  ASSERT_TRUE(session.WaitForSound(reference, 20s));
  ExpectHeard(session.StopRecording(), reference, session.recording(), click);
  EXPECT_EQ(session.CloseTool(), 0);
  EXPECT_EQ(session.TempFiles(), std::vector<std::string>{});
}

TEST(ToolTest, ClosingTheWindowWhilePlayingEndsTheToolAndTheSound) {
  ToolSession session;
  session.StartTool();
  const Audio reference = session.Reference(kGreeting);
  session.ClickButton();
  ASSERT_TRUE(
      WaitUntil([&] { return FirstLoudSample(session.Heard(), kLoudSample).has_value(); }, 15s));
  std::this_thread::sleep_for(300ms);
  EXPECT_EQ(session.CloseTool(), 0);
  std::this_thread::sleep_for(500ms);
  const Audio heard = session.StopRecording();
  const double played = LoudSeconds(heard, kLoudSample, kLoudWindow);
  EXPECT_GT(played, 0.1);
  EXPECT_LT(played, LoudSeconds(reference, kLoudSample, kLoudWindow) / 2);
  EXPECT_EQ(session.TempFiles(), std::vector<std::string>{});
}

std::optional<LoggedRequest> ParseRequest(const std::string& line) {
  // "127.0.0.1 GET /text2audio?tex=%E4...&tok=[redacted]&cuid=... 200 5313 bytes 3.1 ms"
  const TextArray fields = SplitText(line, " ");
  if (fields.size() < 6 || fields[1] != "GET" || fields[2].empty() || fields[2][0] != '/' ||
      fields[3].size() != 3 || !IsDigits(fields[3]) || fields[5] != "bytes") {
    return std::nullopt;
  }
  LoggedRequest request;
  request.line = line;
  const size_t question = fields[2].find('?');
  request.path = fields[2].substr(0, question);
  request.status = std::stoi(fields[3]);
  const std::string query = question == std::string::npos ? "" : fields[2].substr(question + 1);
  for (const Text& pair : SplitText(query, "&")) {
    const size_t equals = pair.find('=');
    request.query.emplace_back(pair.substr(0, equals),
                               equals == std::string::npos ? "" : pair.substr(equals + 1));
  }
  return request;
}

}  // namespace
}  // namespace sonavel::e2e
