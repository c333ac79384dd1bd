#include "tests/net/tiny_proxy.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>
#include <vector>

#include "tests/net/raw_server.h"

extern char** environ;

namespace sonavel::testing {
namespace {

bool Accepts(int port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0;
  ::close(fd);
  return ok;
}

}  // namespace

TinyProxy::TinyProxy(const std::string& user, const std::string& password) {
  if (::access(kBinary, X_OK) != 0) return;
  // The port is picked by binding first; another process may take it in
  // between, so try a few.
  for (int attempt = 0; attempt < 5 && pid_ <= 0; ++attempt) {
    StartOn(UnusedPort(), user, password);
  }
}

TinyProxy::~TinyProxy() { Stop(); }

std::string TinyProxy::Log() const {
  try {
    return ReadFile(dir_.path() / "tinyproxy.log");
  } catch (...) {
    return std::string();
  }
}

bool TinyProxy::StartOn(int port, const std::string& user, const std::string& password) {
  const std::string config = (dir_.path() / "tinyproxy.conf").string();
  const std::string log = (dir_.path() / "tinyproxy.log").string();
  WriteFile(config, "Port " + std::to_string(port) +
                        "\nListen 127.0.0.1\nAllow 127.0.0.1\nTimeout 10\nMaxClients 16\n"
                        "LogLevel Info\nBasicAuth " +
                        user + " " + password + "\n");

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, log.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  std::vector<char*> argv = {const_cast<char*>(kBinary), const_cast<char*>("-d"),
                             const_cast<char*>("-c"), const_cast<char*>(config.c_str()), nullptr};
  pid_t pid = -1;
  const int spawned = posix_spawn(&pid, kBinary, &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) return false;

  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (std::chrono::steady_clock::now() < deadline) {
    int status = 0;
    if (::waitpid(pid, &status, WNOHANG) == pid) return false;  // exited: port taken?
    if (Accepts(port)) {
      pid_ = pid;
      port_ = port;
      return true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ::kill(pid, SIGKILL);
  ::waitpid(pid, nullptr, 0);
  return false;
}

void TinyProxy::Stop() {
  if (pid_ <= 0) return;
  ::kill(pid_, SIGTERM);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
  while (std::chrono::steady_clock::now() < deadline) {
    if (::waitpid(pid_, nullptr, WNOHANG) == pid_) {
      pid_ = -1;
      return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ::kill(pid_, SIGKILL);
  ::waitpid(pid_, nullptr, 0);
  pid_ = -1;
}

}  // namespace sonavel::testing
