// Slow reference models of the text rules, for the fuzz targets to compare
// the real routines with. Written on purpose without text/rules.h: a model
// that shared its code would share its mistakes. Each one is the plainest
// reading of the rule (character by character, lists instead of indexes),
// and none of them is meant for anything but checking.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sonavel::fuzz {

// The 0-based starts of the characters of `text` from byte `from` on: a byte
// of 0x80 or above takes the next byte with it; a lead byte at the end stands
// alone.
inline std::vector<std::size_t> CharStarts(std::string_view text, std::size_t from = 0) {
  std::vector<std::size_t> starts;
  std::size_t pos = from;
  while (pos < text.size()) {
    starts.push_back(pos);
    const bool lead = static_cast<unsigned char>(text[pos]) >= 0x80;
    pos += lead && pos + 1 < text.size() ? 2 : 1;
  }
  return starts;
}

// The characters of `text`, in order.
inline std::vector<std::string_view> Chars(std::string_view text) {
  std::vector<std::string_view> chars;
  const auto starts = CharStarts(text);
  for (std::size_t i = 0; i < starts.size(); ++i) {
    const std::size_t end = i + 1 < starts.size() ? starts[i + 1] : text.size();
    chars.push_back(text.substr(starts[i], end - starts[i]));
  }
  return chars;
}

inline unsigned char FoldByte(unsigned char b) {
  return b >= 0x41 && b <= 0x5A ? static_cast<unsigned char>(b + 0x20) : b;
}

inline bool SameBytes(std::string_view a, std::string_view b, bool ignoreCase) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    auto x = static_cast<unsigned char>(a[i]);
    auto y = static_cast<unsigned char>(b[i]);
    if (ignoreCase) {
      x = FoldByte(x);
      y = FoldByte(y);
    }
    if (x != y) return false;
  }
  return true;
}

constexpr std::size_t kNone = static_cast<std::size_t>(-1);

// 0-based position of the first character start at or after `from` (counted
// from `from`) where `needle` (not empty) stands, or kNone.
inline std::size_t ModelFindFrom(std::string_view text, std::string_view needle, std::size_t from,
                                 bool ignoreCase) {
  // CharStarts(text, from), walked without a list.
  for (std::size_t start = from; start < text.size();) {
    if (start + needle.size() <= text.size() &&
        SameBytes(text.substr(start, needle.size()), needle, ignoreCase))
      return start;
    const bool lead = static_cast<unsigned char>(text[start]) >= 0x80;
    start += lead && start + 1 < text.size() ? 2 : 1;
  }
  return kNone;
}

// The search rule with its 1-based start and its result of -1.
inline std::int64_t ModelFind(std::string_view text, std::string_view needle, std::int64_t start,
                              bool ignoreCase) {
  if (start < 1) start = 1;
  if (static_cast<std::uint64_t>(start) > text.size()) return -1;
  if (needle.empty()) return 1;
  const std::size_t hit =
      ModelFindFrom(text, needle, static_cast<std::size_t>(start - 1), ignoreCase);
  return hit == kNone ? -1 : static_cast<std::int64_t>(hit) + 1;
}

inline std::string ModelReplace(std::string_view text, std::string_view from, std::string_view to,
                                bool ignoreCase) {
  if (from.empty()) return std::string(text);
  std::string out;
  std::size_t pos = 0;
  for (;;) {
    const std::size_t hit = pos < text.size() ? ModelFindFrom(text, from, pos, ignoreCase) : kNone;
    if (hit == kNone) break;
    out += text.substr(pos, hit - pos);
    out += to;
    pos = hit + from.size();
  }
  if (pos < text.size()) out += text.substr(pos);
  return out;
}

inline std::vector<std::string> ModelSplit(std::string_view text, std::string_view separator) {
  std::vector<std::string> items;
  if (text.empty()) return items;
  if (separator.empty()) return {std::string(text)};
  std::size_t pos = 0;
  while (pos < text.size()) {
    const std::size_t hit = ModelFindFrom(text, separator, pos, false);
    if (hit == kNone) {
      items.emplace_back(text.substr(pos));
      break;
    }
    items.emplace_back(text.substr(pos, hit - pos));
    pos = hit + separator.size();
  }
  return items;
}

inline bool IsSpaceChar(std::string_view c) { return c == " " || c == "\xA1\xA1"; }

inline std::string ModelTrim(std::string_view text) {
  auto chars = Chars(text);
  std::size_t first = 0;
  while (first < chars.size() && IsSpaceChar(chars[first])) ++first;
  std::size_t last = chars.size();
  while (last > first && IsSpaceChar(chars[last - 1])) --last;
  std::string out;
  for (std::size_t i = first; i < last; ++i) out += chars[i];
  return out;
}

inline std::string ModelRemoveSpaces(std::string_view text) {
  std::string out;
  for (const auto c : Chars(text))
    if (!IsSpaceChar(c)) out += c;
  return out;
}

inline std::string Join(const std::vector<std::string>& items, std::string_view separator) {
  std::string out;
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (i > 0) out += separator;
    out += items[i];
  }
  return out;
}

// The code points of `s` when it is well-formed UTF-8 (shortest forms, no
// surrogates, at most U+10FFFF), else nothing.
inline std::optional<std::vector<char32_t>> DecodeUtf8(std::string_view s) {
  std::vector<char32_t> out;
  for (std::size_t i = 0; i < s.size();) {
    const auto b0 = static_cast<unsigned char>(s[i]);
    int extra;
    char32_t cp, min;
    if (b0 < 0x80) {
      out.push_back(b0);
      ++i;
      continue;
    } else if (b0 >= 0xC2 && b0 <= 0xDF) {
      extra = 1, cp = b0 & 0x1F, min = 0x80;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
      extra = 2, cp = b0 & 0x0F, min = 0x800;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
      extra = 3, cp = b0 & 0x07, min = 0x10000;
    } else {
      return std::nullopt;
    }
    if (i + extra >= s.size()) return std::nullopt;
    for (int k = 1; k <= extra; ++k) {
      const auto b = static_cast<unsigned char>(s[i + k]);
      if ((b & 0xC0) != 0x80) return std::nullopt;
      cp = (cp << 6) | (b & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return std::nullopt;
    out.push_back(cp);
    i += extra + 1;
  }
  return out;
}

}  // namespace sonavel::fuzz
