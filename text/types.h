// The value types that every floor of Sonavel shares.
//
// Text      code page 936 bytes. By convention it never holds a zero byte:
//           whatever builds a Text from outside bytes stops at the first zero
//           (see ToText). Lengths and positions count bytes, not characters;
//           positions are 1-based and a failed search gives -1.
// Bytes     any bytes, zero bytes included.
// TextArray an ordered list of Text. Routines that report an index into one
//           report it 1-based (IndexOfText).
//
// A missing value and the empty value are the same thing everywhere.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace sonavel {

using Text = std::string;
using Bytes = std::vector<std::uint8_t>;
using TextArray = std::vector<Text>;

}  // namespace sonavel
