// How the fuzz targets read their input, and how they fail.
//
// An input is a few option bytes followed by pieces of text:
//
//   [option bytes ...] [delimiter] piece 1 [delimiter] piece 2 [delimiter] ...
//
// Each target takes its option bytes first (Byte, Position), then Pieces(n):
// the next byte is the delimiter and the rest is cut at every occurrence of
// it. Since the input chooses its own delimiter, a piece can hold any byte,
// and the seed files stay readable: "\x01\x05|(|)|x(ab)y(cd)". Missing bytes
// read as 0 and missing pieces as empty, so every input is valid.
//
// FUZZ_CHECK(cond) reports the failed property with the file and line and
// aborts, which libFuzzer (and the corpus runner) records as a finding.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#define FUZZ_CHECK(cond)                                                               \
  do {                                                                                 \
    if (!(cond)) {                                                                     \
      std::fprintf(stderr, "%s:%d: property failed: %s\n", __FILE__, __LINE__, #cond); \
      std::abort();                                                                    \
    }                                                                                  \
  } while (false)

namespace sonavel::fuzz {

class FuzzInput {
 public:
  FuzzInput(const std::uint8_t* data, std::size_t size)
      : rest_(reinterpret_cast<const char*>(data), size) {}

  // The next byte, or 0 when the input is used up.
  std::uint8_t Byte() {
    if (rest_.empty()) return 0;
    const auto byte = static_cast<std::uint8_t>(rest_.front());
    rest_.remove_prefix(1);
    return byte;
  }

  // A 1-based position from one byte: the byte as a signed value, except that
  // 0x7F and 0x80 stand for the largest and smallest 32-bit values.
  std::int32_t Position() {
    const std::uint8_t byte = Byte();
    if (byte == 0x7F) return std::numeric_limits<std::int32_t>::max();
    if (byte == 0x80) return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int8_t>(byte);
  }

  // The remaining input cut at the delimiter byte that comes first; exactly
  // `count` pieces, the last one holding the remainder (delimiters included).
  std::vector<std::string> Pieces(std::size_t count) {
    std::vector<std::string> pieces(count);
    if (rest_.empty() || count == 0) return pieces;
    const char delimiter = rest_.front();
    rest_.remove_prefix(1);
    for (std::size_t i = 0; i + 1 < count; ++i) {
      const std::size_t cut = rest_.find(delimiter);
      if (cut == std::string_view::npos) {
        pieces[i] = std::string(rest_);
        rest_ = {};
        return pieces;
      }
      pieces[i] = std::string(rest_.substr(0, cut));
      rest_.remove_prefix(cut + 1);
    }
    pieces[count - 1] = std::string(rest_);
    rest_ = {};
    return pieces;
  }

  // Everything not read yet.
  std::string Rest() {
    std::string all(rest_);
    rest_ = {};
    return all;
  }

 private:
  std::string_view rest_;
};

// The bytes of `s` before its first zero byte: how outside bytes become Text.
inline std::string WithoutZero(std::string s) {
  const std::size_t zero = s.find('\0');
  if (zero != std::string::npos) s.resize(zero);
  return s;
}

}  // namespace sonavel::fuzz
