#include "net/request.h"

#include <curl/curl.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

#include "net/curl_global.h"
#include "net/debug_log.h"
#include "text/rules.h"

#ifndef SONAVEL_CA_BUNDLE
#define SONAVEL_CA_BUNDLE ""
#endif

namespace sonavel {
namespace {

// Debian's hashed certificate folder: the system trust store.
constexpr const char* kSystemCaPath = "/etc/ssl/certs";
constexpr long kMaxRedirects = 10;

struct EasyDeleter {
  void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};
using EasyHandle = std::unique_ptr<CURL, EasyDeleter>;

struct MultiDeleter {
  void operator()(CURLM* multi) const { curl_multi_cleanup(multi); }
};
using MultiHandle = std::unique_ptr<CURLM, MultiDeleter>;

// Removes the easy handle from the multi handle when the transfer ends.
class Attached {
 public:
  Attached(CURLM* multi, CURL* easy) : multi_(multi), easy_(easy) {
    ok_ = curl_multi_add_handle(multi_, easy_) == CURLM_OK;
  }
  ~Attached() {
    if (ok_) curl_multi_remove_handle(multi_, easy_);
  }
  Attached(const Attached&) = delete;
  Attached& operator=(const Attached&) = delete;
  bool ok() const { return ok_; }

 private:
  CURLM* multi_;
  CURL* easy_;
  bool ok_ = false;
};

struct SlistDeleter {
  void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
using Slist = std::unique_ptr<curl_slist, SlistDeleter>;

// Appends every line to a new list; false (and an empty list) when libcurl
// cannot allocate.
bool MakeSlist(const std::vector<std::string>& lines, Slist& out) {
  out.reset();
  curl_slist* list = nullptr;
  for (const std::string& line : lines) {
    curl_slist* grown = curl_slist_append(list, line.c_str());
    if (grown == nullptr) {
      curl_slist_free_all(list);
      return false;
    }
    list = grown;
  }
  out.reset(list);
  return true;
}

bool IsTokenByte(std::uint8_t byte) {
  // RFC 9110 tchar: visible ASCII except separators.
  if (byte <= 0x20 || byte >= 0x7F) return false;
  constexpr std::string_view kSeparators = "\"(),/:;<=>?@[\\]{}";
  return kSeparators.find(static_cast<char>(byte)) == std::string_view::npos;
}

bool IsToken(std::string_view text) {
  return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
    return IsTokenByte(static_cast<std::uint8_t>(c));
  });
}

bool HoldsLineBreak(std::string_view text) {
  return std::any_of(text.begin(), text.end(), [](char c) {
    const auto byte = static_cast<std::uint8_t>(c);
    return byte == 0x0D || byte == 0x0A || byte == 0x00;
  });
}

// The name of a stored header line "Name: value" or "Name;".
std::string_view LineName(std::string_view line) {
  return line.substr(0, std::min(line.find(':'), line.find(';')));
}

bool HasHeader(const std::vector<std::string>& lines, std::string_view name) {
  return std::any_of(lines.begin(), lines.end(), [&](const std::string& line) {
    return EqualText(LineName(line), name, true);
  });
}

long PositiveOrZero(std::int32_t value) { return value > 0 ? value : 0; }

struct UrlDeleter {
  void operator()(CURLU* url) const { curl_url_cleanup(url); }
};
struct CurlTextDeleter {
  void operator()(char* text) const { curl_free(text); }
};

// Where a URL leads: scheme, host and port (the scheme's default when the
// URL names none), as libcurl's URL parser reads them.
struct Origin {
  std::string scheme;
  std::string host;
  std::string port;
};

// The origin of `url` (a missing scheme is guessed as libcurl guesses it);
// none when the URL does not parse or its scheme has no default port.
std::optional<Origin> OriginOf(const std::string& url) {
  std::unique_ptr<CURLU, UrlDeleter> parsed(curl_url());
  if (!parsed || curl_url_set(parsed.get(), CURLUPART_URL, url.c_str(),
                              CURLU_GUESS_SCHEME | CURLU_NON_SUPPORT_SCHEME) != CURLUE_OK) {
    return std::nullopt;
  }
  auto part = [&](CURLUPart which, unsigned int flags, std::string& out) {
    char* value = nullptr;
    if (curl_url_get(parsed.get(), which, &value, flags) != CURLUE_OK || value == nullptr)
      return false;
    const std::unique_ptr<char, CurlTextDeleter> owned(value);
    out = value;
    return true;
  };
  Origin origin;
  if (!part(CURLUPART_SCHEME, 0, origin.scheme) || !part(CURLUPART_HOST, 0, origin.host) ||
      !part(CURLUPART_PORT, CURLU_DEFAULT_PORT, origin.port)) {
    return std::nullopt;
  }
  return origin;
}

// Same scheme, host and port (scheme and host in any case). An origin that
// is not known matches nothing.
bool SameOrigin(const std::optional<Origin>& a, const std::optional<Origin>& b) {
  return a && b && EqualText(a->scheme, b->scheme, true) && EqualText(a->host, b->host, true) &&
         a->port == b->port;
}

bool IsScheme(const std::optional<Origin>& origin, std::string_view scheme) {
  return origin && EqualText(origin->scheme, scheme, true);
}

// The caller's header lines as they may go to an origin other than the
// first: without those that carry the first URL, its cookies or
// credentials, or name the first host.
std::vector<std::string> ForAnotherOrigin(const std::vector<std::string>& lines) {
  constexpr std::array<std::string_view, 4> kFirstOriginOnly = {"Referer", "Cookie",
                                                                "Authorization", "Host"};
  std::vector<std::string> kept;
  for (const std::string& line : lines) {
    const std::string_view name = LineName(line);
    if (std::none_of(kFirstOriginOnly.begin(), kFirstOriginOnly.end(),
                     [&](std::string_view only) { return EqualText(name, only, true); })) {
      kept.push_back(line);
    }
  }
  return kept;
}

}  // namespace

