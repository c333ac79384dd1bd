#include "service/speech_service.h"

#include <httplib.h>
#include <sys/socket.h>

#include <cstdio>
#include <fstream>

#include "service/query.h"

namespace sonavel::service {
namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t kMaxBody = 64 * 1024;
constexpr time_t kTimeoutSeconds = 5;

bool Readable(const std::string& path) { return std::ifstream(path).good(); }

// The JSON error for a response that cpp-httplib made without a body.
Answer LibraryError(int status) {
  switch (status) {
    case 400:
      return OAuthError(status, "invalid_request", "malformed request");
    case 413:
      return OAuthError(status, "invalid_request", "request body too large");
    case 414:
      return OAuthError(status, "invalid_request", "request target too long");
    case 416:
      return OAuthError(status, "invalid_request", "range not satisfiable");
    default:
      return OAuthError(status, "server_error", "request failed");
  }
}

void SetAnswer(httplib::Response& response, const Answer& answer) {
  response.status = answer.status;
  response.set_content(answer.body, answer.content_type.c_str());
  response.set_header("Cache-Control", "no-store");
}

}  // namespace

SpeechService::SpeechService(ServiceConfig config, Synthesizer& synthesizer)
    : config_(std::move(config)),
      synthesizer_(synthesizer),
      tokens_(config_.token_ttl, config_.max_tokens) {}

SpeechService::~SpeechService() { Stop(); }

std::string SpeechService::Url() const {
  const bool ipv6 = config_.host.find(':') != std::string::npos;
  return std::string(config_.plain_http ? "http://" : "https://") + (ipv6 ? "[" : "") +
         config_.host + (ipv6 ? "]" : "") + ":" + std::to_string(port_);
}

bool SpeechService::Start(std::string* error) {
  if (server_) {
    *error = "the service was started before";
    return false;
  }
  if (config_.plain_http) {
    server_ = std::make_unique<httplib::Server>();
  } else {
    if (config_.cert_file.empty() || config_.key_file.empty()) {
      *error = "HTTPS needs a certificate and a key";
      return false;
    }
    if (!Readable(config_.cert_file)) {
      *error = "cannot read the certificate " + config_.cert_file;
      return false;
    }
    if (!Readable(config_.key_file)) {
      *error = "cannot read the key " + config_.key_file;
      return false;
    }
    auto tls =
        std::make_unique<httplib::SSLServer>(config_.cert_file.c_str(), config_.key_file.c_str());
    if (!tls->is_valid()) {
      *error = "cannot load the certificate " + config_.cert_file + " with the key " +
               config_.key_file + " (PEM, matching each other?)";
      return false;
    }
    server_ = std::move(tls);
  }
  Configure();

  if (config_.port == 0) {
    port_ = server_->bind_to_any_port(config_.host);
  } else {
    port_ = server_->bind_to_port(config_.host, config_.port) ? config_.port : -1;
  }
  if (port_ <= 0) {
    port_ = 0;
    *error = "cannot listen on " + config_.host + ":" + std::to_string(config_.port);
    return false;
  }
  thread_ = std::thread([this] {
    server_->listen_after_bind();
    finished_ = true;
    if (!stopping_ && config_.on_unexpected_stop) config_.on_unexpected_stop();
  });
  // stop() only takes effect once the loop runs; connections queue meanwhile.
  while (!server_->is_running() && !finished_) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

void SpeechService::Stop() {
  stopping_ = true;
  if (thread_.joinable()) {
    server_->stop();
    thread_.join();
  }
}

void SpeechService::Configure() {
  httplib::Server& server = *server_;
  const std::size_t threads = config_.threads == 0 ? 1 : config_.threads;
  server.new_task_queue = [threads] { return new httplib::ThreadPool(threads); };
  // Only SO_REUSEADDR: the library's default SO_REUSEPORT would let a second
  // service bind the same port and take half of the connections.
  server.set_socket_options([](socket_t sock) {
    int yes = 1;
    setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof(yes));
  });
  // Small answers go out at once instead of waiting for the peer's delayed ACK.
  server.set_tcp_nodelay(true);
  // A short keep-alive: Stop() waits for idle connections to time out.
  server.set_keep_alive_timeout(1);
  server.set_read_timeout(kTimeoutSeconds, 0);
  server.set_write_timeout(kTimeoutSeconds, 0);
  server.set_payload_max_length(kMaxBody);

  server.set_pre_routing_handler([this](const httplib::Request& request, httplib::Response&) {
    std::lock_guard lock(started_mutex_);
    started_[&request] = Clock::now();
    return httplib::Server::HandlerResponse::Unhandled;
  });
  const auto handle = [this](const httplib::Request& request, httplib::Response& response) {
    Handle(request, response);
  };
  server.Get(".*", handle);
  server.Post(".*", handle);
  server.Put(".*", handle);
  server.Patch(".*", handle);
  server.Delete(".*", handle);
  server.Options(".*", handle);
  server.set_error_handler(httplib::Server::HandlerWithResponse(
      [](const httplib::Request&, httplib::Response& response) {
        if (!response.body.empty()) return httplib::Server::HandlerResponse::Unhandled;
        SetAnswer(response, LibraryError(response.status));
        return httplib::Server::HandlerResponse::Handled;
      }));
  server.set_exception_handler(
      [](const httplib::Request&, httplib::Response& response, std::exception_ptr) {
        SetAnswer(response, OAuthError(500, "server_error", "internal error"));
      });
  server.set_logger([this](const httplib::Request& request, const httplib::Response& response) {
    Log(request, response);
  });
}

