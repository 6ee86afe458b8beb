// The instructions window: its layout and its whole text, and its Back
// button, which discards it and brings the main window back, a fresh one if
// the operator had closed it.
#include <QApplication>
#include <QDir>
#include <QFont>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QTextDocumentFragment>
#include <QtTest>
#include <cstdlib>

#include "ui/qt/application.h"
#include "ui/qt/form1.h"
#include "ui/qt/form2.h"
#include "ui/window_layout.h"

using zplport::Application;
using zplport::ui::LifecycleEvent;

namespace {

QString Q(std::string_view utf8) { return QString::fromUtf8(utf8.data(), utf8.size()); }
int Pixels(int twips) { return zplport::ui::TwipsToPixels(twips, zplport::ui::kDesignDpi); }

QRect PixelRect(const zplport::ui::TwipsRect& r) {
  return QRect(Pixels(r.left), Pixels(r.top), Pixels(r.width), Pixels(r.height));
}

bool IsCentred(const QWidget& window) {
  const QPoint offset =
      window.frameGeometry().center() - window.screen()->availableGeometry().center();
  return std::abs(offset.x()) <= 1 && std::abs(offset.y()) <= 1;
}

}  // namespace

class Form2Test : public QObject {
  Q_OBJECT

 private slots:
  void init();
  void cleanup();

  void windowAndControlsFollowTheLayout();
  void wholeTextFitsItsBox();
  void backWithMainWindowOpenBringsItForward();
  void backAfterMainWindowClosedOpensAFreshOne();
  void screenshot();

 private:
  void OpenInstructions();

  Application* app_ = nullptr;
  QPointer<QWidget> form1_;
  QPointer<QWidget> form2_;
};

void Form2Test::init() {
  app_ = new Application;
  app_->Handle(LifecycleEvent::kProgramStarted);
  form1_ = app_->main_window();
  QVERIFY(QTest::qWaitForWindowExposed(form1_));
  OpenInstructions();
}

void Form2Test::OpenInstructions() {
  QTest::mouseClick(form1_->findChild<QPushButton*>("Command2"), Qt::LeftButton);
  form2_ = app_->instructions_window();
  QVERIFY(form2_ != nullptr);
  QVERIFY(QTest::qWaitForWindowExposed(form2_));
}

void Form2Test::cleanup() {
  delete app_;  // takes the open windows with it
  app_ = nullptr;
  QVERIFY(form1_.isNull());
  QVERIFY(form2_.isNull());
}

void Form2Test::windowAndControlsFollowTheLayout() {
  const zplport::ui::WindowDesc& desc = zplport::ui::InstructionsWindow();
  QCOMPARE(form2_->windowTitle(), Q(desc.title));
  QCOMPARE(form2_->size(), QSize(Pixels(desc.client_width), Pixels(desc.client_height)));
  QVERIFY(IsCentred(*form2_));
  QVERIFY(!form2_->windowIcon().isNull());
  QVERIFY(!form2_->isModal());
  QCOMPARE(form2_->font().families().value(0), Q(desc.font->face));
  QCOMPARE(form2_->font().pointSizeF(), desc.font->centipoints / 100.0);

  form2_->resize(500, 400);
  QTRY_COMPARE(form2_->size(), QSize(500, 400));
  for (const zplport::ui::ControlDesc& control_desc : desc.controls) {
    auto* control = form2_->findChild<QWidget*>(Q(control_desc.name));
    QVERIFY(control != nullptr);
    QVERIFY(control->isVisible());
    QCOMPARE(control->geometry(), PixelRect(control_desc.rect));
    QCOMPARE(control->font().families().value(0), Q(control_desc.font.face));
    QCOMPARE(control->font().pointSizeF(), control_desc.font.centipoints / 100.0);
    QCOMPARE(control->font().bold(), control_desc.font.weight == zplport::ui::kBoldWeight);
  }
  auto* back = form2_->findChild<QPushButton*>("Command1");
  QCOMPARE(back->text(), QStringLiteral("返回"));
  QCOMPARE(form2_->focusWidget(), back);
  QVERIFY(!back->autoDefault());
  QCOMPARE(form2_->findChild<QWidget*>("Label1")->focusPolicy(), Qt::NoFocus);
}

// Shown unchanged, wrapped to the box's width, and every line within its
// height: at 1.5 times the scale (a run of its own) as well.
void Form2Test::wholeTextFitsItsBox() {
  auto* label = form2_->findChild<QLabel*>("Label1");
  const QString shown = label->textFormat() == Qt::PlainText
                            ? label->text()
                            : QTextDocumentFragment::fromHtml(label->text()).toPlainText();
  QCOMPARE(shown, Q(zplport::ui::InstructionsText()));
  QVERIFY(label->wordWrap());
  QVERIFY2(label->heightForWidth(label->width()) <= label->height(),
           qPrintable(QString::number(label->heightForWidth(label->width()))));
}

void Form2Test::backWithMainWindowOpenBringsItForward() {
  const QRect main_geometry = form1_->geometry();
  QTest::mouseClick(form2_->findChild<QPushButton*>("Command1"), Qt::LeftButton);
  QVERIFY(form2_.isNull() || !form2_->isVisible());
  QTRY_VERIFY(form2_.isNull());
  QCOMPARE(app_->main_window(), form1_.data());
  QVERIFY(form1_->isVisible());
  QTRY_COMPARE(QApplication::activeWindow(), form1_.data());
  QCOMPARE(form1_->geometry(), main_geometry);
}

void Form2Test::backAfterMainWindowClosedOpensAFreshOne() {
  // The operator types, tabs to Instructions, opens them and closes the
  // main window.
  QTest::keyClicks(form1_->findChild<QLineEdit*>("Text1"), "7");
  form1_->findChild<QWidget*>("Command2")->setFocus();
  form1_->move(3, 4);
  form1_->close();
  QVERIFY(!form1_->isVisible());
  QVERIFY(form2_->isVisible());

  QTest::mouseClick(form2_->findChild<QPushButton*>("Command1"), Qt::LeftButton);
  QTRY_VERIFY(form2_.isNull());
  QTRY_VERIFY(form1_.isNull());
  QWidget* reopened = app_->main_window();
  QVERIFY(reopened != nullptr);
  QVERIFY(QTest::qWaitForWindowExposed(reopened));
  QVERIFY(IsCentred(*reopened));
  QTRY_COMPARE(QApplication::activeWindow(), reopened);
  QVERIFY(reopened->findChild<QLineEdit*>("Text1")->text().isEmpty());
  QCOMPARE(QApplication::focusWidget(), reopened->findChild<QWidget*>("Command1"));
}

void Form2Test::screenshot() {
  QVERIFY(QDir().mkpath(QStringLiteral(ZPLPORT_SCREENSHOT_DIR)));
  const QString scale = qEnvironmentVariable("QT_SCALE_FACTOR");
  const QString name =
      scale.isEmpty() ? QStringLiteral("form2.png") : QStringLiteral("form2-%1x.png").arg(scale);
  QVERIFY(form2_->grab().save(QStringLiteral(ZPLPORT_SCREENSHOT_DIR "/") + name));
}

QTEST_MAIN(Form2Test)
#include "form2_test.moc"
