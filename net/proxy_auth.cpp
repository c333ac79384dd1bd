#include "net/proxy_auth.h"

#include <string_view>

#include "text/rules.h"

namespace sonavel {

Text Base64Encode(Bytes& data) {
  constexpr std::string_view kAlphabet =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  const std::size_t n = data.size();
  if (n == 0) return Text();
  const std::size_t r = n % 3;
  if (r != 0) data.resize(n + 3 - r, 0);

  Text out;
  out.reserve(data.size() / 3 * 4);
  for (std::size_t i = 0; i < data.size(); i += 3) {
    const unsigned b0 = data[i];
    const unsigned b1 = data[i + 1];
    const unsigned b2 = data[i + 2];
    out += kAlphabet[b0 >> 2];
    out += kAlphabet[((b0 & 3) << 4) + (b1 >> 4)];
    out += kAlphabet[((b1 & 15) << 2) + (b2 >> 6)];
    out += kAlphabet[b2 & 63];
  }
  if (r == 1) out.replace(out.size() - 2, 2, "==");
  if (r == 2) out.back() = '=';
  return out;
}

Text ProxyAuthorizationValue(const Text& user, const Text& password) {
  Bytes credentials = ToBytes(user + ":" + password);
  return "Basic " + Base64Encode(credentials);
}

bool ApplyProxyCredentials(HttpRequest& request, const Text& user, const Text& password,
                           std::int32_t basicAuth) {
  if (user.empty() || basicAuth != 1) return false;
  return request.SetRequestHeader("Proxy-Authorization", ProxyAuthorizationValue(user, password));
}

}  // namespace sonavel
