#include "app/media_player.h"

#include <QAudioOutput>
#include <QFile>
#include <QMediaPlayer>
#include <QUrl>

namespace sonavel {

MediaPlayer::MediaPlayer(QObject* parent)
    : QObject(parent), output_(new QAudioOutput(this)), player_(new QMediaPlayer(this)) {
  player_->setAudioOutput(output_);
}

MediaPlayer::~MediaPlayer() { Close(); }

void MediaPlayer::Close() {
  player_->stop();
  player_->setSourceDevice(nullptr);
  file_.reset();
}

void MediaPlayer::Open(const std::string& path) {
  Close();
  auto file = std::make_unique<QFile>(QFile::decodeName(path.c_str()));
  if (!file->open(QIODevice::ReadOnly)) return;
  file_ = std::move(file);
  player_->setSourceDevice(file_.get(), QUrl::fromLocalFile(file_->fileName()));
}

void MediaPlayer::Play() {
  if (!file_) return;
  if (player_->position() != 0) player_->setPosition(0);
  player_->play();
}

}  // namespace sonavel
