// Reading a request target: splitting it into path and query, decoding the
// query's percent-encoding, and checking that bytes are UTF-8. Pure functions
// over bytes, safe for any input.
//
// A query is the bytes after the first "?" of the target. It splits at "&"
// into pieces and each piece at its first "=" into key and value; both are
// decoded: "%" with two hex digits (either case) gives that byte, "+" gives a
// space (as in HTML forms), every other byte, raw bytes 0x80-0xFF included,
// stays as it is. Empty pieces ("a=1&&b=2") are skipped; a piece without "="
// is a key with an empty value.
//
//   ParseQuery("tex=%E4%BD%A0+a&per=4") -> {{"tex", "\xE4\xBD\xA0 a"}, {"per", "4"}}
//   ParseQuery("tex=%4") -> nullopt (a "%" without two hex digits after it)
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sonavel::service {

struct QueryParam {
  std::string key;
  std::string value;
  bool operator==(const QueryParam&) const = default;
};
using QueryParams = std::vector<QueryParam>;

// "/a?b=c" -> path "/a", query "b=c"; "/a" -> path "/a", query "".
struct Target {
  std::string_view path;
  std::string_view query;
};
Target SplitTarget(std::string_view target);

// Decodes one key or value. Nullopt when a "%" is not followed by two hex digits.
//   DecodeComponent("%61+b") == "a b";  DecodeComponent("100%") == nullopt
std::optional<std::string> DecodeComponent(std::string_view raw);

// The decoded parameters in their order, or nullopt when any key or value
// fails to decode. The empty query gives no parameters.
std::optional<QueryParams> ParseQuery(std::string_view raw);

// The number of parameters named `key`, and the value of the first one
// (nullptr when there is none).
int CountParam(const QueryParams& params, std::string_view key);
const std::string* FindParam(const QueryParams& params, std::string_view key);

// True when `bytes` are well-formed UTF-8: no stray continuation bytes, no
// overlong forms, no surrogates (U+D800-U+DFFF), nothing above U+10FFFF. The
// empty text is UTF-8; a zero byte is U+0000 and counts as UTF-8 too.
//   IsUtf8("\xE4\xBD\xA0") == true;  IsUtf8("\xC0\xAF") == false
bool IsUtf8(std::string_view bytes);

// The bytes with those below 0x21, 0x7F and above shown as "%XX": "a b" -> "a%20b".
std::string LogSafe(std::string_view bytes);

// The target with the values of the named keys replaced by "[redacted]",
// for logging; a key counts by its decoded form, so "%74ok" is "tok" too.
// Bytes below 0x21, 0x7F and above are shown as "%XX", so a log line stays
// one line of ASCII. At most `limit` bytes of the result are kept, then "...".
//   RedactTarget("/t?tok=abc&x=1", {"tok"}) == "/t?tok=[redacted]&x=1"
std::string RedactTarget(std::string_view target, const std::vector<std::string_view>& keys,
                         std::size_t limit = 512);

}  // namespace sonavel::service
