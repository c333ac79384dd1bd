#include "app/media_player.h"

#include <unistd.h>

#include <gtest/gtest.h>
#include <QMediaPlayer>
#include <QPointer>
#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "app/temp_file.h"
#include "tests/app/tone_mp3.h"
#include "tests/app/wait.h"
#include "tests/support/temp_dir.h"

namespace sonavel {
namespace {

namespace fs = std::filesystem;
using testing::TempDir;
using testing::ToneMp3;
using testing::WaitFor;
using testing::WriteFile;

// Whether this process holds a descriptor on `path` (also once it is removed).
bool HeldOpen(const fs::path& path) {
  for (const auto& entry : fs::directory_iterator("/proc/self/fd")) {
    std::error_code error;
    const std::string target = fs::read_symlink(entry.path(), error).string();
    if (!error && (target == path.string() || target == path.string() + " (deleted)")) return true;
  }
  return false;
}

// Watches a player while it lives: the furthest position reached, the
// media states and the errors.
struct Watch {
  explicit Watch(QMediaPlayer* player) {
    QObject::connect(player, &QMediaPlayer::positionChanged, &context,
                     [this](qint64 position) { furthest = std::max(furthest, position); });
    QObject::connect(player, &QMediaPlayer::mediaStatusChanged, &context,
                     [this](QMediaPlayer::MediaStatus status) { statuses.push_back(status); });
    QObject::connect(
        player, &QMediaPlayer::errorOccurred, &context,
        [this](QMediaPlayer::Error error, const QString&) { errors.push_back(error); });
  }
  bool Saw(QMediaPlayer::MediaStatus status) const {
    return std::find(statuses.begin(), statuses.end(), status) != statuses.end();
  }
  QObject context;  // ends the connections with the watch
  qint64 furthest = 0;
  std::vector<QMediaPlayer::MediaStatus> statuses;
  std::vector<QMediaPlayer::Error> errors;
};

TEST(MediaPlayer, PlaysARealMp3ToItsEndAfterTheFileIsRemoved) {
  TempDir temp;
  const fs::path path = temp.path() / "plorix_yuyin_Tone0001.mp3";
  WriteFile(path, ToneMp3(1.0));
  MediaPlayer player;

  player.Open(path.string());
  EXPECT_TRUE(HeldOpen(path));
  ASSERT_NE(player.qtPlayer(), nullptr);
  Watch watch(player.qtPlayer());
  player.Play();
  DeleteFile(path.string());
  EXPECT_FALSE(fs::exists(path));

  ASSERT_TRUE(WaitFor([&] { return watch.Saw(QMediaPlayer::EndOfMedia); }));
  EXPECT_TRUE(watch.errors.empty());
  EXPECT_NEAR(static_cast<double>(player.qtPlayer()->duration()), 1000.0, 150.0);
  EXPECT_GE(watch.furthest, 700);  // it played on through the removal
}

TEST(MediaPlayer, OpeningTheNextFileStopsAndClosesTheFirst) {
  TempDir temp;
  const fs::path first = temp.path() / "first.mp3";
  const fs::path second = temp.path() / "second.mp3";
  WriteFile(first, ToneMp3(5.0));
  WriteFile(second, ToneMp3(0.6));
  MediaPlayer player;

  // Switching at several moments of the first item's playback.
  for (const int after : {0, 50, 300, 700}) {
    SCOPED_TRACE(after);
    player.Open(first.string());
    QPointer<QMediaPlayer> firstPlayer = player.qtPlayer();
    player.Play();
    ASSERT_TRUE(WaitFor([&] { return firstPlayer->position() >= after; }));

    player.Open(second.string());
    EXPECT_TRUE(firstPlayer.isNull());  // stopped and gone
    EXPECT_FALSE(HeldOpen(first));
    EXPECT_TRUE(HeldOpen(second));

    Watch watch(player.qtPlayer());
    player.Play();
    ASSERT_TRUE(WaitFor([&] { return watch.Saw(QMediaPlayer::EndOfMedia); }));
    EXPECT_FALSE(watch.Saw(QMediaPlayer::InvalidMedia));
    EXPECT_TRUE(watch.errors.empty());
    EXPECT_GE(watch.furthest, 400);
  }
}

TEST(MediaPlayer, AFileThatCannotBeOpenedLeavesNothingToPlay) {
  TempDir temp;
  const fs::path path = temp.path() / "a.mp3";
  WriteFile(path, ToneMp3(0.5));
  MediaPlayer player;
  player.Play();  // nothing open yet
  player.Open(path.string());
  ASSERT_TRUE(HeldOpen(path));

  player.Open((temp.path() / "missing.mp3").string());
  EXPECT_FALSE(HeldOpen(path));
  EXPECT_EQ(player.qtPlayer(), nullptr);
  player.Play();
  EXPECT_EQ(player.qtPlayer(), nullptr);
}

TEST(MediaPlayer, GarbageAndEmptyFilesPlayNothingAndThePlayerRecovers) {
  TempDir temp;
  std::string garbage(64 * 1024, '\0');
  for (std::size_t i = 0; i < garbage.size(); ++i) {
    garbage[i] = static_cast<char>((i * 2654435761u) >> 13);
  }
  struct Case {
    const char* name;
    std::string data;
  };
  MediaPlayer player;
  for (const Case& c :
       {Case{"garbage", garbage}, Case{"empty", ""}, Case{"text", "<html>503</html>"}}) {
    SCOPED_TRACE(c.name);
    const fs::path path = temp.path() / (std::string(c.name) + ".mp3");
    WriteFile(path, c.data);
    player.Open(path.string());
    ASSERT_NE(player.qtPlayer(), nullptr);
    Watch watch(player.qtPlayer());
    player.Play();
    DeleteFile(path.string());
    // It ends one way or another: an error, invalid media or a quick end.
    EXPECT_TRUE(WaitFor([&] {
      return !watch.errors.empty() || watch.Saw(QMediaPlayer::InvalidMedia) ||
             watch.Saw(QMediaPlayer::EndOfMedia);
    }));
  }
  const fs::path tone = temp.path() / "tone.mp3";
  WriteFile(tone, ToneMp3(0.5));
  player.Open(tone.string());
  Watch watch(player.qtPlayer());
  player.Play();
  EXPECT_TRUE(WaitFor([&] { return watch.Saw(QMediaPlayer::EndOfMedia); }));
  EXPECT_TRUE(watch.errors.empty());
}

}  // namespace
}  // namespace sonavel
