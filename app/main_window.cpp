#include "app/main_window.h"

#include <QEvent>
#include <QGuiApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QString>
#include <algorithm>
#include <limits>
#include <utility>

#include "app/media_player.h"
#include "app/qt_text.h"
#include "app/version.h"

namespace sonavel {

QPoint CentredTopLeft(const QRect& screen, const QSize& outer) {
  // C++ division truncates toward zero, also for a screen smaller than the window.
  return {screen.x() + (screen.width() - outer.width()) / 2,
          screen.y() + (screen.height() - outer.height()) / 2};
}

QSize ClientSizeFor(const QMargins& frame) {
  const int width = kOuterSize.width() - frame.left() - frame.right();
  const int height = kOuterSize.height() - frame.top() - frame.bottom();
  return {std::max(width, kControlsExtent.width()), std::max(height, kControlsExtent.height())};
}

MainWindow::MainWindow(SpeechService service)
    : QWidget(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                           Qt::WindowCloseButtonHint),
      service_(std::move(service)),
      编辑框1(new QLineEdit(this)),
      按钮1(new QPushButton(this)),
      媒体播放1(new MediaPlayer(this)) {
  setObjectName(QStringLiteral("MainWindow"));
  setWindowTitle(QString::fromUtf8(version::kDescription));
  setFixedSize(kOuterSize);  // until a frame shows up around it
  setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    move(CentredTopLeft(screen->geometry(), kOuterSize));  // a window's pos() includes its frame
  }

  编辑框1->setObjectName(QStringLiteral("编辑框1"));
  编辑框1->setGeometry(16, 40, 312, 32);
  编辑框1->setFrame(true);
  编辑框1->setMaxLength(std::numeric_limits<int>::max());
  编辑框1->setText(QString::fromUtf8(kGreeting));
  编辑框1->setCursorPosition(0);
  编辑框1->deselect();
  编辑框1->setFocus();

  按钮1->setObjectName(QStringLiteral("按钮1"));
  按钮1->setGeometry(80, 88, 152, 32);
  按钮1->setText(QStringLiteral("按钮"));
  按钮1->setAutoDefault(false);
  按钮1->setDefault(false);
  connect(按钮1, &QPushButton::clicked, this, &MainWindow::On按钮1Clicked);

  媒体播放1->setObjectName(QStringLiteral("媒体播放1"));
}

MainWindow::~MainWindow() = default;

void MainWindow::SpeakText(const Text& text, std::int32_t speaker) {
  sonavel::SpeakText(text, speaker, *媒体播放1, service_);
}

bool MainWindow::event(QEvent* event) {
  const bool result = QWidget::event(event);
  switch (event->type()) {
    case QEvent::Show:
    case QEvent::Move:
      FitToFrame();
      break;
    default:
      break;
  }
  return result;
}

void MainWindow::FitToFrame() {
  const QRect outer = frameGeometry();
  const QRect inner = geometry();
  const QMargins frame(inner.left() - outer.left(), inner.top() - outer.top(),
                       outer.right() - inner.right(), outer.bottom() - inner.bottom());
  if (frame.left() < 0 || frame.top() < 0 || frame.right() < 0 || frame.bottom() < 0) return;
  const QSize client = ClientSizeFor(frame);
  if (client != size()) setFixedSize(client);
}

void MainWindow::On按钮1Clicked() {
  Text text = ToAnsiText(编辑框1->text());
  if (text.empty()) text = kEmptyBoxPrompt;
  SpeakText(text, 4);
}

}  // namespace sonavel
