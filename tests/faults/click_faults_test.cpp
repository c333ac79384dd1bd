// A click of the tool (SpeakText with the player the test gives it) against
// a token service and a speech service that fail on purpose, and against a
// temporary folder and a disk that fail. Both services speak TLS with the
// build's local CA, as the local speech service does.
//
// Every case ends silently with defined values: AccessToken holds the token
// or the empty text; either a whole MP3 answer was written, opened, played
// and removed, or nothing was; no file is left in the temporary folder; no
// call outlives the fixed 15 s time-outs of its two requests; no descriptor
// stays open; memory comes back.
#include <gtest/gtest.h>
#include <lame/lame.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

#include "app/access_token.h"
#include "app/media_player.h"
#include "app/speak_text.h"
#include "net/net.h"
#include "tests/faults/fault_server.h"
#include "tests/faults/process_state.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_ca.h"
#include "text/rules.h"

namespace sonavel {
namespace {

using std::chrono::milliseconds;
using testing::FaultConnection;
using testing::FaultScript;
using testing::FaultServer;
using testing::HttpAnswer;
using testing::TempDir;
using testing::TestCa;

constexpr int kRequestTimeout = 15;  // SpeakText's, fixed
// The longest one request of a click may block (connecting, two limits, and
// one idle limit) with room for a loaded machine: a hang check.
constexpr double kRequestHangLimit = 3.0 * kRequestTimeout + 3.0;

// What a player was asked to do, and what the file held when it was opened.
class RecordingPlayer : public AudioPlayer {
 public:
  void Open(const std::string& path) override {
    opened.push_back(path);
    struct stat st {};
    sizes.push_back(::stat(path.c_str(), &st) == 0 ? static_cast<long long>(st.st_size) : -1);
  }
  void Play() override { ++plays; }

  std::vector<std::string> opened;
  std::vector<long long> sizes;  // -1: no such file
  int plays = 0;
};

// A short MP3 (a tone), made with LAME as the local speech service makes its answers.
std::string ToneMp3(double seconds) {
  constexpr int kRate = 22050;
  lame_t lame = lame_init();
  lame_set_in_samplerate(lame, kRate);
  lame_set_num_channels(lame, 1);
  lame_set_mode(lame, MONO);
  if (lame_init_params(lame) < 0) std::abort();
  std::vector<short> pcm(static_cast<std::size_t>(seconds * kRate));
  for (std::size_t i = 0; i < pcm.size(); ++i)
    pcm[i] = static_cast<short>(8000 * std::sin(2 * M_PI * 440 * static_cast<double>(i) / kRate));
  std::vector<unsigned char> out(pcm.size() * 5 / 4 + 7200 + 7200);
  int n = lame_encode_buffer(lame, pcm.data(), nullptr, static_cast<int>(pcm.size()), out.data(),
                             static_cast<int>(out.size()));
  if (n < 0) std::abort();
  const int tail = lame_encode_flush(lame, out.data() + n, static_cast<int>(out.size()) - n);
  if (tail < 0) std::abort();
  lame_close(lame);
  return std::string(out.begin(), out.begin() + n + tail);
}

const std::string& Mp3() {
  static const std::string mp3 = ToneMp3(0.5);
  return mp3;
}

constexpr char kTokenAnswer[] = R"({"access_token":"t0k3n.42","expires_in":2592000})";

FaultScript Answer(std::string answer) {
  return [answer = std::move(answer)](FaultConnection& c) {
    if (!c.ReadRequest().empty()) c.Send(answer);
  };
}

std::string TokenAnswer(std::string_view body) {
  return HttpAnswer(200, {"Content-Type: application/json"}, body);
}

std::string AudioAnswer(std::string_view body) {
  return HttpAnswer(200, {"Content-Type: audio/mp3"}, body);
}

// The value of `key` in the query of the request head `request`, or nothing.
std::optional<std::string> QueryValue(const std::string& request, const std::string& key) {
  const std::string line = request.substr(0, request.find("\r\n"));
  const std::int32_t at = FindText(line, "&" + key + "=");
  const std::int32_t first = FindText(line, "?" + key + "=");
  const std::int32_t p = at != -1 ? at : first;
  if (p == -1) return std::nullopt;
  const std::size_t from = static_cast<std::size_t>(p) + key.size() + 1;
  const std::size_t end = line.find_first_of("& ", from);
  return line.substr(from, end - from);
}

struct Click {
  double seconds = 0;
};

class ClickFaults : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    // libcurl's and OpenSSL's one-time state, and the MP3, before anything is counted.
    HttpAccess("https://127.0.0.1:" + std::to_string(testing::UnusedLoopbackPort()) + "/", {});
    Mp3();
  }
  void SetUp() override {
    const char* old = std::getenv("TMPDIR");
    if (old != nullptr) oldTmpdir_ = old;
    ::setenv("TMPDIR", temp_.path().c_str(), 1);
    AccessToken = "stale";
    descriptors_ = testing::OpenDescriptors();
  }
  void TearDown() override {
    if (oldTmpdir_) {
      ::setenv("TMPDIR", oldTmpdir_->c_str(), 1);
    } else {
      ::unsetenv("TMPDIR");
    }
    EXPECT_TRUE(testing::Entries(temp_.path()).empty())
        << "a file was left in the temporary folder";
    EXPECT_LE(testing::OpenDescriptors(), descriptors_) << "a descriptor was left open";
  }