// The header lines of the response being read, and whether its blank line
// (the end of the header block) has arrived.
struct ResponseHead {
  std::vector<Text> lines;
  bool complete = false;
};

// A response header line as Text: its bytes read as code page 936, where a
// byte of 0x80 or above that does not begin a well-formed two-byte character
// (lead 81..FE, trail 40..7E or 80..FE) becomes "?". A line then never ends
// in a lone lead byte that would take the CR of the next line break with it
// under the text rules. A zero byte ends the line (libcurl refuses those).
Text ToHeaderText(std::string_view line) {
  Text text = ToText(line);
  auto isTrail = [](std::uint8_t byte) {
    return (byte >= 0x40 && byte <= 0x7E) || (byte >= 0x80 && byte <= 0xFE);
  };
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto byte = static_cast<std::uint8_t>(text[i]);
    if (byte < 0x80) continue;
    if (byte >= 0x81 && byte <= 0xFE && i + 1 < text.size() &&
        isTrail(static_cast<std::uint8_t>(text[i + 1]))) {
      ++i;
      continue;
    }
    text[i] = '?';
  }
  return text;
}

struct HttpRequest::State {
  // The easy handle is driven by a multi handle of its own, so that the
  // wait loop can end a transfer that stalls (see Transfer).
  MultiHandle multi;
  EasyHandle handle;

  // Settings that stay on the object across requests (the object's defaults
  // are those of the request object this one stands in for).
  std::int32_t resolveMs = 0;
  std::int32_t connectMs = 60000;
  std::int32_t sendMs = 30000;
  std::int32_t receiveMs = 30000;
  std::int32_t proxySetting = kProxyDefault;
  Text proxyServer;
  Text proxyBypass;
  bool followRedirects = true;
  std::int32_t sslIgnoreFlags = 0;

  // The next request.
  bool opened = false;
  Text method;
  Text url;
  std::vector<std::string> headers;       // to the origin server
  std::vector<std::string> proxyHeaders;  // to the proxy only

  // The last response.
  bool received = false;
  std::int32_t status = 0;
  Bytes body;
  ResponseHead head;

  std::array<char, CURL_ERROR_SIZE> errorBuffer{};
  std::string errorText;

  void ClearResponse() {
    received = false;
    status = 0;
    body.clear();
    head.lines.clear();
    head.complete = false;
  }

  // One request of a redirect chain as it goes on the wire.
  struct Hop {
    Text method;
    Text url;
    std::string_view data;
    const std::vector<std::string>* headers;
    const std::vector<std::string>* proxyHeaders;
  };
  // How one hop ended: an answer (with the URL it redirects to, when
  // redirects are followed and it names one), or a failure (rc not OK).
  struct HopResult {
    CURLcode rc = CURLE_OK;
    std::string location;
  };

