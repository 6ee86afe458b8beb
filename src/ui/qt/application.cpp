#include "ui/qt/application.h"

#include <QCoreApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QWidget>

#include "ui/qt/form1.h"
#include "ui/qt/form2.h"
#include "ui/qt/ui_style.h"

namespace zplport {

namespace {

template <class T>
void Discard(QPointer<T>& window) {
  if (window == nullptr) return;
  window->hide();
  window->deleteLater();
  window = nullptr;
}

}  // namespace

Application::Application() {
  // The rules decide when the program ends: a window whose close is
  // postponed must keep it running, and so must the moment between closing
  // the instructions and reopening the main window.
  QGuiApplication::setQuitOnLastWindowClosed(false);
}

Application::~Application() {
  delete form2_.data();
  delete form1_.data();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

Form1* Application::main_window() const { return form1_; }
Form2* Application::instructions_window() const { return form2_; }

void Application::Handle(ui::LifecycleEvent event) {
  const bool printing = form1_ != nullptr && form1_->printing();
  for (ui::Decision decision : lifecycle_.Handle(event, printing)) Carry(decision);
}

void Application::Carry(ui::Decision decision) {
  switch (decision) {
    case ui::Decision::kRunRequest:
      if (form1_ != nullptr) form1_->RunRequest();
      break;
    case ui::Decision::kOpenMain:
      form1_ = new Form1(*this);
      ShowCentred(*form1_);
      BringForward(*form1_);
      break;
    case ui::Decision::kBringMainForward:
      if (form1_ != nullptr) BringForward(*form1_);
      break;
    case ui::Decision::kCloseMain:
      Discard(form1_);
      break;
    case ui::Decision::kOpenInstructions:
      form2_ = new Form2(*this);
      ShowCentred(*form2_);
      BringForward(*form2_);
      break;
    case ui::Decision::kBringInstructionsForward:
      if (form2_ != nullptr) BringForward(*form2_);
      break;
    case ui::Decision::kCloseInstructions:
      Discard(form2_);
      break;
    case ui::Decision::kEndProgram:
      QCoreApplication::quit();
      break;
  }
}

}  // namespace zplport
