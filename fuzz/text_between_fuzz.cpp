// TextBetween against a model written from its steps: the quote notation
// resolved in copies of the markers, the front marker searched from the start
// byte, the back marker from the byte after the front marker.
//
// Input: flags (bit 0: ignore case; bit 1: the markers of the token answer,
// `access_token":"` and a double quote, instead of the pieces), start, then
// the pieces text | front | back.
#include "fuzz/fuzz_input.h"
#include "fuzz/oracle.h"
#include "text/between.h"

namespace {

using namespace sonavel;
using namespace sonavel::fuzz;

constexpr std::string_view kQuoteNotation = "#\xD2\xFD\xBA\xC5";  // "#引号"

std::string ModelBetween(std::string_view text, std::string_view front, std::string_view back,
                         std::int32_t start, bool ic) {
  const std::string f = ModelReplace(front, kQuoteNotation, "\"", false);
  const std::string b = ModelReplace(back, kQuoteNotation, "\"", false);
  const std::int64_t p = ModelFind(text, f, start < 1 ? 1 : start, ic);
  if (p == -1) return "";
  const std::int64_t c = p + static_cast<std::int64_t>(f.size());
  const std::int64_t q = ModelFind(text, b, c, ic);
  if (q == -1 || q - c <= 0) return "";
  return std::string(text.substr(static_cast<std::size_t>(c - 1), static_cast<std::size_t>(q - c)));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzInput in(data, size);
  const std::uint8_t flags = in.Byte();
  const bool ic = (flags & 1) != 0;
  const std::int32_t start = in.Position();
  auto pieces = in.Pieces(3);
  const Text text = WithoutZero(pieces[0]);
  Text front = WithoutZero(pieces[1]), back = WithoutZero(pieces[2]);
  if (flags & 2) {
    front = "access_token\":\"";
    back = "\"";
  }
  const Text frontBefore = front, backBefore = back;

  const Text got = TextBetween(text, front, back, start, ic);
  FUZZ_CHECK(got == ModelBetween(text, front, back, start, ic));
  FUZZ_CHECK(got.size() <= text.size());
  FUZZ_CHECK(got.empty() || text.find(got) != Text::npos);
  FUZZ_CHECK(front == frontBefore && back == backBefore);
  // A start of 0 or below means the first byte.
  if (start <= 1) FUZZ_CHECK(got == TextBetween(text, front, back, 1, ic));
  return 0;
}
