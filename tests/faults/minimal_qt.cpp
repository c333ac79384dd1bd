// The reference for the tool's start-up figures: the smallest Qt Widgets
// program that shows a window of the tool's size, built like the tool.
#include <QApplication>
#include <QWidget>

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QWidget window;
  window.setWindowTitle("MinimalQtWidgets");
  window.setFixedSize(364, 179);
  window.show();
  return app.exec();
}
