#include "ui/qt/guarded_application.h"

#include "printing/print_failure.h"
#include "ui/qt/ui_style.h"

namespace zplport {

GuardedApplication::GuardedApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool GuardedApplication::notify(QObject* receiver, QEvent* event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (...) {
    try {
      ShowMessageBox(nullptr, DescribeCurrentException());
    } catch (...) {
      // Not even the message could be made; there is nothing left to tell.
    }
    return false;
  }
}

}  // namespace zplport