  // One click against `token` and `speech` ("host:port" each).
  Click Run(const std::string& token, const std::string& speech, AudioPlayer& player) {
    SpeechService service = SpeechService::BuiltIn();
    service.tokenHost = token;
    service.speechHost = speech;
    QElapsedTimer timer;
    timer.start();
    SpeakText("\xC4\xE3\xBA\xC3", 4, player, service);  // 你好
    return Click{static_cast<double>(timer.elapsed()) / 1000.0};
  }

  const std::filesystem::path& temp() const { return temp_.path(); }
  // Counts open descriptors afresh: for state that a first use sets up for good.
  void RecountDescriptors() { descriptors_ = testing::OpenDescriptors(); }

 private:
  TempDir temp_;
  std::optional<std::string> oldTmpdir_;
  int descriptors_ = 0;
};

std::string Unused() { return "127.0.0.1:" + std::to_string(testing::UnusedLoopbackPort()); }

void ExpectPlayedOnce(const RecordingPlayer& player, std::size_t bytes) {
  ASSERT_EQ(player.opened.size(), 1u);
  EXPECT_EQ(player.plays, 1);
  EXPECT_EQ(player.sizes[0], static_cast<long long>(bytes)) << "the file held when it was opened";
}

void ExpectNothingPlayed(const RecordingPlayer& player) {
  EXPECT_TRUE(player.opened.empty());
  EXPECT_EQ(player.plays, 0);
}

// --- the token service fails: the speech request still goes, with "tok=" empty

TEST_F(ClickFaults, TokenServiceRefusesConnections) {
  FaultServer speech(Answer(AudioAnswer(Mp3())), &TestCa::Local());
  RecordingPlayer player;
  Run(Unused(), speech.Address(), player);
  EXPECT_EQ(AccessToken, "");
  ASSERT_EQ(speech.Requests().size(), 1u);
  EXPECT_EQ(QueryValue(speech.Requests()[0], "tok"), "");
  ExpectPlayedOnce(player, Mp3().size());
}

TEST_F(ClickFaults, TokenServiceNeverAnswers) {
  FaultServer token(
      [](FaultConnection& c) {
        c.ReadRequest();
        c.Hold();
      },
      &TestCa::Local());
  FaultServer speech(Answer(AudioAnswer(Mp3())), &TestCa::Local());
  RecordingPlayer player;
  const Click click = Run(token.Address(), speech.Address(), player);
  EXPECT_LT(click.seconds, kRequestHangLimit);
  EXPECT_EQ(AccessToken, "");
  ASSERT_EQ(speech.Requests().size(), 1u);
  EXPECT_EQ(QueryValue(speech.Requests()[0], "tok"), "");
  ExpectPlayedOnce(player, Mp3().size());
}

TEST_F(ClickFaults, TokenAnswerCutShort) {
  const std::string cut =
      HttpAnswer(200, {"Content-Type: application/json", "Content-Length: 200"}, kTokenAnswer);
  FaultServer token(Answer(cut), &TestCa::Local());
  FaultServer speech(Answer(AudioAnswer(Mp3())), &TestCa::Local());
  RecordingPlayer player;
  Run(token.Address(), speech.Address(), player);
  EXPECT_EQ(AccessToken, "") << "a token from an answer that never ended";
  ASSERT_EQ(speech.Requests().size(), 1u);
  EXPECT_EQ(QueryValue(speech.Requests()[0], "tok"), "");
}

