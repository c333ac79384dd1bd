// The public face of Sonavel's text library: code page 936 text, conversion
// to and from UTF-8 and UTF-16, URL encoding, text between markers, random
// text. Standard library and iconv only.
#pragma once

#include "text/between.h"
#include "text/charset.h"
#include "text/random.h"
#include "text/rules.h"
#include "text/types.h"
#include "text/url_encode.h"
