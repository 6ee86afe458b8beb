// The main window as the operator meets it: every control where the layout
// puts it, in its font, in tab order, with the focus on Print, and one
// instructions window however often Instructions is pressed.
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

#include "ui/qt/application.h"
#include "ui/qt/form1.h"
#include "ui/qt/form2.h"
#include "ui/window_layout.h"

using zplport::Application;
using zplport::Form1;
using zplport::ui::LifecycleEvent;

namespace {

QString Q(std::string_view utf8) { return QString::fromUtf8(utf8.data(), utf8.size()); }
int Pixels(int twips) { return zplport::ui::TwipsToPixels(twips, zplport::ui::kDesignDpi); }

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
  return std::abs(offset.x()) <= 1 && std::abs(offset.y()) <= 1;
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

  void controlsFollowTheLayout();
  void resizingMovesNothing();
  void windowIsCentredAndTitled();
  void quantityTextIsNavy();
  void tabFollowsPrintQuantityInstructions();
  void instructionsTwiceOpensOneWindowAndRestoresIt();
  void instructionsRightAfterBackOpensAFreshWindow();
  void screenshot();

 private:
  Application* app_ = nullptr;
  Form1* form_ = nullptr;
};

void Form1Test::init() {
  app_ = new Application;
  app_->Handle(LifecycleEvent::kProgramStarted);
  form_ = app_->main_window();
  QVERIFY(form_ != nullptr);
  QVERIFY(QTest::qWaitForWindowExposed(form_));
}

void Form1Test::cleanup() {
  delete app_;
  app_ = nullptr;
  form_ = nullptr;
}

void Form1Test::controlsFollowTheLayout() {
  for (const zplport::ui::ControlDesc& desc : zplport::ui::MainWindow().controls) {
    auto* control = form_->findChild<QWidget*>(Q(desc.name));
    QVERIFY2(control != nullptr, desc.name.data());
    QCOMPARE(control->parentWidget(), form_);
    QVERIFY(control->isVisible());
    QCOMPARE(control->geometry(), QRect(Pixels(desc.rect.left), Pixels(desc.rect.top),
                                        Pixels(desc.rect.width), Pixels(desc.rect.height)));
    QCOMPARE(CaptionOf(control), Q(desc.caption));

    const QFont font = control->font();
    QCOMPARE(font.families().value(0), Q(desc.font.face));
    QCOMPARE(font.pointSizeF(), desc.font.centipoints / 100.0);
    QCOMPARE(font.bold(), desc.font.weight == zplport::ui::kBoldWeight);
    // Whatever face stands in for the Windows one must draw the captions.
    const QString glyphs = desc.caption.empty() ? QStringLiteral("0123456789") : Q(desc.caption);
    const QFontMetrics metrics(font);
    for (QChar glyph : glyphs) QVERIFY2(metrics.inFont(glyph), qPrintable(QString(glyph)));
    if (auto* button = qobject_cast<QPushButton*>(control)) {
      QVERIFY(!button->isDefault());
      QVERIFY(!button->autoDefault());
    }
  }
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
  QCOMPARE(QApplication::focusWidget(), print);
  QCOMPARE(form_->findChild<QWidget*>("Label1")->focusPolicy(), Qt::NoFocus);

  for (QWidget* expected : {quantity, instructions, print}) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), expected);
  }
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
  QCOMPARE(QApplication::focusWidget(), instructions);
}

void Form1Test::instructionsTwiceOpensOneWindowAndRestoresIt() {
  auto* instructions = form_->findChild<QPushButton*>("Command2");
  QTest::mouseClick(instructions, Qt::LeftButton);
  QCOMPARE(VisibleForms2().size(), 1);
  QPointer<QWidget> first = VisibleForms2().first();
  QVERIFY(QTest::qWaitForWindowExposed(first));
  QVERIFY(!first->isModal());

  // Minimised, then asked for again: the same window, restored and in front.
  first->showMinimized();
  QTRY_VERIFY(first->isMinimized());
  QApplication::setActiveWindow(form_);
  QTest::mouseClick(instructions, Qt::LeftButton);
  QCOMPARE(VisibleForms2().size(), 1);
  QCOMPARE(VisibleForms2().first(), first.data());
  QTRY_VERIFY(!first->isMinimized());
  QTRY_COMPARE(QApplication::activeWindow(), first.data());
  // The main window stays open and usable beside it.
  QVERIFY(form_->isVisible());
  QVERIFY(form_->isEnabled());
}

void Form1Test::instructionsRightAfterBackOpensAFreshWindow() {
  auto* instructions = form_->findChild<QPushButton*>("Command2");
  QTest::mouseClick(instructions, Qt::LeftButton);
  QPointer<QWidget> closed = VisibleForms2().first();
  closed->findChild<QLabel*>("Label1")->setText(QStringLiteral("stale"));
  // Instructions pressed before the closed window's deletion has come round.
  QTest::mouseClick(closed->findChild<QPushButton*>("Command1"), Qt::LeftButton);
  QTest::mouseClick(instructions, Qt::LeftButton);
  QTRY_VERIFY(closed.isNull());
  QCOMPARE(VisibleForms2().size(), 1);
  QVERIFY(VisibleForms2().first()->findChild<QLabel*>("Label1")->text() != QLatin1String("stale"));
}

void Form1Test::screenshot() {
  QVERIFY(QDir().mkpath(QStringLiteral(ZPLPORT_SCREENSHOT_DIR)));
  QVERIFY(form_->grab().save(QStringLiteral(ZPLPORT_SCREENSHOT_DIR "/form1.png")));
  QTest::keyClicks(form_->findChild<QLineEdit*>("Text1"), "12");
  QVERIFY(form_->grab().save(QStringLiteral(ZPLPORT_SCREENSHOT_DIR "/form1-quantity.png")));
}

QTEST_MAIN(Form1Test)
#include "form1_test.moc"
