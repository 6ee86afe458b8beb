// An exception let out of an event handler is shown, under the tool's
// title and with 确定, and the program goes on.
#include <QAbstractButton>
#include <QApplication>
#include <QEvent>
#include <QMessageBox>
#include <QTimer>
#include <QtTest>
#include <functional>
#include <new>
#include <stdexcept>

#include "ui/qt/guarded_application.h"
#include "ui/window_layout.h"

namespace {

class Thrower : public QObject {
 public:
  std::function<void()> raise;
  bool event(QEvent* event) override {
    if (event->type() == QEvent::User) raise();
    return QObject::event(event);
  }
};

}  // namespace

class GuardedApplicationTest : public QObject {
  Q_OBJECT

 private slots:
  void HandlerErrorsAreShownNotFatal_data() {
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("message");
    QTest::newRow("out of memory") << 0 << QStringLiteral("内存不足");
    QTest::newRow("a library error") << 1 << QStringLiteral("意外错误：vector::_M_range_check");
  }

  void HandlerErrorsAreShownNotFatal() {
    QFETCH(int, kind);
    QFETCH(QString, message);
    Thrower thrower;
    thrower.raise = [kind] {
      if (kind == 0) throw std::bad_alloc();
      throw std::out_of_range("vector::_M_range_check");
    };
    QString shown, title, button;
    // The box runs its own event loop; this answers it from inside.
    QTimer::singleShot(0, [&] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (box == nullptr) return;
      shown = box->text();
      title = box->windowTitle();
      button = box->buttons().value(0)->text();
      box->accept();
    });
    QEvent event(QEvent::User);
    QVERIFY(!QCoreApplication::sendEvent(&thrower, &event));
    QCOMPARE(shown, message);
    QCOMPARE(title,
             QString::fromUtf8(zplport::ui::ApplicationTitle().data(),
                               static_cast<qsizetype>(zplport::ui::ApplicationTitle().size())));
    QCOMPARE(button, QStringLiteral("确定"));
  }
};

int main(int argc, char* argv[]) {
  zplport::GuardedApplication app(argc, argv);
  GuardedApplicationTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "guarded_application_test.moc"
