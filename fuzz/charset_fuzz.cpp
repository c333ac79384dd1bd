// The four conversions: their shapes (no zero byte in a Text, one zero unit
// at the end of UTF-16 Bytes, lengths bounded), agreement between the direct
// routines and the way through UTF-16, and the round trips that hold:
//   - valid UTF-8 whose characters code page 936 has comes back unchanged
//     from UTF-8 -> 936 -> UTF-8;
//   - valid code page 936 text comes back unchanged from 936 -> UTF-8 -> 936;
//   - with CP936.TXT at hand (SONAVEL_CP936_TXT), texts made of its codes
//     convert to exactly the table's Unicode values and back.
//
// Input: any bytes; read as UTF-8, as a code page 936 text, as UTF-16 units
// and (two bytes at a time) as indexes into the CP936.TXT entries.
#include <algorithm>
#include <fstream>
#include <optional>
#include <sstream>

#include "fuzz/fuzz_input.h"
#include "fuzz/oracle.h"
#include "text/charset.h"

namespace {

using namespace sonavel;
using namespace sonavel::fuzz;

constexpr int kOtherCodePage = 1252;              // a code page the conversions do not know
const std::string kReplacement = "\xEF\xBF\xBD";  // U+FFFD in UTF-8

std::string EncodeUtf8(const std::vector<char32_t>& cps) {
  std::string out;
  for (const char32_t cp : cps) {
    if (cp < 0x80) {
      out += static_cast<char>(cp);
    } else if (cp < 0x800) {
      out += static_cast<char>(0xC0 | (cp >> 6));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
      out += static_cast<char>(0xE0 | (cp >> 12));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (cp >> 18));
      out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    }
  }
  return out;
}

// UTF-16 Bytes (low byte first) of the code points, with the zero unit.
Bytes EncodeWide(const std::vector<char32_t>& cps) {
  Bytes out;
  const auto unit = [&out](char32_t u) {
    out.push_back(static_cast<std::uint8_t>(u & 0xFF));
    out.push_back(static_cast<std::uint8_t>(u >> 8));
  };
  for (const char32_t cp : cps) {
    if (cp < 0x10000) {
      unit(cp);
    } else {
      unit(0xD800 + ((cp - 0x10000) >> 10));
      unit(0xDC00 + ((cp - 0x10000) & 0x3FF));
    }
  }
  unit(0);
  return out;
}

// The code points of UTF-16 units when they pair up properly, else nothing.
std::optional<std::vector<char32_t>> DecodeWide(const std::vector<char16_t>& units) {
  std::vector<char32_t> out;
  for (std::size_t i = 0; i < units.size(); ++i) {
    const char16_t u = units[i];
    if (u >= 0xD800 && u <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 &&
        units[i + 1] <= 0xDFFF) {
      out.push_back(0x10000 + ((char32_t(u) - 0xD800) << 10) + (units[i + 1] - 0xDC00));
      ++i;
    } else if (u >= 0xD800 && u <= 0xDFFF) {
      return std::nullopt;
    } else {
      out.push_back(u);
    }
  }
  return out;
}

std::size_t Count(std::string_view s, char c) { return std::count(s.begin(), s.end(), c); }

Bytes AsBytes(std::string_view s) { return Bytes(s.begin(), s.end()); }

// A UTF-16 result: an even size, the zero unit last and nowhere else.
void CheckWideShape(const Bytes& wide) {
  FUZZ_CHECK(wide.size() >= 2 && wide.size() % 2 == 0);
  FUZZ_CHECK(wide[wide.size() - 2] == 0 && wide[wide.size() - 1] == 0);
  for (std::size_t i = 0; i + 2 < wide.size(); i += 2) FUZZ_CHECK(wide[i] != 0 || wide[i + 1] != 0);
}

