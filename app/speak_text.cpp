#include "app/speak_text.h"

#include "app/access_token.h"
#include "app/endpoints.h"
#include "app/temp_file.h"
#include "net/net.h"
#include "text/text.h"

namespace sonavel {

SpeechService SpeechService::BuiltIn() {
  return {endpoints::kTokenHost, endpoints::kSpeechHost, endpoints::kApiKey, endpoints::kSecretKey};
}

Text TokenUrl(const SpeechService& service) {
  return "https://" + service.tokenHost +
         "/oauth/2.0/token?grant_type=client_credentials&client_id=" + service.apiKey +
         "&client_secret=" + service.secretKey;
}

Text SpeechUrlPrefix(const SpeechService& service) {
  return "https://" + service.speechHost + "/text2audio?";
}

void SpeakText(const Text& text, std::int32_t speaker, AudioPlayer& player,
               const SpeechService& service) {
  // A new token on every call: the answer first, then the token cut out of it.
  HttpAccessArgs tokenArgs;
  tokenArgs.Method = 0;
  AccessToken = Utf8ToAnsi(HttpAccess(TokenUrl(service), tokenArgs));
  AccessToken = TextBetween(AccessToken, "access_token\":\"", "\"");

  // The parts are drawn in this order: the encoded text, the client id, the voice.
  const Text encoded = UrlEncode(text, false, true);
  const Text cuid = RandomAlnumText(10);
  const Text voice = DecimalText(speaker);
  const Text query = "tex=" + encoded + "&tok=" + AccessToken + "&cuid=" + cuid +
                     "&ctp=1&lan=zh&vol=5&per=" + voice;

  Text headers;
  HttpAccessArgs speechArgs;
  speechArgs.Method = 0;
  speechArgs.ResponseHeaders = &headers;
  const Bytes body = HttpAccess(SpeechUrlPrefix(service) + query, speechArgs);
  if (FindText(headers, "audio/mp3") == -1) return;

  const std::string path = WriteNewFile(TemporaryFolder(), "plorix_yuyin_", ".mp3", body,
                                        [] { return RandomAlnumText(8); });
  if (path.empty()) return;  // no file of ours: nothing to play or to remove
  player.Open(path);
  player.Play();
  DeleteFile(path);
}

}  // namespace sonavel
