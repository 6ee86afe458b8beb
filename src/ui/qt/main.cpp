#include <QApplication>
#include <QString>

#include "ui/qt/form1.h"
#include "ui/qt/ui_style.h"

// The title is not made the application's display name: X11 and Wayland
// would append it to every other window's title, and the instructions
// window is titled "说明" alone.
int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("zplport"));
  QApplication::setDesktopFileName(QStringLiteral("zplport"));
  QApplication::setWindowIcon(zplport::ApplicationIcon());
  zplport::Form1 form1;
  form1.show();
  return QApplication::exec();
}
