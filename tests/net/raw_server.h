// A loopback HTTP server that records every request exactly as it arrived
// (request line, header lines in order and spelling, body) and answers with
// raw bytes that the test writes itself, so that a test can see what went
// on the wire and send what cpp-httplib would not (mixed-case names,
// "Set-Cookie2", no answer at all). One request per connection; each answer
// should close the connection (RawResponse adds "Connection: close").
//
//   RawServer server([](const RecordedRequest&) { return RawResponse(200, {}, "hi"); });
//   HttpAccess(server.Url("/x"));
//   server.Requests()[0].headerLines   // {"Host: 127.0.0.1:PORT", "Accept: */*", ...}
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace sonavel::testing {

struct RecordedRequest {
  std::string requestLine;  // "GET /x HTTP/1.1"
  std::string method;
  std::string target;
  std::vector<std::string> headerLines;  // without CRLF
  std::string body;

  // The values of the header lines named `name` (any case), in order.
  std::vector<std::string> Values(std::string_view name) const;
  // The header names in order.
  std::vector<std::string> Names() const;
};

// What the server sends back: `bytes`, then either closes the connection or
// holds it open (reading and discarding) until the client gives up or the
// server stops. RawAnswer{"", false} never answers.
struct RawAnswer {
  std::string bytes;
  bool close = true;
  // Sent after `bytes`, each after a pause of `pause`.
  std::vector<std::string> later = {};
  std::chrono::milliseconds pause{0};
};
using RawHandler = std::function<RawAnswer(const RecordedRequest&)>;

// "HTTP/1.1 <status> X\r\n" + the lines + "Content-Length" + "Connection: close" + body.
RawAnswer RawResponse(int status, const std::vector<std::string>& headerLines,
                      std::string_view body);

class RawServer {
 public:
  explicit RawServer(RawHandler handler);  // binds 127.0.0.1 on a free port and starts
  ~RawServer();
  RawServer(const RawServer&) = delete;
  RawServer& operator=(const RawServer&) = delete;

  int port() const { return port_; }
  std::string Url(std::string_view path = "/") const;
  std::vector<RecordedRequest> Requests() const;

 private:
  void Serve();
  void Handle(int connection);

  RawHandler handler_;
  int listener_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_ = false;
  mutable std::mutex mutex_;
  std::vector<RecordedRequest> requests_;
  std::thread thread_;
};

// A loopback port on which nothing listens (bound once, then closed).
int UnusedPort();

}  // namespace sonavel::testing
