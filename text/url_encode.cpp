#include "text/url_encode.h"

#include <array>
#include <string_view>

#include "text/charset.h"

namespace sonavel {
namespace {

// The bytes kept as they are with keepSafe: "-", ".", 0-9, A-Z and a-z.
constexpr std::array<bool, 256> kSafe = [] {
  std::array<bool, 256> safe{};
  for (int b = 0; b < 256; ++b)
    safe[b] =
        (b >= 0x2D && b <= 0x39 && b != 0x2F) || (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z');
  return safe;
}();

constexpr char kHexDigits[] = "0123456789ABCDEF";

}  // namespace

Text UrlEncode(const Text& text, bool keepSafe, bool asUtf8) {
  if (text.empty()) return Text();
  const Text utf8 = asUtf8 ? AnsiToUtf8(text) : Text();
  const std::string_view source = asUtf8 ? std::string_view(utf8) : std::string_view(text);
  // Sized exactly: three characters for every escaped byte, one for a kept one.
  std::size_t kept = 0;
  if (keepSafe) {
    for (const char c : source) kept += kSafe[static_cast<std::uint8_t>(c)];
  }
  Text out(source.size() * 3 - kept * 2, '\0');
  char* o = out.data();
  for (const char c : source) {
    const auto b = static_cast<std::uint8_t>(c);
    if (keepSafe && kSafe[b]) {
      *o++ = c;
    } else {
      o[0] = '%';
      o[1] = kHexDigits[b >> 4];
      o[2] = kHexDigits[b & 0xF];
      o += 3;
    }
  }
  return out;
}

}  // namespace sonavel
