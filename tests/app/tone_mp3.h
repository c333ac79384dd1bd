// A real MP3 for the player's tests: a 440 Hz tone, mono, 22,050 Hz,
// 32 kbit/s, encoded in-process with LAME.
//   std::string mp3 = ToneMp3(1.0);  // about 4 KB, plays for about one second
#pragma once

#include <string>

namespace sonavel::testing {

std::string ToneMp3(double seconds);

}  // namespace sonavel::testing
