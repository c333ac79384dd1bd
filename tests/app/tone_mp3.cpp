#include "tests/app/tone_mp3.h"

#include <lame/lame.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <numbers>
#include <vector>

namespace sonavel::testing {
namespace {

struct LameCloser {
  void operator()(lame_global_flags* lame) const { lame_close(lame); }
};

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "ToneMp3: %s failed\n", what);
  std::abort();
}

}  // namespace

std::string ToneMp3(double seconds) {
  constexpr int kRate = 22050;
  const std::unique_ptr<lame_global_flags, LameCloser> lame(lame_init());
  if (!lame) Fail("lame_init");
  if (lame_set_in_samplerate(lame.get(), kRate) != 0 ||
      lame_set_out_samplerate(lame.get(), kRate) != 0 ||
      lame_set_num_channels(lame.get(), 1) != 0 || lame_set_mode(lame.get(), MONO) != 0 ||
      lame_set_brate(lame.get(), 32) != 0 || lame_init_params(lame.get()) < 0) {
    Fail("lame set-up");
  }
  const int samples = static_cast<int>(kRate * seconds);
  std::vector<short> pcm(static_cast<std::size_t>(samples));
  for (int i = 0; i < samples; ++i) {
    pcm[static_cast<std::size_t>(i)] =
        static_cast<short>(8000 * std::sin(2 * std::numbers::pi * 440 * i / kRate));
  }
  std::vector<unsigned char> out(static_cast<std::size_t>(samples) * 5 / 4 + 7200);
  const int encoded = lame_encode_buffer(lame.get(), pcm.data(), pcm.data(), samples, out.data(),
                                         static_cast<int>(out.size()));
  if (encoded < 0) Fail("lame_encode_buffer");
  const int flushed =
      lame_encode_flush(lame.get(), out.data() + encoded, static_cast<int>(out.size()) - encoded);
  if (flushed < 0) Fail("lame_encode_flush");
  return std::string(reinterpret_cast<const char*>(out.data()),
                     static_cast<std::size_t>(encoded + flushed));
}

}  // namespace sonavel::testing
