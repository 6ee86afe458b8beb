// The model's windows made of Win32 windows: places and sizes in twips and
// fonts in points become pixels at the DPI of the monitor that shows the
// window. The process is per-monitor DPI aware (see the manifest); on
// systems older than Windows 10 the system DPI is used.
#pragma once

#include <windows.h>

#include <memory>
#include <type_traits>

#include "ui/window_layout.h"

namespace zplport {

struct FontDeleter {
  void operator()(HFONT font) const { DeleteObject(font); }
};
using UniqueFont = std::unique_ptr<std::remove_pointer_t<HFONT>, FontDeleter>;

int TwipsToPixels(int twips, UINT dpi);

// The font at `dpi`, its height in pixels rounded from the points.
UniqueFont CreateUiFont(const ui::FontDesc& desc, UINT dpi);

// The DPI of the monitor that shows `window`.
UINT DpiForWindow(HWND window);

// The control identifier of the control at `tab` in its window's tab order;
// clear of IDOK and IDCANCEL, which the dialog keys send for Enter and Esc.
int ControlId(std::size_t tab);

// Creates the control with its caption, its identifier from its place in
// the tab order, and its place at `dpi`. A static text with a line height
// of its own is drawn by its parent (SS_OWNERDRAW; see DrawWrappedText).
HWND CreateControl(HWND parent, const ui::ControlDesc& desc, std::size_t tab, UINT dpi);
void PlaceControl(HWND control, const ui::ControlDesc& desc, UINT dpi);

// Draws an owner-drawn static text: its caption wrapped to the control's
// width in `font`, the lines `desc.line_height` apart, each centred on its
// line.
void DrawWrappedText(const DRAWITEMSTRUCT& item, const ui::ControlDesc& desc, HFONT font, UINT dpi);

// Gives `window` the client size of `desc` at its DPI and centres its frame
// on the work area of its monitor.
void SizeAndCentre(HWND window, const ui::WindowDesc& desc);

}  // namespace zplport
