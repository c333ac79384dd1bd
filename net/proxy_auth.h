// Basic credentials for a proxy, and the Base64 encoder they use.
//
// Base64Encode(data) is the RFC 4648 (section 4) Base64 text of `data` as it
// was on entry: the standard alphabet, "=" padding, no line breaks, 4 * ceil(n/3)
// characters for n bytes. Bytes are taken as unsigned values. Like the routine
// it stands in for, it pads the caller's variable itself with zero bytes up to
// a multiple of three (a 4-byte input holds 6 bytes afterwards); empty input
// gives the empty text and stays untouched.
//
//   Bytes data = ToBytes("foob");
//   Base64Encode(data) == "Zm9vYg==";   data.size() == 6
//
// ApplyProxyCredentials sets "Proxy-Authorization: Basic " + Base64(user ":"
// password), from the code page 936 bytes of both, on the request, but only
// when `user` is not empty and `basicAuth` is exactly 1. The request object
// sends that header to the proxy only.
#pragma once

#include <cstdint>

#include "net/request.h"
#include "text/types.h"

namespace sonavel {

Text Base64Encode(Bytes& data);

// "Basic " followed by the Base64 text of user ":" password.
//   ProxyAuthorizationValue("Aladdin", "open sesame") == "Basic QWxhZGRpbjpvcGVuIHNlc2FtZQ=="
Text ProxyAuthorizationValue(const Text& user, const Text& password);

// False when nothing was set (no user, basicAuth not 1) or the object refused.
bool ApplyProxyCredentials(HttpRequest& request, const Text& user, const Text& password,
                           std::int32_t basicAuth);

}  // namespace sonavel
