#include "tests/faults/fault_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>

namespace sonavel::testing {
namespace {

constexpr int kPollMs = 20;
constexpr std::size_t kSendPiece = 64 * 1024;

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "FaultServer: %s\n", what);
  std::abort();
}

int BoundLoopbackSocket(int& port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof(address);
  if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    ::close(fd);
    return -1;
  }
  port = ntohs(address.sin_port);
  return fd;
}

// Reads and writes on a connection give up after this long, so that every
// loop looks at the stop flag often.
void SetShortTimeouts(int fd) {
  timeval tv{0, 50 * 1000};
  ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof(tv));
  ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof(tv));
}

char Lower(char c) {
  const auto b = static_cast<unsigned char>(c);
  return b >= 'A' && b <= 'Z' ? static_cast<char>(b + 0x20) : c;
}

// The Content-Length of a request head, 0 when it names none.
std::size_t ContentLength(std::string_view head) {
  std::string lower(head);
  std::transform(lower.begin(), lower.end(), lower.begin(), Lower);
  const std::size_t at = lower.find("\r\ncontent-length:");
  if (at == std::string::npos) return 0;
  return std::strtoul(lower.c_str() + at + 17, nullptr, 10);
}

const char* Reason(int status) {
  switch (status) {
    case 200:
      return "OK";
    case 302:
      return "Found";
    case 404:
      return "Not Found";
    case 407:
      return "Proxy Authentication Required";
    default:
      return "Status";
  }
}

}  // namespace

FaultConnection::~FaultConnection() {
  if (ssl_ != nullptr) {
    if (!reset_) SSL_shutdown(ssl_);
    SSL_free(ssl_);
  }
  if (reset_) {
    linger hard{1, 0};
    ::setsockopt(fd_, SOL_SOCKET, SO_LINGER, &hard, sizeof(hard));
  }
  ::close(fd_);
}

bool FaultConnection::Handshake(SSL_CTX* tls) {
  ssl_ = SSL_new(tls);
  if (ssl_ == nullptr || SSL_set_fd(ssl_, fd_) != 1) return false;
  while (!server_.stopping()) {
    const int result = SSL_accept(ssl_);
    if (result == 1) return true;
    const int error = SSL_get_error(ssl_, result);
    if (error != SSL_ERROR_WANT_READ && error != SSL_ERROR_WANT_WRITE) return false;
  }
  return false;
}

bool FaultConnection::ReadSome() {
  char data[16 * 1024];
  while (!server_.stopping()) {
    if (ssl_ == nullptr || SSL_pending(ssl_) == 0) {
      pollfd p{fd_, POLLIN, 0};
      const int ready = ::poll(&p, 1, kPollMs);
      if (ready < 0) return false;
      if (ready == 0) continue;
    }
    if (ssl_ != nullptr) {
      const int got = SSL_read(ssl_, data, sizeof(data));
      if (got > 0) {
        buffer_.append(data, static_cast<std::size_t>(got));
        return true;
      }
      const int error = SSL_get_error(ssl_, got);
      if (error == SSL_ERROR_WANT_READ || error == SSL_ERROR_WANT_WRITE) continue;
      return false;
    }
    const ssize_t got = ::recv(fd_, data, sizeof(data), 0);
    if (got > 0) {
      buffer_.append(data, static_cast<std::size_t>(got));
      return true;
    }
    if (got < 0 && (errno == EAGAIN || errno == EINTR)) continue;
    return false;
  }
  return false;
}

std::string FaultConnection::ReadRequest() {
  std::size_t headEnd;
  while ((headEnd = buffer_.find("\r\n\r\n")) == std::string::npos) {
    if (!ReadSome()) return {};
  }
  const std::size_t total =
      headEnd + 4 + ContentLength(std::string_view(buffer_).substr(0, headEnd));
  while (buffer_.size() < total) {
    if (!ReadSome()) return {};
  }
  std::string request = buffer_.substr(0, total);
  buffer_.erase(0, total);
  server_.Record(request);
  return request;
}

bool FaultConnection::Send(std::string_view bytes) {
  while (!bytes.empty()) {
    if (server_.stopping()) return false;
    const std::size_t piece = std::min(bytes.size(), kSendPiece);
    if (ssl_ != nullptr) {
      const int sent = SSL_write(ssl_, bytes.data(), static_cast<int>(piece));
      if (sent > 0) {
        bytes.remove_prefix(static_cast<std::size_t>(sent));
        continue;
      }
      const int error = SSL_get_error(ssl_, sent);
      if (error == SSL_ERROR_WANT_READ || error == SSL_ERROR_WANT_WRITE) continue;
      return false;
    }
    const ssize_t sent = ::send(fd_, bytes.data(), piece, MSG_NOSIGNAL);
    if (sent > 0) {
      bytes.remove_prefix(static_cast<std::size_t>(sent));
      continue;
    }
    if (sent < 0 && (errno == EAGAIN || errno == EINTR)) continue;
    return false;
  }
  return true;
}

