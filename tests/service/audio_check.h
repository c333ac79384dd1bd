// Checks on MP3 answers for the service tests: the bytes look like MP3, and
// they decode (with the mpg123 program) to audio that can be measured.
//
//   std::optional<Pcm> pcm = DecodeMp3(mp3);   // nullopt when mpg123 rejects it
//   pcm->seconds(); Rms(pcm->samples);
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sonavel::testing {

// True when the bytes start with an ID3v2 tag or an MPEG audio frame sync
// (11 set bits: 0xFF then 0xE0 or more) of layer III.
bool LooksLikeMp3(std::string_view bytes);

struct Pcm {
  int sample_rate = 0;
  int channels = 0;
  std::vector<std::int16_t> samples;  // interleaved
  double seconds() const {
    return sample_rate > 0 && channels > 0
               ? static_cast<double>(samples.size()) / channels / sample_rate
               : 0.0;
  }
};

// Decodes with `mpg123 -q -w` (the one found at configure time) in a private folder; nullopt when
// mpg123 fails or writes no 16-bit PCM WAV.
std::optional<Pcm> DecodeMp3(std::string_view mp3);

// Root mean square of the samples, 0 to 32768.
double Rms(const std::vector<std::int16_t>& samples);
// Sign changes per second, a rough measure of pitch for voiced speech.
double ZeroCrossingsPerSecond(const Pcm& pcm);

}  // namespace sonavel::testing
