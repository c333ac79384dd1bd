#include "service/options.h"

#include <arpa/inet.h>
#include <netinet/in.h>

#include <charconv>

namespace sonavel::service {
namespace {

constexpr long long kMaxTokenTtl = 365LL * 24 * 3600;

bool ParseNumber(std::string_view text, long long low, long long high, long long* value) {
  if (text.empty()) return false;
  long long parsed = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), parsed);
  if (ec != std::errc() || end != text.data() + text.size()) return false;
  if (parsed < low || parsed > high) return false;
  *value = parsed;
  return true;
}

}  // namespace

std::string Usage() {
  return "Usage: sonavel-speech-service [OPTION]...\n"
         "The local speech service: an access token endpoint (/oauth/2.0/token) and a\n"
         "text-to-speech endpoint (/text2audio) that answers with Mandarin MP3 audio.\n"
         "\n"
         "  --listen HOST:PORT   address to listen on (default 127.0.0.1:8741; PORT 0 lets\n"
         "                       the system pick one); loopback only unless --allow-remote\n"
         "  --allow-remote       allow a HOST that is not a loopback address\n"
         "  --cert FILE          the server certificate (PEM), required for HTTPS\n"
         "  --key FILE           its private key (PEM), required for HTTPS\n"
         "  --plain-http         serve plain HTTP instead, without certificate and key\n"
         "  --api-key KEY        the accepted client_id (default: the tool's development key)\n"
         "  --secret-key KEY     the accepted client_secret (default: the development secret)\n"
         "  --token-ttl SECONDS  how long a token stays valid (default 2592000, 30 days)\n"
         "  --threads N          requests served at the same time (default 8)\n"
         "  --port-file FILE     write the bound port to FILE (removed again on exit)\n"
         "  --help               show this text\n"
         "\n"
         "Prints \"listening on https://HOST:PORT\" once bound, logs one line per request\n"
         "to stderr (without secrets or tokens) and stops on SIGTERM or SIGINT.\n";
}

bool ParseListenAddress(std::string_view text, std::string* host, int* port) {
  std::string_view host_part;
  std::string_view port_part;
  if (!text.empty() && text.front() == '[') {
    const std::size_t close = text.find(']');
    if (close == std::string_view::npos || close + 1 >= text.size() || text[close + 1] != ':') {
      return false;
    }
    host_part = text.substr(1, close - 1);
    port_part = text.substr(close + 2);
  } else {
    const std::size_t colon = text.rfind(':');
    if (colon == std::string_view::npos) return false;
    host_part = text.substr(0, colon);
    port_part = text.substr(colon + 1);
    if (host_part.find(':') != std::string_view::npos) return false;  // IPv6 needs brackets
  }
  long long number = 0;
  if (host_part.empty() || !ParseNumber(port_part, 0, 65535, &number)) return false;
  *host = std::string(host_part);
  *port = static_cast<int>(number);
  return true;
}

bool IsLoopbackHost(std::string_view host) {
  if (host == "localhost") return true;
  const std::string text(host);
  in_addr v4{};
  if (inet_pton(AF_INET, text.c_str(), &v4) == 1) {
    return (ntohl(v4.s_addr) >> 24) == 127;
  }
  in6_addr v6{};
  if (inet_pton(AF_INET6, text.c_str(), &v6) == 1) return IN6_IS_ADDR_LOOPBACK(&v6);
  return false;
}

CommandLine ParseCommandLine(const std::vector<std::string>& args) {
  CommandLine line;
  ServiceConfig& config = line.config;
  for (std::size_t i = 0; i < args.size() && line.error.empty(); ++i) {
    std::string name = args[i];
    std::string value;
    bool has_value = false;
    if (const std::size_t eq = name.find('=');
        name.rfind("--", 0) == 0 && eq != std::string::npos) {
      value = name.substr(eq + 1);
      name = name.substr(0, eq);
      has_value = true;
    }
    const auto flag = [&] {
      if (has_value) line.error = name + " takes no value";
    };
    const auto take = [&]() -> bool {
      if (!has_value) {
        if (i + 1 >= args.size()) {
          line.error = name + " needs a value";
          return false;
        }
        value = args[++i];
      }
      return true;
    };

    if (name == "--help" || name == "-h") {
      flag();
      line.help = true;
    } else if (name == "--plain-http") {
      flag();
      config.plain_http = true;
    } else if (name == "--allow-remote") {
      flag();
      line.allow_remote = true;
    } else if (name == "--listen") {
      if (take() && !ParseListenAddress(value, &config.host, &config.port)) {
        line.error = "--listen needs HOST:PORT (PORT 0 to 65535), not \"" + value + "\"";
      }
    } else if (name == "--cert") {
      if (take()) config.cert_file = value;
    } else if (name == "--key") {
      if (take()) config.key_file = value;
    } else if (name == "--api-key") {
      if (take()) config.credentials.api_key = value;
    } else if (name == "--secret-key") {
      if (take()) config.credentials.secret_key = value;
    } else if (name == "--port-file") {
      if (take()) line.port_file = value;
    } else if (name == "--token-ttl") {
      long long seconds = 0;
      if (take()) {
        if (ParseNumber(value, 1, kMaxTokenTtl, &seconds)) {
          config.token_ttl = std::chrono::seconds(seconds);
        } else {
          line.error =
              "--token-ttl needs a number of seconds from 1 to " + std::to_string(kMaxTokenTtl);
        }
      }
    } else if (name == "--threads") {
      long long threads = 0;
      if (take()) {
        if (ParseNumber(value, 1, 64, &threads)) {
          config.threads = static_cast<std::size_t>(threads);
        } else {
          line.error = "--threads needs a number from 1 to 64";
        }
      }
    } else {
      line.error = "unknown option " + args[i];
    }
  }
  if (!line.error.empty() || line.help) return line;

  if (config.credentials.api_key.empty() || config.credentials.secret_key.empty()) {
    line.error = "--api-key and --secret-key must not be empty";
  } else if (config.plain_http && (!config.cert_file.empty() || !config.key_file.empty())) {
    line.error = "--plain-http takes no --cert or --key";
  } else if (!config.plain_http && (config.cert_file.empty() || config.key_file.empty())) {
    line.error = "HTTPS needs --cert FILE and --key FILE (or --plain-http for plain HTTP)";
  } else if (!line.allow_remote && !IsLoopbackHost(config.host)) {
    line.error = config.host + " is not a loopback address: add --allow-remote to listen there";
  }
  return line;
}

}  // namespace sonavel::service
