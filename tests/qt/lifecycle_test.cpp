// The program's life under its own event loop: closing the main window
// while the instructions are open keeps it running, Back brings the main
// window back, and closing the last window ends it. The program can end only
// once per process, so this is a program of its own.
#include <QApplication>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include "ui/qt/form1.h"

using zplport::Form1;

class LifecycleTest : public QObject {
  Q_OBJECT

 private slots:
  void lastWindowClosedEndsProgramButNotBefore();
};

void LifecycleTest::lastWindowClosedEndsProgramButNotBefore() {
  QVERIFY(QApplication::quitOnLastWindowClosed());
  Form1 form1;
  QPointer<QWidget> form2;
  bool form2_outlived_main_window = false;
  bool running_after_back = false;
  bool main_window_back = false;

  QTimer::singleShot(0, &form1, [&] {
    form1.show();
    QTest::mouseClick(form1.findChild<QPushButton*>("Command2"), Qt::LeftButton);
    for (QWidget* window : QApplication::topLevelWidgets()) {
      if (window->objectName() == QLatin1String("Form2")) form2 = window;
    }
    if (form2 == nullptr) return;
    form1.close();
    form2_outlived_main_window = form2->isVisible() && !form1.isVisible();
    QTest::mouseClick(form2->findChild<QPushButton*>("Command1"), Qt::LeftButton);
  });
  // Reached only if the program did not end when Back closed the then last
  // visible window.
  QTimer::singleShot(300, &form1, [&] {
    running_after_back = true;
    main_window_back = form1.isVisible() && form2.isNull();
    form1.close();
  });
  QTimer::singleShot(10000, &form1, [] { QCoreApplication::exit(99); });

  const int exit_code = QApplication::exec();
  QVERIFY(form2_outlived_main_window);
  QVERIFY(running_after_back);
  QVERIFY(main_window_back);
  QCOMPARE(exit_code, 0);
}

QTEST_MAIN(LifecycleTest)
#include "lifecycle_test.moc"
