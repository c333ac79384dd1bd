#include "tests/service/audio_check.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "tests/support/temp_dir.h"

namespace sonavel::testing {
namespace {

std::uint32_t Le32(const std::string& bytes, std::size_t at) {
  std::uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = (value << 8) | static_cast<unsigned char>(bytes[at + i]);
  return value;
}

std::uint16_t Le16(const std::string& bytes, std::size_t at) {
  return static_cast<std::uint16_t>(static_cast<unsigned char>(bytes[at]) |
                                    (static_cast<unsigned char>(bytes[at + 1]) << 8));
}

std::optional<Pcm> ParseWav(const std::string& wav) {
  if (wav.size() < 12 || wav.compare(0, 4, "RIFF") != 0 || wav.compare(8, 4, "WAVE") != 0) {
    return std::nullopt;
  }
  Pcm pcm;
  int bits = 0;
  std::size_t at = 12;
  while (at + 8 <= wav.size()) {
    const std::string id = wav.substr(at, 4);
    std::size_t size = Le32(wav, at + 4);
    const std::size_t body = at + 8;
    if (size > wav.size() - body) size = wav.size() - body;
    if (id == "fmt " && size >= 16) {
      if (Le16(wav, body) != 1) return std::nullopt;  // PCM only
      pcm.channels = Le16(wav, body + 2);
      pcm.sample_rate = static_cast<int>(Le32(wav, body + 4));
      bits = Le16(wav, body + 14);
    } else if (id == "data") {
      if (bits != 16) return std::nullopt;
      pcm.samples.resize(size / 2);
      std::memcpy(pcm.samples.data(), wav.data() + body, pcm.samples.size() * 2);
      return pcm;
    }
    at = body + size + (size & 1);
  }
  return std::nullopt;
}

}  // namespace

bool LooksLikeMp3(std::string_view bytes) {
  if (bytes.size() >= 3 && bytes.substr(0, 3) == "ID3") return true;
  if (bytes.size() < 4) return false;
  const auto first = static_cast<unsigned char>(bytes[0]);
  const auto second = static_cast<unsigned char>(bytes[1]);
  const bool sync = first == 0xFF && (second & 0xE0) == 0xE0;
  const bool layer3 = ((second >> 1) & 0x03) == 0x01;
  return sync && layer3;
}

std::optional<Pcm> DecodeMp3(std::string_view mp3) {
  TempDir dir;
  const auto in = dir.path() / "in.mp3";
  const auto out = dir.path() / "out.wav";
  WriteFile(in, mp3);
  const std::string command = std::string("'") + SONAVEL_MPG123 + "' -q -w '" + out.string() +
                              "' '" + in.string() + "' >/dev/null 2>&1";
  if (std::system(command.c_str()) != 0) return std::nullopt;
  try {
    return ParseWav(ReadFile(out));
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

double Rms(const std::vector<std::int16_t>& samples) {
  if (samples.empty()) return 0.0;
  double sum = 0.0;
  for (const std::int16_t sample : samples) sum += static_cast<double>(sample) * sample;
  return std::sqrt(sum / static_cast<double>(samples.size()));
}

double ZeroCrossingsPerSecond(const Pcm& pcm) {
  if (pcm.seconds() <= 0.0) return 0.0;
  long crossings = 0;
  for (std::size_t i = 1; i < pcm.samples.size(); ++i) {
    if ((pcm.samples[i - 1] < 0) != (pcm.samples[i] < 0)) ++crossings;
  }
  return crossings / pcm.seconds();
}

}  // namespace sonavel::testing
