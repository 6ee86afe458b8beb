#include "layout.h"

namespace zplport {
namespace {

// Functions that exist only from Windows 10 1607 on, looked up once.
struct DpiFunctions {
  using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
  using AdjustWindowRectExForDpiFn = BOOL(WINAPI*)(LPRECT, DWORD, BOOL, DWORD, UINT);

  GetDpiForWindowFn get_dpi_for_window = nullptr;
  AdjustWindowRectExForDpiFn adjust_window_rect_ex_for_dpi = nullptr;

  DpiFunctions() {
    if (HMODULE user32 = GetModuleHandleW(L"user32.dll")) {
      get_dpi_for_window = reinterpret_cast<GetDpiForWindowFn>(Lookup(user32, "GetDpiForWindow"));
      adjust_window_rect_ex_for_dpi =
          reinterpret_cast<AdjustWindowRectExForDpiFn>(Lookup(user32, "AdjustWindowRectExForDpi"));
    }
  }

  static void* Lookup(HMODULE module, const char* name) {
    // Through void* so that the cast to the real type is not a cast between
    // unrelated function types.
    return reinterpret_cast<void*>(GetProcAddress(module, name));
  }
};

const DpiFunctions& Dpi() {
  static const DpiFunctions functions;
  return functions;
}

UINT SystemDpi() {
  HDC screen = GetDC(nullptr);
  const int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 0;
  if (screen) ReleaseDC(nullptr, screen);
  return dpi > 0 ? static_cast<UINT>(dpi) : USER_DEFAULT_SCREEN_DPI;
}

}  // namespace

int TwipsToPixels(int twips, UINT dpi) { return twips * static_cast<int>(dpi) / kTwipsPerInch; }

UniqueFont CreateUiFont(const FontSpec& desc, UINT dpi) {
  LOGFONTW font{};
  font.lfHeight = -MulDiv(desc.centipoints, static_cast<int>(dpi), 72 * 100);
  font.lfWeight = desc.weight;
  font.lfCharSet = GB2312_CHARSET;
  font.lfOutPrecision = OUT_DEFAULT_PRECIS;
  font.lfClipPrecision = CLIP_DEFAULT_PRECIS;
  font.lfQuality = DEFAULT_QUALITY;
  font.lfPitchAndFamily = DEFAULT_PITCH | FF_DONTCARE;
  lstrcpynW(font.lfFaceName, desc.face, LF_FACESIZE);
  return UniqueFont(CreateFontIndirectW(&font));
}

UINT DpiForWindow(HWND window) {
  if (Dpi().get_dpi_for_window) {
    if (const UINT dpi = Dpi().get_dpi_for_window(window)) return dpi;
  }
  return SystemDpi();
}

HWND CreateControl(HWND parent, const ControlSpec& desc, const wchar_t* text, UINT dpi) {
  return CreateWindowExW(desc.ex_style, desc.window_class, text, WS_CHILD | WS_VISIBLE | desc.style,
                         TwipsToPixels(desc.left, dpi), TwipsToPixels(desc.top, dpi),
                         TwipsToPixels(desc.width, dpi), TwipsToPixels(desc.height, dpi), parent,
                         reinterpret_cast<HMENU>(static_cast<INT_PTR>(desc.id)),
                         reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(parent, GWLP_HINSTANCE)),
                         nullptr);
}

void PlaceControl(HWND control, const ControlSpec& desc, UINT dpi) {
  SetWindowPos(control, nullptr, TwipsToPixels(desc.left, dpi), TwipsToPixels(desc.top, dpi),
               TwipsToPixels(desc.width, dpi), TwipsToPixels(desc.height, dpi),
               SWP_NOZORDER | SWP_NOACTIVATE);
}

void SizeAndCentre(HWND window, int client_width, int client_height) {
  const UINT dpi = DpiForWindow(window);
  RECT frame{0, 0, TwipsToPixels(client_width, dpi), TwipsToPixels(client_height, dpi)};
  const auto style = static_cast<DWORD>(GetWindowLongPtrW(window, GWL_STYLE));
  const auto ex_style = static_cast<DWORD>(GetWindowLongPtrW(window, GWL_EXSTYLE));
  if (Dpi().adjust_window_rect_ex_for_dpi) {
    Dpi().adjust_window_rect_ex_for_dpi(&frame, style, FALSE, ex_style, dpi);
  } else {
    AdjustWindowRectEx(&frame, style, FALSE, ex_style);
  }
  const int width = frame.right - frame.left;
  const int height = frame.bottom - frame.top;

  MONITORINFO monitor{};
  monitor.cbSize = sizeof monitor;
  GetMonitorInfoW(MonitorFromWindow(window, MONITOR_DEFAULTTOPRIMARY), &monitor);
  const RECT& work = monitor.rcWork;
  const int x = work.left + (work.right - work.left - width) / 2;
  const int y = work.top + (work.bottom - work.top - height) / 2;
  SetWindowPos(window, nullptr, x, y, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace zplport
