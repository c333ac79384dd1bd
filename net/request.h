// HttpRequest: one HTTP request object over one libcurl easy handle (driven
// by a multi handle of its own, which also keeps its connections alive).
//
// The operations follow the request object that HttpAccess drives, by name:
// SetTimeouts, SetProxy, SetRequestHeader, Open, Option (write), Send,
// ResponseBody, GetAllResponseHeaders, Status. An object may be used for
// many requests in turn; timeouts, proxy and options stay set on it, request
// headers belong to the next Send only.
//
//   HttpRequest request;
//   request.Open("GET", "http://127.0.0.1:8080/x");
//   request.SetRequestHeader("Accept", "*/*");
//   request.Send(Text());
//   Bytes body = request.ResponseBody();   // empty when no response came
//
// Texts are code page 936 bytes and cross to the wire unchanged: header
// names and values, the URL and a text body go out as their bytes. Response
// header lines come back read as code page 936: a byte of 0x80 or above that
// does not begin a well-formed two-byte character becomes "?", so no line
// swallows the line break after it ("X: caf\xE9" reads "X: caf?").
//
// What goes on the wire: the request line, "Host", the headers set with
// SetRequestHeader in the order of the calls, and "Content-Length" when a body
// goes out (for POST and PUT always). libcurl's own additions (Accept, Expect,
// a form Content-Type) are suppressed; no User-Agent is sent unless set.
// "Proxy-Authorization" goes to the proxy only: with the request itself for
// an http URL, with the CONNECT for an https URL, never to the origin.
//
// Trust: certificates and host names are verified against the system store
// (/etc/ssl/certs) plus the CA file the build names (SONAVEL_CA_BUNDLE, when
// it exists). Option(4, flags) loosens that for this object only.
//
// Redirects (unless switched off with Option 6): a 3xx answer with a
// Location is followed, at most 10 times; the eleventh redirect answer
// makes the Send fail. 301 and 302 turn a POST into a GET without a body,
// 303 turns any method but HEAD into a GET without a body, 307, 308 and
// the rest keep method and body. The headers set for the Send go unchanged
// to every hop on the origin (scheme, host and port) of the opened URL;
// a hop to any other origin gets them without "Referer", "Cookie",
// "Authorization" and "Host" (any case), which may carry the opened URL, a
// query secret or credentials, or name the first host. A redirect from an
// https URL to an http one is not followed: that answer is the response, as
// if redirects were off, so nothing goes on over plain http.
//   Open("GET", "https://a/t?secret=1") + SetRequestHeader("Referer", ...)
//   302 to https://a/u   -> the Referer goes along
//   302 to https://b/u   -> the request to b has no Referer
//   302 to http://a/u    -> Status() 302, no request over http
//
// Only http and https URLs are fetched, and redirects go only to those (a
// redirect elsewhere makes the Send fail).
//
// Operations that fail return false (or the empty value); none throws
// (short of running out of memory). No proxy setting is read from the
// environment: without SetProxy(2, ...) the object connects directly,
// whatever http_proxy and friends say. Not thread-safe: one thread at a time
// per object; separate objects may be used on separate threads.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "text/types.h"

namespace sonavel {

class HttpRequest {
 public:
  // Proxy settings for SetProxy.
  static constexpr std::int32_t kProxyDefault = 0;  // no proxy (no system settings are read)
  static constexpr std::int32_t kProxyDirect = 1;   // no proxy
  static constexpr std::int32_t kProxyNamed = 2;    // the proxy server given

  // Option indexes for Option.
  static constexpr std::int32_t kOptionSslErrorIgnoreFlags = 4;
  static constexpr std::int32_t kOptionEnableRedirects = 6;

  // Flags for kOptionSslErrorIgnoreFlags.
  static constexpr std::int32_t kIgnoreUnknownCa = 0x0100;
  static constexpr std::int32_t kIgnoreWrongUsage = 0x0200;
  static constexpr std::int32_t kIgnoreCertCnInvalid = 0x1000;
  static constexpr std::int32_t kIgnoreCertDateInvalid = 0x2000;

  // Makes a new easy handle. When libcurl cannot make one the object is
  // empty (IsValid() is false) and every operation fails.
  HttpRequest();
  ~HttpRequest();
  HttpRequest(HttpRequest&&) noexcept;
  HttpRequest& operator=(HttpRequest&&) noexcept;
  HttpRequest(const HttpRequest&) = delete;
  HttpRequest& operator=(const HttpRequest&) = delete;

  bool IsValid() const;

  // Timeouts in milliseconds. Resolving and connecting (TLS handshake
  // included) share one limit, resolve + connect (both 0 or less: libcurl's
  // 300 s). Sending and receiving are one idle limit: once connected, a
  // transfer in which no byte moves either way for max(send, receive) ends
  // (0 or less: none). There is no limit on a transfer that keeps moving.
  // A new object has 60 s to connect and 30 s idle.
  bool SetTimeouts(std::int32_t resolveMs, std::int32_t connectMs, std::int32_t sendMs,
                   std::int32_t receiveMs);

  // kProxyNamed with `server` ("host:port" or a proxy URL) and an optional
  // `bypass` list (host names separated by "," that go direct); the other
  // settings mean a direct connection. An empty server with kProxyNamed fails.
  bool SetProxy(std::int32_t setting, const Text& server = Text(), const Text& bypass = Text());

  // Adds a header line for the next Send. An empty value sends the header
  // with no value. Fails for an empty name, a name holding ":", a space, CR or
  // LF, or a value holding CR or LF.
  bool SetRequestHeader(const Text& name, const Text& value);

  // Names the method ("GET", "POST", ...; any token) and the URL of the next
  // Send. `async` must be false: the object is synchronous only.
  bool Open(const Text& method, const Text& url, bool async = false);

  // kOptionEnableRedirects: 0 turns following redirects off (the redirect
  // answer itself is then the response), any other value on (the default,
  // at most 10, by the rules above). kOptionSslErrorIgnoreFlags: a sum of
  // the kIgnore* flags; kIgnoreCertCnInvalid stops the host-name check,
  // any of the other three stops the verification of the certificate chain
  // (libcurl cannot tell those errors apart), 0 restores full verification.
  // Other indexes fail.
  bool Option(std::int32_t index, std::int32_t value);

  // Sends the request opened last and waits for the whole response or a
  // timeout. A non-empty body, or any body for POST and PUT, goes out with a
  // Content-Length; a body with HEAD is not sent. A text body goes out as its
  // bytes. True when a response arrived in full (an HTTP error status
  // included), or when the proxy refused the tunnel (see Status). Without a
  // successful Open it fails; either way the headers set so far are used up.
  bool Send(const Bytes& body);
  bool Send(const Text& body);

  // The response of the last Send, each empty (0) when none arrived in full
  // (a connection closed inside the header block, or inside the body, gives
  // none).
  // The final response is the first answer that is not followed on.
  // The headers are the lines of the final response (not its status line,
  // not those of redirects or of a proxy's CONNECT answer) joined by "\r\n".
  // When a proxy refused to open a tunnel, Status is the proxy's status and
  // the headers are those of its answer.
  Bytes ResponseBody() const;
  Text GetAllResponseHeaders() const;
  std::int32_t Status() const;

  // libcurl's description of why the last Send failed (empty after success).
  // It may name the host but never holds a URL's query or a header value.
  std::string ErrorText() const;

 private:
  bool SendBody(std::string_view body);

  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace sonavel