void SpeechService::Handle(const httplib::Request& request, httplib::Response& response) {
  SetAnswer(response, Route(request));
  if (response.status == 405) response.set_header("Allow", "GET, HEAD");
}

Answer SpeechService::Route(const httplib::Request& request) {
  const Target target = SplitTarget(request.target);
  const bool known = target.path == kTokenPath || target.path == kSpeechPath;
  if (!known) return NotFound();
  if (request.method != "GET" && request.method != "HEAD") return MethodNotAllowed();
  if (target.path == kTokenPath) return TokenEndpoint(target.query);
  return SpeechEndpoint(target.query);
}

Answer SpeechService::TokenEndpoint(std::string_view query) {
  if (std::optional<Answer> error = CheckTokenRequest(query, config_.credentials)) return *error;
  const std::string token = tokens_.Issue();
  if (token.empty()) return OAuthError(500, "server_error", "no token could be made");
  return TokenAnswer(token, tokens_.ttl().count());
}

Answer SpeechService::SpeechEndpoint(std::string_view query) {
  std::variant<SpeechRequest, Answer> read =
      ReadSpeechRequest(query, [this](std::string_view token) { return tokens_.IsValid(token); });
  if (Answer* error = std::get_if<Answer>(&read)) return std::move(*error);
  const SpeechRequest& request = std::get<SpeechRequest>(read);
  std::string mp3 = synthesizer_.SpeakMp3(request.text, request.voice, request.volume);
  if (mp3.empty()) return SpeechError(kErrSynthesis, "synthesis failed");
  return {200, "audio/mp3", std::move(mp3)};
}

void SpeechService::Log(const httplib::Request& request, const httplib::Response& response) {
  std::string duration = "-";
  {
    std::lock_guard lock(started_mutex_);
    const auto found = started_.find(&request);
    if (found != started_.end()) {
      const std::chrono::duration<double, std::milli> elapsed = Clock::now() - found->second;
      char text[32];
      std::snprintf(text, sizeof text, "%.1f ms", elapsed.count());
      duration = text;
      started_.erase(found);
    }
  }
  std::string line = LogSafe(request.remote_addr.empty() ? "-" : request.remote_addr);
  line += ' ';
  line += request.method.empty() ? "-" : LogSafe(request.method);
  line += ' ';
  line += request.target.empty() ? "-" : RedactTarget(request.target, {"tok", "client_secret"});
  line += ' ' + std::to_string(response.status) + ' ' + std::to_string(response.body.size()) +
          " bytes " + duration;
  if (config_.log) {
    config_.log(line);
  } else {
    line += '\n';
    std::fwrite(line.data(), 1, line.size(), stderr);
  }
}

}  // namespace sonavel::service