void CheckUtf8ToAnsi(const std::string& raw) {
  const Text got = Utf8ToAnsi(AsBytes(raw));
  const std::string prefix = WithoutZero(raw);
  FUZZ_CHECK(got.find('\0') == Text::npos);
  FUZZ_CHECK(got.size() <= raw.size());
  // A zero byte ends the text: what follows it is dropped.
  FUZZ_CHECK(got == Utf8ToAnsi(AsBytes(prefix)));
  if (raw.empty() || raw[0] == '\0') FUZZ_CHECK(got.empty());
  // The same as the way through UTF-16.
  FUZZ_CHECK(got == WideToAnsi(AnsiToWide(prefix, 65001), 936));
  // The result is valid code page 936.
  const Text back = AnsiToUtf8(got);
  FUZZ_CHECK(back.find(kReplacement) == Text::npos);
  // Valid UTF-8 comes back whole unless a character became "?".
  if (DecodeUtf8(prefix) && Count(back, '?') == Count(prefix, '?')) FUZZ_CHECK(back == prefix);
}

void CheckAnsiToUtf8(const Text& text) {
  const Text got = AnsiToUtf8(text);
  FUZZ_CHECK(got.size() <= 3 * text.size());
  FUZZ_CHECK(DecodeUtf8(got).has_value());
  FUZZ_CHECK(got.find('\0') == Text::npos);
  FUZZ_CHECK(got == WideToAnsi(AnsiToWide(text, 936), 65001));
  FUZZ_CHECK(AnsiToWide(text, 0) == AnsiToWide(text, 936));
  bool ascii = true;
  for (const char c : text) ascii = ascii && static_cast<unsigned char>(c) < 0x80;
  if (ascii) FUZZ_CHECK(got == text);
  // Decoding is character by character: the whole gives what its characters
  // give one by one. A lead byte (81..FE) with a trail byte (40..FE but 7F)
  // is one character; any other byte (80 and FF included) stands alone.
  std::string pieces;
  for (std::size_t i = 0; i < text.size();) {
    const auto b = static_cast<unsigned char>(text[i]);
    const auto t = i + 1 < text.size() ? static_cast<unsigned char>(text[i + 1]) : 0;
    const std::size_t n = b >= 0x81 && b <= 0xFE && t >= 0x40 && t <= 0xFE && t != 0x7F ? 2 : 1;
    pieces += AnsiToUtf8(text.substr(i, n));
    i += n;
  }
  FUZZ_CHECK(got == pieces);
  // Valid code page 936 (nothing became U+FFFD) comes back unchanged.
  if (got.find(kReplacement) == Text::npos) FUZZ_CHECK(Utf8ToAnsi(AsBytes(got)) == text);
}

void CheckAnsiToWide(const Text& text) {
  for (const int cp : {0, 936, 65001}) CheckWideShape(AnsiToWide(text, cp));
  FUZZ_CHECK(AnsiToWide(text, kOtherCodePage).empty());
  FUZZ_CHECK(AnsiToWide(text) == AnsiToWide(text, 65001));
  if (const auto cps = DecodeUtf8(text)) FUZZ_CHECK(AnsiToWide(text, 65001) == EncodeWide(*cps));
}

void CheckWideToAnsi(const std::string& raw) {
  const Bytes wide = AsBytes(raw);
  // The units up to the first zero unit; an odd last byte is no unit.
  std::vector<char16_t> units;
  for (std::size_t i = 0; i + 1 < wide.size(); i += 2) {
    const auto u = static_cast<char16_t>(wide[i] | (wide[i + 1] << 8));
    if (u == 0) break;
    units.push_back(u);
  }
  Bytes cut;
  for (const char16_t u : units) {
    cut.push_back(static_cast<std::uint8_t>(u & 0xFF));
    cut.push_back(static_cast<std::uint8_t>(u >> 8));
  }
  std::size_t questionMarks = 0;
  for (const char16_t u : units) questionMarks += u == u'?';

  FUZZ_CHECK(WideToAnsi(wide, kOtherCodePage).empty());
  FUZZ_CHECK(WideToAnsi(wide) == WideToAnsi(wide, 0));
  for (const int cp : {0, 936, 65001}) {
    const Text got = WideToAnsi(wide, cp);
    FUZZ_CHECK(got.find('\0') == Text::npos);
    FUZZ_CHECK(got == WideToAnsi(cut, cp));
    if (units.empty()) FUZZ_CHECK(got.empty());
  }
  FUZZ_CHECK(WideToAnsi(wide, 0) == WideToAnsi(wide, 936));

  const Text utf8 = WideToAnsi(wide, 65001);
  FUZZ_CHECK(DecodeUtf8(utf8).has_value());
  const auto cps = DecodeWide(units);
  if (cps) FUZZ_CHECK(utf8 == EncodeUtf8(*cps));

  const Text ansi = WideToAnsi(wide, 936);
  Bytes again = cut;
  again.push_back(0);
  again.push_back(0);
  if (Count(ansi, '?') == questionMarks) FUZZ_CHECK(AnsiToWide(ansi, 936) == again);
}

