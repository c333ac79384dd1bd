// Child processes for end-to-end tests.
//
// `Environment` is a set of NAME=VALUE pairs, copied from this process's
// environment and then changed; `Process` runs a program in a process group of
// its own, with stdin on /dev/null and stdout/stderr captured line by line.
// Destroying a `Process` stops the whole group (SIGTERM, then SIGKILL after a
// grace period) and reaps it, so a test leaves nothing running behind.
//
//   Environment env = Environment::Inherited();
//   env.Set("DISPLAY", ":3");
//   Process xclock({"xclock"}, env);
//   xclock.WaitForLine(Process::kStdout, "ready", 5s);  // the first matching line, or nullopt
//   int status = xclock.Stop();                          // exit code, or 128 + signal number
//
// Lines are split at "\n" and carry no line ending; a last line without one is
// kept when the stream ends. Output is bytes: nothing is converted.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace sonavel::e2e {

using std::chrono::milliseconds;

class Environment {
 public:
  // This process's environment.
  static Environment Inherited();

  void Set(const std::string& name, const std::string& value) { vars_[name] = value; }
  void Unset(const std::string& name) { vars_.erase(name); }
  // The value, or the empty text when the variable is not set.
  std::string Get(const std::string& name) const;
  // "NAME=VALUE" strings, sorted by name.
  std::vector<std::string> Entries() const;

 private:
  std::map<std::string, std::string> vars_;
};

class Process {
 public:
  enum Stream { kStdout = 0, kStderr = 1 };

  // Starts argv[0] (searched in PATH when it holds no "/") in `cwd`, or in the
  // current folder when `cwd` is empty. Throws std::runtime_error when the
  // program cannot be started.
  Process(std::vector<std::string> argv, const Environment& env,
          const std::filesystem::path& cwd = {});
  ~Process();
  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;

  pid_t pid() const { return pid_; }
  const std::string& name() const { return argv0_; }

  // True while the program has not exited (reaps it when it has).
  bool Running();
  // Sends `signal` to the whole process group; nothing when it has gone.
  void Signal(int signal);
  // Waits up to `timeout` for the program to exit; its exit code, or 128 +
  // the signal number that ended it; nullopt when it still runs.
  std::optional<int> Wait(milliseconds timeout);
  // Sends `signal`, waits up to `grace`, then kills the group; the exit status.
  int Stop(int signal = 15, milliseconds grace = milliseconds(3000));

  // The first line of `stream` (already seen or arriving within `timeout`)
  // for which `match` holds; nullopt on timeout or when the stream ended first.
  std::optional<std::string> WaitForLine(Stream stream,
                                         const std::function<bool(std::string_view)>& match,
                                         milliseconds timeout);
  // The same for the first line that contains `part`.
  std::optional<std::string> WaitForLine(Stream stream, std::string_view part,
                                         milliseconds timeout);
  // Waits until the stream has ended (the program and its children closed it).
  bool WaitForEnd(Stream stream, milliseconds timeout);
  // The lines seen so far.
  std::vector<std::string> Lines(Stream stream) const;
  // The lines seen so far, each ended with "\n", for failure messages.
  std::string Output(Stream stream) const;

 private:
  struct Capture {
    int fd = -1;
    std::string partial;
    std::vector<std::string> lines;
    bool ended = false;
  };
  void ReadLoop();
  bool Reap(bool block);

  std::string argv0_;
  pid_t pid_ = -1;
  std::optional<int> status_;
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  Capture captures_[2];
  int wake_fd_ = -1;  // an eventfd that ends the reader thread
  std::thread reader_;
};

struct CommandResult {
  int status = -1;  // exit code, 128 + signal, or -1 when it did not end in time
  std::string out;
  std::string err;
};

// Runs a program to its end (killing it after `timeout`) and returns its output.
CommandResult RunCommand(std::vector<std::string> argv, const Environment& env,
                         milliseconds timeout = milliseconds(10000));

// Sleeps in small steps until `done` holds or `timeout` passes; whether it held.
bool WaitUntil(const std::function<bool()>& done, milliseconds timeout,
               milliseconds step = milliseconds(20));

}  // namespace sonavel::e2e
