// The program's life under its own event loop: closing the main window
// while the instructions are open keeps it running, Back brings a main
// window back, and closing the last window ends it. The program can end
// only once per process, so this is a program of its own.
#include <QApplication>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include "ui/qt/application.h"
#include "ui/qt/form1.h"
#include "ui/qt/form2.h"

using zplport::Application;
using zplport::ui::LifecycleEvent;

class LifecycleTest : public QObject {
  Q_OBJECT

 private slots:
  void lastWindowClosedEndsProgramButNotBefore();
};

void LifecycleTest::lastWindowClosedEndsProgramButNotBefore() {
  Application app;
  bool form2_outlived_main_window = false;
  bool running_after_back = false;
  bool main_window_back = false;

  QTimer::singleShot(0, &app, [&] {
    app.Handle(LifecycleEvent::kProgramStarted);
    QWidget* form1 = app.main_window();
    QTest::mouseClick(form1->findChild<QPushButton*>("Command2"), Qt::LeftButton);
    QWidget* form2 = app.instructions_window();
    if (form2 == nullptr) return;
    form1->close();
    form2_outlived_main_window = form2->isVisible() && !form1->isVisible();
    QTest::mouseClick(form2->findChild<QPushButton*>("Command1"), Qt::LeftButton);
  });
  // Reached only if the program did not end when Back closed the then last
  // window.
  QTimer::singleShot(300, &app, [&] {
    running_after_back = true;
    main_window_back = app.main_window() != nullptr && app.main_window()->isVisible() &&
                       app.instructions_window() == nullptr;
    if (app.main_window() != nullptr) app.main_window()->close();
  });
  QTimer::singleShot(10000, &app, [] { QCoreApplication::exit(99); });

  const int exit_code = QApplication::exec();
  QVERIFY(form2_outlived_main_window);
  QVERIFY(running_after_back);
  QVERIFY(main_window_back);
  QCOMPARE(exit_code, 0);
}

QTEST_MAIN(LifecycleTest)
#include "lifecycle_test.moc"
