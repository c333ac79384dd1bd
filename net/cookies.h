// Cookie texts: merging the cookies sent with a request and those a server
// set into one text for the next request.
//
// A cookie text is items separated by ";"; spaces (0x20 and A1 A1) anywhere
// in it are ignored on input. On output items are separated by "; " with no
// other spaces and no separator at the end. An item is normally name=value;
// its name is the bytes before the first "=", trimmed (an item without "="
// is all name). Names and items compare byte for byte, case-sensitively.
#pragma once

#include <cstdint>

#include "text/types.h"

namespace sonavel {

// The merged cookie text: the received items in their order, then the sent
// items whose names were not received (of several sent items with one name,
// the first), without items ending in "=deleted" and without repeated items.
// Rewrites both variables: `cookiesSent` ends holding the result,
// `cookiesReceived` its own text with all spaces removed. Linear in the
// number of items.
//   sent "a=1; b=2", received "b=3; c=deleted"  ->  "b=3; a=1"
//   sent "a=1; b=2; a=9", received "a=deleted; d=4; d=4"  ->  "d=4; b=2"
Text MergeCookies(Text& cookiesSent, Text& cookiesReceived);

// The item's name.   CookieName(" a = 1") == "a";  CookieName("flag") == "flag"
Text CookieName(const Text& item);

// True when some item of `items` has exactly the name `name`; false for no items.
bool HasCookieName(const TextArray& items, const Text& name);

// `text` split at `separator`, repeated pieces dropped (the first kept, order
// kept), joined with `separator` again. A separator at the end adds nothing.
//   JoinDistinct("d=4; d=4; b=2", "; ") == "d=4; b=2";  JoinDistinct("a; b; ", "; ") == "a; b"
Text JoinDistinct(const Text& text, const Text& separator);

// The 1-based index of the first item equal to `text`, or -1 (also for no items).
std::int32_t IndexOfText(const TextArray& items, const Text& text);

}  // namespace sonavel
