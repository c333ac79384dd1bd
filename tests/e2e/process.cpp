#include "tests/e2e/process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/eventfd.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <utility>

extern char** environ;

namespace sonavel::e2e {
namespace {

using Clock = std::chrono::steady_clock;

struct FileActionsDeleter {
  void operator()(posix_spawn_file_actions_t* actions) const {
    posix_spawn_file_actions_destroy(actions);
    delete actions;
  }
};
struct SpawnAttrDeleter {
  void operator()(posix_spawnattr_t* attr) const {
    posix_spawnattr_destroy(attr);
    delete attr;
  }
};

// A file descriptor closed on destruction.
class Fd {
 public:
  Fd() = default;
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() { Reset(); }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  int Release() { return std::exchange(fd_, -1); }
  void Reset() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
  }

 private:
  int fd_ = -1;
};

void Check(int result, const char* what) {
  if (result != 0) throw std::runtime_error(std::string(what) + ": " + std::strerror(result));
}

int StatusCode(int status) {
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return -1;
}

}  // namespace

Environment Environment::Inherited() {
  Environment env;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    std::string_view text(*entry);
    const auto equals = text.find('=');
    if (equals == std::string_view::npos) continue;
    env.vars_[std::string(text.substr(0, equals))] = std::string(text.substr(equals + 1));
  }
  return env;
}

std::string Environment::Get(const std::string& name) const {
  const auto found = vars_.find(name);
  return found == vars_.end() ? std::string() : found->second;
}

std::vector<std::string> Environment::Entries() const {
  std::vector<std::string> entries;
  for (const auto& [name, value] : vars_) entries.push_back(name + "=" + value);
  return entries;
}

Process::Process(std::vector<std::string> argv, const Environment& env,
                 const std::filesystem::path& cwd) {
  if (argv.empty()) throw std::invalid_argument("Process: no program");
  argv0_ = argv[0];

  int out_pipe[2];
  int err_pipe[2];
  if (pipe2(out_pipe, O_CLOEXEC) != 0) throw std::runtime_error("pipe2 failed");
  Fd out_read(out_pipe[0]), out_write(out_pipe[1]);
  if (pipe2(err_pipe, O_CLOEXEC) != 0) throw std::runtime_error("pipe2 failed");
  Fd err_read(err_pipe[0]), err_write(err_pipe[1]);
  Fd wake(eventfd(0, EFD_CLOEXEC));
  if (wake.get() < 0) throw std::runtime_error("eventfd failed");

  std::unique_ptr<posix_spawn_file_actions_t, FileActionsDeleter> actions(
      new posix_spawn_file_actions_t);
  Check(posix_spawn_file_actions_init(actions.get()), "posix_spawn_file_actions_init");
  Check(posix_spawn_file_actions_addopen(actions.get(), 0, "/dev/null", O_RDONLY, 0),
        "posix_spawn_file_actions_addopen");
  Check(posix_spawn_file_actions_adddup2(actions.get(), out_write.get(), 1),
        "posix_spawn_file_actions_adddup2");
  Check(posix_spawn_file_actions_adddup2(actions.get(), err_write.get(), 2),
        "posix_spawn_file_actions_adddup2");
  if (!cwd.empty()) {
    Check(posix_spawn_file_actions_addchdir_np(actions.get(), cwd.c_str()),
          "posix_spawn_file_actions_addchdir_np");
  }

  std::unique_ptr<posix_spawnattr_t, SpawnAttrDeleter> attr(new posix_spawnattr_t);
  Check(posix_spawnattr_init(attr.get()), "posix_spawnattr_init");
  // A group of its own, so that stopping it reaches its children too; and the
  // default handling of every signal, whatever this test process has set.
  sigset_t all;
  sigfillset(&all);
  sigset_t none;
  sigemptyset(&none);
  Check(posix_spawnattr_setflags(
            attr.get(), POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK),
        "posix_spawnattr_setflags");
  Check(posix_spawnattr_setpgroup(attr.get(), 0), "posix_spawnattr_setpgroup");
  Check(posix_spawnattr_setsigdefault(attr.get(), &all), "posix_spawnattr_setsigdefault");
  Check(posix_spawnattr_setsigmask(attr.get(), &none), "posix_spawnattr_setsigmask");

  std::vector<char*> args;
  for (auto& arg : argv) args.push_back(arg.data());
  args.push_back(nullptr);
  std::vector<std::string> entries = env.Entries();
  std::vector<char*> envp;
  for (auto& entry : entries) envp.push_back(entry.data());
  envp.push_back(nullptr);

  const int result =
      posix_spawnp(&pid_, args[0], actions.get(), attr.get(), args.data(), envp.data());
  if (result != 0) {
    throw std::runtime_error("cannot start " + argv0_ + ": " + std::strerror(result));
  }
  out_write.Reset();
  err_write.Reset();
  captures_[kStdout].fd = out_read.Release();
  captures_[kStderr].fd = err_read.Release();
  wake_fd_ = wake.Release();
  reader_ = std::thread([this] { ReadLoop(); });
}

