// A private PulseAudio server for one test, whose only sink discards the sound
// and whose monitor records it.
//
// The server and every client share one private folder: XDG_RUNTIME_DIR,
// PULSE_RUNTIME_PATH, PULSE_STATE_PATH, PULSE_COOKIE and PULSE_SERVER point
// into it, so nothing is read from or written to the machine's own state.
// The sink is a null sink without rewinds (a rewind would drop what a player
// wrote ahead), made the default, with module-always-sink beside it.
//
//   SoundServer sound;
//   Environment env = Environment::Inherited();
//   sound.AddTo(env);                       // for players and recorders
//   Recording rec(sound, dir / "rec.wav");  // records the sink's monitor
//   ... play ...
//   Audio heard = rec.Stop();               // SIGINT, so the WAV header is written
//   rec.SampleTime(i);                      // when sample i reached the sink
#pragma once

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>

#include "tests/e2e/audio.h"
#include "tests/e2e/process.h"
#include "tests/support/temp_dir.h"

namespace sonavel::e2e {

class SoundServer {
 public:
  // Throws std::runtime_error when the server does not come up within a few seconds.
  SoundServer();
  ~SoundServer();
  SoundServer(const SoundServer&) = delete;
  SoundServer& operator=(const SoundServer&) = delete;

  // The private folder, also the clients' XDG_RUNTIME_DIR.
  const std::filesystem::path& folder() const { return dir_.path(); }
  const std::string& sink() const { return sink_; }
  void AddTo(Environment& env) const;

 private:
  sonavel::testing::TempDir dir_;
  std::string sink_ = "sonavel_e2e";
  std::optional<Process> server_;
};

class Recording {
 public:
  using Clock = std::chrono::steady_clock;

  // Starts recording the sink's monitor into `wav` (20 ms latency) and returns
  // once samples flow. Throws std::runtime_error when they do not.
  Recording(const SoundServer& server, std::filesystem::path wav);
  ~Recording() = default;
  Recording(const Recording&) = delete;
  Recording& operator=(const Recording&) = delete;

  // What has been recorded so far, while the recorder runs.
  Audio Peek() const;
  // Stops the recorder with SIGINT and reads what it wrote. Once only.
  Audio Stop();
  // When sample `index` of the stopped recording reached the sink: the last
  // sample was the newest when Stop() was called, less the recorder's latency.
  Clock::time_point SampleTime(size_t index) const;

 private:
  std::filesystem::path wav_;
  std::optional<Process> recorder_;
  Clock::time_point stopped_;
  size_t count_ = 0;
  int rate_ = 0;
};

}  // namespace sonavel::e2e
