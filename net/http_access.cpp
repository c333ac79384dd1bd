#include "net/http_access.h"

#include <algorithm>
#include <array>
#include <optional>
#include <string_view>

#include "net/cookies.h"
#include "net/proxy_auth.h"
#include "text/between.h"
#include "text/rules.h"

namespace sonavel {
namespace {

constexpr std::int32_t kDefaultTimeoutMs = 15000;
constexpr std::int32_t kMaxTimeoutSeconds = 2147483;  // seconds * 1000 still fits

// Sets every non-empty line of `headers` on the request; a line the object
// refuses (no name, say) is skipped.
void SetHeaderLines(HttpRequest& request, const Text& headers) {
  if (!ContainsText(headers, "\r\n")) {
    request.SetRequestHeader(HeaderName(headers), HeaderValue(headers));
    return;
  }
  for (const Text& line : SplitText(headers, "\r\n")) {
    if (!line.empty()) request.SetRequestHeader(HeaderName(line), HeaderValue(line));
  }
}

}  // namespace

Text HeaderName(const Text& line) {
  const std::int32_t colon = FindText(line, ":");
  if (colon == -1) return Text();
  return TrimSpaces(LeftPart(line, colon - 1));
}

Text HeaderValue(const Text& line) {
  const std::int32_t colon = FindText(line, ":");
  if (colon == -1) return Text();
  return TrimSpaces(RightPart(line, static_cast<std::int32_t>(line.size()) - colon));
}

Text MethodText(std::int32_t method) {
  constexpr std::array<const char*, 8> kMethods = {"GET",     "POST",   "HEAD",  "PUT",
                                                   "OPTIONS", "DELETE", "TRACE", "CONNECT"};
  if (method < 0 || method >= static_cast<std::int32_t>(kMethods.size())) method = 0;
  return kMethods[static_cast<std::size_t>(method)];
}

void AppendDefaultHeaders(Text& extraHeaders, const Text& url, std::int32_t method) {
  if (extraHeaders.empty()) {
    extraHeaders = "Accept: */*";
  } else if (!ContainsText(extraHeaders, "Accept:")) {
    extraHeaders += "\r\nAccept: */*";
  }
  if (!ContainsText(extraHeaders, "Referer:")) extraHeaders += "\r\nReferer: " + url;
  if (!ContainsText(extraHeaders, "Accept-Language:")) extraHeaders += "\r\nAccept-Language: zh-cn";
  if (!ContainsText(extraHeaders, "User-Agent:"))
    extraHeaders += "\r\nUser-Agent: Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)";
  if (method == 1 && !ContainsText(extraHeaders, "Content-Type:"))
    extraHeaders += "\r\nContent-Type: application/x-www-form-urlencoded";
}

Text ReceivedCookies(const Text& responseHeaders) {
  Text cookies;
  for (const Text& line : SplitText(responseHeaders, "\r\n")) {
    if (!ContainsText(line, "Set-Cookie")) continue;
    if (!ContainsText(line, ";")) {
      cookies += TrimSpaces(ReplaceText(line, "Set-Cookie:", "", true));
    } else {
      cookies += TrimSpaces(TextBetween(line, "Set-Cookie:", ";"));
    }
    cookies += "; ";
  }
  if (!cookies.empty()) cookies.resize(cookies.size() - 2);
  return cookies;
}

Bytes HttpAccess(const Text& Url, const HttpAccessArgs& args) {
  const std::int32_t method = args.Method < 0 || args.Method > 7 ? 0 : args.Method;

  std::optional<HttpRequest> owned;
  HttpRequest* request = args.RequestObject;
  if (request == nullptr) {
    owned.emplace();
    if (!owned->IsValid()) return Bytes();
    request = &*owned;
  }

  // Absent outputs are private variables of the call.
  Text privateExtraHeaders;
  Text privateCookiesReceived;
  Text privateResponseHeaders;
  std::int32_t privateStatus = 0;
  Text& extraHeaders = args.ExtraHeaders != nullptr ? *args.ExtraHeaders : privateExtraHeaders;
  Text& cookiesReceived =
      args.CookiesReceived != nullptr ? *args.CookiesReceived : privateCookiesReceived;
  Text& responseHeaders =
      args.ResponseHeaders != nullptr ? *args.ResponseHeaders : privateResponseHeaders;
  std::int32_t& status = args.StatusCode != nullptr ? *args.StatusCode : privateStatus;

  if (args.TimeoutSeconds != -1) {
    const std::int32_t ms = args.TimeoutSeconds >= 1
                                ? std::min(args.TimeoutSeconds, kMaxTimeoutSeconds) * 1000
                                : kDefaultTimeoutMs;
    request->SetTimeouts(ms, ms, ms, ms);
  }

  if (!args.ProxyAddress.empty()) {
    request->SetProxy(HttpRequest::kProxyNamed, args.ProxyAddress);
    ApplyProxyCredentials(*request, args.ProxyUser, args.ProxyPassword, args.ProxyBasicAuth);
  }

  request->Open(MethodText(method), Url);
  if (args.NoRedirect) request->Option(HttpRequest::kOptionEnableRedirects, 0);
  // No Option(4, ...): certificates are verified unless a lent object says otherwise.

  AppendDefaultHeaders(extraHeaders, Url, method);
  if (args.CookiesSent != nullptr && !args.CookiesSent->empty())
    request->SetRequestHeader("Cookie", *args.CookiesSent);
  SetHeaderLines(*request, extraHeaders);

  if (!args.PostBytes.empty()) {
    request->Send(args.PostBytes);
  } else {
    request->Send(args.PostText);
  }

  Bytes body = request->ResponseBody();
  responseHeaders = ReplaceText(request->GetAllResponseHeaders(), "Set-Cookie", "Set-Cookie", true);
  status = request->Status();
  cookiesReceived = ReceivedCookies(responseHeaders);
  if (args.AutoMergeCookies && args.CookiesSent != nullptr)
    cookiesReceived = MergeCookies(*args.CookiesSent, cookiesReceived);
  return body;
}

}  // namespace sonavel
