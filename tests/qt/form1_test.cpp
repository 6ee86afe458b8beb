// The main window as the operator meets it: every control where it belongs,
// in its font, in tab order, with the focus on Print, and one instructions
// window however often Instructions is pressed.
#include <QApplication>
#include <QColor>
#include <QDir>
#include <QFont>
#include <QFontMetrics>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QtTest>
#include <cstdlib>

#include "ui/qt/form1.h"

using zplport::Form1;

namespace {

QList<QWidget*> VisibleForms2() {
  QList<QWidget*> found;
  for (QWidget* window : QApplication::topLevelWidgets()) {
    if (window->objectName() == QLatin1String("Form2") && window->isVisible()) found.append(window);
  }
  return found;
}

// Centred to within the frame, which the platform may add only once the
// window is shown.
bool IsCentred(const QWidget& window) {
  const QPoint offset =
      window.frameGeometry().center() - window.screen()->availableGeometry().center();
  const QSize frame = window.frameGeometry().size() - window.size();
  return std::abs(offset.x()) <= frame.width() + 1 && std::abs(offset.y()) <= frame.height() + 1;
}

QString CaptionOf(const QWidget* widget) {
  if (auto* button = qobject_cast<const QPushButton*>(widget)) return button->text();
  if (auto* label = qobject_cast<const QLabel*>(widget)) return label->text();
  if (auto* edit = qobject_cast<const QLineEdit*>(widget)) return edit->text();
  return {};
}

}  // namespace

class Form1Test : public QObject {
  Q_OBJECT

 private slots:
  void init();
  void cleanup();

  void controlMatchesLayout_data();
  void controlMatchesLayout();
  void resizingMovesNothing();
  void windowIsCentredAndTitled();
  void quantityTextIsNavy();
  void tabFollowsPrintQuantityInstructions();
  void neitherButtonIsDefault();
  void instructionsTwiceOpensOneWindow();
  void instructionsAfterBackLoadsTextAfresh();
  void instructionsRightAfterBackOpensLiveWindow();
  void screenshot();

 private:
  Form1* form_ = nullptr;
};

void Form1Test::init() {
  form_ = new Form1;
  form_->show();
  QVERIFY(QTest::qWaitForWindowExposed(form_));
}

void Form1Test::cleanup() {
  delete form_;
  form_ = nullptr;
}

void Form1Test::controlMatchesLayout_data() {
  QTest::addColumn<QString>("name");
  QTest::addColumn<QString>("caption");
  QTest::addColumn<QRect>("geometry");
  QTest::addColumn<qreal>("points");

  // Every control of the window is bold.
  QTest::newRow("Command1") << "Command1"
                            << "打印" << QRect(160, 152, 97, 41) << 14.25;
  QTest::newRow("Text1") << "Text1"
                         << "" << QRect(56, 80, 201, 57) << 24.0;
  QTest::newRow("Label1") << "Label1"
                          << "打印数量：" << QRect(8, 8, 201, 41) << 24.0;
  QTest::newRow("Command2") << "Command2"
                            << "说明" << QRect(56, 152, 89, 41) << 14.25;
}

void Form1Test::controlMatchesLayout() {
  QFETCH(QString, name);
  QFETCH(QString, caption);
  QFETCH(QRect, geometry);
  QFETCH(qreal, points);

  auto* control = form_->findChild<QWidget*>(name);
  QVERIFY(control != nullptr);
  QCOMPARE(control->parentWidget(), form_);
  QVERIFY(control->isVisible());
  QCOMPARE(control->geometry(), geometry);
  QCOMPARE(CaptionOf(control), caption);

  const QFont font = control->font();
  QCOMPARE(font.families().value(0), QStringLiteral("微软雅黑"));
  QCOMPARE(font.pointSizeF(), points);
  QVERIFY(font.bold());
  // Whatever face stands in for the Windows one must draw the captions.
  const QString glyphs = caption.isEmpty() ? QStringLiteral("0123456789") : caption;
  const QFontMetrics metrics(font);
  for (QChar glyph : glyphs) QVERIFY2(metrics.inFont(glyph), qPrintable(QString(glyph)));
}

void Form1Test::resizingMovesNothing() {
  QMap<QString, QRect> before;
  for (auto* child : form_->findChildren<QWidget*>())
    before[child->objectName()] = child->geometry();
  QCOMPARE(form_->size(), QSize(312, 213));
  QVERIFY(form_->minimumSize() != form_->maximumSize());

  form_->resize(640, 480);
  QTRY_COMPARE(form_->size(), QSize(640, 480));
  for (auto* child : form_->findChildren<QWidget*>()) {
    QCOMPARE(child->geometry(), before.value(child->objectName()));
  }
}

