// Percent-encoding of a text for a URL query value.
#pragma once

#include "text/types.h"

namespace sonavel {

// Every source byte as "%" and two upper-case hex digits, except that with
// `keepSafe` the bytes "-", ".", 0-9, A-Z and a-z are copied as they are.
// The source bytes are `text` itself, or with `asUtf8` its UTF-8 form. The
// space is "%20", never "+". The empty text gives the empty text.
//   UrlEncode("a b", false, true) == "%61%20%62";  UrlEncode("a b", true) == "a%20b"
Text UrlEncode(const Text& text, bool keepSafe = false, bool asUtf8 = false);

}  // namespace sonavel
