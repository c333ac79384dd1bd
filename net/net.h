// The public face of Sonavel's HTTP access: HttpAccess (one blocking HTTP
// exchange with default headers, cookies, proxy credentials, timeouts and
// redirects) over HttpRequest (one libcurl easy handle), HeaderName and
// HeaderValue, Base64Encode, and the cookie merging routines. Builds on the
// text library and libcurl only.
//
//   Text headers;
//   Bytes body = HttpAccess("https://host/x", {.ResponseHeaders = &headers});
#pragma once

#include "net/cookies.h"
#include "net/http_access.h"
#include "net/proxy_auth.h"
#include "net/request.h"
#include "text/types.h"
