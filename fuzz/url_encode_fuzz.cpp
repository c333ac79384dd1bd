// UrlEncode against a reference encoder written from the rule, and the
// properties of its output: ASCII only, at most three bytes per source byte
// (exactly three without keepSafe), every escape "%" and two upper-case hex
// digits, and percent-decoding gives back the source bytes.
//
// Input: flags (bit 0: keepSafe, bit 1: asUtf8), then the text (up to its
// first zero byte, as a Text is).
#include "fuzz/fuzz_input.h"
#include "text/charset.h"
#include "text/url_encode.h"

namespace {

using namespace sonavel;
using namespace sonavel::fuzz;

bool InSafeSet(unsigned char b) {
  return b == '-' || b == '.' || (b >= '0' && b <= '9') || (b >= 'A' && b <= 'Z') ||
         (b >= 'a' && b <= 'z');
}

std::string ReferenceEncode(std::string_view source, bool keepSafe) {
  std::string out;
  for (const char c : source) {
    const auto b = static_cast<unsigned char>(c);
    if (keepSafe && InSafeSet(b)) {
      out += c;
    } else {
      char escape[4];
      std::snprintf(escape, sizeof escape, "%%%02X", b);
      out += escape;
    }
  }
  return out;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;  // lower-case digits are not what UrlEncode writes
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzInput in(data, size);
  const std::uint8_t flags = in.Byte();
  const bool keepSafe = (flags & 1) != 0, asUtf8 = (flags & 2) != 0;
  const Text text = WithoutZero(in.Rest());

  const Text got = UrlEncode(text, keepSafe, asUtf8);
  const Text source = asUtf8 ? AnsiToUtf8(text) : text;
  FUZZ_CHECK(got == ReferenceEncode(source, keepSafe));
  FUZZ_CHECK(got.size() <= 3 * source.size());
  if (!keepSafe) FUZZ_CHECK(got.size() == 3 * source.size());
  if (text.empty()) FUZZ_CHECK(got.empty());

  std::string decoded;
  for (std::size_t i = 0; i < got.size(); ++i) {
    const auto b = static_cast<unsigned char>(got[i]);
    FUZZ_CHECK(b < 0x80);
    if (b != '%') {
      FUZZ_CHECK(keepSafe && InSafeSet(b));
      decoded += got[i];
      continue;
    }
    FUZZ_CHECK(i + 2 < got.size());
    const int hi = HexValue(got[i + 1]), lo = HexValue(got[i + 2]);
    FUZZ_CHECK(hi >= 0 && lo >= 0);
    const auto byte = static_cast<unsigned char>(hi * 16 + lo);
    FUZZ_CHECK(!(keepSafe && InSafeSet(byte)));
    decoded += static_cast<char>(byte);
    i += 2;
  }
  FUZZ_CHECK(decoded == source);
  return 0;
}
