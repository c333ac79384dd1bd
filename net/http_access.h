// HttpAccess: one complete HTTP exchange, blocking, that reports no errors.
//
// HttpAccess(Url, args) sends one request and returns the response body
// (Bytes, empty when there is none). The optional arguments are named
// members of HttpAccessArgs; outputs are pointers to the caller's variables,
// and an output left null is a private variable of the call.
//
//   Text headers;
//   Bytes body = HttpAccess(url, {.ResponseHeaders = &headers});
//
// What one call does, in order:
//  - Method: 0 GET, 1 POST, 2 HEAD, 3 PUT, 4 OPTIONS, 5 DELETE, 6 TRACE,
//    7 CONNECT; any other value is GET.
//  - The request object: *RequestObject when given (its settings stay the
//    caller's), else a new one for this call. If none can be made the call
//    returns empty Bytes at once and writes no output.
//  - Timeouts: TimeoutSeconds -1 leaves the object's alone; 1 or more gives
//    that many seconds (at most 2147483), anything else 15: SetTimeouts with
//    that many milliseconds four times (resolving + connecting, and the
//    limit for a transfer in which nothing moves).
//  - ProxyAddress not empty: that proxy, and with ProxyUser not empty and
//    ProxyBasicAuth exactly 1 a "Proxy-Authorization: Basic ..." header for
//    the proxy only. An empty ProxyAddress always means a direct connection;
//    no environment variable is read.
//  - NoRedirect true: a redirect answer is itself the response. Otherwise
//    the object follows redirects (a new object: up to 10, see
//    HttpRequest). The default "Referer" line (the whole Url, query and any
//    secret in it included), the "Cookie" header and any "Authorization" go
//    only to the Url's own origin (scheme, host and port); a redirect to
//    another origin is followed without them. A redirect from https to http
//    is not followed: its answer (status, headers, body) is the result.
//  - Certificates and host names are always verified (system store plus the
//    build's SONAVEL_CA_BUNDLE). A caller that must reach a server with an
//    untrusted certificate lends an object with Option(4, flags) set.
//  - The default header lines are appended to *ExtraHeaders (see
//    AppendDefaultHeaders); a non-empty *CookiesSent goes as "Cookie"; then
//    every non-empty "\r\n"-separated line of *ExtraHeaders is set by
//    HeaderName / HeaderValue, in order.
//  - The body is PostBytes when not empty, else PostText (with any method).
//  - *ResponseHeaders: the final response's header lines joined by "\r\n",
//    every case variant of "Set-Cookie" spelled so. *StatusCode: the status,
//    0 when no response arrived. *CookiesReceived: see ReceivedCookies.
//  - With AutoMergeCookies and CookiesSent given (even empty), both
//    *CookiesSent and *CookiesReceived end holding MergeCookies of the two.
// A request that gets no response ends with empty body and headers, status 0.
#pragma once

#include <cstdint>

#include "net/request.h"
#include "text/types.h"

namespace sonavel {

// Every member has a default initializer so that designated initializers
// naming only some of them compile warning-free (-Wmissing-field-initializers).
struct HttpAccessArgs {
  std::int32_t Method = 0;
  Text PostText{};
  Text* CookiesSent = nullptr;  // given when not null
  Text* CookiesReceived = nullptr;
  Text* ExtraHeaders = nullptr;
  Text* ResponseHeaders = nullptr;
  std::int32_t* StatusCode = nullptr;
  bool NoRedirect = false;
  Bytes PostBytes{};
  Text ProxyAddress{};
  std::int32_t TimeoutSeconds = 0;
  Text ProxyUser{};
  Text ProxyPassword{};
  std::int32_t ProxyBasicAuth = 1;
  HttpRequest* RequestObject = nullptr;  // given when not null
  bool AutoMergeCookies = true;
};

Bytes HttpAccess(const Text& Url, const HttpAccessArgs& args = {});

// The parts of a header line around its first ":" (found character-wise),
// each trimmed of spaces (0x20, A1 A1; not tabs). Both are empty for a line
// without ":".   HeaderName("X-A:  1  ") == "X-A";  HeaderValue("Referer: http://h/") ==
// "http://h/"
Text HeaderName(const Text& line);
Text HeaderValue(const Text& line);

// The method text for a method number (out-of-range numbers give "GET").
Text MethodText(std::int32_t method);

// Appends the default request header lines to `extraHeaders`, each only
// when the text does not yet contain its name with the colon (exact case,
// anywhere): "Accept: */*", "Referer: " + url, "Accept-Language: zh-cn",
// "User-Agent: Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)", and for
// method 1 "Content-Type: application/x-www-form-urlencoded". Lines are
// joined by "\r\n"; an empty text starts with "Accept: */*".
void AppendDefaultHeaders(Text& extraHeaders, const Text& url, std::int32_t method);

// The cookies of response header lines (joined by "\r\n", "Set-Cookie"
// already spelled so): for each line containing "Set-Cookie", the text after
// "Set-Cookie:" up to the first ";" (or the whole line without "Set-Cookie:"
// when it holds no ";"), trimmed; items joined by "; ".
//   ReceivedCookies("Set-Cookie: a=1; Path=/\r\nSet-Cookie: b=2") == "a=1; b=2"
Text ReceivedCookies(const Text& responseHeaders);

}  // namespace sonavel
