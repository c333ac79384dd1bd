#include "app/media_player.h"

#include <QAudioOutput>
#include <QFile>
#include <QMediaPlayer>
#include <QTimer>
#include <QUrl>
#include <utility>

namespace sonavel {

MediaPlayer::MediaPlayer(QObject* parent) : QObject(parent) {
  // Once the event loop runs (the window is on screen by then), not while
  // the window is being built.
  QTimer::singleShot(0, this, &MediaPlayer::PrepareSpare);
}

MediaPlayer::~MediaPlayer() { Close(); }

void MediaPlayer::PrepareSpare() {
  if (spare_ != nullptr) return;
  spare_ = new QMediaPlayer(this);
  spare_->setAudioOutput(new QAudioOutput(spare_));
}

void MediaPlayer::Close() {
  // The Qt player goes with its item: a QMediaPlayer that is handed a second
  // device can take the first one's end of stream for the new one's and
  // refuse it as invalid media. Deleting it stops the audio at once, where
  // stop() can wait a second for a pipeline that has not settled yet. The
  // file goes after the player that reads it.
  delete player_;
  player_ = nullptr;
  file_.reset();
}

void MediaPlayer::Open(const std::string& path) {
  Close();
  auto file = std::make_unique<QFile>(QFile::decodeName(path.c_str()));
  if (!file->open(QIODevice::ReadOnly)) return;
  file_ = std::move(file);
  PrepareSpare();  // when Open comes before the event loop has made one
  player_ = std::exchange(spare_, nullptr);
  player_->setSourceDevice(file_.get(), QUrl::fromLocalFile(file_->fileName()));
  // The next spare once the caller has returned to the event loop, so that
  // it is not made between this Open and its Play.
  QTimer::singleShot(0, this, &MediaPlayer::PrepareSpare);
}

void MediaPlayer::Play() {
  if (player_ != nullptr) player_->play();
}

}  // namespace sonavel
