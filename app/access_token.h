// The program's one program-wide variable.
//
// `AccessToken` holds, during a call of SpeakText, first the whole token
// response (code page 936) and then the token cut out of it, or the empty
// text when there was none. It keeps the last token until the next call or
// the end of the program. Only SpeakText writes it; nothing reads it for a
// request (every call asks for a new token).
//
// The start-up routine sets it empty and registers ReleaseAccessToken to run
// when the program ends.
//   AccessToken == "" at start;  after a call that got {"access_token":"t1"}: "t1"
#pragma once

#include "text/types.h"

namespace sonavel {

extern Text AccessToken;

// Empties `AccessToken` and gives its memory back. Safe to call more than once.
void ReleaseAccessToken();

}  // namespace sonavel
