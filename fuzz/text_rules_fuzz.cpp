// The text rules (search, replace, split, trim, parts, numbers) against the
// slow models of fuzz/oracle.h, plus the properties that hold whatever the
// model says: a match starts on a character, split then join gives back the
// text, trimming is idempotent.
//
// Input: flags (bit 0: ignore case), start, count, then the pieces
// text | needle | replacement (the needle is also the separator).
#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "fuzz/fuzz_input.h"
#include "fuzz/oracle.h"
#include "text/rules.h"

namespace {

using namespace sonavel;
using namespace sonavel::fuzz;

std::string ModelLeft(std::string_view text, std::int32_t count) {
  if (count <= 0) return "";
  return std::string(text.substr(0, static_cast<std::size_t>(count)));
}

std::string ModelRight(std::string_view text, std::int32_t count) {
  if (count <= 0) return "";
  const std::size_t n = std::min<std::size_t>(text.size(), static_cast<std::size_t>(count));
  return std::string(text.substr(text.size() - n));
}

std::string ModelMiddle(std::string_view text, std::int32_t start, std::int32_t count) {
  if (count <= 0 || start < 1 || static_cast<std::size_t>(start) > text.size()) return "";
  return std::string(
      text.substr(static_cast<std::size_t>(start) - 1, static_cast<std::size_t>(count)));
}

void CheckSearch(std::string_view text, std::string_view needle, std::int32_t start, bool ic) {
  const std::int32_t got = FindText(text, needle, start, ic);
  FUZZ_CHECK(got == ModelFind(text, needle, start, ic));
  FUZZ_CHECK(ContainsText(text, needle, ic) == (ModelFind(text, needle, 1, ic) != -1));
  if (got != -1 && !needle.empty()) {
    // The match begins on a character counted from the start byte, never on
    // the second byte of a two-byte character.
    const auto starts = CharStarts(text, static_cast<std::size_t>(std::max(start, 1) - 1));
    FUZZ_CHECK(std::find(starts.begin(), starts.end(), static_cast<std::size_t>(got - 1)) !=
               starts.end());
    FUZZ_CHECK(
        SameBytes(text.substr(static_cast<std::size_t>(got - 1), needle.size()), needle, ic));
  }
  FUZZ_CHECK(EqualText(text, needle, ic) == SameBytes(text, needle, ic));
}

void CheckReplaceAndSplit(std::string_view text, std::string_view needle, std::string_view to,
                          bool ic) {
  FUZZ_CHECK(ReplaceText(text, needle, to, ic) == ModelReplace(text, needle, to, ic));
  if (!ic) FUZZ_CHECK(ReplaceText(text, needle, needle) == text);

  const TextArray items = SplitText(text, needle);
  FUZZ_CHECK(items == ModelSplit(text, needle));
  // Split then join gives back the text, less a separator at its very end.
  const std::string joined = Join(items, needle);
  FUZZ_CHECK(joined == text || (!needle.empty() && joined + std::string(needle) == text));
  if (!text.empty()) FUZZ_CHECK(!items.empty());
}

void CheckSpaces(std::string_view text) {
  const Text trimmed = TrimSpaces(text);
  FUZZ_CHECK(trimmed == ModelTrim(text));
  FUZZ_CHECK(TrimSpaces(trimmed) == trimmed);
  FUZZ_CHECK(text.find(trimmed) != std::string_view::npos);
  const Text removed = RemoveSpaces(text);
  FUZZ_CHECK(removed == ModelRemoveSpaces(text));
  FUZZ_CHECK(RemoveSpaces(trimmed) == removed);
  FUZZ_CHECK(RemoveSpaces(removed) == removed);
}

void CheckParts(std::string_view text, std::int32_t start, std::int32_t count) {
  FUZZ_CHECK(LeftPart(text, count) == ModelLeft(text, count));
  FUZZ_CHECK(RightPart(text, count) == ModelRight(text, count));
  FUZZ_CHECK(MiddlePart(text, start, count) == ModelMiddle(text, start, count));
}

void CheckNumbers(std::string_view raw) {
  std::uint64_t bits = 0;
  std::memcpy(&bits, raw.data(), std::min(raw.size(), sizeof bits));
  char want[32];
  std::snprintf(want, sizeof want, "%" PRIX64, bits);
  FUZZ_CHECK(HexText(bits) == want);
  const auto value = static_cast<std::int64_t>(bits);
  std::snprintf(want, sizeof want, "%" PRId64, value);
  FUZZ_CHECK(DecimalText(value) == want);
}

void CheckToText(std::string_view raw) {
  const std::string want = WithoutZero(std::string(raw));
  FUZZ_CHECK(ToText(raw) == want);
  const Bytes bytes = ToBytes(raw);
  FUZZ_CHECK(bytes.size() == raw.size() &&
             std::equal(bytes.begin(), bytes.end(), raw.begin(),
                        [](std::uint8_t b, char c) { return b == static_cast<std::uint8_t>(c); }));
  FUZZ_CHECK(ToText(bytes) == want);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzInput in(data, size);
  const bool ic = (in.Byte() & 1) != 0;
  const std::int32_t start = in.Position();
  const std::int32_t count = in.Position();
  const auto pieces = in.Pieces(3);
  const std::string_view text = pieces[0], needle = pieces[1], to = pieces[2];

  CheckSearch(text, needle, start, ic);
  CheckReplaceAndSplit(text, needle, to, ic);
  CheckSpaces(text);
  CheckParts(text, start, count);
  CheckNumbers(needle);
  CheckToText(text);
  return 0;
}
