#include "net/cookies.h"

#include <string_view>
#include <unordered_set>

#include "text/rules.h"

namespace sonavel {
namespace {

constexpr std::string_view kDeleted = "=deleted";

bool EndsInDeleted(std::string_view item) {
  return item.size() >= kDeleted.size() && item.substr(item.size() - kDeleted.size()) == kDeleted;
}

}  // namespace

Text CookieName(const Text& item) {
  const std::int32_t k = FindText(item, "=");
  return TrimSpaces(k == -1 ? std::string_view(item) : std::string_view(item).substr(0, k - 1));
}

bool HasCookieName(const TextArray& items, const Text& name) {
  for (const Text& item : items) {
    if (CookieName(item) == name) return true;
  }
  return false;
}

std::int32_t IndexOfText(const TextArray& items, const Text& text) {
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (items[i] == text) return static_cast<std::int32_t>(i + 1);
  }
  return -1;
}

Text JoinDistinct(const Text& text, const Text& separator) {
  // A hash set of the pieces seen stands for the linear IndexOfText search.
  std::unordered_set<std::string_view> seen;
  const TextArray pieces = SplitText(text, separator);
  Text joined;
  for (const Text& piece : pieces) {
    if (!seen.insert(piece).second) continue;
    joined += piece;
    joined += separator;
  }
  if (!joined.empty()) joined.resize(joined.size() - separator.size());
  return joined;
}

Text MergeCookies(Text& cookiesSent, Text& cookiesReceived) {
  cookiesSent = RemoveSpaces(cookiesSent);
  cookiesReceived = RemoveSpaces(cookiesReceived);
  const TextArray old = SplitText(cookiesSent, ";");
  TextArray merged = SplitText(cookiesReceived, ";");

  // The names in `merged`, kept up to date as old items are appended: the
  // same answers as HasCookieName on the growing list, without rescanning it.
  std::unordered_set<Text> names;
  names.reserve(merged.size() + old.size());
  for (const Text& item : merged) names.insert(CookieName(item));
  for (const Text& item : old) {
    if (names.insert(CookieName(item)).second) merged.push_back(item);
  }

  Text joined;
  for (const Text& item : merged) {
    if (EndsInDeleted(item)) continue;
    joined += item;
    joined += "; ";
  }
  if (!joined.empty()) joined.resize(joined.size() - 2);
  cookiesSent = JoinDistinct(joined, "; ");
  return cookiesSent;
}

}  // namespace sonavel
