// Click-to-sound latency of the built tool, beside the shell pipeline a user
// might write instead (curl for the token, curl for the audio, mpg123 to play
// it), against the same local speech service, into the same sink, in one run.
// Also the service's time per request as a client sees it.
//
//   sonavel_e2e_latency [ROUNDS]     # default 5
//
// Latency is from the moment before the click (or before the pipeline starts)
// to the first loud sample that reaches the sink. Prints one table.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <exception>
#include <string>
#include <thread>
#include <vector>

#include "tests/e2e/audio.h"
#include "tests/e2e/local_service.h"
#include "tests/e2e/tool_session.h"
#include "tests/support/test_ca.h"

namespace sonavel::e2e {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::duration;

constexpr char kText[] = "今天天气很好我们出去";  // 10 characters

constexpr char kPipeline[] = R"sh(set -e
base=$1 ca=$2 id=$3 secret=$4 text=$5
token=$(curl -sf --noproxy '*' --cacert "$ca" \
  "$base/oauth/2.0/token?grant_type=client_credentials&client_id=$id&client_secret=$secret" |
  sed -n 's/.*"access_token":"\([^"]*\)".*/\1/p')
curl -sf --noproxy '*' --cacert "$ca" -G --data-urlencode "tex=$text" -d "tok=$token" \
  -d cuid=pipeline01 -d ctp=1 -d lan=zh -d vol=5 -d per=4 "$base/text2audio" |
  mpg123 -q -o pulse -
)sh";

struct Summary {
  double min = 0, median = 0, max = 0;
};

Summary Summarise(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  if (values.empty()) return {};
  return {values.front(), values[values.size() / 2], values.back()};
}

double Milliseconds(Clock::duration d) { return duration<double, std::milli>(d).count(); }

// Waits for the sound that follows `start` to end, then the latency to its first loud sample.
double HeardAfter(ToolSession& session, const Audio& reference, Clock::time_point start) {
  if (!session.WaitForSound(reference, std::chrono::milliseconds(20000))) {
    throw std::runtime_error("no sound within 20 s");
  }
  const Audio heard = session.StopRecording();
  const auto first = FirstLoudSample(heard, kLoudSample);
  if (!first) throw std::runtime_error("the recording is silent");
  return Milliseconds(session.recording().SampleTime(*first) - start);
}

void Print(const char* what, const Summary& s, size_t n) {
  std::printf("%-44s %8.1f %8.1f %8.1f   (n=%zu)\n", what, s.min, s.median, s.max, n);
}

int Measure(int rounds) {
  ToolSession session;
  session.StartTool();
  session.ReplaceText(kText);
  const Audio reference = session.Reference(kText);
  std::this_thread::sleep_for(std::chrono::milliseconds(300));

  const auto& build = Build();
  const std::string ca = sonavel::testing::TestCa::Local().ca_file();
  std::vector<double> tool, answered, pipeline;
  for (int round = 0; round < rounds; ++round) {
    session.Record();
    const size_t before = session.SpeechRequests();
    const auto click = session.ClickButton();
    // The service logs a request once it has sent the answer.
    WaitUntil([&] { return session.SpeechRequests() > before; }, std::chrono::milliseconds(20000),
              std::chrono::milliseconds(1));
    answered.push_back(Milliseconds(Clock::now() - click));
    tool.push_back(HeardAfter(session, reference, click));

    session.Record();
    const auto start = Clock::now();
    const CommandResult result =
        RunCommand({"sh", "-c", kPipeline, "pipeline", session.service().url(), ca, build.api_key,
                    build.secret_key, kText},
                   session.environment(), std::chrono::milliseconds(20000));
    if (result.status != 0) throw std::runtime_error("the pipeline failed: " + result.err);
    pipeline.push_back(HeardAfter(session, reference, start));
  }

  // The service's time per request, as a client on the same machine sees it
  // (a new TLS connection for each, as both the tool and curl make).
  const HttpsClient client(ca);
  std::vector<double> token_ms, speech_ms;
  std::string token;
  for (int i = 0; i < 20; ++i) {
    auto start = Clock::now();
    token = client.Token(session.service().url(), build.api_key, build.secret_key);
    token_ms.push_back(Milliseconds(Clock::now() - start));
    start = Clock::now();
    const HttpAnswer answer = client.Speech(session.service().url(), token, kText, 5, 4);
    speech_ms.push_back(Milliseconds(Clock::now() - start));
    if (answer.status != 200) throw std::runtime_error("speech request failed: " + answer.body);
  }

  std::printf("text: %s (10 characters, %.2f s of speech)\n", kText, reference.seconds());
  std::printf("%-44s %8s %8s %8s\n", "milliseconds", "min", "median", "max");
  Print("tool: click to first loud sample", Summarise(tool), tool.size());
  Print("tool: click to the speech answer sent", Summarise(answered), answered.size());
  Print("pipeline: start to first loud sample", Summarise(pipeline), pipeline.size());
  Print("service: token request (TLS, loopback)", Summarise(token_ms), token_ms.size());
  Print("service: speech request (TLS, loopback)", Summarise(speech_ms), speech_ms.size());
  session.CloseTool();
  return 0;
}

}  // namespace
}  // namespace sonavel::e2e

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  try {
    return sonavel::e2e::Measure(rounds);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "sonavel_e2e_latency: %s\n", e.what());
    return 1;
  }
}
