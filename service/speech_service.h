// The local speech service: the token and speech endpoints of
// service/protocol.h served over HTTPS (or plain HTTP when asked) by
// cpp-httplib, on a pool of threads; synthesis goes through one Synthesizer.
//
// Every response is logged as one line, without the values of client_secret
// and tok (see RedactTarget):
//   127.0.0.1 GET /oauth/2.0/token?grant_type=...&client_secret=[redacted] 200 93 bytes 0.2 ms
// Responses that cpp-httplib makes itself (a malformed request line, a target
// over 8 KiB, a body over 64 KiB) carry a JSON body too: {"error":...}.
//
//   Synthesizer synthesizer;
//   SpeechService service({.port = 0, .cert_file = "server.pem", .key_file = "server.key"},
//                         synthesizer);
//   std::string error;
//   if (!service.Start(&error)) ...;  // bound: connections queue from here on
//   service.Url();                    // "https://127.0.0.1:40123"
//   service.Stop();                   // finishes the requests in progress, then returns
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>

#include "service/protocol.h"
#include "service/synthesizer.h"
#include "service/token_store.h"

namespace httplib {
class Server;
struct Request;
struct Response;
}  // namespace httplib

namespace sonavel::service {

// The tool's development key pair, accepted unless another one is configured.
inline constexpr std::string_view kDevApiKey = "SonavelDevApiKey20261211";
inline constexpr std::string_view kDevSecretKey = "SonavelDevSecretKey1234567890123";
inline constexpr std::chrono::seconds kDefaultTokenTtl{2592000};  // 30 days

struct ServiceConfig {
  std::string host = "127.0.0.1";
  int port = 8741;             // 0: the OS picks a free one
  std::string cert_file = {};  // PEM certificate chain and key; both needed unless plain_http
  std::string key_file = {};
  bool plain_http = false;
  Credentials credentials = {std::string(kDevApiKey), std::string(kDevSecretKey)};
  std::chrono::seconds token_ttl = kDefaultTokenTtl;
  std::size_t max_tokens = 100000;
  std::size_t threads = 8;
  // Receives each log line without its newline, from any thread; empty:
  // the line goes to stderr.
  std::function<void(const std::string& line)> log = {};
  // Called on the server's thread when listening ends without Stop().
  std::function<void()> on_unexpected_stop = {};
};

class SpeechService {
 public:
  SpeechService(ServiceConfig config, Synthesizer& synthesizer);
  ~SpeechService();  // Stop()
  SpeechService(const SpeechService&) = delete;
  SpeechService& operator=(const SpeechService&) = delete;

  // Loads the certificate, binds and starts listening on a thread of its own.
  // False, with a message in *error, when any step fails. Call once.
  bool Start(std::string* error);
  // Stops listening, lets the requests in progress finish and joins the
  // thread. Idempotent; safe before Start.
  void Stop();

  int port() const { return port_; }
  // "https://HOST:PORT" ("http://" for plain HTTP; an IPv6 host in brackets).
  std::string Url() const;

 private:
  Answer Route(const httplib::Request& request);
  Answer TokenEndpoint(std::string_view query);
  Answer SpeechEndpoint(std::string_view query);
  void Handle(const httplib::Request& request, httplib::Response& response);
  void Log(const httplib::Request& request, const httplib::Response& response);
  void Configure();

  const ServiceConfig config_;
  Synthesizer& synthesizer_;
  TokenStore tokens_;
  std::unique_ptr<httplib::Server> server_;
  std::thread thread_;
  std::atomic<bool> stopping_ = false;
  std::atomic<bool> finished_ = false;
  int port_ = 0;

  std::mutex started_mutex_;  // when each request in progress began, for the log
  std::unordered_map<const httplib::Request*, std::chrono::steady_clock::time_point> started_;
};

}  // namespace sonavel::service
