#include "layout.h"

#include <algorithm>
#include <string>
#include <string_view>

#include "ui/line_wrap.h"
#include "wide_text.h"

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

int TwipsToPixels(int twips, UINT dpi) { return ui::TwipsToPixels(twips, static_cast<int>(dpi)); }

UniqueFont CreateUiFont(const ui::FontDesc& desc, UINT dpi) {
  LOGFONTW font{};
  font.lfHeight = -MulDiv(desc.centipoints, static_cast<int>(dpi), 72 * 100);
  font.lfWeight = desc.weight;
  font.lfCharSet = static_cast<BYTE>(desc.charset);
  font.lfOutPrecision = OUT_DEFAULT_PRECIS;
  font.lfClipPrecision = CLIP_DEFAULT_PRECIS;
  font.lfQuality = DEFAULT_QUALITY;
  font.lfPitchAndFamily = DEFAULT_PITCH | FF_DONTCARE;
  lstrcpynW(font.lfFaceName, Utf8ToWide(desc.face).c_str(), LF_FACESIZE);
  return UniqueFont(CreateFontIndirectW(&font));
}

UINT DpiForWindow(HWND window) {
  if (Dpi().get_dpi_for_window) {
    if (const UINT dpi = Dpi().get_dpi_for_window(window)) return dpi;
  }
  return SystemDpi();
}

int ControlId(std::size_t tab) { return 101 + static_cast<int>(tab); }

HWND CreateControl(HWND parent, const ui::ControlDesc& desc, std::size_t tab, UINT dpi) {
  const wchar_t* window_class = L"Static";
  DWORD style = SS_LEFT;
  DWORD ex_style = 0;
  switch (desc.kind) {
    case ui::ControlKind::kPushButton:
      window_class = L"Button";
      style = BS_PUSHBUTTON | WS_TABSTOP;
      break;
    case ui::ControlKind::kTextBox:
      window_class = L"Edit";
      style = ES_LEFT | ES_AUTOHSCROLL | WS_TABSTOP;
      ex_style = WS_EX_CLIENTEDGE;
      break;
    case ui::ControlKind::kStaticText:
      if (desc.line_height > 0) style = SS_OWNERDRAW;
      break;
  }
  return CreateWindowExW(
      ex_style, window_class, Utf8ToWide(desc.caption).c_str(), WS_CHILD | WS_VISIBLE | style,
      TwipsToPixels(desc.rect.left, dpi), TwipsToPixels(desc.rect.top, dpi),
      TwipsToPixels(desc.rect.width, dpi), TwipsToPixels(desc.rect.height, dpi), parent,
      reinterpret_cast<HMENU>(static_cast<INT_PTR>(ControlId(tab))),
      reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(parent, GWLP_HINSTANCE)), nullptr);
}

void PlaceControl(HWND control, const ui::ControlDesc& desc, UINT dpi) {
  SetWindowPos(control, nullptr, TwipsToPixels(desc.rect.left, dpi),
               TwipsToPixels(desc.rect.top, dpi), TwipsToPixels(desc.rect.width, dpi),
               TwipsToPixels(desc.rect.height, dpi), SWP_NOZORDER | SWP_NOACTIVATE);
}

void DrawWrappedText(const DRAWITEMSTRUCT& item, const ui::ControlDesc& desc, HFONT font,
                     UINT dpi) {
  HDC dc = item.hDC;
  const RECT& box = item.rcItem;
  // The background a static text gets from its parent.
  auto brush = reinterpret_cast<HBRUSH>(SendMessageW(GetParent(item.hwndItem), WM_CTLCOLORSTATIC,
                                                     reinterpret_cast<WPARAM>(dc),
                                                     reinterpret_cast<LPARAM>(item.hwndItem)));
  FillRect(dc, &box, brush ? brush : GetSysColorBrush(COLOR_BTNFACE));
  const HGDIOBJ old_font = SelectObject(dc, font);
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
  TEXTMETRICW metrics{};
  GetTextMetricsW(dc, &metrics);

  auto measure = [dc](std::string_view piece) {
    const std::wstring wide = Utf8ToWide(piece);
    SIZE size{};
    GetTextExtentPoint32W(dc, wide.c_str(), static_cast<int>(wide.size()), &size);
    return static_cast<int>(size.cx);
  };
  const int length = GetWindowTextLengthW(item.hwndItem);
  std::wstring caption(static_cast<std::size_t>(length) + 1, L'\0');
  caption.resize(static_cast<std::size_t>(
      std::max(0, GetWindowTextW(item.hwndItem, caption.data(), length + 1))));
  const std::string text = WideToUtf8(caption);

  const int pitch = TwipsToPixels(desc.line_height, dpi);
  int top = box.top - (metrics.tmHeight - pitch) / 2;
  for (std::string_view line : ui::WrapLines(text, box.right - box.left, measure)) {
    const std::wstring wide = Utf8ToWide(line);
    ExtTextOutW(dc, box.left, top, ETO_CLIPPED, &box, wide.c_str(), static_cast<UINT>(wide.size()),
                nullptr);
    top += pitch;
  }
  SelectObject(dc, old_font);
}

void SizeAndCentre(HWND window, const ui::WindowDesc& desc) {
  const UINT dpi = DpiForWindow(window);
  RECT frame{0, 0, TwipsToPixels(desc.client_width, dpi), TwipsToPixels(desc.client_height, dpi)};
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
