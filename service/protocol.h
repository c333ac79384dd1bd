// The two endpoints of the local speech service as pure functions: each takes
// the raw query of a request (the bytes after "?") and gives the checked
// request or the error answer. Keys are case-sensitive; keys not named here
// are ignored. The first failing check, in the order listed, answers.
//
// GET /oauth/2.0/token?grant_type=client_credentials&client_id=K&client_secret=S
//   success: 200, {"access_token":"TOKEN","expires_in":SECONDS} (see TokenAnswer)
//   errors, Content-Type application/json, {"error":E,"error_description":D}:
//     400 invalid_request          bad percent-encoding, a repeated parameter, no grant_type
//     400 unsupported_grant_type   grant_type other than client_credentials
//     401 invalid_client           client_id missing or not the accepted API key
//     401 invalid_client           client_secret missing or not the accepted secret key
//
// GET /text2audio?tex=T&tok=TOKEN&cuid=C&ctp=1&lan=zh&vol=V&per=P
//   success: 200, Content-Type audio/mp3 (the caller synthesises SpeechRequest)
//   errors, Content-Type application/json, {"err_no":N,"err_msg":M}:
//     501 (HTTP 400)  bad percent-encoding, or one of the keys above repeated
//     502 (HTTP 401)  tok missing, unknown or expired
//     501 (HTTP 400)  ctp not "1", lan not "zh", cuid missing or not 1-64 bytes
//                     of 0x21-0x7E, vol not 0-15, per not a voice (service/voices.h);
//                     vol and per are one or two decimal digits; when absent,
//                     vol is 5 and per is kDefaultVoice
//     500 (HTTP 400)  tex missing or empty
//     513 (HTTP 400)  tex longer than kMaxTextBytes bytes (after decoding)
//     500 (HTTP 400)  tex not UTF-8, or holding a zero byte
//     503 (HTTP 500)  synthesis failed (SpeechError(kErrSynthesis, ...))
//
//   ReadSpeechRequest("tex=%61&tok=T&cuid=c&ctp=1&lan=zh", valid)
//       -> SpeechRequest{"a", "T", "c", 5, 0} when valid("T")
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

namespace sonavel::service {

inline constexpr std::string_view kTokenPath = "/oauth/2.0/token";
inline constexpr std::string_view kSpeechPath = "/text2audio";
inline constexpr std::size_t kMaxTextBytes = 1024;
inline constexpr int kDefaultVolume = 5;

inline constexpr int kErrBadText = 500;
inline constexpr int kErrBadParameter = 501;
inline constexpr int kErrBadToken = 502;
inline constexpr int kErrSynthesis = 503;
inline constexpr int kErrTextTooLong = 513;

struct Answer {
  int status = 200;
  std::string content_type;
  std::string body;
  bool operator==(const Answer&) const = default;
};

struct Credentials {
  std::string api_key;
  std::string secret_key;
};

// Nullopt when the query asks for a token with the accepted key pair; the
// keys are compared in constant time.
std::optional<Answer> CheckTokenRequest(std::string_view raw_query, const Credentials& accepted);

// 200, application/json: {"access_token":"TOKEN","expires_in":SECONDS}. The
// token must hold no double quote or backslash (TokenStore's hex never does).
Answer TokenAnswer(std::string_view token, long long expires_in_seconds);

struct SpeechRequest {
  std::string text;  // UTF-8, 1 to kMaxTextBytes bytes, no zero byte
  std::string token;
  std::string cuid;
  int volume = kDefaultVolume;  // 0-15
  int voice = 0;                // a Voice::per
  bool operator==(const SpeechRequest&) const = default;
};

using TokenCheck = std::function<bool(std::string_view token)>;
std::variant<SpeechRequest, Answer> ReadSpeechRequest(std::string_view raw_query,
                                                      const TokenCheck& token_is_valid);

// Error answers. SpeechError picks the HTTP status from the table above.
Answer SpeechError(int err_no, std::string_view message);
Answer OAuthError(int status, std::string_view error, std::string_view description);
// Any other path: 404 {"error":"not_found",...}; a known path with a method
// other than GET or HEAD: 405 {"error":"method_not_allowed",...}.
Answer NotFound();
Answer MethodNotAllowed();

// `text` as a JSON string literal, quotes included; bytes are copied except
// that ", \ and control bytes are escaped. "a\"b" -> "\"a\\\"b\""
std::string JsonString(std::string_view text);

// Equality in time that depends only on the length of `expected`.
bool ConstantTimeEquals(std::string_view given, std::string_view expected);

}  // namespace sonavel::service
