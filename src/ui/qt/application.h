// The running desktop program: its two windows and the lifecycle rules they
// obey. The windows report their events here; the decisions of the rules
// open, bring forward and discard them, and end the program when no window
// is left. A discarded window is hidden at once and deleted once control
// is back in the event loop, so that no window is freed inside one of its
// own handlers. Needs a QApplication for its whole life.
#pragma once

#include <QObject>
#include <QPointer>

#include "ui/window_lifecycle.h"

namespace zplport {

class Form1;
class Form2;

class Application : public QObject {
  Q_OBJECT

 public:
  Application();
  ~Application() override;

  void Handle(ui::LifecycleEvent event);

  // The open windows, or null.
  Form1* main_window() const;
  Form2* instructions_window() const;

 private:
  void Carry(ui::Decision decision);

  ui::WindowLifecycle lifecycle_;
  QPointer<Form1> form1_;
  QPointer<Form2> form2_;
};

}  // namespace zplport
