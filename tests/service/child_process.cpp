#include "tests/service/child_process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <thread>

extern char** environ;

namespace sonavel::testing {

ChildProcess::ChildProcess(const std::vector<std::string>& argv) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  const std::string out = (dir_.path() / "stdout").string();
  const std::string err = (dir_.path() / "stderr").string();
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);

  // The child starts with no blocked signals and default dispositions, whatever
  // the test process set.
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t none;
  sigemptyset(&none);
  sigset_t all;
  sigfillset(&all);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setsigdefault(&attributes, &all);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

  std::vector<char*> args;
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  const int result = posix_spawn(&pid_, args[0], &actions, &attributes, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  if (result != 0) {
    std::fprintf(stderr, "ChildProcess: cannot start %s\n", args[0]);
    std::abort();
  }
}

ChildProcess::~ChildProcess() {
  if (!exit_code_ && pid_ > 0) {
    kill(pid_, SIGKILL);
    Reap(true);
  }
}

bool ChildProcess::Reap(bool block) {
  if (exit_code_) return true;
  int status = 0;
  const pid_t done = waitpid(pid_, &status, block ? 0 : WNOHANG);
  if (done != pid_) return false;
  exit_code_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return true;
}

std::string ChildProcess::WaitForStdoutLine(std::chrono::milliseconds timeout) {
  const auto end = std::chrono::steady_clock::now() + timeout;
  while (true) {
    const std::string out = Stdout();
    const std::size_t newline = out.find('\n');
    if (newline != std::string::npos) return out.substr(0, newline);
    if (Reap(false) || std::chrono::steady_clock::now() >= end) return std::string();
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

void ChildProcess::Signal(int signal_number) {
  if (!exit_code_) kill(pid_, signal_number);
}

std::optional<int> ChildProcess::Wait(std::chrono::milliseconds timeout) {
  const auto end = std::chrono::steady_clock::now() + timeout;
  while (!Reap(false)) {
    if (std::chrono::steady_clock::now() >= end) return std::nullopt;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return exit_code_;
}

std::string ChildProcess::Stdout() const { return ReadFile(dir_.path() / "stdout"); }
std::string ChildProcess::Stderr() const { return ReadFile(dir_.path() / "stderr"); }

}  // namespace sonavel::testing
