#include "service/query.h"

#include <algorithm>
#include <cstdint>

namespace sonavel::service {
namespace {

int HexValue(unsigned char byte) {
  if (byte >= 0x30 && byte <= 0x39) return byte - 0x30;
  if (byte >= 0x41 && byte <= 0x46) return byte - 0x41 + 10;
  if (byte >= 0x61 && byte <= 0x66) return byte - 0x61 + 10;
  return -1;
}

// Calls `piece(key, value)` for every non-empty piece of the raw query, raw
// (undecoded) key and value; a piece without "=" has an empty raw value and
// `has_value` false.
template <typename F>
void ForEachPiece(std::string_view raw, F piece) {
  while (!raw.empty()) {
    const std::size_t amp = raw.find('&');
    const std::string_view part = raw.substr(0, amp);
    raw = amp == std::string_view::npos ? std::string_view() : raw.substr(amp + 1);
    if (part.empty()) continue;
    const std::size_t eq = part.find('=');
    if (eq == std::string_view::npos) {
      piece(part, std::string_view(), false);
    } else {
      piece(part.substr(0, eq), part.substr(eq + 1), true);
    }
  }
}

void AppendLogSafe(std::string& out, std::string_view bytes) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  for (const char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x21 || byte >= 0x7F) {
      out += '%';
      out += kHex[byte >> 4];
      out += kHex[byte & 0x0F];
    } else {
      out += c;
    }
  }
}

}  // namespace

std::string LogSafe(std::string_view bytes) {
  std::string out;
  AppendLogSafe(out, bytes);
  return out;
}

Target SplitTarget(std::string_view target) {
  const std::size_t question = target.find('?');
  if (question == std::string_view::npos) return {target, std::string_view()};
  return {target.substr(0, question), target.substr(question + 1)};
}

std::optional<std::string> DecodeComponent(std::string_view raw) {
  std::string out;
  out.reserve(raw.size());
  for (std::size_t i = 0; i < raw.size(); ++i) {
    const auto byte = static_cast<unsigned char>(raw[i]);
    if (byte == 0x25) {  // '%'
      if (raw.size() - i < 3) return std::nullopt;
      const int high = HexValue(static_cast<unsigned char>(raw[i + 1]));
      const int low = HexValue(static_cast<unsigned char>(raw[i + 2]));
      if (high < 0 || low < 0) return std::nullopt;
      out += static_cast<char>(high * 16 + low);
      i += 2;
    } else if (byte == 0x2B) {  // '+'
      out += ' ';
    } else {
      out += raw[i];
    }
  }
  return out;
}

std::optional<QueryParams> ParseQuery(std::string_view raw) {
  QueryParams params;
  bool ok = true;
  ForEachPiece(raw, [&](std::string_view key, std::string_view value, bool) {
    if (!ok) return;
    std::optional<std::string> decoded_key = DecodeComponent(key);
    std::optional<std::string> decoded_value = DecodeComponent(value);
    if (!decoded_key || !decoded_value) {
      ok = false;
      return;
    }
    params.push_back({std::move(*decoded_key), std::move(*decoded_value)});
  });
  if (!ok) return std::nullopt;
  return params;
}

int CountParam(const QueryParams& params, std::string_view key) {
  return static_cast<int>(std::count_if(params.begin(), params.end(),
                                        [&](const QueryParam& p) { return p.key == key; }));
}

const std::string* FindParam(const QueryParams& params, std::string_view key) {
  for (const QueryParam& param : params) {
    if (param.key == key) return &param.value;
  }
  return nullptr;
}

bool IsUtf8(std::string_view bytes) {
  std::size_t i = 0;
  while (i < bytes.size()) {
    const auto lead = static_cast<unsigned char>(bytes[i]);
    if (lead < 0x80) {
      ++i;
      continue;
    }
    int length = 0;
    std::uint32_t code = 0;
    std::uint32_t minimum = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2;
      code = lead & 0x1F;
      minimum = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3;
      code = lead & 0x0F;
      minimum = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4;
      code = lead & 0x07;
      minimum = 0x10000;
    } else {
      return false;  // a continuation byte, C0/C1 or F5-FF in lead position
    }
    if (bytes.size() - i < static_cast<std::size_t>(length)) return false;
    for (int k = 1; k < length; ++k) {
      const auto next = static_cast<unsigned char>(bytes[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      code = (code << 6) | (next & 0x3F);
    }
    if (code < minimum || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return false;
    i += length;
  }
  return true;
}

std::string RedactTarget(std::string_view target, const std::vector<std::string_view>& keys,
                         std::size_t limit) {
  const Target parts = SplitTarget(target);
  std::string out;
  AppendLogSafe(out, parts.path);
  if (parts.query.size() != 0 || target.find('?') != std::string_view::npos) {
    out += '?';
    bool first = true;
    ForEachPiece(parts.query, [&](std::string_view key, std::string_view value, bool has_value) {
      if (!first) out += '&';
      first = false;
      AppendLogSafe(out, key);
      if (!has_value) return;
      out += '=';
      const std::optional<std::string> decoded = DecodeComponent(key);
      const std::string_view name = decoded ? std::string_view(*decoded) : key;
      if (std::find(keys.begin(), keys.end(), name) != keys.end()) {
        out += "[redacted]";
      } else {
        AppendLogSafe(out, value);
      }
    });
  }
  if (out.size() > limit) {
    out.resize(limit);
    out += "...";
  }
  return out;
}

}  // namespace sonavel::service