TEST_F(ClickFaults, TokenAnswerWithInvalidUtf8AndZeroBytes) {
  using namespace std::string_literals;
  const struct {
    const char* name;
    std::string body;
    std::string token;  // AccessToken afterwards, and the "tok" value sent
  } cases[] = {
      {"invalid UTF-8 in the token",
       R"({"access_token":"a)"
       "\xFF"
       R"(b"})",
       "a?b"},
      {"a zero byte in the token", "{\"access_token\":\"ab\0cd\"}"s, ""},
      {"a zero byte first", "\0{\"access_token\":\"x\"}"s, ""},
      {"invalid UTF-8 before the member", "\xC3\x28\xFF{\"access_token\":\"t1\"}", "t1"},
      {"a Chinese token", "{\"access_token\":\"\xE4\xBD\xA0\"}", "\xC4\xE3"},
      {"no member", R"({"error":"invalid_client"})", ""},
      {"an empty body", "", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    FaultServer token(Answer(TokenAnswer(c.body)), &TestCa::Local());
    FaultServer speech(Answer(AudioAnswer(Mp3())), &TestCa::Local());
    RecordingPlayer player;
    Run(token.Address(), speech.Address(), player);
    EXPECT_EQ(AccessToken, c.token);
    ASSERT_EQ(speech.Requests().size(), 1u);
    EXPECT_EQ(QueryValue(speech.Requests()[0], "tok"), c.token);
    ExpectPlayedOnce(player, Mp3().size());
  }
}

