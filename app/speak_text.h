// SpeakText: the program's one piece of business. It asks the speech
// service for an access token, asks it to speak a text in Chinese, and plays
// the MP3 answer through a player.
//
// Both requests are GET requests through HttpAccess over https:
//   token:  https://TOKEN_HOST/oauth/2.0/token?grant_type=client_credentials
//             &client_id=API_KEY&client_secret=SECRET_KEY
//   speech: https://SPEECH_HOST/text2audio?tex=ENCODED&tok=TOKEN&cuid=CUID
//             &ctp=1&lan=zh&vol=5&per=SPEAKER
// ENCODED is every UTF-8 byte of the text as %XX (letters and digits too),
// TOKEN the access_token member of the token answer, unchanged (empty when
// there was none: the speech request goes anyway), CUID 10 new random
// letters and digits. An answer whose header text holds "audio/mp3" (exact
// case) is written to a new temporary file "plorix_yuyin_" + 8 random
// letters and digits + ".mp3", opened in the player, played, and the file
// is removed while it plays. Any other answer plays nothing and writes
// nothing. Nothing is reported: every failure ends the call silently.
//
// Blocks the caller for both requests (15 s time-outs each); the playback
// outlives the call.
//   SpeakText("abc", 4, player) sends tex=%61%62%63&tok=...&cuid=...&ctp=1&lan=zh&vol=5&per=4
#pragma once

#include <cstdint>
#include <string>

#include "text/types.h"

namespace sonavel {

// What SpeakText plays through: 媒体播放1 in the program.
class AudioPlayer {
 public:
  virtual ~AudioPlayer() = default;
  // Closes whatever item was open, stopping its playback, then opens the
  // file at `path` (file-system bytes) and holds it open when it returns.
  // A file that cannot be opened leaves nothing open.
  virtual void Open(const std::string& path) = 0;
  // Plays the open item from its beginning and returns at once; nothing
  // happens when nothing is open.
  virtual void Play() = 0;
};

// Where the speech service is and who the program is to it.
struct SpeechService {
  Text tokenHost;   // "host" or "host:port"
  Text speechHost;  // "host" or "host:port"
  Text apiKey;      // 24 letters and digits
  Text secretKey;   // 32 letters and digits

  // The build's constants (app/endpoints.h).
  static SpeechService BuiltIn();
};

// The token request's URL for `service`.
//   TokenUrl({"h:1", "", "K", "S"}) ==
//     "https://h:1/oauth/2.0/token?grant_type=client_credentials&client_id=K&client_secret=S"
Text TokenUrl(const SpeechService& service);

// The speech request's URL up to and including the "?" before the query.
//   SpeechUrlPrefix({"", "h:2", "", ""}) == "https://h:2/text2audio?"
Text SpeechUrlPrefix(const SpeechService& service);

// Writes AccessToken; see the header comment.
void SpeakText(const Text& text, std::int32_t speaker, AudioPlayer& player,
               const SpeechService& service = SpeechService::BuiltIn());

}  // namespace sonavel
