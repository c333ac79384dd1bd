#include "tests/app/scripted_service.h"

#include <sys/stat.h>

#include <fstream>
#include <utility>

namespace sonavel::testing {
namespace {

void Send(const Answer& answer, httplib::Response& res) {
  res.status = answer.status;
  for (const auto& [name, value] : answer.extraHeaders) res.set_header(name, value);
  if (answer.contentType.empty()) {
    res.body = answer.body;
  } else {
    res.set_content(answer.body, answer.contentType.c_str());
  }
}

}  // namespace

ScriptedService::ScriptedService() : server_(TestCa::Local()) {
  speechAnswer_ = {200, "audio/mp3", kSpeechBody, {}};
  server_->Get("/oauth/2.0/token", [this](const httplib::Request& req, httplib::Response& res) {
    Answer answer;
    {
      std::lock_guard lock(mutex_);
      token_.push_back({req.method, req.target, req.headers});
      if (tokenAnswer_) {
        answer = *tokenAnswer_;
      } else {
        answer = {200,
                  "application/json",
                  "{\"access_token\":\"tok-" + std::to_string(token_.size()) +
                      "\",\"expires_in\":2592000}",
                  {}};
      }
    }
    Send(answer, res);
  });
  server_->Get("/text2audio", [this](const httplib::Request& req, httplib::Response& res) {
    Answer answer;
    {
      std::lock_guard lock(mutex_);
      speech_.push_back({req.method, req.target, req.headers});
      answer = speechAnswer_;
    }
    Send(answer, res);
  });
  server_.Start();
}

ScriptedService::~ScriptedService() { server_.Stop(); }

SpeechService ScriptedService::Service() const {
  const std::string host = "127.0.0.1:" + std::to_string(server_.port());
  return {host, host, kTestApiKey, kTestSecretKey};
}

void ScriptedService::SetTokenAnswer(Answer answer) {
  std::lock_guard lock(mutex_);
  tokenAnswer_ = std::move(answer);
}

void ScriptedService::SetSpeechAnswer(Answer answer) {
  std::lock_guard lock(mutex_);
  speechAnswer_ = std::move(answer);
}

std::vector<SeenRequest> ScriptedService::TokenRequests() const {
  std::lock_guard lock(mutex_);
  return token_;
}

std::vector<SeenRequest> ScriptedService::SpeechRequests() const {
  std::lock_guard lock(mutex_);
  return speech_;
}

std::string QueryValue(const std::string& target, const std::string& key) {
  const auto query = target.find('?');
  if (query == std::string::npos) return {};
  std::size_t pos = query + 1;
  while (pos <= target.size()) {
    std::size_t end = target.find('&', pos);
    if (end == std::string::npos) end = target.size();
    const std::string item = target.substr(pos, end - pos);
    if (item.compare(0, key.size() + 1, key + "=") == 0) return item.substr(key.size() + 1);
    pos = end + 1;
  }
  return {};
}

void RecordingPlayer::Open(const std::string& path) {
  Event event{"open", path};
  struct stat info {};
  if (::lstat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode)) {
    event.existed = true;
    event.mode = info.st_mode & 07777;
    event.size = static_cast<std::size_t>(info.st_size);
    std::ifstream in(path, std::ios::binary);
    event.head.resize(64);
    in.read(event.head.data(), 64);
    event.head.resize(static_cast<std::size_t>(in.gcount()));
  }
  events.push_back(std::move(event));
}

void RecordingPlayer::Play() { events.push_back({"play", {}}); }

}  // namespace sonavel::testing
