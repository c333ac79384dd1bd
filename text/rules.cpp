#include "text/rules.h"

#include <algorithm>
#include <bit>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace sonavel {
namespace {

constexpr std::uint8_t Fold(std::uint8_t byte) {
  return byte >= 'A' && byte <= 'Z' ? static_cast<std::uint8_t>(byte + 0x20) : byte;
}

// True when `needle` stands at byte `pos` of `text` (0-based).
bool MatchesAt(std::string_view text, std::size_t pos, std::string_view needle, bool ignoreCase) {
  if (needle.size() > text.size() - pos) return false;
  if (!ignoreCase) return std::memcmp(text.data() + pos, needle.data(), needle.size()) == 0;
  for (std::size_t i = 0; i < needle.size(); ++i) {
    if (Fold(static_cast<std::uint8_t>(text[pos + i])) !=
        Fold(static_cast<std::uint8_t>(needle[i])))
      return false;
  }
  return true;
}

// Whether byte `h` begins a character, given that byte `from` (<= h) does.
// A byte below 0x80 always ends a character (alone, or as the second byte of
// a pair), so only the run of bytes of 0x80 and above just before `h` counts:
// it pairs up from its first byte, and `h` begins a character when the run
// has an even length.
bool BeginsCharacter(const std::uint8_t* p, std::size_t from, std::size_t h) {
  constexpr std::uint64_t kHigh = 0x8080808080808080u;
  std::size_t i = h;
  while (i - from >= 8) {
    std::uint64_t word;
    std::memcpy(&word, p + i - 8, 8);
    if ((word & kHigh) != kHigh) break;
    i -= 8;
  }
  while (i > from && IsLeadByte(p[i - 1])) --i;
  return ((h - i) & 1) == 0;
}

// The first byte at or after `pos` and at or before `last` that can begin
// `needle`, or npos.
std::size_t NextCandidate(const std::uint8_t* p, std::size_t pos, std::size_t last,
                          std::uint8_t first, bool ignoreCase) {
  if (!ignoreCase || first < 'a' || first > 'z') {
    const void* hit = std::memchr(p + pos, first, last - pos + 1);
    return hit == nullptr ? std::string_view::npos
                          : static_cast<std::size_t>(static_cast<const std::uint8_t*>(hit) - p);
  }
  for (; pos <= last; ++pos) {
    if (Fold(p[pos]) == first) return pos;
  }
  return std::string_view::npos;
}

// 0-based position of `needle` at or after the character boundary `from`,
// or npos. `needle` is not empty. Candidates come from memchr and are
// compared first; only a match is checked to begin a character, counting
// from `anchor`, the last byte known to begin one. The anchor only moves
// forward, so no byte is looked at more than a few times.
std::size_t FindFrom(std::string_view text, std::string_view needle, std::size_t from,
                     bool ignoreCase) {
  if (from > text.size() || needle.size() > text.size() - from) return std::string_view::npos;
  const auto* p = reinterpret_cast<const std::uint8_t*>(text.data());
  const std::size_t last = text.size() - needle.size();
  const auto byte = static_cast<std::uint8_t>(needle[0]);
  const std::uint8_t first = ignoreCase ? Fold(byte) : byte;
  std::size_t anchor = from;
  std::size_t pos = from;
#if defined(__SSE2__)
  // Thirty-two candidates at a time: those whose first two bytes match.
  if (!ignoreCase && needle.size() >= 2) {
    const __m128i first16 = _mm_set1_epi8(static_cast<char>(needle[0]));
    const __m128i second16 = _mm_set1_epi8(static_cast<char>(needle[1]));
    const auto pairs = [&](std::size_t at) {
      const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + at));
      const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + at + 1));
      return static_cast<std::uint32_t>(static_cast<std::uint16_t>(_mm_movemask_epi8(
          _mm_and_si128(_mm_cmpeq_epi8(a, first16), _mm_cmpeq_epi8(b, second16)))));
    };
    while (pos <= last && last - pos >= 31) {
      std::uint32_t mask = pairs(pos) | pairs(pos + 16) << 16;
      for (; mask != 0; mask &= mask - 1) {
        const std::size_t hit = pos + static_cast<std::size_t>(std::countr_zero(mask));
        if (std::memcmp(p + hit + 2, needle.data() + 2, needle.size() - 2) != 0) continue;
        if (BeginsCharacter(p, anchor, hit)) return hit;
        anchor = hit + 1;  // `hit` is the second byte of a pair
      }
      pos += 32;
    }
  }
#endif
  while (pos <= last) {
    const std::size_t hit = NextCandidate(p, pos, last, first, ignoreCase);
    if (hit == std::string_view::npos) break;
    pos = hit + 1;
    // The second byte first: it rules out most candidates without a call.
    if (needle.size() > 1) {
      const auto second = static_cast<std::uint8_t>(needle[1]);
      if (ignoreCase ? Fold(p[hit + 1]) != Fold(second) : p[hit + 1] != second) continue;
    }
    if (!MatchesAt(text, hit, needle, ignoreCase)) continue;
    if (BeginsCharacter(p, anchor, hit)) return hit;
    anchor = hit + 1;  // `hit` is the second byte of a pair
  }
  return std::string_view::npos;
}

}  // namespace

