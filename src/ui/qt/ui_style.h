// What the two windows share: the model's texts, places and fonts turned
// into Qt's terms, the application's icon, and the placement of a window
// with its frame at the centre of its screen. Twips become Qt's
// device-independent pixels, which stand for pixels at 96 dots per inch;
// the fonts name the Windows faces first and fall back to a Simplified
// Chinese face that the desktop has.
#pragma once

#include <string_view>

class QFont;
class QIcon;
class QString;
class QWidget;

namespace zplport {

namespace ui {
struct ControlDesc;
struct FontDesc;
struct WindowDesc;
}  // namespace ui

QString Text(std::string_view utf8);

// One icon in every size from 16 to 256 pixels, for the program and both
// windows.
QIcon ApplicationIcon();

QFont FontOf(const ui::FontDesc& desc);

// Gives `window` the description's title, icon, client size and font, and creates
// its controls as children, in tab order, named as it names them. The
// first control that takes the focus holds it.
void BuildWindow(QWidget& window, const ui::WindowDesc& desc);

// Shows `window` with its frame centred on the screen's available area.
// The frame is known only once the window manager has put it round the
// window, so the window is centred again when it is first exposed.
void ShowCentred(QWidget& window);

// Shows `window`, restored if it was minimised, raised and activated.
void BringForward(QWidget& window);

// A modal message under the application's title with only 确定; returns
// when the operator has dismissed it. `parent` may be null.
void ShowMessageBox(QWidget* parent, std::string_view text);

}  // namespace zplport