Process::~Process() {
  if (Running()) Stop();
  // Whatever the group left behind goes with it.
  kill(-pid_, SIGKILL);
  const uint64_t one = 1;
  if (write(wake_fd_, &one, sizeof one) < 0) {
    // The reader also ends once both streams have closed.
  }
  reader_.join();
  for (auto& capture : captures_) close(capture.fd);
  close(wake_fd_);
}

void Process::ReadLoop() {
  char buffer[4096];
  while (true) {
    pollfd fds[3];
    int count = 0;
    int streams[2];
    {
      std::lock_guard lock(mutex_);
      for (int s = 0; s < 2; ++s) {
        if (!captures_[s].ended) {
          fds[count] = {captures_[s].fd, POLLIN, 0};
          streams[count++] = s;
        }
      }
    }
    if (count == 0) return;
    fds[count] = {wake_fd_, POLLIN, 0};
    if (poll(fds, count + 1, -1) < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (fds[count].revents != 0) return;
    for (int i = 0; i < count; ++i) {
      if (fds[i].revents == 0) continue;
      const ssize_t got = read(fds[i].fd, buffer, sizeof buffer);
      if (got < 0 && errno == EINTR) continue;
      std::lock_guard lock(mutex_);
      Capture& capture = captures_[streams[i]];
      if (got <= 0) {
        if (!capture.partial.empty()) capture.lines.push_back(std::move(capture.partial));
        capture.partial.clear();
        capture.ended = true;
      } else {
        capture.partial.append(buffer, static_cast<size_t>(got));
        size_t newline;
        while ((newline = capture.partial.find('\n')) != std::string::npos) {
          capture.lines.push_back(capture.partial.substr(0, newline));
          capture.partial.erase(0, newline + 1);
        }
      }
      changed_.notify_all();
    }
  }
}

bool Process::Reap(bool block) {
  if (status_) return true;
  int status = 0;
  pid_t got;
  do {
    got = waitpid(pid_, &status, block ? 0 : WNOHANG);
  } while (got < 0 && errno == EINTR);
  if (got == pid_) {
    status_ = StatusCode(status);
    return true;
  }
  if (got < 0) {
    status_ = -1;  // not our child any more: nothing to wait for
    return true;
  }
  return false;
}

bool Process::Running() { return !Reap(false); }

void Process::Signal(int signal) {
  if (Running()) kill(-pid_, signal);
}

std::optional<int> Process::Wait(milliseconds timeout) {
  WaitUntil([this] { return Reap(false); }, timeout, milliseconds(5));
  return status_;
}

int Process::Stop(int signal, milliseconds grace) {
  Signal(signal);
  if (!Wait(grace)) {
    kill(-pid_, SIGKILL);
    Reap(true);
  }
  return *status_;
}

std::optional<std::string> Process::WaitForLine(Stream stream,
                                                const std::function<bool(std::string_view)>& match,
                                                milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  std::unique_lock lock(mutex_);
  size_t checked = 0;
  while (true) {
    const Capture& capture = captures_[stream];
    for (; checked < capture.lines.size(); ++checked) {
      if (match(capture.lines[checked])) return capture.lines[checked];
    }
    if (capture.ended) return std::nullopt;
    if (changed_.wait_until(lock, deadline) == std::cv_status::timeout) {
      for (; checked < capture.lines.size(); ++checked) {
        if (match(capture.lines[checked])) return capture.lines[checked];
      }
      return std::nullopt;
    }
  }
}

std::optional<std::string> Process::WaitForLine(Stream stream, std::string_view part,
                                                milliseconds timeout) {
  const std::string wanted(part);
  return WaitForLine(
      stream, [&](std::string_view line) { return line.find(wanted) != std::string_view::npos; },
      timeout);
}

bool Process::WaitForEnd(Stream stream, milliseconds timeout) {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, timeout, [&] { return captures_[stream].ended; });
}

std::vector<std::string> Process::Lines(Stream stream) const {
  std::lock_guard lock(mutex_);
  return captures_[stream].lines;
}

std::string Process::Output(Stream stream) const {
  std::lock_guard lock(mutex_);
  std::string text;
  for (const auto& line : captures_[stream].lines) text += line + "\n";
  return text + captures_[stream].partial;
}

CommandResult RunCommand(std::vector<std::string> argv, const Environment& env,
                         milliseconds timeout) {
  Process process(std::move(argv), env);
  CommandResult result;
  const auto status = process.Wait(timeout);
  if (!status) {
    process.Stop(SIGKILL, milliseconds(0));
  } else {
    result.status = *status;
  }
  process.WaitForEnd(Process::kStdout, milliseconds(1000));
  process.WaitForEnd(Process::kStderr, milliseconds(1000));
  result.out = process.Output(Process::kStdout);
  result.err = process.Output(Process::kStderr);
  return result;
}

bool WaitUntil(const std::function<bool()>& done, milliseconds timeout, milliseconds step) {
  const auto deadline = Clock::now() + timeout;
  while (true) {
    if (done()) return true;
    if (Clock::now() >= deadline) return false;
    std::this_thread::sleep_for(step);
  }
}

}  // namespace sonavel::e2e
