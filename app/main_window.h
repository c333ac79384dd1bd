// MainWindow: the program's only window, and what a click of its button does.
//
// Outer size 364 x 179 pixels, frame and title bar included, centred on the
// primary screen when created: left = (screen width - 364) / 2, top =
// (screen height - 179) / 2, both truncated toward zero. Title "SonavelV1.0",
// fixed border (no resize, no maximize), minimize and close buttons, movable,
// not kept on top, default palette and font, no menu.
//
// The client area is what is left of 364 x 179 inside the window manager's
// frame; it is set once the frame is known (on X11 that is after the window
// manager has framed the window), and it is never smaller than the controls
// need (328 x 120). Where nothing draws a frame (X11 without a window
// manager) the client area is the whole 364 x 179.
//
// Controls, at client coordinates, with their names as object names:
//   编辑框1  QLineEdit   16,40 312x32  framed, one line, no length limit of
//                                      its own, a one-line greeting, caret at
//                                      the start, nothing selected; focus
//                                      starts here
//   按钮1    QPushButton 80,88 152x32  caption "按钮", never the default button
//   媒体播放1 MediaPlayer (no surface, takes no focus), owned by the window
//
// A click of 按钮1 takes the box's text as code page 936 Text ("?" for what
// code page 936 lacks), or kEmptyBoxPrompt when that has zero bytes (blanks
// are not empty), and calls SpeakText with the voice 4. The click blocks the
// window for both requests; the audio plays on afterwards.
#pragma once

#include <QMargins>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QWidget>
#include <cstdint>

#include "app/speak_text.h"
#include "text/types.h"

class QLineEdit;
class QPushButton;

namespace sonavel {

class MediaPlayer;

// "请输入您想播放的内容" in code page 936: what is spoken for an empty box.
inline constexpr char kEmptyBoxPrompt[] =
    "\xC7\xEB\xCA\xE4\xC8\xEB\xC4\xFA\xCF\xEB\xB2\xA5\xB7\xC5\xB5\xC4\xC4\xDA\xC8\xDD";

// The greeting that stands in 编辑框1 at start (UTF-8).
inline constexpr char kGreeting[] = "你好！请在这里输入想要朗读的文字。";

// The window's outer size and the part of the client area the controls use.
inline constexpr QSize kOuterSize{364, 179};
inline constexpr QSize kControlsExtent{328, 120};

// Where a window of outer size `outer` goes to stand centred on `screen`:
// its top-left corner, each half truncated toward zero.
//   CentredTopLeft({0, 0, 1024, 768}, {364, 179}) == QPoint(330, 294)
QPoint CentredTopLeft(const QRect& screen, const QSize& outer);

// The client size that makes the outer size 364 x 179 with `frame` around it,
// at least kControlsExtent.
//   ClientSizeFor({}) == QSize(364, 179);  ClientSizeFor({1, 24, 1, 1}) == QSize(362, 154)
QSize ClientSizeFor(const QMargins& frame);

class MainWindow : public QWidget {
  Q_OBJECT

 public:
  // `service` is where SpeakText turns; the build's constants by default.
  explicit MainWindow(SpeechService service = SpeechService::BuiltIn());
  ~MainWindow() override;

  // SpeakText through this window's player 媒体播放1. Writes AccessToken.
  void SpeakText(const Text& text, std::int32_t speaker);

 protected:
  bool event(QEvent* event) override;

 private:
  // The click handler of 按钮1.
  void On按钮1Clicked();
  // Makes the client area fill 364 x 179 less the frame, once the frame is known.
  void FitToFrame();

  SpeechService service_;
  QLineEdit* 编辑框1;
  QPushButton* 按钮1;
  MediaPlayer* 媒体播放1;
};

}  // namespace sonavel
