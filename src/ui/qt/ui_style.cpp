#include "ui/qt/ui_style.h"

#include <QColor>
#include <QEvent>
#include <QFont>
#include <QGuiApplication>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QMargins>
#include <QMessageBox>
#include <QPalette>
#include <QPushButton>
#include <QRect>
#include <QScreen>
#include <QString>
#include <QStringList>
#include <QWidget>
#include <QWindow>

#include "ui/window_layout.h"

namespace zplport {

namespace {

int Pixels(int twips) { return ui::TwipsToPixels(twips, ui::kDesignDpi); }

// Where the Windows faces are missing, these Simplified Chinese faces keep
// the captions in the same style and close to the same metrics.
const QStringList& ChineseSansFallbacks() {
  static const QStringList families{QStringLiteral("Noto Sans CJK SC"),
                                    QStringLiteral("WenQuanYi Micro Hei"),
                                    QStringLiteral("Droid Sans Fallback")};
  return families;
}

QWidget* MakeControl(QWidget& window, const ui::ControlDesc& desc) {
  const QString caption = Text(desc.caption);
  QWidget* control = nullptr;
  switch (desc.kind) {
    case ui::ControlKind::kPushButton: {
      auto* button = new QPushButton(caption, &window);
      // Enter must not press a button the operator has not chosen.
      button->setAutoDefault(false);
      button->setDefault(false);
      control = button;
      break;
    }
    case ui::ControlKind::kTextBox:
      control = new QLineEdit(caption, &window);
      break;
    case ui::ControlKind::kStaticText: {
      auto* label = new QLabel(&window);
      label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
      label->setWordWrap(desc.wraps);
      label->setFocusPolicy(Qt::NoFocus);
      if (desc.line_height > 0) {
        label->setTextFormat(Qt::RichText);
        label->setText(
            QStringLiteral("<div style=\"line-height:%1px; -qt-line-height-type:fixed\">%2</div>")
                .arg(Pixels(desc.line_height))
                .arg(caption.toHtmlEscaped()));
      } else {
        label->setTextFormat(Qt::PlainText);
        label->setText(caption);
      }
      control = label;
      break;
    }
  }
  control->setObjectName(Text(desc.name));
  control->setGeometry(Pixels(desc.rect.left), Pixels(desc.rect.top), Pixels(desc.rect.width),
                       Pixels(desc.rect.height));
  control->setFont(FontOf(desc.font));
  if (desc.text_colour) {
    QPalette palette = control->palette();
    palette.setColor(QPalette::Text, QColor(desc.text_colour->red, desc.text_colour->green,
                                            desc.text_colour->blue));
    control->setPalette(palette);
  }
  return control;
}

// The frame's size as far as it is known: the window's own once it has
// one, else that of another window of ours that is on screen.
QMargins FrameMargins(const QWidget& window) {
  const QWindow* handle = window.windowHandle();
  if (handle != nullptr && handle->isVisible()) return handle->frameMargins();
  for (const QWindow* other : QGuiApplication::topLevelWindows()) {
    if (other != handle && other->isVisible() && !other->frameMargins().isNull()) {
      return other->frameMargins();
    }
  }
  return {};
}

void MoveFrameToCentre(QWidget& window) {
  const QScreen* screen = window.screen();
  if (screen == nullptr) screen = QGuiApplication::primaryScreen();
  if (screen == nullptr) return;
  const QMargins margins = FrameMargins(window);
  QRect frame(QPoint(0, 0), window.size().grownBy(margins));
  frame.moveCenter(screen->availableGeometry().center());
  // A window's position is that of its frame.
  window.move(frame.topLeft());
}

// Centres the window once more when it is first exposed, and then goes.
class CentreWhenExposed : public QObject {
 public:
  explicit CentreWhenExposed(QWidget& window) : QObject(&window), window_(window) {}

  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Expose && window_.windowHandle() != nullptr &&
        window_.windowHandle()->isExposed()) {
      watched->removeEventFilter(this);
      MoveFrameToCentre(window_);
      deleteLater();
    }
    return false;
  }

 private:
  QWidget& window_;
};

}  // namespace

QString Text(std::string_view utf8) {
  return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

QIcon ApplicationIcon() {
  QIcon icon;
  for (int size : {16, 24, 32, 48, 64, 128, 256}) {
    icon.addFile(QStringLiteral(":/icons/zplport-%1.png").arg(size), QSize(size, size));
  }
  return icon;
}

QFont FontOf(const ui::FontDesc& desc) {
  QStringList families{Text(desc.face), Text(desc.latin_face)};
  families.append(ChineseSansFallbacks());
  QFont font;
  font.setFamilies(families);
  font.setPointSizeF(desc.centipoints / 100.0);
  font.setWeight(desc.weight >= ui::kBoldWeight ? QFont::Bold : QFont::Normal);
  return font;
}

void BuildWindow(QWidget& window, const ui::WindowDesc& desc) {
  window.setObjectName(Text(desc.name));
  window.setWindowTitle(Text(desc.title));
  window.setWindowIcon(ApplicationIcon());
  if (desc.font) window.setFont(FontOf(*desc.font));
  window.resize(Pixels(desc.client_width), Pixels(desc.client_height));
  QWidget* previous = nullptr;
  QWidget* first = nullptr;
  for (const ui::ControlDesc& control_desc : desc.controls) {
    QWidget* control = MakeControl(window, control_desc);
    if (control->focusPolicy() == Qt::NoFocus) continue;
    if (previous != nullptr) QWidget::setTabOrder(previous, control);
    if (first == nullptr) first = control;
    previous = control;
  }
  if (first != nullptr) first->setFocus();
}

void ShowCentred(QWidget& window) {
  MoveFrameToCentre(window);
  window.show();
  if (QWindow* handle = window.windowHandle()) {
    if (!handle->isExposed()) handle->installEventFilter(new CentreWhenExposed(window));
  }
}

void BringForward(QWidget& window) {
  window.setWindowState(window.windowState() & ~Qt::WindowMinimized);
  window.show();
  window.raise();
  window.activateWindow();
}

void ShowMessageBox(QWidget* parent, std::string_view text) {
  QMessageBox box(QMessageBox::NoIcon, Text(ui::ApplicationTitle()), Text(text), QMessageBox::Ok,
                  parent);
  // The interface is Chinese whatever the system's language.
  box.button(QMessageBox::Ok)->setText(Text(ui::OkCaption()));
  box.exec();
}

}  // namespace zplport
