// Speed of the text library beside plain references over the same buffers:
// the conversions beside iconv, UrlEncode beside curl_easy_escape,
// TextBetween beside std::string_view::find. Each runs on 64 KiB and 1 MiB
// to show that the cost grows linearly with the input.
#include <benchmark/benchmark.h>
#include <curl/curl.h>
#include <iconv.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <random>
#include <string>
#include <string_view>

#include "text/text.h"

namespace sonavel {
namespace {

constexpr std::int64_t kSmall = 64 << 10;
constexpr std::int64_t kLarge = 1 << 20;

// Deterministic sample texts of about `size` bytes.
enum class Sample { kMixed, kAscii };

// Code page 936 text: runs of GB2312 characters between ASCII words,
// numbers and punctuation, about two thirds of the bytes Chinese.
Text MixedAnsi(std::size_t size) {
  std::mt19937 random(936);
  Text out;
  while (out.size() < size) {
    const std::size_t chars = 1 + random() % 12;
    for (std::size_t i = 0; i < chars; ++i) {
      out.push_back(static_cast<char>(0xB0 + random() % 0x27));  // rows B0..D6
      out.push_back(static_cast<char>(0xA1 + random() % 0x5E));
    }
    const std::size_t letters = 1 + random() % 10;
    out.push_back(' ');
    for (std::size_t i = 0; i < letters; ++i) out.push_back(static_cast<char>('a' + random() % 26));
    out.push_back(random() % 4 == 0 ? '\n' : ' ');
  }
  return out;
}

Text AsciiText(std::size_t size) {
  std::mt19937 random(65001);
  Text out;
  while (out.size() < size) {
    const std::size_t letters = 1 + random() % 10;
    for (std::size_t i = 0; i < letters; ++i) out.push_back(static_cast<char>('a' + random() % 26));
    out.push_back(random() % 8 == 0 ? '\n' : ' ');
  }
  return out;
}

// The first `size` bytes of `text`, cut back to a whole character.
Text CutAnsi(const Text& text, std::size_t size) {
  std::size_t pos = 0;
  while (pos < text.size()) {
    const std::size_t next = pos + CharLength(text, pos);
    if (next > size) break;
    pos = next;
  }
  return text.substr(0, pos);
}

// Code page 936 input of `size` bytes.
Text AnsiInput(Sample sample, std::size_t size) {
  return sample == Sample::kAscii ? AsciiText(size).substr(0, size)
                                  : CutAnsi(MixedAnsi(size), size);
}

// UTF-8 input of `size` bytes (the same kind of text), cut back to a whole
// character.
Bytes Utf8Input(Sample sample, std::size_t size) {
  std::string utf8 = AnsiToUtf8(sample == Sample::kAscii ? AsciiText(size) : MixedAnsi(size));
  std::size_t end = std::min(size, utf8.size());
  while (end > 0 && end < utf8.size() && (static_cast<std::uint8_t>(utf8[end]) & 0xC0) == 0x80)
    --end;
  utf8.resize(end);
  return ToBytes(utf8);
}

Sample SampleOf(const benchmark::State& state) {
  return state.range(1) == 0 ? Sample::kMixed : Sample::kAscii;
}

void Label(benchmark::State& state, std::size_t bytes) {
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes));
  state.SetLabel(SampleOf(state) == Sample::kMixed ? "mixed" : "ascii");
}

// Plain iconv: one descriptor and one output buffer for the whole run.
struct IconvCloser {
  void operator()(void* cd) const { iconv_close(static_cast<iconv_t>(cd)); }
};
using IconvHandle = std::unique_ptr<void, IconvCloser>;

IconvHandle OpenIconv(const char* to, const char* from) {
  const iconv_t cd = iconv_open(to, from);
  return IconvHandle(cd == reinterpret_cast<iconv_t>(-1) ? nullptr : cd);
}

void PlainIconv(benchmark::State& state, const char* to, const char* from,
                const std::string& input) {
  const IconvHandle cd = OpenIconv(to, from);
  if (!cd) {
    state.SkipWithError("iconv_open failed");
    return;
  }
  std::string output(input.size() * 2 + 16, '\0');
  for (auto _ : state) {
    char* in = const_cast<char*>(input.data());
    std::size_t inLeft = input.size();
    char* out = output.data();
    std::size_t outLeft = output.size();
    if (iconv(static_cast<iconv_t>(cd.get()), &in, &inLeft, &out, &outLeft) ==
        static_cast<std::size_t>(-1)) {
      state.SkipWithError("iconv stopped");
      return;
    }
    benchmark::DoNotOptimize(out);
    benchmark::ClobberMemory();
  }
  Label(state, input.size());
}

