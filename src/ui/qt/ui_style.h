// What the two windows share: the application's title, its icon, the
// Chinese interface fonts and the placement of a window at the centre of its
// screen. The fonts name the Windows faces first and fall back to a
// Simplified Chinese face that the desktop has.
#pragma once

#include <QtGlobal>

class QFont;
class QIcon;
class QString;
class QWidget;

namespace zplport {

// The title of the main window and of every message box.
QString ApplicationTitle();

// One icon in every size from 16 to 256 pixels, for the program and both
// windows.
QIcon ApplicationIcon();

// "微软雅黑" at `points`, bold or regular.
QFont YaHeiFont(qreal points, bool bold);

// "宋体" at `points`, regular.
QFont SongFont(qreal points);

// Moves a top-level window so that its frame (or, before the window has
// one, its client area) is centred on the screen's available area.
void CentreOnScreen(QWidget& window);

}  // namespace zplport
