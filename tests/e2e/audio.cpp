#include "tests/e2e/audio.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <numbers>
#include <numeric>
#include <stdexcept>

#include "tests/support/temp_dir.h"

namespace sonavel::e2e {
namespace {

uint32_t Little(const std::string& data, size_t at, int bytes) {
  uint32_t value = 0;
  for (int i = bytes - 1; i >= 0; --i) {
    value = (value << 8) | static_cast<unsigned char>(data[at + static_cast<size_t>(i)]);
  }
  return value;
}

float SampleAt(const std::string& data, size_t at, int bits, bool is_float) {
  if (is_float) {
    const uint32_t raw = Little(data, at, 4);
    float value;
    std::memcpy(&value, &raw, sizeof value);
    return value;
  }
  if (bits == 8) return (static_cast<unsigned char>(data[at]) - 128) / 128.0f;
  const uint32_t raw = Little(data, at, bits / 8);
  const int shift = 32 - bits;
  const auto value = static_cast<int32_t>(raw << shift) >> shift;
  return static_cast<float>(static_cast<double>(value) / std::ldexp(1.0, bits - 1));
}

}  // namespace

Audio ReadWav(const std::filesystem::path& path) {
  const std::string data = sonavel::testing::ReadFile(path);
  const auto fail = [&](const std::string& why) {
    return std::runtime_error(path.string() + ": " + why);
  };
  if (data.size() < 12 || data.compare(0, 4, "RIFF") != 0 || data.compare(8, 4, "WAVE") != 0) {
    throw fail("not a RIFF WAVE file");
  }
  int format = 0, channels = 0, bits = 0;
  Audio audio;
  size_t at = 12;
  while (at + 8 <= data.size()) {
    const std::string id = data.substr(at, 4);
    const size_t size = Little(data, at + 4, 4);
    const size_t body = at + 8;
    if (id == "fmt ") {
      if (size < 16 || body + 16 > data.size()) throw fail("short fmt chunk");
      format = static_cast<int>(Little(data, body, 2));
      channels = static_cast<int>(Little(data, body + 2, 2));
      audio.rate = static_cast<int>(Little(data, body + 4, 4));
      bits = static_cast<int>(Little(data, body + 14, 2));
      if (format == 0xFFFE && size >= 40) format = static_cast<int>(Little(data, body + 24, 2));
    } else if (id == "data") {
      if (channels <= 0 || audio.rate <= 0) throw fail("data before fmt");
      const bool is_float = format == 3;
      if (!(format == 1 || (is_float && bits == 32)) ||
          !(bits == 8 || bits == 16 || bits == 24 || bits == 32)) {
        throw fail("unsupported sample format " + std::to_string(format) + "/" +
                   std::to_string(bits));
      }
      const size_t rest = data.size() - body;
      const size_t available = size == 0 ? rest : std::min(size, rest);
      const size_t frame = static_cast<size_t>(channels) * static_cast<size_t>(bits / 8);
      const size_t frames = available / frame;
      audio.samples.resize(frames);
      for (size_t f = 0; f < frames; ++f) {
        float sum = 0;
        for (int c = 0; c < channels; ++c) {
          sum +=
              SampleAt(data, body + f * frame + static_cast<size_t>(c * bits / 8), bits, is_float);
        }
        audio.samples[f] = sum / static_cast<float>(channels);
      }
      return audio;
    }
    at = body + size + (size & 1);
  }
  throw fail("no data chunk");
}

void WriteWav(const std::filesystem::path& path, const Audio& audio) {
  std::string data;
  const auto put = [&](uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) data += static_cast<char>((value >> (8 * i)) & 0xFF);
  };
  const auto size = static_cast<uint32_t>(audio.samples.size() * 2);
  data += "RIFF";
  put(36 + size, 4);
  data += "WAVEfmt ";
  put(16, 4);
  put(1, 2);  // PCM
  put(1, 2);  // mono
  put(static_cast<uint32_t>(audio.rate), 4);
  put(static_cast<uint32_t>(audio.rate) * 2, 4);
  put(2, 2);
  put(16, 2);
  data += "data";
  put(size, 4);
  for (const float sample : audio.samples) {
    const auto value = static_cast<int16_t>(std::lround(std::clamp(sample, -1.0f, 1.0f) * 32767));
    put(static_cast<uint16_t>(value), 2);
  }
  sonavel::testing::WriteFile(path, data);
}

Audio Tone(int rate, double hertz, double seconds, double amplitude) {
  Audio audio;
  audio.rate = rate;
  audio.samples.resize(static_cast<size_t>(seconds * rate));
  for (size_t i = 0; i < audio.samples.size(); ++i) {
    audio.samples[i] = static_cast<float>(
        amplitude * std::sin(2 * std::numbers::pi * hertz * static_cast<double>(i) / rate));
  }
  return audio;
}

std::optional<size_t> FirstLoudSample(const Audio& audio, float threshold) {
  const auto found = std::find_if(audio.samples.begin(), audio.samples.end(),
                                  [&](float sample) { return std::fabs(sample) >= threshold; });
  if (found == audio.samples.end()) return std::nullopt;
  return static_cast<size_t>(found - audio.samples.begin());
}

float Peak(const Audio& audio) {
  float peak = 0;
  for (const float sample : audio.samples) peak = std::max(peak, std::fabs(sample));
  return peak;
}

double Rms(const Audio& audio) {
  if (audio.samples.empty()) return 0;
  double sum = 0;
  for (const float sample : audio.samples) sum += static_cast<double>(sample) * sample;
  return std::sqrt(sum / static_cast<double>(audio.samples.size()));
}

