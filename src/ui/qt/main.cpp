#include <QIcon>
#include <QString>

#include "ui/qt/application.h"
#include "ui/qt/guarded_application.h"
#include "ui/qt/ui_style.h"
#include "ui/window_lifecycle.h"

// The title is not made the application's display name: X11 and Wayland
// would append it to every other window's title, and the instructions
// window is titled "说明" alone.
int main(int argc, char* argv[]) {
  zplport::GuardedApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("zplport"));
  QApplication::setDesktopFileName(QStringLiteral("zplport"));
  QApplication::setWindowIcon(zplport::ApplicationIcon());
  zplport::Application windows;
  windows.Handle(zplport::ui::LifecycleEvent::kProgramStarted);
  return QApplication::exec();
}