void BM_Utf8ToAnsi(benchmark::State& state) {
  const Bytes input = Utf8Input(SampleOf(state), static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(Utf8ToAnsi(input));
  Label(state, input.size());
}

void BM_Utf8ToAnsi_iconv(benchmark::State& state) {
  const Bytes input = Utf8Input(SampleOf(state), static_cast<std::size_t>(state.range(0)));
  PlainIconv(state, "CP936", "UTF-8", std::string(input.begin(), input.end()));
}

void BM_AnsiToUtf8(benchmark::State& state) {
  const Text input = AnsiInput(SampleOf(state), static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(AnsiToUtf8(input));
  Label(state, input.size());
}

void BM_AnsiToUtf8_iconv(benchmark::State& state) {
  PlainIconv(state, "UTF-8", "CP936",
             AnsiInput(SampleOf(state), static_cast<std::size_t>(state.range(0))));
}

// UrlEncode with the safe set kept beside curl, which keeps its unreserved
// set; and the all-escaping form the speech request uses.
void BM_UrlEncode(benchmark::State& state) {
  const Text input = AnsiInput(SampleOf(state), static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(UrlEncode(input, true));
  Label(state, input.size());
}

void BM_UrlEncode_escapeAll(benchmark::State& state) {
  const Text input = AnsiInput(SampleOf(state), static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(UrlEncode(input));
  Label(state, input.size());
}

struct CurlCleanup {
  void operator()(CURL* curl) const { curl_easy_cleanup(curl); }
};
struct CurlFree {
  void operator()(char* p) const { curl_free(p); }
};

void BM_UrlEncode_curl(benchmark::State& state) {
  const Text input = AnsiInput(SampleOf(state), static_cast<std::size_t>(state.range(0)));
  const std::unique_ptr<CURL, CurlCleanup> curl(curl_easy_init());
  if (!curl) {
    state.SkipWithError("curl_easy_init failed");
    return;
  }
  for (auto _ : state) {
    const std::unique_ptr<char, CurlFree> escaped(
        curl_easy_escape(curl.get(), input.data(), static_cast<int>(input.size())));
    if (!escaped) {
      state.SkipWithError("curl_easy_escape failed");
      return;
    }
    benchmark::DoNotOptimize(escaped.get());
  }
  Label(state, input.size());
}

// A token response padded to the size: the markers stand at the very end,
// so the whole text is searched.
Text TokenText(Sample sample, std::size_t size) {
  return AnsiInput(sample, size) + "{\"access_token\":\"24.abc-XYZ\",\"expires_in\":2592000}";
}

void BM_TextBetween(benchmark::State& state) {
  const Text text = TokenText(SampleOf(state), static_cast<std::size_t>(state.range(0)));
  const Text front = "access_token\":\"";
  const Text back = "\"";
  for (auto _ : state) benchmark::DoNotOptimize(TextBetween(text, front, back));
  Label(state, text.size());
}

void BM_TextBetween_find(benchmark::State& state) {
  const Text text = TokenText(SampleOf(state), static_cast<std::size_t>(state.range(0)));
  const std::string_view view(text);
  const std::string_view front = "access_token\":\"";
  const std::string_view back = "\"";
  for (auto _ : state) {
    Text result;
    const std::size_t p = view.find(front);
    if (p != std::string_view::npos) {
      const std::size_t c = p + front.size();
      const std::size_t q = view.find(back, c);
      if (q != std::string_view::npos) result = Text(view.substr(c, q - c));
    }
    benchmark::DoNotOptimize(result);
  }
  Label(state, text.size());
}

// Sizes 64 KiB and 1 MiB; samples mixed (0) and ASCII (1).
void Sizes(benchmark::internal::Benchmark* b) {
  for (const std::int64_t sample : {0, 1})
    for (const std::int64_t size : {kSmall, kLarge}) b->Args({size, sample});
  b->ArgNames({"bytes", "ascii"});
}

BENCHMARK(BM_Utf8ToAnsi)->Apply(Sizes);
BENCHMARK(BM_Utf8ToAnsi_iconv)->Apply(Sizes);
BENCHMARK(BM_AnsiToUtf8)->Apply(Sizes);
BENCHMARK(BM_AnsiToUtf8_iconv)->Apply(Sizes);
BENCHMARK(BM_UrlEncode)->Apply(Sizes);
BENCHMARK(BM_UrlEncode_escapeAll)->Apply(Sizes);
BENCHMARK(BM_UrlEncode_curl)->Apply(Sizes);
BENCHMARK(BM_TextBetween)->Apply(Sizes);
BENCHMARK(BM_TextBetween_find)->Apply(Sizes);

}  // namespace
}  // namespace sonavel

int main(int argc, char** argv) {
  if (curl_global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK) {
    std::fprintf(stderr, "curl_global_init failed\n");
    return 1;
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  curl_global_cleanup();
  return 0;
}
