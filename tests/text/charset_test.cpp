// The four conversions: code page 936, UTF-8 and UTF-16 (low byte first).
#include "text/charset.h"

#include <gtest/gtest.h>

#include <atomic>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "tests/text/hex.h"

namespace sonavel {
namespace {

using test::HexBytes;
using test::HexString;
using test::ToHex;

TEST(Utf8ToAnsiTest, Conversions) {
  struct Case {
    const char* utf8;
    const char* want;  // code page 936, hex
  };
  const Case cases[] = {
      {"", ""},
      {"E4 BD A0", "C4 E3"},        // 你
      {"61 62 00 63 64", "61 62"},  // ends at the first zero byte
      {"00 61", ""},
      {"E0 B8 81", "3F"},                 // Thai letter: code page 936 lacks it
      {"FF", "3F"},                       // not UTF-8
      {"E4 B9 97 5C", "81 5C 5C"},        // 乗 and a backslash
      {"E2 82 AC", "80"},                 // the euro sign is the single byte 80
      {"E3 80 80 C2 B7", "A1 A1 A1 A4"},  // full-width space, middle dot
      {"EF BB BF 41", "3F 41"},           // a byte-order mark is a character like any other
      {"F0 9F 98 80 41", "3F 41"},        // outside the BMP
      // Each maximal ill-formed subpart becomes one U+FFFD, here "?".
      {"E4 BD", "3F"},
      {"E4 BD 41", "3F 41"},
      {"E4 41 BD", "3F 41 3F"},
      {"ED A0 80", "3F 3F 3F"},        // an encoded surrogate
      {"C0 80 41", "3F 3F 41"},        // overlong
      {"F4 90 80 80", "3F 3F 3F 3F"},  // beyond U+10FFFF
      {"F0 9F 98", "3F"},
      {"80 BF", "3F 3F"},
      {"C2", "3F"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.utf8);
    EXPECT_EQ(ToHex(Utf8ToAnsi(HexBytes(c.utf8))), c.want);
  }
}

TEST(AnsiToUtf8Test, Conversions) {
  struct Case {
    const char* text;  // code page 936, hex
    const char* want;  // UTF-8, hex
  };
  const Case cases[] = {
      {"", ""},
      {"61 20 62", "61 20 62"},
      {"C4 E3", "E4 BD A0"},
      {"81 5C", "E4 B9 97"},  // 乗
      {"80", "E2 82 AC"},
      {"A1 A1", "E3 80 80"},
      // Invalid sequences become U+FFFD. A lead byte with a byte of the
      // trail range is one character; with any other byte it stands alone.
      {"FF", "EF BF BD"},
      {"81", "EF BF BD"},
      {"61 81", "61 EF BF BD"},
      {"81 20 62", "EF BF BD 20 62"},
      {"81 7F", "EF BF BD 7F"},
      {"A1 40", "EF BF BD"},  // user-defined area: unassigned
      {"AA A1 41", "EF BF BD 41"},
      {"FE FE", "EF BF BD"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(ToHex(AnsiToUtf8(HexString(c.text))), c.want);
  }
}

TEST(AnsiToWideTest, Conversions) {
  struct Case {
    Text text;
    std::optional<int> codePage;  // nothing: the default
    const char* want;             // UTF-16 low byte first, hex
  };
  const Case cases[] = {
      {"A", 936, "41 00 00 00"},
      {"\xC4\xE3", 936, "60 4F 00 00"},
      {"\xC4\xE3", 0, "60 4F 00 00"},                 // 0 is code page 936 here, not UTF-8
      {"\xE4\xBD\xA0", std::nullopt, "60 4F 00 00"},  // the default is UTF-8
      {"\xE4\xBD\xA0", 65001, "60 4F 00 00"},
      {"\xC4\xE3", 65001, "FD FF FD FF 00 00"},
      {"", 936, "00 00"},
      {"", std::nullopt, "00 00"},
      {std::string("a\0b", 3), 936, "61 00 00 00"},  // the terminator ends the text
      {"\xF0\x9F\x98\x80", 65001, "3D D8 00 DE 00 00"},
      {"\xFF", 65001, "FD FF 00 00"},
      {"\xFF", 936, "FD FF 00 00"},
      {"\x81\x5C\\", 936, "57 4E 5C 00 00 00"},
      {"A", 1252, ""},  // code pages other than 936, 65001 and 0 convert nothing
      {"A", 437, ""},
      {"A", -1, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(ToHex(c.text) + " cp " + (c.codePage ? std::to_string(*c.codePage) : "-"));
    const Bytes got = c.codePage ? AnsiToWide(c.text, *c.codePage) : AnsiToWide(c.text);
    EXPECT_EQ(ToHex(got), c.want);
  }
}

TEST(WideToAnsiTest, Conversions) {
  struct Case {
    const char* wide;             // hex
    std::optional<int> codePage;  // nothing: the default
    const char* want;             // hex
  };
  const Case cases[] = {
      {"60 4F 00 00", 65001, "E4 BD A0"},
      {"60 4F 00 00", 936, "C4 E3"},
      {"60 4F 00 00", std::nullopt, "C4 E3"},  // the default is 0, code page 936
      {"60 4F 00 00", 0, "C4 E3"},
      {"41 00 00 00 42 00 00 00", 936, "41"},  // stops at the first zero unit
      {"00 00 41 00", 936, ""},
      {"", 936, ""},
      {"41 00 42 00", 936, "41 42"},                // no zero unit: up to the end
      {"41 00 42", 936, "41"},                      // an odd last byte is left out
      {"41 00 00 42 00 00", 65001, "41 E4 88 80"},  // zero bytes across two units are no zero unit
      {"41", 65001, ""},
      {"AC 20", 936, "80"},
      {"57 4E 5C 00", 936, "81 5C 5C"},
      // Characters code page 936 lacks become "?", with no best fit.
      {"A5 00 B2 00", 936, "3F 3F"},  // ¥ and ², which a best fit would make A3A4 and "2"
      {"00 E0", 936, "3F"},           // private use
      {"3D D8 00 DE 41 00", 936, "3F 41"},
      {"3D D8 00 DE 41 00", 65001, "F0 9F 98 80 41"},
      // Lone surrogates: "?" in code page 936, U+FFFD in UTF-8.
      {"00 D8 41 00", 936, "3F 41"},
      {"00 D8 41 00", 65001, "EF BF BD 41"},
      {"00 DC 00 D8", 65001, "EF BF BD EF BF BD"},
      {"00 D8", 936, "3F"},
      {"41 00", 1252, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.wide) + " cp " + (c.codePage ? std::to_string(*c.codePage) : "-"));
    const Bytes wide = HexBytes(c.wide);
    const Text got = c.codePage ? WideToAnsi(wide, *c.codePage) : WideToAnsi(wide);
    EXPECT_EQ(ToHex(got), c.want);
  }
}

// WideToAnsi must stop at the end of its input: an input without a zero unit
// is read from a buffer of exactly its size (AddressSanitizer checks this).
TEST(WideToAnsiTest, ReadsNoFurtherThanItsInput) {
  for (std::size_t size = 1; size <= 40; ++size) {
    SCOPED_TRACE(size);
    Bytes wide(size, 0x4F);  // U+4F4F, a code page 936 character
    wide.shrink_to_fit();
    EXPECT_EQ(WideToAnsi(wide).size(), size / 2 * 2);
    Bytes ascii(size, 0x01);  // U+0101: ā, not ASCII
    EXPECT_EQ(WideToAnsi(ascii).size(), size / 2 * 2);
  }
}

TEST(WideToAnsiTest, StopsAtTheFirstZeroUnitOfALongInput) {
  for (std::size_t units : {7u, 8u, 9u, 31u, 100u}) {
    SCOPED_TRACE(units);
    Bytes wide;
    for (std::size_t i = 0; i < units; ++i) wide.insert(wide.end(), {0x41, 0x00, 0x00, 0x42});
    wide.insert(wide.end(), {0x00, 0x00, 0x43, 0x00});
    std::string want;
    for (std::size_t i = 0; i < units; ++i) want += "A\xE4\x88\x80";
    EXPECT_EQ(WideToAnsi(wide, 65001), want);
  }
}

// The routes that go straight from UTF-8 to code page 936 and back give what
// the way through UTF-16 gives.
TEST(ConversionRoutesTest, AgreeWithTheWayThroughUtf16) {
  const char* texts[] = {
      "",         "61 62 63",          "C4 E3 BA C3 20 77", "81 5C 5C",
      "80 FF 81", "81 20 FE",          "A1 40 AA A1 41",    "F8 A1",
      "C4",       "41 42 C4 E3 FF 43",
  };
  for (const char* hex : texts) {
    SCOPED_TRACE(hex);
    const Text text = HexString(hex);
    EXPECT_EQ(AnsiToUtf8(text), WideToAnsi(AnsiToWide(text, 936), 65001));
  }
  const char* utf8s[] = {
      "61",    "E4 BD A0 61", "E0 B8 81", "FF 41",          "ED A0 80", "F0 9F 98 80 E2 82 AC",
      "C0 80", "E4 BD",       "EF BB BF", "E3 80 80 C2 B7",
  };
  for (const char* hex : utf8s) {
    SCOPED_TRACE(hex);
    const Bytes utf8 = HexBytes(hex);
    EXPECT_EQ(Utf8ToAnsi(utf8), WideToAnsi(AnsiToWide(Text(utf8.begin(), utf8.end()), 65001), 936));
  }
}

// A long text of ASCII runs of every length mixed with double-byte
// characters and invalid sequences, in all three forms, built from pieces
// whose forms are known. Long enough to cross every switch between the
// direct ASCII path and iconv many times.
struct MixedText {
  Text ansi;          // code page 936
  std::string utf8;   // its UTF-8 form
  std::string utf16;  // its UTF-16 form, no zero unit
  Text back;          // what code page 936 gets back (invalid sequences are "?")
};

MixedText MakeMixedText(std::size_t pieces, unsigned seed) {
  struct Piece {
    const char *ansi, *utf8, *utf16, *back;
  };
  static const Piece kPieces[] = {
      {"C4 E3", "E4 BD A0", "60 4F", "C4 E3"},           // 你
      {"BA C3", "E5 A5 BD", "7D 59", "BA C3"},           // 好
      {"81 5C", "E4 B9 97", "57 4E", "81 5C"},           // 乗
      {"80", "E2 82 AC", "AC 20", "80"},                 // €
      {"A1 A1", "E3 80 80", "00 30", "A1 A1"},           // full-width space
      {"FF", "EF BF BD", "FD FF", "3F"},                 // invalid
      {"AA A1", "EF BF BD", "FD FF", "3F"},              // unassigned
      {"81 20", "EF BF BD 20", "FD FF 20 00", "3F 20"},  // stray lead byte
  };
  std::mt19937 random(seed);
  MixedText m;
  for (std::size_t i = 0; i < pieces; ++i) {
    if (random() % 3 == 0) {
      const std::size_t length = 1 + random() % 40;
      for (std::size_t k = 0; k < length; ++k) {
        const char c = static_cast<char>(0x20 + random() % 0x5F);
        m.ansi += c;
        m.utf8 += c;
        m.utf16 += c;
        m.utf16 += '\0';
        m.back += c;
      }
    } else {
      const Piece& p = kPieces[random() % std::size(kPieces)];
      m.ansi += HexString(p.ansi);
      m.utf8 += HexString(p.utf8);
      m.utf16 += HexString(p.utf16);
      m.back += HexString(p.back);
    }
  }
  return m;
}

Bytes AsBytes(const std::string& s) { return Bytes(s.begin(), s.end()); }

// The number of the six conversions of `m` that give a wrong result.
int CountWrongConversions(const MixedText& m) {
  const Bytes zero = {0, 0};
  Bytes wide = AsBytes(m.utf16);
  wide.insert(wide.end(), zero.begin(), zero.end());
  int wrong = 0;
  wrong += AnsiToUtf8(m.ansi) != m.utf8;
  wrong += Utf8ToAnsi(AsBytes(m.utf8)) != m.back;
  wrong += AnsiToWide(m.ansi, 936) != wide;
  wrong += AnsiToWide(m.utf8) != wide;
  wrong += WideToAnsi(wide) != m.back;
  wrong += WideToAnsi(wide, 65001) != m.utf8;
  return wrong;
}

TEST(MixedTextTest, AllRoutesOverLongMixedText) {
  for (unsigned seed = 1; seed <= 4; ++seed) {
    SCOPED_TRACE(seed);
    const MixedText m = MakeMixedText(20000, seed);
    EXPECT_EQ(CountWrongConversions(m), 0);
  }
  // Short texts begin and end on every kind of piece.
  for (unsigned seed = 1; seed <= 300; ++seed) {
    const MixedText m = MakeMixedText(1 + seed % 5, seed);
    EXPECT_EQ(CountWrongConversions(m), 0) << ToHex(m.ansi);
  }
}

TEST(MixedTextTest, ConcurrentConversionsAgree) {
  const MixedText m = MakeMixedText(4000, 7);
  std::atomic<int> wrong{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 25; ++i) wrong += CountWrongConversions(m);
    });
  }
  for (std::thread& t : threads) t.join();
  EXPECT_EQ(wrong.load(), 0);
}

}  // namespace
}  // namespace sonavel
