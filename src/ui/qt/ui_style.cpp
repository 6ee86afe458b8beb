#include "ui/qt/ui_style.h"

#include <QFont>
#include <QGuiApplication>
#include <QIcon>
#include <QRect>
#include <QScreen>
#include <QString>
#include <QStringList>
#include <QWidget>

namespace zplport {

namespace {

// Where the Windows faces are missing, these Simplified Chinese faces keep
// the captions in the same style and close to the same metrics.
const QStringList& ChineseSansFallbacks() {
  static const QStringList families{QStringLiteral("Noto Sans CJK SC"),
                                    QStringLiteral("WenQuanYi Micro Hei"),
                                    QStringLiteral("Droid Sans Fallback")};
  return families;
}

QFont FontFromFamilies(QStringList families, qreal points, bool bold) {
  families.append(ChineseSansFallbacks());
  QFont font;
  font.setFamilies(families);
  font.setPointSizeF(points);
  font.setBold(bold);
  return font;
}

}  // namespace

QString ApplicationTitle() { return QStringLiteral("ZPL 打印机测试"); }

QIcon ApplicationIcon() {
  QIcon icon;
  for (int size : {16, 24, 32, 48, 64, 128, 256}) {
    icon.addFile(QStringLiteral(":/icons/zplport-%1.png").arg(size), QSize(size, size));
  }
  return icon;
}

QFont YaHeiFont(qreal points, bool bold) {
  return FontFromFamilies({QStringLiteral("微软雅黑"), QStringLiteral("Microsoft YaHei")}, points,
                          bold);
}

QFont SongFont(qreal points) {
  return FontFromFamilies(
      {QStringLiteral("宋体"), QStringLiteral("SimSun"), QStringLiteral("Noto Serif CJK SC")},
      points, false);
}

void CentreOnScreen(QWidget& window) {
  const QScreen* screen = window.screen();
  if (screen == nullptr) screen = QGuiApplication::primaryScreen();
  if (screen == nullptr) return;
  QRect frame = window.frameGeometry();
  frame.moveCenter(screen->availableGeometry().center());
  window.move(frame.topLeft());
}

}  // namespace zplport
