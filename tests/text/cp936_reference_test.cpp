// Code page 936 checked against Microsoft's published mapping (CP936.TXT),
// and our deliberate differences from Windows' own tables (bestfit936.txt):
// no private-use round trips and no best-fit substitutions.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "tests/text/hex.h"
#include "tests/text/reference_files.h"
#include "text/charset.h"
#include "text/rules.h"

namespace sonavel {
namespace {

using test::ToHex;

constexpr std::uint32_t kReplacement = 0xFFFD;

Text CodeText(std::uint32_t code) {
  Text t;
  if (code > 0xFF) t.push_back(static_cast<char>(code >> 8));
  t.push_back(static_cast<char>(code & 0xFF));
  return t;
}

// One BMP character as UTF-16 bytes.
Bytes Unit(std::uint32_t unicode) {
  return Bytes{static_cast<std::uint8_t>(unicode & 0xFF), static_cast<std::uint8_t>(unicode >> 8)};
}

std::string Utf8Of(std::uint32_t u) {
  std::string out;
  if (u < 0x80) {
    out.push_back(static_cast<char>(u));
  } else if (u < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (u >> 6)));
    out.push_back(static_cast<char>(0x80 | (u & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xE0 | (u >> 12)));
    out.push_back(static_cast<char>(0x80 | ((u >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (u & 0x3F)));
  }
  return out;
}

// What one code decodes to: the single UTF-16 unit before the zero unit, or
// 0xFFFFFFFF when the result is not exactly that.
std::uint32_t Decode(std::uint32_t code) {
  const Bytes wide = AnsiToWide(CodeText(code), 936);
  if (wide.size() != 4 || wide[2] != 0 || wide[3] != 0) return 0xFFFFFFFF;
  return static_cast<std::uint32_t>(wide[0] | wide[1] << 8);
}

std::string Hex4(std::uint32_t v) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "%04X", v);
  return buffer;
}

TEST(Cp936ReferenceTest, EveryMappedCodeDecodesToItsUnicodeValueAndBack) {
  const auto map = test::ReadCp936Txt();
  if (!map) GTEST_SKIP() << "CP936.TXT not found in " SONAVEL_REFS_DIR;
  EXPECT_EQ(map->size(), 21920u);
  int wrong = 0;
  for (const auto& [code, unicode] : *map) {
    if (code == 0) continue;  // a Text never holds the zero byte
    const Text text = CodeText(code);
    const bool ok = Decode(code) == unicode && WideToAnsi(Unit(unicode), 936) == text &&
                    AnsiToUtf8(text) == Utf8Of(unicode) &&
                    Utf8ToAnsi(ToBytes(Utf8Of(unicode))) == text;
    if (!ok && ++wrong <= 10) ADD_FAILURE() << Hex4(code) << " <-> U+" << Hex4(unicode);
  }
  EXPECT_EQ(wrong, 0);
}

TEST(Cp936ReferenceTest, EveryUnmappedCodeDecodesToTheReplacementCharacter) {
  const auto map = test::ReadCp936Txt();
  if (!map) GTEST_SKIP() << "CP936.TXT not found in " SONAVEL_REFS_DIR;
  int unmapped = 0;
  int wrong = 0;
  const auto check = [&](std::uint32_t code) {
    if (map->count(code) != 0) return;
    ++unmapped;
    if (Decode(code) != kReplacement && ++wrong <= 10) ADD_FAILURE() << Hex4(code);
  };
  check(0x80);  // the single bytes beside the lead bytes 81..FE
  check(0xFF);
  for (std::uint32_t lead = 0x81; lead <= 0xFE; ++lead) {
    for (std::uint32_t trail = 0x40; trail <= 0xFE; ++trail) {
      if (trail != 0x7F) check(lead << 8 | trail);
    }
  }
  EXPECT_EQ(unmapped, 1 + 126 * 190 - (21920 - 129));  // 0xFF and the empty cells
  EXPECT_EQ(wrong, 0);
}

// Windows adds two things to CP936.TXT: private-use round trips for the
// user-defined areas and 0xFF (2,150 codes <-> U+E000..U+F8FF), and 412
// one-way best-fit encodings (U+00A5 -> A3A4, U+00B2 -> "2", ...). We keep
// neither: those codes decode to U+FFFD and those characters encode to "?",
// as glibc's CP936 does. Everything else agrees.
TEST(Cp936ReferenceTest, DiffersFromWindowsOnlyInPrivateUseAndBestFit) {
  const auto map = test::ReadCp936Txt();
  const auto windows = test::ReadBestFit936();
  if (!map || !windows) GTEST_SKIP() << "CP936.TXT or bestfit936.txt not found";
  int privateUse = 0;
  int bestFit = 0;
  int wrong = 0;
  const auto fail = [&](const std::string& what) {
    if (++wrong <= 10) ADD_FAILURE() << what;
  };
  for (const auto& [code, unicode] : windows->decode) {
    if (code == 0) continue;
    if (map->count(code) != 0) {
      if (Decode(code) != unicode) fail("decode " + Hex4(code));
    } else {
      ++privateUse;
      if (unicode < 0xE000 || unicode > 0xF8FF || Decode(code) != kReplacement)
        fail("private use " + Hex4(code));
    }
  }
  for (const auto& [unicode, code] : windows->encode) {
    if (unicode == 0) continue;
    const Text ours = WideToAnsi(Unit(unicode), 936);
    const auto decoded = windows->decode.find(code);
    const bool roundTrip = decoded != windows->decode.end() && decoded->second == unicode;
    if (roundTrip && map->count(code) != 0) {
      if (ours != CodeText(code)) fail("encode U+" + Hex4(unicode));
    } else {
      ++(roundTrip ? privateUse : bestFit);
      if (ours != "?") fail("encode U+" + Hex4(unicode) + " gave " + ToHex(ours));
    }
  }
  EXPECT_EQ(privateUse, 2 * 2150);  // each decoded, and each encoded
  EXPECT_EQ(bestFit, 412);
  EXPECT_EQ(wrong, 0);
}

// A few of those differences, pinned where the reference files are absent.
TEST(Cp936ReferenceTest, PinnedDifferencesFromWindows) {
  struct Decoding {
    std::uint32_t code, ours, windows;
  };
  const Decoding decodings[] = {
      {0x80, 0x20AC, 0x20AC},         {0xFF, kReplacement, 0xF8F5},
      {0xAAA1, kReplacement, 0xE000}, {0xA140, kReplacement, 0xE4C6},
      {0xFEFE, kReplacement, 0xE4C5}, {0xA1A4, 0x00B7, 0x00B7},
  };
  for (const Decoding& d : decodings) {
    SCOPED_TRACE(Hex4(d.code) + ", Windows U+" + Hex4(d.windows));
    EXPECT_EQ(Hex4(Decode(d.code)), Hex4(d.ours));
  }
  struct Encoding {
    std::uint32_t unicode;
    const char* ours;
    const char* windows;
  };
  const Encoding encodings[] = {
      {0x20AC, "80", "80"},    {0xF8F5, "3F", "FF"}, {0xE000, "3F", "AA A1"},
      {0x00A5, "3F", "A3 A4"}, {0x00B2, "3F", "32"}, {0x00B7, "A1 A4", "A1 A4"},
  };
  for (const Encoding& e : encodings) {
    SCOPED_TRACE("U+" + Hex4(e.unicode) + ", Windows " + e.windows);
    EXPECT_EQ(ToHex(WideToAnsi(Unit(e.unicode), 936)), e.ours);
  }
}

}  // namespace
}  // namespace sonavel
