#include "text/between.h"

#include "text/rules.h"

namespace sonavel {
namespace {

// "#引号" in code page 936: a marker's way of writing a double quote.
constexpr std::string_view kQuoteNotation = "#\xD2\xFD\xBA\xC5";

}  // namespace

Text TextBetween(const Text& text, const Text& front, const Text& back, std::int32_t start,
                 bool ignoreCase) {
  const Text f = ReplaceText(front, kQuoteNotation, "\"");
  const Text b = ReplaceText(back, kQuoteNotation, "\"");
  const std::int32_t p = FindText(text, f, start < 1 ? 1 : start, ignoreCase);
  if (p == -1) return Text();
  const auto c = static_cast<std::int64_t>(p) + static_cast<std::int64_t>(f.size());
  if (c > static_cast<std::int64_t>(text.size())) return Text();
  const std::int32_t q = FindText(text, b, static_cast<std::int32_t>(c), ignoreCase);
  if (q == -1 || q <= c) return Text();
  return Text(text.substr(static_cast<std::size_t>(c) - 1, static_cast<std::size_t>(q - c)));
}

}  // namespace sonavel
