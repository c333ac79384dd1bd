// The local speech service's reading of a request target: SplitTarget,
// DecodeComponent and ParseQuery against models written from their rules,
// IsUtf8 against a strict decoder, LogSafe and RedactTarget (one line of
// ASCII; the output does not depend on a redacted value at all), and the two
// endpoint checks: whatever the query, a defined answer, and a speech request
// that passes holds only what the protocol allows.
//
// Input: flags (bit 0: the token check accepts "T"), limit (for
// RedactTarget), then the target.
#include <algorithm>
#include <cstdio>
#include <set>

#include "fuzz/fuzz_input.h"
#include "fuzz/oracle.h"
#include "service/protocol.h"
#include "service/query.h"
#include "service/voices.h"

namespace {

using namespace sonavel::fuzz;
using namespace sonavel::service;

int Hex(unsigned char b) {
  if (b >= '0' && b <= '9') return b - '0';
  if (b >= 'a' && b <= 'f') return b - 'a' + 10;
  if (b >= 'A' && b <= 'F') return b - 'A' + 10;
  return -1;
}

std::optional<std::string> ModelDecode(std::string_view raw) {
  std::string out;
  for (std::size_t i = 0; i < raw.size(); ++i) {
    if (raw[i] == '+') {
      out += ' ';
    } else if (raw[i] != '%') {
      out += raw[i];
    } else if (i + 2 < raw.size() && Hex(raw[i + 1]) >= 0 && Hex(raw[i + 2]) >= 0) {
      out += static_cast<char>(Hex(raw[i + 1]) * 16 + Hex(raw[i + 2]));
      i += 2;
    } else {
      return std::nullopt;
    }
  }
  return out;
}

// The raw pieces of a query: (key, value, has "=").
struct Piece {
  std::string key, value;
  bool hasValue;
};

std::vector<Piece> Pieces(std::string_view query) {
  std::vector<Piece> pieces;
  std::size_t at = 0;
  while (at <= query.size()) {
    std::size_t amp = query.find('&', at);
    if (amp == std::string_view::npos) amp = query.size();
    const std::string_view part = query.substr(at, amp - at);
    if (!part.empty()) {
      const std::size_t eq = part.find('=');
      if (eq == std::string_view::npos) {
        pieces.push_back({std::string(part), "", false});
      } else {
        pieces.push_back({std::string(part.substr(0, eq)), std::string(part.substr(eq + 1)), true});
      }
    }
    at = amp + 1;
  }
  return pieces;
}

std::optional<QueryParams> ModelParse(std::string_view query) {
  QueryParams params;
  for (const Piece& p : Pieces(query)) {
    auto key = ModelDecode(p.key), value = ModelDecode(p.value);
    if (!key || !value) return std::nullopt;
    params.push_back({*key, *value});
  }
  return params;
}

bool PrintableAscii(std::string_view s) {
  for (const char c : s) {
    const auto b = static_cast<unsigned char>(c);
    if (b < 0x21 || b > 0x7E) return false;
  }
  return true;
}

void CheckAnswer(const Answer& answer) {
  FUZZ_CHECK(answer.status >= 200 && answer.status <= 599);
  FUZZ_CHECK(!answer.content_type.empty());
  if (answer.content_type == "application/json") {
    FUZZ_CHECK(answer.body.size() >= 2 && answer.body.front() == '{' && answer.body.back() == '}');
    FUZZ_CHECK(DecodeUtf8(answer.body).has_value());
    for (const char c : answer.body) FUZZ_CHECK(static_cast<unsigned char>(c) >= 0x20);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzInput in(data, size);
  const bool acceptT = (in.Byte() & 1) != 0;
  const std::size_t limit = in.Byte() * 4u;
  const std::string target = in.Rest();

  // The target's parts.
  const Target parts = SplitTarget(target);
  const std::size_t question = target.find('?');
  FUZZ_CHECK(parts.path == std::string_view(target).substr(0, question));
  FUZZ_CHECK(parts.query == (question == std::string::npos
                                 ? std::string_view()
                                 : std::string_view(target).substr(question + 1)));

  // Decoding, parsing and looking up.
  FUZZ_CHECK(DecodeComponent(target) == ModelDecode(target));
  const auto params = ParseQuery(parts.query);
  FUZZ_CHECK(params == ModelParse(parts.query));
  if (params) {
    std::set<std::string> keys;
    for (const auto& p : *params) keys.insert(p.key);
    for (const std::string& key : keys) {
      int count = 0;
      const std::string* first = nullptr;
      for (const auto& p : *params) {
        if (p.key != key) continue;
        if (count++ == 0) first = &p.value;
      }
      FUZZ_CHECK(CountParam(*params, key) == count);
      FUZZ_CHECK(FindParam(*params, key) != nullptr && *FindParam(*params, key) == *first);
    }
    // Longer than every key, so none of them.
    std::string absent = "\x01";
    for (const std::string& key : keys) absent += key;
    FUZZ_CHECK(FindParam(*params, absent) == nullptr && CountParam(*params, absent) == 0);
  }

  // UTF-8 and log lines.
  FUZZ_CHECK(IsUtf8(target) == DecodeUtf8(target).has_value());
  const std::string safe = LogSafe(target);
  FUZZ_CHECK(PrintableAscii(safe));
  std::string wantSafe;
  for (const char c : target) {
    const auto b = static_cast<unsigned char>(c);
    char escape[4];
    std::snprintf(escape, sizeof escape, "%%%02X", b);
    wantSafe += b < 0x21 || b > 0x7E ? std::string(escape) : std::string(1, c);
  }
  FUZZ_CHECK(safe == wantSafe);

  const std::vector<std::string_view> secret = {"tok", "client_secret"};
  const std::string redacted = RedactTarget(target, secret, limit);
  FUZZ_CHECK(PrintableAscii(redacted));
  FUZZ_CHECK(redacted.size() <= limit + 3);
  if (params) {
    // The same target with every secret value replaced: the same log line.
    std::string other(parts.path);
    if (question != std::string::npos) other += '?';
    bool first = true;
    for (const Piece& p : Pieces(parts.query)) {
      if (!first) other += '&';
      first = false;
      const auto key = ModelDecode(p.key);
      const bool hidden = key && (*key == "tok" || *key == "client_secret");
      other += p.key;
      if (p.hasValue) other += "=" + std::string(hidden ? "Z" : p.value);
    }
    // Rebuilt piece by piece, the target is the same but for the secrets
    // when it has no empty pieces.
    const auto ampersands = std::count(parts.query.begin(), parts.query.end(), '&');
    if (Pieces(parts.query).size() == static_cast<std::size_t>(ampersands) + 1)
      FUZZ_CHECK(RedactTarget(other, secret, limit) == redacted);
  }

  // The endpoints: always a defined answer.
  if (const auto answer = CheckTokenRequest(parts.query, {"K", "S"})) CheckAnswer(*answer);
  const auto speech = ReadSpeechRequest(
      parts.query, [acceptT](std::string_view token) { return acceptT && token == "T"; });
  if (const auto* answer = std::get_if<Answer>(&speech)) {
    CheckAnswer(*answer);
  } else {
    const auto& request = std::get<SpeechRequest>(speech);
    FUZZ_CHECK(acceptT && request.token == "T");
    FUZZ_CHECK(!request.text.empty() && request.text.size() <= kMaxTextBytes);
    FUZZ_CHECK(IsUtf8(request.text) && request.text.find('\0') == std::string::npos);
    FUZZ_CHECK(!request.cuid.empty() && request.cuid.size() <= 64 && PrintableAscii(request.cuid));
    FUZZ_CHECK(request.volume >= 0 && request.volume <= 15);
    FUZZ_CHECK(FindVoice(request.voice) != nullptr);
  }

  // JSON strings: quoted, no raw control byte, and the escapes undo.
  const std::string json = JsonString(target);
  FUZZ_CHECK(json.size() >= 2 && json.front() == '"' && json.back() == '"');
  std::string back;
  for (std::size_t i = 1; i + 1 < json.size(); ++i) {
    const auto b = static_cast<unsigned char>(json[i]);
    FUZZ_CHECK(b >= 0x20 && b != '"');
    if (b != '\\') {
      back += json[i];
      continue;
    }
    FUZZ_CHECK(i + 2 < json.size());
    const char e = json[++i];
    if (e == 'u') {
      FUZZ_CHECK(i + 4 < json.size());
      back += static_cast<char>(std::stoi(json.substr(i + 1, 4), nullptr, 16));
      i += 4;
    } else {
      const std::string_view from = "\"\\/bfnrt", to = "\"\\/\b\f\n\r\t";
      const std::size_t k = from.find(e);
      FUZZ_CHECK(k != std::string_view::npos);
      back += to[k];
    }
  }
  FUZZ_CHECK(back == target);
  return 0;
}