std::string HexBytes(std::string_view s) {
  std::string out;
  char hex[4];
  for (const char c : s) {
    std::snprintf(hex, sizeof hex, "%02X", static_cast<unsigned char>(c));
    out += hex;
  }
  return out;
}

// CP936.TXT as (code page 936 bytes, Unicode value) pairs, or empty when the
// file is not at hand.
struct Entry {
  std::string ansi;
  char32_t unicode;
};

const std::vector<Entry>& Table() {
  static const std::vector<Entry> table = [] {
    std::vector<Entry> entries;
#ifdef SONAVEL_CP936_TXT
    std::ifstream file(SONAVEL_CP936_TXT);
    std::string line;
    while (std::getline(file, line)) {
      std::istringstream fields(line);
      std::string code, unicode;
      if (!(fields >> code >> unicode) || code.rfind("0x", 0) != 0 || unicode.rfind("0x", 0) != 0)
        continue;
      const unsigned long c = std::stoul(code, nullptr, 16);
      const unsigned long u = std::stoul(unicode, nullptr, 16);
      if (c == 0) continue;  // the zero byte ends a Text
      Entry e{c > 0xFF ? std::string{static_cast<char>(c >> 8), static_cast<char>(c & 0xFF)}
                       : std::string(1, static_cast<char>(c)),
              static_cast<char32_t>(u)};
      entries.push_back(e);
    }
#endif
    return entries;
  }();
  return table;
}

void CheckTable(const std::string& raw) {
  const auto& table = Table();
  if (table.empty()) return;
  Text ansi;
  std::vector<char32_t> cps;
  for (std::size_t i = 0; i + 1 < raw.size(); i += 2) {
    const std::size_t index =
        (static_cast<unsigned char>(raw[i]) << 8 | static_cast<unsigned char>(raw[i + 1])) %
        table.size();
    ansi += table[index].ansi;
    cps.push_back(table[index].unicode);
  }
  const std::string utf8 = EncodeUtf8(cps);
  if (AnsiToUtf8(ansi) != utf8) {
    // Show the codes before failing.
    for (std::size_t i = 0; i + 1 < raw.size(); i += 2) {
      const auto& e =
          table[(static_cast<unsigned char>(raw[i]) << 8 | static_cast<unsigned char>(raw[i + 1])) %
                table.size()];
      std::fprintf(stderr, "code %s should decode to U+%04X\n", HexBytes(e.ansi).c_str(),
                   static_cast<unsigned>(e.unicode));
    }
    std::fprintf(stderr, "%s gave %s, not %s\n", HexBytes(ansi).c_str(),
                 HexBytes(AnsiToUtf8(ansi)).c_str(), HexBytes(utf8).c_str());
  }
  FUZZ_CHECK(AnsiToUtf8(ansi) == utf8);
  FUZZ_CHECK(Utf8ToAnsi(AsBytes(utf8)) == ansi);
  FUZZ_CHECK(AnsiToWide(ansi, 936) == EncodeWide(cps));
  FUZZ_CHECK(WideToAnsi(EncodeWide(cps), 936) == ansi);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string raw(reinterpret_cast<const char*>(data), size);
  CheckUtf8ToAnsi(raw);
  CheckAnsiToUtf8(WithoutZero(raw));
  CheckAnsiToWide(WithoutZero(raw));
  CheckWideToAnsi(raw);
  CheckTable(raw);
  return 0;
}
