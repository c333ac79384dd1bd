// Runs the Qt event loop until a condition holds, for tests that watch
// asynchronous Qt objects.
//   EXPECT_TRUE(WaitFor([&] { return player.playbackState() == QMediaPlayer::StoppedState; }));
#pragma once

#include <QDeadlineTimer>
#include <QTest>
#include <chrono>
#include <functional>

namespace sonavel::testing {

inline bool WaitFor(const std::function<bool()>& done,
                    std::chrono::milliseconds limit = std::chrono::seconds(10)) {
  const QDeadlineTimer deadline(limit);
  while (!done()) {
    if (deadline.hasExpired()) return false;
    QTest::qWait(10);
  }
  return true;
}

}  // namespace sonavel::testing
