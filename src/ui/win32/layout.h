// Positions, sizes and fonts of the windows are given in twips and points
// and turned into pixels at the DPI of the monitor that shows the window.
// The process is per-monitor DPI aware (see the manifest); on systems older
// than Windows 10 the system DPI is used.
#pragma once

#include <windows.h>

#include <memory>
#include <type_traits>

namespace zplport {

struct FontSpec {
  const wchar_t* face;
  int centipoints;  // 14.25 pt is 1425
  int weight;       // FW_NORMAL or FW_BOLD
};

struct ControlSpec {
  int id;
  const wchar_t* window_class;
  DWORD style;  // WS_CHILD | WS_VISIBLE are added
  DWORD ex_style;
  int left, top, width, height;  // twips, inside the client area
};

struct FontDeleter {
  void operator()(HFONT font) const { DeleteObject(font); }
};
using UniqueFont = std::unique_ptr<std::remove_pointer_t<HFONT>, FontDeleter>;

constexpr int kTwipsPerInch = 1440;

int TwipsToPixels(int twips, UINT dpi);

// A GB2312 font at `dpi`, its height in pixels rounded from the points.
UniqueFont CreateUiFont(const FontSpec& desc, UINT dpi);

// The DPI of the monitor that shows `window`.
UINT DpiForWindow(HWND window);

HWND CreateControl(HWND parent, const ControlSpec& desc, const wchar_t* text, UINT dpi);
void PlaceControl(HWND control, const ControlSpec& desc, UINT dpi);

// Gives `window` a client area of the size in twips at its DPI and centres it
// on the work area of its monitor.
void SizeAndCentre(HWND window, int client_width, int client_height);

}  // namespace zplport
