#include "text/url_encode.h"

#include <array>
#include <cstring>
#include <string_view>

#include "text/charset.h"

namespace sonavel {
namespace {

// What each byte becomes: itself, or "%" and two upper-case hex digits.
struct Encoding {
  std::array<std::array<char, 4>, 256> bytes{};
  std::array<std::uint8_t, 256> length{};
};

// The bytes kept as they are with keepSafe: "-", ".", 0-9, A-Z and a-z.
constexpr bool IsSafe(int b) {
  return (b >= 0x2D && b <= 0x39 && b != 0x2F) || (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z');
}

constexpr Encoding MakeEncoding(bool keepSafe) {
  constexpr char kHexDigits[] = "0123456789ABCDEF";
  Encoding e;
  for (int b = 0; b < 256; ++b) {
    if (keepSafe && IsSafe(b)) {
      e.bytes[b] = {static_cast<char>(b), 0, 0, 0};
      e.length[b] = 1;
    } else {
      e.bytes[b] = {'%', kHexDigits[b >> 4], kHexDigits[b & 0xF], 0};
      e.length[b] = 3;
    }
  }
  return e;
}

constexpr Encoding kEscapeAll = MakeEncoding(false);
constexpr Encoding kKeepSafe = MakeEncoding(true);

}  // namespace

Text UrlEncode(const Text& text, bool keepSafe, bool asUtf8) {
  if (text.empty()) return Text();
  const Text utf8 = asUtf8 ? AnsiToUtf8(text) : Text();
  const std::string_view source = asUtf8 ? std::string_view(utf8) : std::string_view(text);
  if (!keepSafe) {
    // Three characters for every byte, at a fixed stride.
    Text out(source.size() * 3, '\0');
    for (std::size_t i = 0; i < source.size(); ++i) {
      std::memcpy(&out[3 * i], kEscapeAll.bytes[static_cast<std::uint8_t>(source[i])].data(), 3);
    }
    return out;
  }
  const Encoding& e = kKeepSafe;
  std::size_t size = 0;
  for (const char c : source) size += e.length[static_cast<std::uint8_t>(c)];
  // Each byte's four table bytes are stored and the output moves on by the
  // one or three that count; three bytes of slack take the last store.
  Text out(size + 3, '\0');
  char* o = out.data();
  for (const char c : source) {
    const auto b = static_cast<std::uint8_t>(c);
    std::memcpy(o, e.bytes[b].data(), 4);
    o += e.length[b];
  }
  out.resize(size);
  return out;
}

}  // namespace sonavel