  bool Perform(std::string_view data);
  HopResult Exchange(const Hop& hop);
  CURLcode Transfer();
  CURLcode Configure(const Hop& hop, Slist& headerList, Slist& proxyList);
};

namespace {

size_t OnBody(char* data, size_t size, size_t count, void* user) {
  auto& body = *static_cast<Bytes*>(user);
  const size_t bytes = size * count;
  // Bytes counts in a signed 32-bit length: a longer body fails the transfer.
  if (bytes > static_cast<size_t>(std::numeric_limits<std::int32_t>::max()) - body.size()) return 0;
  try {
    body.insert(body.end(), data, data + bytes);
  } catch (...) {
    return 0;
  }
  return bytes;
}

size_t OnHeader(char* data, size_t size, size_t count, void* user) {
  auto& head = *static_cast<ResponseHead*>(user);
  const size_t bytes = size * count;
  std::string_view line(data, bytes);
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
  try {
    if (line.starts_with("HTTP/")) {
      // A status line opens a new response (after a redirect, a 1xx answer
      // or a proxy's CONNECT answer): only the last one's headers are kept.
      head.lines.clear();
      head.complete = false;
    } else if (line.empty()) {
      head.complete = true;
    } else {
      head.lines.push_back(ToHeaderText(line));
    }
  } catch (...) {
    return 0;
  }
  return bytes;
}

}  // namespace

