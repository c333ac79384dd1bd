// The cookies taken from response header text, against the rule: the text
// cut at "\r\n"; every piece containing "Set-Cookie" (exact case) gives one
// item, the text after "Set-Cookie:" up to the first ";" when the piece holds
// a ";", else the piece without any "Set-Cookie:" (any case); items trimmed
// and joined by "; ". Run on the raw text and on the text after every case
// variant of "Set-Cookie" was spelled so, as HttpAccess does.
//
// Input: the header text (up to its first zero byte).
#include "fuzz/fuzz_input.h"
#include "fuzz/oracle.h"
#include "net/http_access.h"

namespace {

using namespace sonavel;
using namespace sonavel::fuzz;

std::string ModelBetween(std::string_view text, std::string_view front, std::string_view back) {
  const std::int64_t p = ModelFind(text, front, 1, false);
  if (p == -1) return "";
  const std::int64_t c = p + static_cast<std::int64_t>(front.size());
  const std::int64_t q = ModelFind(text, back, c, false);
  if (q == -1 || q - c <= 0) return "";
  return std::string(text.substr(static_cast<std::size_t>(c - 1), static_cast<std::size_t>(q - c)));
}

std::string ModelReceivedCookies(std::string_view headers) {
  std::string cookies;
  for (const std::string& piece : ModelSplit(headers, "\r\n")) {
    if (ModelFind(piece, "Set-Cookie", 1, false) == -1) continue;
    if (ModelFind(piece, ";", 1, false) == -1) {
      cookies += ModelTrim(ModelReplace(piece, "Set-Cookie:", "", true));
    } else {
      cookies += ModelTrim(ModelBetween(piece, "Set-Cookie:", ";"));
    }
    cookies += "; ";
  }
  if (!cookies.empty()) cookies.resize(cookies.size() - 2);
  return cookies;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const Text raw = WithoutZero(std::string(reinterpret_cast<const char*>(data), size));
  FUZZ_CHECK(ReceivedCookies(raw) == ModelReceivedCookies(raw));
  const Text spelled = ModelReplace(raw, "Set-Cookie", "Set-Cookie", true);
  const Text cookies = ReceivedCookies(spelled);
  FUZZ_CHECK(cookies == ModelReceivedCookies(spelled));
  FUZZ_CHECK(cookies.size() <= spelled.size());
  return 0;
}
