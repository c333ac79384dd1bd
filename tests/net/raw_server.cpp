#include "tests/net/raw_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "text/rules.h"

namespace sonavel::testing {
namespace {

constexpr int kPollMs = 20;
constexpr auto kReadLimit = std::chrono::seconds(5);

int BindLoopback(int& port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = 0;
  socklen_t length = sizeof(address);
  if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    ::close(fd);
    return -1;
  }
  port = ntohs(address.sin_port);
  return fd;
}

// Waits for `fd` to become readable; false when the server stops first.
bool WaitReadable(int fd, const std::atomic<bool>& stop) {
  while (!stop) {
    pollfd p{fd, POLLIN, 0};
    const int ready = ::poll(&p, 1, kPollMs);
    if (ready > 0) return true;
    if (ready < 0) return false;
  }
  return false;
}

std::size_t ContentLength(const std::vector<std::string>& lines) {
  for (const std::string& line : lines) {
    const auto colon = line.find(':');
    if (colon != std::string::npos && EqualText(line.substr(0, colon), "Content-Length", true))
      return std::strtoul(line.c_str() + colon + 1, nullptr, 10);
  }
  return 0;
}

}  // namespace

std::vector<std::string> RecordedRequest::Values(std::string_view name) const {
  std::vector<std::string> values;
  for (const std::string& line : headerLines) {
    const auto colon = line.find(':');
    if (colon != std::string::npos && EqualText(line.substr(0, colon), name, true))
      values.push_back(TrimSpaces(line.substr(colon + 1)));
  }
  return values;
}

std::vector<std::string> RecordedRequest::Names() const {
  std::vector<std::string> names;
  for (const std::string& line : headerLines) names.push_back(line.substr(0, line.find(':')));
  return names;
}

RawAnswer RawResponse(int status, const std::vector<std::string>& headerLines,
                      std::string_view body) {
  std::string out = "HTTP/1.1 " + std::to_string(status) + " X\r\n";
  for (const std::string& line : headerLines) out += line + "\r\n";
  out += "Content-Length: " + std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n";
  out += body;
  return RawAnswer{out, true};
}

RawServer::RawServer(RawHandler handler) : handler_(std::move(handler)) {
  listener_ = BindLoopback(port_);
  if (listener_ < 0 || ::listen(listener_, 16) != 0) {
    std::perror("RawServer");
    std::abort();
  }
  thread_ = std::thread([this] { Serve(); });
}

RawServer::~RawServer() {
  stop_ = true;
  thread_.join();
  ::close(listener_);
}

std::string RawServer::Url(std::string_view path) const {
  return "http://127.0.0.1:" + std::to_string(port_) + std::string(path);
}

std::vector<RecordedRequest> RawServer::Requests() const {
  std::lock_guard lock(mutex_);
  return requests_;
}

void RawServer::Serve() {
  while (WaitReadable(listener_, stop_)) {
    const int connection = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (connection < 0) continue;
    Handle(connection);
    ::close(connection);
  }
}

void RawServer::Handle(int connection) {
  // Read the head, then as many body bytes as Content-Length says.
  std::string data;
  const auto deadline = std::chrono::steady_clock::now() + kReadLimit;
  auto readMore = [&] {
    if (std::chrono::steady_clock::now() > deadline || !WaitReadable(connection, stop_))
      return false;
    char buffer[16384];
    const ssize_t got = ::recv(connection, buffer, sizeof(buffer), 0);
    if (got <= 0) return false;
    data.append(buffer, static_cast<std::size_t>(got));
    return true;
  };
  std::size_t headEnd;
  while ((headEnd = data.find("\r\n\r\n")) == std::string::npos) {
    if (!readMore()) return;
  }
  RecordedRequest request;
  std::vector<std::string> lines = SplitText(data.substr(0, headEnd), "\r\n");
  if (lines.empty()) return;
  request.requestLine = lines.front();
  request.method = request.requestLine.substr(0, request.requestLine.find(' '));
  const auto targetStart = request.method.size() + 1;
  request.target = request.requestLine.substr(
      targetStart,
      request.requestLine.rfind(' ') - std::min(targetStart, request.requestLine.rfind(' ')));
  request.headerLines.assign(lines.begin() + 1, lines.end());
  const std::size_t bodyLength = ContentLength(request.headerLines);
  while (data.size() < headEnd + 4 + bodyLength) {
    if (!readMore()) break;
  }
  request.body = data.substr(headEnd + 4);
  {
    std::lock_guard lock(mutex_);
    requests_.push_back(request);
  }

  const RawAnswer answer = handler_(request);
  auto sendAll = [&](const std::string& bytes) {
    std::size_t sent = 0;
    while (sent < bytes.size()) {
      const ssize_t put =
          ::send(connection, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
      if (put <= 0) return false;
      sent += static_cast<std::size_t>(put);
    }
    return true;
  };
  if (!sendAll(answer.bytes)) return;
  for (const std::string& piece : answer.later) {
    std::this_thread::sleep_for(answer.pause);
    if (stop_ || !sendAll(piece)) return;
  }
  if (answer.close) {
    ::shutdown(connection, SHUT_WR);
    return;
  }
  // Hold the connection until the client closes it or the server stops.
  char sink[4096];
  while (WaitReadable(connection, stop_) && ::recv(connection, sink, sizeof(sink), 0) > 0) {
  }
}

int UnusedPort() {
  int port = 0;
  const int fd = BindLoopback(port);
  if (fd >= 0) ::close(fd);
  return port;
}

}  // namespace sonavel::testing
