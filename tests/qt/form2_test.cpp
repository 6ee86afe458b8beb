// The instructions window: its layout and text, and its Back button, which
// discards it and brings the main window back whether or not the operator
// had closed it.
#include <QApplication>
#include <QDir>
#include <QFont>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QTextDocumentFragment>
#include <QtTest>
#include <cstdlib>

#include "ui/qt/form1.h"

using zplport::Form1;

namespace {

const QString kInstructions = QStringLiteral(
    "该程序是测试用斑马ZPL语言打印机的并口和网口测试程序。"
    "不用安装驱动。更改打印方式，请修改CONFIG.INI文件的prtmod=lpt1(或者lpt2,lpt3等);或者prtmod="
    "ip;别的参数切勿测试。"
    "请设置好打印机IP和端口后，在配置文件处修改。");

QWidget* OpenInstructions(Form1& form1) {
  QTest::mouseClick(form1.findChild<QPushButton*>("Command2"), Qt::LeftButton);
  for (QWidget* window : QApplication::topLevelWidgets()) {
    if (window->objectName() == QLatin1String("Form2") && window->isVisible()) return window;
  }
  return nullptr;
}

// Centred to within the frame, which the platform may add only once the
// window is shown.
bool IsCentred(const QWidget& window) {
  const QPoint offset =
      window.frameGeometry().center() - window.screen()->availableGeometry().center();
  const QSize frame = window.frameGeometry().size() - window.size();
  return std::abs(offset.x()) <= frame.width() + 1 && std::abs(offset.y()) <= frame.height() + 1;
}

}  // namespace

class Form2Test : public QObject {
  Q_OBJECT

 private slots:
  void init();
  void cleanup();

  void windowMatchesLayout();
  void controlMatchesLayout_data();
  void controlMatchesLayout();
  void backHoldsFocusAtOpen();
  void backWithMainWindowOpenBringsItForward();
  void backAfterMainWindowClosedReopensItCentred();
  void screenshot();

 private:
  Form1* form1_ = nullptr;
  QPointer<QWidget> form2_;
};

void Form2Test::init() {
  form1_ = new Form1;
  form1_->show();
  QVERIFY(QTest::qWaitForWindowExposed(form1_));
  form2_ = OpenInstructions(*form1_);
  QVERIFY(form2_ != nullptr);
  QVERIFY(QTest::qWaitForWindowExposed(form2_));
}

void Form2Test::cleanup() {
  delete form1_;  // takes an open instructions window with it
  form1_ = nullptr;
  QVERIFY(form2_.isNull());
}

void Form2Test::windowMatchesLayout() {
  QCOMPARE(form2_->windowTitle(), QStringLiteral("说明"));
  QCOMPARE(form2_->size(), QSize(312, 213));
  QVERIFY(IsCentred(*form2_));
  QVERIFY(!form2_->windowIcon().isNull());
  QVERIFY(form2_->isWindow());
  QVERIFY(!form2_->isModal());
  QCOMPARE(form2_->font().families().value(0), QStringLiteral("宋体"));
  QCOMPARE(form2_->font().pointSizeF(), 12.0);
  QVERIFY(!form2_->font().bold());

  form2_->resize(500, 400);
  QTRY_COMPARE(form2_->size(), QSize(500, 400));
  QCOMPARE(form2_->findChild<QWidget*>("Label1")->geometry(), QRect(16, 24, 281, 145));
  QCOMPARE(form2_->findChild<QWidget*>("Command1")->geometry(), QRect(232, 176, 65, 33));
}

void Form2Test::controlMatchesLayout_data() {
  QTest::addColumn<QString>("name");
  QTest::addColumn<QString>("caption");
  QTest::addColumn<QRect>("geometry");
  QTest::addColumn<bool>("bold");

  QTest::newRow("Label1") << "Label1" << kInstructions << QRect(16, 24, 281, 145) << false;
  QTest::newRow("Command1") << "Command1"
                            << "返回" << QRect(232, 176, 65, 33) << true;
}

void Form2Test::controlMatchesLayout() {
  QFETCH(QString, name);
  QFETCH(QString, caption);
  QFETCH(QRect, geometry);
  QFETCH(bool, bold);

  auto* control = form2_->findChild<QWidget*>(name);
  QVERIFY(control != nullptr);
  QVERIFY(control->isVisible());
  QCOMPARE(control->geometry(), geometry);
  if (auto* label = qobject_cast<QLabel*>(control)) {
    const QString shown = label->textFormat() == Qt::PlainText
                              ? label->text()
                              : QTextDocumentFragment::fromHtml(label->text()).toPlainText();
    QCOMPARE(shown, caption);
    QVERIFY(label->wordWrap());
    // Wrapped to the label's width, every line fits its height.
    QVERIFY2(label->heightForWidth(geometry.width()) <= geometry.height(),
             qPrintable(QString::number(label->heightForWidth(geometry.width()))));
  } else {
    QCOMPARE(qobject_cast<QPushButton*>(control)->text(), caption);
  }
  QCOMPARE(control->font().families().value(0), QStringLiteral("微软雅黑"));
  QCOMPARE(control->font().pointSizeF(), 12.0);
  QCOMPARE(control->font().bold(), bold);
}

void Form2Test::backHoldsFocusAtOpen() {
  auto* back = form2_->findChild<QPushButton*>("Command1");
  QCOMPARE(form2_->focusWidget(), back);
  QVERIFY(!back->isDefault());
  QVERIFY(!back->autoDefault());
  QCOMPARE(form2_->findChild<QWidget*>("Label1")->focusPolicy(), Qt::NoFocus);
}

void Form2Test::backWithMainWindowOpenBringsItForward() {
  const QRect main_geometry = form1_->geometry();
  QTest::mouseClick(form2_->findChild<QPushButton*>("Command1"), Qt::LeftButton);
  QVERIFY(!form2_.isNull() && !form2_->isVisible());
  QTRY_VERIFY(form2_.isNull());
  QVERIFY(form1_->isVisible());
  QTRY_COMPARE(QApplication::activeWindow(), form1_);
  QCOMPARE(form1_->geometry(), main_geometry);
}

void Form2Test::backAfterMainWindowClosedReopensItCentred() {
  form1_->move(3, 4);
  QVERIFY(form1_->close());
  QVERIFY(!form1_->isVisible());
  QVERIFY(form2_->isVisible());

  QTest::mouseClick(form2_->findChild<QPushButton*>("Command1"), Qt::LeftButton);
  QTRY_VERIFY(form2_.isNull());
  QVERIFY(form1_->isVisible());
  QVERIFY(IsCentred(*form1_));
  QTRY_COMPARE(QApplication::activeWindow(), form1_);
  QCOMPARE(form1_->findChild<QWidget*>("Command1")->geometry(), QRect(160, 152, 97, 41));
}

void Form2Test::screenshot() {
  QVERIFY(QDir().mkpath(QStringLiteral(ZPLPORT_SCREENSHOT_DIR)));
  QVERIFY(form2_->grab().save(QStringLiteral(ZPLPORT_SCREENSHOT_DIR "/form2.png")));
}

QTEST_MAIN(Form2Test)
#include "form2_test.moc"
