// Sound as numbers: WAV files read into mono samples, and the measures that
// tell whether a recording holds a given piece of audio.
//
// Samples are floats in [-1, 1]; several channels are averaged into one.
// Envelopes are RMS values over consecutive 10 ms windows, so recordings at
// different sample rates compare window by window.
//
//   Audio recorded = ReadWav("rec.wav");       // 16-bit or float PCM; throws when unreadable
//   Audio reference = ReadWav("ref.wav");      // e.g. an MP3 decoded with `mpg123 -w`
//   auto first = FirstLoudSample(recorded, 0.01f);  // sample index, or nullopt for silence
//   EnvelopeMatch m = MatchEnvelope(recorded, reference);
//   // m.correlation near 1 when the reference's loudness contour occurs in
//   // the recording; m.offset_seconds says where it starts.
#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace sonavel::e2e {

struct Audio {
  int rate = 0;  // samples per second
  std::vector<float> samples;

  double seconds() const { return rate > 0 ? static_cast<double>(samples.size()) / rate : 0; }
};

// Reads a RIFF WAVE file of 8-, 16-, 24- or 32-bit integer or 32-bit float PCM.
// A data chunk whose size is 0 or runs past the end of the file (a recorder
// that has not finished its header yet) is read to the end of the file.
Audio ReadWav(const std::filesystem::path& path);
// Writes mono 16-bit PCM.
void WriteWav(const std::filesystem::path& path, const Audio& audio);
// `seconds` of a sine wave of `hertz` at `amplitude`.
Audio Tone(int rate, double hertz, double seconds, double amplitude);

// The index of the first sample whose magnitude reaches `threshold`.
std::optional<size_t> FirstLoudSample(const Audio& audio, float threshold);
// The largest magnitude.
float Peak(const Audio& audio);
// RMS over the whole audio.
double Rms(const Audio& audio);
// RMS over consecutive windows of `window_seconds` (the last partial window dropped).
std::vector<double> Envelope(const Audio& audio, double window_seconds = 0.01);
// Seconds in windows whose RMS reaches `threshold`.
double LoudSeconds(const Audio& audio, double threshold, double window_seconds = 0.01);

struct EnvelopeMatch {
  double correlation = 0;     // Pearson correlation at the best offset, -1..1
  double offset_seconds = 0;  // where in the recording the reference starts
  double gain = 0;            // the recording's RMS over the reference's, at that offset
};
// Slides the reference's envelope along the recording's and returns the best
// fit. A reference longer than the recording gives correlation 0.
EnvelopeMatch MatchEnvelope(const Audio& recording, const Audio& reference,
                            double window_seconds = 0.01);

// The same, piece by piece: the reference is cut into pieces of
// `piece_seconds`, and each piece may sit up to `max_pause_seconds` later
// than the piece before it (or 50 ms earlier), so a pause that a busy machine
// put into the playback costs only the piece it fell into. The correlation is
// the pieces' correlations weighted by their loudness; silent pieces do not
// count. offset_seconds is where the first piece sits.
EnvelopeMatch MatchPieces(const Audio& recording, const Audio& reference,
                          double window_seconds = 0.01, double piece_seconds = 0.5,
                          double max_pause_seconds = 0.5);

}  // namespace sonavel::e2e
