#include "tests/e2e/sound_server.h"

#include <signal.h>

#include <stdexcept>

namespace sonavel::e2e {
namespace {

constexpr milliseconds kRecorderLatency(20);

}  // namespace

SoundServer::SoundServer() {
  std::filesystem::create_directories(folder() / "pulse");
  std::filesystem::create_directories(folder() / "state");
  Environment env = Environment::Inherited();
  AddTo(env);
  // The server keeps nothing in the machine's home folder either.
  env.Set("HOME", folder().string());
  env.Set("XDG_CONFIG_HOME", folder().string());
  server_.emplace(
      std::vector<std::string>{
          "pulseaudio", "--daemonize=no", "--exit-idle-time=-1", "-n", "--disallow-exit",
          "--disable-shm=yes", "--log-target=stderr", "--use-pid-file=no", "-L",
          "module-native-protocol-unix auth-anonymous=1 socket=" + (folder() / "native").string(),
          "-L", "module-null-sink sink_name=" + sink_ + " norewinds=1", "-L", "module-always-sink"},
      env);
  const bool up = WaitUntil(
      [&] {
        if (!server_->Running()) return false;
        if (!std::filesystem::exists(folder() / "native")) return false;
        const CommandResult sinks = RunCommand({"pactl", "list", "short", "sinks"}, env);
        return sinks.status == 0 && sinks.out.find(sink_) != std::string::npos;
      },
      milliseconds(10000), milliseconds(50));
  if (!up) {
    throw std::runtime_error("PulseAudio did not start: " + server_->Output(Process::kStderr));
  }
  const CommandResult set = RunCommand({"pactl", "set-default-sink", sink_}, env);
  if (set.status != 0) throw std::runtime_error("pactl set-default-sink failed: " + set.err);
}

SoundServer::~SoundServer() {
  // Stopped before the folder goes, so that it does not write into a removed folder.
  server_.reset();
}

void SoundServer::AddTo(Environment& env) const {
  env.Set("XDG_RUNTIME_DIR", folder().string());
  env.Set("PULSE_RUNTIME_PATH", (folder() / "pulse").string());
  env.Set("PULSE_STATE_PATH", (folder() / "state").string());
  env.Set("PULSE_COOKIE", (folder() / "cookie").string());
  env.Set("PULSE_SERVER", "unix:" + (folder() / "native").string());
  env.Unset("PULSE_SINK");
  env.Unset("PULSE_SOURCE");
}

Recording::Recording(const SoundServer& server, std::filesystem::path wav) : wav_(std::move(wav)) {
  Environment env = Environment::Inherited();
  server.AddTo(env);
  recorder_.emplace(std::vector<std::string>{"parecord", "--latency-msec=20",
                                             "--device=" + server.sink() + ".monitor",
                                             "--file-format=wav", wav_.string()},
                    env);
  // The header is written at once; samples follow when the stream runs.
  const bool flowing = WaitUntil(
      [&] {
        std::error_code error;
        const auto size = std::filesystem::file_size(wav_, error);
        return !error && size > 44 + 4 * 441;
      },
      milliseconds(5000), milliseconds(5));
  if (!flowing) {
    throw std::runtime_error("parecord records nothing: " + recorder_->Output(Process::kStderr));
  }
}

Audio Recording::Peek() const { return ReadWav(wav_); }

Audio Recording::Stop() {
  if (!recorder_) throw std::logic_error("Recording::Stop called twice");
  stopped_ = Clock::now();
  const int status = recorder_->Stop(SIGINT);
  const std::string errors = recorder_->Output(Process::kStderr);
  recorder_.reset();
  if (status != 0 && status != 128 + SIGINT) {
    throw std::runtime_error("parecord failed (" + std::to_string(status) + "): " + errors);
  }
  Audio audio = ReadWav(wav_);
  count_ = audio.samples.size();
  rate_ = audio.rate;
  return audio;
}

Recording::Clock::time_point Recording::SampleTime(size_t index) const {
  const double back = rate_ > 0 ? static_cast<double>(count_ - index) / rate_ : 0;
  return stopped_ - kRecorderLatency -
         std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(back));
}

}  // namespace sonavel::e2e
