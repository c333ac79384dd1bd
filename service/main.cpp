// sonavel-speech-service: the local speech service as a program. Parses the
// command line, starts the service, prints "listening on URL" once bound, and
// stops on SIGTERM or SIGINT with exit code 0. Exit code 2 for a bad command
// line, 1 when the service cannot start or fails.
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "service/options.h"
#include "service/speech_service.h"
#include "service/synthesizer.h"

namespace {

constexpr const char* kProgram = "sonavel-speech-service";

void Fail(const std::string& message) {
  std::fprintf(stderr, "%s: %s\n", kProgram, message.c_str());
}

// Writes the port to `path` through a temporary file, so a reader never sees
// half a number.
bool WritePortFile(const std::string& path, int port) {
  const std::string temporary = path + ".tmp";
  {
    std::ofstream out(temporary, std::ios::trunc);
    out << port << '\n';
    if (!out.flush()) return false;
  }
  std::error_code error;
  std::filesystem::rename(temporary, path, error);
  if (error) std::filesystem::remove(temporary, error);
  return !error;
}

int Run(sonavel::service::CommandLine& line) {
  // The signals are taken by sigwait below; block them before any thread starts
  // so that every thread inherits the mask. A peer that hangs up mid-answer
  // must not end the program (OpenSSL writes without MSG_NOSIGNAL).
  sigset_t stop_signals;
  sigemptyset(&stop_signals);
  sigaddset(&stop_signals, SIGTERM);
  sigaddset(&stop_signals, SIGINT);
  if (pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr) != 0) {
    Fail("cannot block SIGTERM and SIGINT");
    return 1;
  }
  signal(SIGPIPE, SIG_IGN);

  std::atomic<bool> failed = false;
  const pid_t self = getpid();
  line.config.on_unexpected_stop = [&failed, self] {
    failed = true;
    kill(self, SIGTERM);  // wakes the sigwait below
  };

  std::unique_ptr<sonavel::service::Synthesizer> synthesizer;
  try {
    synthesizer = std::make_unique<sonavel::service::Synthesizer>();
  } catch (const std::exception& e) {
    Fail(e.what());
    return 1;
  }
  sonavel::service::SpeechService service(line.config, *synthesizer);
  std::string error;
  if (!service.Start(&error)) {
    Fail(error);
    return 1;
  }
  if (!line.port_file.empty() && !WritePortFile(line.port_file, service.port())) {
    Fail("cannot write the port file " + line.port_file);
    return 1;
  }
  std::printf("listening on %s\n", service.Url().c_str());
  std::fflush(stdout);

  int signal_number = 0;
  sigwait(&stop_signals, &signal_number);
  service.Stop();
  if (!line.port_file.empty()) {
    std::error_code ignored;
    std::filesystem::remove(line.port_file, ignored);
  }
  if (failed) {
    Fail("the service stopped listening");
    return 1;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  sonavel::service::CommandLine line =
      sonavel::service::ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
  if (line.help) {
    std::fputs(sonavel::service::Usage().c_str(), stdout);
    return 0;
  }
  if (!line.error.empty()) {
    Fail(line.error);
    std::fprintf(stderr, "Try '%s --help'.\n", kProgram);
    return 2;
  }
  return Run(line);
}
