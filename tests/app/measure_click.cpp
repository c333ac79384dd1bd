// The time a click of 按钮1 blocks the window, against the HTTPS test service
// on loopback, under Qt's offscreen platform: the whole handler (a real
// click on the real window), and the same steps one by one (token request,
// speech request, file write, open and play, delete).
//
//   measure_click [CLICKS]   prints medians and 90th percentiles in ms
//
// A measurement, not a test: it asserts nothing.
#include <stdlib.h>

#include <QApplication>
#include <QPushButton>
#include <QTest>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "app/access_token.h"
#include "app/main_window.h"
#include "app/media_player.h"
#include "app/temp_file.h"
#include "net/net.h"
#include "tests/app/scripted_service.h"
#include "tests/app/tone_mp3.h"
#include "tests/support/temp_dir.h"
#include "text/text.h"

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::time_point from, Clock::time_point to) {
  return std::chrono::duration<double, std::milli>(to - from).count();
}

void Print(const char* what, std::vector<double> ms) {
  std::sort(ms.begin(), ms.end());
  std::printf("  %-28s median %8.2f ms   p90 %8.2f ms   (n=%zu)\n", what, ms[ms.size() / 2],
              ms[ms.size() * 9 / 10], ms.size());
}

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  sonavel::testing::TempDir runtime;
  setenv("XDG_RUNTIME_DIR", runtime.path().c_str(), 1);
  QApplication app(argc, argv);
  const int clicks = argc > 1 ? std::max(2, std::atoi(argv[1])) : 30;

  sonavel::testing::TempDir temp;
  setenv("TMPDIR", temp.path().c_str(), 1);
  sonavel::testing::ScriptedService service;
  const std::string mp3 = sonavel::testing::ToneMp3(3.0);
  service.SetSpeechAnswer({200, "audio/mp3", mp3, {}});
  const sonavel::SpeechService endpoints = service.Service();

  sonavel::MainWindow window(endpoints);
  window.show();
  if (!QTest::qWaitForWindowExposed(&window)) return 1;
  auto* button = window.findChild<QPushButton*>(QStringLiteral("按钮1"));

  // The whole handler, clicked for real. The first click also starts GStreamer.
  std::vector<double> first;
  std::vector<double> whole;
  for (int i = 0; i <= clicks; ++i) {
    const auto start = Clock::now();
    QTest::mouseClick(button, Qt::LeftButton);
    (i == 0 ? first : whole).push_back(Ms(start, Clock::now()));
    QTest::qWait(30);
  }

  // The same steps one by one, with a player of their own.
  sonavel::MediaPlayer player;
  std::vector<double> token, speech, write, play, remove;
  for (int i = 0; i < clicks; ++i) {
    const auto t0 = Clock::now();
    sonavel::AccessToken = sonavel::Utf8ToAnsi(sonavel::HttpAccess(sonavel::TokenUrl(endpoints)));
    sonavel::AccessToken = sonavel::TextBetween(sonavel::AccessToken, "access_token\":\"", "\"");
    const auto t1 = Clock::now();
    const sonavel::Text query = "tex=" + sonavel::UrlEncode(sonavel::kEmptyBoxPrompt, false, true) +
                                "&tok=" + sonavel::AccessToken +
                                "&cuid=" + sonavel::RandomAlnumText(10) +
                                "&ctp=1&lan=zh&vol=5&per=4";
    sonavel::Text headers;
    sonavel::HttpAccessArgs args;
    args.ResponseHeaders = &headers;
    const sonavel::Bytes body =
        sonavel::HttpAccess(sonavel::SpeechUrlPrefix(endpoints) + query, args);
    const auto t2 = Clock::now();
    const std::string path =
        sonavel::WriteNewFile(sonavel::TemporaryFolder(), "plorix_yuyin_", ".mp3", body,
                              [] { return sonavel::RandomAlnumText(8); });
    const auto t3 = Clock::now();
    player.Open(path);
    player.Play();
    const auto t4 = Clock::now();
    sonavel::DeleteFile(path);
    const auto t5 = Clock::now();
    token.push_back(Ms(t0, t1));
    speech.push_back(Ms(t1, t2));
    write.push_back(Ms(t2, t3));
    play.push_back(Ms(t3, t4));
    remove.push_back(Ms(t4, t5));
    QTest::qWait(30);
  }

  std::printf("click of 按钮1 against the HTTPS test service on loopback (%zu-byte MP3 answer):\n",
              mp3.size());
  std::printf("  %-28s %8.2f ms\n", "first click (starts GStreamer)", first[0]);
  Print("whole handler", whole);
  Print("token request", token);
  Print("speech request", speech);
  Print("file write", write);
  Print("open + play", play);
  Print("delete", remove);
  return 0;
}
