#include "service/synthesizer.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "tests/service/audio_check.h"
#include "tests/service/service_fixture.h"

namespace sonavel::service {
namespace {

using sonavel::testing::DecodeMp3;
using sonavel::testing::LooksLikeMp3;
using sonavel::testing::Pcm;
using sonavel::testing::Rms;
using sonavel::testing::SharedSynthesizer;
using sonavel::testing::ZeroCrossingsPerSecond;

constexpr const char* kGreeting = "你好，欢迎使用语音朗读工具";

Pcm Decoded(const std::string& mp3) {
  std::optional<Pcm> pcm = DecodeMp3(mp3);
  EXPECT_TRUE(pcm.has_value()) << "mpg123 could not decode " << mp3.size() << " bytes";
  return pcm.value_or(Pcm{});
}

TEST(Synthesizer, SpeaksChineseAsMp3) {
  const std::string mp3 = SharedSynthesizer().SpeakMp3(kGreeting, 4, 5);
  ASSERT_TRUE(LooksLikeMp3(mp3));
  const Pcm pcm = Decoded(mp3);
  EXPECT_EQ(pcm.sample_rate, 22050);
  EXPECT_EQ(pcm.channels, 1);
  EXPECT_GT(pcm.seconds(), 1.5);  // 13 syllables and a pause
  EXPECT_LT(pcm.seconds(), 8.0);
  EXPECT_GT(Rms(pcm.samples), 1000.0);
}

TEST(Synthesizer, EachVoiceHasItsOwnPaceAndPitch) {
  std::map<int, Pcm> voices;
  for (const Voice& voice : kVoices)
    voices[voice.per] = Decoded(SharedSynthesizer().SpeakMp3(kGreeting, voice.per, 5));
  // Pace: 4 is quickest, then 0, 1, and 3 slowest.
  const int by_pace[] = {4, 0, 1, 3};
  for (int i = 0; i + 1 < 4; ++i) {
    SCOPED_TRACE(::testing::Message() << "per " << by_pace[i] << " before per " << by_pace[i + 1]);
    EXPECT_LT(voices[by_pace[i]].seconds() * 1.05, voices[by_pace[i + 1]].seconds());
  }
  // Pitch: the female voices 0 and 4 cross zero more often than the male 1 and 3.
  for (const int female : {0, 4}) {
    for (const int male : {1, 3}) {
      SCOPED_TRACE(::testing::Message() << "per " << female << " above per " << male);
      EXPECT_GT(ZeroCrossingsPerSecond(voices[female]), 1.2 * ZeroCrossingsPerSecond(voices[male]));
    }
  }
}

TEST(Synthesizer, LouderWithEachVolumeStep) {
  double previous = 0.0;
  double at_five = 0.0;
  for (const int volume : {0, 3, 5, 10, 15}) {
    SCOPED_TRACE(volume);
    const double rms = Rms(Decoded(SharedSynthesizer().SpeakMp3(kGreeting, 1, volume)).samples);
    EXPECT_GT(rms, previous * 1.2);
    previous = rms;
    if (volume == 5) at_five = rms;
  }
  EXPECT_GT(at_five, 1000.0);
}

TEST(Synthesizer, TextWithoutSoundGivesShortSilence) {
  for (const std::string text : {"   ", "\xE3\x80\x82", "\n"}) {  // blanks, "。", a line feed
    SCOPED_TRACE(text);
    const std::string mp3 = SharedSynthesizer().SpeakMp3(text, 4, 5);
    ASSERT_TRUE(LooksLikeMp3(mp3));
    const Pcm pcm = Decoded(mp3);
    EXPECT_GE(pcm.seconds(), 0.1);
    EXPECT_LT(pcm.seconds(), 1.0);
    EXPECT_LT(Rms(pcm.samples), 50.0);
  }
}

TEST(Synthesizer, ReadsMarkupAsText) {
  // Neither SSML nor espeak-ng's [[phoneme]] input is interpreted.
  const std::string mp3 =
      SharedSynthesizer().SpeakMp3("<audio src=\"/etc/passwd\"/>[[h@l'oU]]", 1, 5);
  ASSERT_TRUE(LooksLikeMp3(mp3));
  EXPECT_GT(Decoded(mp3).seconds(), 1.0);  // spoken, not swallowed as markup
}

TEST(Synthesizer, UnknownVoiceGivesNothing) {
  EXPECT_EQ(SharedSynthesizer().SpeakMp3("a", 2, 5), "");
  EXPECT_EQ(SharedSynthesizer().SpeakMp3("a", -1, 5), "");
}

TEST(ApplyVolume, ScalesLinearlyAndBendsPeaksInsteadOfClipping) {
  const struct {
    int volume;
    std::vector<std::int16_t> in, want;
  } cases[] = {
      {5, {0, 1000, -1000, 20000}, {0, 1000, -1000, 20000}},
      {0, {0, 6000, -6000, 30000}, {0, 1000, -1000, 5000}},
      {11, {0, 1000, -1000, 3000}, {0, 2000, -2000, 6000}},
      {15, {0, 3000, -3000}, {0, 8000, -8000}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.volume);
    std::vector<std::int16_t> samples = c.in;
    ApplyVolume(samples, c.volume);
    EXPECT_EQ(samples, c.want);
  }

  std::vector<std::int16_t> loud = {12000, 16000, 24000, 32767, -32768};
  ApplyVolume(loud, 15);
  EXPECT_TRUE(std::is_sorted(loud.begin(), loud.begin() + 4));
  EXPECT_GT(loud[0], 29491);  // 12000 * 8/3 = 32000 becomes less...
  EXPECT_LT(loud[0], 32000);  // ...but more than the knee at 0.9 of full scale
  EXPECT_GT(loud[3], 32000);  // the loudest stay loudest, and no sample wraps
  EXPECT_LT(loud[4], -32000);
}

}  // namespace
}  // namespace sonavel::service
