// Speech synthesis for the local speech service: UTF-8 text to MP3 bytes, in
// memory, through espeak-ng (the voices of service/voices.h) and LAME.
//
// espeak-ng keeps its state process-wide and is not thread-safe, so a program
// holds one Synthesizer at a time and every call into espeak-ng goes through
// the object's mutex; encoding runs under a second mutex, so one request can
// be encoded while the next is synthesised. espeak-ng is initialised once in
// the constructor and never shut down: espeak-ng 1.51's espeak_Terminate hangs
// after a synchronous initialisation, and the library's state lives until the
// process ends.
//
// The MP3 is MPEG-2 layer III, mono, at espeak-ng's rate (22,050 Hz), 48 kbit/s
// CBR (so players know its length from its size), without ID3 or Info tags;
// it holds at least 0.1 s of audio, so a text of blanks gives a short silence.
//
//   Synthesizer synthesizer;
//   std::string mp3 = synthesizer.SpeakMp3("你好", 4, 5);  // starts 0xFF 0xF3
#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "service/voices.h"

namespace sonavel::service {

class Synthesizer {
 public:
  // Throws std::runtime_error when espeak-ng, its data or one of the voices
  // cannot be loaded.
  Synthesizer();
  Synthesizer(const Synthesizer&) = delete;
  Synthesizer& operator=(const Synthesizer&) = delete;

  int sample_rate() const { return sample_rate_; }

  // The MP3 of `text` (UTF-8; read up to a zero byte, if any) in the voice
  // `per` (a Voice::per) at `volume` 0-15 (see VolumeGain). Empty when the
  // voice is unknown or synthesis or encoding fails. Safe from any thread.
  std::string SpeakMp3(std::string_view text, int per, int volume);

  // The steps of SpeakMp3. Speak gives mono 16-bit samples at sample_rate()
  // (none for a text that espeak-ng does not voice), nullopt on failure;
  // EncodeMp3 gives the MP3 (padded to 0.1 s), empty on failure.
  std::optional<std::vector<std::int16_t>> Speak(std::string_view text, const Voice& voice);
  std::string EncodeMp3(std::span<const std::int16_t> pcm);

 private:
  std::mutex espeak_mutex_;
  std::mutex lame_mutex_;
  int sample_rate_ = 0;
};

// The linear gain for a volume: (volume + 1) / 6, so 0 gives 1/6 (-15.6 dB),
// 5 gives 1 (espeak-ng's own level) and 15 gives 8/3 (+8.5 dB). Volumes
// outside 0-15 are clamped.
double VolumeGain(int volume);

// Scales the samples by VolumeGain(volume). Levels up to 0.9 of full scale
// stay linear; above that a soft limiter bends them towards full scale, so
// loud volumes never wrap or clip hard.
void ApplyVolume(std::span<std::int16_t> pcm, int volume);

}  // namespace sonavel::service
