// Base64Encode against a reference encoder of RFC 4648 section 4 (a bit
// accumulator, unlike the routine's groups of three) and a decoder: the
// output is 4 * ceil(n / 3) characters of the alphabet and "=", decodes to
// the input, and the caller's variable ends as the input followed by zero
// bytes up to a multiple of three. ProxyAuthorizationValue is "Basic " and
// the Base64 text of user ":" password.
//
// Input: the pieces data | user | password (data may hold zero bytes).
#include "fuzz/fuzz_input.h"
#include "net/proxy_auth.h"

namespace {

using namespace sonavel;
using namespace sonavel::fuzz;

constexpr std::string_view kAlphabet =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

std::string ReferenceEncode(std::string_view data) {
  std::string out;
  std::uint32_t bits = 0;
  int count = 0;
  for (const char c : data) {
    bits = (bits << 8) | static_cast<unsigned char>(c);
    count += 8;
    while (count >= 6) {
      count -= 6;
      out += kAlphabet[(bits >> count) & 0x3F];
    }
  }
  if (count > 0) out += kAlphabet[(bits << (6 - count)) & 0x3F];
  while (out.size() % 4 != 0) out += '=';
  return out;
}

std::string Decode(std::string_view text) {
  std::string out;
  std::uint32_t bits = 0;
  int count = 0;
  for (const char c : text) {
    if (c == '=') break;
    const std::size_t v = kAlphabet.find(c);
    FUZZ_CHECK(v != std::string_view::npos);
    bits = (bits << 6) | static_cast<std::uint32_t>(v);
    count += 6;
    if (count >= 8) {
      count -= 8;
      out += static_cast<char>((bits >> count) & 0xFF);
    }
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzInput in(data, size);
  const auto pieces = in.Pieces(3);
  const std::string& raw = pieces[0];

  Bytes variable(raw.begin(), raw.end());
  const Text got = Base64Encode(variable);
  FUZZ_CHECK(got == ReferenceEncode(raw));
  FUZZ_CHECK(got.size() == (raw.size() + 2) / 3 * 4);
  FUZZ_CHECK(Decode(got) == raw);
  Bytes padded(raw.begin(), raw.end());
  while (padded.size() % 3 != 0) padded.push_back(0);
  FUZZ_CHECK(variable == padded);
  // A second call on the padded variable gives the Base64 text of the padding too.
  FUZZ_CHECK(Base64Encode(variable) == ReferenceEncode(std::string(padded.begin(), padded.end())));

  const Text user = WithoutZero(pieces[1]), password = WithoutZero(pieces[2]);
  FUZZ_CHECK(ProxyAuthorizationValue(user, password) ==
             "Basic " + ReferenceEncode(user + ":" + password));
  return 0;
}
