// HeaderName and HeaderValue against the rule (the parts around the first
// ":" found character by character, each trimmed of spaces), and
// AppendDefaultHeaders against its table: the caller's text is kept as its
// start, each default line is added only when its name is missing, and the
// parts of every added line split back into that name and value.
//
// Input: method (signed byte), then the pieces line | url.
#include "fuzz/fuzz_input.h"
#include "fuzz/oracle.h"
#include "net/http_access.h"

namespace {

using namespace sonavel;
using namespace sonavel::fuzz;

std::string ModelHeaderName(std::string_view line) {
  const std::int64_t p = ModelFind(line, ":", 1, false);
  if (p == -1) return "";
  return ModelTrim(line.substr(0, static_cast<std::size_t>(p - 1)));
}

std::string ModelHeaderValue(std::string_view line) {
  const std::int64_t p = ModelFind(line, ":", 1, false);
  if (p == -1) return "";
  return ModelTrim(line.substr(static_cast<std::size_t>(p)));
}

std::string ModelDefaults(std::string text, std::string_view url, std::int32_t method) {
  const auto contains = [&text](std::string_view name) {
    return ModelFind(text, name, 1, false) != -1;
  };
  if (text.empty()) {
    text = "Accept: */*";
  } else if (!contains("Accept:")) {
    text += "\r\nAccept: */*";
  }
  if (!contains("Referer:")) text += "\r\nReferer: " + std::string(url);
  if (!contains("Accept-Language:")) text += "\r\nAccept-Language: zh-cn";
  if (!contains("User-Agent:"))
    text += "\r\nUser-Agent: Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)";
  if (method == 1 && !contains("Content-Type:"))
    text += "\r\nContent-Type: application/x-www-form-urlencoded";
  return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzInput in(data, size);
  const auto method = static_cast<std::int32_t>(static_cast<std::int8_t>(in.Byte()));
  const auto pieces = in.Pieces(2);
  const Text line = WithoutZero(pieces[0]), url = WithoutZero(pieces[1]);

  const Text name = HeaderName(line), value = HeaderValue(line);
  FUZZ_CHECK(name == ModelHeaderName(line));
  FUZZ_CHECK(value == ModelHeaderValue(line));
  FUZZ_CHECK(name.size() + value.size() < line.size() || line.empty() ||
             (name.empty() && value.empty()));

  const Text methodText = MethodText(method);
  static const char* const kMethods[] = {"GET",     "POST",   "HEAD",  "PUT",
                                         "OPTIONS", "DELETE", "TRACE", "CONNECT"};
  FUZZ_CHECK(methodText == (method >= 0 && method <= 7 ? kMethods[method] : "GET"));

  Text headers = line;
  AppendDefaultHeaders(headers, url, method);
  FUZZ_CHECK(headers == ModelDefaults(line, url, method));
  FUZZ_CHECK(headers.compare(0, line.size(), line) == 0);
  // Appending once more adds nothing: every name is there now.
  Text again = headers;
  AppendDefaultHeaders(again, url, method);
  FUZZ_CHECK(again == headers);
  return 0;
}
