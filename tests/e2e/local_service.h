// The local speech service as a test's counterpart, and a plain HTTPS client
// that asks it for tokens and audio the way any other program would.
//
// `LocalService` runs the built sonavel-speech-service on a fixed address
// (the one the tool was built against), with the given certificate; it refuses
// to start when something already listens there, and returns only once the
// service says it is listening. Its request log (stderr) is kept line by line.
//
//   LocalService service(kServiceProgram, "127.0.0.1:8741", TestCa::Local(), {});
//   HttpsClient client(TestCa::Local().ca_file());
//   std::string token = client.Token(service.url(), kApiKey, kSecretKey);
//   HttpAnswer mp3 = client.Speech(service.url(), token, "你好", 5, 4);
//   mp3.status == 200, mp3.content_type == "audio/mp3", mp3.body = the MP3 bytes
#pragma once

#include <curl/curl.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tests/e2e/process.h"
#include "tests/support/test_ca.h"

namespace sonavel::e2e {

// Whether something accepts TCP connections on host:port (an IPv4 address).
bool Listening(const std::string& host_port);

class LocalService {
 public:
  // Throws std::runtime_error, with the reason, when the address is taken or
  // the service does not report that it listens within a few seconds.
  LocalService(const std::string& program, const std::string& host_port,
               const sonavel::testing::TestCa& certificates,
               const std::vector<std::string>& extra_arguments);
  ~LocalService() = default;

  // "https://HOST:PORT"
  std::string url() const { return "https://" + host_port_; }
  bool Running() { return process_->Running(); }
  // SIGTERM and wait; the exit status.
  int Stop();
  // The log lines seen so far (stderr).
  std::vector<std::string> Log() const { return process_->Lines(Process::kStderr); }
  // Waits for a log line that contains `part`.
  std::optional<std::string> WaitForLog(const std::string& part, milliseconds timeout) {
    return process_->WaitForLine(Process::kStderr, part, timeout);
  }

 private:
  std::string host_port_;
  std::optional<Process> process_;
};

struct HttpAnswer {
  long status = 0;  // 0 when no answer came
  std::string content_type;
  std::string body;
};

class HttpsClient {
 public:
  // Trusts `ca_file` (and nothing else) for the server certificate.
  explicit HttpsClient(std::string ca_file);

  HttpAnswer Get(const std::string& url) const;
  // The access_token member of the token answer; throws when there is none.
  std::string Token(const std::string& base, const std::string& api_key,
                    const std::string& secret_key) const;
  HttpAnswer Speech(const std::string& base, const std::string& token, const std::string& text,
                    int volume, int voice) const;
  // Percent-encodes every byte (as the tool does).
  static std::string EncodeAll(const std::string& bytes);

 private:
  std::string ca_file_;
};

}  // namespace sonavel::e2e
