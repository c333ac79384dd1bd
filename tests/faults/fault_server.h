// A loopback server that misbehaves on purpose, for the fault tests.
//
// It listens on 127.0.0.1 on a port the OS picks, speaks plain TCP or TLS
// (OpenSSL, with a TestCa's server certificate), and runs a script of the
// test's own for every connection, on a thread of its own: read a request,
// answer part of it, trickle, pause, hold the line open, reset it. The
// destructor stops every script (pauses and reads end at once) and joins.
//
//   FaultServer server([](FaultConnection& c) {
//     c.ReadRequest();
//     c.Send("HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nhalf");  // and close: a cut body
//   });
//   HttpAccess(server.Url("/x"), {.TimeoutSeconds = 1});
#pragma once

#include <openssl/ssl.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "tests/support/test_ca.h"

namespace sonavel::testing {

class FaultServer;

// One accepted connection, as a script sees it. Every call returns early
// (false, or empty) when the peer has gone or the server is stopping.
class FaultConnection {
 public:
  // The next request: its head up to and including the blank line, and as
  // many body bytes as its Content-Length names. Empty when none came.
  std::string ReadRequest();
  // Sends all of `bytes`.
  bool Send(std::string_view bytes);
  // Sends `bytes` in pieces of `piece` bytes, waiting `gap` before each
  // piece after the first.
  bool Trickle(std::string_view bytes, std::size_t piece, std::chrono::milliseconds gap);
  // Waits for `time`; false when the server stops first.
  bool Pause(std::chrono::milliseconds time);
  // Keeps the connection open, reading and dropping what comes, until the
  // peer closes or the server stops.
  void Hold();
  // Ends the connection with a TCP reset instead of an orderly close.
  void Reset();

  // 0 for the first connection the server accepted, 1 for the next, ...
  int index() const { return index_; }

 private:
  friend class FaultServer;
  FaultConnection(FaultServer& server, int fd, int index)
      : server_(server), fd_(fd), index_(index) {}
  ~FaultConnection();
  bool Handshake(SSL_CTX* tls);
  // Some bytes into buffer_; false when the peer closed or the server stops.
  bool ReadSome();

  FaultServer& server_;
  int fd_;
  int index_;
  SSL* ssl_ = nullptr;
  bool reset_ = false;
  std::string buffer_;
};

using FaultScript = std::function<void(FaultConnection&)>;

class FaultServer {
 public:
  // Serves `script` over TLS with `tls`'s server certificate when given,
  // plain TCP otherwise. With `accept` false the server listens but never
  // accepts: connections wait in the kernel's queue.
  explicit FaultServer(FaultScript script, const TestCa* tls = nullptr, bool accept = true);
  ~FaultServer();
  FaultServer(const FaultServer&) = delete;
  FaultServer& operator=(const FaultServer&) = delete;

  int port() const { return port_; }
  // "http://127.0.0.1:PORT" + path, or https for a TLS server.
  std::string Url(std::string_view path = "/") const;
  // "127.0.0.1:PORT"
  std::string Address() const;
  // The requests read so far (heads and bodies), in the order they came.
  std::vector<std::string> Requests() const;
  int Connections() const { return connections_; }

 private:
  friend class FaultConnection;
  void Serve();
  bool stopping() const { return stop_; }
  // Waits up to `time` or until the server stops; false when it stopped.
  bool Wait(std::chrono::milliseconds time);
  void Record(std::string request);

  FaultScript script_;
  std::unique_ptr<SSL_CTX, void (*)(SSL_CTX*)> tls_{nullptr, SSL_CTX_free};
  bool accept_;
  int listener_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_ = false;
  std::atomic<int> connections_ = 0;
  mutable std::mutex mutex_;
  std::condition_variable stopped_;
  std::vector<std::string> requests_;
  std::vector<std::thread> workers_;
  std::thread acceptor_;
};

// An HTTP/1.1 answer: the status line, the header lines, "Content-Length"
// (unless a line names it or Transfer-Encoding), "Connection: close", the body.
std::string HttpAnswer(int status, const std::vector<std::string>& headerLines,
                       std::string_view body);

// A loopback port on which nothing listens.
int UnusedLoopbackPort();

}  // namespace sonavel::testing
