#include <QApplication>

#include "app/qt_desktop.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  zelk::QtDesktop desktop;
  zelk::SetDesktop(&desktop);
  return 0;
}