void Form1Test::windowIsCentredAndTitled() {
  QCOMPARE(form_->windowTitle(), QStringLiteral("ZPL 打印机测试"));
  QVERIFY(!form_->windowIcon().isNull());
  QVERIFY(form_->windowFlags().testFlag(Qt::WindowMinimizeButtonHint));
  QVERIFY(form_->windowFlags().testFlag(Qt::WindowMaximizeButtonHint));

  QVERIFY(IsCentred(*form_));
  auto* quantity = form_->findChild<QLineEdit*>("Text1");
  QVERIFY(quantity->isEnabled());
  QVERIFY(!quantity->isReadOnly());
  QVERIFY(quantity->text().isEmpty());
}

void Form1Test::quantityTextIsNavy() {
  auto* quantity = form_->findChild<QLineEdit*>("Text1");
  const QColor navy(0, 0, 128);
  QCOMPARE(quantity->palette().color(QPalette::Active, QPalette::Text), navy);
  QCOMPARE(quantity->palette().color(QPalette::Inactive, QPalette::Text), navy);

  // The digits as drawn, not only as configured.
  QTest::keyClicks(quantity, "88");
  QCOMPARE(form_->QuantityText(), std::string("88"));
  const QImage image = quantity->grab().toImage();
  int navy_pixels = 0;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) navy_pixels += image.pixelColor(x, y) == navy;
  }
  QVERIFY2(navy_pixels > 20, qPrintable(QString::number(navy_pixels)));
}

void Form1Test::tabFollowsPrintQuantityInstructions() {
  QApplication::setActiveWindow(form_);
  QVERIFY(QTest::qWaitForWindowActive(form_));
  auto* print = form_->findChild<QWidget*>("Command1");
  auto* quantity = form_->findChild<QWidget*>("Text1");
  auto* instructions = form_->findChild<QWidget*>("Command2");
  auto* label = form_->findChild<QWidget*>("Label1");
  QCOMPARE(QApplication::focusWidget(), print);
  QCOMPARE(label->focusPolicy(), Qt::NoFocus);

  for (QWidget* expected : {quantity, instructions, print}) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), expected);
  }
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
  QCOMPARE(QApplication::focusWidget(), instructions);
}

void Form1Test::neitherButtonIsDefault() {
  for (const char* name : {"Command1", "Command2"}) {
    auto* button = form_->findChild<QPushButton*>(name);
    QVERIFY(!button->isDefault());
    QVERIFY(!button->autoDefault());
  }
}

void Form1Test::instructionsTwiceOpensOneWindow() {
  auto* instructions = form_->findChild<QPushButton*>("Command2");
  QTest::mouseClick(instructions, Qt::LeftButton);
  QCOMPARE(VisibleForms2().size(), 1);
  QPointer<QWidget> first = VisibleForms2().first();
  QVERIFY(QTest::qWaitForWindowExposed(first));
  QVERIFY(!first->isModal());

  QApplication::setActiveWindow(form_);
  QTest::mouseClick(instructions, Qt::LeftButton);
  QCOMPARE(VisibleForms2().size(), 1);
  QCOMPARE(VisibleForms2().first(), first.data());
  QTRY_COMPARE(QApplication::activeWindow(), first.data());
  // The main window stays open and usable beside it.
  QVERIFY(form_->isVisible());
  QVERIFY(form_->isEnabled());
}

void Form1Test::instructionsAfterBackLoadsTextAfresh() {
  auto* instructions = form_->findChild<QPushButton*>("Command2");
  QTest::mouseClick(instructions, Qt::LeftButton);
  QPointer<QWidget> first = VisibleForms2().first();
  auto* text = first->findChild<QLabel*>("Label1");
  const QString loaded = text->text();
  text->setText(QStringLiteral("stale"));

  QTest::mouseClick(first->findChild<QPushButton*>("Command1"), Qt::LeftButton);
  QTRY_VERIFY(first.isNull());
  QTest::mouseClick(instructions, Qt::LeftButton);
  QCOMPARE(VisibleForms2().size(), 1);
  QCOMPARE(VisibleForms2().first()->findChild<QLabel*>("Label1")->text(), loaded);
}

void Form1Test::instructionsRightAfterBackOpensLiveWindow() {
  auto* instructions = form_->findChild<QPushButton*>("Command2");
  QTest::mouseClick(instructions, Qt::LeftButton);
  QPointer<QWidget> closed = VisibleForms2().first();
  // Instructions pressed before the closed window's deletion has come round.
  QTest::mouseClick(closed->findChild<QPushButton*>("Command1"), Qt::LeftButton);
  QTest::mouseClick(instructions, Qt::LeftButton);
  QTRY_VERIFY(closed.isNull());
  QCOMPARE(VisibleForms2().size(), 1);
}

void Form1Test::screenshot() {
  QVERIFY(QDir().mkpath(QStringLiteral(ZPLPORT_SCREENSHOT_DIR)));
  QVERIFY(form_->grab().save(QStringLiteral(ZPLPORT_SCREENSHOT_DIR "/form1.png")));
  QTest::keyClicks(form_->findChild<QLineEdit*>("Text1"), "12");
  QVERIFY(form_->grab().save(QStringLiteral(ZPLPORT_SCREENSHOT_DIR "/form1-quantity.png")));
}

QTEST_MAIN(Form1Test)
#include "form1_test.moc"
