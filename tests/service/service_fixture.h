// A local speech service for one test: the real SpeechService over HTTPS with
// the build folder's certificate, on 127.0.0.1 and a port the OS picks, with
// its log lines collected; stopped when the object goes out of scope. Clients
// made by Client() trust the build folder's CA and send targets byte for byte.
//
//   RunningService service;                 // or RunningService service(config)
//   httplib::Result answer = service.Get("/text2audio?tex=%61&tok=" + service.NewToken() + ...);
#pragma once

#include <httplib.h>

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "service/speech_service.h"
#include "service/synthesizer.h"

namespace sonavel::testing {

// The process's one Synthesizer (espeak-ng allows no second).
service::Synthesizer& SharedSynthesizer();

// A target for the speech endpoint as the tool builds it: every byte of the
// text percent-encoded, then the token, a client id and the fixed settings.
std::string SpeechTarget(std::string_view text, std::string_view token, int per = 4, int vol = 5);
// "%E4%BD%A0" for "你".
std::string PercentEncodeAll(std::string_view bytes);

// The token endpoint's target for the development key pair.
std::string TokenTarget();

class RunningService {
 public:
  // The config's host, port, certificate, key and log are set here.
  explicit RunningService(service::ServiceConfig config = {});
  ~RunningService();
  RunningService(const RunningService&) = delete;
  RunningService& operator=(const RunningService&) = delete;

  int port() const { return service_->port(); }
  std::unique_ptr<httplib::SSLClient> Client() const;
  httplib::Result Get(const std::string& target) const;
  // A fresh token from the token endpoint; fails the test when there is none.
  std::string NewToken() const;
  std::vector<std::string> LogLines() const;
  void Stop() { service_->Stop(); }

 private:
  mutable std::mutex log_mutex_;
  std::vector<std::string> log_;
  std::unique_ptr<service::SpeechService> service_;
};

}  // namespace sonavel::testing
