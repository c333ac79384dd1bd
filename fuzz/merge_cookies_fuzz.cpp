// MergeCookies against a slow model written straight from its steps (lists
// and linear searches, the models of fuzz/oracle.h for splitting and
// spaces), and the properties of its result: no item ends in "=deleted", no
// item repeats, both variables end as the rule says. CookieName,
// HasCookieName, JoinDistinct and IndexOfText are checked on the way.
//
// Input: the pieces sent | received | separator (for JoinDistinct).
#include <algorithm>

#include "fuzz/fuzz_input.h"
#include "fuzz/oracle.h"
#include "net/cookies.h"
#include "text/rules.h"

namespace {

using namespace sonavel;
using namespace sonavel::fuzz;

std::string ModelCookieName(std::string_view item) {
  const std::int64_t k = ModelFind(item, "=", 1, false);
  return ModelTrim(k == -1 ? item : item.substr(0, static_cast<std::size_t>(k - 1)));
}

bool ModelHasCookieName(const std::vector<std::string>& items, std::string_view name) {
  for (const auto& item : items)
    if (ModelCookieName(item) == name) return true;
  return false;
}

std::int32_t ModelIndexOf(const std::vector<std::string>& items, std::string_view text) {
  for (std::size_t i = 0; i < items.size(); ++i)
    if (items[i] == text) return static_cast<std::int32_t>(i + 1);
  return -1;
}

std::string ModelJoinDistinct(std::string_view text, std::string_view separator) {
  std::vector<std::string> seen;
  std::string accumulator;
  for (const auto& piece : ModelSplit(text, separator)) {
    if (ModelIndexOf(seen, piece) != -1) continue;
    seen.push_back(piece);
    accumulator += piece;
    accumulator += separator;
  }
  if (!accumulator.empty()) accumulator.resize(accumulator.size() - separator.size());
  return accumulator;
}

bool EndsInDeleted(std::string_view item) {
  return item.size() >= 8 && item.substr(item.size() - 8) == "=deleted";
}

std::string ModelMerge(std::string& sent, std::string& received) {
  sent = ModelRemoveSpaces(sent);
  received = ModelRemoveSpaces(received);
  const auto old = ModelSplit(sent, ";");
  auto merged = ModelSplit(received, ";");
  for (const auto& item : old)
    if (!ModelHasCookieName(merged, ModelCookieName(item))) merged.push_back(item);
  sent.clear();
  for (const auto& item : merged) {
    if (EndsInDeleted(item)) continue;
    sent += item;
    sent += "; ";
  }
  if (!sent.empty()) sent.resize(sent.size() - 2);
  sent = ModelJoinDistinct(sent, "; ");
  return sent;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzInput in(data, size);
  const auto pieces = in.Pieces(3);
  const Text sent = WithoutZero(pieces[0]), received = WithoutZero(pieces[1]);
  const Text separator = WithoutZero(pieces[2]);

  Text realSent = sent, realReceived = received;
  const Text got = MergeCookies(realSent, realReceived);
  std::string modelSent = sent, modelReceived = received;
  const std::string want = ModelMerge(modelSent, modelReceived);
  FUZZ_CHECK(got == want);
  FUZZ_CHECK(realSent == got);
  FUZZ_CHECK(realReceived == modelReceived);

  // Read back as the next request's cookie text: no "=deleted" item, no repeat.
  const auto items = ModelSplit(got, "; ");
  for (std::size_t i = 0; i < items.size(); ++i) {
    FUZZ_CHECK(!EndsInDeleted(items[i]));
    for (std::size_t j = 0; j < i; ++j) FUZZ_CHECK(items[i] != items[j]);
  }
  // Merging the result again with nothing new keeps only the first item of
  // each name, and removes nothing else.
  Text again = got, nothing;
  const Text twice = MergeCookies(again, nothing);
  FUZZ_CHECK(twice.size() <= got.size());

  // The helpers, on the pieces of the input.
  const TextArray list = SplitText(RemoveSpaces(sent), ";");
  for (const Text& item : list) FUZZ_CHECK(CookieName(item) == ModelCookieName(item));
  const Text name = CookieName(received);
  const std::vector<std::string> modelList(list.begin(), list.end());
  FUZZ_CHECK(HasCookieName(list, name) == ModelHasCookieName(modelList, name));
  FUZZ_CHECK(IndexOfText(list, received) == ModelIndexOf(modelList, received));
  if (!separator.empty())
    FUZZ_CHECK(JoinDistinct(sent, separator) == ModelJoinDistinct(sent, separator));
  return 0;
}
