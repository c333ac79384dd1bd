// Cutting a text out between two markers.
#pragma once

#include <cstdint>

#include "text/types.h"

namespace sonavel {

// The bytes between the first occurrence of `front` at or after the 1-based
// byte `start` (0 and below mean 1) and the next occurrence of `back` after
// it; the empty text when either is missing. Both searches follow the rules
// of text/rules.h (character-wise, ASCII case folding with `ignoreCase`).
// Inside a marker, "#引号" (23 D2 FD BA C5) stands for one double quote.
//   TextBetween("x(ab)y(cd)", "(", ")") == "ab";  TextBetween("x(ab)y(cd)", "(", ")", 3) == "cd"
Text TextBetween(const Text& text, const Text& front, const Text& back, std::int32_t start = 0,
                 bool ignoreCase = false);

}  // namespace sonavel
