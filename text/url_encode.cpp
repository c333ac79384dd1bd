#include "text/url_encode.h"

#include "text/charset.h"

namespace sonavel {
namespace {

constexpr bool IsSafe(std::uint8_t b) {
  return (b >= 0x2D && b <= 0x39 && b != 0x2F) || (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z');
}

}  // namespace

Text UrlEncode(const Text& text, bool keepSafe, bool asUtf8) {
  if (text.empty()) return Text();
  const Text utf8 = asUtf8 ? AnsiToUtf8(text) : Text();
  const std::string_view source = asUtf8 ? std::string_view(utf8) : std::string_view(text);
  static constexpr char kHex[] = "0123456789ABCDEF";
  Text out;
  out.resize(source.size() * 3);
  std::size_t n = 0;
  for (const char c : source) {
    const auto b = static_cast<std::uint8_t>(c);
    if (keepSafe && IsSafe(b)) {
      out[n++] = c;
    } else {
      out[n++] = '%';
      out[n++] = kHex[b >> 4];
      out[n++] = kHex[b & 0xF];
    }
  }
  out.resize(n);
  return out;
}

}  // namespace sonavel