CURLcode HttpRequest::State::Configure(const Hop& hop, Slist& headerList, Slist& proxyList) {
  CURL* h = handle.get();
  const std::vector<std::string>& callerLines = *hop.headers;
  CURLcode rc = CURLE_OK;
  auto set = [&](CURLoption option, auto value) {
    if (rc == CURLE_OK) rc = curl_easy_setopt(h, option, value);
  };

  set(CURLOPT_ERRORBUFFER, errorBuffer.data());
  set(CURLOPT_URL, hop.url.c_str());
  set(CURLOPT_PROTOCOLS_STR, "http,https");
  set(CURLOPT_NOSIGNAL, 1L);
  set(CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
  set(CURLOPT_WRITEFUNCTION, &OnBody);
  set(CURLOPT_WRITEDATA, static_cast<void*>(&body));
  set(CURLOPT_HEADERFUNCTION, &OnHeader);
  set(CURLOPT_HEADERDATA, static_cast<void*>(&head));

  // Perform follows redirects itself, hop by hop.
  set(CURLOPT_FOLLOWLOCATION, 0L);

  // Trust: the system store plus the build's CA file, unless loosened.
  constexpr std::int32_t kChainFlags =
      kIgnoreUnknownCa | kIgnoreWrongUsage | kIgnoreCertDateInvalid;
  set(CURLOPT_SSL_VERIFYPEER, (sslIgnoreFlags & kChainFlags) != 0 ? 0L : 1L);
  set(CURLOPT_SSL_VERIFYHOST, (sslIgnoreFlags & kIgnoreCertCnInvalid) != 0 ? 0L : 2L);
  set(CURLOPT_CAPATH, kSystemCaPath);
  constexpr std::string_view kCaBundle = SONAVEL_CA_BUNDLE;
  std::error_code ignored;
  if (!kCaBundle.empty() && std::filesystem::is_regular_file(SONAVEL_CA_BUNDLE, ignored)) {
    set(CURLOPT_CAINFO, SONAVEL_CA_BUNDLE);
  }

  // Timeouts: resolve + connect for the connection; the idle limit is
  // Transfer's.
  const long connectLimit = PositiveOrZero(resolveMs) + PositiveOrZero(connectMs);
  set(CURLOPT_CONNECTTIMEOUT_MS, connectLimit);

  // Proxy: an explicit empty proxy keeps libcurl from reading http_proxy & co.
  if (proxySetting == kProxyNamed) {
    set(CURLOPT_PROXY, proxyServer.c_str());
    set(CURLOPT_NOPROXY, proxyBypass.c_str());
    set(CURLOPT_HEADEROPT, CURLHEADER_SEPARATE);
    if (!MakeSlist(*hop.proxyHeaders, proxyList) && rc == CURLE_OK) rc = CURLE_OUT_OF_MEMORY;
    set(CURLOPT_PROXYHEADER, proxyList.get());
  } else {
    set(CURLOPT_PROXY, "");
  }

  // Method and body.
  const bool isHead = hop.method == "HEAD";
  const bool sendBody =
      !isHead && (!hop.data.empty() || hop.method == "POST" || hop.method == "PUT");
  if (isHead) {
    set(CURLOPT_NOBODY, 1L);
  } else if (sendBody) {
    set(CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(hop.data.size()));
    set(CURLOPT_POSTFIELDS, hop.data.empty() ? "" : hop.data.data());
    if (hop.method != "POST") set(CURLOPT_CUSTOMREQUEST, hop.method.c_str());
  } else {
    set(CURLOPT_HTTPGET, 1L);
    if (hop.method != "GET") set(CURLOPT_CUSTOMREQUEST, hop.method.c_str());
  }

  // Headers: the caller's in order; then libcurl's own defaults switched off.
  std::vector<std::string> lines = callerLines;
  if (!HasHeader(callerLines, "Accept")) lines.emplace_back("Accept:");
  if (sendBody) {
    if (!HasHeader(callerLines, "Expect")) lines.emplace_back("Expect:");
    if (!HasHeader(callerLines, "Content-Type")) lines.emplace_back("Content-Type:");
  }
  if (!MakeSlist(lines, headerList) && rc == CURLE_OK) rc = CURLE_OUT_OF_MEMORY;
  set(CURLOPT_HTTPHEADER, headerList.get());
  return rc;
}

// Runs the transfer to its end like curl_easy_perform, and ends it early
// when, once connected, nothing has moved either way for the idle limit.
// Progress is any change in the byte counts or any socket event during the
// wait (libcurl counts header bytes only by whole lines, so a header line
// that trickles in shows only as socket events).
CURLcode HttpRequest::State::Transfer() {
  using Clock = std::chrono::steady_clock;
  const auto idle =
      std::chrono::milliseconds(std::max(PositiveOrZero(sendMs), PositiveOrZero(receiveMs)));
  constexpr auto kLongestWait = std::chrono::milliseconds(1000);

  Attached attached(multi.get(), handle.get());
  if (!attached.ok()) return CURLE_FAILED_INIT;
  curl_off_t lastMoved = -1;
  auto lastProgress = Clock::now();
  int running = 1;
  int events = 0;
  while (true) {
    if (curl_multi_perform(multi.get(), &running) != CURLM_OK) return CURLE_FAILED_INIT;
    if (running == 0) break;

    auto wait = kLongestWait;
    if (idle.count() > 0) {
      // Bytes moved so far: response headers and body, request and upload.
      curl_off_t connected = 0;
      curl_off_t body = 0;
      curl_off_t upload = 0;
      long headerBytes = 0;
      long requestBytes = 0;
      if (curl_easy_getinfo(handle.get(), CURLINFO_PRETRANSFER_TIME_T, &connected) != CURLE_OK ||
          curl_easy_getinfo(handle.get(), CURLINFO_SIZE_DOWNLOAD_T, &body) != CURLE_OK ||
          curl_easy_getinfo(handle.get(), CURLINFO_SIZE_UPLOAD_T, &upload) != CURLE_OK ||
          curl_easy_getinfo(handle.get(), CURLINFO_HEADER_SIZE, &headerBytes) != CURLE_OK ||
          curl_easy_getinfo(handle.get(), CURLINFO_REQUEST_SIZE, &requestBytes) != CURLE_OK) {
        return CURLE_FAILED_INIT;
      }
      const auto now = Clock::now();
      const curl_off_t moved = body + upload + headerBytes + requestBytes;
      if (connected == 0 || moved != lastMoved || events > 0) {
        // Still connecting (the connect limit applies), or progress.
        lastMoved = moved;
        lastProgress = now;
      } else if (now - lastProgress >= idle) {
        std::snprintf(errorBuffer.data(), errorBuffer.size(), "No data moved for %lld ms",
                      static_cast<long long>(idle.count()));
        return CURLE_OPERATION_TIMEDOUT;
      }
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(lastProgress + idle - now);
      wait = std::clamp(left, std::chrono::milliseconds(1), kLongestWait);
    }
    events = 0;
    if (curl_multi_poll(multi.get(), nullptr, 0, static_cast<int>(wait.count()), &events) !=
        CURLM_OK)
      return CURLE_FAILED_INIT;
  }

  int queued = 0;
  while (CURLMsg* message = curl_multi_info_read(multi.get(), &queued)) {
    if (message->msg == CURLMSG_DONE && message->easy_handle == handle.get())
      return message->data.result;
  }
  return CURLE_FAILED_INIT;
}

HttpRequest::State::HopResult HttpRequest::State::Exchange(const Hop& hop) {
  ClearResponse();
  errorBuffer[0] = '\0';
  curl_easy_reset(handle.get());
  Slist headerList;
  Slist proxyList;
  HopResult result;
  result.rc = Configure(hop, headerList, proxyList);
  if (result.rc == CURLE_OK) result.rc = Transfer();

  long responseCode = 0;
  long connectCode = 0;
  if (curl_easy_getinfo(handle.get(), CURLINFO_RESPONSE_CODE, &responseCode) != CURLE_OK)
    responseCode = 0;
  if (curl_easy_getinfo(handle.get(), CURLINFO_HTTP_CONNECTCODE, &connectCode) != CURLE_OK)
    connectCode = 0;
  // libcurl names the target of a 3xx answer with a Location header.
  const char* location = nullptr;
  if (result.rc == CURLE_OK && followRedirects && responseCode >= 300 && responseCode < 400 &&
      curl_easy_getinfo(handle.get(), CURLINFO_REDIRECT_URL, &location) != CURLE_OK) {
    std::snprintf(errorBuffer.data(), errorBuffer.size(), "The redirect target is unknown");
    result.rc = CURLE_BAD_FUNCTION_ARGUMENT;
  }
  if (location != nullptr) result.location = location;
  // Leave no pointers into this hop's lists and body behind on the handle.
  curl_easy_reset(handle.get());

  // libcurl takes a connection closed inside the header block for the end
  // of a response; without its blank line it is none.
  if (result.rc == CURLE_OK && responseCode > 0 && head.complete) {
    received = true;
    status = static_cast<std::int32_t>(responseCode);
    return result;
  }
  result.location.clear();
  if (result.rc != CURLE_OK && responseCode == 0 && connectCode >= 300 && head.complete) {
    // The proxy refused the tunnel: its answer is the response.
    received = true;
    status = static_cast<std::int32_t>(connectCode);
    body.clear();
    result.rc = CURLE_OK;
    return result;
  }
  if (result.rc == CURLE_OK) {
    errorText = "The connection closed inside the response headers";
    result.rc = CURLE_RECV_ERROR;
  } else {
    errorText = errorBuffer[0] != '\0' ? errorBuffer.data() : curl_easy_strerror(result.rc);
  }
  return result;
}

bool HttpRequest::State::Perform(std::string_view data) {
  ClearResponse();
  errorText.clear();
  // The headers belong to this request only, whatever happens to it.
  const std::vector<std::string> callerHeaders = std::exchange(headers, {});
  const std::vector<std::string> callerProxyHeaders = std::exchange(proxyHeaders, {});
  // Made only when a redirect comes: most requests have none.
  std::optional<Origin> first;
  std::optional<std::vector<std::string>> elsewhereHeaders;

  Hop hop{method, url, data, &callerHeaders, &callerProxyHeaders};
  auto fail = [&](CURLcode rc) {
    ClearResponse();
    LogFailure(hop.method, hop.url, static_cast<int>(rc), errorText);
    return false;
  };
  for (long redirects = 0;; ++redirects) {
    const HopResult result = Exchange(hop);
    if (result.rc != CURLE_OK) return fail(result.rc);
    if (result.location.empty()) return true;

    // A redirect answer. From https it is followed to https only: going on
    // over plain http would put the request on the wire unprotected, so the
    // answer itself is the response (as with redirects switched off).
    if (redirects == 0) first = OriginOf(url);
    const std::optional<Origin> next = OriginOf(result.location);
    if (IsScheme(OriginOf(hop.url), "https") && IsScheme(next, "http")) return true;
    if (redirects == kMaxRedirects) {
      errorText = "Stopped after " + std::to_string(kMaxRedirects) + " redirects";
      return fail(CURLE_TOO_MANY_REDIRECTS);
    }
    if (HoldsLineBreak(result.location)) {
      errorText = "The redirect target holds a line break";
      return fail(CURLE_URL_MALFORMAT);
    }
    // The method after the redirect, as libcurl would choose it: 301 and 302
    // turn a POST into a GET, 303 turns anything but HEAD into a GET, and a
    // GET made so has no body; 307, 308 and the rest keep method and body.
    if (((status == 301 || status == 302) && hop.method == "POST") ||
        (status == 303 && hop.method != "HEAD")) {
      hop.method = "GET";
      hop.data = std::string_view();
    }
    hop.url = result.location;
    if (SameOrigin(first, next)) {
      hop.headers = &callerHeaders;
    } else {
      if (!elsewhereHeaders) elsewhereHeaders = ForAnotherOrigin(callerHeaders);
      hop.headers = &*elsewhereHeaders;
    }
  }
}

HttpRequest::HttpRequest() : state_(std::make_unique<State>()) {
  if (!EnsureCurlGlobalInit()) return;
  state_->multi.reset(curl_multi_init());
  if (state_->multi) state_->handle.reset(curl_easy_init());
}

HttpRequest::~HttpRequest() = default;
HttpRequest::HttpRequest(HttpRequest&&) noexcept = default;
HttpRequest& HttpRequest::operator=(HttpRequest&&) noexcept = default;

bool HttpRequest::IsValid() const { return state_ != nullptr && state_->handle != nullptr; }

bool HttpRequest::SetTimeouts(std::int32_t resolveMs, std::int32_t connectMs, std::int32_t sendMs,
                              std::int32_t receiveMs) {
  if (!IsValid()) return false;
  state_->resolveMs = resolveMs;
  state_->connectMs = connectMs;
  state_->sendMs = sendMs;
  state_->receiveMs = receiveMs;
  return true;
}

bool HttpRequest::SetProxy(std::int32_t setting, const Text& server, const Text& bypass) {
  if (!IsValid()) return false;
  if (setting == kProxyNamed && (server.empty() || HoldsLineBreak(server))) return false;
  if (HoldsLineBreak(bypass)) return false;
  state_->proxySetting = setting == kProxyNamed ? kProxyNamed : kProxyDirect;
  state_->proxyServer = setting == kProxyNamed ? server : Text();
  state_->proxyBypass = setting == kProxyNamed ? bypass : Text();
  return true;
}

bool HttpRequest::SetRequestHeader(const Text& name, const Text& value) {
  if (!IsValid() || !IsToken(name) || HoldsLineBreak(value)) return false;
  // libcurl sends "Name;" as a header with an empty value ("Name:" would
  // remove the header instead).
  std::string line = value.empty() ? name + ";" : name + ": " + value;
  auto& list =
      EqualText(name, "Proxy-Authorization", true) ? state_->proxyHeaders : state_->headers;
  list.push_back(std::move(line));
  return true;
}

bool HttpRequest::Open(const Text& method, const Text& url, bool async) {
  if (!IsValid()) return false;
  // A refused Open leaves nothing opened: a later Send must not go to an
  // earlier URL.
  state_->opened = false;
  state_->ClearResponse();
  if (async || !IsToken(method) || url.empty() || HoldsLineBreak(url)) return false;
  state_->opened = true;
  state_->method = method;
  state_->url = url;
  state_->ClearResponse();
  return true;
}

bool HttpRequest::Option(std::int32_t index, std::int32_t value) {
  if (!IsValid()) return false;
  switch (index) {
    case kOptionEnableRedirects:
      state_->followRedirects = value != 0;
      return true;
    case kOptionSslErrorIgnoreFlags:
      state_->sslIgnoreFlags = value;
      return true;
    default:
      return false;
  }
}

bool HttpRequest::Send(const Bytes& body) {
  return SendBody(std::string_view(reinterpret_cast<const char*>(body.data()), body.size()));
}

bool HttpRequest::Send(const Text& body) { return SendBody(body); }

bool HttpRequest::SendBody(std::string_view body) {
  if (!IsValid()) return false;
  if (!state_->opened) {
    // Headers set for a request that never went out do not leak into the next.
    state_->headers.clear();
    state_->proxyHeaders.clear();
    state_->ClearResponse();
    state_->errorText = "Send without a successful Open";
    return false;
  }
  return state_->Perform(body);
}

Bytes HttpRequest::ResponseBody() const {
  return IsValid() && state_->received ? state_->body : Bytes();
}

Text HttpRequest::GetAllResponseHeaders() const {
  Text all;
  if (!IsValid() || !state_->received) return all;
  for (const Text& line : state_->head.lines) {
    if (!all.empty()) all += "\r\n";
    all += line;
  }
  return all;
}

std::int32_t HttpRequest::Status() const {
  return IsValid() && state_->received ? state_->status : 0;
}

std::string HttpRequest::ErrorText() const {
  if (state_ == nullptr) return "no request object";
  if (state_->handle == nullptr) return "libcurl could not make a handle";
  return state_->errorText;
}

}  // namespace sonavel