bool FaultConnection::Trickle(std::string_view bytes, std::size_t piece,
                              std::chrono::milliseconds gap) {
  for (std::size_t at = 0; at < bytes.size(); at += piece) {
    if (at > 0 && !Pause(gap)) return false;
    if (!Send(bytes.substr(at, piece))) return false;
  }
  return true;
}

bool FaultConnection::Pause(std::chrono::milliseconds time) { return server_.Wait(time); }

void FaultConnection::Hold() {
  while (ReadSome()) buffer_.clear();
}

void FaultConnection::Reset() { reset_ = true; }

FaultServer::FaultServer(FaultScript script, const TestCa* tls, bool accept)
    : script_(std::move(script)), accept_(accept) {
  // A client that goes away must not kill the test with SIGPIPE on a TLS write.
  std::signal(SIGPIPE, SIG_IGN);
  if (tls != nullptr) {
    tls_.reset(SSL_CTX_new(TLS_server_method()));
    if (!tls_ || SSL_CTX_use_certificate_chain_file(tls_.get(), tls->cert_file().c_str()) != 1 ||
        SSL_CTX_use_PrivateKey_file(tls_.get(), tls->key_file().c_str(), SSL_FILETYPE_PEM) != 1)
      Fail("cannot load the test certificate");
    SSL_CTX_set_mode(tls_.get(), SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
  }
  listener_ = BoundLoopbackSocket(port_);
  if (listener_ < 0 || ::listen(listener_, 64) != 0) Fail("cannot listen on 127.0.0.1");
  acceptor_ = std::thread([this] { Serve(); });
}

FaultServer::~FaultServer() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  stopped_.notify_all();
  acceptor_.join();
  for (std::thread& worker : workers_) worker.join();
  ::close(listener_);
}

std::string FaultServer::Url(std::string_view path) const {
  return std::string(tls_ ? "https://" : "http://") + Address() + std::string(path);
}

std::string FaultServer::Address() const { return "127.0.0.1:" + std::to_string(port_); }

std::vector<std::string> FaultServer::Requests() const {
  std::lock_guard lock(mutex_);
  return requests_;
}

void FaultServer::Record(std::string request) {
  std::lock_guard lock(mutex_);
  requests_.push_back(std::move(request));
}

bool FaultServer::Wait(std::chrono::milliseconds time) {
  std::unique_lock lock(mutex_);
  return !stopped_.wait_for(lock, time, [this] { return stop_.load(); });
}

void FaultServer::Serve() {
  while (!stop_) {
    if (!accept_) {
      Wait(std::chrono::milliseconds(kPollMs));
      continue;
    }
    pollfd p{listener_, POLLIN, 0};
    if (::poll(&p, 1, kPollMs) <= 0) continue;
    const int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    SetShortTimeouts(fd);
    const int index = connections_++;
    workers_.emplace_back([this, fd, index] {
      FaultConnection connection(*this, fd, index);
      if (tls_ && !connection.Handshake(tls_.get())) return;
      script_(connection);
    });
  }
}

std::string HttpAnswer(int status, const std::vector<std::string>& headerLines,
                       std::string_view body) {
  std::string out = "HTTP/1.1 " + std::to_string(status) + " " + Reason(status) + "\r\n";
  bool sized = false;
  for (const std::string& line : headerLines) {
    out += line + "\r\n";
    std::string lower(line);
    std::transform(lower.begin(), lower.end(), lower.begin(), Lower);
    sized = sized || lower.rfind("content-length:", 0) == 0 ||
            lower.rfind("transfer-encoding:", 0) == 0;
  }
  if (!sized) out += "Content-Length: " + std::to_string(body.size()) + "\r\n";
  out += "Connection: close\r\n\r\n";
  out += body;
  return out;
}

int UnusedLoopbackPort() {
  int port = 0;
  const int fd = BoundLoopbackSocket(port);
  if (fd < 0) Fail("cannot bind 127.0.0.1");
  ::close(fd);
  return port;
}

}  // namespace sonavel::testing