std::vector<double> Envelope(const Audio& audio, double window_seconds) {
  const auto window = std::max<size_t>(1, static_cast<size_t>(window_seconds * audio.rate));
  std::vector<double> envelope;
  for (size_t start = 0; start + window <= audio.samples.size(); start += window) {
    double sum = 0;
    for (size_t i = start; i < start + window; ++i) {
      sum += static_cast<double>(audio.samples[i]) * audio.samples[i];
    }
    envelope.push_back(std::sqrt(sum / static_cast<double>(window)));
  }
  return envelope;
}

double LoudSeconds(const Audio& audio, double threshold, double window_seconds) {
  const std::vector<double> envelope = Envelope(audio, window_seconds);
  const auto loud =
      std::count_if(envelope.begin(), envelope.end(), [&](double rms) { return rms >= threshold; });
  return static_cast<double>(loud) * window_seconds;
}

EnvelopeMatch MatchEnvelope(const Audio& recording, const Audio& reference, double window_seconds) {
  const std::vector<double> rec = Envelope(recording, window_seconds);
  const std::vector<double> ref = Envelope(reference, window_seconds);
  EnvelopeMatch best;
  if (ref.empty() || ref.size() > rec.size()) return best;
  const size_t n = ref.size();
  const double ref_mean = std::accumulate(ref.begin(), ref.end(), 0.0) / static_cast<double>(n);
  double ref_var = 0, ref_energy = 0;
  for (const double v : ref) {
    ref_var += (v - ref_mean) * (v - ref_mean);
    ref_energy += v * v;
  }
  if (ref_var <= 0) return best;
  best.correlation = -2;
  for (size_t lag = 0; lag + n <= rec.size(); ++lag) {
    double rec_sum = 0;
    for (size_t i = 0; i < n; ++i) rec_sum += rec[lag + i];
    const double rec_mean = rec_sum / static_cast<double>(n);
    double cov = 0, rec_var = 0, rec_energy = 0;
    for (size_t i = 0; i < n; ++i) {
      const double r = rec[lag + i] - rec_mean;
      cov += r * (ref[i] - ref_mean);
      rec_var += r * r;
      rec_energy += rec[lag + i] * rec[lag + i];
    }
    const double correlation = rec_var > 0 ? cov / std::sqrt(rec_var * ref_var) : 0;
    if (correlation > best.correlation) {
      best.correlation = correlation;
      best.offset_seconds = static_cast<double>(lag) * window_seconds;
      best.gain = std::sqrt(rec_energy / ref_energy);
    }
  }
  return best;
}

namespace {

// Pearson correlation of rec[lag .. lag + n) with ref[from .. from + n).
double Correlation(const std::vector<double>& rec, size_t lag, const std::vector<double>& ref,
                   size_t from, size_t n) {
  double sum_a = 0, sum_b = 0;
  for (size_t i = 0; i < n; ++i) {
    sum_a += rec[lag + i];
    sum_b += ref[from + i];
  }
  const double mean_a = sum_a / static_cast<double>(n), mean_b = sum_b / static_cast<double>(n);
  double cov = 0, var_a = 0, var_b = 0;
  for (size_t i = 0; i < n; ++i) {
    const double a = rec[lag + i] - mean_a, b = ref[from + i] - mean_b;
    cov += a * b;
    var_a += a * a;
    var_b += b * b;
  }
  return var_a > 0 && var_b > 0 ? cov / std::sqrt(var_a * var_b) : 0;
}

}  // namespace

EnvelopeMatch MatchPieces(const Audio& recording, const Audio& reference, double window_seconds,
                          double piece_seconds, double max_pause_seconds) {
  const EnvelopeMatch whole = MatchEnvelope(recording, reference, window_seconds);
  const std::vector<double> rec = Envelope(recording, window_seconds);
  const std::vector<double> ref = Envelope(reference, window_seconds);
  EnvelopeMatch result;
  if (whole.correlation <= 0) return result;
  const auto piece = std::max<size_t>(2, static_cast<size_t>(piece_seconds / window_seconds));
  const auto pause = static_cast<long>(max_pause_seconds / window_seconds);
  const long back = std::lround(0.05 / window_seconds);
  const double loudest = *std::max_element(ref.begin(), ref.end());

  // lag: where ref[from] sits in rec, less `from`
  long lag = std::lround(whole.offset_seconds / window_seconds);
  double weighted = 0, weights = 0, rec_energy = 0, ref_energy = 0;
  bool first = true;
  for (size_t from = 0; from < ref.size(); from += piece) {
    const size_t n = std::min(piece, ref.size() - from);
    double energy = 0;
    for (size_t i = from; i < from + n; ++i) energy += ref[i] * ref[i];
    if (n < 2 || std::sqrt(energy / static_cast<double>(n)) < loudest / 20) continue;
    double best = -2;
    long best_lag = lag;
    for (long l = lag - (first ? pause : back); l <= lag + pause; ++l) {
      const long at = static_cast<long>(from) + l;
      if (at < 0 || static_cast<size_t>(at) + n > rec.size()) continue;
      const double c = Correlation(rec, static_cast<size_t>(at), ref, from, n);
      if (c > best) {
        best = c;
        best_lag = l;
      }
    }
    if (best < -1) return EnvelopeMatch{};  // the piece does not fit in the recording
    if (first) result.offset_seconds = static_cast<double>(best_lag) * window_seconds;
    first = false;
    lag = best_lag;
    weighted += best * energy;
    weights += energy;
    for (size_t i = 0; i < n; ++i) {
      const double r = rec[static_cast<size_t>(static_cast<long>(from + i) + lag)];
      rec_energy += r * r;
    }
    ref_energy += energy;
  }
  if (weights <= 0) return EnvelopeMatch{};
  result.correlation = weighted / weights;
  result.gain = std::sqrt(rec_energy / ref_energy);
  return result;
}

}  // namespace sonavel::e2e
