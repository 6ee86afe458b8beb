// The desktop program's QApplication. An exception that an event handler
// lets out must not unwind through Qt, which does not support it: it is
// shown to the operator in a message box instead, and the program goes on.
#pragma once

#include <QApplication>

class QEvent;
class QObject;

namespace zplport {

class GuardedApplication : public QApplication {
  Q_OBJECT

 public:
  GuardedApplication(int& argc, char** argv);

  bool notify(QObject* receiver, QEvent* event) override;
};

}  // namespace zplport
