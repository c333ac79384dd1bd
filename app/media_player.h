// 媒体播放1's kind: an audio player without a surface, over Qt Multimedia
// (QMediaPlayer with a QAudioOutput to the default output device).
//
// Open closes and stops what was open, then opens the file itself (a QFile
// handed to a new QMediaPlayer with setSourceDevice) and keeps it open until
// the next Open or the player's end, so the file may be removed right after
// Play without cutting the audio short. Each item gets a QMediaPlayer of its
// own: Qt 6.4 cannot be trusted to take a second device on the same one.
// The next item's player is made ahead of time (soon after construction,
// and again soon after every Open), so that Open does not pay for creating
// one: the first one also starts GStreamer, which takes about 100 ms.
// The decoder is chosen by the file's contents, with its name (".mp3") as
// the hint. Play starts the open item from its beginning and returns at
// once; decoding and output run on Qt's and GStreamer's own threads, also
// while the window's thread is blocked. Nothing is reported: a file that
// cannot be opened or decoded plays nothing.
//
//   MediaPlayer player;
//   player.Open("/tmp/plorix_yuyin_a8Zk0Qm3.mp3");
//   player.Play();
#pragma once

#include <QObject>
#include <memory>
#include <string>

#include "app/speak_text.h"

class QFile;
class QMediaPlayer;

namespace sonavel {

class MediaPlayer : public QObject, public AudioPlayer {
  Q_OBJECT

 public:
  explicit MediaPlayer(QObject* parent = nullptr);
  ~MediaPlayer() override;

  void Open(const std::string& path) override;
  void Play() override;

  // The Qt player of the open item (null when nothing is open), for those
  // who watch its state; it changes with every Open.
  QMediaPlayer* qtPlayer() const { return player_; }

 private:
  // Stops the player and lets go of the file it had open.
  void Close();
  // Makes the spare player for the next item, unless there is one.
  void PrepareSpare();

  QMediaPlayer* player_ = nullptr;  // a child of this object, with its QAudioOutput
  QMediaPlayer* spare_ = nullptr;   // the same, unused: the next item's
  std::unique_ptr<QFile> file_;
};

}  // namespace sonavel
