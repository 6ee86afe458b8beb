#include "ui/qt/form2.h"

#include <QCloseEvent>
#include <QPushButton>

#include "ui/qt/application.h"
#include "ui/qt/ui_style.h"
#include "ui/window_layout.h"

namespace zplport {

using ui::LifecycleEvent;

// The text is set as the window is built, so a window opened again shows
// it afresh.
Form2::Form2(Application& app) : app_(app) {
  BuildWindow(*this, ui::InstructionsWindow());
  connect(findChild<QPushButton*>(Text(ui::Control(ui::InstructionsControl::kCommand1).name)),
          &QPushButton::clicked, this, &Form2::Command1_Click);
}

void Form2::closeEvent(QCloseEvent* event) {
  event->ignore();
  app_.Handle(LifecycleEvent::kInstructionsCloseRequested);
}

void Form2::Command1_Click() { app_.Handle(LifecycleEvent::kBackPressed); }

}  // namespace zplport
