#include "service/synthesizer.h"

#include <espeak-ng/speak_lib.h>
#include <lame/lame.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <stdexcept>

namespace sonavel::service {
namespace {

// Synthesis stops beyond this much audio; no text within the protocol's
// limit comes near it.
constexpr std::size_t kMaxSeconds = 600;
constexpr std::size_t kMinSamplesDivisor = 10;  // at least 1/10 s of audio
constexpr int kBitrateKbps = 48;

struct SynthesisBuffer {
  std::vector<std::int16_t> samples;
  std::size_t limit = 0;
};

// espeak-ng hands each block of samples to this callback; the request's
// buffer travels in the events' user data.
int CollectSamples(short* wav, int count, espeak_EVENT* events) {
  if (events == nullptr || events->user_data == nullptr) return 1;
  auto* buffer = static_cast<SynthesisBuffer*>(events->user_data);
  if (wav != nullptr && count > 0) {
    if (buffer->samples.size() + static_cast<std::size_t>(count) > buffer->limit) return 1;
    buffer->samples.insert(buffer->samples.end(), wav, wav + count);
  }
  return 0;
}

struct LameDeleter {
  void operator()(lame_global_flags* flags) const { lame_close(flags); }
};
using LamePtr = std::unique_ptr<lame_global_flags, LameDeleter>;

}  // namespace

Synthesizer::Synthesizer() {
  std::lock_guard lock(espeak_mutex_);
  sample_rate_ =
      espeak_Initialize(AUDIO_OUTPUT_SYNCHRONOUS, 0, nullptr, espeakINITIALIZE_DONT_EXIT);
  if (sample_rate_ <= 0)
    throw std::runtime_error("espeak-ng cannot be initialised (data missing?)");
  espeak_SetSynthCallback(CollectSamples);
  for (const Voice& voice : kVoices) {
    if (espeak_SetVoiceByName(voice.espeak_name) != EE_OK) {
      throw std::runtime_error(std::string("espeak-ng has no voice ") + voice.espeak_name);
    }
  }
}

std::optional<std::vector<std::int16_t>> Synthesizer::Speak(std::string_view text,
                                                            const Voice& voice) {
  const std::string terminated(text.substr(0, text.find('\0')));
  SynthesisBuffer buffer;
  buffer.limit = static_cast<std::size_t>(sample_rate_) * kMaxSeconds;
  std::lock_guard lock(espeak_mutex_);
  if (espeak_SetVoiceByName(voice.espeak_name) != EE_OK ||
      espeak_SetParameter(espeakRATE, voice.rate, 0) != EE_OK ||
      espeak_SetParameter(espeakPITCH, voice.pitch, 0) != EE_OK ||
      espeak_SetParameter(espeakRANGE, voice.range, 0) != EE_OK) {
    return std::nullopt;
  }
  const espeak_ERROR result =
      espeak_Synth(terminated.c_str(), terminated.size() + 1, 0, POS_CHARACTER, 0,
                   espeakCHARS_UTF8 | espeakENDPAUSE, nullptr, &buffer);
  if (result != EE_OK) return std::nullopt;
  return std::move(buffer.samples);
}

std::string Synthesizer::EncodeMp3(std::span<const std::int16_t> pcm) {
  std::vector<std::int16_t> padded(pcm.begin(), pcm.end());
  const std::size_t minimum = static_cast<std::size_t>(sample_rate_) / kMinSamplesDivisor;
  if (padded.size() < minimum) padded.resize(minimum, 0);

  std::lock_guard lock(lame_mutex_);
  LamePtr flags(lame_init());
  if (!flags) return std::string();
  lame_global_flags* gf = flags.get();
  if (lame_set_in_samplerate(gf, sample_rate_) != 0 ||
      lame_set_out_samplerate(gf, sample_rate_) != 0 || lame_set_num_channels(gf, 1) != 0 ||
      lame_set_mode(gf, MONO) != 0 || lame_set_brate(gf, kBitrateKbps) != 0 ||
      lame_set_quality(gf, 7) != 0 || lame_set_bWriteVbrTag(gf, 0) != 0 ||
      lame_init_params(gf) < 0) {
    return std::string();
  }

  // LAME's documented worst case: 1.25 * samples + 7200 bytes.
  std::vector<unsigned char> out(padded.size() + padded.size() / 4 + 7200);
  const int encoded =
      lame_encode_buffer(gf, padded.data(), padded.data(), static_cast<int>(padded.size()),
                         out.data(), static_cast<int>(out.size()));
  if (encoded < 0) return std::string();
  const int flushed =
      lame_encode_flush(gf, out.data() + encoded, static_cast<int>(out.size()) - encoded);
  if (flushed < 0) return std::string();
  out.resize(static_cast<std::size_t>(encoded) + static_cast<std::size_t>(flushed));

  return std::string(out.begin(), out.end());
}

std::string Synthesizer::SpeakMp3(std::string_view text, int per, int volume) {
  const Voice* voice = FindVoice(per);
  if (voice == nullptr) return std::string();
  std::optional<std::vector<std::int16_t>> pcm = Speak(text, *voice);
  if (!pcm) return std::string();
  ApplyVolume(*pcm, volume);
  return EncodeMp3(*pcm);
}

double VolumeGain(int volume) { return (std::clamp(volume, 0, 15) + 1) / 6.0; }

void ApplyVolume(std::span<std::int16_t> pcm, int volume) {
  const double gain = VolumeGain(volume);
  constexpr double kKnee = 0.9;
  for (std::int16_t& sample : pcm) {
    double level = sample / 32768.0 * gain;
    const double magnitude = std::fabs(level);
    if (magnitude > kKnee) {
      const double bent = kKnee + (1.0 - kKnee) * std::tanh((magnitude - kKnee) / (1.0 - kKnee));
      level = std::copysign(bent, level);
    }
    sample = static_cast<std::int16_t>(std::clamp(std::lround(level * 32768.0), -32768L, 32767L));
  }
}

}  // namespace sonavel::service
