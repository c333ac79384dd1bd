// The end-to-end harness on its own: processes, the X server, the sound
// server and the audio measures, checked with programs that are known to work.
#include <gtest/gtest.h>
#include <signal.h>

#include <cmath>
#include <filesystem>
#include <string>

#include "tests/e2e/audio.h"
#include "tests/e2e/process.h"
#include "tests/e2e/sound_server.h"
#include "tests/e2e/x_server.h"
#include "tests/support/temp_dir.h"

namespace sonavel::e2e {
namespace {

using namespace std::chrono_literals;
using sonavel::testing::TempDir;

bool Alive(pid_t pid) { return kill(pid, 0) == 0; }

TEST(ProcessTest, CapturesLinesAndExitStatus) {
  // Output() ends every line with "\n", a last line that had none too.
  const struct {
    std::string script;
    std::string out;
    std::string err;
    int status;
  } cases[] = {
      {"echo one; echo two >&2; echo three; exit 3", "one\nthree\n", "two\n", 3},
      {"printf 'no newline'", "no newline\n", "", 0},
      {"printf 'a\\n\\nb\\n'", "a\n\nb\n", "", 0},
      {"kill -TERM $$", "", "", 128 + SIGTERM},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.script);
    const CommandResult result = RunCommand({"sh", "-c", c.script}, Environment::Inherited());
    EXPECT_EQ(result.status, c.status);
    EXPECT_EQ(result.out, c.out);
    EXPECT_EQ(result.err, c.err);
  }
}

TEST(ProcessTest, WaitsForALineOrGivesUp) {
  Process process({"sh", "-c", "echo starting; sleep 0.2; echo listening on 1; sleep 30"},
                  Environment::Inherited());
  EXPECT_EQ(process.WaitForLine(Process::kStdout, "listening on", 5s), "listening on 1");
  EXPECT_EQ(process.WaitForLine(Process::kStdout, "never", 200ms), std::nullopt);
  EXPECT_TRUE(process.Running());
  EXPECT_EQ(process.Stop(), 128 + SIGTERM);
  EXPECT_FALSE(process.Running());
}

TEST(ProcessTest, PassesTheGivenEnvironmentOnly) {
  Environment env;
  env.Set("PATH", Environment::Inherited().Get("PATH"));
  env.Set("ONLY_THIS", "x y");
  const CommandResult result = RunCommand({"env"}, env);
  EXPECT_EQ(result.status, 0);
  EXPECT_NE(result.out.find("ONLY_THIS=x y\n"), std::string::npos);
  EXPECT_EQ(result.out.find("HOME="), std::string::npos);
}

TEST(ProcessTest, DestructionStopsTheWholeGroup) {
  pid_t child = 0, grandchild = 0;
  {
    // The grandchild ignores SIGTERM: only the kill after the grace period ends it.
    Process process({"sh", "-c", "sh -c 'trap \"\" TERM; echo $$; exec sleep 60' & wait"},
                    Environment::Inherited());
    const auto line = process.WaitForLine(
        Process::kStdout, [](std::string_view l) { return !l.empty(); }, 5s);
    ASSERT_TRUE(line);
    child = process.pid();
    grandchild = std::stoi(*line);
    EXPECT_TRUE(Alive(grandchild));
  }
  EXPECT_FALSE(Alive(child));
  EXPECT_TRUE(WaitUntil([&] { return !Alive(grandchild); }, 2s));
}

TEST(ProcessTest, AMissingProgramThrows) {
  EXPECT_THROW(Process({"/nonexistent/program"}, Environment::Inherited()), std::runtime_error);
}

TEST(AudioTest, WavRoundTripAndMeasures) {
  TempDir dir;
  Audio audio = Tone(22050, 440, 0.5, 0.5);
  audio.samples.insert(audio.samples.begin(), 2205, 0.0f);  // 100 ms of silence first
  WriteWav(dir.path() / "tone.wav", audio);
  const Audio read = ReadWav(dir.path() / "tone.wav");
  EXPECT_EQ(read.rate, 22050);
  ASSERT_EQ(read.samples.size(), audio.samples.size());
  EXPECT_NEAR(read.samples[2300], audio.samples[2300], 1e-4);
  EXPECT_NEAR(read.seconds(), 0.6, 1e-3);
  EXPECT_NEAR(Peak(read), 0.5, 1e-3);
  EXPECT_NEAR(Rms(Tone(8000, 100, 1, 1)), 1 / std::sqrt(2.0), 1e-3);
  EXPECT_EQ(FirstLoudSample(read, 0.1f).value_or(0) / 100, 2205u / 100);
  EXPECT_EQ(FirstLoudSample(Tone(8000, 100, 1, 0.05), 0.1f), std::nullopt);
  EXPECT_NEAR(LoudSeconds(read, 0.1), 0.5, 0.011);
}

TEST(AudioTest, ReadsTheRecorderWavesAndRejectsOthers) {
  TempDir dir;
  // A header whose data size is a placeholder: the samples run to the end of the file.
  std::string wav(
      "RIFF\xff\xff\xff\xffWAVEfmt \x10\0\0\0\x01\0\x02\0\x44\xac\0\0\x10\xb1\x02\0"
      "\x04\0\x10\0data\xff\xff\xff\xff",
      44);
  wav += std::string("\x00\x40\x00\xc0\xff\x7f\x01\x80", 8);  // two stereo frames
  sonavel::testing::WriteFile(dir.path() / "open.wav", wav);
  const Audio audio = ReadWav(dir.path() / "open.wav");
  EXPECT_EQ(audio.rate, 44100);
  ASSERT_EQ(audio.samples.size(), 2u);
  EXPECT_NEAR(audio.samples[0], 0.0, 1e-6);  // 0.5 and -0.5 averaged
  EXPECT_NEAR(audio.samples[1], 0.0, 1e-4);
  sonavel::testing::WriteFile(dir.path() / "bad.wav", "ID3 not a wave file");
  EXPECT_THROW(ReadWav(dir.path() / "bad.wav"), std::runtime_error);
}

TEST(AudioTest, FindsAReferenceInsideALongerRecording) {
  // A reference with a loudness contour: three bursts of different length.
  Audio reference{16000, {}};
  for (const double seconds : {0.15, 0.4, 0.25}) {
    const Audio burst = Tone(16000, 300, seconds, 0.4);
    reference.samples.insert(reference.samples.end(), burst.samples.begin(), burst.samples.end());
    reference.samples.insert(reference.samples.end(), 1600, 0.0f);
  }
  // The recording: 0.7 s of silence, the reference at half loudness and twice the rate.
  Audio recording{32000, std::vector<float>(22400, 0.0f)};
  for (const float sample : reference.samples) {
    recording.samples.push_back(sample * 0.5f);
    recording.samples.push_back(sample * 0.5f);
  }
  recording.samples.insert(recording.samples.end(), 16000, 0.0f);

  const EnvelopeMatch match = MatchEnvelope(recording, reference);
  EXPECT_GT(match.correlation, 0.99);
  EXPECT_NEAR(match.offset_seconds, 0.7, 0.011);
  EXPECT_NEAR(match.gain, 0.5, 0.05);

  // A steady tone of the same length has no such contour.
  Audio steady{32000, std::vector<float>(22400, 0.0f)};
  const Audio tone = Tone(32000, 300, reference.seconds(), 0.2);
  steady.samples.insert(steady.samples.end(), tone.samples.begin(), tone.samples.end());
  EXPECT_LT(MatchEnvelope(steady, reference).correlation, 0.7);
  // Silence matches nothing, and a reference longer than the recording neither.
  EXPECT_LT(MatchEnvelope(Audio{32000, std::vector<float>(64000, 0.0f)}, reference).correlation,
            0.1);
  EXPECT_EQ(MatchEnvelope(reference, recording).correlation, 0);
}

TEST(AudioTest, PieceMatchIgnoresAPauseInThePlayback) {
  Audio reference{16000, {}};
  for (const double seconds : {0.15, 0.4, 0.25, 0.3}) {
    const Audio burst = Tone(16000, 300, seconds, 0.1 + seconds);
    reference.samples.insert(reference.samples.end(), burst.samples.begin(), burst.samples.end());
    reference.samples.insert(reference.samples.end(), 1600, 0.0f);
  }
  // The recording: the same, with 150 ms of silence pushed into the second burst.
  Audio stalled{16000, std::vector<float>(8000, 0.0f)};
  const size_t cut = 2400 + 1600 + 3200;
  stalled.samples.insert(stalled.samples.end(), reference.samples.begin(),
                         reference.samples.begin() + cut);
  stalled.samples.insert(stalled.samples.end(), 2400, 0.0f);
  stalled.samples.insert(stalled.samples.end(), reference.samples.begin() + cut,
                         reference.samples.end());
  EXPECT_GT(MatchPieces(stalled, reference).correlation, 0.85);
  EXPECT_NEAR(MatchPieces(stalled, reference).gain, 1.0, 0.05);
  EXPECT_LT(MatchEnvelope(stalled, reference).correlation,
            MatchPieces(stalled, reference).correlation);

  // Other contours do not match: the bursts in another order, or one burst only.
  Audio reordered{16000, {}};
  for (const double seconds : {0.3, 0.25, 0.4, 0.15}) {
    const Audio burst = Tone(16000, 300, seconds, 0.1 + seconds);
    reordered.samples.insert(reordered.samples.end(), burst.samples.begin(), burst.samples.end());
    reordered.samples.insert(reordered.samples.end(), 1600, 0.0f);
  }
  EXPECT_LT(MatchPieces(reordered, reference).correlation, 0.7);
  EXPECT_LT(MatchPieces(Tone(16000, 300, 0.4, 0.5), reference).correlation, 0.5);
  EXPECT_EQ(MatchPieces(Audio{16000, std::vector<float>(16000, 0.0f)}, reference).correlation, 0);
}

TEST(XServerTest, TwoServersRunSideBySideAndStop) {
  std::string socket;
  {
    XServer first;
    XServer second;
    EXPECT_NE(first.display(), second.display());
    Environment env = Environment::Inherited();
    first.AddTo(env);
    const CommandResult info = RunCommand({"xdpyinfo"}, env);
    EXPECT_EQ(info.status, 0) << info.err;
    EXPECT_NE(info.out.find("dimensions:    1024x768 pixels"), std::string::npos) << info.out;
    socket = "/tmp/.X11-unix/X" + first.display().substr(1);
    EXPECT_TRUE(std::filesystem::exists(socket));
  }
  EXPECT_FALSE(std::filesystem::exists(socket));
}

TEST(SoundServerTest, RecordsWhatIsPlayedAndOnlyThat) {
  TempDir dir;
  SoundServer sound;
  Environment env = Environment::Inherited();
  sound.AddTo(env);
  // A contour to find again: a short and a long tone with a pause between.
  Audio played{22050, {}};
  for (const double seconds : {0.2, 0.5}) {
    const Audio tone = Tone(22050, 523, seconds, 0.3);
    played.samples.insert(played.samples.end(), tone.samples.begin(), tone.samples.end());
    played.samples.insert(played.samples.end(), 4410, 0.0f);
  }
  WriteWav(dir.path() / "played.wav", played);

  Recording silent(sound, dir.path() / "silent.wav");
  std::this_thread::sleep_for(300ms);
  const Audio nothing = silent.Stop();
  EXPECT_GT(nothing.seconds(), 0.2);
  EXPECT_EQ(FirstLoudSample(nothing, 0.001f), std::nullopt);

  Recording recording(sound, dir.path() / "heard.wav");
  const auto before = Recording::Clock::now();
  const CommandResult play = RunCommand({"paplay", (dir.path() / "played.wav").string()}, env);
  const auto after = Recording::Clock::now();
  ASSERT_EQ(play.status, 0) << play.err;
  std::this_thread::sleep_for(200ms);
  const Audio heard = recording.Stop();

  const EnvelopeMatch match = MatchEnvelope(heard, played);
  EXPECT_GT(match.correlation, 0.95);
  EXPECT_NEAR(match.gain, 1.0, 0.1);
  EXPECT_NEAR(LoudSeconds(heard, 0.05), 0.7, 0.03);
  const auto first = FirstLoudSample(heard, 0.05f);
  ASSERT_TRUE(first);
  // The first loud sample reached the sink after paplay started and before it
  // returned (it returns once its stream has drained).
  EXPECT_GT(recording.SampleTime(*first), before - 30ms);
  EXPECT_LT(recording.SampleTime(*first), after);
}

}  // namespace
}  // namespace sonavel::e2e
