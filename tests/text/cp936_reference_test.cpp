// Code page 936 checked against Microsoft's published mapping (CP936.TXT),
// and our deliberate differences from Windows' own tables (bestfit936.txt):
// no private-use round trips and no best-fit substitutions.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <vector>

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

// Random texts of valid, unassigned and broken sequences between ASCII runs
// of every length, decoded by the table and by the conversions.
TEST(Cp936ReferenceTest, RandomTextsDecodeAsTheTableSays) {
  const auto map = test::ReadCp936Txt();
  if (!map) GTEST_SKIP() << "CP936.TXT not found in " SONAVEL_REFS_DIR;
  // The table's reading: a lead byte 81..FE with a trail byte 40..FE (not
  // 7F) is one code, U+FFFD when unassigned; any other lead byte, FF, and a
  // lead byte at the end are U+FFFD alone.
  const auto decode = [&](const Text& text) {
    Bytes wide;
    for (std::size_t i = 0; i < text.size();) {
      const auto b = static_cast<std::uint8_t>(text[i]);
      std::uint32_t code = b;
      std::size_t length = 1;
      if (b >= 0x81 && b <= 0xFE && i + 1 < text.size()) {
        const auto t = static_cast<std::uint8_t>(text[i + 1]);
        if (t >= 0x40 && t <= 0xFE && t != 0x7F) {
          code = static_cast<std::uint32_t>(b) << 8 | t;
          length = 2;
        }
      }
      const auto found = map->find(code);
      const std::uint32_t unicode = found == map->end() ? kReplacement : found->second;
      wide.push_back(static_cast<std::uint8_t>(unicode & 0xFF));
      wide.push_back(static_cast<std::uint8_t>(unicode >> 8));
      i += length;
    }
    return wide;
  };
  std::mt19937 random(936);
  for (int round = 0; round < 400; ++round) {
    Text text;
    const int pieces = 1 + static_cast<int>(random() % 60);
    for (int k = 0; k < pieces; ++k) {
      switch (random() % 4) {
        case 0:  // an ASCII run, long enough at times to be copied directly
          for (std::uint32_t i = random() % 70; i > 0; --i)
            text.push_back(static_cast<char>(0x20 + random() % 0x5F));
          break;
        case 1:  // any lead and trail byte
          text.push_back(static_cast<char>(0x81 + random() % 0x7E));
          text.push_back(static_cast<char>(0x40 + random() % 0xBF));
          break;
        case 2:  // any byte from 80 up
          text.push_back(static_cast<char>(0x80 + random() % 0x80));
          break;
        default:  // a lead byte before ASCII
          text.push_back(static_cast<char>(0x81 + random() % 0x7E));
          text.push_back(static_cast<char>(0x20 + random() % 0x20));
          break;
      }
    }
    SCOPED_TRACE(ToHex(text));
    Bytes want = decode(text);
    EXPECT_EQ(ToHex(WideToAnsi(want, 65001)), ToHex(AnsiToUtf8(text)));
    want.insert(want.end(), {0, 0});
    ASSERT_EQ(ToHex(AnsiToWide(text, 936)), ToHex(want));
  }
}

// Random UTF-16 of mapped characters, unmapped ones, pairs and lone
// surrogates, encoded by the table and by the conversion.
TEST(Cp936ReferenceTest, RandomUtf16EncodesAsTheTableSays) {
  const auto map = test::ReadCp936Txt();
  if (!map) GTEST_SKIP() << "CP936.TXT not found in " SONAVEL_REFS_DIR;
  std::map<std::uint32_t, std::uint32_t> inverse;
  std::vector<std::uint32_t> mapped;
  for (const auto& [code, unicode] : *map) {
    if (code == 0) continue;
    inverse[unicode] = code;
    mapped.push_back(unicode);
  }
  std::mt19937 random(65001);
  for (int round = 0; round < 400; ++round) {
    Bytes wide;
    Text want;
    const auto unit = [&wide](std::uint32_t u) {
      wide.push_back(static_cast<std::uint8_t>(u & 0xFF));
      wide.push_back(static_cast<std::uint8_t>(u >> 8));
    };
    for (int k = static_cast<int>(random() % 200); k > 0; --k) {
      const std::uint32_t kind = random() % 8;
      if (kind < 4) {  // mapped, ASCII among them
        const std::uint32_t u =
            kind == 0 ? 0x20 + random() % 0x5F : mapped[random() % mapped.size()];
        unit(u);
        want += CodeText(inverse[u]);
      } else if (kind == 4) {  // a BMP character code page 936 lacks
        std::uint32_t u;
        do {
          u = 0x80 + random() % 0xFF80;
        } while (inverse.count(u) != 0 || (u >= 0xD800 && u <= 0xDFFF));
        unit(u);
        want += "?";
      } else if (kind == 5) {  // a surrogate pair
        unit(0xD800 + random() % 0x400);
        unit(0xDC00 + random() % 0x400);
        want += "?";
      } else if (kind == 6) {  // a lone low surrogate
        unit(0xDC00 + random() % 0x400);
        want += "?";
      } else {  // a lone high surrogate, before ASCII
        unit(0xD800 + random() % 0x400);
        unit('x');
        want += "?x";
      }
    }
    SCOPED_TRACE(ToHex(wide));
    ASSERT_EQ(ToHex(WideToAnsi(wide, 936)), ToHex(want));
  }
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
