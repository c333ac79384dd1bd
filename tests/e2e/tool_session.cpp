#include "tests/e2e/tool_session.h"

#include <signal.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <stdexcept>

#include "tests/support/temp_dir.h"
#include "tests/support/test_ca.h"

namespace sonavel::e2e {
namespace {

using sonavel::testing::TestCa;

// Speech requests in the service's log.
size_t CountSpeechRequests(const std::vector<std::string>& log) {
  return static_cast<size_t>(std::count_if(log.begin(), log.end(), [](const std::string& line) {
    return line.find("/text2audio") != std::string::npos;
  }));
}

}  // namespace

const BuildFacts& Build() {
  static const BuildFacts facts{SONAVEL_E2E_TOOL, SONAVEL_E2E_SERVICE, SONAVEL_E2E_ADDRESS,
                                SONAVEL_E2E_API_KEY, SONAVEL_E2E_SECRET_KEY};
  return facts;
}

ToolSession::ToolSession(std::optional<std::vector<std::string>> service_arguments)
    : temp_(dir_.path() / "tmp"), env_(Environment::Inherited()) {
  for (const char* folder : {"tmp", "home", "home/.config", "home/.local/share", "cache"}) {
    std::filesystem::create_directories(dir_.path() / folder);
  }
  x_.AddTo(env_);
  sound_.AddTo(env_);  // also XDG_RUNTIME_DIR, private to this session
  // Qt, GStreamer and fontconfig keep their files in here, and nowhere else.
  env_.Set("HOME", (dir_.path() / "home").string());
  env_.Set("XDG_CONFIG_HOME", (dir_.path() / "home/.config").string());
  env_.Set("XDG_DATA_HOME", (dir_.path() / "home/.local/share").string());
  env_.Set("XDG_CACHE_HOME", (dir_.path() / "cache").string());
  env_.Set("TMPDIR", temp_.string());
  env_.Set("LC_ALL", "C.UTF-8");
  env_.Set("QT_QPA_PLATFORM", "xcb");
  env_.Unset("QT_MEDIA_BACKEND");
  env_.Unset("QT_LOGGING_RULES");
  env_.Unset("GST_REGISTRY");
  env_.Unset("GST_PLUGIN_PATH");
  Record();
  if (service_arguments) StartService(*service_arguments);
}

ToolSession::~ToolSession() {
  tool_.reset();
  recording_.reset();
  service_.reset();
}

void ToolSession::StartService(const std::vector<std::string>& arguments) {
  service_.reset();
  service_.emplace(Build().service, Build().service_address, TestCa::Local(), arguments);
}

int ToolSession::StopService() { return service_->Stop(); }

void ToolSession::StartTool() {
  tool_.emplace(std::vector<std::string>{Build().tool}, env_, dir_.path() / "home");
  const auto window = FindWindow(env_, "SonavelV1.0", milliseconds(15000));
  if (!window) {
    throw std::runtime_error("the tool shows no window \"SonavelV1.0\": " +
                             tool_->Output(Process::kStderr));
  }
  window_ = *window;
}

void ToolSession::ReplaceText(const std::string& text, int delay_ms) {
  std::optional<std::string> holds;
  for (int attempt = 0; attempt < 3; ++attempt) {
    Click(env_, window_, kEditBox.x, kEditBox.y);
    PressKeys(env_, "ctrl+a");
    PressKeys(env_, "BackSpace");
    if (text.empty()) return;  // nothing to select and read back
    // Characters that are not on the keyboard are typed through a keycode
    // that xdotool remaps for each one; on a busy machine a key can arrive
    // with the mapping of its neighbour.
    TypeText(env_, text, delay_ms);
    PressKeys(env_, "ctrl+a");
    holds = SelectedText(env_, milliseconds(2000));
    PressKeys(env_, "End");
    if (holds == text) return;
    std::printf("typing again: the edit box holds \"%s\"\n", holds.value_or("").c_str());
  }
  throw std::runtime_error("the edit box holds \"" + holds.value_or("(nothing)") +
                           "\" instead of \"" + text + "\"");
}

ToolSession::Clock::time_point ToolSession::ClickButton() {
  const auto now = Clock::now();
  Click(env_, window_, kButton.x, kButton.y);
  return now;
}

int ToolSession::CloseTool() {
  CloseWindow(env_, window_);
  auto status = tool_->Wait(milliseconds(10000));
  if (!status) status = tool_->Stop(SIGKILL, milliseconds(0));
  if (*status != 0) {
    tool_->WaitForEnd(Process::kStderr, milliseconds(1000));
    std::printf("the tool ended with %d; it wrote:\n%s", *status,
                tool_->Output(Process::kStderr).c_str());
  }
  return *status;
}

size_t ToolSession::SpeechRequests() const { return CountSpeechRequests(service_->Log()); }

bool ToolSession::WaitForSpeechRequests(size_t count, milliseconds timeout) {
  return WaitUntil([&] { return CountSpeechRequests(service_->Log()) >= count; }, timeout);
}

bool ToolSession::WaitForSound(const Audio& expected, milliseconds timeout) {
  const auto first_expected = FirstLoudSample(expected, kLoudSample);
  if (!first_expected) throw std::invalid_argument("WaitForSound: the expected audio is silent");
  size_t last_expected = expected.samples.size() - 1;
  while (std::abs(expected.samples[last_expected]) < kLoudSample) --last_expected;
  const double span = static_cast<double>(last_expected - *first_expected) / expected.rate;
  return WaitUntil(
      [&] {
        const Audio heard = Heard();
        const auto first = FirstLoudSample(heard, kLoudSample);
        if (!first) return false;
        const double after = static_cast<double>(heard.samples.size() - *first) / heard.rate;
        if (after < span + 0.3) return false;
        const auto quiet_from = heard.samples.size() - static_cast<size_t>(0.3 * heard.rate);
        return std::all_of(heard.samples.begin() + static_cast<std::ptrdiff_t>(quiet_from),
                           heard.samples.end(),
                           [](float sample) { return std::abs(sample) < kLoudSample; });
      },
      timeout, milliseconds(100));
}

Audio ToolSession::StopRecording() { return recording_->Stop(); }

void ToolSession::Record() {
  recording_.reset();
  recording_.emplace(sound_, dir_.path() / ("recording-" + std::to_string(++recordings_) + ".wav"));
}

HttpAnswer ToolSession::Fetch(const std::string& text, int volume, int voice) {
  const HttpsClient client(TestCa::Local().ca_file());
  const std::string token = client.Token(service_->url(), Build().api_key, Build().secret_key);
  return client.Speech(service_->url(), token, text, volume, voice);
}

Audio ToolSession::Reference(const std::string& text, int volume, int voice) {
  const HttpAnswer answer = Fetch(text, volume, voice);
  if (answer.status != 200 || answer.content_type != "audio/mp3") {
    throw std::runtime_error("the service gave no audio (" + std::to_string(answer.status) + ", " +
                             answer.content_type + "): " + answer.body);
  }
  const std::string name = "reference-" + std::to_string(++references_);
  const auto mp3 = dir_.path() / (name + ".mp3");
  const auto wav = dir_.path() / (name + ".wav");
  sonavel::testing::WriteFile(mp3, answer.body);
  const CommandResult decoded =
      RunCommand({"mpg123", "-q", "-w", wav.string(), mp3.string()}, Environment::Inherited());
  if (decoded.status != 0) throw std::runtime_error("mpg123 failed: " + decoded.err);
  return ReadWav(wav);
}

std::vector<std::string> ToolSession::TempFiles() const {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(temp_)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace sonavel::e2e
