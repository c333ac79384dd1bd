// The voices of the local speech service: the values of the "per" query
// parameter and the espeak-ng voice and settings each one stands for. All of
// them read Mandarin through espeak-ng's `cmn-latn-pinyin` voice (the plain
// `cmn` and `zh` voices read most characters as English-sounding pinyin);
// the variant after "+" changes the timbre, and rate (words per minute),
// pitch and pitch range (0-100, 50 normal) set the delivery.
//
//   FindVoice(4)->espeak_name == "cmn-latn-pinyin+f5";  FindVoice(2) == nullptr
#pragma once

#include <array>

namespace sonavel::service {

struct Voice {
  int per;                  // the query value
  const char* espeak_name;  // for espeak_SetVoiceByName
  int rate;
  int pitch;
  int range;
  const char* description;
};

// The voice used when a request names none.
inline constexpr int kDefaultVoice = 0;

inline constexpr std::array<Voice, 4> kVoices = {{
    {0, "cmn-latn-pinyin+f2", 175, 50, 50, "female, standard"},
    {1, "cmn-latn-pinyin", 165, 35, 50, "male, standard"},
    {3, "cmn-latn-pinyin+m3", 140, 45, 75, "male, slower and livelier"},
    {4, "cmn-latn-pinyin+f5", 195, 80, 70, "young female, higher and quicker"},
}};

// The voice for a "per" value, or nullptr when there is none.
constexpr const Voice* FindVoice(int per) {
  for (const Voice& voice : kVoices) {
    if (voice.per == per) return &voice;
  }
  return nullptr;
}

}  // namespace sonavel::service
