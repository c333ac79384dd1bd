// Conversion between code page 936, UTF-8 and UTF-16, as if by way of UTF-16.
//
// Code pages are named by number: 936 is GBK (the code page of Text), 65001
// is UTF-8, 0 is the default code page, which is 936 here whatever the
// locale. Any other number converts nothing and gives the empty value.
// "UTF-16 Bytes" are UTF-16 code units, low byte first.
//
// Code page 936 is exactly Microsoft's published table (CP936.TXT): 80 is
// the euro sign; the user-defined areas and FF have no characters, and no
// character is encoded by a "best fit" to another one.
//
// Conversion is lenient and never fails on content:
//  - invalid UTF-8 becomes U+FFFD, one for each maximal ill-formed subpart
//    (E4 BD 41 gives U+FFFD "A"; ED A0 80, an encoded surrogate, gives three);
//  - an invalid code page 936 sequence becomes U+FFFD: a lead byte (81..FE)
//    with a trail byte (40..7E, 80..FE) that names no character is one
//    U+FFFD; a lead byte before any other byte or at the end, and FF, are one
//    U+FFFD each, and the byte after a lead byte is then read on its own, so
//    81 20 gives U+FFFD and a space;
//  - a lone surrogate in UTF-16 becomes U+FFFD in UTF-8 and "?" in 936;
//  - a character that code page 936 lacks (U+FFFD among them) becomes "?".
// All four routines keep no state and are safe to call from any thread. On a
// system without a code page 936 converter, conversions that need one give
// the empty value.
#pragma once

#include "text/types.h"

namespace sonavel {

// A UTF-8 body as Text: all of `utf8` is decoded (a zero byte becomes U+0000),
// encoded into code page 936, and the result ends before its first zero byte.
// Empty input gives the empty text; a byte-order mark is a character like any
// other (and becomes "?").
//   Utf8ToAnsi({0xE4, 0xBD, 0xA0}) == "\xC4\xE3";  Utf8ToAnsi({0x61, 0x62, 0, 0x63}) == "ab"
Text Utf8ToAnsi(const Bytes& utf8);

// The UTF-8 form of a code page 936 text (for sending, not for showing):
// WideToAnsi(AnsiToWide(text, 936), 65001). ASCII passes unchanged.
//   AnsiToUtf8("\xC4\xE3") == "\xE4\xBD\xA0";  AnsiToUtf8("") == ""
Text AnsiToUtf8(const Text& text);

// `text` up to its terminator (its first zero byte, or its end) decoded under
// `codePage` (default UTF-8) into UTF-16 Bytes that end with one zero code
// unit. The empty text gives the zero unit alone.
//   AnsiToWide("A", 936) == {0x41, 0, 0, 0};  AnsiToWide("A", 1252) == {}
Bytes AnsiToWide(const Text& text, int codePage = 65001);

// The UTF-16 code units of `wide` up to its first zero unit (or its end; an
// odd last byte is ignored), encoded under `codePage` (default 0 = 936).
// Never reads past the end of `wide`.
//   WideToAnsi({0x60, 0x4F, 0, 0}, 65001) == "\xE4\xBD\xA0";  WideToAnsi({0x60, 0x4F}) ==
//   "\xC4\xE3"
Text WideToAnsi(const Bytes& wide, int codePage = 0);

}  // namespace sonavel
