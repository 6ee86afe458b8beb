#include "ui/qt/form1.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QString>

#include "printing/print_request.h"
#include "ui/qt/application.h"
#include "ui/qt/ui_style.h"
#include "ui/window_layout.h"

namespace zplport {

using ui::LifecycleEvent;
using ui::MainControl;

Form1::Form1(Application& app) : app_(app) {
  BuildWindow(*this, ui::MainWindow());
  Text1 = findChild<QLineEdit*>(Text(ui::Control(MainControl::kText1).name));
  connect(findChild<QPushButton*>(Text(ui::Control(MainControl::kCommand1).name)),
          &QPushButton::clicked, this, &Form1::Command1_Click);
  connect(findChild<QPushButton*>(Text(ui::Control(MainControl::kCommand2).name)),
          &QPushButton::clicked, this, &Form1::Command2_Click);
}

std::string Form1::QuantityText() { return Text1->text().toStdString(); }

void Form1::ShowMessage(std::string_view text) { ShowMessageBox(this, text); }

void Form1::ProcessPendingEvents() { QCoreApplication::processEvents(); }

void Form1::RunRequest() {
  RunPrintRequest(*this);
  app_.Handle(LifecycleEvent::kRequestEnded);
}

// The Application hides and discards the window when the rules say so.
void Form1::closeEvent(QCloseEvent* event) {
  event->ignore();
  app_.Handle(LifecycleEvent::kMainCloseRequested);
}

void Form1::Command1_Click() { app_.Handle(LifecycleEvent::kPrintPressed); }

void Form1::Command2_Click() { app_.Handle(LifecycleEvent::kInstructionsPressed); }

}  // namespace zplport
