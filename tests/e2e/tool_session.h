// One run of the built tool as a person uses it: a private X server and sound
// server, the local speech service on the address the tool was built
// against, the tool itself with private folders, and a person's clicks.
//
//   ToolSession s;                 // X, sound, a recording, the service; no tool yet
//   s.StartTool();                 // waits for the window "SonavelV1.0"
//   s.ReplaceText("你好");          // click into the box, select all, type
//   s.ClickButton();
//   Audio heard = s.StopRecording();
//   Audio wanted = s.Reference("你好");  // the service's MP3 for it, decoded by mpg123
//
// Everything it starts is stopped by its destructor, the tool first.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "tests/e2e/audio.h"
#include "tests/e2e/local_service.h"
#include "tests/e2e/process.h"
#include "tests/e2e/sound_server.h"
#include "tests/e2e/x_server.h"
#include "tests/support/temp_dir.h"

namespace sonavel::e2e {

// What the build made and what the tool was built against (CMake fills these in).
struct BuildFacts {
  std::string tool;             // the sonavel executable
  std::string service;          // the sonavel-speech-service executable
  std::string service_address;  // "127.0.0.1:8741"
  std::string api_key;
  std::string secret_key;
};
const BuildFacts& Build();

// The window's controls, in window coordinates: where a person clicks.
struct Point {
  int x;
  int y;
};
inline constexpr Point kEditBox{16 + 312 / 2, 40 + 32 / 2};
inline constexpr Point kButton{80 + 152 / 2, 88 + 32 / 2};

class ToolSession {
 public:
  using Clock = Recording::Clock;

  // Starts the X server, the sound server, a recording of the sink and, unless
  // `service_arguments` is nullopt, the local speech service with those extra
  // arguments.
  explicit ToolSession(
      std::optional<std::vector<std::string>> service_arguments = std::vector<std::string>{});
  ~ToolSession();
  ToolSession(const ToolSession&) = delete;
  ToolSession& operator=(const ToolSession&) = delete;

  // Starts the tool and waits for its window; throws when none appears.
  void StartTool();
  // Starts the local speech service (again) with these extra arguments.
  void StartService(const std::vector<std::string>& arguments = {});
  // SIGTERM to the service; its exit status.
  int StopService();
  LocalService& service() { return *service_; }
  Process& tool() { return *tool_; }
  const std::string& window() const { return window_; }
  const Environment& environment() const { return env_; }

  // A person replaces the edit box's text: clicks into the box, selects all,
  // deletes it and types `text` (nothing for the empty text). Then checks
  // what the box holds (select all, read the selection) and types again
  // when a key went astray; throws when three tries fail.
  void ReplaceText(const std::string& text, int delay_ms = 30);
  // A person presses the button; the moment just before the click.
  Clock::time_point ClickButton();
  // Asks the window to close and waits for the tool to end; its exit status.
  int CloseTool();

  // The speech requests that the service has logged so far.
  size_t SpeechRequests() const;
  // Waits until the service has logged `count` speech requests in all.
  bool WaitForSpeechRequests(size_t count, milliseconds timeout);
  // The recording so far, without stopping it.
  Audio Heard() const { return recording_->Peek(); }
  // Waits until the recording holds, after its first loud sample, as long a
  // stretch as `expected` has from its first to its last loud sample, and
  // 0.3 s of silence after it; whether it did within `timeout`.
  bool WaitForSound(const Audio& expected, milliseconds timeout);
  Audio StopRecording();
  // Starts a new recording (after StopRecording).
  void Record();
  Recording& recording() { return *recording_; }

  // The service's MP3 for `text` at the tool's settings (vol 5, voice 4),
  // fetched with a token of our own and decoded with mpg123.
  Audio Reference(const std::string& text, int volume = 5, int voice = 4);
  // The service's raw answer for `text`, fetched the same way.
  HttpAnswer Fetch(const std::string& text, int volume = 5, int voice = 4);

  // The tool's temporary folder (its TMPDIR) and what is in it.
  const std::filesystem::path& temp_folder() const { return temp_; }
  std::vector<std::string> TempFiles() const;

 private:
  sonavel::testing::TempDir dir_;
  std::filesystem::path temp_;
  XServer x_;
  SoundServer sound_;
  Environment env_;
  int recordings_ = 0;
  int references_ = 0;
  std::optional<LocalService> service_;
  std::optional<Recording> recording_;
  std::optional<Process> tool_;
  std::string window_;
};

// Loudness thresholds for speech from the service at the tool's volume.
inline constexpr float kLoudSample = 0.02f;
inline constexpr double kLoudWindow = 0.01;

}  // namespace sonavel::e2e
