// Conversion between code page 936, UTF-8 and UTF-16, always by way of UTF-16.
//
// Code pages are named by number: 936 is GBK (the code page of Text), 65001
// is UTF-8, 0 is the default code page, which is 936 here whatever the
// locale. Any other number converts nothing and gives the empty value.
//
// Conversion is lenient and never fails on content: invalid UTF-8 becomes
// U+FFFD, an invalid code page 936 sequence becomes U+FFFD, and a character
// that code page 936 lacks becomes "?". "UTF-16 Bytes" are UTF-16 code units,
// low byte first. All four routines are safe to call from any thread.
#pragma once

#include "text/types.h"

namespace sonavel {

// A UTF-8 body as Text: all of `utf8` is decoded (a zero byte becomes U+0000),
// encoded into code page 936, and the result ends before its first zero byte.
// Empty input gives the empty text.
//   Utf8ToAnsi({0xE4, 0xBD, 0xA0}) == "\xC4\xE3";  Utf8ToAnsi({0x61, 0x62, 0, 0x63}) == "ab"
Text Utf8ToAnsi(const Bytes& utf8);

// The UTF-8 form of a code page 936 text (for sending, not for showing).
//   AnsiToUtf8("\xC4\xE3") == "\xE4\xBD\xA0";  AnsiToUtf8("") == ""
Text AnsiToUtf8(const Text& text);

// `text` decoded under `codePage` (default UTF-8) into UTF-16 Bytes that end
// with one zero code unit. The empty text gives the zero unit alone.
//   AnsiToWide("A", 936) == {0x41, 0, 0, 0}
Bytes AnsiToWide(const Text& text, int codePage = 65001);

// The UTF-16 code units of `wide` up to its first zero unit (or its end; an
// odd last byte is ignored), encoded under `codePage` (default 0 = 936).
//   WideToAnsi({0x60, 0x4F, 0, 0}, 65001) == "\xE4\xBD\xA0"
Text WideToAnsi(const Bytes& wide, int codePage = 0);

}  // namespace sonavel
