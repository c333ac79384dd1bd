#include "app/access_token.h"

namespace sonavel {

Text AccessToken;

void ReleaseAccessToken() { Text().swap(AccessToken); }

}  // namespace sonavel
