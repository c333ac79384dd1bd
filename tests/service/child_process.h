// A program run as a child process for one test, its stdout and stderr going
// to files in a private folder. The destructor kills it (SIGKILL) if it still
// runs and reaps it, so no test leaves a process behind.
//
//   ChildProcess child({"/path/prog", "--flag"});
//   std::string line = child.WaitForStdoutLine(std::chrono::seconds(10));
//   child.Signal(SIGTERM);
//   int status = child.Wait(std::chrono::seconds(10));  // exit code, or 128 + signal
#pragma once

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/temp_dir.h"

namespace sonavel::testing {

class ChildProcess {
 public:
  explicit ChildProcess(const std::vector<std::string>& argv);  // aborts when it cannot start
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // The first line the child printed, without its newline; empty when none
  // came within `timeout` or the child ended first.
  std::string WaitForStdoutLine(std::chrono::milliseconds timeout);
  void Signal(int signal_number);
  // The exit code (128 + N when killed by signal N), or nullopt when the
  // child has not ended within `timeout`.
  std::optional<int> Wait(std::chrono::milliseconds timeout);

  std::string Stdout() const;
  std::string Stderr() const;
  const TempDir& dir() const { return dir_; }

 private:
  bool Reap(bool block);

  TempDir dir_;
  pid_t pid_ = -1;
  std::optional<int> exit_code_;
};

}  // namespace sonavel::testing