std::int32_t FindText(std::string_view text, std::string_view needle, std::int32_t start,
                      bool ignoreCase) {
  if (start < 1) start = 1;
  const auto from = static_cast<std::size_t>(start) - 1;
  if (from >= text.size()) return -1;
  if (needle.empty()) return 1;
  const std::size_t pos = FindFrom(text, needle, from, ignoreCase);
  return pos == std::string_view::npos ? -1 : static_cast<std::int32_t>(pos + 1);
}

bool ContainsText(std::string_view text, std::string_view needle, bool ignoreCase) {
  return FindText(text, needle, 1, ignoreCase) != -1;
}

bool EqualText(std::string_view a, std::string_view b, bool ignoreCase) {
  return a.size() == b.size() && MatchesAt(a, 0, b, ignoreCase);
}

Text ReplaceText(std::string_view text, std::string_view from, std::string_view to,
                 bool ignoreCase) {
  if (from.empty()) return Text(text);
  Text out;
  out.reserve(text.size());
  std::size_t pos = 0;
  while (pos < text.size()) {
    const std::size_t hit = FindFrom(text, from, pos, ignoreCase);
    if (hit == std::string_view::npos) break;
    out.append(text.substr(pos, hit - pos));
    out.append(to);
    pos = hit + from.size();
  }
  out.append(text.substr(std::min(pos, text.size())));
  return out;
}

bool IsSpaceAt(std::string_view text, std::size_t pos) {
  const auto byte = static_cast<std::uint8_t>(text[pos]);
  return byte == 0x20 || (byte == 0xA1 && pos + 1 < text.size() &&
                          static_cast<std::uint8_t>(text[pos + 1]) == 0xA1);
}

Text TrimSpaces(std::string_view text) {
  std::size_t begin = 0;
  while (begin < text.size() && IsSpaceAt(text, begin)) begin += CharLength(text, begin);
  // The end of the last character that is not a space, walking from `begin`.
  std::size_t end = begin;
  for (std::size_t pos = begin; pos < text.size();) {
    const std::size_t len = CharLength(text, pos);
    if (!IsSpaceAt(text, pos)) end = pos + len;
    pos += len;
  }
  return Text(text.substr(begin, end - begin));
}

Text RemoveSpaces(std::string_view text) {
  Text out;
  out.reserve(text.size());
  for (std::size_t pos = 0; pos < text.size();) {
    const std::size_t len = CharLength(text, pos);
    if (!IsSpaceAt(text, pos)) out.append(text.substr(pos, len));
    pos += len;
  }
  return out;
}

TextArray SplitText(std::string_view text, std::string_view separator) {
  TextArray items;
  if (text.empty()) return items;
  if (separator.empty()) {
    items.emplace_back(text);
    return items;
  }
  std::size_t pos = 0;
  while (pos < text.size()) {
    const std::size_t hit = FindFrom(text, separator, pos, false);
    if (hit == std::string_view::npos) {
      items.emplace_back(text.substr(pos));
      break;
    }
    items.emplace_back(text.substr(pos, hit - pos));
    pos = hit + separator.size();
  }
  return items;
}

Text LeftPart(std::string_view text, std::int32_t count) {
  if (count <= 0) return Text();
  return Text(text.substr(0, static_cast<std::size_t>(count)));
}

Text RightPart(std::string_view text, std::int32_t count) {
  if (count <= 0) return Text();
  const auto n = std::min(text.size(), static_cast<std::size_t>(count));
  return Text(text.substr(text.size() - n));
}

Text MiddlePart(std::string_view text, std::int32_t start, std::int32_t count) {
  if (count <= 0 || start < 1 || static_cast<std::size_t>(start) > text.size()) return Text();
  return Text(text.substr(static_cast<std::size_t>(start) - 1, static_cast<std::size_t>(count)));
}

Text DecimalText(std::int64_t value) { return std::to_string(value); }

Text HexText(std::uint64_t value) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  char buffer[16];
  std::size_t n = 0;
  do {
    buffer[sizeof buffer - ++n] = kDigits[value & 0xF];
    value >>= 4;
  } while (value != 0);
  return Text(buffer + sizeof buffer - n, n);
}

Text ToText(const Bytes& bytes) {
  const auto zero = std::find(bytes.begin(), bytes.end(), std::uint8_t{0});
  return Text(bytes.begin(), zero);
}

Text ToText(std::string_view raw) { return Text(raw.substr(0, raw.find('\0'))); }

Bytes ToBytes(std::string_view text) { return Bytes(text.begin(), text.end()); }

}  // namespace sonavel
