// Writing bytes in tests as hex: HexBytes("E4 BD A0"), and back for messages.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "text/types.h"

namespace sonavel::test {

// The bytes written as pairs of hex digits; spaces between pairs are ignored.
inline Bytes HexBytes(std::string_view hex) {
  const auto digit = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
  };
  Bytes out;
  int high = -1;
  for (const char c : hex) {
    const int d = digit(c);
    if (d < 0) continue;
    if (high < 0) {
      high = d;
    } else {
      out.push_back(static_cast<std::uint8_t>(high * 16 + d));
      high = -1;
    }
  }
  return out;
}

// The same bytes as a Text (or any std::string).
inline Text HexString(std::string_view hex) {
  const Bytes b = HexBytes(hex);
  return Text(b.begin(), b.end());
}

inline std::string ToHex(std::string_view bytes) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string out;
  for (const char c : bytes) {
    const auto b = static_cast<std::uint8_t>(c);
    if (!out.empty()) out.push_back(' ');
    out.push_back(kDigits[b >> 4]);
    out.push_back(kDigits[b & 0xF]);
  }
  return out;
}

inline std::string ToHex(const Bytes& bytes) {
  return ToHex(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

}  // namespace sonavel::test
