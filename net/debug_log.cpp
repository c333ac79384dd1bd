#include "net/debug_log.h"

#include <curl/curl.h>

#include <cstdio>
#include <memory>

#ifndef SONAVEL_NET_DEBUG_LOG
#define SONAVEL_NET_DEBUG_LOG 0
#endif

namespace sonavel {
namespace {

struct UrlDeleter {
  void operator()(CURLU* url) const { curl_url_cleanup(url); }
};
struct CurlStringDeleter {
  void operator()(char* text) const { curl_free(text); }
};

// One part of a parsed URL, or the empty text when it has none.
std::string Part(CURLU* url, CURLUPart part) {
  char* raw = nullptr;
  if (curl_url_get(url, part, &raw, 0) != CURLUE_OK) return std::string();
  std::unique_ptr<char, CurlStringDeleter> owned(raw);
  return owned ? std::string(owned.get()) : std::string();
}

}  // namespace

bool DebugLogEnabled() { return SONAVEL_NET_DEBUG_LOG != 0; }

std::string LoggableUrl(const std::string& url) {
  std::unique_ptr<CURLU, UrlDeleter> parsed(curl_url());
  if (!parsed || curl_url_set(parsed.get(), CURLUPART_URL, url.c_str(), 0) != CURLUE_OK)
    return "(url)";
  std::string out =
      Part(parsed.get(), CURLUPART_SCHEME) + "://" + Part(parsed.get(), CURLUPART_HOST);
  const std::string port = Part(parsed.get(), CURLUPART_PORT);
  if (!port.empty()) out += ":" + port;
  return out + Part(parsed.get(), CURLUPART_PATH);
}

void LogFailure(std::string_view method, const std::string& url, int curlCode,
                std::string_view errorText) {
  if (!DebugLogEnabled()) return;
  const std::string where = LoggableUrl(url);
  std::fprintf(stderr, "sonavel/net: %.*s %s failed: curl %d: %.*s\n",
               static_cast<int>(method.size()), method.data(), where.c_str(), curlCode,
               static_cast<int>(errorText.size()), errorText.data());
}

}  // namespace sonavel
