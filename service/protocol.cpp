#include "service/protocol.h"

#include <openssl/crypto.h>

#include <array>

#include "service/query.h"
#include "service/voices.h"

namespace sonavel::service {
namespace {

constexpr std::string_view kJson = "application/json";

// One or two decimal digits, or nullopt.
std::optional<int> SmallNumber(std::string_view text) {
  if (text.empty() || text.size() > 2) return std::nullopt;
  int value = 0;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x30 || byte > 0x39) return std::nullopt;
    value = value * 10 + (byte - 0x30);
  }
  return value;
}

bool IsClientId(std::string_view cuid) {
  if (cuid.empty() || cuid.size() > 64) return false;
  for (const char c : cuid) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x21 || byte > 0x7E) return false;
  }
  return true;
}

// The first of `keys` that occurs more than once, or nullopt.
template <std::size_t N>
std::optional<std::string_view> RepeatedKey(const QueryParams& params,
                                            const std::array<std::string_view, N>& keys) {
  for (const std::string_view key : keys) {
    if (CountParam(params, key) > 1) return key;
  }
  return std::nullopt;
}

// "per must be one of 0, 1, 3, 4"
std::string VoiceListMessage() {
  std::string message = "per must be one of ";
  for (const Voice& voice : kVoices) {
    if (&voice != &kVoices.front()) message += ", ";
    message += std::to_string(voice.per);
  }
  return message;
}

}  // namespace

std::string JsonString(std::string_view text) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out = "\"";
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte == 0x22) {
      out += "\\\"";
    } else if (byte == 0x5C) {
      out += "\\\\";
    } else if (byte < 0x20) {
      out += "\\u00";
      out += kHex[byte >> 4];
      out += kHex[byte & 0x0F];
    } else {
      out += c;
    }
  }
  out += '"';
  return out;
}

bool ConstantTimeEquals(std::string_view given, std::string_view expected) {
  if (given.size() != expected.size()) {
    // Spend the same time as a comparison of the right length would.
    (void)CRYPTO_memcmp(expected.data(), expected.data(), expected.size());
    return false;
  }
  return CRYPTO_memcmp(given.data(), expected.data(), expected.size()) == 0;
}

Answer OAuthError(int status, std::string_view error, std::string_view description) {
  return {status, std::string(kJson),
          "{\"error\":" + JsonString(error) + ",\"error_description\":" + JsonString(description) +
              "}"};
}

Answer SpeechError(int err_no, std::string_view message) {
  int status = 400;
  if (err_no == kErrBadToken) status = 401;
  if (err_no == kErrSynthesis) status = 500;
  return {status, std::string(kJson),
          "{\"err_no\":" + std::to_string(err_no) + ",\"err_msg\":" + JsonString(message) + "}"};
}

Answer NotFound() { return OAuthError(404, "not_found", "no such path"); }

Answer MethodNotAllowed() { return OAuthError(405, "method_not_allowed", "only GET is supported"); }

std::optional<Answer> CheckTokenRequest(std::string_view raw_query, const Credentials& accepted) {
  const std::optional<QueryParams> params = ParseQuery(raw_query);
  if (!params) return OAuthError(400, "invalid_request", "malformed percent-encoding");
  static constexpr std::array<std::string_view, 3> kKeys = {"grant_type", "client_id",
                                                            "client_secret"};
  if (const auto key = RepeatedKey(*params, kKeys)) {
    return OAuthError(400, "invalid_request", "repeated parameter: " + std::string(*key));
  }
  const std::string* grant_type = FindParam(*params, "grant_type");
  if (grant_type == nullptr) return OAuthError(400, "invalid_request", "missing grant_type");
  if (*grant_type != "client_credentials") {
    return OAuthError(400, "unsupported_grant_type", "grant_type must be client_credentials");
  }
  const std::string* client_id = FindParam(*params, "client_id");
  if (client_id == nullptr || !ConstantTimeEquals(*client_id, accepted.api_key)) {
    return OAuthError(401, "invalid_client", "unknown client id");
  }
  const std::string* client_secret = FindParam(*params, "client_secret");
  if (client_secret == nullptr || !ConstantTimeEquals(*client_secret, accepted.secret_key)) {
    return OAuthError(401, "invalid_client", "unknown client secret");
  }
  return std::nullopt;
}

Answer TokenAnswer(std::string_view token, long long expires_in_seconds) {
  return {200, std::string(kJson),
          "{\"access_token\":" + JsonString(token) +
              ",\"expires_in\":" + std::to_string(expires_in_seconds) + "}"};
}

std::variant<SpeechRequest, Answer> ReadSpeechRequest(std::string_view raw_query,
                                                      const TokenCheck& token_is_valid) {
  const std::optional<QueryParams> params = ParseQuery(raw_query);
  if (!params) return SpeechError(kErrBadParameter, "malformed percent-encoding");
  static constexpr std::array<std::string_view, 7> kKeys = {"tex", "tok", "cuid", "ctp",
                                                            "lan", "vol", "per"};
  if (const auto key = RepeatedKey(*params, kKeys)) {
    return SpeechError(kErrBadParameter, "repeated parameter: " + std::string(*key));
  }

  const std::string* token = FindParam(*params, "tok");
  if (token == nullptr || token->empty() || !token_is_valid(*token)) {
    return SpeechError(kErrBadToken, "token missing, unknown or expired");
  }

  SpeechRequest request;
  request.token = *token;
  const std::string* ctp = FindParam(*params, "ctp");
  if (ctp == nullptr || *ctp != "1") return SpeechError(kErrBadParameter, "ctp must be 1");
  const std::string* lan = FindParam(*params, "lan");
  if (lan == nullptr || *lan != "zh") return SpeechError(kErrBadParameter, "lan must be zh");
  const std::string* cuid = FindParam(*params, "cuid");
  if (cuid == nullptr || !IsClientId(*cuid)) {
    return SpeechError(kErrBadParameter, "cuid must be 1 to 64 visible ASCII characters");
  }
  request.cuid = *cuid;
  if (const std::string* vol = FindParam(*params, "vol")) {
    const std::optional<int> volume = SmallNumber(*vol);
    if (!volume || *volume > 15) return SpeechError(kErrBadParameter, "vol must be 0 to 15");
    request.volume = *volume;
  }
  request.voice = kDefaultVoice;
  if (const std::string* per = FindParam(*params, "per")) {
    const std::optional<int> voice = SmallNumber(*per);
    if (!voice || FindVoice(*voice) == nullptr) {
      return SpeechError(kErrBadParameter, VoiceListMessage());
    }
    request.voice = *voice;
  }

  const std::string* text = FindParam(*params, "tex");
  if (text == nullptr || text->empty()) return SpeechError(kErrBadText, "missing text");
  if (text->size() > kMaxTextBytes) {
    return SpeechError(kErrTextTooLong, "text longer than 1024 bytes");
  }
  if (!IsUtf8(*text)) return SpeechError(kErrBadText, "text is not UTF-8");
  if (text->find('\0') != std::string::npos) {
    return SpeechError(kErrBadText, "text holds a zero byte");
  }
  request.text = *text;
  return request;
}

}  // namespace sonavel::service
