// The text rules that every routine of Sonavel is built on.
//
// Texts are code page 936 bytes. Code page 936 is not self-synchronising: a
// byte of 0x80 or above is the lead byte of a two-byte character and takes
// the next byte with it, whatever that byte is ("乗" is 81 5C, so a backslash
// can be the second half of a character). Every search, replace, trim and
// split here walks a text character by character from where it starts, so a
// match never begins on the second byte of a character. A lead byte at the
// very end of a text stands alone.
//
// Bytes are compared as unsigned values. Case is folded only on request and
// only for ASCII: 'A'..'Z' count as 'a'..'z'; no other byte is folded (not even
// the second byte of a two-byte character, which is simply compared folded).
//
// Spaces are the byte 0x20 and the full-width space A1 A1. Tab, CR and LF are
// not spaces.
#pragma once

#include <cstdint>
#include <string_view>

#include "text/types.h"

namespace sonavel {

// True for a byte that begins a two-byte character (0x80 and above).
constexpr bool IsLeadByte(std::uint8_t byte) { return byte >= 0x80; }

// The length of the character that begins at `pos` of `text`: 2 for a lead
// byte followed by another byte, else 1. `pos` must be inside `text`.
constexpr std::size_t CharLength(std::string_view text, std::size_t pos) {
  return IsLeadByte(static_cast<std::uint8_t>(text[pos])) && pos + 1 < text.size() ? 2 : 1;
}

// The 1-based byte position of the first occurrence of `needle` in `text`
// at or after the 1-based byte `start`, or -1. Candidates are taken
// character by character from `start` on. A `start` of 0 or below means 1; a
// start beyond the last byte finds nothing. An empty `needle` is found at
// position 1 whenever at least one byte lies at or after `start`.
//   FindText("x(ab)y(cd)", "(", 3) == 7;   FindText("\x81\x5C\\", "\\") == 3
std::int32_t FindText(std::string_view text, std::string_view needle, std::int32_t start = 1,
                      bool ignoreCase = false);

// FindText(text, needle, 1, ignoreCase) != -1.
bool ContainsText(std::string_view text, std::string_view needle, bool ignoreCase = false);

// Byte-for-byte equality, with ASCII case folding on request.
bool EqualText(std::string_view a, std::string_view b, bool ignoreCase = false);

// Every occurrence of `from`, taken left to right without overlap, replaced
// by `to`. An empty `from` leaves the text as it is.
//   ReplaceText("a-b-c", "-", "+") == "a+b+c"
Text ReplaceText(std::string_view text, std::string_view from, std::string_view to,
                 bool ignoreCase = false);

// True when the character at `pos` is a space (0x20, or A1 A1 beginning there).
bool IsSpaceAt(std::string_view text, std::size_t pos);

// `text` without the spaces at both ends.   TrimSpaces(" a b\xA1\xA1") == "a b"
Text TrimSpaces(std::string_view text);

// `text` without any space.   RemoveSpaces("a = b") == "a=b"
Text RemoveSpaces(std::string_view text);

// The pieces of `text` between occurrences of `separator` (one or more
// bytes), in order. Adjacent separators, or one at the very start, give an
// empty item; a separator at the very end gives no empty last item; the
// empty text gives no items; a text without the separator (or an empty
// separator) gives one item, the whole text.
//   SplitText(";a;;b;", ";") == {"", "a", "", "b"}
TextArray SplitText(std::string_view text, std::string_view separator);

// The first `count` bytes (LeftPart), the last `count` bytes (RightPart) and
// the `count` bytes from the 1-based byte `start` (MiddlePart). A count of 0
// or less gives the empty text, a count beyond the end stops at the end, a
// start outside the text gives the empty text. Counts are bytes and may cut
// a two-byte character in two.
Text LeftPart(std::string_view text, std::int32_t count);
Text RightPart(std::string_view text, std::int32_t count);
Text MiddlePart(std::string_view text, std::int32_t start, std::int32_t count);

// Decimal text: minus sign when negative, no leading zeros.  DecimalText(-40) == "-40"
Text DecimalText(std::int64_t value);
// Hexadecimal text: upper-case digits, no leading zeros.     HexText(255) == "FF"
Text HexText(std::uint64_t value);

// The bytes of `bytes` before its first zero byte, or all of them.
Text ToText(const Bytes& bytes);
Text ToText(std::string_view raw);
// The bytes of `text`.
Bytes ToBytes(std::string_view text);

}  // namespace sonavel
