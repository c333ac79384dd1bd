#include "tests/service/service_fixture.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <regex>

#include "tests/support/test_ca.h"

namespace sonavel::testing {

service::Synthesizer& SharedSynthesizer() {
  static service::Synthesizer synthesizer;
  return synthesizer;
}

std::string PercentEncodeAll(std::string_view bytes) {
  std::string out;
  for (const char c : bytes) {
    char escaped[4];
    std::snprintf(escaped, sizeof escaped, "%%%02X", static_cast<unsigned char>(c));
    out += escaped;
  }
  return out;
}

std::string SpeechTarget(std::string_view text, std::string_view token, int per, int vol) {
  return "/text2audio?tex=" + PercentEncodeAll(text) + "&tok=" + std::string(token) +
         "&cuid=Ab3dE6gH9k&ctp=1&lan=zh&vol=" + std::to_string(vol) + "&per=" + std::to_string(per);
}

std::string TokenTarget() {
  return "/oauth/2.0/token?grant_type=client_credentials&client_id=" +
         std::string(service::kDevApiKey) + "&client_secret=" + std::string(service::kDevSecretKey);
}

RunningService::RunningService(service::ServiceConfig config) {
  const TestCa& ca = TestCa::Local();
  config.host = "127.0.0.1";
  config.port = 0;
  if (!config.plain_http) {
    config.cert_file = ca.cert_file();
    config.key_file = ca.key_file();
  }
  config.log = [this](const std::string& line) {
    std::lock_guard lock(log_mutex_);
    log_.push_back(line);
  };
  service_ = std::make_unique<service::SpeechService>(std::move(config), SharedSynthesizer());
  std::string error;
  if (!service_->Start(&error)) {
    std::fprintf(stderr, "RunningService: %s\n", error.c_str());
    std::abort();
  }
}

RunningService::~RunningService() { service_->Stop(); }

std::unique_ptr<httplib::SSLClient> RunningService::Client() const {
  auto client = std::make_unique<httplib::SSLClient>("127.0.0.1", port());
  client->set_ca_cert_path(TestCa::Local().ca_file().c_str());
  client->enable_server_certificate_verification(true);
  client->set_url_encode(false);
  client->set_connection_timeout(5, 0);
  client->set_read_timeout(15, 0);
  return client;
}

httplib::Result RunningService::Get(const std::string& target) const {
  return Client()->Get(target.c_str());
}

std::string RunningService::NewToken() const {
  const httplib::Result answer = Get(TokenTarget());
  if (!answer || answer->status != 200) {
    ADD_FAILURE() << "no token";
    return std::string();
  }
  std::smatch match;
  static const std::regex kToken(R"re("access_token":"([^"]*)")re");
  if (!std::regex_search(answer->body, match, kToken)) {
    ADD_FAILURE() << "no access_token in " << answer->body;
    return std::string();
  }
  return match[1];
}

std::vector<std::string> RunningService::LogLines() const {
  std::lock_guard lock(log_mutex_);
  return log_;
}

}  // namespace sonavel::testing
