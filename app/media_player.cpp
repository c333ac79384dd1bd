#include "app/media_player.h"

#include <QAudioOutput>
#include <QFile>
#include <QMediaPlayer>
#include <QUrl>

namespace sonavel {

MediaPlayer::MediaPlayer(QObject* parent) : QObject(parent) {}

MediaPlayer::~MediaPlayer() { Close(); }

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
  player_ = new QMediaPlayer(this);
  player_->setAudioOutput(new QAudioOutput(player_));
  player_->setSourceDevice(file_.get(), QUrl::fromLocalFile(file_->fileName()));
}

void MediaPlayer::Play() {
  if (player_ != nullptr) player_->play();
}

}  // namespace sonavel