TEST_F(ClickFaults, TokenThatWouldBreakTheRequestLine) {
  // A token with a line break or a space cannot go into a URL unchanged: no
  // request may carry it, and no header may be smuggled in with it.
  const struct {
    const char* name;
    std::string body;
  } cases[] = {
      {"CR LF and a header", "{\"access_token\":\"a\r\nX-Injected: 1\"}"},
      {"a space and a fake protocol", "{\"access_token\":\"a HTTP/1.0\"}"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    FaultServer token(Answer(TokenAnswer(c.body)), &TestCa::Local());
    FaultServer speech(Answer(AudioAnswer(Mp3())), &TestCa::Local());
    RecordingPlayer player;
    Run(token.Address(), speech.Address(), player);
    // The URL is refused: nothing goes out, nothing plays.
    EXPECT_TRUE(speech.Requests().empty()) << speech.Requests().front();
    ExpectNothingPlayed(player);
  }
}

// --- the speech service fails: nothing is written or played

TEST_F(ClickFaults, SpeechServiceRefusesConnections) {
  FaultServer token(Answer(TokenAnswer(kTokenAnswer)), &TestCa::Local());
  RecordingPlayer player;
  Run(token.Address(), Unused(), player);
  EXPECT_EQ(AccessToken, "t0k3n.42");
  ExpectNothingPlayed(player);
}

TEST_F(ClickFaults, SpeechServiceNeverAnswers) {
  FaultServer token(Answer(TokenAnswer(kTokenAnswer)), &TestCa::Local());
  FaultServer speech(
      [](FaultConnection& c) {
        c.ReadRequest();
        c.Hold();
      },
      &TestCa::Local());
  RecordingPlayer player;
  const Click click = Run(token.Address(), speech.Address(), player);
  EXPECT_LT(click.seconds, kRequestHangLimit);
  ExpectNothingPlayed(player);
}

TEST_F(ClickFaults, SpeechAnswerCutInTheBody) {
  const std::string cut = HttpAnswer(
      200, {"Content-Type: audio/mp3", "Content-Length: " + std::to_string(2 * Mp3().size())},
      Mp3());
  FaultServer token(Answer(TokenAnswer(kTokenAnswer)), &TestCa::Local());
  FaultServer speech(Answer(cut), &TestCa::Local());
  RecordingPlayer player;
  Run(token.Address(), speech.Address(), player);
  ExpectNothingPlayed(player);
}

// An answer cut inside its header block is no answer, whatever "audio/mp3"
// it named so far: nothing may be written or played.
TEST_F(ClickFaults, SpeechAnswerCutInTheHeaders) {
  FaultServer token(Answer(TokenAnswer(kTokenAnswer)), &TestCa::Local());
  FaultServer speech(Answer("HTTP/1.1 200 OK\r\nContent-Type: audio/mp3\r\nContent-Len"),
                     &TestCa::Local());
  RecordingPlayer player;
  Run(token.Address(), speech.Address(), player);
  ExpectNothingPlayed(player);
}

TEST_F(ClickFaults, SpeechAnswerPausesUnderTheIdleLimit) {
  // Half the audio, 12 s of silence on the line (under the 15 s limit), the rest.
  const std::string answer = AudioAnswer(Mp3());
  FaultServer token(Answer(TokenAnswer(kTokenAnswer)), &TestCa::Local());
  FaultServer speech(
      [&](FaultConnection& c) {
        if (c.ReadRequest().empty()) return;
        const std::size_t half = answer.size() / 2;
        if (c.Send(std::string_view(answer).substr(0, half)) && c.Pause(milliseconds(12000)))
          c.Send(std::string_view(answer).substr(half));
      },
      &TestCa::Local());
  RecordingPlayer player;
  Run(token.Address(), speech.Address(), player);
  ExpectPlayedOnce(player, Mp3().size());
}

TEST_F(ClickFaults, HundredMegabyteAudio) {
  std::string audio = Mp3();
  audio.resize(100u << 20, '\x55');
  const std::string answer = AudioAnswer(audio);
  FaultServer token(Answer(TokenAnswer(kTokenAnswer)), &TestCa::Local());
  FaultServer speech(Answer(answer), &TestCa::Local());
  std::string report;
  EXPECT_TRUE(testing::MemoryComesBack(
      [&] {
        RecordingPlayer player;
        Run(token.Address(), speech.Address(), player);
        ExpectPlayedOnce(player, audio.size());
        EXPECT_TRUE(testing::Entries(temp()).empty());
      },
      2, &report))
      << report;
}

TEST_F(ClickFaults, TenThousandHeaderLines) {
  std::vector<std::string> lines;
  for (int i = 0; i < 10000; ++i) lines.push_back("X-Line-" + std::to_string(i) + ": 1");
  lines.push_back("Content-Type: audio/mp3");
  FaultServer token(Answer(TokenAnswer(kTokenAnswer)), &TestCa::Local());
  FaultServer speech(Answer(HttpAnswer(200, lines, Mp3())), &TestCa::Local());
  RecordingPlayer player;
  Run(token.Address(), speech.Address(), player);
  ExpectPlayedOnce(player, Mp3().size());
}

TEST_F(ClickFaults, MegabyteHeaderLine) {
  FaultServer token(Answer(TokenAnswer(kTokenAnswer)), &TestCa::Local());
  FaultServer speech(
      Answer(HttpAnswer(200, {"Content-Type: audio/mp3", "X-Big: " + std::string(1u << 20, 'a')},
                        Mp3())),
      &TestCa::Local());
  RecordingPlayer player;
  Run(token.Address(), speech.Address(), player);
  ExpectNothingPlayed(player);
}

TEST_F(ClickFaults, SpeechRedirectLoop) {
  FaultServer token(Answer(TokenAnswer(kTokenAnswer)), &TestCa::Local());
  FaultServer speech(
      Answer(HttpAnswer(302, {"Location: /text2audio?again", "Content-Type: audio/mp3"}, "")),
      &TestCa::Local());
  RecordingPlayer player;
  Run(token.Address(), speech.Address(), player);
  ExpectNothingPlayed(player);
  EXPECT_LE(speech.Requests().size(), 11u);
}

TEST_F(ClickFaults, SpeechRedirectToAnUntrustedServer) {
  const TestCa untrusted;
  FaultServer impostor(Answer(AudioAnswer(Mp3())), &untrusted);
  FaultServer token(Answer(TokenAnswer(kTokenAnswer)), &TestCa::Local());
  FaultServer speech(Answer(HttpAnswer(302, {"Location: " + impostor.Url("/x")}, "")),
                     &TestCa::Local());
  RecordingPlayer player;
  Run(token.Address(), speech.Address(), player);
  ExpectNothingPlayed(player);
  EXPECT_TRUE(impostor.Requests().empty()) << "the token went to an untrusted server";
}

// --- the temporary folder and the disk fail

TEST_F(ClickFaults, TemporaryFolderMissing) {
  // No such folder: the file name stands alone, in the current directory.
  const TempDir cwd;
  const auto oldCwd = std::filesystem::current_path();
  std::filesystem::current_path(cwd.path());
  ::setenv("TMPDIR", (temp() / "missing").c_str(), 1);
  FaultServer token(Answer(TokenAnswer(kTokenAnswer)), &TestCa::Local());
  FaultServer speech(Answer(AudioAnswer(Mp3())), &TestCa::Local());
  RecordingPlayer player;
  Run(token.Address(), speech.Address(), player);
  std::filesystem::current_path(oldCwd);
  ExpectPlayedOnce(player, Mp3().size());
  EXPECT_EQ(player.opened[0].find('/'), std::string::npos) << player.opened[0];
  EXPECT_TRUE(testing::Entries(cwd.path()).empty()) << "a file was left in the current directory";
}

TEST_F(ClickFaults, TemporaryFolderReadOnly) {
  const auto readOnly = temp() / "read-only";
  std::filesystem::create_directory(readOnly);
  std::filesystem::permissions(
      readOnly, std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
  ::setenv("TMPDIR", readOnly.c_str(), 1);
  FaultServer token(Answer(TokenAnswer(kTokenAnswer)), &TestCa::Local());
  FaultServer speech(Answer(AudioAnswer(Mp3())), &TestCa::Local());
  RecordingPlayer player;
  {
    const testing::FilePermissionsApply asUser;  // root would write there anyway
    Run(token.Address(), speech.Address(), player);
  }
  ExpectNothingPlayed(player);
  EXPECT_TRUE(testing::Entries(readOnly).empty());
  std::filesystem::permissions(readOnly, std::filesystem::perms::owner_all);
  std::filesystem::remove(readOnly);
}

TEST_F(ClickFaults, DiskFullForTheTemporaryFile) {
  // Writes past 64 KiB fail (EFBIG), as they would on a full disk.
  constexpr rlim_t kRoom = 64 * 1024;
  std::string audio = Mp3();
  audio.resize(1u << 20, '\x55');
  FaultServer token(Answer(TokenAnswer(kTokenAnswer)), &TestCa::Local());
  FaultServer speech(Answer(AudioAnswer(audio)), &TestCa::Local());
  RecordingPlayer player;
  {
    const testing::FileSizeLimit full(kRoom);
    Run(token.Address(), speech.Address(), player);
  }
  // The part that fit is played, and the file is removed like any other.
  ExpectPlayedOnce(player, kRoom);
}

// --- the real player, with no sound server to play to

TEST_F(ClickFaults, NoSoundServer) {
  FaultServer token(
      [](FaultConnection& c) {
        while (!c.ReadRequest().empty()) c.Send(TokenAnswer(kTokenAnswer));
      },
      &TestCa::Local());
  FaultServer speech(
      [](FaultConnection& c) {
        while (!c.ReadRequest().empty()) c.Send(AudioAnswer(Mp3()));
      },
      &TestCa::Local());
  const auto click = [&] {
    MediaPlayer player;
    Run(token.Address(), speech.Address(), player);
    // Let the player run into the missing sound server.
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < 2000) QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
  };
  click();
  // The first player sets up Qt Multimedia and GStreamer for good; a second
  // click must leave nothing more behind.
  RecountDescriptors();
  click();
  EXPECT_EQ(AccessToken, "t0k3n.42");
}

}  // namespace
}  // namespace sonavel

int main(int argc, char** argv) {
  // No window and no sound server: the offscreen platform, and a sound
  // server address where nothing listens, in a runtime folder of our own.
  const sonavel::testing::TempDir runtime;
  ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
  ::setenv("XDG_RUNTIME_DIR", runtime.path().c_str(), 1);
  ::setenv("XDG_CACHE_HOME", runtime.path().c_str(), 1);
  ::setenv("PULSE_SERVER", ("unix:" + (runtime.path() / "no-pulse").string()).c_str(), 1);
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
