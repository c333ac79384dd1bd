// The start-up routine of sonavel: initialise the window system, empty
// AccessToken, register the exit clean-up, show MainWindow centred, run the
// message loop until the window is closed, return 0. Exit code -1 (255 to
// the shell) when the window system cannot be initialised or the window
// cannot be created. No command line of its own is read.
#include <QApplication>
#include <QWindow>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <new>

#include "app/access_token.h"
#include "app/main_window.h"
#include "app/version.h"

namespace {

// While the window system starts, a fatal Qt message (no display, no
// platform plugin) ends the program with -1 instead of an abort.
void StartUpMessageHandler(QtMsgType type, const QMessageLogContext&, const QString& message) {
  std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
  if (type == QtFatalMsg) std::_Exit(-1);
}

}  // namespace

int main(int argc, char* argv[]) {
  // 1. The window system and the services the controls need.
  const QtMessageHandler previous = qInstallMessageHandler(StartUpMessageHandler);
  QApplication app(argc, argv);
  qInstallMessageHandler(previous);
  QApplication::setApplicationName(QString::fromUtf8(sonavel::version::kDescription));
  QApplication::setApplicationVersion(QString::fromUtf8(sonavel::version::kVersion));
  QGuiApplication::setDesktopFileName(QStringLiteral("sonavel"));

  // 2. and 3. The one program-wide variable, and its release when the program ends.
  sonavel::AccessToken.clear();
  std::atexit(sonavel::ReleaseAccessToken);

  // 4. The window, centred, shown.
  std::unique_ptr<sonavel::MainWindow> window;
  try {
    window = std::make_unique<sonavel::MainWindow>();
  } catch (const std::bad_alloc&) {
    return -1;
  }
  window->winId();  // creates the native window now, so that a failure shows here
  if (window->windowHandle() == nullptr || window->windowHandle()->handle() == nullptr) return -1;
  window->show();

  // 5. The message loop, until no window is left.
  QApplication::exec();

  // 6.
  return 0;
}
