// The peer of the start-up benchmark: a bare Qt 6 window of the main window's size (a client
// area of 490 x 313 under a one-line menu bar), nothing else.
#include <QApplication>
#include <QMainWindow>
#include <QMenuBar>

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QMainWindow window;
  window.setWindowTitle(QStringLiteral("Bare window"));
  window.menuBar()->addMenu(QStringLiteral("Program"));
  window.resize(490, 313 + window.menuBar()->sizeHint().height());
  window.show();
  return app.exec();
}
